#include "text/EscP.h"

#include "text/CharacterTables.h"
#include "text/EscPBarcode.h"
#include "text/PrinterCommands.h"

namespace {
using PrinterCommands::kEsc;

constexpr char kBs = 0x08, kTab = 0x09, kLf = 0x0A, kFf = 0x0C, kCr = 0x0D, kSo = 0x0E, kSi = 0x0F;
constexpr char kDc2 = 0x12, kDc4 = 0x14;

constexpr int kLine = kUnitsPerInch / 6;
constexpr int kPage = 66 * kLine;
using PrinterCommands::kUel;

/// The printer's state while it reads the file, and the pages printed so far.
class Interpreter
{
public:
    explicit Interpreter(bool pcl, EscP::PageSink sink = {}, int formLength = kPage)
        : m_pcl(pcl), m_sink(std::move(sink)), m_formLength(formLength)
    {
        m_page.length = m_pageLength = formLength;
    }
    PrintedDocument run(QByteArrayView file);

private:
    void reset();
    RunStyle style() const;
    /// Makes the line's last run one of style @p s, starting where the one before ends.
    void appendRun(const RunStyle& s);
    void put(char c, const RunStyle& s);
    void text(QByteArrayView file, qsizetype& i);
    void overstrike(char next);
    void endLine(int advance);
    void formFeed();
    void closePage(bool formFeed);
    void escP(QByteArrayView cmd);
    void controlSequence(QByteArrayView cmd);
    void pcl(char kind, char group, double value, char letter);
    bool flag(char n) const { return n == 1 || n == '1'; }

