#include "platform/PdfCopy.h"

#include <QFile>
#include <QIODevice>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

QString PdfCopy::fileName(const QDateTime& when, const QString& spoolName)
{
    return when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss_")) + spoolName + QStringLiteral(".pdf");
}

QString PdfCopy::write(const QString& folder, const QString& name, QIODevice& pdf, QString* written)
{
    QTemporaryFile part(folder + QStringLiteral("/.velmorix2-XXXXXX.part"));
    if (!part.open())
        return part.errorString();
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = pdf.read(block.data(), block.size());
        if (n < 0)
            return pdf.errorString();
        if (n == 0)
            break;
        if (part.write(block.constData(), n) != n)
            return part.errorString();
    }
    // Readable by whoever reads the folder, as a file the user saved there would be.
    part.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    if (!part.flush() || ::fsync(part.handle()) != 0)
        return part.errorString().isEmpty() ? QString::fromLocal8Bit(std::strerror(errno))
                                            : part.errorString();
    // link() gives the copy its name only when the name is free, and all at once.
    const QString stem = name.endsWith(QStringLiteral(".pdf")) ? name.chopped(4) : name;
    const QByteArray from = QFile::encodeName(part.fileName());
    for (int n = 0;; ++n) {
        const QString path = folder + u'/' + stem + (n == 0 ? QString() : QStringLiteral("-%1").arg(n)) +
                             QStringLiteral(".pdf");
        if (::link(from.constData(), QFile::encodeName(path).constData()) == 0) {
            if (written)
                *written = path;
            return QString(); // the temporary name goes with `part`
        }
        if (errno != EEXIST || n >= 9999)
            return QString::fromLocal8Bit(std::strerror(errno));
    }
}
