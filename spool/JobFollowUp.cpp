#include "spool/JobFollowUp.h"

#include "spool/Clock.h"
#include "spool/Disposal.h"
#include "spool/FilePrinter.h"
#include "spool/Fingerprint.h"
#include "spool/PrintFailures.h"
#include "spool/WindowServices.h"

#include <QFile>

#include <algorithm>
#include <utility>

namespace {

/// A print-out of @p folder printed under @p name, waiting under @p copy.
WaitingPrintOut printOutOf(const QByteArray& folder, const QByteArray& name, const QByteArray& copy,
                           const FileStamp& stamp, qint64 bytes, const QByteArray& hash)
{
    WaitingPrintOut made;
    made.folder = folder;
    made.name = name;
    made.copy = copy;
    made.stamp = stamp;
    made.bytes = bytes;
    made.hash = hash;
    return made;
}

} // namespace

JobFollowUp::JobFollowUp(FileServices& files, Clock& clock, WindowServices& window, JobLedger& ledger,
                         Disposal& disposal, FilePrinter& printer, PrintFailures& failures)
    : m_files(files), m_clock(clock), m_window(window), m_ledger(ledger), m_disposal(disposal),
      m_printer(printer), m_failures(failures)
{
}

QByteArray JobFollowUp::nome_pendente(const QByteArray& name, const SubmittedJob& job, qint64 printedBytes)
{
    return '.' + name + '~' + job.printer.toUtf8() + '~' + QByteArray::number(job.id) + '~' +
           QByteArray::number(job.created) + '~' + QByteArray::number(printedBytes);
}

bool JobFollowUp::le_nome_pendente(const QByteArray& copy, QByteArray* name, SubmittedJob* job,
                                   qint64* printedBytes)
{
    if (!copy.startsWith('.'))
        return false;
    // Read from the end: the spool name may hold "~" itself.
    qsizetype end = copy.size();
    QByteArray fields[4];
    for (int i = 3; i >= 0; --i) {
        const qsizetype tilde = copy.lastIndexOf('~', end - 1);
        if (tilde <= 1)
            return false;
        fields[i] = copy.mid(tilde + 1, end - tilde - 1);
        end = tilde;
    }
    bool idOk = false;
    bool createdOk = false;
    bool bytesOk = false;
    const int id = fields[1].toInt(&idOk);
    const qint64 created = fields[2].toLongLong(&createdOk);
    const qint64 bytes = fields[3].toLongLong(&bytesOk);
    if (!idOk || !createdOk || !bytesOk || id < 0 || bytes < 0)
        return false;
    *name = copy.mid(1, end - 1);
    *job = SubmittedJob{QString::fromUtf8(fields[0]), id, created};
    *printedBytes = bytes;
    return !name->isEmpty();
}

bool JobFollowUp::dispose_apos_trabalhos(const QByteArray& folder, const QByteArray& name,
                                         const QString& shown, const PrintedPart& done, bool whole)
{
    QByteArray path = folder + name;
    // It goes under a name of its own as it was printed and while no writer holds it: it waits
    // there for its jobs, so that neither a new file under its name nor one sharing its backup
    // name can take the place of its text. A writer that opens it by its name at that very
    // moment writes into the copy, and its part is printed from there.
    WaitingPrintOut printOut = printOutOf(folder, name, name, done.stamp, done.bytes, done.hash);
    HandedJobs handed = m_printer.takeJobs();
    printOut.jobs = std::move(handed.jobs);
    printOut.jobStarts = std::move(handed.starts);
    const SubmittedJob last = printOut.lastJob();
    const QByteArray copy = nome_pendente(name, last, done.bytes);
    PutAwayResult result = PutAwayResult::Failed;
    std::unique_ptr<PutAwayFile> held =
        m_files.putAway(path, folder + copy, done.stamp, Disposal::kWriterWaitMs, &result, nullptr);
    if (result == PutAwayResult::Done) {
        printOut.copy = copy;
        path = folder + copy;
        // Nothing to wait for: put away at once.
        if (last.id == 0 && whole && !held->touched()) {
            held.reset();
            if (finaliza(path, printOut, true))
                return true;
        }
    } else if (result == PutAwayResult::Failed && last.id == 0 && whole) {
        return m_disposal.dispose(folder, name, shown, m_files.stamp(path).text());
    } else if (result == PutAwayResult::Failed) {
        // It cannot be moved (a name too long, a folder that keeps its names): it waits under
        // its own name, marked so that a restart asks about the job, or only puts it away,
        // instead of printing it again.
        const FileStamp now = m_files.stamp(path);
        if (!m_files.markPrinted(path, last.id != 0 ? Disposal::marca_trabalho(now, last) : now.text()))
            m_window.logFalha(
                QStringLiteral("Arquivo ") + shown +
                QStringLiteral(": marca de impresso não gravada; um reinício o imprime de novo"));
    }
    // Held by a writer, or added to since it was printed: it waits under its name, and what
    // was added is printed once the writer is done.
    if (!whole) {
        printOut.again = done.bytes;
        printOut.pause.lengthen(m_clock.monotonicMs());
    }
    m_ledger.setWaiting(path, printOut);
    return printOut.copy != name;
}

