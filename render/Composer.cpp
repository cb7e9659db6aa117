#include "render/Composer.h"

#include "render/EmbeddedFont.h"
#include "render/PrintDocument.h"
#include "text/Bytes.h"
#include "text/CharacterTables.h"
#include "text/PlainLine.h"

#include <QFontDatabase>

#include <algorithm>

namespace {

/// The sizes of the table from the chosen one down.
QList<qreal> sizesFrom(qreal points)
{
    QList<qreal> sizes;
    for (const qreal size : {11.0, 9.0, 8.0, 7.0}) {
        if (size <= points)
            sizes.append(size);
    }
    if (sizes.isEmpty() || sizes.first() < points)
        sizes.prepend(points);
    return sizes;
}

qreal cellOf(const QRawFont& font)
{
    const QChar blank(u' ');
    quint32 glyph = 0;
    int count = 1;
    QPointF advance;
    if (font.glyphIndexesForChars(&blank, 1, &glyph, &count))
        font.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::UseDesignMetrics);
    return advance.x();
}

/// A pica character is a tenth of an inch: 0.6 em at 12 points, the size of a printer's page.
constexpr qreal kPicaPoints = 12;

const QString kFallbackFace = QStringLiteral("DejaVu Sans Mono");

/// Bytes of a line decoded at a time: a longer line is decoded and drawn in parts, so that no
/// copy of it as a whole is made besides the spool text.
constexpr qsizetype kLinePart = 64 * 1024;

/// Calls @p part with each part of a line decoded for drawing, in order: the whole line at once
/// when it is short. Parts of UTF-8 text end between characters.
template <typename Part> void forEachDrawnPart(QByteArrayView line, CodePage::Encoding encoding, Part part)
{
    qsizetype column = 0;
    while (line.size() > kLinePart) {
        qsizetype cut = kLinePart;
        if (encoding == CodePage::Encoding::Utf8) {
            for (int back = 0; back < 3 && (uchar(line[cut]) & 0xC0) == 0x80; ++back)
                --cut;
        }
        QString text = drawnText(line.first(cut), encoding, column);
        column += text.size();
        part(std::move(text), false);
        line = line.sliced(cut);
    }
    part(drawnText(line, encoding, column), true);
}

/// Lines a sheet of plain text holds: as many as set; else, for a report that ends its forms
/// itself every so many lines, more than the sheet holds at the document's size, that many (as
/// its program counted them), rather than each form spilling onto a second sheet.
int linesPerPage(const DocumentShape& shape, const PageLayout& layout)
{
    // A longer form is no printer's page: its lines are drawn at their own advance.
    constexpr int kMostFormLines = 144;
    if (shape.linesPerPage > 0 || shape.formLines > kMostFormLines || layout.lineAdvance() <= 0)
        return shape.linesPerPage;
    const int fit = int(layout.pageHeight() / layout.lineAdvance() + 1e-6);
    return shape.formLines > fit ? shape.formLines : 0;
}

} // namespace

Composer::Composer(EmbeddedFonts& fonts, RenderPath path) : m_fonts(fonts), m_path(path) {}

Composer::~Composer() = default;

Composition Composer::compose(const DocumentShape& shape, const QPageLayout& media)
{
    Composition c;
    c.page = media;
    // A document that asks for landscape sheets (a PCL job) is fitted across them only.
    if (shape.landscape)
        c.page.setOrientation(QPageLayout::Landscape);
    QPageLayout turned = c.page;
    turned.setOrientation(QPageLayout::Landscape);
    const QRectF portrait = c.page.paintRect(QPageLayout::Point);
    const QRectF landscape = turned.paintRect(QPageLayout::Point);
    c.printerPage = shape.printerPageInches > 0;

    c.style.face =
        shape.face.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont).family() : shape.face;
    c.style.points = shape.points;
    FitRequest request;
    request.portraitWidth = portrait.width();
    request.landscapeWidth = landscape.width();
    if (c.printerPage) {
        // The printer's page (8 inches of carriage by its form length) scaled to the sheet.
        const qreal length = shape.printerPageInches * 72;
        request.sizes = {kPicaPoints * std::min(portrait.width() / (8 * 72), portrait.height() / length)};
        request.widthPerPoint = shape.widestCells * 0.6;
        request.landscapeCap = kPicaPoints * landscape.height() / length;
    } else {
        request.sizes = sizesFrom(c.style.points);
        const QRawFont unit = rawFontOf(c.style);
        request.widthPerPoint = shape.widestCells * cellOf(unit) * 72 / kRenderResolution / c.style.points;
    }
    c.fit = fitDocument(request);
    if (c.fit.landscape && shape.portrait && !shape.landscape)
        c.fit = Fit{kSmallestPortraitPoints, false, true};
    c.style.points = float(c.fit.points);
    if (c.fit.landscape)
        c.page = turned;
    c.fallback = shape.needsFallbackFace ? kFallbackFace : QString();
    return c;
}

