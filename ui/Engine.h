#pragma once

#include "platform/desktop/QtDesktop.h"
#include "settings/Settings.h"
#include "spool/PrintJob.h"
#include "spool/WatchCycle.h"
#include "spool/WindowServices.h"

#include <QElapsedTimer>

#include <memory>

class Asker;
class Clock;
class FileServices;
class Places;
class PrintingService;
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
    PrintingService& printing;
    Asker& asker;
    /// The print job; null gives the real one on the printing service.
    PrintJob* printJob = nullptr;
};

/// Hands the cycle's calls on to whoever shows them now: the window, the console, or nobody.
/// Between two files it lets events in now and then, so that a long batch does not freeze the
/// desktop and a signal or a click is seen after the file in hand.
class WindowRelay : public WindowServices
{
public:
    WindowServices* target = nullptr;
    void setActivity(Activity activity) override;
    void setToolTip(const QString& text) override;
    void log(const QString& line) override;
    void logFalha(const QString& line) override;
    void aviso(const QString& title, const QString& text) override;
    void betweenFiles() override;

private:
    QElapsedTimer m_sinceEvents;
};

/// The spooler the program runs: settings, the watch timer, the print job and the watch cycle.
class Engine
{
public:
    explicit Engine(const EngineParts& parts);
    ~Engine();
    /// Where the cycle's activity, log lines and pauses between files go.
    void setWindow(WindowServices* window) { m_relay.target = window; }
    /// Reads the settings file again; a batch in progress takes them up from its next file.
    /// On failure the settings stay as they were.
    bool recarrega(QString* error);

    Settings settings;
    QtTimer movimento;

    WatchCycle& cycle() { return *m_cycle; }

private:
    SettingsStore& m_settingsFile;
    WindowRelay m_relay;
    std::unique_ptr<QObject> m_stopOnQuit;
    std::unique_ptr<PrintJob> m_ownPrintJob;
    std::unique_ptr<WatchCycle> m_cycle;
};
