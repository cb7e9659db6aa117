#pragma once

#include <QByteArray>
#include <QString>

class ByteSource;

/// Writes print-outs raw to a port: a device, a FIFO or a plain file.
class RawPort
{
public:
    virtual ~RawPort() = default;
    /// Copies the bytes of an open file, from where it stands to its end, to a destination
    /// that may be a device or a FIFO. A device is written without truncation, a plain file is
    /// replaced. Gives up after timeoutMs when the destination does not take the bytes.
    virtual bool copyToDevice(ByteSource& source, const QByteArray& destination, int timeoutMs,
                              QString* error) = 0;
};
