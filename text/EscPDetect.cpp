#include "text/EscP.h"

#include "text/PrinterCommands.h"

#include <cstring>

namespace {

/// The bytes that tell a file was written for a printer: ESC, SI, SO, DC2 and DC4.
bool isCodeByte(char c)
{
    return c == PrinterCommands::kEsc || c == 0x0F || c == 0x0E || c == 0x12 || c == 0x14;
}

} // namespace

bool EscP::carriesPrinterCodes(QByteArrayView file)
{
    // Every code is a control byte: eight bytes at a time, words without one are passed over
    // (a byte below 0x20 borrows into its top bit). Line ends make most lines look once.
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    const char* p = file.data();
    const qsizetype n = file.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, p + i, sizeof word);
        if (((word - 0x20 * kOnes) & ~word & 0x80 * kOnes) == 0)
            continue;
        for (qsizetype k = i; k < i + 8; ++k) {
            if (isCodeByte(p[k]))
                return true;
        }
    }
    for (; i < n; ++i) {
        if (isCodeByte(p[i]))
            return true;
    }
    return false;
}

bool EscP::isPcl(QByteArrayView file)
{
    const QByteArrayView reset("\x1b"
                               "E",
                               2); // ESC E, the printer reset a PCL job begins with; bold in ESC/P
    const qsizetype at = file.startsWith(PrinterCommands::kUel) ? file.indexOf(reset) : 0;
    if (at < 0 || file.size() < at + 5 || file.sliced(at, 2) != reset ||
        file[at + 2] != PrinterCommands::kEsc)
        return false;
    // Then a command ESC/P has not: ESC & or ESC * with a group letter (ESC/P's ESC & takes a
    // NUL, its ESC * a bit-image mode), or ESC ( with a symbol set such as 10U or a font
    // attribute (ESC/P 2's ESC ( takes a letter and a byte count).
    const auto isLower = [](char c) { return c >= 'a' && c <= 'z'; };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const char kind = file[at + 3], next = file[at + 4];
    if (kind == '&' || kind == '*')
        return isLower(next);
    if (kind != '(')
        return false;
    qsizetype i = at + 4 + (next == 's' ? 1 : 0);
    const qsizetype digits = i;
    while (i < file.size() && (isDigit(file[i]) || file[i] == '.'))
        ++i;
    return i > digits && i < file.size() && ((file[i] >= 'A' && file[i] <= 'Z') || isLower(file[i]));
}
