#include "spool/Fingerprint.h"

#include "spool/FileServices.h"

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