void JobFollowUp::adota_pendentes(const QByteArray& folder)
{
    for (const QByteArray& copy : m_files.listHiddenFiles(folder)) {
        const QByteArray path = folder + copy;
        QByteArray name;
        SubmittedJob job;
        qint64 bytes = 0;
        if (m_ledger.waiting(path) || !le_nome_pendente(copy, &name, &job, &bytes))
            continue;
        const FileStamp stamp = m_files.stamp(path);
        if (!stamp.valid())
            continue;
        const qint64 printed = std::min(bytes, stamp.size);
        WaitingPrintOut printOut =
            printOutOf(folder, name, copy, stamp, printed, Fingerprint::ofPrefix(m_files, path, printed));
        if (job.id != 0) {
            printOut.jobs.append(job);
            printOut.jobStarts.append(0);
        }
        if (bytes < stamp.size)
            printOut.again = bytes; // its last part was never printed
        m_ledger.setWaiting(path, printOut);
    }
}

void JobFollowUp::confere_trabalhos()
{
    const qint64 now = m_clock.monotonicMs();
    QList<QByteArray> paths = m_ledger.waitingPaths();
    if (paths.isEmpty() || (m_lastPollMs != 0 && now - m_lastPollMs < kJobPollMs))
        return;
    m_lastPollMs = now;
    auto lastId = [this](const QByteArray& path) {
        const WaitingPrintOut* printOut = m_ledger.waiting(path);
        return printOut->jobs.isEmpty() ? 0 : printOut->jobs.last().id;
    };
    std::sort(paths.begin(), paths.end(),
              [&lastId](const QByteArray& a, const QByteArray& b) { return lastId(a) < lastId(b); });
    // A queue finishes its jobs in the order it took them: past one still pending, the later
    // ones of that queue are not asked about, so a stopped queue costs one request a poll.
    QSet<QString> busy;
    for (const QByteArray& path : std::as_const(paths))
        confere(path, busy);
}

void JobFollowUp::confere(const QByteArray& path, QSet<QString>& busy)
{
    WaitingPrintOut* found = m_ledger.waiting(path);
    if (!found || found->again >= 0)
        return; // to be printed again: reimprime_pendentes() has it
    WaitingPrintOut& printOut = *found;
    const FileStamp current = m_files.stamp(path);
    if (!current.valid()) {
        m_ledger.remove(path); // taken away by hand, or by another copy of the program
        return;
    }
    qint64 failedFrom = -1;
    bool waiting = false;
    bool forgotten = false;
    for (qsizetype i = 0; i < printOut.jobs.size(); ++i) {
        const SubmittedJob& job = printOut.jobs[i];
        if (job.id == 0)
            continue;
        const JobState state = busy.contains(job.printer) ? JobState::Pending : m_printer.jobState(job);
        switch (state) {
        case JobState::Pending:
            waiting = true;
            busy.insert(job.printer);
            break;
        case JobState::Completed:
            printOut.jobs[i].id = 0; // over: not asked about again
            break;
        case JobState::Failed:
            // An aborted job printed nothing to count on: its own text is printed again.
            failedFrom = failedFrom < 0 ? printOut.jobStarts.value(i)
                                        : std::min(failedFrom, printOut.jobStarts.value(i));
            break;
        case JobState::Unknown:
            forgotten = true;
            break;
        }
    }
    if (forgotten && failedFrom < 0) {
        guarda(path, printOut);
        m_ledger.remove(path);
        return;
    }
    if (failedFrom >= 0) {
        m_failures.naoImpresso(printOut.folder + printOut.name,
                               PrintError(PrintError::Kind::Aborted, QStringLiteral("job aborted")));
        printOut.again = failedFrom;
        printOut.pause.lengthen(m_clock.monotonicMs());
        return;
    }
    if (waiting || m_clock.monotonicMs() < printOut.pause.dueMs)
        return;
    // Every job is over; what was written into it since it was printed is printed first.
    if (current != printOut.stamp) {
        const bool sameStart = current.size >= printOut.bytes &&
                               Fingerprint::ofPrefix(m_files, path, printOut.bytes) == printOut.hash;
        if (!sameStart || current.size > printOut.bytes) {
            printOut.again = sameStart ? printOut.bytes : 0; // grown, or written anew
            printOut.pause = RetryPause();
            return;
        }
    }
    // In hand while it is put away: one that cannot go is remembered under its spool name as
    // printed, and one that stays where it waited is followed there again.
    WaitingPrintOut finished = std::move(printOut);
    m_ledger.remove(path);
    if (finaliza(path, finished, false))
        return;
    if (m_files.stamp(path).valid())
        finished.pause.lengthen(m_clock.monotonicMs());
    m_ledger.setWaiting(path, finished);
}

