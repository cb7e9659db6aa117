#include "spool/WatchCycle.h"

#include "settings/Settings.h"
#include "spool/Clock.h"
#include "spool/Fingerprint.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"

#include <QFile>

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
    : m_settings(settings), m_files(files), m_clock(clock), m_window(window), m_timer(timer),
      m_printer(files, asker, printJob)
{
}

void WatchCycle::forgetVanished()
{
    if (m_ledger.isEmpty())
        return;
    const QSet<QByteArray> present = m_folders.present();
    m_ledger.forget(present);
    // A print-out waiting under a name of its own still counts as waiting under its spool name.
    m_failures.esquece(present + m_ledger.waitingSpoolPaths());
}

QList<QByteArray> WatchCycle::proximo_lote(FolderWatch::Folder& watched, bool mustRead)
{
    FolderWatch::Batch batch = m_folders.proximo_lote(watched, mustRead);
    if (batch.firstGoodRead)
        m_followUp.adota_pendentes(watched.folder);
    if (batch.read)
        forgetVanished();
    return batch.names;
}

bool WatchCycle::elegivel(const QByteArray& path, qint64 now)
{
    if (m_ledger.passedBy(path))
        return false;
    if (m_ledger.holdsBack(path, m_files.stamp(path), now))
        return false;
    // A writer that still has the file open has not finished the print-out.
    return !m_files.isBeingWritten(path);
}

bool WatchCycle::trata_arquivo(const QByteArray& folder, const QByteArray& name)
{
    const QByteArray path = folder + name;
    // Another program printing from this folder has it in hand: it is theirs, not a failure.
    const std::unique_ptr<FileClaim> claim = m_files.claim(path);
    if (!claim) {
        m_ledger.passBy(path);
        return !m_files.isPlainFile(path);
    }
    const QString shown = QFile::decodeName(path);
    const FileStamp stamp = m_files.stamp(path);

    // Printed by an earlier run that could not put it away: only the disposal is left.
    const QByteArray mark = stamp.valid() ? m_files.printedMark(path) : QByteArray();
    if (!mark.isEmpty() && mark == stamp.text())
        return m_disposal.dispose(folder, name, shown, QByteArray());
    // Printed by an earlier run that waited in place for the printer to finish: the job decides.
    const SubmittedJob earlier = Disposal::trabalho_da_marca(mark, stamp);
    if (earlier.id != 0) {
        switch (m_printer.jobState(earlier)) {
        case JobState::Pending: {
            WaitingPrintOut waiting;
            waiting.folder = folder;
            waiting.name = name;
            waiting.copy = name;
            waiting.stamp = stamp;
            waiting.bytes = stamp.size;
            waiting.hash = Fingerprint::ofPrefix(m_files, path, stamp.size);
            waiting.jobs = {earlier};
            waiting.jobStarts = {0};
            m_ledger.setWaiting(path, waiting);
            return false;
        }
        case JobState::Failed:
            break; // printed again
        case JobState::Unknown:
            // Nobody can say whether it printed: kept as it is, and told, until it changes.
            m_failures.naoImpresso(path,
                                   PrintError(PrintError::Kind::JobUnknown, QStringLiteral("job unknown")));
            m_ledger.setPrinted(path, stamp);
            return false;
        case JobState::Completed:
            return m_disposal.dispose(folder, name, shown, QByteArray());
        }
    }

    PrintedPart done;
    done.stamp = stamp;
    bool declined = false;
    bool rewritten = false;
    PrintError error;
    m_printer.newFile();
    if (!m_printer.le_e_imprime(folder, name, name, 0, QByteArray(), done, &declined, &rewritten, &error)) {
        // Not printed: the file stays where it is, untouched.
        m_failures.naoImpresso(path, error);
        m_ledger.passBy(path);
        if (declined)
            m_ledger.setDeclined(path, stamp);
        else if (done.tooLarge)
            m_ledger.setDeclined(path, m_files.stamp(path)); // as it was found: perhaps grown meanwhile
        else
            m_ledger.retryLater(path, m_clock.monotonicMs());
        return false;
    }
    m_ledger.printedNow(path);
    m_failures.impresso(path, m_printer.lastJob());
    // The printer takes print-outs again: those an outage held back go now, not after their pause.
    if (m_ledger.wakeAll(m_clock.monotonicMs()) > 0)
        m_woke = true;
    m_window.log(QStringLiteral("Arquivo ") + shown + QStringLiteral(" impresso"));
    if (done.cutShort)
        m_window.log(cutShortLine(shown));
    if (!done.note.isEmpty())
        m_window.log(QStringLiteral("Arquivo ") + shown + QStringLiteral(": ") + done.note);

    switch (imprime_acrescimos(folder, name, done)) {
    case Appended::Replaced:
        // A new print-out under the same name, handled as one; the old one's text is gone with
        // the rewrite, so its jobs have nothing left to print again.
        m_printer.newFile();
        return false;
    case Appended::Failed:
        // What was appended did not print: it waits with the printed part, and only the part
        // that is left is printed again.
        return m_followUp.dispose_apos_trabalhos(folder, name, shown, done, false);
    case Appended::Stable:
        break;
    }
    return m_followUp.dispose_apos_trabalhos(folder, name, shown, done, true);
}

