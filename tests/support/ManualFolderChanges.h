#pragma once

#include "spool/FolderChanges.h"

/// Folder changes the test tells by hand.
class ManualFolderChanges : public FolderChanges
{
public:
    bool takeChanges(const QByteArray&) override
    {
        ++asked;
        const bool was = changed;
        changed = false;
        return was;
    }
    bool changed = true;
    int asked = 0;
};
