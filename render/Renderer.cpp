#include "render/Renderer.h"

#include "render/EmbeddedFont.h"
#include "render/PageLayout.h"
#include "render/PainterRenderer.h"
#include "render/PdfTextRenderer.h"

#include <QFont>

QRawFont rawFontOf(const TextStyle& style)
{
    QFont wanted(style.face);
    wanted.setBold(style.bold);
    wanted.setItalic(style.italic);
    QRawFont raw = QRawFont::fromFont(wanted);
    raw.setPixelSize(qreal(style.points) * kRenderResolution / 72.0);
    return raw;
}

std::unique_ptr<Renderer> makeRenderer(const TextStyle& style, const QRawFont& font, EmbeddedFonts& fonts,
                                       RenderPath path)
{
    // The face's file goes into the PDF as it is when the PDF can carry it and the line needs
    // no style Qt would make itself.
    if (path == RenderPath::Best && !style.bold && !style.italic && !style.underline) {
        if (std::shared_ptr<const EmbeddedFont> file = fonts.find(style.face, font))
            return std::make_unique<PdfTextRenderer>(std::move(file), font);
    }
    return makePainterRenderer(style, font);
}

std::unique_ptr<Renderer> makePainterRenderer(const TextStyle& style, const QRawFont& font)
{
    return std::make_unique<PainterRenderer>(font, style.underline);
}
