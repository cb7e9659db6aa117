#pragma once

#include "platform/Tray.h"
#include "settings/Settings.h"
#include "spool/Asker.h"
#include "spool/EngineControl.h"
#include "spool/WindowServices.h"
#include "ui/ActivityLog.h"

#include <QWidget>

#include <memory>

class ExitGuard;
class PrinterDirectory;
class QMenu;
class QSessionManager;
class SettingsForm;
class SettingsStore;
class TrayController;

namespace Ui {
class FrmVelmorix;
}

/// What the window works with; the program passes the real services, tests their own.
struct FrmServices
{
    SettingsStore& settingsFile;
    PrinterDirectory& printing;
    Asker& asker;
    TrayService& tray;
    /// The spooler the window configures, on a thread of its own; its cycle's activity and log
    /// reach the window's WindowServices by queued signals.
    EngineControl& engine;
    /// Full path of the settings file.
    QString caminhoIni;
};

/**
 * The settings window: it configures the spooler, shows the log and starts and stops the watch.
 * Its controls come from FrmVelmorix.ui; the settings form, the tray icon, the activity log and
 * the exit question are parts of their own.
 */
class FrmVelmorix : public QWidget, public WindowServices
{
    Q_OBJECT
public:
    explicit FrmVelmorix(const FrmServices& services, QWidget* parent = nullptr);
    ~FrmVelmorix() override;

    /// Start-up: reads the settings file when there is one and goes to the tray.
    void Form_Initialize();
    /// True when start-up left the window for a first configuration.
    bool needsFirstConfiguration() const { return m_firstConfiguration; }
    /// Shows the window after start-up when there is a reason: a first configuration, or no
    /// notification area to wait in.
    void showAtStart();
    /// Ends without the exit question (the session or a signal ends the program).
    void encerraSemPerguntar();
    /// The settings file changed on disk: reads it again and shows it.
    void recarrega();

    void CmdConfirmar_Click();
    void mnu_IconeBandeja_Configurar_Click();
    void mnu_IconeBandeja_Sair_Click();
    /// Asks whether to end the program; false keeps it running.
    bool Form_QueryUnload();

    // WindowServices
    void setActivity(Activity activity) override;
    void setToolTip(const QString& text) override;
    void log(const QString& line) override;
    void logFalha(const QString& line) override;
    void aviso(const QString& title, const QString& text) override;

    const ActivityLog& activityLog() const { return m_log; }
    /// The window's own copy of the settings; the engine gets a copy of it.
    Settings& settings() { return m_settings; }
    TrayController& tray() { return *m_tray; }
    QMenu* menuBandeja() const;

signals:
    /// The list of print-outs is asked for, from the tray menu or the window's button.
    void impressoesPedidas();
    /// The user confirmed the exit: the program ends.
    void encerrar();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    /// The user takes over the window: the watch stops, a batch after the file in hand.
    void Form_Activate();
    void Form_Resize();
    /// Starts or stops the watch timer, and the tray icon's blinking with it.
    void setWatching(bool on);
    /// Shows the window at normal size; pausa stops the watch while the user configures.
    void mostra(bool pausa = true);
    void goToTray();
    void falha(const QString& what);
    /// Reads the settings file into the settings; false, told to the user, when it cannot.
    bool leConfiguracoes();

    FrmServices m_services;
    Settings m_settings;
    std::unique_ptr<Ui::FrmVelmorix> m_ui;
    std::unique_ptr<SettingsForm> m_form;
    TrayController* m_tray;
    ActivityLog m_log;
    ExitGuard* m_exit;
    bool m_firstConfiguration = false;
    bool m_configurando = false; ///< opened for configuring, until a complete confirmation
};
