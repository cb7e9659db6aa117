#pragma once

#include "text/PrintedDocument.h"

/**
 * ESC ( B on the page: the bars go on at the print head, top at the line's top; the human-readable
 * line waits until the paper feeds past the bars' bottom, and goes in that feed as a line of its own.
 */
class BarcodePrinter
{
public:
    /// Draws the bar code of @p params (k m s v1 v2 c and the data) onto @p page, its left edge at
    /// @p x and its top at @p y (1/360 inch), a module being m dots of 1/@p moduleDotsPerInch
    /// inch. Gives its width in 1/360 inch; 0 when the data is not one the printer takes, and
    /// nothing is drawn.
    int print(QByteArrayView params, int x, int y, int moduleDotsPerInch, PrintedPage& page);
    /// Appends @p line, at @p y and followed by a feed of @p advance, to @p lines, with the
    /// human-readable lines that fall within that feed after it, the feed split around them.
    void feed(PrintedLine&& line, int y, int advance, QList<PrintedLine>& lines);
    /// @p page ends at @p y: the human-readable lines still to come that fit on it go on it, as
    /// the printer prints them with their bars; those below its end are forgotten.
    void endPage(PrintedPage& page, int y);

private:
    struct Caption
    {
        int y = 0;
        StyledRun run;
    };
    QList<Caption> m_captions; ///< in order of place down the page
};