bool Composer::begin(const DocumentShape& shape, const QString& title, const Output& output)
{
    QPageLayout media;
    QIODevice* out = output(&media, &m_error);
    if (!out)
        return false;
    const Composition c = compose(shape, media);
    const QRawFont font = rawFontOf(c.style);
    m_cell = cellOf(font);
    m_unit = c.printerPage ? kRenderResolution / 360.0 * c.fit.points / kPicaPoints : 0;
    m_wrapAt = c.fit.wrap ? c.page.paintRectPixels(kRenderResolution).width() : 0;
    std::unique_ptr<Renderer> renderer = c.printerPage || !c.fallback.isEmpty() || shape.overprints
                                             ? makeStyledRenderer(c.style, font, m_fonts, m_path, c.fallback)
                                             : makeRenderer(c.style, font, m_fonts, m_path);
    auto doc = std::make_unique<PrintDocument>(std::move(renderer), c.page, font);
    doc->layout().fitLines(c.printerPage ? 0 : linesPerPage(shape, doc->layout()));
    if (!doc->begin(out, title)) {
        m_error = QStringLiteral("cannot begin the PDF document");
        return false;
    }
    m_doc = std::move(doc);
    return true;
}

bool Composer::render(const Document& document, const QString& title, const Output& output)
{
    m_doc.reset();
    m_failed = false;
    m_pages = 0;
    m_error.clear();
    m_encoding = document.shape().encoding;
    m_printerPage = document.shape().printerPageInches > 0;
    m_overprints = document.shape().overprints;
    bool first = true;
    document.pages([&](PrintedPage&& printed) {
        if (m_failed)
            return;
        // The document begins with the first thing drawn: one without lines sends nothing.
        const bool draws = m_printerPage || !printed.lines.isEmpty() || !printed.images.isEmpty() ||
                           !printed.rules.isEmpty();
        if (!m_doc && draws && !begin(document.shape(), title, output)) {
            m_failed = true;
            return;
        }
        page(printed, first);
        first = false;
    });
    if (m_failed)
        return false;
    if (!m_doc)
        return true;
    const bool finished = m_doc->finish();
    m_pages = m_doc->pages();
    m_doc.reset();
    if (!finished)
        m_error = QStringLiteral("cannot write the PDF document");
    return finished;
}

void Composer::page(const PrintedPage& printed, bool first)
{
    if (!first && !printed.continued && m_doc)
        m_doc->pageBreak();
    for (const PrintedLine& line : printed.lines) {
        if (m_printerPage)
            styledLine(line);
        else
            plainLine(line);
    }
    // A page of a printer with no line on it still comes out.
    if (printed.lines.isEmpty() && (m_printerPage || !printed.images.isEmpty() || !printed.rules.isEmpty()))
        styledLine(PrintedLine{{}, 0});
    pictures(printed);
}

void Composer::plainLine(const PrintedLine& line)
{
    const QByteArrayView whole = line.runs.isEmpty() ? QByteArrayView() : QByteArrayView(line.runs[0].text);
    if (m_overprints && Bytes::contains(whole, '\r')) {
        // Each part a lone CR returned the carriage for is drawn from column 0 of the same line.
        TextLine parts;
        parts.styled = true;
        PlainLine::forEachOverprint(whole, [&](QByteArrayView part) {
            parts.runs.append(TextRun{drawnText(PlainLine::withoutTrailingBlanks(part), m_encoding)});
        });
        draw(parts);
        return;
    }
    // Trailing blanks draw nothing, and wrap onto no line of their own.
    const QByteArrayView bytes = PlainLine::withoutTrailingBlanks(whole);
    if (bytes.size() <= kLinePart || m_wrapAt <= 0) {
        TextLine plain = TextLine::plain(drawnText(bytes, m_encoding));
        if (m_wrapAt <= 0)
            m_doc->line(plain);
        else
            draw(plain);
        return;
    }
    // A long line is decoded in parts; the wrapped lines of its start are drawn as soon as
    // their text is in.
    const qsizetype fits = std::max<qsizetype>(1, qsizetype(m_wrapAt / m_cell + 1e-9));
    QString start;
    forEachDrawnPart(bytes, m_encoding, [&](QString&& part, bool last) {
        if (last) {
            TextLine rest = TextLine::plain(start + part);
            draw(rest);
            return;
        }
        start += part;
        qsizetype at = 0;
        for (; start.size() - at > fits; at += fits)
            m_doc->line(TextLine::plain(start.mid(at, fits)));
        start.remove(0, at);
    });
}

