#include "text/EscP.h"

#include "text/Eject.h"
#include "text/EscPInterpreter.h"
#include "text/PrinterCommands.h"

namespace EscP {
namespace {
using PrinterCommands::kEsc;
constexpr char kBs = 0x08, kTab = 0x09, kLf = 0x0A, kVt = 0x0B, kFf = 0x0C, kCr = 0x0D, kSo = 0x0E,
               kSi = 0x0F, kDc2 = 0x12, kDc4 = 0x14, kCan = 0x18;
constexpr int kPage = 66 * kUnitsPerInch / 6;
using PrinterCommands::kUel;

bool isPrintable(char c)
{
    return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
}
} // namespace

Interpreter::Interpreter(bool pcl, PageSink sink, const Options& options)
    : m_pcl(pcl), m_sink(std::move(sink)),
      m_formLength(options.formLines > 0 ? std::min(options.formLines, kMostFormLines) * kUnitsPerInch / 6
                                         : kPage),
      m_pins(options.pins == 24 ? 24 : 9)
{
    reset();
}

void Interpreter::reset()
{
    m_bold = m_doubleStrike = m_italic = m_underline = false;
    m_condensed = m_doubleWidth = m_doubleWidthLine = m_proportional = m_doubleHeight = false;
    m_script = Script::Normal;
    m_pitch = Pitch::Pica;
    m_tables = {};
    m_spacing = kFinePerInch / 6;
    m_page.length = m_pageLength = m_formLength;
    m_leftMargin = m_rightMargin = m_extraSpace = m_justify = m_skip = m_unit = 0;
    m_tabsSet = false;
    m_tabs.clear();
    m_verticalTabs.clear(); // the head stays where it is: text after ESC @ follows the line's
}

RunStyle Interpreter::style() const
{
    RunStyle s;
    s.bold = m_bold || m_doubleStrike;
    s.italic = m_italic;
    s.underline = m_underline;
    s.doubleWidth = m_doubleWidth || m_doubleWidthLine;
    s.heightFactor = m_doubleHeight ? 2 : 1;
    s.script = m_script;
    s.proportional = m_proportional;
    s.pitch = m_pitch;
    if (m_condensed && m_pitch != Pitch::Fifteen) // condensed 15 cpi does not exist: it stays at 15
        s.pitch = m_pitch == Pitch::Elite ? Pitch::CondensedElite : Pitch::CondensedPica;
    m_tables.stamp(s);
    return s;
}

int Interpreter::characterWidth(const RunStyle& s)
{
    return qRound(kUnitsPerInch / charactersPerInch(s.pitch)) * (s.doubleWidth ? 2 : 1);
}

void Interpreter::appendRun(const RunStyle& s)
{
    const qreal x = qreal(m_headX) * 10 / kUnitsPerInch;
    if (!m_line.runs.isEmpty() && m_line.runs.last().style == s && m_extraSpace == 0 &&
        qAbs(m_line.runs.last().end() - x) < 1e-6)
        return;
    m_line.runs.append({s, {}, x});
}

// A stretch of printable characters of one style, wrapped at the right margin as the printer
// does: a carriage return and a line feed before the character that would pass it.
void Interpreter::printable(QByteArrayView chars, const RunStyle& s)
{
    const int width = characterWidth(s);
    while (!chars.isEmpty()) {
        qsizetype fit = chars.size();
        if (m_rightMargin > 0) {
            if (m_headX + width > m_rightMargin && m_headX > m_leftMargin)
                endLine(m_spacing);
            fit = std::clamp<qsizetype>((m_rightMargin - m_headX) / (width + m_extraSpace), 1, chars.size());
        }
        if (m_extraSpace > 0)
            fit = 1; // each character in a cell of its own, the space after it left blank
        appendRun(s);
        m_line.runs.last().text.append(chars.first(fit));
        m_headX += int(fit) * (width + m_extraSpace);
        chars = chars.sliced(fit);
    }
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
    m_headX -= characterWidth(s) + m_extraSpace;
    // A letter and an accent: the accented letter, or both drawn in the one cell.
    if (const AccentedCell accented = accentedCell(previous, next, s); accented.pair) {
        printable(QByteArrayView(&accented.byte, 1), accented.style);
        if (!accented.composed)
            m_line.runs.append({s, QByteArray(1, next), m_line.runs.last().end() - s.picaCells(1)});
        return;
    }
    if (next == previous)
        s.bold = true;
    else if (previous == '_' || next == '_')
        s.underline = true;
    appendRun(s);
    m_line.runs.last().text.append(next == '_' ? previous : next);
    m_headX += characterWidth(s) + m_extraSpace;
}

// BS steps the head back a character. Right after a character, the one that follows is struck
// over it; anywhere else it only moves the head.
void Interpreter::backspace(QByteArrayView file, qsizetype& i)
{
    const bool afterCharacter = !m_line.runs.isEmpty() && !m_line.runs.last().text.isEmpty() &&
                                qRound(m_line.runs.last().end() * kUnitsPerInch / 10) == m_headX;
    if (afterCharacter && i + 1 < file.size() && isPrintable(file[i + 1]))
        overstrike(file[++i]);
    else
        moveHeadBy(-(characterWidth(style()) + m_extraSpace));
}

void Interpreter::endLine(int advance, bool keepHead)
{
    justify();
    advance = std::max(advance, -m_position);
    m_barcodes.feed(std::move(m_line), lineY(), (m_position + advance) / kFinePerUnit - lineY(),
                    m_page.lines);
    m_line = {};
    m_doubleWidthLine = false;
    m_position += advance;
    if (!keepHead)
        m_headX = m_leftMargin;
    const int length = m_page.length * kFinePerUnit;
    if (m_position >= length || (m_skip > 0 && advance > 0 && m_position >= length - m_skip))
        closePage(false);
}

void Interpreter::closePage(bool formFeed)
{
    m_page.formFeed = formFeed;
    m_barcodes.endPage(m_page, lineY());
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
    m_headX = m_leftMargin;
    if (!m_page.lines.isEmpty() || m_blankPageCounts)
        closePage(true);
}

void Interpreter::text(QByteArrayView file, qsizetype& i)
{
    const char c = file[i];
    if (c == kBs) {
        backspace(file, i);
    } else if (c == kTab) {
        horizontalTab();
    } else if (const auto u = static_cast<unsigned char>(c);
               m_tables.printsControl(u) || (isPrintable(c) && !m_tables.passesBytes())) {
        RunStyle s = style();
        if (const int b = m_tables.place(u, s); b >= 0) {
            const char placed = char(b);
            printable(QByteArrayView(&placed, 1), s);
        }
    } else if (isPrintable(c)) {
        // A stretch of printable characters shares one style: take it whole.
        qsizetype end = i + 1;
        while (end < file.size() && isPrintable(file[end]))
            ++end;
        printable(file.sliced(i, end - i), style());
        i = end - 1;
    }
}

PrintedDocument Interpreter::run(QByteArrayView file)
{
    qsizetype i = 0;
    for (; i < file.size(); ++i) {
        const char c = file[i];
        if (m_pcl && file.sliced(i).startsWith("@PJL") &&
            (m_line.runs.isEmpty() || file.first(i).endsWith(kUel))) {
            // job-control lines around a PCL job are for the printer, not the page
            const qsizetype end = file.indexOf('\n', i);
            i = end < 0 ? file.size() : end;
        } else if (c == kEsc) {
            const QByteArrayView rest = file.sliced(i);
            qsizetype dataAt = 0;
            const qsizetype length =
                m_pcl ? PrinterCommands::pclLength(
                            rest, [this](char k, char g, double v, char l) { pcl(k, g, v, l); }, &dataAt)
                      : PrinterCommands::escPLength(rest, m_pins);
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
        } else if (c == kCr) {
            // The carriage goes back on the same line: what follows prints over it. Only a line
            // feed moves the paper (an Epson's automatic line feed is off unless set by switch).
            m_headX = m_leftMargin;
        } else if (c == kLf) {
            endLine(m_spacing);
        } else if (c == kVt) {
            verticalTab();
        } else if (c == kFf || skipEjectLine(file, i)) { // an "eject" line breaks the page too
            formFeed();
        } else if (c == kCan) {
            m_line.runs.clear();
            m_headX = m_leftMargin;
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

} // namespace EscP

PrintedDocument EscP::interpret(QByteArrayView file)
{
    return Interpreter(isPcl(file), {}, Options()).run(file);
}

PrintedDocument EscP::interpret(QByteArrayView file, const PageSink& page, const Options& options)
{
    return Interpreter(isPcl(file), page, options).run(file);
}

PrintedDocument EscP::interpret(QByteArrayView file, const PageSink& page, int lines)
{
    Options options;
    options.formLines = lines;
    return interpret(file, page, options);
}
