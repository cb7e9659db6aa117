#include "spool/WatchCycle.h"

#include "settings/Settings.h"
#include "spool/Asker.h"
#include "spool/Clock.h"
#include "spool/Fingerprint.h"
#include "spool/FolderChanges.h"
#include "spool/NameMatch.h"
#include "spool/PrintJob.h"
#include "spool/Reader.h"
#include "spool/SpoolFolder.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"

#include <QFile>

#include <utility>

namespace {

/// The log line of a print-out whose last printer command was cut short by the end of the file.
QString cutShortLine(const QString& shown)
{
    return QStringLiteral("Arquivo ") + shown +
           QStringLiteral(": comando de impressora incompleto no fim; o resto foi impresso como texto");
}

} // namespace

WatchCycle::WatchCycle(const Settings& settings, FileServices& files, Clock& clock, Asker& asker,
                       PrintJob& printJob, WindowServices& window, Timer& timer)
    : m_settings(settings), m_files(files), m_clock(clock), m_asker(asker), m_printJob(printJob),
      m_window(window), m_timer(timer)
{
}

QByteArray WatchCycle::nome_backup(const QByteArray& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        return name.left(dot + 1) + "bak";
    return "_" + name + ".BAK";
}

bool WatchCycle::isBackupName(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot >= 0 && name.sliced(dot + 1).compare("bak", Qt::CaseInsensitive) == 0;
}

void WatchCycle::forgetVanished()
{
    if (m_printed.isEmpty() && m_declined.isEmpty() && m_retry.isEmpty() && m_pending.isEmpty())
        return;
    QSet<QByteArray> all;
    const QSet<QByteArray>* present = &all;
    if (m_watched.size() == 1)
        present = &m_watched.first().present;
    else
        for (const Watched& watched : std::as_const(m_watched))
            all.unite(watched.present);
    auto prune = [present](auto& memory) {
        for (auto it = memory.begin(); it != memory.end();)
            it = present->contains(it.key()) ? std::next(it) : memory.erase(it);
    };
    prune(m_printed);
    prune(m_declined);
    prune(m_retry);
    // A print-out waiting under a name of its own still counts as waiting under its spool name.
    QSet<QByteArray> waiting = *present;
    for (const Pendente& pendente : std::as_const(m_pending))
        waiting.insert(pendente.folder + pendente.name);
    m_failures.esquece(waiting);
}

void WatchCycle::vigia_padroes(const QByteArray& value)
{
    if (m_watchedSplit && value == m_watchedValue)
        return;
    QList<Watched> watched;
    QSet<QByteArray> bad;
    QList<QByteArray> folders;
    for (const QByteArray& pattern : splitPatterns(value)) {
        const QString problem = patternProblem(pattern);
        if (!problem.isEmpty()) {
            if (!m_badPatterns.contains(pattern))
                m_window.logFalha(problem);
            bad.insert(pattern);
            continue;
        }
        const QByteArray folder = patternFolder(pattern);
        const qsizetype at = folders.indexOf(folder);
        if (at >= 0) {
            watched[at].patterns.append(pattern);
            continue;
        }
        Watched added;
        added.folder = folder;
        added.patterns = {pattern};
        // A folder kept from the value before: what was told of it stands, and what it held
        // stays known until it is read again for its new patterns, so that what the cycle
        // remembers of its files is not forgotten meanwhile.
        for (const Watched& before : std::as_const(m_watched)) {
            if (before.folder == folder) {
                added.problem = before.problem;
                added.present = before.present;
            }
        }
        watched.append(added);
        folders.append(folder);
    }
    m_watched = watched;
    m_badPatterns = bad;
    m_watchedValue = value;
    m_watchedSplit = true;
    if (m_folderChanges)
        m_folderChanges->watchOnly(folders);
}

void WatchCycle::informa_problema(Watched& watched, ListError error)
{
    const QString problem = folderProblem(watched.folder, error, watched.patterns.first());
    if (problem == watched.problem)
        return;
    if (!problem.isEmpty())
        m_window.logFalha(problem);
    else
        m_window.log(QStringLiteral("Pasta ") + shownFolder(watched.folder) +
                     QStringLiteral(" lida de novo"));
    watched.problem = problem;
}

