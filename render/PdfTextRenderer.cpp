#include "render/PdfTextRenderer.h"

#include "render/BoxGlyphs.h"
#include "render/EmbeddedFont.h"
#include "render/PageLayout.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

PdfTextRenderer::PdfTextRenderer(std::shared_ptr<const EmbeddedFont> font, const QRawFont& raw,
                                 FaceLoader styles)
    : m_font(std::move(font)), m_loader(std::move(styles))
{
    m_faces[0] = m_font;
    const qreal pixelSize = raw.pixelSize();
    // The same line advance as the painter: the face's metrics at the size drawn.
    m_lineHeight = raw.ascent() + raw.descent() + raw.leading();
    m_gapAdjust = m_font->widths[' '] - m_font->missingWidth;
    // Qt advances a glyph by its width at the size rounded to 1/64 of a pixel. Where all
    // glyphs are as wide, the character spacing makes the columns fall exactly where Qt puts
    // them (less than a pixel across a line otherwise, but tools that read the text back
    // count the blanks between words from these positions).
    qreal charSpacing = 0;
    if (m_font->uniformWidths) {
        quint32 blank = 0;
        int count = 1;
        const QChar space(u' ');
        QPointF advance;
        if (raw.glyphIndexesForChars(&space, 1, &blank, &count) &&
            raw.advancesForGlyphIndexes(&blank, &advance, 1, QRawFont::UseDesignMetrics))
            charSpacing = advance.x() - m_font->widths[' '] * pixelSize / 1000.0;
    }
    m_pixelSize = pixelSize;
    m_charSpacing = charSpacing;
    m_cell = m_font->widths[' '] * pixelSize / 1000.0 + charSpacing;
    m_ascent = raw.ascent();
    m_underline = raw.underlinePosition();
    m_stroke = std::max<qreal>(raw.lineThickness(), pixelSize / 20);
}

bool PdfTextRenderer::begin(QIODevice* out, const PageLayout& layout, const QString& title)
{
    // Qt's PDF engine draws in pixels of the resolution, y downwards from the top left corner
    // of the printable area, on a media box of the whole page in points.
    const qreal scale = 72.0 / kRenderResolution;
    const QRectF full = layout.page().fullRectPoints();
    const QRect paint = layout.page().paintRectPixels(kRenderResolution);
    m_mediaBox = "[0 0 " + PdfFile::number(full.width()) + ' ' + PdfFile::number(full.height()) + ']';
    m_pageStart = PdfFile::number(scale) + " 0 0 " + PdfFile::number(-scale) + ' ' +
                  PdfFile::number(scale * paint.left()) + ' ' +
                  PdfFile::number(full.height() - scale * paint.top()) + " cm\n";

    // A page length in lines makes the advance smaller than the face's.
    m_lineHeight = layout.lineAdvance();
    m_fontSelect = "/F1 " + PdfFile::number(m_pixelSize) + " Tf " + PdfFile::number(m_lineHeight) + " TL " +
                   PdfFile::number(m_charSpacing) + " Tc\n";
    m_faceUsed[0] = true;
    m_file.emplace(out);
    m_catalog = m_file->newObject();
    m_pages = m_file->newObject();
    m_info = m_file->newObject();
    m_resources = m_file->newObject();
    m_file->startObject(m_info);
    m_file->write("<<\n/Title " + PdfFile::text(title) + "\n/Creator " + PdfFile::text(documentCreator()) +
                  "\n/Producer " + PdfFile::text(documentCreator()) + "\n/CreationDate (D:" +
                  QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() +
                  "Z)\n>>\nendobj\n");
    return !m_file->failed();
}

void PdfTextRenderer::beginPage()
{
    if (m_pageOpen)
        endPage();
    m_pageOpen = true;
    m_positioned = false;
    m_fontSet = false;
    m_face = 0;
    m_scale = 100;
    m_lastGray = -1;
    // Pages of one document are alike: the last one's size is a good guess for the next.
    m_content.truncate(0);
    m_content.reserve(m_lastPageSize);
    m_content += m_pageStart;
}

void PdfTextRenderer::drawLine(const TextLine& line, qreal baseline)
{
    if (line.styled) {
        drawStyled(line, baseline);
        return;
    }
    if (line.runs.size() == 1) {
        appendRun(line.runs[0].text, baseline);
        return;
    }
    QString text;
    for (const TextRun& run : line.runs)
        text += run.text;
    appendRun(text, baseline);
}

