#include "spool/FolderWatch.h"

#include "spool/Clock.h"
#include "spool/Disposal.h"
#include "spool/FolderChanges.h"
#include "spool/NameMatch.h"
#include "spool/SpoolFolder.h"
#include "spool/WindowServices.h"

FolderWatch::FolderWatch(FileServices& files, Clock& clock, WindowServices& window)
    : m_files(files), m_clock(clock), m_window(window)
{
}

void FolderWatch::vigia_padroes(const QByteArray& value)
{
    if (m_split && value == m_value)
        return;
    QList<Folder> watched;
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
        Folder added;
        added.folder = folder;
        added.patterns = {pattern};
        // A folder kept from the value before: what was told of it stands, and what it held
        // stays known until it is read again for its new patterns, so that what the cycle
        // remembers of its files is not forgotten meanwhile.
        for (const Folder& before : std::as_const(m_folders)) {
            if (before.folder == folder) {
                added.problem = before.problem;
                added.present = before.present;
            }
        }
        watched.append(added);
        folders.append(folder);
    }
    m_folders = watched;
    m_badPatterns = bad;
    m_value = value;
    m_split = true;
    if (m_folderChanges)
        m_folderChanges->watchOnly(folders);
}

void FolderWatch::informa_problema(Folder& watched, ListError error)
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

FolderWatch::Batch FolderWatch::proximo_lote(Folder& watched, bool mustRead)
{
    Batch batch;
    const qint64 now = m_clock.monotonicMs();
    // Asked first, so that a change made while the folder is read is told next time.
    const bool changed = !m_folderChanges || m_folderChanges->takeChanges(watched.folder);
    if (changed || mustRead || !watched.everRead || now - watched.lastReadMs >= kFullReadMs) {
        ListError error = ListError::None;
        batch.names = matchingFiles(m_files, watched.folder, watched.patterns, &error);
        informa_problema(watched, error);
        watched.present.clear();
        for (const QByteArray& name : std::as_const(batch.names))
            watched.present.insert(watched.folder + name);
        batch.read = true;
        batch.firstGoodRead = !watched.adopted && error == ListError::None;
        watched.adopted = watched.adopted || batch.firstGoodRead;
        batch.names.removeIf([](const QByteArray& name) { return Disposal::isBackupName(name); });
        watched.lastReadMs = now;
        watched.everRead = true;
        return batch;
    }
    // Nothing came or went: only the files still waiting can have become ready.
    watched.waiting.removeIf(
        [this, &watched](const QByteArray& name) { return !m_files.isPlainFile(watched.folder + name); });
    batch.names = watched.waiting;
    return batch;
}

QSet<QByteArray> FolderWatch::present() const
{
    if (m_folders.size() == 1)
        return m_folders.first().present;
    QSet<QByteArray> all;
    for (const Folder& watched : m_folders)
        all.unite(watched.present);
    return all;
}
