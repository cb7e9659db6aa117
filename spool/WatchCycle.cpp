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

void WatchCycle::passo_animacao()
{
    QString tip;
    if (iContador < 3) {
        m_window.setTrayPicture(QStringLiteral("ATIVOABERTO"));
        m_window.setWindowIconByName(QStringLiteral("ATIVOABERTO"));
        bAberto = true;
        ++iContador;
        m_timer.setInterval(1000);
        tip = QStringLiteral("Velmorix ativo...") + m_failures.aguardando();
    } else if (bAberto) {
        m_window.setTrayPicture(QStringLiteral("ATIVOMEIOABERTO"));
        m_window.setWindowIconByName(QStringLiteral("ATIVOMEIOABERTO"));
        bAberto = false;
        m_timer.setInterval(100);
    } else {
        m_window.setTrayPicture(QStringLiteral("ATIVOFECHADO"));
        m_window.setWindowIconByName(QStringLiteral("ATIVOFECHADO"));
        bAberto = true;
        iContador = 0;
    }
    m_window.icone_bandeja(1, tip);
}

void WatchCycle::forgetVanished()
{
    if (m_printed.isEmpty() && m_declined.isEmpty() && m_retry.isEmpty())
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
    m_failures.esquece(*present);
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
    // Printed, and waiting for the printer to finish before it is deleted; a file written
    // anew under the name meanwhile is a new print-out.
    const auto pending = m_pending.constFind(path);
    if (pending != m_pending.constEnd() && pending->stamp.valid()) {
        if (pending->stamp == stamp)
            return false;
        m_pending.erase(pending);
    }
    const auto retry = m_retry.constFind(path);
    if (retry != m_retry.constEnd() && now < retry->dueMs)
        return false;
    // A writer that still has the file open has not finished the print-out.
    return !m_files.isBeingWritten(path);
}

bool WatchCycle::dispose(const QByteArray& folder, const QByteArray& name, const QString& shown,
                         const QByteArray& mark, Impresso* printed)
{
    const QByteArray path = folder + name;
    // Should the backup or the deletion fail, the mark keeps a restart from printing it again,
    // and the memory keeps this run from it while the file is unchanged.
    if (!mark.isEmpty())
        m_files.markPrinted(path, mark);
    Impresso asItIs;
    if (!printed) {
        asItIs.stamp = m_files.stamp(path);
        asItIs.bytes = asItIs.stamp.size;
        asItIs.hash = Fingerprint::ofPrefix(m_files, path, asItIs.bytes);
        printed = &asItIs;
    }
    switch (backup_ou_exclui(folder, name, shown, *printed)) {
    case Disposal::Gone:
        return true;
    case Disposal::Changed:
        return false;
    case Disposal::Kept:
        break;
    }
    m_printed.insert(path, m_files.stamp(path));
    return false;
}

QByteArray WatchCycle::marca_trabalho(const FileStamp& stamp, const SubmittedJob& job)
{
    return stamp.text() + " job " + job.printer.toUtf8() + ' ' + QByteArray::number(job.id);
}

SubmittedJob WatchCycle::trabalho_da_marca(const QByteArray& mark, const FileStamp& stamp)
{
    const QByteArray prefix = stamp.text() + " job ";
    const qsizetype space = mark.lastIndexOf(' ');
    if (!stamp.valid() || !mark.startsWith(prefix) || space <= prefix.size())
        return SubmittedJob();
    const QByteArray printer = mark.mid(prefix.size(), space - prefix.size());
    return SubmittedJob{QString::fromUtf8(printer), mark.mid(space + 1).toInt()};
}

