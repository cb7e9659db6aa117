#include "ui/FrmVelmorix.h"

#include "settings/SettingsStore.h"
#include "spool/FileServices.h"
#include "spool/LogText.h"
#include "spool/PrinterPort.h"
#include "spool/PrintingService.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>

#include <tuple>

namespace {

const QString kTipInicial = QStringLiteral("Velmorix ativo... ");

/// The window's geometry is given in twips: 15 of them make a pixel at 96 dpi.
constexpr int twipsToPixels(int twips)
{
    return twips / 15;
}

/// Places a control by its geometry in twips.
void place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

/// Shrinks a caption's face by half points, down to 6, until the caption fits its box: the
/// boxes have fixed places, and desktop faces differ in width.
void fitCaption(QWidget* w)
{
    QFont face = w->font();
    while (w->sizeHint().width() > w->width() && face.pointSizeF() > 6) {
        face.setPointSizeF(face.pointSizeF() - 0.5);
        w->setFont(face);
    }
}

/// A check box that shows "not known" while its value is neither 0 nor 1; the user's first
/// click makes it a plain two-state box again.
void twoStateOnceChosen(QCheckBox* box)
{
    QObject::connect(box, &QCheckBox::stateChanged, box, [box](int state) {
        if (state != Qt::PartiallyChecked)
            box->setTristate(false);
    });
}

} // namespace