void JobFollowUp::guarda(const QByteArray& copyPath, const WaitingPrintOut& printOut)
{
    // A job the scheduler no longer knows (its history purged or turned off, or lost in a
    // crash) may have printed or not: nobody can say, so the print-out is neither put away nor
    // printed again on a guess. It is kept, under a backup name of its own that is never taken
    // for a spool file, and the user told where: renamed back, it prints again.
    QByteArray kept = printOut.name;
    for (const SubmittedJob& job : printOut.jobs)
        if (job.id != 0)
            kept += '~' + job.printer.toUtf8() + '~' + QByteArray::number(job.id);
    kept += ".bak";
    if (printOut.copy == printOut.name || !m_files.rename(copyPath, printOut.folder + kept, nullptr))
        kept = printOut.copy;
    const QString shown = QFile::decodeName(printOut.folder + printOut.name);
    m_failures.naoImpresso(printOut.folder + printOut.name,
                           PrintError(PrintError::Kind::JobUnknown, QStringLiteral("job unknown")));
    m_window.logFalha(QStringLiteral("Arquivo ") + shown + QStringLiteral(" guardado como ") +
                      QFile::decodeName(printOut.folder + kept) +
                      QStringLiteral(": renomeie-o de volta para imprimi-lo de novo"));
}

bool JobFollowUp::finaliza(const QByteArray& copyPath, const WaitingPrintOut& printOut, bool claimed)
{
    std::unique_ptr<FileClaim> claim;
    if (!claimed) {
        claim = m_files.claim(copyPath);
        if (!claim)
            return !m_files.stamp(copyPath).valid(); // another copy of the program has it in hand
    }
    const QString shown = QFile::decodeName(printOut.folder + printOut.name);
    if (printOut.copy == printOut.name) {
        // It waited under its spool name: it goes under a name of its own first, so that a
        // writer opening it by its name at that moment writes into the copy, not into a file
        // nobody prints.
        WaitingPrintOut moved = printOut;
        moved.copy = nome_pendente(printOut.name, SubmittedJob(), printOut.bytes);
        moved.jobs.clear();
        moved.jobStarts.clear();
        PutAwayResult result = PutAwayResult::Failed;
        std::unique_ptr<PutAwayFile> held =
            m_files.putAway(copyPath, printOut.folder + moved.copy, m_files.stamp(copyPath),
                            Disposal::kWriterWaitMs, &result, nullptr);
        if (result == PutAwayResult::Done) {
            if (!held->touched()) {
                held.reset();
                if (finaliza(printOut.folder + moved.copy, moved, true))
                    return true;
            }
            m_ledger.setWaiting(printOut.folder + moved.copy, moved); // followed there
            return true;
        }
        // A name that cannot change is backed up or deleted as it is.
        return result == PutAwayResult::Failed &&
               m_disposal.dispose(printOut.folder, printOut.name, shown, QByteArray());
    }
    switch (m_disposal.backup_ou_exclui(printOut.folder, printOut.name, shown, printOut.copy)) {
    case Disposal::Outcome::Gone:
        return true;
    case Disposal::Outcome::Later:
        return false;
    case Disposal::Outcome::Kept:
        break;
    }
    // It can be neither backed up nor deleted: back under its spool name when that is free,
    // remembered and marked as printed, as a file that could not be put away.
    const QByteArray path = printOut.folder + printOut.name;
    if (!m_files.rename(copyPath, path, nullptr))
        return false;
    const FileStamp now = m_files.stamp(path);
    m_files.markPrinted(path, now.text());
    m_ledger.setPrinted(path, now);
    return true;
}

