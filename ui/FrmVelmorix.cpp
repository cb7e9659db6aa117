#include "ui/FrmVelmorix.h"

#include "settings/SettingsStore.h"
#include "spool/PrinterPort.h"
#include "ui/ExitGuard.h"
#include "ui/SettingsForm.h"
#include "ui/TrayController.h"

#include "ui_FrmVelmorix.h"

#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>

namespace {

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

} // namespace

FrmVelmorix::FrmVelmorix(const FrmServices& services, QWidget* parent)
    : QWidget(parent), m_services(services), m_ui(std::make_unique<Ui::FrmVelmorix>())
{
    // The controls have fixed places sized for a small dialog face: the desktop's own family,
    // at a dialog's usual 8 points, so the captions fit their boxes.
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    QFont versao(QStringLiteral("Arial"));
    versao.setBold(true);
    versao.setPointSizeF(20.25);
    m_ui->LbVersao->setFont(versao);
    // Belongs to the window but stands on the backup frame's row of "Caminho:".
    m_ui->chkParalela->raise();
    QPixmap check(QStringLiteral(":/pictures/check.bmp"));
    if (!check.isNull())
        check.setMask(check.createMaskFromColor(Qt::white));
    m_ui->CmdConfirmar->setIcon(QIcon(check));
    for (QWidget* caption :
         {static_cast<QWidget*>(m_ui->LbVersao), static_cast<QWidget*>(m_ui->ChkGerarbackUp),
          static_cast<QWidget*>(m_ui->chkParalela), static_cast<QWidget*>(m_ui->Label1)})
        fitCaption(caption);

    m_form = std::make_unique<SettingsForm>(*m_ui, m_services.printing);
    m_tray = new TrayController(m_services.tray, *this, *m_ui->PictIconeBandeja);
    new ActivityLogView(m_log, *m_ui->txtLog);
    m_exit = new ExitGuard(
        m_services.asker, *m_tray, [this] { m_services.engine.stopAfterFile(); }, this);

    connect(m_ui->CmdConfirmar, &QPushButton::clicked, this, &FrmVelmorix::CmdConfirmar_Click);
    connect(m_tray, &TrayController::configureRequested, this,
            &FrmVelmorix::mnu_IconeBandeja_Configurar_Click);
    connect(m_tray, &TrayController::exitRequested, this, &FrmVelmorix::mnu_IconeBandeja_Sair_Click);
    connect(m_tray, &TrayController::testPageRequested, this, [this] { m_services.engine.printTestPage(); });
    // The print-outs that wait have a window of their own; watching goes on while it is open.
    auto* impressoes = new QPushButton(QStringLiteral("Fila"), this);
    impressoes->setObjectName(QStringLiteral("CmdImpressoes"));
    impressoes->setGeometry(358, 206, 46, 24);
    impressoes->setToolTip(
        QStringLiteral("Impressões aguardando: imprimir agora, reimprimir, remover da fila."));
    setTabOrder(m_ui->CmdConfirmar, impressoes);
    setTabOrder(impressoes, m_ui->txtLog);
    connect(impressoes, &QPushButton::clicked, this, &FrmVelmorix::impressoesPedidas);
    connect(m_tray, &TrayController::printOutsRequested, this, &FrmVelmorix::impressoesPedidas);
    connect(m_exit, &ExitGuard::encerrar, this, &FrmVelmorix::encerrar);
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, m_exit, &ExitGuard::commitData,
                Qt::DirectConnection);
    Form_Load();
}

FrmVelmorix::~FrmVelmorix() = default;

QMenu* FrmVelmorix::menuBandeja() const
{
    return m_tray->menu();
}

void FrmVelmorix::Form_Load()
{
    m_form->listPrinters();
}

void FrmVelmorix::setWatching(bool on)
{
    m_watching = on;
    if (on)
        m_services.engine.start();
    else
        m_services.engine.stopAfterFile();
    m_tray->setActivity(on ? Activity::Watching : Activity::Stopped);
    // The tip never says "ativo" while nothing is watched; the cycle's next tick tells its own.
    m_tray->setToolTip(on ? QStringLiteral("Velmorix ativo... ") : stoppedToolTip());
}

QString FrmVelmorix::stoppedToolTip() const
{
    return isVisible() ? QStringLiteral("Velmorix parado: janela de configuração aberta")
                       : QStringLiteral("Velmorix parado: configurações não confirmadas");
}

