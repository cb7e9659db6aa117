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

std::unique_ptr<Renderer> makeStyledRenderer(const TextStyle& style, const QRawFont& font,
                                             EmbeddedFonts& fonts, RenderPath path, const QString& fallback)
{
    const auto faceOf = [style](int face) {
        TextStyle s = style;
        s.bold = face & Bold;
        s.italic = face & Italic;
        return rawFontOf(s);
    };
    if (path == RenderPath::Best && fallback.isEmpty()) {
        if (std::shared_ptr<const EmbeddedFont> regular = fonts.find(style.face, font)) {
            // Bold and italic files are read only when a run asks for them.
            auto load = [&fonts, faceOf, family = style.face](int face) {
                return fonts.find(family, faceOf(face), face & Bold, face & Italic);
            };
            return std::make_unique<PdfTextRenderer>(std::move(regular), font, load);
        }
    }
    std::array<QRawFont, 4> faces{font, faceOf(Bold), faceOf(Italic), faceOf(BoldItalic)};
    QRawFont extra;
    if (!fallback.isEmpty()) {
        TextStyle s = style;
        s.face = fallback;
        extra = rawFontOf(s);
    }
    return std::make_unique<PainterRenderer>(faces, extra);
}

std::unique_ptr<Renderer> makePainterRenderer(const TextStyle& style, const QRawFont& font)
{
    return std::make_unique<PainterRenderer>(font, style.underline);
}
