#include "platform/PosixFolderChanges.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace {

QString absoluteFolder(const QByteArray& folder)
{
    return QDir(QFile::decodeName(folder.isEmpty() ? QByteArray(".") : folder)).absolutePath();
}

} // namespace

PosixFolderChanges::PosixFolderChanges()
{
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged,
                     [this](const QString& path) { m_changed.insert(path); });
}

bool PosixFolderChanges::takeChanges(const QByteArray& folder)
{
    const QString path = absoluteFolder(folder);
    // The folder the path names now, asked at every tick (one lstat): the watch stays on a
    // folder renamed away, and sees nothing of one made anew under its name or of a mount put
    // over it. Asked before the watch is set, so that a folder replaced in between is seen as
    // replaced next time rather than passing for the one watched.
    struct stat st;
    const bool folderThere = ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
    const Identity now{folderThere ? st.st_dev : 0, folderThere ? st.st_ino : 0};
    const bool watched = m_watcher.directories().contains(path);
    if (watched && folderThere && m_watched.value(path) == now)
        return m_changed.remove(path);
    // A new folder, or another one under the name, is watched afresh and read at once. What is
    // not a folder (gone, a link, a file) cannot be watched, and is read every time.
    if (watched)
        m_watcher.removePath(path);
    m_changed.remove(path);
    m_watched.remove(path);
    if (folderThere && m_watcher.addPath(path))
        m_watched.insert(path, now);
    return true;
}

void PosixFolderChanges::watchOnly(const QList<QByteArray>& folders)
{
    QSet<QString> kept;
    for (const QByteArray& folder : folders)
        kept.insert(absoluteFolder(folder));
    QStringList gone;
    for (const QString& path : m_watcher.directories())
        if (!kept.contains(path))
            gone.append(path);
    if (!gone.isEmpty())
        m_watcher.removePaths(gone);
    m_changed.intersect(kept);
    m_watched.removeIf([&kept](QHash<QString, Identity>::iterator it) { return !kept.contains(it.key()); });
}