WatchCycle::Appended WatchCycle::imprime_acrescimos(const QByteArray& folder, const QByteArray& name,
                                                    PrintedPart& done)
{
    // A writer that closes the file and opens it again to append may do so while the file is
    // read and printed. What it added must be printed too before the file is put away; a
    // writer that empties the file and writes it anew makes a new print-out.
    const QByteArray path = folder + name;
    for (int round = 0; round < kMostAppendRounds; ++round) {
        const FileStamp now = m_files.stamp(path);
        if (now == done.stamp)
            return Appended::Stable; // untouched since before it was read
        if (!now.valid() || now.inode != done.stamp.inode || now.size < done.bytes)
            return Appended::Replaced;
        if (now.size == done.bytes)
            return Fingerprint::ofPrefix(m_files, path, done.bytes) == done.hash ? Appended::Stable
                                                                                 : Appended::Replaced;
        PrintedPart tail;
        tail.stamp = now;
        bool declined = false;
        bool rewritten = false;
        PrintError error;
        if (!m_printer.le_e_imprime(folder, name, name, done.bytes, done.hash, tail, &declined, &rewritten,
                                    &error)) {
            if (rewritten)
                return Appended::Replaced;
            m_failures.naoImpresso(path, error);
            return Appended::Failed;
        }
        m_failures.impresso(path, m_printer.lastJob());
        m_window.log(QStringLiteral("Arquivo ") + QFile::decodeName(path) + QStringLiteral(" impresso"));
        if (tail.cutShort)
            m_window.log(cutShortLine(QFile::decodeName(path)));
        if (!tail.note.isEmpty())
            m_window.log(QStringLiteral("Arquivo ") + QFile::decodeName(path) + QStringLiteral(": ") +
                         tail.note);
        done = tail;
    }
    // Still growing: it is put away with what printed, and what was appended since is printed
    // from there once its jobs are over, however many rounds that takes.
    return Appended::Failed;
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
    m_ledger.newTick();
    m_followUp.confere_trabalhos();
    m_followUp.reimprime_pendentes([this] { return m_interruption != Interruption::None; });

    m_window.setToolTip(QStringLiteral("Velmorix ativo...") + m_failures.aguardando());

    m_folders.vigia_padroes(QFile::encodeName(m_settings.pattern));

    // Each folder is read once per batch, and the batch taken in name order; names that appear
    // meanwhile come with the next batch. The folders are taken in the order the patterns give.
    bool stopped = false;
    QList<FolderWatch::Folder>& folders = m_folders.folders();
    for (qsizetype w = 0; w < folders.size() && !stopped; ++w) {
        FolderWatch::Folder& watched = folders[w];
        const QByteArray& folder = watched.folder;
        for (bool mustRead = false; !stopped; mustRead = true) {
            const QList<QByteArray> lote = proximo_lote(watched, mustRead);
            QList<QByteArray> waiting;
            bool worked = false;
            m_woke = false;
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
                m_followUp.confere_trabalhos();
                stopped = interrupted();
                if (!stopped) {
                    m_timer.setEnabled(true);
                    m_window.setActivity(WindowServices::Activity::Watching);
                }
                // A batch ended early leaves the rest of its names waiting for the next tick; one
                // that woke files held back starts again, so they go first in name order.
                if (stopped || m_woke) {
                    waiting.append(lote.mid(i + 1));
                    if (m_woke)
                        break;
                }
            }
            watched.waiting = waiting;
            if (!worked)
                break;
        }
    }
    m_failures.fimDoLote();
    m_inTick = false;
}
