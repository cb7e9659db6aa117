#include "text/CharacterTables.h"

#include <algorithm>
#include <cstring>

namespace {
using CodePage::Encoding;

// The 12 places of ASCII a national set prints differently, and what the sets of ESC R put there.
constexpr char kNationalPlaces[] = "#$@[\\]^`{|}~";
constexpr char16_t kNationalSets[15][12] = {
    {'#', '$', '@', '[', '\\', ']', '^', '`', '{', '|', '}', '~'},           // 0 USA
    {'#', '$', u'à', u'°', u'ç', u'§', '^', '`', u'é', u'ù', u'è', u'¨'},    // 1 France
    {'#', '$', u'§', u'Ä', u'Ö', u'Ü', '^', '`', u'ä', u'ö', u'ü', u'ß'},    // 2 Germany
    {u'£', '$', '@', '[', '\\', ']', '^', '`', '{', '|', '}', '~'},          // 3 UK
    {'#', '$', '@', u'Æ', u'Ø', u'Å', '^', '`', u'æ', u'ø', u'å', '~'},      // 4 Denmark I
    {'#', u'¤', u'É', u'Ä', u'Ö', u'Å', u'Ü', u'é', u'ä', u'ö', u'å', u'ü'}, // 5 Sweden
    {'#', '$', '@', u'°', '\\', u'é', '^', u'ù', u'à', u'ò', u'è', u'ì'},    // 6 Italy
    {u'₧', '$', '@', u'¡', u'Ñ', u'¿', '^', '`', u'¨', u'ñ', '}', '~'},      // 7 Spain I
    {'#', '$', '@', '[', u'¥', ']', '^', '`', '{', '|', '}', '~'},           // 8 Japan
    {'#', u'¤', u'É', u'Æ', u'Ø', u'Å', u'Ü', u'é', u'æ', u'ø', u'å', u'ü'}, // 9 Norway
    {'#', '$', u'É', u'Æ', u'Ø', u'Å', u'Ü', u'é', u'æ', u'ø', u'å', u'ü'},  // 10 Denmark II
    {'#', '$', u'á', u'¡', u'Ñ', u'¿', u'é', '`', u'í', u'ñ', u'ó', u'ú'},   // 11 Spain II
    {'#', '$', u'á', u'¡', u'Ñ', u'¿', u'é', u'ü', u'í', u'ñ', u'ó', u'ú'},  // 12 Latin America
    {'#', '$', '@', '[', u'₩', ']', '^', '`', '{', '|', '}', '~'},           // 13 Korea
    {'#', '$', u'§', u'°', u'\'', u'"', u'¶', '`', u'©', u'®', u'†', u'™'},  // 64 Legal
};

/// The row of kNationalSets of an ESC R value; -1 for values no set has.
int nationalRow(int n)
{
    return n >= 0 && n <= 13 ? n : n == 64 ? 14 : -1;
}

char16_t national(char16_t ch, quint8 set)
{
    if (set == 0 || ch >= 0x80)
        return ch;
    const char* place = std::strchr(kNationalPlaces, char(ch));
    return ch != 0 && place ? kNationalSets[nationalRow(set)][place - kNationalPlaces] : ch;
}

// What the DOS code pages print for the control codes 0x00..0x1F when ESC I 1 lets them print.
constexpr char16_t kControlGlyphs[32] = {' ',    0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
                                         0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
                                         0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
                                         0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC};

/// The table of an ESC ( t assignment: Epson's two-byte ids of the code pages read here.
std::optional<Encoding> assignedTable(unsigned char id, unsigned char variant)
{
    struct Id
    {
        unsigned char id, variant;
        Encoding encoding;
    };
    constexpr Id ids[] = {
        {0, 0, Encoding::EpsonItalic}, {1, 0, Encoding::Cp437},    {3, 0, Encoding::Cp850},
        {7, 0, Encoding::Cp860},       {8, 0, Encoding::Cp863},    {9, 0, Encoding::Cp865},
        {25, 0, Encoding::Brascii},    {26, 0, Encoding::Abicomp}, {29, 16, Encoding::Latin1}};
    for (const Id& i : ids) {
        if (i.id == id && i.variant == variant)
            return i.encoding;
    }
    return std::nullopt;
}

/// A table number of ESC t and ESC ( t: 0..3 or the digits "0".."3"; -1 otherwise.
int tableNumber(unsigned char n)
{
    if (n >= '0' && n <= '3')
        return n - '0';
    return n <= 3 ? n : -1;
}

/// The combining mark of an accent struck over a letter; 0 for a character that is none.
char16_t markOf(char16_t accent)
{
    switch (accent) {
    case '~':
    case 0x02DC:
        return 0x0303;
    case '^':
    case 0x02C6:
        return 0x0302;
    case '`':
        return 0x0300;
    case '\'':
    case 0x00B4:
        return 0x0301;
    case ',':
    case 0x00B8:
        return 0x0327;
    case '"':
    case 0x00A8:
        return 0x0308;
    default:
        return 0;
    }
}
} // namespace