bool WatchCycle::dispose_apos_trabalhos(const QByteArray& folder, const QByteArray& name,
                                        const QString& shown, const QList<SubmittedJob>& jobs,
                                        Impresso& printed)
{
    const QByteArray path = folder + name;
    const FileStamp stamp = m_files.stamp(path);
    if (jobs.isEmpty())
        return dispose(folder, name, shown, stamp.text(), &printed);
    const QByteArray mark = marca_trabalho(stamp, jobs.last());
    if (m_settings.sBackup == QLatin1String("1")) {
        // The backup holds the text: should the job fail, it is put back and printed again.
        const bool gone = dispose(folder, name, shown, mark, &printed);
        if (gone)
            m_pending.insert(path, Pendente{folder, name, jobs + std::exchange(m_jobsOfFile, {}), FileStamp(),
                                            folder + nome_backup(name)});
        return gone;
    }
    // Deleted only once the printer has finished the job: until then the mark keeps this run,
    // and the next, from printing it again.
    m_files.markPrinted(path, mark);
    m_pending.insert(path, Pendente{folder, name, jobs, stamp, QByteArray()});
    return false;
}

void WatchCycle::confere_trabalhos()
{
    const qint64 now = m_clock.monotonicMs();
    if (m_pending.isEmpty() || (m_lastPollMs != 0 && now - m_lastPollMs < kJobPollMs))
        return;
    m_lastPollMs = now;
    QList<QByteArray> paths = m_pending.keys();
    std::sort(paths.begin(), paths.end(), [this](const QByteArray& a, const QByteArray& b) {
        return m_pending.constFind(a)->jobs.last().id < m_pending.constFind(b)->jobs.last().id;
    });
    // A queue finishes its jobs in the order it took them: past one still pending, the later
    // ones of that queue are not asked about, so a stopped queue costs one request a poll.
    QSet<QString> busy;
    for (const QByteArray& path : std::as_const(paths)) {
        const Pendente pendente = m_pending.value(path);
        bool failed = false;
        bool waiting = false;
        for (const SubmittedJob& job : pendente.jobs) {
            // Unknown counts as Completed: the scheduler took the job and has since forgotten
            // it (its history purged); an aborted job stays listed long enough to be seen, so
            // the file is not printed twice on a guess.
            const PrintingService::JobState state =
                busy.contains(job.printer) ? PrintingService::JobState::Pending : m_printJob.jobState(job);
            failed = failed || state == PrintingService::JobState::Failed;
            if (state == PrintingService::JobState::Pending) {
                waiting = true;
                busy.insert(job.printer);
            }
        }
        if (failed) {
            trabalho_falhou(path, pendente);
            m_pending.remove(path);
            continue;
        }
        if (waiting)
            continue;
        const bool waitsForDeletion = pendente.stamp.valid();
        if (waitsForDeletion) {
            const std::unique_ptr<FileClaim> claim = m_files.claim(path);
            if (!claim)
                continue; // another copy of the program has it in hand: asked again next time
            if (m_files.stamp(path) == pendente.stamp)
                dispose(pendente.folder, pendente.name, QFile::decodeName(path), QByteArray());
        }
        m_pending.remove(path);
    }
}

void WatchCycle::trabalho_falhou(const QByteArray& path, const Pendente& pendente)
{
    m_failures.naoImpresso(path, QStringLiteral("[job-aborted]"));
    if (pendente.backup.isEmpty()) {
        if (m_files.stamp(path) != pendente.stamp)
            return; // removed or written anew meanwhile: nothing of this print-out is left here
    } else if (m_files.isPlainFile(path) || !m_files.rename(pendente.backup, path, nullptr)) {
        return; // a new file took the name: the backup stays a backup
    }
    m_files.markPrinted(path, QByteArray());
    m_printed.remove(path);
    adia(path);
    // The file is back in its folder's waiting names, to be seen without a new reading.
    for (Watched& watched : m_watched) {
        if (watched.folder == pendente.folder && !watched.waiting.contains(pendente.name))
            watched.waiting.append(pendente.name);
    }
}

void WatchCycle::adia(const QByteArray& path)
{
    Retry& retry = m_retry[path];
    retry.delayMs = retry.delayMs == 0 ? kFirstRetryMs : std::min(retry.delayMs * 2, kLongestRetryMs);
    retry.dueMs = m_clock.monotonicMs() + retry.delayMs;
}

