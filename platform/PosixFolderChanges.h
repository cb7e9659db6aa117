#pragma once

#include "spool/FolderChanges.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QSet>
#include <QString>

#include <sys/types.h>

/// Folder changes told by the kernel (inotify, through QFileSystemWatcher). Changes made on
/// another machine (NFS, SMB) go untold: the watch cycle reads the folder now and then anyway.
class PosixFolderChanges : public FolderChanges
{
public:
    PosixFolderChanges();
    bool takeChanges(const QByteArray& folder) override;
    void watchOnly(const QList<QByteArray>& folders) override;

private:
    /// The folder a path named when its watch was set: a watch follows its folder, not the path.
    struct Identity
    {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity& o) const { return device == o.device && inode == o.inode; }
    };

    QFileSystemWatcher m_watcher;
    QSet<QString> m_changed; ///< watched folders changed since they were last asked about
    QHash<QString, Identity> m_watched;
};
