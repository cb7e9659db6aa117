#include "spool/Documents.h"

#include "spool/SpoolText.h"
#include "text/Bytes.h"
#include "text/CodePage.h"
#include "text/Eject.h"
#include "text/PlainLine.h"

#include <algorithm>
#include <cstring>

namespace {

/// A form with more lines than this is handed on in parts, so that no more is held at a time.
constexpr qsizetype kLinesPerPart = 512;

/// Calls @p piece for each piece of a line drawn between form feeds, and @p pageBreak for each
/// form feed; an eject line is one page break. Empty pieces at either end of a line are no lines.
template <typename Piece, typename Break>
void forEachPiece(const QByteArray& text, CodePage::Encoding encoding, Piece piece, Break pageBreak)
{
    SpoolText::forEachLine(text, [&](QByteArrayView line) {
        if (Bytes::contains(line, '\f')) {
            // The page breaks at each form feed itself: what stands before it ends the page,
            // what follows begins the next.
            qsizetype start = 0;
            for (;;) {
                const qsizetype ff = Bytes::indexOf(line, '\f', start);
                const QByteArrayView part = line.sliced(start, (ff < 0 ? line.size() : ff) - start);
                const bool outerEmpty = part.isEmpty() && (start == 0 || ff < 0);
                if (!outerEmpty)
                    piece(part);
                if (ff < 0)
                    break;
                pageBreak();
                start = ff + 1;
            }
        } else if (isEjectLine(line, encoding)) {
            pageBreak();
        } else {
            piece(line);
        }
    });
}

/// True when a byte of @p bytes is 0x80 or above, looked at eight bytes at a time.
bool hasHighByte(QByteArrayView bytes)
{
    constexpr quint64 kHigh = 0x8080808080808080u;
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    for (; left >= 8; p += 8, left -= 8) {
        quint64 word;
        std::memcpy(&word, p, sizeof word);
        if (word & kHigh)
            return true;
    }
    return std::any_of(p, p + left, [](char b) { return uchar(b) >= 0x80; });
}

/// Columns of a part of a line as drawn, tabs out to the next multiple of eight columns, and
/// where its first character that is not blank stands (its columns when all are blank).
struct Columns
{
    qsizetype drawn = 0;
    qsizetype firstInk = 0;
};

/// Measures the lines on their characters: bytes of a single-byte code page, or characters of
/// UTF-8 decoded a part at a time. Trailing blanks draw nothing and are not measured; the
/// widest line without its leading blanks chooses the start of the size table.
void measure(const QByteArray& text, CodePage::Encoding encoding, DocumentShape& shape)
{
    const bool utf8 = encoding == CodePage::Encoding::Utf8;
    const QList<bool> needsFallback = bytesNeedingFallback(encoding);
    const bool lowNeedsFallback =
        !utf8 && std::any_of(needsFallback.begin(), needsFallback.begin() + 0x80, [](bool b) { return b; });
    qsizetype widestText = 0;
    qsizetype lines = 0;
    bool broken = false;
    auto columnsOf = [&](QByteArrayView part) {
        Columns c;
        bool ink = false;
        auto add = [&](auto ch) {
            if (!ink && ch != ' ' && ch != '\t') {
                ink = true;
                c.firstInk = c.drawn;
            }
            c.drawn += ch == '\t' ? 8 - c.drawn % 8 : 1;
        };
        if (!utf8 && Bytes::contains(part, '\t')) {
            for (const char b : part)
                add(b);
        } else if (!utf8) {
            // Without tabs every byte is a column, and only spaces are blank.
            const auto inked = std::find_if(part.begin(), part.end(), [](char b) { return b != ' '; });
            c.drawn = part.size();
            c.firstInk = inked - part.begin();
            ink = true; // firstInk is the columns when all are blank, as below
        }
        if (!utf8 && !shape.needsFallbackFace && (lowNeedsFallback || hasHighByte(part)))
            shape.needsFallbackFace =
                std::any_of(part.begin(), part.end(), [&](char b) { return needsFallback[uchar(b)]; });
        constexpr qsizetype kPart = 64 * 1024;
        while (utf8 && !part.isEmpty()) {
            qsizetype cut = std::min(part.size(), kPart);
            for (int back = 0; back < 3 && cut < part.size() && (uchar(part[cut]) & 0xC0) == 0x80; ++back)
                --cut;
            const QString chars = QString::fromUtf8(part.first(cut));
            for (const QChar ch : chars)
                add(ch.unicode());
            if (!shape.needsFallbackFace)
                shape.needsFallbackFace = !std::all_of(chars.begin(), chars.end(), drawnWithoutFallback);
            part = part.sliced(cut);
        }
        if (!ink)
            c.firstInk = c.drawn;
        return c;
    };
    forEachPiece(
        text, encoding,
        [&](QByteArrayView piece) {
            ++lines;
            PlainLine::forEachOverprint(piece, [&](QByteArrayView part) {
                const Columns c = columnsOf(PlainLine::withoutTrailingBlanks(part));
                shape.widestCells = std::max(shape.widestCells, qreal(c.drawn));
                widestText = std::max(widestText, c.drawn - c.firstInk);
                if (part.size() != piece.size())
                    shape.overprints = true;
            });
        },
        [&] {
            // The lines of a form the program ended itself.
            if (lines > 0 || broken)
                shape.formLines = std::max(shape.formLines, int(std::min<qsizetype>(lines, 1 << 20)));
            broken = true;
            lines = 0;
        });
    shape.points = tamanho_fonte(qint16(std::min<qsizetype>(widestText, 32767))).toFloat();
}

/// Gathers lines and breaks into pages so that a page begins only with a line printed on it:
/// breaks before the first line, and after the last, print no blank sheet.
class Forms
{
public:
    explicit Forms(const PageSink& sink) : m_sink(sink) {}
    void line(QByteArrayView bytes)
    {
        if (m_started && m_pendingBreaks > 0) {
            hand(false);
            // Breaks in a row leave blank pages between.
            for (; m_pendingBreaks > 1; --m_pendingBreaks)
                m_sink(PrintedPage());
        } else if (m_page.lines.size() == kLinesPerPart) {
            hand(true);
        }
        m_started = true;
        m_pendingBreaks = 0;
        PrintedLine line;
        line.advance = 0;
        // The run reads the spool text where it stands.
        line.runs.append(StyledRun{RunStyle(), QByteArray::fromRawData(bytes.data(), bytes.size())});
        m_page.lines.append(std::move(line));
    }
    void pageBreak()
    {
        if (m_started)
            ++m_pendingBreaks;
    }
    void finish()
    {
        if (m_started)
            hand(m_continued);
    }

private:
    void hand(bool continues)
    {
        m_page.continued = m_continued;
        m_sink(std::move(m_page));
        m_page = PrintedPage();
        m_continued = continues;
    }