WatchCycle::Disposal WatchCycle::backup_ou_exclui(const QByteArray& folder, const QByteArray& name,
                                                  const QString& shown, Impresso& printed)
{
    const QByteArray path = folder + name;
    const bool backup = m_settings.sBackup == QLatin1String("1");
    const QByteArray to = backup ? folder + nome_backup(name) : QByteArray();
    if (backup && m_files.isPlainFile(to))
        m_files.remove(to, nullptr);
    // The file goes only as it was printed and while no writer holds it. A writer that came back
    // since has its part printed first; one that opens the file at the very moment it goes
    // writes into the file put away, and its part is printed from there.
    std::unique_ptr<PutAwayFile> held;
    PutAwayResult result = PutAwayResult::Failed;
    for (int round = 0; round <= kMostAppendRounds; ++round) {
        held = m_files.putAway(path, to, printed.stamp, kWriterWaitMs, &result, nullptr);
        if (result == PutAwayResult::Done || result == PutAwayResult::Failed)
            break;
        // Held open all the while it was waited for: looked at afresh once its writer is done.
        if (result == PutAwayResult::Busy)
            return Disposal::Changed;
        switch (imprime_acrescimos(folder, name, printed)) {
        case Acrescimo::Stable:
            continue;
        case Acrescimo::Replaced:
            return Disposal::Changed;
        case Acrescimo::Failed:
            return Disposal::Kept;
        }
    }
    if (result != PutAwayResult::Done) {
        m_window.log(QStringLiteral("Arquivo ") + shown +
                     (backup ? QStringLiteral(" não renomeado") : QStringLiteral(" não excluido")));
        return Disposal::Kept;
    }
    m_window.log(QStringLiteral("Arquivo ") + shown +
                 (backup ? QStringLiteral(" impresso") : QStringLiteral(" excluido")));
    if (held->touched() && imprime_acrescimos(folder, name, printed, held.get()) != Acrescimo::Stable)
        m_window.logFalha(QStringLiteral("Arquivo ") + shown +
                          QStringLiteral(" não impresso (parte acrescentada ao ser guardado)"));
    return Disposal::Gone;
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
    // Printed by an earlier run that waited for the printer to finish: the job decides.
    const SubmittedJob earlier = trabalho_da_marca(mark, stamp);
    if (earlier.id != 0) {
        switch (m_printJob.jobState(earlier)) {
        case PrintingService::JobState::Pending:
            m_pending.insert(path, Pendente{folder, name, {earlier}, stamp, QByteArray()});
            return false;
        case PrintingService::JobState::Failed:
            break; // printed again
        case PrintingService::JobState::Completed:
        case PrintingService::JobState::Unknown: // taken by the scheduler, then forgotten: printed
            return dispose(folder, name, shown, QByteArray());
        }
    }

    Impresso done;
    done.stamp = stamp;
    bool declined = false;
    bool rewritten = false;
    QString error;
    m_jobsOfFile.clear();
    if (!le_e_imprime(folder, name, 0, QByteArray(), done, &declined, &rewritten, &error)) {
        // Not printed: the file stays where it is, untouched.
        m_failures.naoImpresso(path, error);
        m_failedThisTick.insert(path);
        if (declined)
            m_declined.insert(path, stamp);
        else
            adia(path);
        return false;
    }
    m_retry.remove(path);
    m_failures.impresso(path);
    m_window.log(QStringLiteral("Arquivo ") + shown + QStringLiteral(" impresso"));

    switch (imprime_acrescimos(folder, name, done)) {
    case Acrescimo::Replaced:
        return false; // a new print-out under the same name: it is handled as one
    case Acrescimo::Failed:
        m_printed.insert(path, m_files.stamp(path)); // its printed part is not printed again
        return false;
    case Acrescimo::Stable:
        break;
    }
    return dispose_apos_trabalhos(folder, name, shown, std::exchange(m_jobsOfFile, {}), done);
}

