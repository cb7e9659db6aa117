#pragma once

#include "render/PageLayout.h"
#include "render/Renderer.h"

#include <memory>

/// One document: lines placed by its PageLayout and drawn by its Renderer.
class PrintDocument
{
public:
    PrintDocument(std::unique_ptr<Renderer> renderer, const QPageLayout& page, const QRawFont& font);

    /// Starts the PDF on @p out; false when it cannot.
    bool begin(QIODevice* out, const QString& title);
    /// Draws a line below the last; the first line, or one the page has no room for, begins a page.
    void line(const TextLine& line);
    /// Ends the page; the next line goes on a new one. A break with no line since the last
    /// leaves a blank page.
    void pageBreak();
    /// Fills a rectangle (dots) on the page the last line went on.
    void rule(const QRectF& rect) { m_renderer->drawRule(rect); }
    /// Draws a picture across @p place (dots) on the page the last line went on.
    void image(const PageImage& image, const QRectF& place) { m_renderer->drawImage(image, place); }
    /// Ends the PDF; false when it could not be written whole.
    bool finish();
    int pages() const { return m_layout.pages(); }
    PageLayout& layout() { return m_layout; }

private:
    std::unique_ptr<Renderer> m_renderer;
    PageLayout m_layout;
};