    bool m_pcl;
    EscP::PageSink m_sink; ///< takes each page as it is closed instead of the document
    int m_formLength;      ///< the form length the printer starts with and ESC @ brings back
    PrintedDocument m_doc;
    PrintedPage m_page;
    PrintedLine m_line;
    qsizetype m_column = 0; ///< characters on the line so far
    int m_position = 0;     ///< where the line is on the page, 1/360 inch
    bool m_blankPageCounts = false;
    // Printer state: ESC @ brings it back.
    bool m_bold = false, m_doubleStrike = false, m_italic = false, m_underline = false;
    bool m_condensed = false, m_doubleWidth = false, m_doubleWidthLine = false;
    Pitch m_pitch = Pitch::Pica;
    CharacterTables m_tables;
    int m_spacing = kLine;
    int m_pageLength = kPage;
    BarcodePrinter m_barcodes;
};

void Interpreter::reset()
{
    m_bold = m_doubleStrike = m_italic = m_underline = false;
    m_condensed = m_doubleWidth = m_doubleWidthLine = false;
    m_pitch = Pitch::Pica;
    m_tables = {};
    m_spacing = kLine;
    m_page.length = m_pageLength = m_formLength;
}

RunStyle Interpreter::style() const
{
    RunStyle s;
    s.bold = m_bold || m_doubleStrike;
    s.italic = m_italic;
    s.underline = m_underline;
    s.doubleWidth = m_doubleWidth || m_doubleWidthLine;
    s.pitch = m_pitch;
    if (m_condensed && m_pitch != Pitch::Fifteen) // condensed 15 cpi does not exist: it stays at 15
        s.pitch = m_pitch == Pitch::Elite ? Pitch::CondensedElite : Pitch::CondensedPica;
    m_tables.stamp(s);
    return s;
}

void Interpreter::appendRun(const RunStyle& s)
{
    if (!m_line.runs.isEmpty() && m_line.runs.last().style == s)
        return;
    const qreal x = m_line.runs.isEmpty() ? 0 : m_line.runs.last().end();
    m_line.runs.append({s, {}, x});
}

void Interpreter::put(char c, const RunStyle& s)
{
    appendRun(s);
    m_line.runs.last().text.append(c);
    ++m_column;
}

// Typewriter-style overstrike: X BS X is a bold X, _ BS X and X BS _ an underlined X.
void Interpreter::overstrike(char next)
{
    StyledRun& last = m_line.runs.last();
    const char previous = last.text.back();
    RunStyle s = last.style;
    last.text.chop(1);
    if (last.text.isEmpty())
        m_line.runs.removeLast();
    --m_column;
    // A letter and an accent: the accented letter, or both drawn in the one cell.
    if (const AccentedCell accented = accentedCell(previous, next, s); accented.pair) {
        put(accented.byte, accented.style);
        if (!accented.composed)
            m_line.runs.append({s, QByteArray(1, next), m_line.runs.last().end() - s.picaCells(1)});
        return;
    }
    if (next == previous)
        s.bold = true;
    else if (previous == '_' || next == '_')
        s.underline = true;
    put(next == '_' ? previous : next, s);
}

void Interpreter::endLine(int advance)
{
    m_barcodes.feed(std::move(m_line), m_position, advance, m_page.lines);
    m_line = {};
    m_column = 0;
    m_doubleWidthLine = false;
    m_position += advance;
    if (m_position >= m_page.length)
        closePage(false);
}

void Interpreter::closePage(bool formFeed)
{
    m_page.formFeed = formFeed;
    m_barcodes.endPage(m_page, m_position);
    if (m_sink)
        m_sink(std::move(m_page));
    else
        m_doc.pages.append(std::move(m_page));
    m_page = {};
    m_page.length = m_pageLength;
    m_position = 0;
    m_blankPageCounts = formFeed;
}

// A form feed at the top of a page the previous one overflowed into (or of the first page) feeds
// nothing, so that a report ending each full page with one, or starting with one, has no blank pages.
void Interpreter::formFeed()
{
    if (!m_line.runs.isEmpty())
        endLine(m_spacing);
    if (!m_page.lines.isEmpty() || m_blankPageCounts)
        closePage(true);
}

void Interpreter::text(QByteArrayView file, qsizetype& i)
{
    const char c = file[i];
    const auto u = static_cast<unsigned char>(c);
    if (c == kBs) {
        if (!m_line.runs.isEmpty() && !m_line.runs.last().text.isEmpty() && i + 1 < file.size() &&
            static_cast<unsigned char>(file[i + 1]) >= 0x20 && file[i + 1] != 0x7F)
            overstrike(file[++i]);
    } else if (c == kTab) {
        const RunStyle s = style();
        do
            put(' ', s);
        while (m_column % 8 != 0);
    } else if (m_tables.printsControl(u) || (u >= 0x20 && u != 0x7F && !m_tables.passesBytes())) {
        RunStyle s = style();
        if (const int b = m_tables.place(u, s); b >= 0)
            put(char(b), s);
    } else if (u >= 0x20 && u != 0x7F) {
        // A stretch of printable characters shares one style: take it whole.
        qsizetype end = i + 1;
        while (end < file.size() && static_cast<unsigned char>(file[end]) >= 0x20 && file[end] != 0x7F)
            ++end;
        appendRun(style());
        m_line.runs.last().text.append(file.sliced(i, end - i));
        m_column += end - i;
        i = end - 1;
    }
}

PrintedDocument Interpreter::run(QByteArrayView file)
{
    qsizetype i = 0;
    for (; i < file.size(); ++i) {
        const char c = file[i];
        if (m_pcl && file.sliced(i).startsWith("@PJL") && (m_column == 0 || file.first(i).endsWith(kUel))) {
            // job-control lines around a PCL job are for the printer, not the page
            const qsizetype end = file.indexOf('\n', i);
            i = end < 0 ? file.size() : end;
        } else if (c == kEsc) {
            const QByteArrayView rest = file.sliced(i);
            qsizetype dataAt = 0;
            const qsizetype length =
                m_pcl ? PrinterCommands::pclLength(
                            rest, [this](char k, char g, double v, char l) { pcl(k, g, v, l); }, &dataAt)
                      : PrinterCommands::escPLength(rest);
            if (length == 0 || length > rest.size()) {
                // The file ends inside the command. The data it would take past the end (a bit
                // image whose count was written wrong, say) is most likely the report itself:
                // it prints as text, and is told. A command cut short in its parameters ends
                // the file.
                qsizetype head = rest.size();
                if (m_pcl && dataAt > 0)
                    head = dataAt;
                else if (!m_pcl && length > rest.size())
                    head = PrinterCommands::escPDataStart(rest);
                if (head < rest.size() && m_doc.cutShortAt < 0)
                    m_doc.cutShortAt = i;
                i += head - 1;
                continue;
            }
            if (!m_pcl)
                escP(rest.first(length));
            i += length - 1;
        } else if (c == kCr || c == kLf) {
            if (c == kCr && i + 1 < file.size() && file[i + 1] == kLf)
                ++i;
            endLine(m_spacing);
        } else if (c == kFf) {
            formFeed();
        } else if (c == kSi) {
            m_condensed = true;
        } else if (c == kDc2) {
            m_condensed = false;
        } else if (c == kSo) {
            m_doubleWidthLine = true;
        } else if (c == kDc4) {
            m_doubleWidthLine = false;
        } else {
            text(file, i);
        }
    }
    if (!m_line.runs.isEmpty())
        endLine(m_spacing);
    if (!m_page.lines.isEmpty())
        closePage(false);
    return std::move(m_doc);
}

void Interpreter::escP(QByteArrayView cmd)
{
    if (m_tables.command(cmd) || m_barcodes.command(cmd, m_line, m_position, style(), m_page))
        return;
    const auto n = cmd.size() > 2 ? static_cast<unsigned char>(cmd[2]) : 0;
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
        if (flag(n) || n == 0 || n == '0')
            m_underline = flag(n);
        break;
    case 'W':
        if (flag(n) || n == 0 || n == '0')
            m_doubleWidth = flag(n);
        break;
    case '!':
        m_pitch = (n & 0x01) ? Pitch::Elite : Pitch::Pica;
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
    case kSi:
        m_condensed = true;
        break;
    case kSo:
        m_doubleWidthLine = true;
        break;
    // Line spacing as the 24-pin printers of ESC/P 2 read it: ESC 3 in 1/180 inch and ESC A in
    // 1/60. The 9-pin printers read 1/216 and 1/72; DOS programs of that time mostly set the
    // 1/6 and 1/8 inch spacings with ESC 2 and ESC 0, which both families agree on.
    case '0':
        m_spacing = kUnitsPerInch / 8;
        break;
    case '2':
        m_spacing = kLine;
        break;
    case '1':
        m_spacing = 7 * kUnitsPerInch / 72;
        break;
    case '3':
        m_spacing = n * 2;
        break;
    case 'A':
        m_spacing = n * 6;
        break;
    case '+':
        m_spacing = n;
        break;
    case 'C': {
        const int length =
            cmd.size() == 4 ? static_cast<unsigned char>(cmd[3]) * kUnitsPerInch : n * m_spacing;
        if (length > 0)
            m_page.length = m_pageLength = length;
        break;
    }
    case 'J': { // a feed without a carriage return: the next line starts where this one stopped
        const qsizetype column = m_column;
        endLine(n * 2);
        if (column > 0)
            m_line.runs.append({RunStyle{}, QByteArray(column, ' ')});
        m_column = column;
        break;
    }
    case '[':
        controlSequence(cmd);
        break;
    default:
        break; // graphics, tabs, character sets, margins: nothing the text shows
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
} // namespace

PrintedDocument EscP::interpret(QByteArrayView file)
{
    return Interpreter(isPcl(file)).run(file);
}

PrintedDocument EscP::interpret(QByteArrayView file, const PageSink& page, int lines)
{
    const int form = lines > 0 ? std::min(lines, kMostFormLines) * kLine : kPage;
    return Interpreter(isPcl(file), page, form).run(file);
}
