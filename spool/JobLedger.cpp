#include "spool/JobLedger.h"

#include <algorithm>

void RetryPause::lengthen(qint64 now)
{
    delayMs = delayMs == 0 ? kFirstMs : std::min(delayMs * 2, kLongestMs);
    dueMs = now + delayMs;
}

SubmittedJob WaitingPrintOut::lastJob() const
{
    SubmittedJob last;
    for (const SubmittedJob& job : jobs)
        if (job.id != 0)
            last = job;
    return last;
}

JobLedger::State JobLedger::state(const QByteArray& path) const
{
    const auto it = m_entries.constFind(path);
    return it == m_entries.constEnd() ? State::None : it->state;
}

bool JobLedger::holdsBack(const QByteArray& path, const FileStamp& stamp, qint64 now)
{
    const auto it = m_entries.find(path);
    if (it == m_entries.end())
        return false;
    switch (it->state) {
    case State::Printed:
    case State::Declined:
        if (it->stamp == stamp)
            return true;
        // Changed since: a new print-out under the same name.
        if (it->pause.delayMs == 0) {
            m_entries.erase(it);
            return false;
        }
        it->state = State::Retrying;
        it->stamp = FileStamp();
        break;
    case State::Waiting:
        // Printed and waiting in place for its jobs: what comes of it is the follow-up's to decide.
        return true;
    case State::Retrying:
    case State::None:
        break;
    }
    return now < it->pause.dueMs;
}

void JobLedger::retryLater(const QByteArray& path, qint64 now)
{
    Entry& entry = m_entries[path];
    if (entry.state == State::Waiting)
        entry = Entry();
    entry.state = State::Retrying;
    entry.stamp = FileStamp();
    entry.pause.lengthen(now);
}

void JobLedger::printedNow(const QByteArray& path)
{
    const auto it = m_entries.find(path);
    if (it == m_entries.end() || it->state == State::Waiting)
        return;
    if (it->state == State::Retrying)
        m_entries.erase(it);
    else
        it->pause = RetryPause();
}

void JobLedger::setPrinted(const QByteArray& path, const FileStamp& stamp)
{
    setAside(path, State::Printed, stamp);
}

void JobLedger::setDeclined(const QByteArray& path, const FileStamp& stamp)
{
    setAside(path, State::Declined, stamp);
}

void JobLedger::setAside(const QByteArray& path, State state, const FileStamp& stamp)
{
    // A failure's pause stays with the file; a print-out that waited there is over.
    Entry& entry = m_entries[path];
    if (entry.state == State::Waiting)
        entry = Entry();
    entry.state = state;
    entry.stamp = stamp;
}

void JobLedger::setWaiting(const QByteArray& path, const WaitingPrintOut& printOut)
{
    Entry& entry = m_entries[path];
    entry = Entry();
    entry.state = State::Waiting;
    entry.printOut = printOut;
}

WaitingPrintOut* JobLedger::waiting(const QByteArray& path)
{
    const auto it = m_entries.find(path);
    return it != m_entries.end() && it->state == State::Waiting ? &it->printOut : nullptr;
}

QList<QByteArray> JobLedger::waitingPaths() const
{
    QList<QByteArray> paths;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (it->state == State::Waiting)
            paths.append(it.key());
    return paths;
}

QSet<QByteArray> JobLedger::waitingSpoolPaths() const
{
    QSet<QByteArray> paths;
    for (const Entry& entry : m_entries)
        if (entry.state == State::Waiting)
            paths.insert(entry.printOut.folder + entry.printOut.name);
    return paths;
}

void JobLedger::forget(const QSet<QByteArray>& present)
{
    m_entries.removeIf([&present](const QHash<QByteArray, Entry>::iterator& it) {
        return it->state != State::Waiting && !present.contains(it.key());
    });
}

const RetryPause* JobLedger::pause(const QByteArray& path) const
{
    const auto it = m_entries.constFind(path);
    if (it == m_entries.constEnd())
        return nullptr;
    if (it->state == State::Waiting)
        return it->printOut.again >= 0 ? &it->printOut.pause : nullptr;
    return it->pause.delayMs != 0 ? &it->pause : nullptr;
}

bool JobLedger::wake(const QByteArray& path)
{
    const auto it = m_entries.find(path);
    if (it == m_entries.end())
        return false;
    switch (it->state) {
    case State::Retrying:
        it->pause.dueMs = 0;
        return true;
    case State::Declined:
        // Asked for by the user: tried again as it is, and asked about again when unreadable.
        m_entries.erase(it);
        return true;
    case State::Waiting:
        if (it->printOut.again < 0)
            return false; // its jobs decide
        it->printOut.pause.dueMs = 0;
        return true;
    case State::Printed:
    case State::None:
        break;
    }
    return false;
}

int JobLedger::wakeAll(qint64 now)
{
    int woken = 0;
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        // A file that failed in this very tick, while the printer took others, fails on its own.
        if (m_passedBy.contains(it.key()))
            continue;
        Entry& entry = *it;
        RetryPause* pause = entry.state == State::Retrying ? &entry.pause
                            : entry.state == State::Waiting && entry.printOut.again >= 0
                                ? &entry.printOut.pause
                                : nullptr;
        if (pause && pause->dueMs > now) {
            pause->dueMs = 0;
            ++woken;
        }
    }
    return woken;
}
