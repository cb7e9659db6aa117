#pragma once

#include "platform/desktop/QtDesktop.h"
#include "settings/Settings.h"
#include "spool/EngineControl.h"
#include "spool/PrintJob.h"
#include "spool/PrintOutControl.h"
#include "spool/WatchCycle.h"
#include "spool/WindowServices.h"

#include <QMutex>
#include <QObject>

#include <memory>
#include <optional>

class Asker;
class Clock;
class FileServices;
class History;
class HistoryStore;
class Places;

class RawPort;
class SettingsStore;

/// The outside world the spooler works with; the program passes the real parts, tests their own.
struct EngineParts
{
    FileServices& files;
    SettingsStore& settingsFile;
    Clock& clock;
    RawPort& rawPort;
    Places& places;
    PrintingServices printing;
    /// Answers the questions the engine asks, on the engine's thread.
    Asker& asker;
    /// The print job; null gives the real one on the printing service.
    PrintJob* printJob = nullptr;
    /// Where the history of print-outs is kept; null keeps none.
    HistoryStore* history = nullptr;
};

/// The cycle's activity, tool tip, log lines and notices as signals: a window on another thread connects to
/// them and gets them queued, in order; a receiver on the engine's own thread gets them at once.
class EngineRelay : public QObject, public WindowServices
{
    Q_OBJECT
public:
    using QObject::QObject;
    void setActivity(Activity activity) override;
    void setToolTip(const QString& text) override;
    void log(const QString& line) override;
    void logFalha(const QString& line) override;
    void aviso(const QString& title, const QString& text) override;

signals:
    void activityChanged(WindowServices::Activity activity);
    /// The tray's tip, which holds the count of files waiting.
    void toolTipChanged(const QString& text);
    void lineLogged(const QString& line);
    void failureLogged(const QString& line);
    void noticeGiven(const QString& title, const QString& text);
    /// The print-outs that wait, asked for by PrintOutControl.
    void printOutsChanged(const QList<PrintOut>& printOuts);
    /// How an action asked for by PrintOutControl went.
    void actionDone(quint64 ticket, bool ok, const QString& message);
};

/// Hands the relay's signals to @p window, on the thread @p context lives on.
void connectWindow(const EngineRelay& relay, WindowServices& window, const QObject* context);

/// The spooler the program runs: settings, the watch timer, the print job and the watch cycle.
/// It may live on a thread of its own (see EngineThread): the requests of EngineControl are
/// then queued to it; everything else is called on its thread, or before it starts.
class Engine : public QObject, public EngineControl, public PrintOutControl
{
    Q_OBJECT
public:
    explicit Engine(const EngineParts& parts);
    ~Engine() override;

    void start() override;
    void stopAfterFile() override;
    void setSettings(const Settings& settings) override;
    void printTestPage() override;

    /// Prints the test page now, on the engine's thread; true when it printed.
    bool imprimePaginaDeTeste();
    void requestPrintOuts() override;
    void requestAction(PrintOuts::Action action, const QString& name, quint64 ticket) override;

    /// Reads the settings file again; a batch takes them up from its next file. On failure the
    /// settings stay as they were.
    bool recarrega(QString* error);

    const EngineRelay& relay() const { return m_relay; }
    WatchCycle& cycle() { return *m_cycle; }

    /// The engine's own settings: read and written on its thread only.
    Settings settings;
    QtTimer movimento;

private:
    /// One tick of the watch timer, with the settings handed over since the last one.
    void tick();
    /// Puts the settings handed over in place, unless a tick is running.
    void takeSettings();

    SettingsStore& m_settingsFile;
    EngineParts m_parts; ///< what the test page is printed with, besides the cycle
    EngineRelay m_relay;
    std::unique_ptr<PrintJob> m_ownPrintJob;
    std::unique_ptr<WatchCycle> m_cycle;
    PrintJob* m_printJob = nullptr;
    std::unique_ptr<History> m_history;
    bool m_ticking = false;
    QMutex m_incomingLock;
    std::optional<Settings> m_incoming; ///< handed over by setSettings(), not yet in place
};
