#pragma once

#include "spool/RawPort.h"

/// Raw output through POSIX calls, with non-blocking writes so a stuck port times out.
class PosixRawPort : public RawPort
{
public:
    bool copyToDevice(ByteSource& source, const QByteArray& destination, int timeoutMs, PrintError* error,
                      qint64* sent = nullptr) override;
};
