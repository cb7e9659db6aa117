#include "render/DocumentBuffer.h"

#include <QDir>

#include <cstring>

DocumentBuffer::DocumentBuffer(qint64 memoryLimit) : m_limit(memoryLimit) {}

DocumentBuffer::~DocumentBuffer() = default;

bool DocumentBuffer::start()
{
    release();
    m_failed = false;
    return open(QIODevice::WriteOnly);
}

QByteArray DocumentBuffer::takeBytes()
{
    return std::exchange(m_bytes, QByteArray());
}

bool DocumentBuffer::rewind()
{
    if (isOpen())
        close();
    m_read = 0;
    if (m_file && !m_file->seek(0)) {
        setErrorString(m_file->errorString());
        return false;
    }
    return open(QIODevice::ReadOnly);
}

void DocumentBuffer::release()
{
    if (isOpen())
        close();
    m_bytes = QByteArray();
    m_file.reset();
    m_written = 0;
    m_read = 0;
}

qint64 DocumentBuffer::size() const
{
    return m_written;
}

bool DocumentBuffer::spill()
{
    // Never given a name, the file is created unlinked (O_TMPFILE): nothing is left behind
    // by a program that ends early.
    auto file = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/velmorix2-XXXXXX.pdf"));
    if (!file->open() || file->write(m_bytes) != m_bytes.size()) {
        setErrorString(file->errorString());
        return false;
    }
    m_bytes = QByteArray();
    m_file = std::move(file);
    return true;
}

qint64 DocumentBuffer::writeData(const char* data, qint64 size)
{
    if (!m_file && m_written + size > m_limit && !spill()) {
        m_failed = true;
        return -1;
    }
    if (m_file) {
        const qint64 n = m_file->write(data, size);
        if (n != size) {
            setErrorString(m_file->errorString());
            m_failed = true;
            return -1;
        }
    } else {
        m_bytes.append(data, size);
    }
    m_written += size;
    return size;
}

qint64 DocumentBuffer::readData(char* data, qint64 maxSize)
{
    if (m_file) {
        const qint64 n = m_file->read(data, maxSize);
        if (n < 0)
            setErrorString(m_file->errorString());
        return n;
    }
    const qint64 n = std::min(maxSize, qint64(m_bytes.size()) - m_read);
    std::memcpy(data, m_bytes.constData() + m_read, size_t(n));
    m_read += n;
    return n;
}
