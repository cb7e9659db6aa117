// Where the print head and the paper go: line spacing, the form, margins, tab stops, absolute and
// relative positions, justification. Horizontal places are kept in 1/360 inch, vertical ones in
// 1/1080 inch (see EscPInterpreter.h).
#include "text/EscPInterpreter.h"

#include <algorithm>

namespace EscP {
namespace {
/// Without a right margin a line is centred or pushed right within 80 columns of pica.
constexpr int kLineWidth = 8 * kUnitsPerInch;

int word(QByteArrayView cmd, qsizetype at)
{
    return static_cast<unsigned char>(cmd[at]) + 256 * static_cast<unsigned char>(cmd[at + 1]);
}
int signedWord(QByteArrayView cmd, qsizetype at)
{
    return qint16(quint16(word(cmd, at)));
}
} // namespace

void Interpreter::position(QByteArrayView cmd)
{
    const auto n = cmd.size() > 2 ? static_cast<unsigned char>(cmd[2]) : 0;
    // A step of n/216 inch on a 9-pin printer is n/180 on a 24-pin one; n/72 is n/60.
    const int fine = m_pins == 24 ? kFinePerInch / 180 : kFinePerInch / 216;
    const int coarse = m_pins == 24 ? kFinePerInch / 60 : kFinePerInch / 72;
    RunStyle pitch;
    pitch.pitch = style().pitch;
    const int column = characterWidth(pitch); // margins count columns of the pitch, not of double width
    switch (cmd[1]) {
    case '0':
        m_spacing = kFinePerInch / 8;
        break;
    case '2':
        m_spacing = kFinePerInch / 6;
        break;
    case '1':
        m_spacing = 7 * kFinePerInch / 72;
        break;
    case '3':
        m_spacing = n * fine;
        break;
    case 'A':
        m_spacing = n * coarse;
        break;
    case '+':
        m_spacing = n * kFinePerUnit;
        break;
    case 'J': // a feed without a carriage return: the next line starts where this one stopped
        if (n > 0)
            endLine(n * fine, true);
        break;
    case 'j': // the same feed backwards
        if (n > 0)
            endLine(-n * fine, true);
        break;
    case 'C': {
        const int length = cmd.size() == 4 ? static_cast<unsigned char>(cmd[3]) * kUnitsPerInch
                                           : n * m_spacing / kFinePerUnit;
        if (length > 0)
            m_page.length = m_pageLength = length;
        m_skip = 0;
        break;
    }
    case 'N':
        m_skip = n * m_spacing;
        break;
    case 'O':
        m_skip = 0;
        break;
    case 'l':
        m_leftMargin = n * column;
        if (m_line.runs.isEmpty() || m_headX < m_leftMargin)
            m_headX = m_leftMargin;
        break;
    case 'Q':
        if (n * column > m_leftMargin)
            m_rightMargin = n * column;
        break;
    case '$': { // from the left margin, 1/60 inch unless ESC ( U set the unit
        const int x = m_leftMargin + word(cmd, 2) * unit(60) / 10;
        if (m_rightMargin == 0 || x < m_rightMargin)
            m_headX = x;
        break;
    }
    case '\\': { // from the head, 1/120 inch on a 9-pin printer and 1/180 on a 24-pin one
        const int x = m_headX + signedWord(cmd, 2) * unit(m_pins == 24 ? 20 : 30) / 10;
        if (x >= m_leftMargin && (m_rightMargin == 0 || x < m_rightMargin))
            m_headX = x;
        break;
    }
    case ' ':
        m_extraSpace = n * (m_pins == 24 ? 2 : 3);
        break;
    case 'a':
        if (n <= 3 || (n >= '0' && n <= '3'))
            m_justify = n & 3;
        break;
    case 'D':
        setTabs(cmd.sliced(2));
        break;
    case 'B':
        setVerticalTabs(cmd.sliced(2));
        break;
    default:
        break;
    }
}

void Interpreter::parenthesis(QByteArrayView cmd)
{
    const int count = word(cmd, 3);
    const QByteArrayView data = cmd.sliced(5);
    switch (cmd[2]) {
    case 'U': // the unit of the commands below, in 1/3600 inch
        if (count == 1 && data[0] > 0)
            m_unit = static_cast<unsigned char>(data[0]);
        else if (count == 5 && word(data, 3) > 0)
            m_unit = 3600 * static_cast<unsigned char>(data[2]) / word(data, 3);
        break;
    case 'V': // from the top of the form
        if (count == 2)
            endLine(word(data, 0) * unit(10) * kFinePerInch / 3600 - m_position, true);
        break;
    case 'v':
        if (count == 2)
            endLine(signedWord(data, 0) * unit(10) * kFinePerInch / 3600, true);
        break;
    case 'B': // a bar code at the head, modules in dots of the printer's pins
        moveHeadBy(m_barcodes.print(data, headX(), lineY(), m_pins == 24 ? 180 : 120, m_page));
        break;
    case 'C':
        if (count == 2 && word(data, 0) > 0)
            m_page.length = m_pageLength = word(data, 0) * unit(10) / 10;
        break;
    default:
        break;
    }
}

// Tab stops in columns of the pitch they are set in, ascending, ended by NUL; ESC D NUL clears all.
void Interpreter::setTabs(QByteArrayView stops)
{
    const int column = characterWidth(style()) + m_extraSpace;
    m_tabsSet = true;
    m_tabs.clear();
    for (const char c : stops) {
        if (c == 0)
            break;
        m_tabs.append(static_cast<unsigned char>(c) * column);
    }
}

void Interpreter::horizontalTab()
{
    const int column = characterWidth(style()) + m_extraSpace;
    const int from = m_headX - m_leftMargin;
    int to = -1;
    if (!m_tabsSet) {
        to = (from / (8 * column) + 1) * 8 * column; // a stop every eight columns
    } else {
        const auto next = std::upper_bound(m_tabs.cbegin(), m_tabs.cend(), from);
        if (next != m_tabs.cend())
            to = *next;
    }
    if (to >= 0 && (m_rightMargin == 0 || m_leftMargin + to < m_rightMargin))
        m_headX = m_leftMargin + to;
}

// Vertical tab stops in lines of the spacing they are set in, from the top of the form.
void Interpreter::setVerticalTabs(QByteArrayView stops)
{
    m_verticalTabs.clear();
    for (const char c : stops) {
        if (c == 0)
            break;
        m_verticalTabs.append(static_cast<unsigned char>(c) * m_spacing);
    }
}

// VT feeds to the next stop below the line, or to the next form past the last one; without
// stops it is a line feed.
void Interpreter::verticalTab()
{
    if (m_verticalTabs.isEmpty()) {
        endLine(m_spacing);
        return;
    }
    const auto next = std::upper_bound(m_verticalTabs.cbegin(), m_verticalTabs.cend(), m_position);
    if (next == m_verticalTabs.cend())
        formFeed();
    else
        endLine(*next - m_position);
}

// Centred and right-justified lines are moved as a whole when they end, between the margins.
// Full justification is printed flush left: the printer only spreads lines it wraps itself.
void Interpreter::justify()
{
    if ((m_justify != 1 && m_justify != 2) || m_line.runs.isEmpty())
        return;
    qreal left = m_line.runs.first().x, right = m_line.runs.first().end();
    for (const StyledRun& run : std::as_const(m_line.runs)) {
        left = std::min(left, run.x);
        right = std::max(right, run.end());
    }
    const qreal cellsPerUnit = 10.0 / kUnitsPerInch;
    const qreal room = (m_rightMargin > 0 ? m_rightMargin : kLineWidth) * cellsPerUnit - right;
    const qreal shift = m_justify == 1 ? (room - (left - m_leftMargin * cellsPerUnit)) / 2 : room;
    if (shift <= 0)
        return;
    for (StyledRun& run : m_line.runs)
        run.x += shift;
}

} // namespace EscP
