#pragma once

#include "spool/FolderChanges.h"

#include <QFileSystemWatcher>
#include <QString>

/// Folder changes told by the kernel (inotify, through QFileSystemWatcher). Changes made on
/// another machine (NFS, SMB) go untold: the watch cycle reads the folder now and then anyway.
class PosixFolderChanges : public FolderChanges
{
public:
    PosixFolderChanges();
    bool takeChanges(const QByteArray& folder) override;

private:
    QFileSystemWatcher m_watcher;
    QString m_folder;
    bool m_changed = true;
};