bool WatchCycle::le_e_imprime(const QByteArray& folder, const QByteArray& name, qint64 skipBytes,
                              const QByteArray& skippedHash, Impresso& done, bool* declined, bool* rewritten,
                              QString* error, PutAwayFile* from)
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
        // Raw output takes the lines as they are read: the file is never held whole.
        std::unique_ptr<StreamedPrint> out = m_printJob.beginLines(error, title);
        if (!out)
            return false;
        leitura = from ? le_conteudo(*from, skipBytes, *out)
                       : le_conteudo(folder, name, m_files, m_asker, skipBytes, *out);
        printed = leitura.ok && !rewrittenSince(leitura) && out->finish(error);
    } else {
        leitura =
            from ? le_conteudo(*from, skipBytes) : le_conteudo(folder, name, m_files, m_asker, skipBytes);
        printed = leitura.ok && !rewrittenSince(leitura) &&
                  ((skipBytes > 0 && leitura.text.isEmpty()) ||
                   m_printJob.imprime_conteudo(leitura.text, leitura.iMaxColunas, title, error));
    }
    if (printed) {
        const SubmittedJob job = m_printJob.takeLastJob();
        if (job.id != 0)
            m_jobsOfFile.append(job);
    }
    if (!leitura.ok && error)
        *error = leitura.error;
    *declined = leitura.declined;
    done.bytes = leitura.bytesRead;
    done.hash = leitura.hash;
    return printed;
}

WatchCycle::Acrescimo WatchCycle::imprime_acrescimos(const QByteArray& folder, const QByteArray& name,
                                                     Impresso& done, PutAwayFile* from)
{
    // A writer that closes the file and opens it again to append may do so while the file is
    // read and printed. What it added must be printed too before the file is put away; a
    // writer that empties the file and writes it anew makes a new print-out.
    const QByteArray path = folder + name;
    for (int round = 0; round < kMostAppendRounds; ++round) {
        if (from)
            from->waitForWriters(kWriterWaitMs);
        const FileStamp now = from ? from->stamp() : m_files.stamp(path);
        if (now == done.stamp)
            return Acrescimo::Stable; // untouched since before it was read
        bool replaced = !now.valid() || now.inode != done.stamp.inode || now.size < done.bytes;
        if (!replaced && now.size == done.bytes) {
            const QByteArray hash = from ? Fingerprint::ofPrefix(from->openRead(nullptr).get(), done.bytes)
                                         : Fingerprint::ofPrefix(m_files, path, done.bytes);
            if (hash == done.hash) {
                done.stamp = now;
                return Acrescimo::Stable;
            }
            replaced = true;
        }
        // Under its name, a new print-out is handled as one; put away, it is printed from there.
        if (replaced && !from)
            return Acrescimo::Replaced;
        Impresso tail;
        tail.stamp = now;
        bool declined = false;
        bool rewritten = false;
        const qint64 skip = replaced ? 0 : done.bytes;
        if (!le_e_imprime(folder, name, skip, done.hash, tail, &declined, &rewritten, nullptr, from)) {
            if (!rewritten)
                return Acrescimo::Failed;
            if (!from)
                return Acrescimo::Replaced;
            done = Impresso(); // printed whole on the next round
            continue;
        }
        m_window.log(QStringLiteral("Arquivo ") + QFile::decodeName(path) + QStringLiteral(" impresso"));
        done = tail;
    }
    return Acrescimo::Failed;
}

bool WatchCycle::interrupted()
{
    if (m_interruption == Interruption::None)
        return false;
    // Whoever asked while the batch let events in decides whether the timer runs on.
    m_timer.setEnabled(m_interruption == Interruption::Restart);
    return true;
}

void WatchCycle::Movimento_Timer()
{
    // A tick never runs inside another, whoever turned the timer on meanwhile.
    if (m_inTick)
        return;
    m_inTick = true;
    m_interruption = Interruption::None;
    m_failedThisTick.clear();
    confere_trabalhos();

    passo_animacao();

    vigia_padroes(QFile::encodeName(m_settings.sLocal));

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
                if (!trata_arquivo(folder, name))
                    waiting.append(name);
                stopped = interrupted();
                if (!stopped) {
                    m_timer.setEnabled(true);
                    m_window.betweenFiles();
                    stopped = interrupted();
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