QList<QByteArray> WatchCycle::proximo_lote(Watched& watched, bool mustRead)
{
    const qint64 now = m_clock.monotonicMs();
    // Asked first, so that a change made while the folder is read is told next time.
    const bool changed = !m_folderChanges || m_folderChanges->takeChanges(watched.folder);
    if (changed || mustRead || !watched.everRead || now - watched.lastReadMs >= kFullReadMs) {
        ListError error = ListError::None;
        QList<QByteArray> names = matchingFiles(m_files, watched.folder, watched.patterns, &error);
        informa_problema(watched, error);
        watched.present.clear();
        for (const QByteArray& name : std::as_const(names))
            watched.present.insert(watched.folder + name);
        if (!watched.adopted && error == ListError::None) {
            adota_pendentes(watched);
            watched.adopted = true;
        }
        forgetVanished();
        names.removeIf([](const QByteArray& name) { return isBackupName(name); });
        watched.lastReadMs = now;
        watched.everRead = true;
        return names;
    }
    // Nothing came or went: only the files still waiting can have become ready.
    watched.waiting.removeIf(
        [this, &watched](const QByteArray& name) { return !m_files.isPlainFile(watched.folder + name); });
    return watched.waiting;
}

bool WatchCycle::elegivel(const QByteArray& path, qint64 now)
{
    if (m_failedThisTick.contains(path))
        return false;
    const FileStamp stamp = m_files.stamp(path);
    for (auto* memory : {&m_printed, &m_declined}) {
        auto it = memory->find(path);
        if (it != memory->end() && *it != stamp)
            memory->erase(it); // changed since: a new print-out under the same name
    }
    if (m_printed.contains(path) || m_declined.contains(path))
        return false;
    // Printed and waiting in place for its jobs: what comes of it is the ledger's to decide.
    if (m_pending.contains(path))
        return false;
    const auto retry = m_retry.constFind(path);
    if (retry != m_retry.constEnd() && now < retry->dueMs)
        return false;
    // A writer that still has the file open has not finished the print-out.
    return !m_files.isBeingWritten(path);
}

bool WatchCycle::dispose(const QByteArray& folder, const QByteArray& name, const QString& shown,
                         const QByteArray& mark)
{
    const QByteArray path = folder + name;
    // Should the backup or the deletion fail, the mark keeps a restart from printing it again,
    // and the memory keeps this run from it while the file is unchanged.
    if (!mark.isEmpty() && !m_files.markPrinted(path, mark))
        m_window.logFalha(QStringLiteral("Arquivo ") + shown +
                          QStringLiteral(": marca de impresso não gravada; um reinício o imprime de novo"));
    switch (backup_ou_exclui(folder, name, shown, name)) {
    case Disposal::Gone:
        return true;
    case Disposal::Later:
        return false; // a writer has it, or added to it: looked at again
    case Disposal::Kept:
        break;
    }
    m_printed.insert(path, m_files.stamp(path));
    return false;
}

QByteArray WatchCycle::marca_trabalho(const FileStamp& stamp, const SubmittedJob& job)
{
    return stamp.text() + " job " + job.printer.toUtf8() + ' ' + QByteArray::number(job.id) + ' ' +
           QByteArray::number(job.created);
}

SubmittedJob WatchCycle::trabalho_da_marca(const QByteArray& mark, const FileStamp& stamp)
{
    const QByteArray prefix = stamp.text() + " job ";
    if (!stamp.valid() || !mark.startsWith(prefix))
        return SubmittedJob();
    // "QUEUE ID", or "QUEUE ID CREATED" since jobs are told apart by their creation time too.
    const QList<QByteArray> fields = mark.mid(prefix.size()).split(' ');
    if (fields.size() < 2 || fields.size() > 3 || fields[0].isEmpty())
        return SubmittedJob();
    return SubmittedJob{QString::fromUtf8(fields[0]), fields[1].toInt(),
                        fields.size() == 3 ? fields[2].toLongLong() : 0};
}

QByteArray WatchCycle::nome_pendente(const QByteArray& name, const SubmittedJob& job, qint64 printedBytes)
{
    return '.' + name + '~' + job.printer.toUtf8() + '~' + QByteArray::number(job.id) + '~' +
           QByteArray::number(job.created) + '~' + QByteArray::number(printedBytes);
}

