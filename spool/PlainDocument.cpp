#include "spool/Documents.h"

#include "spool/SpoolText.h"
#include "text/CodePage.h"
#include "text/Eject.h"

#include <algorithm>

namespace {

/// A form with more lines than this is handed on in parts, so that no more is held at a time.
constexpr qsizetype kLinesPerPart = 512;

/// Calls @p piece for each piece of a line drawn between form feeds, and @p pageBreak for each
/// form feed; an eject line is one page break. Empty pieces at either end of a line are no lines.
template <typename Piece, typename Break>
void forEachPiece(const QByteArray& text, CodePage::Encoding encoding, Piece piece, Break pageBreak)
{
    SpoolText::forEachLine(text, [&](QByteArrayView line) {
        if (line.contains('\f')) {
            // The page breaks at each form feed itself: what stands before it ends the page,
            // what follows begins the next.
            qsizetype start = 0;
            for (;;) {
                const qsizetype ff = line.indexOf('\f', start);
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

/// Measures the lines of a single-byte code page on their bytes: each is one character, a tab
/// goes to the next multiple of eight columns.
void measureBytes(const QByteArray& text, CodePage::Encoding encoding, DocumentShape& shape)
{
    const QList<bool> needsFallback = bytesNeedingFallback(encoding);
    forEachPiece(
        text, encoding,
        [&](QByteArrayView piece) {
            qsizetype columns = piece.size();
            if (piece.contains('\t')) {
                columns = 0;
                for (const char c : piece)
                    columns += c == '\t' ? 8 - columns % 8 : 1;
            }
            shape.widestCells = std::max(shape.widestCells, qreal(columns));
            if (!shape.needsFallbackFace)
                shape.needsFallbackFace =
                    std::any_of(piece.begin(), piece.end(), [&](char b) { return needsFallback[uchar(b)]; });
        },
        [] {});
}

/// Measures UTF-8 lines on their characters, decoded a part at a time.
void measureUtf8(const QByteArray& text, DocumentShape& shape)
{
    constexpr qsizetype kPart = 64 * 1024;
    forEachPiece(
        text, CodePage::Encoding::Utf8,
        [&](QByteArrayView piece) {
            qsizetype columns = 0;
            while (!piece.isEmpty()) {
                qsizetype cut = std::min(piece.size(), kPart);
                for (int back = 0; back < 3 && cut < piece.size() && (uchar(piece[cut]) & 0xC0) == 0x80;
                     ++back)
                    --cut;
                const QString chars = QString::fromUtf8(piece.first(cut));
                for (const QChar ch : chars)
                    columns += ch == u'\t' ? 8 - columns % 8 : 1;
                if (!shape.needsFallbackFace)
                    shape.needsFallbackFace = !std::all_of(chars.begin(), chars.end(), drawnWithoutFallback);
                piece = piece.sliced(cut);
            }
            shape.widestCells = std::max(shape.widestCells, qreal(columns));
        },
        [] {});
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
    // measured on the bytes, which are decoded once, where they are drawn.
    DocumentShape shape;
    shape.linesPerPage = linesPerPage;
    shape.encoding = encoding;
    if (encoding == CodePage::Encoding::Utf8)
        measureUtf8(text, shape);
    else
        measureBytes(text, encoding, shape);
    return Document(shape, [&text, encoding](const PageSink& sink) {
        Forms forms(sink);
        forEachPiece(
            text, encoding, [&forms](QByteArrayView piece) { forms.line(piece); },
            [&forms] { forms.pageBreak(); });
        forms.finish();
    });
}
