#pragma once

#include "render/TextLine.h"
#include "text/PrintedDocument.h"

#include <QRawFont>
#include <QString>

#include <memory>

class EmbeddedFonts;
class PageLayout;
class QIODevice;

/// Draws the lines of one document into a PDF; where lines and pages fall is PageLayout's.
class Renderer
{
public:
    virtual ~Renderer() = default;

    /// Starts the PDF on @p out; false when the device refuses it.
    virtual bool begin(QIODevice* out, const PageLayout& layout, const QString& title) = 0;
    /// Begins a new page; the first call begins the first.
    virtual void beginPage() = 0;
    /// Draws a line on the current page with its baseline at @p baseline dots from the top.
    virtual void drawLine(const TextLine& line, qreal baseline) = 0;
    /// Fills @p rect (dots) black on the current page.
    virtual void drawRule(const QRectF& rect) = 0;
    /// Draws the inked dots of @p image across @p place (dots) on the current page.
    virtual void drawImage(const PageImage& image, const QRectF& place) = 0;
    /// Ends the PDF; false when it could not be written whole.
    virtual bool finish() = 0;
};

/// The face of a style at the pixel size its lines are drawn.
QRawFont rawFontOf(const TextStyle& style);

/// Which renderers a document may be drawn by.
enum class RenderPath
{
    /// The fastest that draws the style: PDF text where it can, the painter otherwise.
    Best,
    /// The painter only, whatever the face.
    Painter
};

/// The PDF text renderer when the face has a file the PDF can carry, the style needs nothing
/// drawn besides the glyphs and @p path allows it; the painter renderer otherwise.
std::unique_ptr<Renderer> makeRenderer(const TextStyle& style, const QRawFont& font, EmbeddedFonts& fonts,
                                       RenderPath path = RenderPath::Best);
/// The renderer of styled lines (runs in regular, bold, italic and bold italic, scaled, underlined,
/// box characters drawn): PDF text with each face's own file where the face has them, the painter
/// otherwise or when @p path says so. @p fallback names a face for characters @p style's face lacks
/// (the painter then draws the document); empty for none.
std::unique_ptr<Renderer> makeStyledRenderer(const TextStyle& style, const QRawFont& font,
                                             EmbeddedFonts& fonts, RenderPath path, const QString& fallback);
/// Lines drawn by Qt's painter, for any face Qt can draw.
std::unique_ptr<Renderer> makePainterRenderer(const TextStyle& style, const QRawFont& font);

/// The creator named in every document.
inline QString documentCreator()
{
    return QStringLiteral("Velmorix2");
}
