#include "spool/Reader.h"

#include "spool/Asker.h"
#include "spool/FileServices.h"
#include "spool/Fingerprint.h"
#include "spool/SpoolText.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"
#include "text/TextLines.h"

#include <QFile>

#include <functional>
#include <limits>

namespace {

/// Keeps the lines as the spool text: CR LF before every line.
class TextSink : public LineSink
{
public:
    explicit TextSink(QByteArray& text) : m_text(text) {}
    void begin(qint64 sizeHint) override
    {
        m_text.clear();
        m_inLine = false;
        if (sizeHint >= 0)
            m_text.reserve(sizeHint + sizeHint / 16 + 64);
    }
    void line(QByteArrayView line) override
    {
        if (!std::exchange(m_inLine, false))
            m_text.append("\r\n", 2);
        m_text.append(line);
    }
    bool takesParts() const override { return true; }
    void linePart(QByteArrayView part) override
    {
        if (!std::exchange(m_inLine, true))
            m_text.append("\r\n", 2);
        m_text.append(part);
    }

private:
    QByteArray& m_text;
    bool m_inLine = false;
};

/// The length of a line without its surrounding blanks, the line given in parts.
class TrimmedLength
{
public:
    void add(QByteArrayView part)
    {
        const qsizetype inner = SpoolText::trimmedLength(part);
        if (inner > 0) {
            qsizetype lead = 0;
            while (part[lead] == ' ')
                ++lead;
            if (m_first < 0)
                m_first = m_at + lead;
            m_end = m_at + lead + inner;
        }
        m_at += part.size();
    }
    qsizetype take()
    {
        const qsizetype length = m_first < 0 ? 0 : m_end - m_first;
        *this = TrimmedLength();
        return length;
    }

private:
    qsizetype m_at = 0;
    qsizetype m_first = -1;
    qsizetype m_end = 0;
};

/// Where a reading takes its bytes: the file as it is now, and an opening of it.
struct Origin
{
    std::function<FileStamp()> stamp;
    std::function<std::unique_ptr<ByteSource>(QString*)> open;
};

bool readOnce(const Origin& origin, qint64 skipBytes, LineSink& sink, LeituraConteudo& result)
{
    result.bytesRead = 0;
    result.iMaxColunas = 0;
    result.text.clear();
    const FileStamp before = origin.stamp();
    sink.begin(before.valid() ? before.size : -1);
    std::unique_ptr<ByteSource> in = origin.open(&result.error);
    if (!in)
        return false;

    qsizetype longest = 0;
    TrimmedLength trimmed;
    TextLines lines([&](QByteArrayView line) {
        sink.line(line);
        trimmed.add(line);
        longest = std::max(longest, trimmed.take());
    });
    if (sink.takesParts()) {
        lines.setPartSink([&](QByteArrayView part) {
            sink.linePart(part);
            trimmed.add(part);
        });
    }
    lines.setKeepCommands(true); // bit images sent raw must keep their CR and LF bytes
    Fingerprint print;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in->read(buffer.data(), buffer.size());
        if (n < 0) {
            result.error = in->errorString();
            sink.begin(0);
            result.iMaxColunas = qint16(std::min<qsizetype>(longest, std::numeric_limits<qint16>::max()));
            return false;
        }
        if (n == 0)
            break;
        const qint64 skip = std::clamp<qint64>(skipBytes - result.bytesRead, 0, n);
        print.add(QByteArrayView(buffer.constData(), skip));
        if (skip > 0 && result.bytesRead + skip == skipBytes)
            result.skippedHash = print.result();
        print.add(QByteArrayView(buffer.constData() + skip, n - skip));
        result.bytesRead += n;
        lines.feed(QByteArrayView(buffer.constData() + skip, n - skip));
    }
    lines.finish();
    result.hash = print.result();
    // The measure is a 16-bit value: longer lines count as the longest it can hold.
    result.iMaxColunas = qint16(std::min<qsizetype>(longest, std::numeric_limits<qint16>::max()));
    return true;
}

} // namespace

LeituraConteudo le_conteudo(const QByteArray& sRota, const QByteArray& strArquivo, FileServices& files,
                            Asker& asker, qint64 skipBytes)
{
    LeituraConteudo result;
    TextSink sink(result.text);
    LeituraConteudo read = le_conteudo(sRota, strArquivo, files, asker, skipBytes, sink);
    read.text = std::move(result.text);
    return read;
}

LeituraConteudo le_conteudo(const QByteArray& sRota, const QByteArray& strArquivo, FileServices& files,
                            Asker& asker, qint64 skipBytes, LineSink& sink)
{
    const QByteArray path = sRota + strArquivo;
    const Origin origin{[&] { return files.stamp(path); },
                        [&](QString* error) { return files.openRead(path, error); }};
    LeituraConteudo result;
    if (readOnce(origin, skipBytes, sink, result)) {
        result.ok = true;
        return result;
    }
    const QString prompt = QStringLiteral("Deu erro ao abrir o arquivo ") + QFile::decodeName(path) +
                           QStringLiteral(". Tentar novamente ?");
    if (asker.ask(prompt, Asker::YesNo) != Asker::Yes) {
        result.declined = true;
        return result;
    }
    result.ok = readOnce(origin, skipBytes, sink, result);
    return result;
}

LeituraConteudo le_conteudo(PutAwayFile& file, qint64 skipBytes, LineSink& sink)
{
    const Origin origin{[&] { return file.stamp(); }, [&](QString* error) { return file.openRead(error); }};
    LeituraConteudo result;
    result.ok = readOnce(origin, skipBytes, sink, result);
    return result;
}

LeituraConteudo le_conteudo(PutAwayFile& file, qint64 skipBytes)
{
    LeituraConteudo result;
    TextSink sink(result.text);
    LeituraConteudo read = le_conteudo(file, skipBytes, sink);
    read.text = std::move(result.text);
    return read;
}