bool CharacterTables::command(QByteArrayView cmd)
{
    if (cmd.size() < 2)
        return false;
    const auto n = cmd.size() > 2 ? static_cast<unsigned char>(cmd[2]) : 0;
    switch (cmd[1]) {
    case 't':
        if (tableNumber(n) >= 0)
            m_selected = tableNumber(n);
        return true;
    case 'R':
        if (nationalRow(n) >= 0)
            m_national = quint8(n);
        return true;
    case '6':
        m_upperControls = false;
        return true;
    case '7':
        m_upperControls = true;
        return true;
    case 'I':
        if (n <= 1 || n == '0' || n == '1')
            m_printControls = n == 1 || n == '1';
        return true;
    case '(':
        // ESC ( t 3 0 d1 d2 d3: table d1 is the code page of id d2, d3
        if (cmd.size() >= 8 && cmd[2] == 't') {
            const int table = tableNumber(static_cast<unsigned char>(cmd[5]));
            const auto assigned =
                assignedTable(static_cast<unsigned char>(cmd[6]), static_cast<unsigned char>(cmd[7]));
            if (table >= 0 && assigned)
                m_assigned[size_t(table)] = *assigned;
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool CharacterTables::italic() const
{
    return m_selected >= 0 && m_assigned[size_t(m_selected)] == Encoding::EpsonItalic;
}

void CharacterTables::stamp(RunStyle& style) const
{
    if (m_selected >= 0)
        style.table = m_assigned[size_t(m_selected)];
    style.national = m_national;
}

int CharacterTables::place(unsigned char byte, RunStyle& style) const
{
    // 0x80..0x9F are control codes under ESC 7, and always in the italic table, which has no
    // characters there.
    if (byte >= 0x80 && byte < 0xA0 && (m_upperControls || italic()))
        return -1;
    if (italic() && byte >= 0xA0) {
        style.italic = true;
        return byte == 0xFF ? -1 : byte - 0x80;
    }
    return byte;
}

bool CharacterTables::printsControl(unsigned char byte) const
{
    // Codes 0..6, 16, 17, 21..23, 25, 26 and 28..31: those no printer command uses.
    constexpr quint32 kPrintable = 0x7F | 1u << 16 | 1u << 17 | 7u << 21 | 3u << 25 | 0xFu << 28;
    return m_printControls && !italic() && byte < 0x20 && (kPrintable >> byte & 1);
}

QString runText(const StyledRun& run, CodePage::Encoding document)
{
    QString text = CodePage::decode(run.text, run.style.table.value_or(document));
    if (run.style.national == 0 &&
        !std::any_of(run.text.begin(), run.text.end(), [](char b) { return uchar(b) < 0x20; }))
        return text;
    for (QChar& ch : text) {
        if (ch.unicode() < 0x20)
            ch = QChar(kControlGlyphs[ch.unicode()]);
        else
            ch = QChar(national(ch.unicode(), run.style.national));
    }
    return text;
}

char16_t characterOf(char byte, const RunStyle& style)
{
    if (!style.table && uchar(byte) >= 0x80)
        return 0;
    const QString ch = CodePage::decode(QByteArrayView(&byte, 1), style.table.value_or(Encoding::Latin1));
    return ch.size() == 1 ? national(ch[0].unicode(), style.national) : 0;
}

AccentedCell accentedCell(char previous, char next, const RunStyle& style)
{
    AccentedCell cell;
    char16_t letter = characterOf(previous, style);
    char16_t mark = markOf(characterOf(next, style));
    if (mark == 0 || !QChar::isLetter(letter)) {
        letter = characterOf(next, style);
        mark = markOf(characterOf(previous, style));
    }
    if (mark == 0 || !QChar::isLetter(letter))
        return cell;
    cell.pair = true;
    cell.byte = previous;
    cell.style = style;
    const QString composed = (QString(QChar(letter)) + QChar(mark)).normalized(QString::NormalizationForm_C);
    if (composed.size() != 1 || composed[0].unicode() > 0xFF)
        return cell;
    cell.composed = true;
    const std::optional<char> inTable =
        style.table ? CodePage::byteOf(composed[0].unicode(), *style.table) : std::nullopt;
    if (inTable) {
        cell.byte = *inTable;
    } else {
        // The document's code page is not known here: a cell of ISO 8859-1 holds the letter.
        cell.style.table = Encoding::Latin1;
        cell.byte = char(composed[0].unicode());
    }
    return cell;
}
