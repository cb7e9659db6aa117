#pragma once

#include <QByteArray>

class ByteSource;
class FileServices;

/**
 * A hash of the first bytes of a file, to tell whether what was printed is still its start.
 * Every spool file read is hashed whole, so the hash must cost little next to reading it: it is
 * Qt's hash of raw bytes, taken in blocks at fixed offsets (the same bytes hash the same
 * however they are handed in), on two seeds for 128 bits, with the length. It is kept in memory
 * only and compared within one run: it need not be the same from one machine or Qt to another.
 */
class Fingerprint
{
public:
    void add(QByteArrayView bytes);
    QByteArray result() const;

    /// The hash of the file's first size bytes; empty when the file is shorter or unreadable.
    static QByteArray ofPrefix(FileServices& files, const QByteArray& path, qint64 size);
    /// The same, read from an opened file; null gives empty.
    static QByteArray ofPrefix(ByteSource* in, qint64 size);

private:
    static constexpr qsizetype kBlock = 64 * 1024;
    void addBlock(const char* data, qsizetype size);

    size_t m_lanes[2] = {0x243F6A8885A308D3u, 0x13198A2E03707344u};
    qint64 m_length = 0;
    QByteArray m_held; ///< the start of the block not yet whole
};
