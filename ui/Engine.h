#pragma once

#include "platform/desktop/QtDesktop.h"
#include "settings/Settings.h"
#include "spool/PrintJob.h"
#include "spool/WatchCycle.h"
#include "spool/WindowServices.h"

#include <memory>

class Asker;
class FileServices;
class PrintingService;

/// Hands the cycle's calls on to whoever shows them now: the window, the console, or nobody.
class WindowRelay : public WindowServices
{
public:
    WindowServices* target = nullptr;
    bool setTrayPicture(const QString& iconName) override;
    bool setWindowIconByName(const QString& iconName) override;
    void icone_bandeja(int mode, const QString& tip) override;
    void log(const QString& line) override;
    void betweenFiles() override;
};

/// The spooler the program runs: settings, the watch timer, the print job and the watch cycle.
class Engine
{
public:
    /// A null print job gives the real one on the printing service.
    Engine(FileServices& files, PrintingService& printing, Asker& asker, PrintJob* printJob = nullptr);
    /// Where the cycle's icons, log lines and pauses between files go.
    void setWindow(WindowServices* window) { m_relay.target = window; }

    Settings settings;
    QtTimer movimento;

    WatchCycle& cycle() { return *m_cycle; }

private:
    WindowRelay m_relay;
    std::unique_ptr<PrintJob> m_ownPrintJob;
    std::unique_ptr<WatchCycle> m_cycle;
};
