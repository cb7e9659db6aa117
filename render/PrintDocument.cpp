#include "render/PrintDocument.h"

PrintDocument::PrintDocument(std::unique_ptr<Renderer> renderer, const QPageLayout& page,
                             const QRawFont& font)
    : m_renderer(std::move(renderer)), m_layout(page, font)
{
}

bool PrintDocument::begin(QIODevice* out, const QString& title)
{
    return m_renderer->begin(out, m_layout, title);
}

void PrintDocument::line(const TextLine& line)
{
    const PageLayout::Place place = m_layout.nextLine(line.advance);
    if (place.newPage)
        m_renderer->beginPage();
    m_renderer->drawLine(line, place.baseline);
}

void PrintDocument::pageBreak()
{
    if (m_layout.pageBreak())
        m_renderer->beginPage();
}

bool PrintDocument::finish()
{
    return m_renderer->finish();
}