void PdfTextRenderer::appendRun(const QString& text, qreal baseline)
{
    const char16_t* chars = reinterpret_cast<const char16_t*>(text.utf16());
    const unsigned char* codes = m_font->codes.get();
    qsizetype n = text.size();
    // Blanks and gaps at the end draw nothing and move nothing after them.
    while (n > 0 && (codes[chars[n - 1]] == ' ' ||
                     (codes[chars[n - 1]] == EmbeddedFont::kGap && !isBoxGlyph(chars[n - 1]))))
        --n;
    if (n == 0)
        return;

    if (!m_fontSet || m_face != 0) {
        if (!m_positioned && !m_fontSet)
            m_content += "BT\n";
        m_content += m_fontSelect;
        m_fontSet = true;
        m_face = 0;
    }
    if (m_scale != 100) {
        m_content += "100 Tz\n";
        m_scale = 100;
    }
    const bool next = m_positioned && std::abs(m_lastBaseline + m_lineHeight - baseline) < 1e-6;
    if (!next)
        m_content += "1 0 0 -1 0 " + PdfFile::number(baseline) + " Tm\n";
    m_positioned = true;
    m_lastBaseline = baseline;

    // Box characters are drawn as rules behind blanks: the text tells them in /ActualText, so
    // that a reader searches and copies the frame's characters.
    const bool boxes = hasBoxGlyph(chars, n);
    if (boxes) {
        m_content += "/Span <</ActualText ";
        m_content += PdfFile::text(text.left(n));
        m_content += ">> BDC\n";
    }
    // A gap is a blank unless the face's blank is not as wide as the glyph it lacks.
    const bool adjustGaps = m_gapAdjust != 0;
    QByteArray gapShift;
    if (adjustGaps)
        gapShift = ") " + PdfFile::number(m_gapAdjust) + " (";
    const qsizetype start = m_content.size();
    // At worst every character escaped or shifted, plus the operator.
    m_content.resize(start + n * (2 + gapShift.size()) + 16);
    char* out = m_content.data() + start;
    if (adjustGaps) {
        if (next)
            *out++ = 'T', *out++ = '*', *out++ = ' ';
        *out++ = '[';
    }
    *out++ = '(';
    // Codes a string escapes; every other code is written as it is, and the loop below, run
    // for every character printed, writes the backslash ahead and keeps it only for these.
    static constexpr auto kEscaped = [] {
        std::array<unsigned char, 256> escaped{};
        escaped['('] = escaped[')'] = escaped['\\'] = 1;
        return escaped;
    }();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = codes[chars[i]];
        if (c == EmbeddedFont::kGap) {
            if (isBoxGlyph(chars[i]))
                box(chars[i], QRectF(i * m_cell, baseline - m_ascent, m_cell, m_lineHeight));
            *out++ = ' ';
            if (adjustGaps) {
                std::memcpy(out, gapShift.constData(), size_t(gapShift.size()));
                out += gapShift.size();
            }
            continue;
        }
        *out = '\\';
        out += kEscaped[c];
        *out++ = char(c);
    }
    *out++ = ')';
    const char* op = adjustGaps ? "] TJ\n" : next ? "'\n" : " Tj\n";
    const size_t opLength = std::strlen(op);
    std::memcpy(out, op, opLength);
    out += opLength;
    m_content.truncate(out - m_content.constData());
    if (boxes)
        m_content += "EMC\n";
}

void PdfTextRenderer::textState(int face, qreal scale)
{
    if (!m_positioned && !m_fontSet)
        m_content += "BT\n";
    if (!m_fontSet || face != m_face) {
        if (!m_faces[size_t(face)]) {
            std::shared_ptr<const EmbeddedFont> file = m_loader ? m_loader(face) : nullptr;
            // Without its own file a bold italic run is bold, any other the regular face.
            if (!file && face == BoldItalic && m_loader)
                file = m_faces[Bold] ? m_faces[Bold] : m_loader(Bold);
            m_faces[size_t(face)] = file ? file : m_font;
        }
        m_content += "/F" + QByteArray::number(face + 1) + ' ' + PdfFile::number(m_pixelSize) + " Tf " +
                     PdfFile::number(m_lineHeight) + " TL " + PdfFile::number(m_charSpacing) + " Tc\n";
        m_faceUsed[size_t(face)] = true;
        m_face = face;
        m_fontSet = true;
    }
    if (scale != m_scale) {
        m_content += PdfFile::number(scale) + " Tz\n";
        m_scale = scale;
    }
}

