#pragma once

#include "spool/RawPort.h"

#include <QList>

/// A raw port that records what it was asked to copy and fails on request.
class RecordingRawPort : public RawPort
{
public:
    bool copyToDevice(const QByteArray& source, const QByteArray& destination, int timeoutMs,
                      QString* error) override
    {
        copies.append({source, destination, timeoutMs});
        if (fail && error)
            *error = QStringLiteral("port refused");
        return !fail;
    }

    struct Copy
    {
        QByteArray source, destination;
        int timeoutMs;
    };
    QList<Copy> copies;
    bool fail = false;
};
