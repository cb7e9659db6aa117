#include "spool/Fingerprint.h"

#include "spool/FileServices.h"

#include <QHash>

#include <cstring>

QByteArray Fingerprint::ofPrefix(FileServices& files, const QByteArray& path, qint64 size)
{
    return ofPrefix(files.openRead(path, nullptr).get(), size);
}

QByteArray Fingerprint::ofPrefix(ByteSource* in, qint64 size)
{
    if (!in)
        return QByteArray();
    Fingerprint print;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        const qint64 n = in->read(buffer.data(), std::min<qint64>(left, buffer.size()));
        if (n <= 0)
            return QByteArray();
        print.add(QByteArrayView(buffer.constData(), n));
        left -= n;
    }
    return print.result();
}

void Fingerprint::addBlock(const char* data, qsizetype size)
{
    for (size_t& lane : m_lanes)
        lane = qHashBits(data, size_t(size), lane);
}

void Fingerprint::add(QByteArrayView bytes)
{
    m_length += bytes.size();
    if (!m_held.isEmpty()) {
        const qsizetype fill = std::min(kBlock - m_held.size(), bytes.size());
        m_held.append(bytes.first(fill));
        bytes = bytes.sliced(fill);
        if (m_held.size() < kBlock)
            return;
        addBlock(m_held.constData(), kBlock);
        m_held.clear();
    }
    for (; bytes.size() >= kBlock; bytes = bytes.sliced(kBlock))
        addBlock(bytes.data(), kBlock);
    if (!bytes.isEmpty())
        m_held = bytes.toByteArray();
}

QByteArray Fingerprint::result() const
{
    Fingerprint last = *this;
    if (!m_held.isEmpty())
        last.addBlock(m_held.constData(), m_held.size());
    QByteArray print(sizeof last.m_lanes + sizeof m_length, Qt::Uninitialized);
    std::memcpy(print.data(), last.m_lanes, sizeof last.m_lanes);
    std::memcpy(print.data() + sizeof last.m_lanes, &m_length, sizeof m_length);
    return print;
}
