#pragma once

#include "text/Encoding.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

/// Vertical measures of the printed document are in 1/360 inch, the finest step of ESC/P 2.
constexpr int kUnitsPerInch = 360;

/// Character pitch of a run.
enum class Pitch
{
    Pica,
    Elite,
    Fifteen,
    CondensedPica,
    CondensedElite
};
/// 10, 12, 15, 17.14 or 20 characters per inch.
double charactersPerInch(Pitch pitch);

/// Where a run stands against the line's baseline.
enum class Script : quint8
{
    Normal,
    Super,
    Sub
};

/// How the characters of a run are printed.
struct RunStyle
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool doubleWidth = false; ///< twice as wide: a width factor of 2
    quint8 heightFactor = 1;  ///< 2: twice as tall, from the baseline up
    Script script = Script::Normal;
    /// Drawn in a proportional face where one is installed (its cells stay the pitch's).
    bool proportional = false;
    Pitch pitch = Pitch::Pica;
    /// The character table the file chose for the run (ESC t); none keeps the document's code page.
    std::optional<CodePage::Encoding> table;
    quint8 national = 0; ///< the national set of ESC R; 0, the USA's, replaces nothing
    bool operator==(const RunStyle& o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline &&
               doubleWidth == o.doubleWidth && heightFactor == o.heightFactor && script == o.script &&
               proportional == o.proportional && pitch == o.pitch && table == o.table &&
               national == o.national;
    }
    /// Width of @p characters of the run in pica cells (tenths of an inch).
    qreal picaCells(qsizetype characters) const
    {
        return characters * 10 / charactersPerInch(pitch) * (doubleWidth ? 2 : 1);
    }
};

/// Characters of one style at their place on the line. The text stays bytes of the file's code
/// page, free of printer commands: a spool file's bytes are carried, not copied into another
/// form, and decoded once, where they are drawn.
struct StyledRun
{
    RunStyle style;
    QByteArray text;
    /// Start from the left margin, in character cells: pica cells on a printer's page, cells of
    /// the document's face in plain text.
    qreal x = 0;
    /// Where the next run starts on a printer's page.
    qreal end() const { return x + style.picaCells(text.size()); }
};

/// One printed line and the paper feed that follows it.
struct PrintedLine
{
    QList<StyledRun> runs;
    /// Feed after the line, 1/360 inch; 0 is the face's own line advance (plain text).
    int advance = kUnitsPerInch / 6;
    /// The characters of all runs, without their styles.
    QByteArray text() const;
};

/// A 1-bit picture: rows of (width + 7) / 8 bytes, the first dot of a row in the high bit of its
/// first byte, a set bit inked.
struct PageImage
{
    QByteArray bits;
    int width = 0;  ///< dots across
    int height = 0; ///< rows
    int dotsPerInchX = 60;
    int dotsPerInchY = 72;
    int x = 0; ///< left edge from the left margin, 1/360 inch
    int y = 0; ///< top edge from the top of the page, 1/360 inch
    qsizetype bytesPerRow() const { return (width + 7) / 8; }
};

/// A filled black rectangle (a bar of a bar code, a ruled line), in 1/360 inch from the page's
/// top left corner.
struct PageRule
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

/// One sheet of a printer's page, or one form of plain text (what stands between form feeds).
struct PrintedPage
{
    QList<PrintedLine> lines;
    QList<PageImage> images;
    QList<PageRule> rules;
    int length = 11 * kUnitsPerInch; ///< form length, 1/360 inch
    bool formFeed = false;           ///< ended by a form feed rather than by filling its length
    /// Plain text: the lines go on the form of the page before, with no break between them (a
    /// long form handed on in parts, so that no more than a part is held).
    bool continued = false;
};

/// What is known of a document before its first page, so that size and orientation are chosen
/// once for the whole of it.
struct DocumentShape
{
    /// Width of the widest line as drawn (leading blanks, tab stops and pitches counted), in
    /// character cells: of the chosen face for plain lines, of pica (1/10 inch) on a printer's page.
    qreal widestCells = 0;
    /// Lines per page for plain lines; 0 keeps the face's line advance.
    int linesPerPage = 0;
    /// Plain lines: the most lines of a form the file ended with a page break itself; 0 when
    /// none ends so.
    int formLines = 0;
    /// Plain lines: some line has parts a lone CR overprints.
    bool overprints = false;
    /// More than 0 when the document is a printer's page of this length in inches: its lines
    /// come as runs with their own feed, and the page is scaled to the sheet.
    qreal printerPageInches = 0;
    /// Some character is neither in Windows-1252 nor a box or block character: a second face
    /// must draw it.
    bool needsFallbackFace = false;
    /// The file asked for landscape sheets (a PCL job does).
    bool landscape = false;
    /// The sheets stay upright: lines too wide wrap rather than turn the sheet.
    bool portrait = false;
    /// The code page of the runs' bytes.
    CodePage::Encoding encoding = CodePage::Encoding::Windows1252;
    /// The face plain text is drawn in; empty for the system's fixed-pitch face.
    QString face;
    /// Point size of plain text (the largest tried).
    float points = 11;
};

/// The characters of a plain line as they are drawn: decoded, tabs out to the next multiple of
/// eight columns; @p column is where @p bytes begin in their line.
QString drawnText(QByteArrayView bytes, CodePage::Encoding encoding, qsizetype column = 0);

using PageSink = std::function<void(PrintedPage&& page)>;

/**
 * A document read as a stream: its shape, then its pages handed on one at a time, so that no
 * more than a page is held besides the text it comes from. The pages may be read more than once.
 */
class Document
{
public:
    using Producer = std::function<void(const PageSink& sink)>;
    Document() = default;
    Document(const DocumentShape& shape, Producer pages) : m_shape(shape), m_pages(std::move(pages)) {}
    /// A document of pages held whole (tests, small documents).
    static Document ofPages(const DocumentShape& shape, const QList<PrintedPage>& pages);

    const DocumentShape& shape() const { return m_shape; }
    DocumentShape& shape() { return m_shape; }
    /// Hands the pages to @p sink in order.
    void pages(const PageSink& sink) const
    {
        if (m_pages)
            m_pages(sink);
    }

private:
    DocumentShape m_shape;
    Producer m_pages;
};

/// What a spool file with printer commands prints.
struct PrintedDocument
{
    QList<PrintedPage> pages;
    bool landscape = false; ///< a PCL file asked for landscape orientation
    /// Where a printer command starts whose data runs past the end of the file (a bit image
    /// whose length is wrong, say); -1 when none does. Its bytes were printed as text.
    qsizetype cutShortAt = -1;
};
