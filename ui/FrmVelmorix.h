#pragma once

#include "platform/Tray.h"
#include "ui/Engine.h"

#include <QWidget>

#include <deque>

class SettingsStore;
class PrinterDirectory;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QSessionManager;

/// What the window works with; the program passes the real services, tests their own.
struct FrmServices
{
    SettingsStore& settingsFile;
    PrinterDirectory& printing;
    Asker& asker;
    TrayService& tray;
    /// The spooler the window configures; the window shows its cycle's icons and log.
    Engine& engine;
    /// Full path of the settings file.
    QString caminhoIni;
};

/// The settings window: it configures the spooler, shows the log and owns the watch timer.
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
    /// A mouse action over the tray icon.
    void PictIconeBandeja_MouseMove(TrayAction action);

    // WindowServices
    bool setTrayPicture(const QString& iconName) override;
    bool setWindowIconByName(const QString& iconName) override;
    void icone_bandeja(int mode, const QString& tip) override;
    void log(const QString& line) override;
    void aviso(const QString& title, const QString& text) override;

    /// The log as the program holds it: newest line first, CR LF after each.
    QString logText() const;
    Settings& settings() { return m_settings; }
    Timer& movimento() { return m_movimento; }
    const NotifyIconData& nidIcone() const { return nidIcone_; }
    QMenu* menuBandeja() const { return mnu_IconeBandeja; }

    static constexpr int kLogLimit = 30000;

signals:
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
    /// Shows the window at normal size; pausa stops the watch while the user configures.
    void mostra(bool pausa = true);
    void goToTray();
    /// Puts the settings values into the controls; false, with a message, when one is not valid.
    /// Unshown check-box values are left as they are; false, with their keys, when any is.
    bool valoresParaControles(QStringList* unshown = nullptr);
    void falha(const QString& what);
    void commitData(QSessionManager& manager);
    void removeIcone();
    /// The exit is decided: no question at closing, a running batch ends after its file.
    void termina(bool announce);
    QIcon iconByName(const QString& name) const;

    FrmServices m_services;
    Settings& m_settings;
    QtTimer& m_movimento;
    NotifyIconData nidIcone_;
    bool bOcupado = false;
    TrayAction lMensagem = TrayAction::Move;
    bool m_firstConfiguration = false;
    bool m_configurando = false; ///< opened for configuring, until a complete confirmation
    bool m_ending = false;
    bool m_logRefreshPending = false;
    bool m_iconeAdicionado = false;
    std::deque<QString> m_logLines; ///< newest first
    qsizetype m_logChars = 0;       ///< characters of m_logLines with their line ends

    QLabel* PictDecoracao;
    QLabel* LbVersao;
    QGroupBox* FrameInpressoras;
    QComboBox* CbImpressoras;
    QGroupBox* FrameArquivosSelecionados;
    QLineEdit* TxtArquivos;
    QGroupBox* FrameBackup;
    QCheckBox* ChkGerarbackUp;
    QCheckBox* chkParalela;
    QLabel* Label1;
    QLineEdit* txtPorta;
    QPushButton* CmdConfirmar;
    QLabel* PictIconeBandeja;
    QPlainTextEdit* txtLog;
    QMenu* mnu_IconeBandeja;
    QAction* mnu_IconeBandeja_Configurar;
    QAction* mnu_IconeBandeja_Sair;
};