FrmVelmorix::FrmVelmorix(const FrmServices& services, QWidget* parent)
    : QWidget(parent), m_services(services), m_settings(services.engine.settings),
      m_movimento(services.engine.movimento)
{
    setObjectName(QStringLiteral("FrmVelmorix"));
    setWindowTitle(QStringLiteral("Velmorix - Configuração"));
    setFixedSize(850, 283);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(iconByName(QStringLiteral("ATIVOABERTO")));
    // The controls have fixed places sized for a small dialog face: the desktop's own family,
    // at a dialog's usual 8 points, so the captions fit their boxes.
    QFont face = font();
    face.setPointSize(8);
    setFont(face);

    PictDecoracao = new QLabel(this);
    place(PictDecoracao, 0, 0, 6075, 1590);
    PictDecoracao->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PictDecoracao->setLineWidth(2);
    PictDecoracao->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PictDecoracao->setPixmap(QPixmap(QStringLiteral(":/pictures/banner.jpg")));

    LbVersao = new QLabel(QStringLiteral("2.0"), PictDecoracao);
    place(LbVersao, 5400, 525, 570, 480);
    QFont versao(QStringLiteral("Arial"));
    versao.setBold(true);
    versao.setPointSizeF(20.25);
    LbVersao->setFont(versao);
    LbVersao->setStyleSheet(QStringLiteral("color: rgb(255, 128, 0); background: transparent;"));

    FrameInpressoras = new QGroupBox(QStringLiteral("Impressora"), this);
    place(FrameInpressoras, 15, 1590, 6030, 720);
    CbImpressoras = new QComboBox(FrameInpressoras);
    place(CbImpressoras, 90, 270, 5865, 315);
    CbImpressoras->setEditable(true);
    CbImpressoras->setInsertPolicy(QComboBox::NoInsert);
    CbImpressoras->setToolTip(
        QStringLiteral("Selecione a impressora que vai receber os arquivos enviados pelo Velmorix"));

    FrameArquivosSelecionados =
        new QGroupBox(QStringLiteral("Diretório e tipo de arquivos selecionados"), this);
    place(FrameArquivosSelecionados, 15, 2325, 6030, 720);
    TxtArquivos = new QLineEdit(FrameArquivosSelecionados);
    place(TxtArquivos, 90, 270, 5835, 315);
    TxtArquivos->setToolTip(QStringLiteral(
        "Selecione a pasta/diretório e o tipo de arquivos que serã monitorados pelo Velmorix "
        "(Ex: C:\\VIDEO\\*.TXT;C:\\VIDEO\\*.PRN;). Separe cada tipo po um ; (ponto e vírgula)"));

    FrameBackup = new QGroupBox(this);
    place(FrameBackup, 15, 3060, 5325, 1080);
    ChkGerarbackUp = new QCheckBox(QStringLiteral("Gerar arquivo de backup após impressão"), FrameBackup);
    // Wider than a dialog of old needed: up to the tray picture, room for the caption in any face.
    place(ChkGerarbackUp, 90, 285, 4350, 195);
    ChkGerarbackUp->setToolTip(
        QStringLiteral("Marque esta opção se desejar gravar um backup dos arquivos que foram impressos."));
    Label1 = new QLabel(QStringLiteral("Caminho:"), FrameBackup);
    place(Label1, 2460, 645, 1095, 255);
    txtPorta = new QLineEdit(QStringLiteral("generica"), FrameBackup);
    place(txtPorta, 3600, 600, 1575, 285);

    // Belongs to the window but stands on the backup frame's row of "Caminho:".
    chkParalela = new QCheckBox(QStringLiteral("Impressora LPTx/Serial"), this);
    place(chkParalela, 120, 3720, 2325, 195); // up to "Caminho:"
    chkParalela->raise();

    CmdConfirmar = new QPushButton(this);
    place(CmdConfirmar, 5400, 3495, 630, 630);
    QPixmap check(QStringLiteral(":/pictures/check.bmp"));
    if (!check.isNull())
        check.setMask(check.createMaskFromColor(Qt::white));
    CmdConfirmar->setIcon(QIcon(check));
    CmdConfirmar->setIconSize(QSize(36, 36));
    CmdConfirmar->setToolTip(QStringLiteral("Clique para gravar as configurações."));

    PictIconeBandeja = new QLabel(this);
    place(PictIconeBandeja, 4770, 3120, 480, 480);
    PictIconeBandeja->setAlignment(Qt::AlignCenter);

    txtLog = new QPlainTextEdit(this);
    place(txtLog, 6240, 120, 6375, 3975);
    txtLog->setReadOnly(true);
    txtLog->setTabChangesFocus(true);
    txtLog->setFocusPolicy(Qt::StrongFocus);
    txtLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    for (QWidget* passive :
         {static_cast<QWidget*>(PictDecoracao), static_cast<QWidget*>(LbVersao),
          static_cast<QWidget*>(FrameInpressoras), static_cast<QWidget*>(FrameArquivosSelecionados),
          static_cast<QWidget*>(FrameBackup), static_cast<QWidget*>(Label1),
          static_cast<QWidget*>(PictIconeBandeja)})
        passive->setFocusPolicy(Qt::NoFocus);
    QWidget* order[] = {CbImpressoras, TxtArquivos,  ChkGerarbackUp, chkParalela,
                        txtPorta,      CmdConfirmar, txtLog};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    mnu_IconeBandeja = new QMenu(this);
    mnu_IconeBandeja_Configurar = mnu_IconeBandeja->addAction(QStringLiteral("Configurar Velmorix"));
    mnu_IconeBandeja_Sair = mnu_IconeBandeja->addAction(QStringLiteral("Sair"));

    const std::pair<QObject*, const char*> names[] = {
        {PictDecoracao, "PictDecoracao"},
        {LbVersao, "LbVersao"},
        {FrameInpressoras, "FrameInpressoras"},
        {CbImpressoras, "CbImpressoras"},
        {FrameArquivosSelecionados, "FrameArquivosSelecionados"},
        {TxtArquivos, "TxtArquivos"},
        {FrameBackup, "FrameBackup"},
        {ChkGerarbackUp, "ChkGerarbackUp"},
        {chkParalela, "chkParalela"},
        {Label1, "Label1"},
        {txtPorta, "txtPorta"},
        {CmdConfirmar, "CmdConfirmar"},
        {PictIconeBandeja, "PictIconeBandeja"},
        {txtLog, "txtLog"},
        {mnu_IconeBandeja, "mnu_IconeBandeja"},
        {mnu_IconeBandeja_Configurar, "mnu_IconeBandeja_Configurar"},
        {mnu_IconeBandeja_Sair, "mnu_IconeBandeja_Sair"},
    };
    for (const auto& [object, name] : names)
        object->setObjectName(QLatin1String(name));

    for (QWidget* caption : {static_cast<QWidget*>(LbVersao), static_cast<QWidget*>(ChkGerarbackUp),
                             static_cast<QWidget*>(chkParalela), static_cast<QWidget*>(Label1)})
        fitCaption(caption);
    twoStateOnceChosen(ChkGerarbackUp);
    twoStateOnceChosen(chkParalela);
    m_services.engine.setWindow(this);

    connect(CmdConfirmar, &QPushButton::clicked, this, &FrmVelmorix::CmdConfirmar_Click);
    connect(mnu_IconeBandeja_Configurar, &QAction::triggered, this,
            &FrmVelmorix::mnu_IconeBandeja_Configurar_Click);
    connect(mnu_IconeBandeja_Sair, &QAction::triggered, this, &FrmVelmorix::mnu_IconeBandeja_Sair_Click);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &FrmVelmorix::commitData,
                Qt::DirectConnection);
    Form_Load();
}

