#include "text/EscPBarcode.h"

#include "text/Barcode.h"

#include <algorithm>

namespace {
constexpr int kPicaCell = kUnitsPerInch / 10;
// POSTNET has its own measures whatever the command says: bars of 1/50 inch, 22 a inch, tall
// ones 1/8 inch and short ones 1/20.
constexpr int kPostnetBar = 7, kPostnetPitch = 16, kPostnetTall = 45, kPostnetShort = 18;

/// The widest pitch the human-readable line fits under the bars in, so that it reads as one.
RunStyle captionStyle(qsizetype characters, int width)
{
    RunStyle s;
    for (Pitch p : {Pitch::Pica, Pitch::Elite, Pitch::Fifteen, Pitch::CondensedPica, Pitch::CondensedElite}) {
        s.pitch = p;
        if (s.picaCells(characters) * kPicaCell <= width)
            break;
    }
    return s;
}
} // namespace

int BarcodePrinter::print(QByteArrayView params, int x, int y, int moduleDotsPerInch, PrintedPage& page)
{
    if (params.size() < 6 || moduleDotsPerInch <= 0)
        return 0;
    const auto kind = static_cast<unsigned char>(params[0]);
    const int module =
        std::clamp<int>(static_cast<unsigned char>(params[1]), 2, 5) * kUnitsPerInch / moduleDotsPerInch;
    const int spaceAdjust = static_cast<signed char>(params[2]);
    const int height =
        (static_cast<unsigned char>(params[3]) + 256 * static_cast<unsigned char>(params[4])) * 2;
    const auto control = static_cast<unsigned char>(params[5]);
    if (kind > quint8(Barcode::Kind::Postnet))
        return 0;
    const Barcode::Symbol symbol = Barcode::encode(Barcode::Kind(kind), params.sliced(6), control & 0x01);
    if (symbol.isEmpty())
        return 0;

    const bool postnet = !symbol.shortBars.isEmpty();
    int at = x;
    for (qsizetype i = 0; i < symbol.widths.size(); ++i) {
        if (postnet) {
            const int bar = symbol.shortBars[i / 2] ? kPostnetShort : kPostnetTall;
            if (i % 2 == 0)
                page.rules.append(PageRule{at, y + kPostnetTall - bar, kPostnetBar, bar});
            at += i % 2 == 0 ? kPostnetBar : kPostnetPitch - kPostnetBar;
            continue;
        }
        const int width = symbol.widths[i] * module + (i % 2 ? spaceAdjust : 0);
        if (i % 2 == 0)
            page.rules.append(PageRule{at, y, width, height});
        at += std::max(1, width);
    }
    const int width = at - x;
    if (!(control & 0x02) && !symbol.text.isEmpty()) {
        StyledRun run{captionStyle(symbol.text.size(), width), symbol.text};
        run.x = (x + width / 2.0) / kPicaCell - run.style.picaCells(run.text.size()) / 2;
        const Caption caption{y + height, run};
        auto place = std::upper_bound(m_captions.begin(), m_captions.end(), caption.y,
                                      [](int y, const Caption& c) { return y < c.y; });
        m_captions.insert(place, caption);
    }
    return width;
}

void BarcodePrinter::endPage(PrintedPage& page, int y)
{
    int last = -1;
    for (const Caption& caption : m_captions) {
        if (caption.y < page.length)
            last = caption.y;
    }
    if (last >= y)
        feed(PrintedLine{}, y, last + 1 - y, page.lines);
    m_captions.clear();
}

void BarcodePrinter::feed(PrintedLine&& line, int y, int advance, QList<PrintedLine>& lines)
{
    const int end = y + advance;
    while (!m_captions.isEmpty() && m_captions.first().y < end) {
        const Caption caption = m_captions.takeFirst();
        if (caption.y <= y) { // on this very line
            line.runs.append(caption.run);
            continue;
        }
        line.advance = caption.y - y;
        lines.append(std::move(line));
        line = PrintedLine{{caption.run}, 0};
        y = caption.y;
    }
    line.advance = end - y;
    lines.append(std::move(line));
}