void PdfTextRenderer::drawStyled(const TextLine& line, qreal baseline)
{
    const qreal height = line.advance > 0 ? line.advance : m_lineHeight;
    const unsigned char* codes = m_font->codes.get();
    for (const TextRun& run : line.runs) {
        const qreal cell = m_cell * run.scale / 100;
        const char16_t* chars = reinterpret_cast<const char16_t*>(run.text.utf16());
        const qsizetype n = run.text.size();
        // One pass: the bytes shown, and where box characters stand (drawn as rules behind
        // blanks, one blank each).
        m_shown.resize(n * 2); // every character escaped at worst
        char* const shown = m_shown.data();
        char* out = shown;
        m_ruleSpans.clear();
        bool ink = false;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t ch = chars[i];
            const unsigned char c = codes[ch];
            if (c == EmbeddedFont::kGap) {
                if (isBoxGlyph(ch)) {
                    box(ch, QRectF(run.x + i * cell, baseline - m_ascent, cell, height));
                    if (!m_ruleSpans.isEmpty() && m_ruleSpans.last().end == i)
                        ++m_ruleSpans.last().end;
                    else
                        m_ruleSpans.append(RuleSpan{i, i + 1, out - shown});
                }
                *out++ = ' ';
                continue;
            }
            ink = ink || c != ' ';
            if (c == '(' || c == ')' || c == '\\')
                *out++ = '\\';
            *out++ = char(c);
        }
        const qsizetype shownSize = out - shown;
        if (ink || !m_ruleSpans.isEmpty()) {
            textState(run.face, run.scale);
            if (run.glyphWidth != 1) // the smaller glyphs keep the cell's advance
                m_content += PdfFile::number(m_charSpacing + m_cell * (1 / run.glyphWidth - 1)) + " Tc ";
            const qreal y = baseline - run.rise * m_ascent;
            // Written in place: a framed report has thousands of these runs.
            const qsizetype start = m_content.size();
            m_content.resize(start + shownSize + 4 * n + 48 * m_ruleSpans.size() + 6 * PdfFile::kNumberRoom);
            char* o = m_content.data() + start;
            const auto put = [&o](const char* text) {
                const size_t length = std::strlen(text);
                std::memcpy(o, text, length);
                o += length;
            };
            // A plain run at the margin, a line below the last one, moves there by T*.
            const bool plain = run.glyphWidth == 1 && run.glyphHeight == 1 && std::abs(run.x) < 1e-9;
            if (plain && m_positioned && std::abs(m_lastBaseline + m_lineHeight - y) < 1e-6) {
                put("T*");
            } else {
                o = PdfFile::writeNumber(o, run.glyphWidth);
                put("0 0 ");
                o = PdfFile::writeNumber(o, -run.glyphHeight);
                o = PdfFile::writeNumber(o, run.x);
                o = PdfFile::writeNumber(o, y);
                put("Tm");
            }
            m_lastBaseline = plain ? y : -1e9;
            // The run is shown in pieces, each going on where the last ended. A piece of box
            // characters tells them in /ActualText, so that a reader searches and copies the
            // frame as well.
            const auto show = [&o, &put, shown](qsizetype from, qsizetype to) {
                put(" (");
                std::memcpy(o, shown + from, size_t(to - from));
                o += to - from;
                put(") Tj");
            };
            qsizetype at = 0;
            for (const RuleSpan& span : std::as_const(m_ruleSpans)) {
                if (span.shownAt > at)
                    show(at, span.shownAt);
                put("\n/Span <</ActualText ");
                o = PdfFile::writeText(o, QStringView(chars + span.start, span.end - span.start));
                put(">> BDC");
                at = span.shownAt + span.end - span.start;
                show(span.shownAt, at);
                put(" EMC");
            }
            if (at < shownSize)
                show(at, shownSize);
            *o++ = '\n';
            m_content.truncate(o - m_content.constData());
            if (run.glyphWidth != 1)
                m_content += PdfFile::number(m_charSpacing) + " Tc\n";
            m_positioned = true;
        }
        if (run.underline && !run.text.isEmpty())
            fill(QRectF(run.x, baseline + m_underline, cell * run.text.size(), m_stroke / 2), 0);
    }
}

void PdfTextRenderer::endPage()
{
    if (m_positioned || m_fontSet)
        m_content += "ET\n";
    flushFills();
    if (!m_graphics.isEmpty()) {
        m_content += "q\n" + m_graphics + "Q\n";
        m_graphics.clear();
    }
    const int contents = m_file->newObject();
    const int page = m_file->newObject();
    m_file->startObject(page);
    m_file->write("<< /Type /Page /Parent " + PdfFile::ref(m_pages) + " /MediaBox " + m_mediaBox +
                  " /Resources " + PdfFile::ref(m_resources) + " /Contents " + PdfFile::ref(contents) +
                  " >>\nendobj\n");
    m_lastPageSize = m_content.size();
    m_file->writeStreamSoon(contents, m_content);
    m_pageObjects.append(page);
    m_pageOpen = false;
}

bool PdfTextRenderer::finish()
{
    if (m_pageOpen)
        endPage();
    QByteArray fonts;
    for (size_t face = 0; face < m_faces.size(); ++face) {
        if (!m_faceUsed[face])
            continue;
        const int font = m_file->newObject();
        writeFont(font, *m_faces[face]);
        fonts += "/F" + QByteArray::number(int(face) + 1) + ' ' + PdfFile::ref(font) + ' ';
    }
    m_file->startObject(m_resources);
    const QByteArray images = m_images.isEmpty() ? QByteArray() : " /XObject << " + m_images + ">>";
    m_file->write("<< /Font << " + fonts + ">>" + images + " >>\nendobj\n");

    QByteArray kids;
    for (const int page : std::as_const(m_pageObjects))
        kids += PdfFile::ref(page) + '\n';
    m_file->startObject(m_pages);
    m_file->write("<< /Type /Pages /Count " + QByteArray::number(m_pageObjects.size()) + " /Kids [\n" + kids +
                  "] >>\nendobj\n");
    m_file->startObject(m_catalog);
    m_file->write("<< /Type /Catalog /Pages " + PdfFile::ref(m_pages) + " >>\nendobj\n");
    return m_file->finish(m_catalog, m_info);
}
