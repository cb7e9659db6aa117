#pragma once

#include <QByteArray>

/// The program's places in the file system.
class Places
{
public:
    virtual ~Places() = default;
    /// The folder the program file lives in.
    virtual QByteArray applicationFolder() = 0;
    /// The working folder, where raw print-outs are staged.
    virtual QByteArray currentDirectory() = 0;
};
