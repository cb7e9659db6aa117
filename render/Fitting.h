#pragma once

#include <QList>

/// The size and orientation a document is printed in, chosen once for the whole document.
struct Fit
{
    qreal points = 0;
    bool landscape = false;
    /// Even at the smallest size the widest line is wider than the sheet: lines wrap.
    bool wrap = false;
    bool operator==(const Fit& o) const
    {
        return qFuzzyCompare(points, o.points) && landscape == o.landscape && wrap == o.wrap;
    }
};

/// What fitting needs to know of a document and of the sheet, lengths in points.
struct FitRequest
{
    /// Sizes to try in portrait, largest first (the size table from its chosen size down).
    QList<qreal> sizes;
    /// Width of the widest drawn line at a size of one point.
    qreal widthPerPoint = 0;
    qreal portraitWidth = 0;
    qreal landscapeWidth = 0;
    /// The largest size whose page still fits a landscape sheet's height (printer pages).
    qreal landscapeCap = 1e9;
};

/// Smallest size in portrait before turning the sheet, and the floor in landscape.
constexpr qreal kSmallestPortraitPoints = 7;
constexpr qreal kSmallestPoints = 4;

/**
 * The first size of the table at which the widest line fits across the printable width; a
 * size between the table's last and 7 points when it fits there (a printer page wider than
 * its carriage); otherwise landscape at 7 points, or smaller down to 4 points; below that,
 * 4 points with lines wrapped.
 */
Fit fitDocument(const FitRequest& request);
