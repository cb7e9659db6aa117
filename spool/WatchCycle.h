#pragma once

#include "spool/Disposal.h"
#include "spool/FilePrinter.h"
#include "spool/FolderWatch.h"
#include "spool/JobFollowUp.h"
#include "spool/JobLedger.h"
#include "spool/PrintFailures.h"
#include "spool/PrintOuts.h"

#include <atomic>

class Asker;
class Clock;
class FolderChanges;
class History;
class PrintJob;
class Timer;
class WindowServices;
struct Settings;

/**
 * The timer-driven watch cycle: every tick tells the tray icon's tool tip, then prints every
 * spool file matching the watched patterns and backs it up or deletes it.
 *
 * Its parts: the folders watched (FolderWatch), what is known of each file (JobLedger), the
 * reading and printing of a file (FilePrinter), the print-outs whose jobs are open
 * (JobFollowUp) and the way a printed file leaves the folder (Disposal).
 */
class WatchCycle
{
public:
    WatchCycle(const Settings& settings, FileServices& files, Clock& clock, Asker& asker, PrintJob& printJob,
               WindowServices& window, Timer& timer);

    /// One tick of the timer.
    void Movimento_Timer();
    // The three requests below may come from any thread while a batch runs on the cycle's own:
    // each is honoured after the file in hand, or by the next tick when no batch runs.

    /// Ends a running batch after the file in hand and leaves the timer off; the next tick
    /// does nothing but turn the timer off, unless a resume comes first.
    void stopAfterFile() { m_interruption = Interruption::Stop; }
    /// Ends a running batch after the file in hand with the timer on: the next tick looks at
    /// the pattern afresh (the settings changed). A stop asked for wins.
    void restartAfterFile()
    {
        Interruption none = Interruption::None;
        m_interruption.compare_exchange_strong(none, Interruption::Restart);
    }
    /// As restartAfterFile(), and it takes back a stop asked for: the user started the watch.
    void resumeAfterFile() { m_interruption = Interruption::Restart; }
    /// Where the cycle learns that the watched folder may have changed; without one, the folder
    /// is read on every tick.
    void setFolderChanges(FolderChanges* changes) { m_folders.setFolderChanges(changes); }
    /// Where the outcome of each print-out is recorded; none: nowhere.
    void setHistory(History* history) { m_failures.setHistory(history); }

    /// The print-outs that wait, for the user to see and act on between two batches.
    PrintOuts& printOuts() { return m_printOuts; }

    /// First pause before a file whose printing failed is tried again.
    static constexpr qint64 kFirstRetryMs = RetryPause::kFirstMs;
    /// How often the part appended to a file during its printing is printed before giving up.
    static constexpr int kMostAppendRounds = 20;
    static constexpr qint64 kFullReadMs = FolderWatch::kFullReadMs;
    static constexpr qint64 kJobPollMs = JobFollowUp::kJobPollMs;

private:
    enum class Interruption
    {
        None,
        Stop,
        Restart
    };
    /// True when the batch must end here; the timer is left as the request wants it.
    bool interrupted();

    enum class Appended
    {
        Stable,
        Replaced,
        Failed
    };

    /// Reads, prints and puts away one spool file; true when it is gone from the folder.
    bool trata_arquivo(const QByteArray& folder, const QByteArray& name);
    /// Prints what was appended to the file after the part printed already; @p done grows with it.
    Appended imprime_acrescimos(const QByteArray& folder, const QByteArray& name, PrintedPart& done);
    /// The names of a batch of @p watched; a folder read anew has its leftovers taken up and what
    /// is known of files no longer there forgotten.
    QList<QByteArray> proximo_lote(FolderWatch::Folder& watched, bool mustRead);
    /// True when the file is to be handled now.
    bool elegivel(const QByteArray& path, qint64 now);
    /// Forgets what is known of files that no folder's last reading found.
    void forgetVanished();

    const Settings& m_settings;
    FileServices& m_files;
    Clock& m_clock;
    WindowServices& m_window;
    Timer& m_timer;

    bool m_inTick = false;
    std::atomic<Interruption> m_interruption{Interruption::None};
    /// What the user is told about files that did not print.
    PrintFailures m_failures{m_window, m_clock};
    FolderWatch m_folders{m_files, m_clock, m_window};
    JobLedger m_ledger;
    FilePrinter m_printer;
    Disposal m_disposal{m_settings, m_files, m_window, m_ledger};
    JobFollowUp m_followUp{m_files, m_clock, m_window, m_ledger, m_disposal, m_printer, m_failures};
    PrintOuts m_printOuts{m_files, m_clock, m_window, m_ledger, m_failures, m_folders};
    /// A file printed and woke files paused after failures: the batch starts again in name order.
    bool m_woke = false;
};
