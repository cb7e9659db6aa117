#pragma once

#include <QByteArray>
#include <QList>

/// Vertical measures of the printed document are in 1/360 inch, the finest step of ESC/P 2.
constexpr int kUnitsPerInch = 360;

/// Character pitch of a run.
enum class Pitch
{
    Pica,
    Elite,
    Fifteen,
    CondensedPica,
    CondensedElite
};
/// 10, 12, 15, 17.14 or 20 characters per inch.
double charactersPerInch(Pitch pitch);

/// How the characters of a run are printed.
struct RunStyle
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool doubleWidth = false;
    Pitch pitch = Pitch::Pica;
    bool operator==(const RunStyle& o) const
    {
        return bold == o.bold && italic == o.italic && underline == o.underline &&
               doubleWidth == o.doubleWidth && pitch == o.pitch;
    }
};

/// Characters of one style, as bytes of the file's code page, free of printer commands.
struct StyledRun
{
    RunStyle style;
    QByteArray text;
};

/// One printed line and the paper feed that follows it.
struct PrintedLine
{
    QList<StyledRun> runs;
    int advance = kUnitsPerInch / 6; ///< feed after the line, 1/360 inch
    /// The characters of all runs, without their styles.
    QByteArray text() const;
};

/// One sheet.
struct PrintedPage
{
    QList<PrintedLine> lines;
    int length = 11 * kUnitsPerInch; ///< form length, 1/360 inch
    bool formFeed = false;           ///< ended by a form feed rather than by filling its length
};

/// What a spool file with printer commands prints.
struct PrintedDocument
{
    QList<PrintedPage> pages;
    bool landscape = false; ///< a PCL file asked for landscape orientation
    /// Where a printer command starts whose data runs past the end of the file (a bit image
    /// whose length is wrong, say); -1 when none does. Its bytes were printed as text.
    qsizetype cutShortAt = -1;
};
