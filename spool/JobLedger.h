#pragma once

#include "spool/FileServices.h"
#include "spool/PrintJob.h"

#include <QHash>
#include <QSet>

/// The pause before something that failed is tried again; it grows with every failure.
struct RetryPause
{
    qint64 dueMs = 0;
    qint64 delayMs = 0; ///< 0: nothing failed

    /// Sets or lengthens the pause, counted from @p now.
    void lengthen(qint64 now);

    /// First and longest pause.
    static constexpr qint64 kFirstMs = 5000;
    static constexpr qint64 kLongestMs = 5 * 60 * 1000;
};

/// A print-out handed to a printer whose jobs are not all over: it waits under a name of its own
/// (or, where it could not be moved, under its spool name) until they are, so that a failed
/// job's own text can be printed again whatever comes under the spool name meanwhile.
struct WaitingPrintOut
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
    RetryPause pause;  ///< before printing again, or before a disposal tried again

    /// The newest job still followed; none when every job is over.
    SubmittedJob lastJob() const;
};

/**
 * What the cycle knows of each file it handled and that is still in a watched folder: one state
 * per path, with the data that state needs. Paths the ledger does not hold are new to it.
 */
class JobLedger
{
public:
    enum class State
    {
        None,     ///< not known: handled as soon as it is ready
        Retrying, ///< printing failed: tried again once the pause is over
        Printed,  ///< printed but neither renamed nor deleted: not printed again while unchanged
        Declined, ///< unreadable and the user declined, or too large: not tried while unchanged
        Waiting   ///< a print-out whose jobs are open, by the path it waits under
    };

    State state(const QByteArray& path) const;
    bool isEmpty() const { return m_entries.isEmpty(); }

    /// True when the file, found as @p stamp, is not to be handled at @p now. A file set aside
    /// as printed or declined that changed since is a new print-out: it is let go, or, when an
    /// earlier failure's pause is still running, waits for that pause.
    bool holdsBack(const QByteArray& path, const FileStamp& stamp, qint64 now);
    /// Printing failed: the pause before the next try is set or lengthened.
    void retryLater(const QByteArray& path, qint64 now);
    /// It printed: earlier failures are over.
    void printedNow(const QByteArray& path);
    /// Printed, it stays in the folder as @p stamp.
    void setPrinted(const QByteArray& path, const FileStamp& stamp);
    /// Not printed, and not to be tried again while it stays as @p stamp.
    void setDeclined(const QByteArray& path, const FileStamp& stamp);

    /// Follows a print-out waiting under @p path, replacing whatever was known of that path.
    void setWaiting(const QByteArray& path, const WaitingPrintOut& printOut);
    /// The print-out waiting under @p path; nullptr when none. Valid until the ledger changes.
    WaitingPrintOut* waiting(const QByteArray& path);
    /// The paths print-outs wait under.
    QList<QByteArray> waitingPaths() const;
    /// The spool paths of the print-outs that wait: they still count as waiting there.
    QSet<QByteArray> waitingSpoolPaths() const;
    /// The pause of what failed at @p path; null when nothing there waits for a pause.
    const RetryPause* pause(const QByteArray& path) const;
    /// "Imprimir agora": the file at @p path may be tried at once. A file set aside as printed,
    /// or a print-out whose jobs are still open, is not; false then, or when nothing is known.
    bool wake(const QByteArray& path);
    /// Something printed: whatever waits for a pause after a failure may be tried at once, so
    /// the files an outage held back print in name order, not behind newer ones. Returns how
    /// many were still paused at @p now. Files that failed in this tick keep their pause.
    int wakeAll(qint64 now);
    /// Stops following whatever is known of @p path.
    void remove(const QByteArray& path) { m_entries.remove(path); }

    /// Forgets the files that are not in @p present; print-outs waiting for jobs stay followed.
    void forget(const QSet<QByteArray>& present);

    /// Passed by for the rest of the tick: it failed, or another program held it.
    void passBy(const QByteArray& path) { m_passedBy.insert(path); }
    bool passedBy(const QByteArray& path) const { return m_passedBy.contains(path); }
    void newTick() { m_passedBy.clear(); }

private:
    /// Printed or declined: the file stays, and is left alone while it is @p stamp.
    void setAside(const QByteArray& path, State state, const FileStamp& stamp);
    struct Entry
    {
        State state = State::None;
        FileStamp stamp;          ///< Printed, Declined: the file as it was set aside
        RetryPause pause;         ///< the last failure's pause, kept while the file is set aside
        WaitingPrintOut printOut; ///< Waiting
    };
    QHash<QByteArray, Entry> m_entries;
    QSet<QByteArray> m_passedBy;
};
