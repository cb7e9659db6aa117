#pragma once

#include "spool/FileServices.h"
#include "spool/PrintError.h"
#include "spool/RawPort.h"

#include <QList>

/// A raw port that records what it was asked to copy and fails on request.
class RecordingRawPort : public RawPort
{
public:
    bool copyToDevice(ByteSource& source, const QByteArray& destination, int timeoutMs, PrintError* error,
                      qint64* sent = nullptr) override
    {
        QByteArray bytes;
        char buffer[4096];
        for (qint64 n; (n = source.read(buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, n);
        copies.append({bytes, destination, timeoutMs});
        if (fail && error)
            *error = PrintError::other(QStringLiteral("port refused"));
        if (sent)
            *sent = fail ? 0 : bytes.size();
        return !fail;
    }

    struct Copy
    {
        QByteArray bytes, destination;
        int timeoutMs;
    };
    QList<Copy> copies;
    bool fail = false;
};
