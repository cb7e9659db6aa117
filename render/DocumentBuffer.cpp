#include "render/DocumentBuffer.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

/// Once spilled, writes go to the file in blocks of this size.
constexpr qsizetype kFileBlock = 64 * 1024;

/// Room for a document in memory is taken at once, up to this size: growing by steps copies
/// what was written at each step, into pages the system must fault in one by one.
constexpr qint64 kMaxReserve = 16 * 1024 * 1024;

/// Asks for the memory of @p bytes in huge pages where the system gives them on request: a
/// big document then costs a few page faults rather than one per 4 KB.
void preferHugePages(const QByteArray& bytes)
{
    constexpr quintptr kHuge = 2 * 1024 * 1024;
    const auto begin = (reinterpret_cast<quintptr>(bytes.constData()) + kHuge - 1) & ~(kHuge - 1);
    const auto end =
        (reinterpret_cast<quintptr>(bytes.constData()) + quintptr(bytes.capacity())) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

/// A file nobody can open by name, in @p folder: created unlinked (O_TMPFILE), else made and
/// unlinked at once, so that nothing is left behind by a program that ends early. -1, with
/// errno, when neither works.
int unlinkedFile(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    const int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    QByteArray name = path + "/velmorix2-XXXXXX.pdf";
    const int named = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.constData());
    return named;
}

} // namespace

DocumentBuffer::DocumentBuffer(qint64 memoryLimit) : m_limit(memoryLimit) {}

DocumentBuffer::~DocumentBuffer()
{
    release();
}

bool DocumentBuffer::start()
{
    release();
    m_failed = false;
    m_bytes.reserve(qsizetype(std::min(m_limit, kMaxReserve)));
    preferHugePages(m_bytes);
    return open(QIODevice::WriteOnly);
}

QByteArray DocumentBuffer::takeBytes()
{
    return std::exchange(m_bytes, QByteArray());
}

bool DocumentBuffer::failWith(int error)
{
    setErrorString(QString::fromLocal8Bit(std::strerror(error)));
    m_errno = error;
    m_failed = true;
    return false;
}

bool DocumentBuffer::flushToFile()
{
    const char* data = m_bytes.constData();
    qsizetype left = m_bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failWith(errno);
        data += n;
        left -= n;
    }
    m_bytes.clear();
    return true;
}

bool DocumentBuffer::rewind()
{
    if (isOpen())
        close();
    m_read = 0;
    if (m_fd >= 0) {
        if (!flushToFile())
            return false;
        if (::lseek(m_fd, 0, SEEK_SET) != 0)
            return failWith(errno);
    }
    return open(QIODevice::ReadOnly);
}

void DocumentBuffer::release()
{
    if (isOpen())
        close();
    m_bytes = QByteArray();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_written = 0;
    m_read = 0;
}

qint64 DocumentBuffer::size() const
{
    return m_written;
}

bool DocumentBuffer::spill()
{
    m_fd = unlinkedFile(QDir::tempPath());
    if (m_fd < 0)
        return failWith(errno);
    return flushToFile();
}

qint64 DocumentBuffer::writeData(const char* data, qint64 size)
{
    // The first error is the one told: what follows a failed write is of no use.
    if (m_failed)
        return -1;
    if (m_fd < 0 && m_written + size > m_limit && !spill())
        return -1;
    m_bytes.append(data, size);
    if (m_fd >= 0 && m_bytes.size() >= kFileBlock && !flushToFile())
        return -1;
    m_written += size;
    return size;
}

qint64 DocumentBuffer::readData(char* data, qint64 maxSize)
{
    if (m_fd >= 0) {
        for (;;) {
            const ssize_t n = ::read(m_fd, data, size_t(maxSize));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                setErrorString(QString::fromLocal8Bit(std::strerror(errno)));
            return n;
        }
    }
    const qint64 n = std::min(maxSize, qint64(m_bytes.size()) - m_read);
    std::memcpy(data, m_bytes.constData() + m_read, size_t(n));
    m_read += n;
    return n;
}