bool FrmVelmorix::leConfiguracoes()
{
    QString error;
    QStringList notes;
    if (!le_ini(m_settings, m_settings.path, m_services.settingsFile, &error, &notes)) {
        falha(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
        return false;
    }
    m_services.engine.setSettings(m_settings);
    for (const QString& note : std::as_const(notes))
        log(note);
    const QString missing = impressoraAusente(m_services.printing, m_settings.printer,
                                              m_settings.raw.isOn() && !m_settings.port.isEmpty());
    if (!missing.isEmpty())
        logFalha(missing);
    return true;
}

void FrmVelmorix::Form_Initialize()
{
    setWatching(false);
    m_settings.path = m_services.caminhoIni;
    m_firstConfiguration = true;
    if (!m_services.settingsFile.isPlainFile(QFile::encodeName(m_settings.path)))
        return; // first configuration: nothing read, no icon, nothing watched
    if (!leConfiguracoes())
        return;
    QStringList unshown;
    if (!m_form->valoresParaControles(m_settings, &unshown)) {
        falha(QStringLiteral("Um valor do arquivo de configurações não é 0 nem 1: ") +
              unshown.join(QStringLiteral(", ")));
        return;
    }
    m_firstConfiguration = false;
    m_tray->show();
    goToTray();
    setWatching(true);
}

void FrmVelmorix::falha(const QString& what)
{
    m_services.asker.inform(what);
}

void FrmVelmorix::goToTray()
{
    // Without a notification area nobody could bring a hidden window back.
    if (!m_services.tray.isSystemTrayAvailable())
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
    // Queues added or removed since the window was last open are offered as they are now.
    const QString chosen = m_ui->CbImpressoras->currentText();
    m_form->listPrinters();
    m_ui->CbImpressoras->setEditText(chosen);
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
    else if (!isVisible() && !m_services.tray.isSystemTrayAvailable())
        mostra(false); // nowhere to hide: on screen, and watching
}

void FrmVelmorix::encerraSemPerguntar()
{
    m_exit->endWithoutAsking();
}

void FrmVelmorix::recarrega()
{
    QString error;
    QStringList notes;
    if (!rereadSettings(m_settings, m_services.settingsFile, &error, &notes)) {
        log(QStringLiteral("Não foi possível ler o arquivo de configurações: ") + error);
        return;
    }
    log(settingsReadAgain(m_settings.path));
    for (const QString& note : std::as_const(notes))
        log(note);
    // A batch in progress looks at the new pattern from its next file; a stop asked for wins.
    m_services.engine.setSettings(m_settings);
    m_form->valoresParaControles(m_settings);
}

void FrmVelmorix::Form_Activate()
{
    setWatching(false);
}

void FrmVelmorix::Form_Resize()
{
    // Hidden only while there is an icon in a notification area to bring it back.
    if ((windowState() & Qt::WindowMinimized) && m_tray->isShown() &&
        m_services.tray.isSystemTrayAvailable()) {
        hide();
        if (!m_watching)
            m_tray->setToolTip(stoppedToolTip());
    }
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
    if (m_exit->allowsClose())
        event->accept();
    else
        event->ignore();
}

bool FrmVelmorix::Form_QueryUnload()
{
    return m_exit->Form_QueryUnload();
}

void FrmVelmorix::mnu_IconeBandeja_Configurar_Click()
{
    mostra();
}

void FrmVelmorix::mnu_IconeBandeja_Sair_Click()
{
    if (m_exit->confirmsExit())
        close();
}

void FrmVelmorix::CmdConfirmar_Click()
{
    // Without a printer named, print-outs would go wherever the one before or the default went.
    if (m_ui->CbImpressoras->currentText().trimmed().isEmpty()) {
        falha(QStringLiteral("Escolha uma impressora: nada é gravado nem impresso sem ela."));
        return;
    }
    m_form->controlesParaValores(m_settings);
    if (const QString refused = SettingsForm::refusal(m_settings); !refused.isEmpty()) {
        falha(refused);
        return;
    }
    QString error;
    if (!grava_ini(m_settings, m_settings.path, m_services.settingsFile, &error)) {
        falha(QStringLiteral("Não foi possível gravar o arquivo de configurações: ") + error);
        return;
    }
    if (!leConfiguracoes())
        return;
    if (SettingsForm::isComplete(m_settings)) {
        m_form->valoresParaControles(m_settings); // a value the window did not show was told of at start
        m_tray->show();
        m_firstConfiguration = false;
        m_configurando = false;
        goToTray();
    }
    setWatching(true);
}

void FrmVelmorix::setActivity(Activity activity)
{
    m_tray->setActivity(activity);
}

void FrmVelmorix::setToolTip(const QString& text)
{
    // A tick that ended after the watch was stopped tells what is no longer so.
    if (m_watching)
        m_tray->setToolTip(text);
}

void FrmVelmorix::log(const QString& line)
{
    m_log.add(line);
}

void FrmVelmorix::logFalha(const QString& line)
{
    m_log.add(line);
}

void FrmVelmorix::aviso(const QString& title, const QString& text)
{
    m_tray->notice(title, text);
}