    const PageSink& m_sink;
    PrintedPage m_page;
    bool m_started = false;
    bool m_continued = false;
    int m_pendingBreaks = 0;
};

} // namespace

bool drawnWithoutFallback(QChar ch)
{
    const char16_t u = ch.unicode();
    if (u < 0x100 || (u >= 0x2500 && u <= 0x259F)) // box drawing, blocks and shades
        return true;
    static const QString extras = [] {
        QString chars;
        for (int code = 0x80; code < 0xA0; ++code)
            chars += QChar(CodePage::unicodeOf(uchar(code)));
        return chars;
    }();
    return extras.contains(ch);
}

QList<bool> bytesNeedingFallback(CodePage::Encoding encoding)
{
    QList<bool> table;
    if (encoding == CodePage::Encoding::Utf8)
        return table;
    QByteArray all(256, 0);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    const QString chars = CodePage::decode(all, encoding);
    for (const QChar ch : chars)
        table.append(!drawnWithoutFallback(ch));
    return table;
}

Document imprime_linhas(const QByteArray& text, CodePage::Encoding encoding, int linesPerPage)
{
    // The widest line as drawn, tabs and leading blanks counted, chooses the size once: it is
    // measured on the characters, which are decoded once more where they are drawn.
    DocumentShape shape;
    shape.linesPerPage = linesPerPage;
    shape.encoding = encoding;
    measure(text, encoding, shape);
    return Document(shape, [&text, encoding](const PageSink& sink) {
        Forms forms(sink);
        forEachPiece(
            text, encoding, [&forms](QByteArrayView piece) { forms.line(piece); },
            [&forms] { forms.pageBreak(); });
        forms.finish();
    });
}
