#include "spool/WatchCycle.h"

#include "settings/Settings.h"
#include "spool/Asker.h"
#include "spool/Clock.h"
#include "spool/NameMatch.h"
#include "spool/PrintJob.h"
#include "spool/Reader.h"
#include "spool/SpoolFolder.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"

#include <QFile>

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

void WatchCycle::forgetVanished(const QList<QByteArray>& names, const QByteArray& folder)
{
    if (m_printed.isEmpty() && m_declined.isEmpty() && m_retry.isEmpty())
        return;
    QSet<QByteArray> present;
    for (const QByteArray& name : names)
        present.insert(folder + name);
    auto prune = [&present](auto& memory) {
        for (auto it = memory.begin(); it != memory.end();)
            it = present.contains(it.key()) ? std::next(it) : memory.erase(it);
    };
    prune(m_printed);
    prune(m_declined);
    prune(m_retry);
    m_failures.esquece(present);
}

QByteArray WatchCycle::proximo_arquivo(const QByteArray& pattern, const QByteArray& folder)
{
    QList<QByteArray> names = matchingFiles(m_files, pattern);
    forgetVanished(names, folder);
    names.removeIf([](const QByteArray& name) { return isBackupName(name); });
    const qint64 now = m_clock.monotonicMs();
    // The first eligible name in name order. A batch calls this once per file, so the names
    // are not sorted: the smallest is taken, and passed over only when it has to wait.
    while (!names.isEmpty()) {
        const auto first = std::min_element(names.begin(), names.end(), nameLess);
        const QByteArray name = *first;
        names.erase(first);
        const QByteArray path = folder + name;
        if (m_failedThisTick.contains(path))
            continue;
        for (auto* memory : {&m_printed, &m_declined}) {
            auto it = memory->find(path);
            if (it != memory->end() && *it != m_files.stamp(path))
                memory->erase(it); // changed since: a new print-out under the same name
        }
        if (m_printed.contains(path) || m_declined.contains(path))
            continue;
        const auto retry = m_retry.constFind(path);
        if (retry != m_retry.constEnd() && now < retry->dueMs)
            continue;
        // A writer that still has the file open has not finished the print-out.
        if (m_files.isBeingWritten(path))
            continue;
        return name;
    }
    return QByteArray();
}

bool WatchCycle::dispose(const QByteArray& folder, const QByteArray& name, const QString& shown)
{
    const QByteArray path = folder + name;
    if (m_settings.sBackup == QLatin1String("1")) {
        const QByteArray backup = folder + nome_backup(name);
        if (m_files.isPlainFile(backup))
            m_files.remove(backup, nullptr);
        const bool renamed = m_files.rename(path, backup, nullptr);
        m_window.log(QStringLiteral("Arquivo ") + shown +
                     (renamed ? QStringLiteral(" impresso") : QStringLiteral(" não renomeado")));
        return renamed;
    }
    const bool removed = m_files.remove(path, nullptr);
    m_window.log(QStringLiteral("Arquivo ") + shown +
                 (removed ? QStringLiteral(" excluido") : QStringLiteral(" não excluido")));
    return removed;
}

void WatchCycle::trata_arquivo(const QByteArray& folder, const QByteArray& name)
{
    const QByteArray path = folder + name;
    const QString shown = QFile::decodeName(path);
    const FileStamp stamp = m_files.stamp(path);

    // Printed by an earlier run that could not put it away: only the disposal is left.
    if (stamp.valid() && m_files.printedMark(path) == stamp.text()) {
        if (!dispose(folder, name, shown))
            m_printed.insert(path, m_files.stamp(path));
        return;
    }

    const LeituraConteudo leitura = le_conteudo(folder, name, m_files, m_asker);
    QString error = leitura.error;
    const bool printed = leitura.ok && m_printJob.imprime_conteudo(leitura.text, leitura.iMaxColunas,
                                                                   QFile::decodeName(name), &error);
    if (!printed) {
        // Not printed: the file stays where it is, untouched.
        m_failures.naoImpresso(path, error);
        m_failedThisTick.insert(path);
        if (leitura.declined) {
            m_declined.insert(path, stamp);
        } else {
            Retry& retry = m_retry[path];
            retry.delayMs = retry.delayMs == 0 ? kFirstRetryMs : std::min(retry.delayMs * 2, kLongestRetryMs);
            retry.dueMs = m_clock.monotonicMs() + retry.delayMs;
        }
        return;
    }
    m_retry.remove(path);
    m_failures.impresso(path);
    m_window.log(QStringLiteral("Arquivo ") + shown + QStringLiteral(" impresso"));

    switch (imprime_acrescimos(folder, name, leitura.bytesRead, stamp.inode)) {
    case Acrescimo::Replaced:
        return; // a new print-out under the same name: it is handled as one
    case Acrescimo::Failed:
        m_printed.insert(path, m_files.stamp(path)); // its printed part is not printed again
        return;
    case Acrescimo::Stable:
        break;
    }
    // Should the backup or the deletion fail, the mark keeps a restart from printing it again.
    m_files.markPrinted(path, m_files.stamp(path).text());
    if (!dispose(folder, name, shown))
        m_printed.insert(path, m_files.stamp(path));
}

WatchCycle::Acrescimo WatchCycle::imprime_acrescimos(const QByteArray& folder, const QByteArray& name,
                                                     qint64 printedBytes, quint64 inode)
{
    // A writer that closes the file and opens it again to append may do so while the file is
    // read and printed. What it added must be printed too before the file is put away.
    const QByteArray path = folder + name;
    for (int round = 0; round < kMostAppendRounds; ++round) {
        const FileStamp now = m_files.stamp(path);
        if (!now.valid() || now.inode != inode || now.size < printedBytes)
            return Acrescimo::Replaced;
        if (now.size == printedBytes)
            return Acrescimo::Stable;
        const LeituraConteudo tail = le_conteudo(folder, name, m_files, m_asker, printedBytes);
        if (!tail.ok)
            return Acrescimo::Failed;
        if (!tail.text.isEmpty() &&
            !m_printJob.imprime_conteudo(tail.text, tail.iMaxColunas, QFile::decodeName(name), nullptr))
            return Acrescimo::Failed;
        m_window.log(QStringLiteral("Arquivo ") + QFile::decodeName(path) + QStringLiteral(" impresso"));
        printedBytes = tail.bytesRead;
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

    passo_animacao();

    const QByteArray pattern = QFile::encodeName(m_settings.sLocal);
    const QByteArray folder = patternFolder(pattern);

    if (!pattern.isEmpty()) {
        QByteArray name = proximo_arquivo(pattern, folder);
        while (!name.isEmpty()) {
            m_timer.setEnabled(false);
            trata_arquivo(folder, name);
            if (interrupted())
                break;
            m_timer.setEnabled(true);
            m_window.betweenFiles();
            if (interrupted())
                break;
            name = proximo_arquivo(pattern, folder);
        }
    }
    m_failures.fimDoLote();
    m_inTick = false;
}
