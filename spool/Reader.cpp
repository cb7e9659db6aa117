#include "spool/Reader.h"

#include "spool/Asker.h"
#include "spool/FileServices.h"
#include "spool/SpoolText.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"
#include "text/TextLines.h"

#include <QFile>

#include <limits>

namespace {

bool readOnce(const QByteArray& path, FileServices& files, qint64 skipBytes, LeituraConteudo& result)
{
    result.bytesRead = 0;
    result.iMaxColunas = 0;
    result.text.clear();
    const FileStamp before = files.stamp(path);
    if (before.valid())
        result.text.reserve(before.size + before.size / 16 + 64);
    std::unique_ptr<ByteSource> in = files.openRead(path, &result.error);
    if (!in)
        return false;

    qsizetype longest = 0;
    QByteArray& text = result.text;
    TextLines lines([&](QByteArrayView line) {
        text.append("\r\n", 2);
        text.append(line);
        longest = std::max(longest, SpoolText::trimmedLength(line));
    });
    lines.setKeepCommands(true); // bit images sent raw must keep their CR and LF bytes
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in->read(buffer.data(), buffer.size());
        if (n < 0) {
            result.error = in->errorString();
            text.clear();
            result.iMaxColunas = qint16(std::min<qsizetype>(longest, std::numeric_limits<qint16>::max()));
            return false;
        }
        if (n == 0)
            break;
        const qint64 skip = std::clamp<qint64>(skipBytes - result.bytesRead, 0, n);
        result.bytesRead += n;
        lines.feed(QByteArrayView(buffer.constData() + skip, n - skip));
    }
    lines.finish();
    // The measure is a 16-bit value: longer lines count as the longest it can hold.
    result.iMaxColunas = qint16(std::min<qsizetype>(longest, std::numeric_limits<qint16>::max()));
    return true;
}

} // namespace

LeituraConteudo le_conteudo(const QByteArray& sRota, const QByteArray& strArquivo, FileServices& files,
                            Asker& asker, qint64 skipBytes)
{
    const QByteArray path = sRota + strArquivo;
    LeituraConteudo result;
    if (readOnce(path, files, skipBytes, result)) {
        result.ok = true;
        return result;
    }
    const QString prompt = QStringLiteral("Deu erro ao abrir o arquivo ") + QFile::decodeName(path) +
                           QStringLiteral(". Tentar novamente ?");
    if (asker.ask(prompt, Asker::YesNo) != Asker::Yes) {
        result.declined = true;
        return result;
    }
    result.ok = readOnce(path, files, skipBytes, result);
    return result;
}