void JobFollowUp::reimprime_pendentes(const std::function<bool()>& stopRequested)
{
    const qint64 now = m_clock.monotonicMs();
    QList<QByteArray> due;
    for (const QByteArray& path : m_ledger.waitingPaths()) {
        const WaitingPrintOut* printOut = m_ledger.waiting(path);
        if (printOut->again >= 0 && now >= printOut->pause.dueMs)
            due.append(path);
    }
    std::sort(due.begin(), due.end());
    for (const QByteArray& path : std::as_const(due)) {
        if (stopRequested())
            return;
        // A writer still adding to it has not finished the part to print.
        if (m_files.isBeingWritten(path) || !m_ledger.waiting(path))
            continue;
        WaitingPrintOut printOut = *m_ledger.waiting(path);
        const std::unique_ptr<FileClaim> claim = m_files.claim(path);
        if (!claim) {
            if (!m_files.stamp(path).valid())
                m_ledger.remove(path);
            continue;
        }
        // Printed again from a part on only while what was printed is still its start.
        if (printOut.again > 0 && Fingerprint::ofPrefix(m_files, path, printOut.bytes) != printOut.hash)
            printOut.again = 0;
        const QByteArray skippedHash =
            printOut.again > 0 ? Fingerprint::ofPrefix(m_files, path, printOut.again) : QByteArray();
        PrintedPart done;
        done.stamp = m_files.stamp(path);
        bool declined = false;
        bool rewritten = false;
        PrintError error;
        m_printer.newFile();
        if (!m_printer.le_e_imprime(printOut.folder, printOut.copy, printOut.name, printOut.again,
                                    skippedHash, done, &declined, &rewritten, &error)) {
            // What is kept of it is what it was before this try.
            WaitingPrintOut* kept = m_ledger.waiting(path);
            if (rewritten) {
                if (kept)
                    kept->again = 0;
                continue;
            }
            m_failures.naoImpresso(printOut.folder + printOut.name, error);
            if (kept)
                kept->pause.lengthen(m_clock.monotonicMs());
            continue;
        }
        m_failures.impresso(printOut.folder + printOut.name, m_printer.lastJob());
        m_window.log(QStringLiteral("Arquivo ") + QFile::decodeName(printOut.folder + printOut.name) +
                     QStringLiteral(" impresso"));
        // The jobs of the part before stay followed; those of what was printed again replace theirs.
        QList<SubmittedJob> jobs;
        QList<qint64> starts;
        for (qsizetype i = 0; i < printOut.jobs.size(); ++i) {
            if (printOut.jobStarts.value(i) < printOut.again) {
                jobs.append(printOut.jobs[i]);
                starts.append(printOut.jobStarts.value(i));
            }
        }
        const HandedJobs handed = m_printer.takeJobs();
        jobs.append(handed.jobs);
        starts.append(handed.starts);
        printOut.jobs = jobs;
        printOut.jobStarts = starts;
        printOut.bytes = done.bytes;
        printOut.hash = done.hash;
        printOut.stamp = done.stamp;
        printOut.again = -1;
        printOut.pause = RetryPause();
        m_ledger.remove(path);
        // Its name records its newest job, for a restart to follow.
        const SubmittedJob last = printOut.lastJob();
        QByteArray newPath = path;
        if (printOut.copy != printOut.name) {
            const QByteArray copy = nome_pendente(printOut.name, last, printOut.bytes);
            if (copy != printOut.copy && m_files.rename(path, printOut.folder + copy, nullptr)) {
                printOut.copy = copy;
                newPath = printOut.folder + copy;
            }
        } else {
            m_files.markPrinted(path, Disposal::marca_trabalho(printOut.stamp, last));
        }
        m_ledger.setWaiting(newPath, printOut);
    }
}