void Composer::styledLine(const PrintedLine& printed)
{
    TextLine line;
    line.styled = true;
    line.advance = printed.advance * m_unit;
    // Runs that follow one another are placed as the one before ends, in dots: the same sum a
    // printer's carriage makes.
    qreal x = 0;
    qreal end = 0;
    for (const StyledRun& run : printed.runs) {
        TextRun text;
        text.text = runText(run, m_encoding);
        text.face = quint8((run.style.bold ? Bold : 0) | (run.style.italic ? Italic : 0));
        text.scale = 100 * 10 / charactersPerInch(run.style.pitch) * (run.style.doubleWidth ? 2 : 1);
        text.underline = run.style.underline;
        // Super- and subscript at two thirds of the size, in the top and the foot of the line;
        // double height grows from the baseline up.
        if (run.style.script != Script::Normal) {
            text.glyphWidth = text.glyphHeight = 2.0 / 3;
            text.rise = run.style.script == Script::Super ? 1.0 / 3 : -1.0 / 6;
        }
        text.glyphHeight *= run.style.heightFactor;
        if (run.x != end)
            x = run.x * m_cell;
        text.x = x;
        x += m_cell * text.scale / 100 * text.text.size();
        end = run.end();
        line.runs.append(text);
    }
    draw(line);
}

void Composer::draw(TextLine& line)
{
    // Past the smallest size, what does not fit goes on the next line: nothing is cut off.
    while (m_wrapAt > 0) {
        TextLine rest;
        rest.styled = line.styled;
        rest.advance = line.advance;
        qreal x = 0;
        for (qsizetype r = 0; r < line.runs.size(); ++r) {
            TextRun& run = line.runs[r];
            const qreal cell = m_cell * (line.styled ? run.scale : 100) / 100;
            const qreal start = line.styled ? run.x : x;
            const qsizetype fits = qsizetype(std::max<qreal>(0, (m_wrapAt - start) / cell + 1e-9));
            x = start + cell * run.text.size();
            if (fits >= run.text.size())
                continue;
            TextRun tail = run;
            tail.text = run.text.mid(fits);
            tail.x = start + cell * fits;
            run.text.truncate(fits);
            rest.runs.append(tail);
            for (qsizetype k = r + 1; k < line.runs.size(); ++k)
                rest.runs.append(line.runs[k]);
            line.runs.resize(r + 1);
            break;
        }
        if (rest.runs.isEmpty())
            break;
        const qreal shift = line.styled ? rest.runs.first().x : 0;
        for (TextRun& run : rest.runs)
            run.x -= shift;
        m_doc->line(line);
        line = rest;
    }
    m_doc->line(line);
}

void Composer::pictures(const PrintedPage& printed)
{
    // Places on a printer's page scale with it; plain text's are true to size.
    const qreal unit = m_printerPage ? m_unit : kRenderResolution / qreal(kUnitsPerInch);
    for (const PageRule& rule : printed.rules)
        m_doc->rule(QRectF(rule.x * unit, rule.y * unit, rule.width * unit, rule.height * unit));
    for (const PageImage& image : printed.images) {
        if (image.width <= 0 || image.height <= 0 || image.dotsPerInchX <= 0 || image.dotsPerInchY <= 0 ||
            image.bits.size() < image.bytesPerRow() * image.height)
            continue;
        const qreal width = qreal(image.width) * kUnitsPerInch / image.dotsPerInchX;
        const qreal height = qreal(image.height) * kUnitsPerInch / image.dotsPerInchY;
        m_doc->image(image, QRectF(image.x * unit, image.y * unit, width * unit, height * unit));
    }
}
