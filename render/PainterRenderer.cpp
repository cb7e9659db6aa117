#include "render/PainterRenderer.h"

#include "render/PageLayout.h"

PainterRenderer::PainterRenderer(const QRawFont& font, bool underline) : m_font(font), m_underline(underline)
{
    m_cached.fill(kUnknown);
}

bool PainterRenderer::begin(QIODevice* out, const PageLayout& layout, const QString& title)
{
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
    m_painter.end();
    m_writer.reset();
    return true;
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
