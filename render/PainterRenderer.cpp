#include "render/PainterRenderer.h"

#include "render/BoxGlyphs.h"
#include "render/PageLayout.h"

PainterRenderer::PainterRenderer(const QRawFont& font, bool underline) : m_font(font), m_underline(underline)
{
    m_cached.fill(kUnknown);
}

PainterRenderer::PainterRenderer(const std::array<QRawFont, 4>& faces, const QRawFont& fallback)
    : m_font(faces[0]), m_styled(true), m_faces(faces), m_fallback(fallback)
{
    m_cached.fill(kUnknown);
}

bool PainterRenderer::begin(QIODevice* out, const PageLayout& layout, const QString& title)
{
    m_lineHeight = layout.lineAdvance();
    m_writer = std::make_unique<QPdfWriter>(out);
    m_writer->setResolution(kRenderResolution);
    m_writer->setPageLayout(layout.page());
    m_writer->setTitle(title);
    m_writer->setCreator(documentCreator());
    return m_painter.begin(m_writer.get());
}

void PainterRenderer::beginPage()
{
    flush();
    if (m_started)
        m_writer->newPage();
    m_started = true;
}

void PainterRenderer::drawLine(const TextLine& line, qreal baseline)
{
    if (m_styled) {
        drawStyled(line, baseline);
        return;
    }
    qreal x = 0;
    for (const TextRun& run : line.runs) {
        for (const QChar ch : run.text) {
            const Glyph g = glyphOf(ch);
            // Blanks and characters the face lacks draw nothing but keep their column.
            if (g.index != 0 && ch != u' ') {
                m_glyphs.append(g.index);
                m_positions.append(QPointF(x, baseline));
            }
            x += g.advance;
        }
    }
    if (m_underline && x > 0) {
        const qreal under = baseline + m_font.underlinePosition();
        m_underlines.append(QLineF(0, under, x, under));
    }
}

bool PainterRenderer::finish()
{
    flush();
    const bool ended = m_painter.end();
    m_writer.reset();
    return ended;
}

void PainterRenderer::flush()
{
    if (!m_glyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(m_font);
        run.setGlyphIndexes(m_glyphs);
        run.setPositions(m_positions);
        m_painter.drawGlyphRun(QPointF(0, 0), run);
        m_glyphs.clear();
        m_positions.clear();
    }
    if (!m_underlines.isEmpty()) {
        m_painter.setPen(QPen(Qt::black, m_font.lineThickness()));
        m_painter.drawLines(m_underlines);
        m_underlines.clear();
    }
}

PainterRenderer::Glyph PainterRenderer::lookUp(QChar ch) const
{
    Glyph g;
    int count = 1;
    if (!m_font.glyphIndexesForChars(&ch, 1, &g.index, &count) || count != 1)
        g.index = 0;
    QPointF advance;
    // Design metrics, not hinted ones: a Courier column is then exactly 0.6 em wide.
    if (m_font.advancesForGlyphIndexes(&g.index, &advance, 1, QRawFont::UseDesignMetrics))
        g.advance = advance.x();
    return g;
}

/// Spool text is Windows-1252, so nearly every character falls in the first 256 code points.
PainterRenderer::Glyph PainterRenderer::glyphOf(QChar ch)
{
    const char16_t u = ch.unicode();
    if (u >= m_cached.size())
        return lookUp(ch);
    if (m_cached[u] == kUnknown) {
        const Glyph g = lookUp(ch);
        m_cached[u] = g.index;
        m_cachedAdvance[u] = g.advance;
    }
    return Glyph{m_cached[u], m_cachedAdvance[u]};
}

void PainterRenderer::drawStyled(const TextLine& line, qreal baseline)
{
    flush();
    const qreal cellWidth = glyphOf(QChar(u' ')).advance;
    const qreal height = line.advance > 0 ? line.advance : m_lineHeight;
    const qreal stroke = std::max<qreal>(m_font.lineThickness(), m_font.pixelSize() / 20);
    for (const TextRun& run : line.runs) {
        const qreal scale = line.styled ? run.scale / 100 : 1.0;
        const qreal cell = cellWidth * scale;
        const qreal x0 = line.styled ? run.x : 0;
        const QRawFont& face = m_faces[line.styled ? run.face % 4 : 0];
        for (qsizetype i = 0; i < run.text.size(); ++i) {
            const QChar ch = run.text[i];
            const qreal x = x0 + i * cell;
            const bool boxed = isBoxGlyph(ch.unicode());
            if (boxed) {
                BoxPieces pieces;
                boxPieces(ch.unicode(), QRectF(x, baseline - m_font.ascent(), cell, height), stroke, pieces);
                for (const BoxPiece& piece : std::as_const(pieces))
                    m_painter.fillRect(piece.rect, QColor::fromRgbF(piece.gray, piece.gray, piece.gray));
            }
            if (ch == u' ')
                continue;
            QRawFont font = face;
            quint32 index = 0;
            int count = 1;
            if (!font.glyphIndexesForChars(&ch, 1, &index, &count) || index == 0) {
                if (!m_fallback.isValid())
                    continue;
                font = m_fallback;
                count = 1;
                if (!font.glyphIndexesForChars(&ch, 1, &index, &count) || index == 0)
                    continue;
            }
            // A glyph of another face is squeezed or widened to the cell's advance.
            QPointF advance;
            font.advancesForGlyphIndexes(&index, &advance, 1, QRawFont::UseDesignMetrics);
            const qreal sx = advance.x() > 0 ? cell / advance.x() : scale;
            QGlyphRun glyph;
            glyph.setRawFont(font);
            glyph.setGlyphIndexes({index});
            glyph.setPositions({QPointF(0, 0)});
            m_painter.save();
            m_painter.translate(x, baseline - (line.styled ? run.rise * m_font.ascent() : 0));
            m_painter.scale(sx * (line.styled ? run.glyphWidth : 1), line.styled ? run.glyphHeight : 1);
            if (boxed) // the rules draw it; its glyph, unseen, tells a reader which character it is
                m_painter.setPen(Qt::transparent);
            m_painter.drawGlyphRun(QPointF(0, 0), glyph);
            m_painter.restore();
        }
        if (line.styled && run.underline && !run.text.isEmpty())
            m_painter.fillRect(
                QRectF(x0, baseline + m_font.underlinePosition(), cell * run.text.size(), stroke / 2),
                Qt::black);
    }
}

void PainterRenderer::drawRule(const QRectF& rect)
{
    m_painter.fillRect(rect, Qt::black);
}

void PainterRenderer::drawImage(const PageImage& image, const QRectF& place)
{
    QImage mask(reinterpret_cast<const uchar*>(image.bits.constData()), image.width, image.height,
                int(image.bytesPerRow()), QImage::Format_Mono);
    mask.setColorTable({qRgba(0, 0, 0, 0), qRgb(0, 0, 0)});
    m_painter.drawImage(place, mask);
}
