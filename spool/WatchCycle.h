#pragma once

#include "spool/FileServices.h"
#include "spool/PrintFailures.h"
#include "spool/PrintJob.h"

#include <QHash>
#include <QSet>

#include <atomic>

class Asker;
class Clock;
class FolderChanges;
class Timer;
class WindowServices;
struct Settings;

/**
 * The timer-driven watch cycle: every tick tells the tray icon's tool tip, then prints every
 * spool file matching the watched patterns and backs it up or deletes it.
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
    void setFolderChanges(FolderChanges* changes) { m_folderChanges = changes; }

    /// REL.TXT gives REL.bak; a name without "." gives _REL.BAK.
    static QByteArray nome_backup(const QByteArray& name);
    /// Backups are never spool files, whatever the pattern.
    static bool isBackupName(QByteArrayView name);

    /// First and longest pause before a file whose printing failed is tried again.
    static constexpr qint64 kFirstRetryMs = 5000;
    static constexpr qint64 kLongestRetryMs = 5 * 60 * 1000;

    /// How often the part appended to a file during its printing is printed before giving up.
    static constexpr int kMostAppendRounds = 20;
    /// Each folder is read at least this often, for file systems whose changes go untold.
    static constexpr qint64 kFullReadMs = 60 * 1000;
    /// Jobs handed to the printer are asked about at most this often.
    static constexpr qint64 kJobPollMs = 1000;
    /// How long a writer that holds a printed file is waited for before it is left for later.
    static constexpr int kWriterWaitMs = 500;

    /// The printed mark of a file whose job the printer may still abort: the stamp, then the job.
    static QByteArray marca_trabalho(const FileStamp& stamp, const SubmittedJob& job);
    /// The job recorded in a mark made by marca_trabalho() for this stamp; none for other marks.
    static SubmittedJob trabalho_da_marca(const QByteArray& mark, const FileStamp& stamp);

    /// The hidden name a print-out waits under while its job is open, each job a name of its own:
    /// "." + the spool name + "~" + printer + "~" + job id + "~" + its creation time + "~" + the
    /// bytes of the file printed so far.
    static QByteArray nome_pendente(const QByteArray& name, const SubmittedJob& job, qint64 printedBytes);
    /// Reads a name made by nome_pendente(); false for any other name.
    static bool le_nome_pendente(const QByteArray& copy, QByteArray* name, SubmittedJob* job,
                                 qint64* printedBytes);

private:
    enum class Interruption
    {
        None,
        Stop,
        Restart
    };
    /// True when the batch must end here; the timer is left as the request wants it.
    bool interrupted();

    enum class Acrescimo
    {
        Stable,
        Replaced,
        Failed
    };
    /// How far a file was printed, and what its printed bytes were.
    struct Impresso
    {
        qint64 bytes = 0;
        QByteArray hash;
        FileStamp stamp;       ///< the file as it was before it was read
        bool tooLarge = false; ///< larger than the print job takes: set aside unread
        bool cutShort = false; ///< ended in a printer command cut short, printed as text
    };
    struct Retry
    {
        qint64 dueMs = 0;
        qint64 delayMs = 0;
    };
    /// A print-out handed to a printer whose jobs are not all over: it waits under a name of its
    /// own (or, where it could not be moved, under its spool name) until they are, so that a
    /// failed job's own text can be printed again whatever comes under the spool name meanwhile.
    struct Pendente
    {
        QByteArray folder;
        QByteArray name;          ///< the spool name it was printed under
        QByteArray copy;          ///< the name it waits under
        QList<SubmittedJob> jobs; ///< its jobs, each with the first byte it printed in jobStarts
        QList<qint64> jobStarts;
        FileStamp stamp;   ///< the copy as it was when last printed
        qint64 bytes = 0;  ///< bytes of it printed
        QByteArray hash;   ///< fingerprint of those bytes
        qint64 again = -1; ///< where printing starts again (a job failed, or it grew); -1: no need
        Retry retry;       ///< the pause before printing again, or before a disposal tried again
    };
    /// A print-out of @p folder printed under @p name, waiting under @p copy.
    static Pendente pendente(const QByteArray& folder, const QByteArray& name, const QByteArray& copy,
                             const FileStamp& stamp, qint64 bytes, const QByteArray& hash);

    /// Reads, prints and puts away one spool file; true when it is gone from the folder.
    bool trata_arquivo(const QByteArray& folder, const QByteArray& name);
    /// Reads the file @p fileName from skipBytes on and prints it, titled with the spool name
    /// @p name; false when it was not printed. A reading whose skipped start is no longer the
    /// printed one prints nothing and sets *rewritten.
    bool le_e_imprime(const QByteArray& folder, const QByteArray& fileName, const QByteArray& name,
                      qint64 skipBytes, const QByteArray& skippedHash, Impresso& done, bool* declined,
                      bool* rewritten, QString* error = nullptr);
    /// Prints what was appended to the file after the part printed already; @p done grows with it.
    Acrescimo imprime_acrescimos(const QByteArray& folder, const QByteArray& name, Impresso& done);
    /// A folder of the watched patterns and what the cycle knows of it.
    struct Watched
    {
        QByteArray folder;          ///< "/" included; empty for bare names
        QList<QByteArray> patterns; ///< the whole patterns in this folder, in the order given
        /// Names of the last reading that are still there and not yet put away.
        QList<QByteArray> waiting;
        QSet<QByteArray> present; ///< paths the last reading matched
        qint64 lastReadMs = 0;
        bool everRead = false;
        bool adopted = false; ///< the print-outs an earlier run left waiting here were taken up
        QString problem;      ///< why the folder cannot be read, as last told; empty when it can
    };

    /// Splits the watched value into its folders when it changed, telling the patterns that
    /// can never match.
    void vigia_padroes(const QByteArray& value);
    /// The names of a batch, smallest first: the folder read anew, or the names still waiting
    /// when nothing in the folder can have changed.
    QList<QByteArray> proximo_lote(Watched& watched, bool mustRead);
    /// Tells once that a folder cannot be read, and once that it can again.
    void informa_problema(Watched& watched, ListError error);
    /// True when the file is to be handled now.
    bool elegivel(const QByteArray& path, qint64 now);
    /// Forgets what is known of files that no folder's last reading found.
    void forgetVanished();
    /// Puts a printed file away, marked as printed first when asked: the one place a print-out
    /// leaves the folder. False, and the file remembered as printed, when it stays. An empty
    /// mark leaves the file's mark as it is.
    bool dispose(const QByteArray& folder, const QByteArray& name, const QString& shown,
                 const QByteArray& mark);
    /// Puts away a file whose print jobs were handed over: at once when none can still fail and
    /// all of it printed; otherwise it waits under a name of its own until they are over.
    bool dispose_apos_trabalhos(const QByteArray& folder, const QByteArray& name, const QString& shown,
                                const Impresso& done, bool whole);
    /// Asks the printers about the jobs still open, and ends those that are over.
    void confere_trabalhos();
    /// Prints again, once their pause is over, the waiting print-outs whose job failed or that grew.
    void reimprime_pendentes();
    /// Keeps, and tells of, a waiting print-out whose job the printer no longer knows.
    void guarda(const QByteArray& copyPath, const Pendente& pendente);
    /// Backs up or deletes a waiting print-out whose jobs all completed; false when it stays.
    bool finaliza(const QByteArray& copyPath, const Pendente& pendente, bool claimed);
    /// Takes up the print-outs an earlier run left waiting in the folder.
    void adota_pendentes(const Watched& watched);
    /// Sets or lengthens the pause before the file is tried again.
    static void adia(Retry& retry, qint64 now);
    void adia(const QByteArray& path);
    /// The backup or the deletion of @p from (the spool file, or the copy it waited under), with
    /// its log line naming the spool file.
    enum class Disposal
    {
        Gone,
        Later, ///< a writer holds it, or added to it: looked at again
        Kept   ///< it could not be renamed or deleted
    };
    Disposal backup_ou_exclui(const QByteArray& folder, const QByteArray& name, const QString& shown,
                              const QByteArray& from);

    const Settings& m_settings;
    FileServices& m_files;
    Clock& m_clock;
    Asker& m_asker;
    PrintJob& m_printJob;
    WindowServices& m_window;
    Timer& m_timer;

    FolderChanges* m_folderChanges = nullptr;
    bool m_inTick = false;
    std::atomic<Interruption> m_interruption{Interruption::None};
    /// The watched folders, in the order the patterns give them.
    QList<Watched> m_watched;
    QByteArray m_watchedValue;
    bool m_watchedSplit = false;
    /// Patterns told as never matching, not told again while they stay.
    QSet<QByteArray> m_badPatterns;
    /// Printed but neither renamed nor deleted: not printed again while unchanged.
    QHash<QByteArray, FileStamp> m_printed;
    /// Unreadable and the user declined to retry, or too large to print: not tried again while
    /// unchanged.
    QHash<QByteArray, FileStamp> m_declined;
    /// Printing failed: tried again once the pause is over.
    QHash<QByteArray, Retry> m_retry;
    /// The print-outs whose jobs are open, by the path they wait under.
    QHash<QByteArray, Pendente> m_pending;
    /// Print-outs finaliza() moved to copies of their own, to be followed there.
    QHash<QByteArray, Pendente> m_moved;
    qint64 m_lastPollMs = 0;
    /// The jobs the file in hand was handed over in, main print-out and appended parts.
    QList<SubmittedJob> m_jobsOfFile;
    QList<qint64> m_jobStartsOfFile; ///< the first byte of the file each of those jobs printed
    /// Files that failed, or that another program held, during the running tick.
    QSet<QByteArray> m_failedThisTick;
    /// What the user is told about files that did not print.
    PrintFailures m_failures{m_window, m_clock};
};
