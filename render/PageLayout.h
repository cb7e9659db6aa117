#pragma once

#include <QPageLayout>
#include <QRawFont>

/// Dots per inch of the PDF's drawing space. With it a Courier advance (0.6 em) is a whole
/// number of dots at every size we print (7, 8, 9, 11 points), so the coordinates stay short.
constexpr int kRenderResolution = 1200;

/**
 * Where lines fall on the pages of one document: the page geometry, the line advance of its
 * face and the break rule. A page begins with its first line or with a break that finds no
 * page open (a blank page); a line that would cross the bottom of a page that has lines
 * begins the next.
 */
class PageLayout
{
public:
    /// @p font is at the pixel size the lines are drawn; its ascent, descent and leading give
    /// the line advance.
    PageLayout(const QPageLayout& page, const QRawFont& font);

    const QPageLayout& page() const { return m_page; }
    /// Height of the printable area, dots of kRenderResolution.
    qreal pageHeight() const { return m_pageHeight; }
    qreal lineAdvance() const { return m_advance; }

    struct Place
    {
        /// A page must begin before this line is drawn.
        bool newPage = false;
        /// The line's baseline, dots down from the top of the printable area.
        qreal baseline = 0;
    };
    /// Places the next line and moves below it by @p advance dots (0: the line advance).
    Place nextLine(qreal advance = 0);
    /// A page holds @p lines lines: the line advance shrinks so that they fill the printable
    /// height, and never grows.
    void fitLines(int lines);
    qreal ascent() const { return m_ascent; }
    /// Ends the current page; true when no page is open, so a blank one must begin first.
    bool pageBreak();
    int pages() const { return m_pages; }

private:
    QPageLayout m_page;
    qreal m_pageHeight = 0;
    qreal m_ascent = 0;
    qreal m_advance = 0;
    qreal m_y = 0;
    bool m_pageOpen = false;
    int m_pages = 0;
    int m_linesPerPage = 0; ///< 0: as many as the height holds
    int m_linesOnPage = 0;
};
