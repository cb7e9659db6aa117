#pragma once

#include "spool/FolderChanges.h"

#include <QFileSystemWatcher>
#include <QSet>
#include <QString>

/// Folder changes told by the kernel (inotify, through QFileSystemWatcher). Changes made on
/// another machine (NFS, SMB) go untold: the watch cycle reads the folder now and then anyway.
class PosixFolderChanges : public FolderChanges
{
public:
    PosixFolderChanges();
    bool takeChanges(const QByteArray& folder) override;
    void watchOnly(const QList<QByteArray>& folders) override;

private:
    QFileSystemWatcher m_watcher;
    QSet<QString> m_changed; ///< watched folders changed since they were last asked about
};
