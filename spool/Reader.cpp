#include "spool/Reader.h"

#include "spool/Asker.h"
#include "spool/FileServices.h"
#include "spool/Fingerprint.h"
#include "spool/SpoolText.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"
#include "text/Bytes.h"
#include "text/TextLines.h"

#include <QFile>

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
    bool takesBytes() const override { return false; }
    void bytes(QByteArrayView) override {}

private:
    QByteArray& m_text;
    bool m_inLine = false;
};

/// The length of a line without its surrounding blanks, the line given in parts; of its widest
/// part when CRs overprint parts of it.
class TrimmedLength
{
public:
    void add(QByteArrayView part)
    {
        for (qsizetype cr = Bytes::indexOf(part, '\r'); cr >= 0; cr = Bytes::indexOf(part, '\r')) {
            addPart(part.first(cr));
            m_widest = std::max(m_widest, length());
            m_at = 0;
            m_first = -1;
            m_end = 0;
            part = part.sliced(cr + 1);
        }
        addPart(part);
    }
    qsizetype take()
    {
        const qsizetype widest = std::max(m_widest, length());
        *this = TrimmedLength();
        return widest;
    }

private:
    void addPart(QByteArrayView part)
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
    qsizetype length() const { return m_first < 0 ? 0 : m_end - m_first; }

    qsizetype m_at = 0;
    qsizetype m_first = -1;
    qsizetype m_end = 0;
    qsizetype m_widest = 0;
};

/// A size for the log: "64 GB", "256 MB", "1,5 KB", "100 bytes".
QString shownSize(qint64 bytes)
{
    constexpr qint64 kKilo = 1024;
    const struct
    {
        qint64 unit;
        const char* name;
    } units[] = {{kKilo * kKilo * kKilo, "GB"}, {kKilo * kKilo, "MB"}, {kKilo, "KB"}};
    for (const auto& u : units) {
        if (bytes >= u.unit) {
            const bool whole = bytes % u.unit == 0 || bytes / u.unit >= 100;
            return QString::number(double(bytes) / double(u.unit), 'f', whole ? 0 : 1).replace(u'.', u',') +
                   u' ' + QLatin1String(u.name);
        }
    }
    return QString::number(bytes) + QStringLiteral(" bytes");
}

bool readOnce(const QByteArray& path, FileServices& files, qint64 skipBytes, qint64 sizeLimit, LineSink& sink,
              LeituraConteudo& result)
{
    result.bytesRead = 0;
    result.widestColumns = 0;
    result.tooLarge = false;
    result.text.clear();
    const FileStamp before = files.stamp(path);
    // A file far larger than what the print-out can take (a sparse file of many gigabytes, say)
    // is never read, nor is room made for it.
    if (before.valid() && before.size - skipBytes > sizeLimit) {
        result.tooLarge = true;
        result.error = QStringLiteral("arquivo grande demais: ") + shownSize(before.size - skipBytes) +
                       QStringLiteral(", o limite é ") + shownSize(sizeLimit);
        return false;
    }
    sink.begin(before.valid() ? before.size - skipBytes : -1);
    std::unique_ptr<ByteSource> in = files.openRead(path, &result.error);
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
    lines.setKeepCommands(true); // a bit image's data keeps its CR and LF bytes in the spool text
    Fingerprint print;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in->read(buffer.data(), buffer.size());
        if (n < 0) {
            result.error = in->errorString();
            sink.begin(0);
            result.widestColumns = qint16(std::min<qsizetype>(longest, std::numeric_limits<qint16>::max()));
            return false;
        }
        if (n == 0)
            break;
        if (result.bytesRead + n - skipBytes > sizeLimit) {
            // Grown past the limit while being read: what was taken so far is dropped.
            result.tooLarge = true;
            result.error = QStringLiteral("arquivo grande demais: passou de ") + shownSize(sizeLimit) +
                           QStringLiteral(" durante a leitura");
            result.bytesRead += n;
            sink.begin(0);
            return false;
        }
        const qint64 skip = std::clamp<qint64>(skipBytes - result.bytesRead, 0, n);
        print.add(QByteArrayView(buffer.constData(), skip));
        if (skip > 0 && result.bytesRead + skip == skipBytes)
            result.skippedHash = print.result();
        print.add(QByteArrayView(buffer.constData() + skip, n - skip));
        result.bytesRead += n;
        const QByteArrayView fresh(buffer.constData() + skip, n - skip);
        if (sink.takesBytes())
            sink.bytes(fresh);
        else
            lines.feed(fresh);
    }
    lines.finish();
    result.hash = print.result();
    // The measure is a 16-bit value: longer lines count as the longest it can hold.
    result.widestColumns = qint16(std::min<qsizetype>(longest, std::numeric_limits<qint16>::max()));
    return true;
}

} // namespace

LeituraConteudo le_conteudo(const QByteArray& folder, const QByteArray& fileName, FileServices& files,
                            Asker& asker, qint64 skipBytes, qint64 sizeLimit)
{
    LeituraConteudo result;
    TextSink sink(result.text);
    LeituraConteudo read = le_conteudo(folder, fileName, files, asker, skipBytes, sink, sizeLimit);
    read.text = std::move(result.text);
    return read;
}

LeituraConteudo le_conteudo(const QByteArray& folder, const QByteArray& fileName, FileServices& files,
                            Asker& asker, qint64 skipBytes, LineSink& sink, qint64 sizeLimit)
{
    const QByteArray path = folder + fileName;
    LeituraConteudo result;
    if (readOnce(path, files, skipBytes, sizeLimit, sink, result)) {
        result.ok = true;
        return result;
    }
    if (result.tooLarge)
        return result; // nothing a second reading could change
    const QString prompt = QStringLiteral("Deu erro ao abrir o arquivo ") + QFile::decodeName(path) +
                           QStringLiteral(". Tentar novamente ?");
    if (asker.ask(prompt, Asker::Option::YesNo) != Asker::Answer::Yes) {
        result.declined = true;
        return result;
    }
    result.ok = readOnce(path, files, skipBytes, sizeLimit, sink, result);
    return result;
}
