#include "render/PageLayout.h"

#include <algorithm>

PageLayout::PageLayout(const QPageLayout& page, const QRawFont& font)
    : m_page(page), m_pageHeight(page.paintRectPixels(kRenderResolution).height()), m_ascent(font.ascent()),
      m_advance(font.ascent() + font.descent() + font.leading())
{
}

void PageLayout::fitLines(int lines)
{
    if (lines <= 0)
        return;
    m_advance = std::min(m_advance, m_pageHeight / lines);
    m_linesPerPage = lines;
}

PageLayout::Place PageLayout::nextLine(qreal advance)
{
    // 0 is the face's own advance; less is a printer's reverse feed, back towards the top.
    if (advance == 0)
        advance = m_advance;
    Place place;
    // A hair of rounding must not push the last line of a full page onto the next.
    if (!m_pageOpen || (m_y > 0 && m_y + advance > m_pageHeight + 1e-6) ||
        (m_linesPerPage > 0 && m_linesOnPage == m_linesPerPage)) {
        m_linesOnPage = 0;
        place.newPage = true;
        m_pageOpen = true;
        m_y = 0;
        ++m_pages;
    }
    place.baseline = m_y + m_ascent;
    m_y = std::max<qreal>(0, m_y + advance);
    ++m_linesOnPage;
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
