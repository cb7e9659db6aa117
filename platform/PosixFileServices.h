#pragma once

#include "spool/FileServices.h"

/// The real file system, through POSIX calls.
class PosixFileServices : public FileServices
{
public:
    QList<QByteArray> enumerate(const QByteArray& pattern) override;
    bool isPlainFile(const QByteArray& path) override;
    FileStamp stamp(const QByteArray& path) override;
    bool isBeingWritten(const QByteArray& path) override;
    bool markPrinted(const QByteArray& path, const QByteArray& mark) override;
    QByteArray printedMark(const QByteArray& path) override;
    std::unique_ptr<ByteSource> openRead(const QByteArray& path, QString* error) override;
    bool writeFile(const QByteArray& path, const QByteArray& data, QString* error) override;
    bool writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts, QString* error) override;
    bool remove(const QByteArray& path, QString* error) override;
    bool rename(const QByteArray& from, const QByteArray& to, QString* error) override;
    bool copyToDevice(const QByteArray& source, const QByteArray& destination, int timeoutMs,
                      QString* error) override;
    QByteArray applicationFolder() override;
    QByteArray currentDirectory() override;
    QDateTime now() override;
    qint64 monotonicMs() override;
};

/// A last path component with "*" (any run) and "?" (one character), letters in any case.
class Wildcard
{
public:
    explicit Wildcard(QByteArrayView pattern);
    bool matches(QByteArrayView name) const;

private:
    QByteArray m_pattern;
    QList<char32_t> m_folded;
    QList<char32_t> m_foldedWithoutExtension; ///< "REL.*" as "REL", for names without "."
    bool m_ascii = true;
};

/// True when name matches the wildcard pattern.
bool wildcardMatch(QByteArrayView pattern, QByteArrayView name);
/// True when some process holds the file open for writing, from /proc/*/fd.
bool openForWritingByAnyProcess(dev_t device, ino_t inode);
