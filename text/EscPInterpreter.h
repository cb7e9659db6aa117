#pragma once

// The ESC/P interpreter's state, shared by the files that read its commands (EscP.cpp: the
// bytes and the text; EscPCommands.cpp: the ESC commands; EscPPositions.cpp: where the print
// head and the paper go). Not for use outside text/.

#include "text/CharacterTables.h"
#include "text/EscP.h"
#include "text/EscPBarcode.h"

#include <QList>

namespace EscP {

/// Vertical places are kept in 1/1080 inch, the unit every step of 9-pin (1/216, 1/72) and 24-pin
/// (1/180, 1/60) printers is a whole number of, so that a page of 1/216-inch feeds does not drift.
constexpr int kFinePerInch = 1080;
constexpr int kFinePerUnit = kFinePerInch / kUnitsPerInch;

/// The printer's state while it reads the file, and the pages printed so far.
class Interpreter
{
public:
    Interpreter(bool pcl, PageSink sink, const Options& options);
    PrintedDocument run(QByteArrayView file);

    /// Where the print head stands: 1/360 inch from the left edge of the printable area (where a
    /// left margin of 0 puts it), the frame of StyledRun::x (36 of these to a pica cell) and of
    /// PageImage::x.
    int headX() const { return m_headX; }
    /// Moves the head right (or left, negative) by @p units of 1/360 inch, as a bit image of that
    /// width does; never left of the left margin.
    void moveHeadBy(int units) { m_headX = std::max(m_leftMargin, m_headX + units); }
    /// The top of the current line from the top of the page, 1/360 inch.
    int lineY() const { return m_position / kFinePerUnit; }
    /// 9 or 24: the units the file's commands are read in now.
    int pins() const { return m_pins; }
    /// The page being filled (images and rules are added to it).
    PrintedPage& page() { return m_page; }

private:
    void reset();
    RunStyle style() const;
    /// Width of a character of style @p s, 1/360 inch (without ESC SP's extra space).
    static int characterWidth(const RunStyle& s);
    /// Makes the line's last run one of style @p s starting at the head.
    void appendRun(const RunStyle& s);
    void text(QByteArrayView file, qsizetype& i);
    void printable(QByteArrayView chars, const RunStyle& s);
    void backspace(QByteArrayView file, qsizetype& i);
    void overstrike(char next);
    /// Ends the line, feeding @p advance 1/1080 inch (back when negative); the head goes to the
    /// left margin unless @p keepHead.
    void endLine(int advance, bool keepHead = false);
    void formFeed();
    void closePage(bool formFeed);
    void escP(QByteArrayView cmd);
    /// The commands that move the head or the paper, or set margins, tabs and the form.
    void position(QByteArrayView cmd);
    /// ESC ( commands of ESC/P 2 that place things.
    void parenthesis(QByteArrayView cmd);
    void controlSequence(QByteArrayView cmd);
    void pcl(char kind, char group, double value, char letter);
    static bool flag(char n) { return n == 1 || n == '1'; }
    static bool isFlag(char n) { return flag(n) || n == 0 || n == '0'; }

    // Positions (EscPPositions.cpp).
    void horizontalTab();
    void verticalTab();
    void setTabs(QByteArrayView stops);
    void setVerticalTabs(QByteArrayView stops);
    void justify();
    /// 1/3600 inch: the unit ESC ( U set, or @p fallback.
    int unit(int fallback) const { return m_unit > 0 ? m_unit : fallback; }

    bool m_pcl;
    EscP::PageSink m_sink; ///< takes each page as it is closed instead of the document
    int m_formLength;      ///< the form length the printer starts with and ESC @ brings back
    PrintedDocument m_doc;
    PrintedPage m_page;
    PrintedLine m_line;
    int m_position = 0; ///< where the line is on the page, 1/1080 inch
    bool m_blankPageCounts = false;
    int m_pins = 9; ///< the setting's, or 24 once an ESC/P 2 command is seen (ESC @ keeps it)
    // Printer state: ESC @ brings it back.
    bool m_bold = false, m_doubleStrike = false, m_italic = false, m_underline = false;
    bool m_condensed = false, m_doubleWidth = false, m_doubleWidthLine = false;
    bool m_proportional = false, m_doubleHeight = false;
    Script m_script = Script::Normal;
    Pitch m_pitch = Pitch::Pica;
    CharacterTables m_tables;
    BarcodePrinter m_barcodes;
    int m_spacing = kFinePerInch / 6; ///< line spacing, 1/1080 inch
    int m_pageLength = 66 * kUnitsPerInch / 6;
    int m_headX = 0;
    int m_leftMargin = 0;  ///< 1/360 inch
    int m_rightMargin = 0; ///< 1/360 inch from the left edge; 0: none, lines run on
    int m_extraSpace = 0;  ///< ESC SP: after each character, 1/360 inch
    int m_justify = 0;     ///< ESC a: 0 left, 1 centre, 2 right, 3 full
    bool m_tabsSet = false;
    QList<int> m_tabs;         ///< from the left margin, 1/360 inch
    QList<int> m_verticalTabs; ///< from the top of the form, 1/1080 inch
    int m_skip = 0;            ///< ESC N: the foot of the form skipped over, 1/1080 inch
    int m_unit = 0;            ///< ESC ( U, 1/3600 inch; 0 when not set
};

} // namespace EscP
