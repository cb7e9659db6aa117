#pragma once

#include <QByteArray>
#include <QString>

struct PrintError;

class ByteSource;

/// Writes print-outs raw to a port: a device, a FIFO or a plain file.
class RawPort
{
public:
    virtual ~RawPort() = default;
    /// Copies the bytes of an open file, from where it stands to its end, to a destination
    /// that may be a device or a FIFO. A device is written without truncation, a plain file is
    /// replaced. Only a plain file is ever created, and never under /dev, nor where the name
    /// is a device's. Gives up when the destination takes no byte for timeoutMs.
    ///
    /// @p sent, when given, says on the way in how many bytes of the file a device or FIFO
    /// took in an earlier attempt: they are skipped, not sent again (a plain file is written
    /// whole anew). On the way out it holds how many bytes of the file the destination has
    /// taken, where a later attempt goes on from; 0 for a plain file that failed.
    virtual bool copyToDevice(ByteSource& source, const QByteArray& destination, int timeoutMs,
                              PrintError* error, qint64* sent = nullptr) = 0;
};
