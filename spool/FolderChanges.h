#pragma once

#include <QByteArray>
#include <QList>

/// Tells whether anything in a folder can have changed, so an unchanged folder need not be read.
class FolderChanges
{
public:
    virtual ~FolderChanges() = default;
    /// Watches this folder from now on, beside the others; true when it may have changed since
    /// the last call for it, and always true when the folder cannot be watched.
    virtual bool takeChanges(const QByteArray& folder) = 0;
    /// Stops watching every folder but these.
    virtual void watchOnly(const QList<QByteArray>& folders) = 0;
};