FrmVelmorix::~FrmVelmorix()
{
    m_services.engine.setWindow(nullptr);
}

QIcon FrmVelmorix::iconByName(const QString& name) const
{
    return QIcon(QStringLiteral(":/icons/") + name + QStringLiteral(".ico"));
}

void FrmVelmorix::Form_Load()
{
    CbImpressoras->clear();
    for (const PrinterInfo& printer : m_services.printing.printers())
        CbImpressoras->addItem(printer.deviceName);
    CbImpressoras->setEditText(QString());
}

void FrmVelmorix::Form_Initialize()
{
    m_movimento.setEnabled(false);
    m_settings.path = m_services.caminhoIni;
    m_firstConfiguration = true;
    if (!m_services.settingsFile.isPlainFile(QFile::encodeName(m_settings.path)))
        return; // first configuration: nothing read, no icon, nothing watched

    QString error;
    QStringList notes;
    if (!le_ini(m_settings, m_settings.path, m_services.settingsFile, &error, &notes)) {
        falha(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
        return;
    }
    for (const QString& note : std::as_const(notes))
        log(note);
    QStringList unshown;
    if (!valoresParaControles(&unshown)) {
        falha(QStringLiteral("Um valor do arquivo de configurações não é 0 nem 1: ") +
              unshown.join(QStringLiteral(", ")));
        return;
    }
    m_firstConfiguration = false;
    icone_bandeja(0, kTipInicial);
    goToTray();
    m_movimento.setEnabled(true);
}

bool FrmVelmorix::valoresParaControles(QStringList* unshown)
{
    CbImpressoras->setEditText(m_settings.printer);
    TxtArquivos->setText(m_settings.pattern);
    txtPorta->setText(m_settings.port);
    bool allShown = true;
    for (const auto& [key, value, box] : {std::tuple{"BACKUP", &m_settings.backup, ChkGerarbackUp},
                                          std::tuple{"PARALELA", &m_settings.raw, chkParalela}}) {
        const std::optional<bool> checked = value->shown();
        // A value the box cannot show stays "not known" until the user picks one.
        box->setCheckState(!checked ? Qt::PartiallyChecked : *checked ? Qt::Checked : Qt::Unchecked);
        if (!checked) {
            allShown = false;
            if (unshown)
                unshown->append(QStringLiteral("%1: \"%2\"").arg(QLatin1String(key), value->text()));
        }
    }
    return allShown;
}

void FrmVelmorix::falha(const QString& what)
{
    m_services.asker.inform(what);
}

void FrmVelmorix::goToTray()
{
    // Without a notification area nobody could bring a hidden window back.
    if (!m_services.tray.isAvailable())
        return;
    hide();
    // Out of the task bar while it lives in the tray.
    setWindowFlag(Qt::Tool, true);
}

void FrmVelmorix::mostra(bool pausa)
{
    const bool first = !testAttribute(Qt::WA_WState_ExplicitShowHide);
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    if (first) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    show();
    raise();
    activateWindow();
    if (pausa) {
        m_configurando = true;
        Form_Activate();
    }
}

void FrmVelmorix::showAtStart()
{
    if (m_firstConfiguration)
        mostra();
    else if (!isVisible() && !m_services.tray.isAvailable())
        mostra(false); // nowhere to hide: on screen, and watching
}

void FrmVelmorix::encerraSemPerguntar()
{
    removeIcone();
    termina(false);
}

void FrmVelmorix::termina(bool announce)
{
    m_ending = true;
    // The file in hand is finished; the rest of a batch waits for the next start.
    m_services.engine.cycle().stopAfterFile();
    if (announce)
        emit encerrar();
}

void FrmVelmorix::recarrega()
{
    QString error;
    if (!m_services.engine.recarrega(&error)) {
        log(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
        return;
    }
    valoresParaControles();
}

void FrmVelmorix::Form_Activate()
{
    m_movimento.setEnabled(false);
    m_services.engine.cycle().stopAfterFile();
}

void FrmVelmorix::Form_Resize()
{
    // Hidden only while there is an icon in a notification area to bring it back.
    if ((windowState() & Qt::WindowMinimized) && m_iconeAdicionado && m_services.tray.isAvailable())
        hide();
}

void FrmVelmorix::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Coming back to a window opened for configuring pauses the watch again. A window that stays
    // on screen for want of a tray is not being configured: clicks into it do not stop the watch.
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
    else if (event->type() == QEvent::ActivationChange && isActiveWindow() && m_configurando)
        Form_Activate();
}

void FrmVelmorix::closeEvent(QCloseEvent* event)
{
    if (m_ending) {
        event->accept(); // the exit was confirmed already
    } else if (Form_QueryUnload()) {
        event->accept();
        termina(true);
    } else {
        event->ignore();
    }
}

bool FrmVelmorix::Form_QueryUnload()
{
    const int answer = m_services.asker.ask(QStringLiteral("Deseja encerrar o usa do Velmorix ?"),
                                            Asker::YesNo | Asker::Information | Asker::DefaultSecond,
                                            QStringLiteral("Velmorix -Encerramento"));
    if (answer == Asker::No)
        return false;
    removeIcone();
    return true;
}

void FrmVelmorix::commitData(QSessionManager& manager)
{
    if (!manager.allowsInteraction())
        return;
    const bool end = Form_QueryUnload();
    manager.release();
    if (!end) {
        manager.cancel();
        return;
    }
    termina(true);
}

void FrmVelmorix::removeIcone()
{
    nidIcone_.cbSize = 88;
    nidIcone_.hWnd = reinterpret_cast<quintptr>(PictIconeBandeja);
    nidIcone_.uID = 1;
    if (m_services.tray.remove(nidIcone_))
        m_iconeAdicionado = false;
}

void FrmVelmorix::mnu_IconeBandeja_Configurar_Click()
{
    mostra();
}

void FrmVelmorix::mnu_IconeBandeja_Sair_Click()
{
    if (Form_QueryUnload()) {
        m_ending = true;
        close();
        termina(true);
    }
}

void FrmVelmorix::CmdConfirmar_Click()
{
    m_settings.printer = CbImpressoras->currentText();
    // A box still showing "not known" keeps the value the window could not show.
    for (const auto& [box, value] :
         {std::pair{ChkGerarbackUp, &m_settings.backup}, std::pair{chkParalela, &m_settings.raw}}) {
        if (box->checkState() != Qt::PartiallyChecked)
            *value = OnOff::checked(box->isChecked());
    }
    m_settings.pattern = TxtArquivos->text();
    m_settings.port = txtPorta->text();

    if (m_settings.raw.isOn() && m_settings.port.isEmpty()) {
        m_settings.port = porta_da_impressora(m_services.printing, m_settings.printer);
        txtPorta->setText(m_settings.port);
    }

    QString error;
    if (!grava_ini(m_settings, m_settings.path, m_services.settingsFile, &error)) {
        falha(QStringLiteral("Não foi possível gravar o arquivo de configurações: ") + error);
        return;
    }
    QStringList notes;
    if (!le_ini(m_settings, m_settings.path, m_services.settingsFile, &error, &notes)) {
        falha(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
        return;
    }
    for (const QString& note : std::as_const(notes))
        log(note);

    const bool complete =
        !m_settings.backup.isEmpty() && !m_settings.printer.isEmpty() && !m_settings.pattern.isEmpty();
    if (complete) {
        valoresParaControles(); // a value the window did not show was told of at start
        icone_bandeja(0, kTipInicial);
        m_firstConfiguration = false;
        m_configurando = false;
        goToTray();
    }
    m_movimento.setEnabled(true);
}

void FrmVelmorix::PictIconeBandeja_MouseMove(TrayAction action)
{
    lMensagem = action;
    if (bOcupado)
        return;
    bOcupado = true;
    // Read before acting: a nested action while the menu is up may overwrite lMensagem.
    const TrayAction mensagem = lMensagem;
    if (mensagem == TrayAction::LeftUp) {
        mostra();
    } else if (mensagem == TrayAction::RightUp) {
        mnu_IconeBandeja->exec(QCursor::pos());
    }
    bOcupado = false;
}

bool FrmVelmorix::setTrayPicture(const QString& iconName)
{
    const QIcon icon = iconByName(iconName);
    if (icon.isNull())
        return false;
    PictIconeBandeja->setPixmap(icon.pixmap(32, 32));
    return true;
}

bool FrmVelmorix::setWindowIconByName(const QString& iconName)
{
    const QIcon icon = iconByName(iconName);
    if (icon.isNull())
        return false;
    setWindowIcon(icon);
    return true;
}

void FrmVelmorix::icone_bandeja(int mode, const QString& tip)
{
    nidIcone_.cbSize = 88;
    nidIcone_.hWnd = reinterpret_cast<quintptr>(PictIconeBandeja);
    nidIcone_.uID = 1;
    nidIcone_.uFlags = 7;
    nidIcone_.uCallbackMessage = TrayService::MouseMove;
    nidIcone_.hIcon = windowIcon();
    nidIcone_.setTip(tip);
    if (mode == 0) {
        if (m_services.tray.add(nidIcone_))
            m_iconeAdicionado = true;
    } else if (mode == 1)
        m_services.tray.modify(nidIcone_);
}

void FrmVelmorix::log(const QString& line)
{
    // The log is the lines, newest first, CR LF after each, cut at kLogLimit characters. Lines
    // wholly beyond the cut are dropped; the text is put together only when it is shown.
    m_logLines.push_front(shownInLog(line));
    m_logChars += m_logLines.front().size() + 2;
    while (m_logLines.size() > 1 && m_logChars - (m_logLines.back().size() + 2) >= kLogLimit) {
        m_logChars -= m_logLines.back().size() + 2;
        m_logLines.pop_back();
    }
    // A batch adds many lines in one go: the box is redrawn once the batch gives way.
    if (!m_logRefreshPending) {
        m_logRefreshPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_logRefreshPending = false;
                txtLog->setPlainText(logText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            },
            Qt::QueuedConnection);
    }
}

void FrmVelmorix::aviso(const QString& title, const QString& text)
{
    // A notice holds several lines, each already shown as the log shows it.
    QStringList lines = text.split(u'\n');
    for (QString& line : lines)
        line = shownInLog(line);
    m_services.tray.showMessage(shownInLog(title), lines.join(u'\n'));
}

QString FrmVelmorix::logText() const
{
    QString text;
    text.reserve(std::min<qsizetype>(m_logChars, kLogLimit));
    for (const QString& line : m_logLines) {
        text += line;
        text += QStringLiteral("\r\n");
        if (text.size() >= kLogLimit)
            break;
    }
    text.truncate(kLogLimit);
    return text;
}
