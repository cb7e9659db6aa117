#pragma once

#include "spool/FolderChanges.h"

#include <QSet>

/// Folder changes the test tells by hand: `changed` for the next folder asked about,
/// `changedFolders` for these folders.
class ManualFolderChanges : public FolderChanges
{
public:
    bool takeChanges(const QByteArray& folder) override
    {
        ++asked;
        const bool was = changed || changedFolders.remove(folder);
        changed = false;
        return was;
    }
    void watchOnly(const QList<QByteArray>& folders) override { watched = folders; }
    bool changed = true;
    QSet<QByteArray> changedFolders;
    int asked = 0;
    QList<QByteArray> watched; ///< the folders of the last watchOnly()
};
