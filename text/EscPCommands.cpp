// The ESC commands of ESC/P that change what the text looks like, and the PCL and ANSI ones of
// the other kinds of file read here; those that place things are in EscPPositions.cpp.
#include "text/BitImage.h"
#include "text/EscPInterpreter.h"

namespace EscP {

void Interpreter::escP(QByteArrayView cmd)
{
    const auto n = cmd.size() > 2 ? static_cast<unsigned char>(cmd[2]) : 0;
    // Commands only ESC/P 2 printers know tell a file written for a 24-pin printer: its feeds
    // are read in 24-pin units from there on.
    if (cmd[1] == '(' || cmd[1] == '.' || (cmd[1] == '*' && n >= 32))
        m_pins = 24;
    if (m_tables.command(cmd))
        return;
    switch (cmd[1]) {
    case '@':
        reset();
        break;
    case 'E':
        m_bold = true;
        break;
    case 'F':
        m_bold = false;
        break;
    case 'G':
        m_doubleStrike = true;
        break;
    case 'H':
        m_doubleStrike = false;
        break;
    case '4':
        m_italic = true;
        break;
    case '5':
        m_italic = false;
        break;
    case '-':
        if (isFlag(char(n)))
            m_underline = flag(char(n));
        break;
    case 'W':
        if (isFlag(char(n)))
            m_doubleWidth = flag(char(n));
        break;
    case 'w':
        if (isFlag(char(n)))
            m_doubleHeight = flag(char(n));
        break;
    case 'p':
        if (isFlag(char(n)))
            m_proportional = flag(char(n));
        break;
    case 'S':
        if (isFlag(char(n)))
            m_script = flag(char(n)) ? Script::Sub : Script::Super;
        break;
    case 'T':
        m_script = Script::Normal;
        break;
    case '!':
        m_pitch = (n & 0x01) ? Pitch::Elite : Pitch::Pica;
        m_proportional = n & 0x02;
        m_condensed = n & 0x04;
        m_bold = n & 0x08;
        m_doubleStrike = n & 0x10;
        m_doubleWidth = n & 0x20;
        m_italic = n & 0x40;
        m_underline = n & 0x80;
        break;
    case 'P':
        m_pitch = Pitch::Pica;
        break;
    case 'M':
        m_pitch = Pitch::Elite;
        break;
    case 'g':
        m_pitch = Pitch::Fifteen;
        break;
    case 0x0F: // ESC SI
        m_condensed = true;
        break;
    case 0x0E: // ESC SO
        m_doubleWidthLine = true;
        break;
    case '[':
        controlSequence(cmd);
        break;
    case '(':
        parenthesis(cmd);
        break;
    case 'K': // bit images: drawn where the head stands, which moves on past them
    case 'L':
    case 'Y':
    case 'Z':
    case '*':
    case '^':
    case '.':
        moveHeadBy(BitImage::print(cmd, m_pins == 24 ? BitImage::kTwentyFourPinRows : BitImage::kNinePinRows,
                                   m_headX, lineY(), m_page.images));
        break;
    default:
        position(cmd);
        break; // or graphics, character sets and the like: nothing the text shows
    }
}

// ANSI attributes as groff writes them: ESC [ 1 m bold, ESC [ 4 m underline, ESC [ 0 m plain.
void Interpreter::controlSequence(QByteArrayView cmd)
{
    if (cmd.back() != 'm')
        return;
    for (const QByteArray& p : cmd.sliced(2).chopped(1).toByteArray().split(';')) {
        const int code = p.isEmpty() ? 0 : p.toInt();
        if (code == 0)
            m_bold = m_underline = m_italic = false;
        else if (code == 1 || code == 22)
            m_bold = code == 1;
        else if (code == 3 || code == 23)
            m_italic = code == 3;
        else if (code == 4 || code == 24)
            m_underline = code == 4;
    }
}

// The PCL commands that change what the text looks like; all others are read past.
void Interpreter::pcl(char kind, char group, double value, char letter)
{
    if (kind == '&' && group == 'l' && letter == 'O')
        m_doc.landscape = value == 1 || value == 3;
    else if (kind == '&' && group == 'd')
        m_underline = letter == 'D';
    else if (kind == '(' && group == 's' && letter == 'B')
        m_bold = value > 0;
    else if (kind == '(' && group == 's' && letter == 'S')
        m_italic = value == 1;
    else if (kind == '(' && group == 's' && letter == 'H')
        m_pitch = value >= 19   ? Pitch::CondensedElite
                  : value >= 16 ? Pitch::CondensedPica
                  : value >= 14 ? Pitch::Fifteen
                  : value >= 11 ? Pitch::Elite
                                : Pitch::Pica;
}

} // namespace EscP
