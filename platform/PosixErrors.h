#pragma once

#include <QFile>
#include <QString>

#include <cstring>

/// "path: reason" for a failed system call.
inline QString errnoText(const QByteArray& path, int err)
{
    return QFile::decodeName(path) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
}

/// Sets *error, when asked for, to errnoText().
inline void setError(QString* error, const QByteArray& path, int err)
{
    if (error)
        *error = errnoText(path, err);
}
