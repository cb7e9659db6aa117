#pragma once

#include <QByteArray>
#include <QString>

/// Where the settings file is kept: the file system, or memory in tests.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;
    /// True when the exact path names a plain, non-hidden file (not a link).
    virtual bool isPlainFile(const QByteArray& path) = 0;
    /// Reads the whole file; false with *error set on failure.
    virtual bool readFile(const QByteArray& path, QByteArray* data, QString* error) = 0;
    /// Creates the file, or empties an existing one, and writes the bytes.
    virtual bool writeFile(const QByteArray& path, const QByteArray& data, QString* error) = 0;
};