bool WatchCycle::le_nome_pendente(const QByteArray& copy, QByteArray* name, SubmittedJob* job,
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

bool WatchCycle::dispose_apos_trabalhos(const QByteArray& folder, const QByteArray& name,
                                        const QString& shown, const Impresso& done, bool whole)
{
    QByteArray path = folder + name;
    const QList<SubmittedJob> jobs = std::exchange(m_jobsOfFile, {});
    const QList<qint64> starts = std::exchange(m_jobStartsOfFile, {});
    SubmittedJob last;
    for (const SubmittedJob& job : jobs)
        if (job.id != 0)
            last = job;
    // It goes under a name of its own as it was printed and while no writer holds it: it waits
    // there for its jobs, so that neither a new file under its name nor one sharing its backup
    // name can take the place of its text. A writer that opens it by its name at that very
    // moment writes into the copy, and its part is printed from there.
    Pendente pendente = WatchCycle::pendente(folder, name, name, done.stamp, done.bytes, done.hash);
    pendente.jobs = jobs;
    pendente.jobStarts = starts;
    const QByteArray copy = nome_pendente(name, last, done.bytes);
    PutAwayResult result = PutAwayResult::Failed;
    std::unique_ptr<PutAwayFile> held =
        m_files.putAway(path, folder + copy, done.stamp, kWriterWaitMs, &result, nullptr);
    if (result == PutAwayResult::Done) {
        pendente.copy = copy;
        path = folder + copy;
        // Nothing to wait for: put away at once.
        if (last.id == 0 && whole && !held->touched()) {
            held.reset();
            if (finaliza(path, pendente, true))
                return true;
        }
    } else if (result == PutAwayResult::Failed && last.id == 0 && whole) {
        return dispose(folder, name, shown, m_files.stamp(path).text());
    } else if (result == PutAwayResult::Failed) {
        // It cannot be moved (a name too long, a folder that keeps its names): it waits under
        // its own name, marked so that a restart asks about the job, or only puts it away,
        // instead of printing it again.
        const FileStamp now = m_files.stamp(path);
        if (!m_files.markPrinted(path, last.id != 0 ? marca_trabalho(now, last) : now.text()))
            m_window.logFalha(
                QStringLiteral("Arquivo ") + shown +
                QStringLiteral(": marca de impresso não gravada; um reinício o imprime de novo"));
    }
    // Held by a writer, or added to since it was printed: it waits under its name, and what
    // was added is printed once the writer is done.
    if (!whole) {
        pendente.again = done.bytes;
        adia(pendente.retry, m_clock.monotonicMs());
    }
    m_pending.insert(path, pendente);
    return pendente.copy != name;
}

void WatchCycle::adota_pendentes(const Watched& watched)
{
    for (const QByteArray& copy : m_files.listHiddenFiles(watched.folder)) {
        const QByteArray path = watched.folder + copy;
        QByteArray name;
        SubmittedJob job;
        qint64 bytes = 0;
        if (m_pending.contains(path) || !le_nome_pendente(copy, &name, &job, &bytes))
            continue;
        const FileStamp stamp = m_files.stamp(path);
        if (!stamp.valid())
            continue;
        const qint64 printed = std::min(bytes, stamp.size);
        Pendente pendente = WatchCycle::pendente(watched.folder, name, copy, stamp, printed,
                                                 Fingerprint::ofPrefix(m_files, path, printed));
        if (job.id != 0) {
            pendente.jobs.append(job);
            pendente.jobStarts.append(0);
        }
        if (bytes < stamp.size)
            pendente.again = bytes; // its last part was never printed
        m_pending.insert(path, pendente);
    }
}

void WatchCycle::confere_trabalhos()
{
    const qint64 now = m_clock.monotonicMs();
    if (m_pending.isEmpty() || (m_lastPollMs != 0 && now - m_lastPollMs < kJobPollMs))
        return;
    m_lastPollMs = now;
    auto lastId = [](const Pendente& p) { return p.jobs.isEmpty() ? 0 : p.jobs.last().id; };
    QList<QByteArray> paths = m_pending.keys();
    std::sort(paths.begin(), paths.end(), [this, &lastId](const QByteArray& a, const QByteArray& b) {
        return lastId(*m_pending.constFind(a)) < lastId(*m_pending.constFind(b));
    });
    // A queue finishes its jobs in the order it took them: past one still pending, the later
    // ones of that queue are not asked about, so a stopped queue costs one request a poll.
    QSet<QString> busy;
    for (const QByteArray& path : std::as_const(paths)) {
        Pendente& pendente = m_pending[path];
        if (pendente.again >= 0)
            continue; // to be printed again: reimprime_pendentes() has it
        const FileStamp current = m_files.stamp(path);
        if (!current.valid()) {
            m_pending.remove(path); // taken away by hand, or by another copy of the program
            continue;
        }
        qint64 failedFrom = -1;
        bool waiting = false;
        bool forgotten = false;
        for (qsizetype i = 0; i < pendente.jobs.size(); ++i) {
            const SubmittedJob& job = pendente.jobs[i];
            if (job.id == 0)
                continue;
            const PrintingService::JobState state =
                busy.contains(job.printer) ? PrintingService::JobState::Pending : m_printJob.jobState(job);
            switch (state) {
            case PrintingService::JobState::Pending:
                waiting = true;
                busy.insert(job.printer);
                break;
            case PrintingService::JobState::Completed:
                pendente.jobs[i].id = 0; // over: not asked about again
                break;
            case PrintingService::JobState::Failed:
                // An aborted job printed nothing to count on: its own text is printed again.
                failedFrom = failedFrom < 0 ? pendente.jobStarts.value(i)
                                            : std::min(failedFrom, pendente.jobStarts.value(i));
                break;
            case PrintingService::JobState::Unknown:
                forgotten = true;
                break;
            }
        }
        if (forgotten && failedFrom < 0) {
            guarda(path, pendente);
            m_pending.remove(path);
            continue;
        }
        if (failedFrom >= 0) {
            m_failures.naoImpresso(pendente.folder + pendente.name, QStringLiteral("[job-aborted]"));
            pendente.again = failedFrom;
            adia(pendente.retry, m_clock.monotonicMs());
            continue;
        }
        if (waiting || m_clock.monotonicMs() < pendente.retry.dueMs)
            continue;
        // Every job is over; what was written into it since it was printed is printed first.
        if (current != pendente.stamp) {
            const bool sameStart = current.size >= pendente.bytes &&
                                   Fingerprint::ofPrefix(m_files, path, pendente.bytes) == pendente.hash;
            if (!sameStart || current.size > pendente.bytes) {
                pendente.again = sameStart ? pendente.bytes : 0; // grown, or written anew
                pendente.retry = Retry();
                continue;
            }
        }
        if (finaliza(path, pendente, false)) {
            m_pending.remove(path);
        } else if (m_files.stamp(path).valid()) {
            adia(m_pending[path].retry, m_clock.monotonicMs());
        }
        // Print-outs moved from their spool names to copies of their own are followed there.
        m_pending.insert(std::exchange(m_moved, {}));
    }
}

void WatchCycle::guarda(const QByteArray& copyPath, const Pendente& pendente)
{
    // A job the scheduler no longer knows (its history purged or turned off, or lost in a
    // crash) may have printed or not: nobody can say, so the print-out is neither put away nor
    // printed again on a guess. It is kept, under a backup name of its own that is never taken
    // for a spool file, and the user told where: renamed back, it prints again.
    QByteArray kept = pendente.name;
    for (const SubmittedJob& job : pendente.jobs)
        if (job.id != 0)
            kept += '~' + job.printer.toUtf8() + '~' + QByteArray::number(job.id);
    kept += ".bak";
    if (pendente.copy == pendente.name || !m_files.rename(copyPath, pendente.folder + kept, nullptr))
        kept = pendente.copy;
    const QString shown = QFile::decodeName(pendente.folder + pendente.name);
    m_failures.naoImpresso(pendente.folder + pendente.name, QStringLiteral("[job-unknown]"));
    m_window.logFalha(QStringLiteral("Arquivo ") + shown + QStringLiteral(" guardado como ") +
                      QFile::decodeName(pendente.folder + kept) +
                      QStringLiteral(": renomeie-o de volta para imprimi-lo de novo"));
}

bool WatchCycle::finaliza(const QByteArray& copyPath, const Pendente& pendente, bool claimed)
{
    std::unique_ptr<FileClaim> claim;
    if (!claimed) {
        claim = m_files.claim(copyPath);
        if (!claim)
            return !m_files.stamp(copyPath).valid(); // another copy of the program has it in hand
    }
    const QString shown = QFile::decodeName(pendente.folder + pendente.name);
    if (pendente.copy == pendente.name) {
        // It waited under its spool name: it goes under a name of its own first, so that a
        // writer opening it by its name at that moment writes into the copy, not into a file
        // nobody prints.
        Pendente moved = pendente;
        moved.copy = nome_pendente(pendente.name, SubmittedJob(), pendente.bytes);
        moved.jobs.clear();
        moved.jobStarts.clear();
        PutAwayResult result = PutAwayResult::Failed;
        std::unique_ptr<PutAwayFile> held = m_files.putAway(
            copyPath, pendente.folder + moved.copy, m_files.stamp(copyPath), kWriterWaitMs, &result, nullptr);
        if (result == PutAwayResult::Done) {
            if (!held->touched()) {
                held.reset();
                if (finaliza(pendente.folder + moved.copy, moved, true))
                    return true;
            }
            m_moved.insert(pendente.folder + moved.copy, moved);
            return true;
        }
        // A name that cannot change is backed up or deleted as it is.
        return result == PutAwayResult::Failed &&
               dispose(pendente.folder, pendente.name, shown, QByteArray());
    }
    switch (backup_ou_exclui(pendente.folder, pendente.name, shown, pendente.copy)) {
    case Disposal::Gone:
        return true;
    case Disposal::Later:
        return false;
    case Disposal::Kept:
        break;
    }
    // It can be neither backed up nor deleted: back under its spool name when that is free,
    // remembered and marked as printed, as a file that could not be put away.
    const QByteArray path = pendente.folder + pendente.name;
    if (!m_files.rename(copyPath, path, nullptr))
        return false;
    const FileStamp now = m_files.stamp(path);
    m_files.markPrinted(path, now.text());
    m_printed.insert(path, now);
    return true;
}

void WatchCycle::reimprime_pendentes()
{
    const qint64 now = m_clock.monotonicMs();
    QList<QByteArray> due;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        if (it->again >= 0 && now >= it->retry.dueMs)
            due.append(it.key());
    std::sort(due.begin(), due.end());
    for (const QByteArray& path : std::as_const(due)) {
        if (m_interruption != Interruption::None)
            return;
        // A writer still adding to it has not finished the part to print.
        if (m_files.isBeingWritten(path))
            continue;
        Pendente pendente = m_pending.value(path);
        const std::unique_ptr<FileClaim> claim = m_files.claim(path);
        if (!claim) {
            if (!m_files.stamp(path).valid())
                m_pending.remove(path);
            continue;
        }
        // Printed again from a part on only while what was printed is still its start.
        if (pendente.again > 0 && Fingerprint::ofPrefix(m_files, path, pendente.bytes) != pendente.hash)
            pendente.again = 0;
        const QByteArray skippedHash =
            pendente.again > 0 ? Fingerprint::ofPrefix(m_files, path, pendente.again) : QByteArray();
        Impresso done;
        done.stamp = m_files.stamp(path);
        bool declined = false;
        bool rewritten = false;
        QString error;
        m_jobsOfFile.clear();
        m_jobStartsOfFile.clear();
        if (!le_e_imprime(pendente.folder, pendente.copy, pendente.name, pendente.again, skippedHash, done,
                          &declined, &rewritten, &error)) {
            if (rewritten) {
                m_pending[path].again = 0;
                continue;
            }
            m_failures.naoImpresso(pendente.folder + pendente.name, error);
            adia(m_pending[path].retry, m_clock.monotonicMs());
            continue;
        }
        m_failures.impresso(pendente.folder + pendente.name);
        m_window.log(QStringLiteral("Arquivo ") + QFile::decodeName(pendente.folder + pendente.name) +
                     QStringLiteral(" impresso"));
        // The jobs of the part before stay followed; those of what was printed again replace theirs.
        QList<SubmittedJob> jobs;
        QList<qint64> starts;
        for (qsizetype i = 0; i < pendente.jobs.size(); ++i) {
            if (pendente.jobStarts.value(i) < pendente.again) {
                jobs.append(pendente.jobs[i]);
                starts.append(pendente.jobStarts.value(i));
            }
        }
        jobs.append(std::exchange(m_jobsOfFile, {}));
        starts.append(std::exchange(m_jobStartsOfFile, {}));
        pendente.jobs = jobs;
        pendente.jobStarts = starts;
        pendente.bytes = done.bytes;
        pendente.hash = done.hash;
        pendente.stamp = done.stamp;
        pendente.again = -1;
        pendente.retry = Retry();
        m_pending.remove(path);
        // Its name records its newest job, for a restart to follow.
        SubmittedJob last;
        for (const SubmittedJob& job : std::as_const(pendente.jobs))
            if (job.id != 0)
                last = job;
        QByteArray newPath = path;
        if (pendente.copy != pendente.name) {
            const QByteArray copy = nome_pendente(pendente.name, last, pendente.bytes);
            if (copy != pendente.copy && m_files.rename(path, pendente.folder + copy, nullptr)) {
                pendente.copy = copy;
                newPath = pendente.folder + copy;
            }
        } else {
            m_files.markPrinted(path, marca_trabalho(pendente.stamp, last));
        }
        m_pending.insert(newPath, pendente);
    }
}

WatchCycle::Pendente WatchCycle::pendente(const QByteArray& folder, const QByteArray& name,
                                          const QByteArray& copy, const FileStamp& stamp, qint64 bytes,
                                          const QByteArray& hash)
{
    Pendente made;
    made.folder = folder;
    made.name = name;
    made.copy = copy;
    made.stamp = stamp;
    made.bytes = bytes;
    made.hash = hash;
    return made;
}

void WatchCycle::adia(const QByteArray& path)
{
    adia(m_retry[path], m_clock.monotonicMs());
}

void WatchCycle::adia(Retry& retry, qint64 now)
{
    retry.delayMs = retry.delayMs == 0 ? kFirstRetryMs : std::min(retry.delayMs * 2, kLongestRetryMs);
    retry.dueMs = now + retry.delayMs;
}

WatchCycle::Disposal WatchCycle::backup_ou_exclui(const QByteArray& folder, const QByteArray& name,
                                                  const QString& shown, const QByteArray& from)
{
    const bool backup = m_settings.backup.isOn();
    const QByteArray to = backup ? folder + nome_backup(name) : QByteArray();
    if (backup && m_files.isPlainFile(to))
        m_files.remove(to, nullptr);
    // It goes as it is now and only while no writer holds it; one that holds it is waited for a
    // moment, then it is looked at again later.
    PutAwayResult result = PutAwayResult::Failed;
    std::unique_ptr<PutAwayFile> held =
        m_files.putAway(folder + from, to, m_files.stamp(folder + from), kWriterWaitMs, &result, nullptr);
    if (result == PutAwayResult::Busy || result == PutAwayResult::Changed)
        return Disposal::Later;
    const bool gone = result == PutAwayResult::Done;
    // A backup is a print-out that is over: renamed back, it is a new one to print.
    if (gone && backup && !m_files.printedMark(to).isEmpty())
        m_files.markPrinted(to, QByteArray());
    if (backup)
        m_window.log(QStringLiteral("Arquivo ") + shown +
                     (gone ? QStringLiteral(" impresso") : QStringLiteral(" não renomeado")));
    else
        m_window.log(QStringLiteral("Arquivo ") + shown +
                     (gone ? QStringLiteral(" excluido") : QStringLiteral(" não excluido")));
    if (gone && held->touched())
        m_window.logFalha(QStringLiteral("Arquivo ") + shown +
                          QStringLiteral(" não impresso (parte acrescentada ao ser guardado)"));
    return gone ? Disposal::Gone : Disposal::Kept;
}

bool WatchCycle::trata_arquivo(const QByteArray& folder, const QByteArray& name)
{
    const QByteArray path = folder + name;
    // Another program printing from this folder has it in hand: it is theirs, not a failure.
    const std::unique_ptr<FileClaim> claim = m_files.claim(path);
    if (!claim) {
        m_failedThisTick.insert(path);
        return !m_files.isPlainFile(path);
    }
    const QString shown = QFile::decodeName(path);
    const FileStamp stamp = m_files.stamp(path);

    // Printed by an earlier run that could not put it away: only the disposal is left.
    const QByteArray mark = stamp.valid() ? m_files.printedMark(path) : QByteArray();
    if (!mark.isEmpty() && mark == stamp.text())
        return dispose(folder, name, shown, QByteArray());
    // Printed by an earlier run that waited in place for the printer to finish: the job decides.
    const SubmittedJob earlier = trabalho_da_marca(mark, stamp);
    if (earlier.id != 0) {
        switch (m_printJob.jobState(earlier)) {
        case PrintingService::JobState::Pending: {
            Pendente waiting = pendente(folder, name, name, stamp, stamp.size,
                                        Fingerprint::ofPrefix(m_files, path, stamp.size));
            waiting.jobs = {earlier};
            waiting.jobStarts = {0};
            m_pending.insert(path, waiting);
            return false;
        }
        case PrintingService::JobState::Failed:
            break; // printed again
        case PrintingService::JobState::Unknown:
            // Nobody can say whether it printed: kept as it is, and told, until it changes.
            m_failures.naoImpresso(path, QStringLiteral("[job-unknown]"));
            m_printed.insert(path, stamp);
            return false;
        case PrintingService::JobState::Completed:
            return dispose(folder, name, shown, QByteArray());
        }
    }

    Impresso done;
    done.stamp = stamp;
    bool declined = false;
    bool rewritten = false;
    QString error;
    m_jobsOfFile.clear();
    m_jobStartsOfFile.clear();
    if (!le_e_imprime(folder, name, name, 0, QByteArray(), done, &declined, &rewritten, &error)) {
        // Not printed: the file stays where it is, untouched.
        m_failures.naoImpresso(path, error);
        m_failedThisTick.insert(path);
        if (declined)
            m_declined.insert(path, stamp);
        else if (done.tooLarge)
            m_declined.insert(path, m_files.stamp(path)); // as it was found: perhaps grown meanwhile
        else
            adia(path);
        return false;
    }
    m_retry.remove(path);
    m_failures.impresso(path);
    m_window.log(QStringLiteral("Arquivo ") + shown + QStringLiteral(" impresso"));
    if (done.cutShort)
        m_window.log(cutShortLine(shown));

    switch (imprime_acrescimos(folder, name, done)) {
    case Acrescimo::Replaced:
        // A new print-out under the same name, handled as one; the old one's text is gone with
        // the rewrite, so its jobs have nothing left to print again.
        m_jobsOfFile.clear();
        m_jobStartsOfFile.clear();
        return false;
    case Acrescimo::Failed:
        // What was appended did not print: it waits with the printed part, and only the part
        // that is left is printed again.
        return dispose_apos_trabalhos(folder, name, shown, done, false);
    case Acrescimo::Stable:
        break;
    }
    return dispose_apos_trabalhos(folder, name, shown, done, true);
}

bool WatchCycle::le_e_imprime(const QByteArray& folder, const QByteArray& fileName, const QByteArray& name,
                              qint64 skipBytes, const QByteArray& skippedHash, Impresso& done, bool* declined,
                              bool* rewritten, QString* error)
{
    const QString title = QFile::decodeName(name);
    // What was printed must still be the start of the file; otherwise the file was written
    // anew and is printed whole, as a print-out of its own.
    auto rewrittenSince = [&](const LeituraConteudo& leitura) {
        *rewritten = leitura.ok && skipBytes > 0 && leitura.skippedHash != skippedHash;
        return *rewritten;
    };
    LeituraConteudo leitura;
    bool printed = false;
    if (m_printJob.streamsLines()) {
        // Raw output takes the lines as they are read: the file is never held whole. The file
        // and its stamp tell a print-out cut short, and tried again, from a new one.
        std::unique_ptr<StreamedPrint> out =
            m_printJob.beginLines(error, title, PrintOutSource{folder + name, done.stamp});
        if (!out)
            return false;
        leitura = le_conteudo(folder, fileName, m_files, m_asker, skipBytes, *out, m_printJob.sizeLimit());
        printed = leitura.ok && !rewrittenSince(leitura) && out->finish(error);
    } else {
        leitura = le_conteudo(folder, fileName, m_files, m_asker, skipBytes, m_printJob.sizeLimit());
        printed = leitura.ok && !rewrittenSince(leitura) &&
                  ((skipBytes > 0 && leitura.text.isEmpty()) ||
                   m_printJob.imprime_conteudo(leitura.text, leitura.iMaxColunas, title, error));
    }
    if (printed) {
        const SubmittedJob job = m_printJob.takeLastJob();
        if (job.id != 0) {
            m_jobsOfFile.append(job);
            m_jobStartsOfFile.append(skipBytes);
        }
        done.cutShort = m_printJob.takeCutShort();
    }
    if (!leitura.ok && error)
        *error = leitura.error;
    *declined = leitura.declined;
    done.tooLarge = leitura.tooLarge;
    done.bytes = leitura.bytesRead;
    done.hash = leitura.hash;
    return printed;
}

WatchCycle::Acrescimo WatchCycle::imprime_acrescimos(const QByteArray& folder, const QByteArray& name,
                                                     Impresso& done)
{
    // A writer that closes the file and opens it again to append may do so while the file is
    // read and printed. What it added must be printed too before the file is put away; a
    // writer that empties the file and writes it anew makes a new print-out.
    const QByteArray path = folder + name;
    for (int round = 0; round < kMostAppendRounds; ++round) {
        const FileStamp now = m_files.stamp(path);
        if (now == done.stamp)
            return Acrescimo::Stable; // untouched since before it was read
        if (!now.valid() || now.inode != done.stamp.inode || now.size < done.bytes)
            return Acrescimo::Replaced;
        if (now.size == done.bytes)
            return Fingerprint::ofPrefix(m_files, path, done.bytes) == done.hash ? Acrescimo::Stable
                                                                                 : Acrescimo::Replaced;
        Impresso tail;
        tail.stamp = now;
        bool declined = false;
        bool rewritten = false;
        QString error;
        if (!le_e_imprime(folder, name, name, done.bytes, done.hash, tail, &declined, &rewritten, &error)) {
            if (rewritten)
                return Acrescimo::Replaced;
            m_failures.naoImpresso(path, error);
            return Acrescimo::Failed;
        }
        m_window.log(QStringLiteral("Arquivo ") + QFile::decodeName(path) + QStringLiteral(" impresso"));
        if (tail.cutShort)
            m_window.log(cutShortLine(QFile::decodeName(path)));
        done = tail;
    }
    // Still growing: it is put away with what printed, and what was appended since is printed
    // from there once its jobs are over, however many rounds that takes.
    return Acrescimo::Failed;
}

bool WatchCycle::interrupted()
{
    const Interruption asked = m_interruption.exchange(Interruption::None);
    if (asked == Interruption::None)
        return false;
    // Whoever asked while the file was in hand decides whether the timer runs on.
    const bool restart = asked == Interruption::Restart;
    m_timer.setEnabled(restart);
    m_window.setActivity(restart ? WindowServices::Activity::Watching : WindowServices::Activity::Stopped);
    return true;
}

void WatchCycle::Movimento_Timer()
{
    // A tick never runs inside another, whoever turned the timer on meanwhile.
    if (m_inTick)
        return;
    // A stop asked for between two ticks holds; a restart is what this tick does anyway.
    if (m_interruption.exchange(Interruption::None) == Interruption::Stop) {
        m_timer.setEnabled(false);
        return;
    }
    m_inTick = true;
    m_failedThisTick.clear();
    confere_trabalhos();
    reimprime_pendentes();

    m_window.setToolTip(QStringLiteral("Velmorix ativo...") + m_failures.aguardando());

    vigia_padroes(QFile::encodeName(m_settings.pattern));

    // Each folder is read once per batch, and the batch taken in name order; names that appear
    // meanwhile come with the next batch. The folders are taken in the order the patterns give.
    bool stopped = false;
    for (qsizetype w = 0; w < m_watched.size() && !stopped; ++w) {
        Watched& watched = m_watched[w];
        const QByteArray& folder = watched.folder;
        for (bool mustRead = false; !stopped; mustRead = true) {
            const QList<QByteArray> lote = proximo_lote(watched, mustRead);
            QList<QByteArray> waiting;
            bool worked = false;
            for (qsizetype i = 0; i < lote.size() && !stopped; ++i) {
                const QByteArray& name = lote[i];
                if (!elegivel(folder + name, m_clock.monotonicMs())) {
                    waiting.append(name);
                    continue;
                }
                worked = true;
                m_timer.setEnabled(false);
                m_window.setActivity(WindowServices::Activity::Busy);
                if (!trata_arquivo(folder, name))
                    waiting.append(name);
                // Jobs are followed between files too: a long batch must not leave a job the
                // scheduler finishes, and then forgets, unseen.
                confere_trabalhos();
                stopped = interrupted();
                if (!stopped) {
                    m_timer.setEnabled(true);
                    m_window.setActivity(WindowServices::Activity::Watching);
                }
                // A batch ended early leaves the rest of its names waiting for the next tick.
                if (stopped)
                    waiting.append(lote.mid(i + 1));
            }
            watched.waiting = waiting;
            if (!worked)
                break;
        }
    }
    m_failures.fimDoLote();
    m_inTick = false;
}
