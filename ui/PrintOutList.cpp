#include "ui/PrintOutList.h"

#include "spool/PrintOutControl.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString nextTry(qint64 ms)
{
    if (ms < 0)
        return QString();
    if (ms < 1000)
        return QStringLiteral("agora");
    const qint64 seconds = (ms + 999) / 1000;
    return seconds < 60 ? QStringLiteral("em %1 s").arg(seconds)
                        : QStringLiteral("em %1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

} // namespace

PrintOutList::PrintOutList(PrintOutControl& engine, QWidget* parent)
    : QWidget(parent, Qt::Window), m_engine(engine), m_tabs(new QTabWidget(this)),
      m_table(new QTableWidget(this)), m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("PrintOutList"));
    setWindowTitle(QStringLiteral("Impressões - Velmorix"));
    resize(1040, 360);

    auto* page = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(page);
    m_table->setColumnCount(7);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Pasta"), QStringLiteral("Arquivo"),
                                        QStringLiteral("Tamanho"), QStringLiteral("Desde"),
                                        QStringLiteral("Situação"), QStringLiteral("Motivo"),
                                        QStringLiteral("Próxima tentativa")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const QString& text, const char* name) {
        auto* b = new QPushButton(text, page);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    connect(button(QStringLiteral("Imprimir agora"), "CmdImprimirAgora"), &QPushButton::clicked, this,
            [this] { act(PrintOuts::Action::Retry); });
    connect(button(QStringLiteral("Reimprimir..."), "CmdReimprimir"), &QPushButton::clicked, this,
            &PrintOutList::chooseBackup);
    connect(button(QStringLiteral("Remover da fila"), "CmdRemover"), &QPushButton::clicked, this,
            [this] { act(PrintOuts::Action::Remove); });
    buttons->addStretch();
    connect(button(QStringLiteral("Atualizar"), "CmdAtualizar"), &QPushButton::clicked, this,
            [this] { m_engine.requestPrintOuts(); });
    layout->addLayout(buttons);
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    // The list is the first tab; the history goes beside it with addTab().
    m_tabs->addTab(page, QStringLiteral("Na fila"));

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(m_tabs);

    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, [this] { m_engine.requestPrintOuts(); });
}

void PrintOutList::open()
{
    showNormal();
    raise();
    activateWindow();
    m_engine.requestPrintOuts();
}

void PrintOutList::addTab(QWidget* page, const QString& title)
{
    m_tabs->addTab(page, title);
}

void PrintOutList::showEvent(QShowEvent* event)
{
    m_refresh.start();
    QWidget::showEvent(event);
}

void PrintOutList::hideEvent(QHideEvent* event)
{
    m_refresh.stop();
    QWidget::hideEvent(event);
}

void PrintOutList::showPrintOuts(const QList<PrintOut>& printOuts)
{
    // The selection follows its file across refreshes.
    const int row = m_table->currentRow();
    const QString selected = row >= 0 && row < m_shown.size() ? m_shown[row].path : QString();
    m_shown = printOuts;
    m_table->setRowCount(int(printOuts.size()));
    const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    for (int r = 0; r < int(printOuts.size()); ++r) {
        const PrintOut& out = printOuts[r];
        const QStringList cells{
            out.folder,
            out.name,
            out.size < 0 ? QString() : locale.formattedDataSize(out.size),
            out.since.isValid() ? out.since.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString(),
            out.state,
            out.reason,
            nextTry(out.nextTryMs)};
        for (int c = 0; c < int(cells.size()); ++c)
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
        if (out.path == selected)
            m_table->selectRow(r);
    }
    m_table->resizeColumnsToContents();
}

void PrintOutList::showActionDone(quint64 ticket, bool ok, const QString& message)
{
    if (ticket != m_lastTicket)
        return; // another client's
    m_message->setStyleSheet(ok ? QString() : QStringLiteral("color: #a00000"));
    m_message->setText(message);
}

void PrintOutList::act(PrintOuts::Action action)
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_shown.size()) {
        m_message->setText(QStringLiteral("Escolha um arquivo da lista."));
        return;
    }
    m_lastTicket = m_nextTicket++;
    m_engine.requestAction(action, m_shown[row].path, m_lastTicket);
}

void PrintOutList::chooseBackup()
{
    const int row = m_table->currentRow();
    const QString folder = row >= 0 && row < m_shown.size() ? m_shown[row].folder : QString();
    const QString backup = QFileDialog::getOpenFileName(this, QStringLiteral("Reimprimir um backup"), folder,
                                                        QStringLiteral("Backups (*.bak *.BAK)"));
    if (backup.isEmpty())
        return;
    m_lastTicket = m_nextTicket++;
    m_engine.requestAction(PrintOuts::Action::Reprint, backup, m_lastTicket);
}
