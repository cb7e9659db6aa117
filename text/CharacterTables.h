#pragma once

#include "text/PrintedDocument.h"

#include <array>
#include <optional>

/**
 * The character tables of an Epson printer as a file sets them: the table ESC t selects among
 * the four ESC ( t assigns, the national set of ESC R, whether ESC 7 makes 0x80..0x9F control
 * codes and whether ESC I 1 prints the control codes that have a glyph. Until the file selects
 * a table, its bytes are in the document's code page.
 */
class CharacterTables
{
public:
    /// Takes ESC t, ESC ( t, ESC R, ESC 6, ESC 7 and ESC I; false for any other command.
    bool command(QByteArrayView cmd);
    /// Stamps the table and national set in force on the style of the characters that follow.
    void stamp(RunStyle& style) const;
    /// Every printable byte goes on the page as it is: neither the italic table nor ESC 7 is in force.
    bool passesBytes() const { return !italic() && !m_upperControls; }
    /// The byte @p byte prints as, -1 when it prints nothing: the italic table's upper half is
    /// its lower half in italics (style.italic is set to say so).
    int place(unsigned char byte, RunStyle& style) const;
    /// A control code below 0x20 that ESC I 1 prints as a character.
    bool printsControl(unsigned char byte) const;

private:
    bool italic() const;

    std::array<CodePage::Encoding, 4> m_assigned = {CodePage::Encoding::EpsonItalic,
                                                    CodePage::Encoding::Cp437, CodePage::Encoding::Cp437,
                                                    CodePage::Encoding::Cp437};
    int m_selected = -1; ///< -1: none yet, the document's code page
    quint8 m_national = 0;
    bool m_upperControls = false;
    bool m_printControls = false;
};

/// The characters of @p run as printed: its bytes in its table (@p document's when it has none),
/// its national set's characters in place of the 12 it replaces, and the glyphs of the DOS code
/// pages for the control codes ESC I 1 printed.
QString runText(const StyledRun& run, CodePage::Encoding document);
/// The character one byte prints as in @p style; 0 when it cannot be told (a byte above ASCII in
/// the document's code page, which the interpreter does not know).
char16_t characterOf(char byte, const RunStyle& style);

/// What a letter and an accent struck in one cell with BS print.
struct AccentedCell
{
    bool pair = false;     ///< one is a letter, the other an accent
    bool composed = false; ///< the pair is one letter, @ref byte in @ref style
    char byte = 0;         ///< else the letter's byte and style, to draw the accent over
    RunStyle style;
};
/// @p previous struck over by @p next in @p style: "a BS ~" and "~ BS a" are ã, in the run's table
/// when it has the letter, else in a cell of ISO 8859-1.
AccentedCell accentedCell(char previous, char next, const RunStyle& style);
