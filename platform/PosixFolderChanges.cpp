#include "platform/PosixFolderChanges.h"

#include <QDir>
#include <QFile>

PosixFolderChanges::PosixFolderChanges()
{
    QObject::connect(&m_watcher, &QFileSystemWatcher::directoryChanged, [this] { m_changed = true; });
}

bool PosixFolderChanges::takeChanges(const QByteArray& folder)
{
    QString path = QFile::decodeName(folder.isEmpty() ? QByteArray(".") : folder);
    path = QDir(path).absolutePath();
    // A folder removed and made again, or a new folder, is watched afresh and read once.
    if (path != m_folder || !m_watcher.directories().contains(path)) {
        if (!m_watcher.directories().isEmpty())
            m_watcher.removePaths(m_watcher.directories());
        m_folder = path;
        m_watcher.addPath(path);
        m_changed = false;
        return true;
    }
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}
