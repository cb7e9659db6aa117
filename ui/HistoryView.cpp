#include "ui/HistoryView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QTableWidgetItem* cell(const QString& text, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QString numberOrEmpty(int n)
{
    return n > 0 ? QString::number(n) : QString();
}

} // namespace

HistoryView::HistoryView(HistoryStore& store, QWidget* parent)
    : QWidget(parent), m_store(store), m_filter(new QLineEdit(this)), m_period(new QComboBox(this)),
      m_status(new QLabel(this)), m_table(new QTableWidget(this))
{
    m_filter->setPlaceholderText(QStringLiteral("Procurar arquivo, pasta, impressora, resultado..."));
    m_filter->setClearButtonEnabled(true);
    for (const int days : kPeriods)
        m_period->addItem(days == 0   ? QStringLiteral("Tudo")
                          : days == 1 ? QStringLiteral("Últimas 24 horas")
                                      : QStringLiteral("Últimos %1 dias").arg(days),
                          days);
    m_period->setCurrentIndex(1);
    auto* refreshButton = new QPushButton(QStringLiteral("Atualizar"), this);

    const QStringList headers{QStringLiteral("Hora"),      QStringLiteral("Arquivo"),
                              QStringLiteral("Pasta"),     QStringLiteral("Impressora"),
                              QStringLiteral("Páginas"),   QStringLiteral("Trabalho"),
                              QStringLiteral("Resultado"), QStringLiteral("Motivo")};
    m_table->setColumnCount(int(headers.size()));
    m_table->setHorizontalHeaderLabels(headers);
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setWordWrap(false);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_filter, 1);
    bar->addWidget(m_period);
    bar->addWidget(refreshButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_status);

    connect(m_filter, &QLineEdit::textChanged, this, &HistoryView::applyFilter);
    connect(m_period, &QComboBox::currentIndexChanged, this, &HistoryView::applyFilter);
    connect(refreshButton, &QPushButton::clicked, this, &HistoryView::refresh);
}

void HistoryView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void HistoryView::refresh()
{
    m_readError.clear();
    if (!m_store.read(&m_text, &m_readError))
        m_text.clear();
    applyFilter();
}

void HistoryView::applyFilter()
{
    HistoryFilter filter;
    filter.text = m_filter->text().trimmed();
    const int days = m_period->currentData().toInt();
    if (days > 0)
        filter.since = QDateTime::currentDateTime().addDays(-days);
    m_shown = readHistory(m_text, filter);

    m_table->setUpdatesEnabled(false);
    m_table->clearContents();
    m_table->setRowCount(int(m_shown.size()));
    const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    for (int row = 0; row < m_shown.size(); ++row) {
        const HistoryRecord& r = m_shown[row];
        const QString time = locale.toString(r.time.toLocalTime(), QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        const QList<QTableWidgetItem*> cells{cell(time),
                                             cell(r.file),
                                             cell(r.folder),
                                             cell(r.printer),
                                             cell(numberOrEmpty(r.pages), right),
                                             cell(numberOrEmpty(r.job), right),
                                             cell(r.outcome),
                                             cell(r.reason)};
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, cells[column]);
    }
    m_table->resizeColumnsToContents();
    m_table->setUpdatesEnabled(true);
    if (!m_readError.isEmpty())
        m_status->setText(QStringLiteral("Histórico não pôde ser lido: ") + m_readError);
    else
        m_status->setText(m_shown.size() == 1 ? QStringLiteral("1 registro")
                                              : QStringLiteral("%1 registros").arg(m_shown.size()));
}
