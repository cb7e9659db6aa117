#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <algorithm>
#include <memory>

/// What a spool file looked like when it was last seen: a file that changes gets a new stamp.
struct FileStamp
{
    /// The stamp as text, for marks kept on the file.
    QByteArray text() const
    {
        return QByteArray::number(size) + ' ' + QByteArray::number(mtimeNs) + ' ' + QByteArray::number(inode);
    }

    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;

    bool valid() const { return size >= 0; }
    bool operator==(const FileStamp& o) const
    {
        return size == o.size && mtimeNs == o.mtimeNs && inode == o.inode;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

/// An open file being read from its start.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    /// Reads up to max bytes; returns the count, 0 at the end, -1 on a failure.
    virtual qint64 read(char* data, qint64 max) = 0;
    virtual QString errorString() const = 0;
};

/**
 * The file system as the engine sees it. Paths are bytes, exactly as the file
 * system gives and takes them; "/" separates folders.
 */
class FileServices
{
public:
    virtual ~FileServices() = default;

    /// Bare names of the plain files matching the last component of the pattern ("*" and "?",
    /// letters in any case), in the folder's own order. Folders, hidden files, links and
    /// special files never match.
    virtual QList<QByteArray> enumerate(const QByteArray& pattern) = 0;
    /// The same names, sorted by name without regard to case.
    QList<QByteArray> matches(const QByteArray& pattern)
    {
        QList<QByteArray> names = enumerate(pattern);
        std::sort(names.begin(), names.end(), nameLess);
        return names;
    }
    /// First of matches(), or an empty name.
    QByteArray firstMatch(const QByteArray& pattern)
    {
        const QList<QByteArray> names = enumerate(pattern);
        const auto first = std::min_element(names.begin(), names.end(), nameLess);
        return first == names.end() ? QByteArray() : *first;
    }
    /// The order of names: ASCII letters without regard to case, then the bytes as they are.
    static bool nameLess(const QByteArray& a, const QByteArray& b)
    {
        const qsizetype n = std::min(a.size(), b.size());
        for (qsizetype i = 0; i < n; ++i) {
            const auto x = static_cast<unsigned char>(lowerAscii(a[i]));
            const auto y = static_cast<unsigned char>(lowerAscii(b[i]));
            if (x != y)
                return x < y;
        }
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    }
    static char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
    /// True when the exact path names a plain, non-hidden file (not a link).
    virtual bool isPlainFile(const QByteArray& path) = 0;
    virtual FileStamp stamp(const QByteArray& path) = 0;
    /// True while some process still has the file open for writing.
    virtual bool isBeingWritten(const QByteArray& path) = 0;

    /// Marks a file as printed, on the file itself, so the mark outlives the program; false
    /// where the file system keeps no such marks.
    virtual bool markPrinted(const QByteArray& path, const QByteArray& mark)
    {
        Q_UNUSED(path);
        Q_UNUSED(mark);
        return false;
    }
    /// The mark set by markPrinted(), or empty.
    virtual QByteArray printedMark(const QByteArray& path)
    {
        Q_UNUSED(path);
        return QByteArray();
    }

    /// Opens a plain file for reading; never follows a link. Null with *error set on failure.
    virtual std::unique_ptr<ByteSource> openRead(const QByteArray& path, QString* error) = 0;
    /// Creates the file, or empties an existing one, and writes the bytes.
    virtual bool writeFile(const QByteArray& path, const QByteArray& data, QString* error) = 0;
    /// Creates a new file that must not exist yet (no link is followed) and writes the parts.
    virtual bool writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts, QString* error) = 0;
    virtual bool remove(const QByteArray& path, QString* error) = 0;
    /// Renames; fails when the new name exists.
    virtual bool rename(const QByteArray& from, const QByteArray& to, QString* error) = 0;
    /// Copies a file's bytes to a destination that may be a device or a FIFO. A device is
    /// written without truncation, a plain file is replaced. Gives up after timeoutMs when
    /// the destination does not take the bytes.
    virtual bool copyToDevice(const QByteArray& source, const QByteArray& destination, int timeoutMs,
                              QString* error) = 0;

    virtual QByteArray applicationFolder() = 0;
    virtual QByteArray currentDirectory() = 0;
    virtual QDateTime now() = 0;
    /// Milliseconds on a clock that never goes back.
    virtual qint64 monotonicMs() = 0;
};
