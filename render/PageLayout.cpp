#include "render/PageLayout.h"

PageLayout::PageLayout(const QPageLayout& page, const QRawFont& font)
    : m_page(page), m_pageHeight(page.paintRectPixels(kRenderResolution).height()), m_ascent(font.ascent()),
      m_advance(font.ascent() + font.descent() + font.leading())
{
}

PageLayout::Place PageLayout::nextLine()
{
    Place place;
    if (!m_pageOpen || (m_y > 0 && m_y + m_advance > m_pageHeight)) {
        place.newPage = true;
        m_pageOpen = true;
        m_y = 0;
        ++m_pages;
    }
    place.baseline = m_y + m_ascent;
    m_y += m_advance;
    return place;
}

bool PageLayout::pageBreak()
{
    const bool blank = !m_pageOpen;
    if (blank)
        ++m_pages;
    m_pageOpen = false;
    return blank;
}
