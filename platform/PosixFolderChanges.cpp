#include "platform/PosixFolderChanges.h"

#include <QDir>
#include <QFile>

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
    // A folder removed and made again, or a new folder, is watched afresh and read once.
    if (!m_watcher.directories().contains(path)) {
        m_watcher.addPath(path);
        m_changed.remove(path);
        return true;
    }
    return m_changed.remove(path);
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
}
