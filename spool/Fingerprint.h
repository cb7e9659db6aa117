#pragma once

#include <QByteArray>
#include <QCryptographicHash>

class ByteSource;
class FileServices;

/// A hash of the first bytes of a file, to tell whether what was printed is still its start.
class Fingerprint
{
public:
    Fingerprint() : m_hash(QCryptographicHash::Md5) {}
    void add(QByteArrayView bytes) { m_hash.addData(bytes); }
    QByteArray result() const { return m_hash.result(); }

    /// The hash of the file's first size bytes; empty when the file is shorter or unreadable.
    static QByteArray ofPrefix(FileServices& files, const QByteArray& path, qint64 size);
    /// The same, read from an opened file; null gives empty.
    static QByteArray ofPrefix(ByteSource* in, qint64 size);

private:
    QCryptographicHash m_hash;
};
