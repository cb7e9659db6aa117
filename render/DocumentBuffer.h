#pragma once

#include <QByteArray>
#include <QIODevice>

/**
 * Where a PDF is written while it is drawn: in memory while it is small, in an unlinked
 * temporary file (in QDir::tempPath()) once it grows past a limit, so that a big document is not
 * held in memory beside the text it is drawn from. Written from start to end; read back with
 * readAll() or in blocks with read() after rewind(). The file is written with system calls of
 * our own, so that a failed write tells its cause: errorString() is then strerror's text
 * (a full disk says "No space left on device").
 */
class DocumentBuffer : public QIODevice
{
public:
    /// Documents up to @p memoryLimit bytes stay in memory.
    explicit DocumentBuffer(qint64 memoryLimit = kDefaultLimit);
    ~DocumentBuffer() override;

    static constexpr qint64 kDefaultLimit = 4 * 1024 * 1024;

    /// Empties it and opens it for writing; false, with errorString(), when it cannot.
    bool start();
    /// A write failed since start(): the document is incomplete, whatever its writer says.
    bool failed() const { return m_failed; }
    /// The errno of the failed write.
    int errorNumber() const { return m_errno; }
    /// The document is in a temporary file rather than in memory.
    bool spilled() const { return m_fd >= 0; }
    /// The document held in memory (empty once spilled); the buffer is left empty.
    QByteArray takeBytes();
    /// Goes back to the start for reading the document in blocks.
    bool rewind();
    /// Drops the document, in memory or in its file.
    void release();

    qint64 size() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool spill();
    /// Writes what waits in m_bytes to the file; false, with the error set, when it cannot.
    bool flushToFile();
    bool failWith(int error);

    qint64 m_limit;
    /// The document while in memory; once spilled, the part not written to the file yet.
    QByteArray m_bytes;
    int m_fd = -1;
    qint64 m_written = 0;
    qint64 m_read = 0;
    bool m_failed = false;
    int m_errno = 0;
};
