#pragma once

#include "render/Renderer.h"

#include <QGlyphRun>
#include <QLineF>
#include <QList>
#include <QPainter>
#include <QPdfWriter>

#include <array>

/**
 * Lines drawn by Qt's PDF engine, for any face Qt can draw. The glyphs of a page are gathered
 * into one glyph run and drawn when the page ends: a line costs a few table look-ups, and the
 * engine sees one text object per page instead of one per line.
 */
class PainterRenderer : public Renderer
{
public:
    PainterRenderer(const QRawFont& font, bool underline);
    /// Styled lines in the four faces (regular, bold, italic, bold italic); characters they
    /// lack come from @p fallback when it is valid, at the cell's advance.
    PainterRenderer(const std::array<QRawFont, 4>& faces, const QRawFont& fallback);

    bool begin(QIODevice* out, const PageLayout& layout, const QString& title) override;
    void beginPage() override;
    void drawLine(const TextLine& line, qreal baseline) override;
    void drawRule(const QRectF& rect) override;
    void drawImage(const PageImage& image, const QRectF& place) override;
    bool finish() override;

private:
    struct Glyph
    {
        quint32 index = 0;
        qreal advance = 0;
    };
    static constexpr quint32 kUnknown = 0xffffffffu;

    void flush();
    void drawStyled(const TextLine& line, qreal baseline);
    Glyph lookUp(QChar ch) const;
    Glyph glyphOf(QChar ch);

    QRawFont m_font;
    bool m_styled = false;
    std::array<QRawFont, 4> m_faces;
    QRawFont m_fallback;
    qreal m_lineHeight = 0;
    bool m_underline = false;
    std::unique_ptr<QPdfWriter> m_writer;
    QPainter m_painter;
    bool m_started = false;

    QList<quint32> m_glyphs;
    QList<QPointF> m_positions;
    QList<QLineF> m_underlines;
    /// Glyphs of the first 256 code points, looked up once.
    std::array<quint32, 256> m_cached{};
    std::array<qreal, 256> m_cachedAdvance{};
};
