#pragma once

#include <QFile>
#include <QString>

#include "spool/PrintError.h"

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

/// Sets *error, when asked for, to the printing error of errno @p err, with errnoText().
inline void setPrintError(PrintError* error, const QByteArray& path, int err)
{
    if (error)
        *error = PrintError::fromErrno(err, errnoText(path, err));
}
