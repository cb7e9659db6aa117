#include "text/PrinterCommands.h"

#include <algorithm>
#include <cstring>

namespace {
qsizetype dataCount(QByteArrayView b, qsizetype at)
{
    return static_cast<unsigned char>(b[at]) + 256 * static_cast<unsigned char>(b[at + 1]);
}

/// A tab-stop command: ascending values up to a NUL. A value not above the one before it also ends
/// the command (and is not part of it), as does the last stop the printer can hold.
qsizetype tabStops(QByteArrayView b, qsizetype most)
{
    const qsizetype end = std::min<qsizetype>(b.size(), 2 + most + 1);
    for (qsizetype i = 2; i < end; ++i) {
        if (b[i] == 0)
            return i + 1;
        if (i > 2 && static_cast<unsigned char>(b[i]) <= static_cast<unsigned char>(b[i - 1]))
            return i;
    }
    return b.size() > 2 + most ? 2 + most : 0;
}

qsizetype controlSequence(QByteArrayView b)
{
    constexpr qsizetype kLongest = 64;
    for (qsizetype i = 2; i < b.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(b[i]);
        if (c >= 0x40 && c <= 0x7E)
            return i + 1;
        if (c < 0x20 || c > 0x3F)
            return i; // not a sequence after all: the stray byte is the file's again
    }
    return b.size() >= kLongest ? kLongest : 0;
}

int parameterCount(char c)
{
    // One byte: ESC EM n (the sheet feeder) too.
    if (c != 0 && (c == 0x19 || std::strchr("-W!3AJxktRNlQpUwSIa/rsjiqmh +%", c)))
        return 1;
    if (c != 0 && std::strchr("ef$\\c?", c))
        return 2;
    return c == 'X' || c == ':' ? 3 : 0;
}

/// ESC & NUL n m: user-defined characters n to m, each an attribute byte and 11 columns on a
/// 9-pin printer, three bytes (left space, width a1, right space) and a1 columns of 3 bytes on a
/// 24-pin one.
qsizetype userCharacters(QByteArrayView b, int pins)
{
    if (b.size() < 5)
        return 0;
    const int first = static_cast<unsigned char>(b[3]), last = static_cast<unsigned char>(b[4]);
    qsizetype at = 5;
    for (int c = first; c <= last; ++c) {
        if (pins != 24) {
            at += 12;
            continue;
        }
        if (b.size() < at + 3)
            return 0;
        at += 3 + 3 * static_cast<unsigned char>(b[at + 1]);
    }
    return at;
}

/// ESC . c v h m nL nH: m rows of n dots of raster, as bytes (c = 0) or run-length coded (c = 1):
/// a count byte below 128 is that many plus one bytes as they are, 128 and above the next byte
/// repeated 257 minus the count times. Other modes carry their data as commands of their own.
qsizetype raster(QByteArrayView b)
{
    if (b.size() < 8)
        return 0;
    const qsizetype bytes = static_cast<unsigned char>(b[5]) * ((dataCount(b, 6) + 7) / 8);
    if (b[2] == 0)
        return 8 + bytes;
    if (b[2] != 1)
        return 8;
    qsizetype at = 8, decoded = 0;
    while (decoded < bytes) {
        if (at >= b.size())
            return 0;
        const int count = static_cast<unsigned char>(b[at]);
        decoded += count < 128 ? count + 1 : 257 - count;
        at += count < 128 ? count + 2 : 2;
    }
    return at;
}
} // namespace

qsizetype PrinterCommands::escPLength(QByteArrayView b, int pins)
{
    if (b.size() < 2)
        return 0;
    const char c = b[1];
    switch (c) {
    case 'K':
    case 'L':
    case 'Y':
    case 'Z':
        return b.size() < 4 ? 0 : 4 + dataCount(b, 2);
    case '*': {
        if (b.size() < 5)
            return 0;
        // 8-dot modes take one byte a column, 24-dot modes three, the 48-dot modes of ESC/P 2 six.
        const auto m = static_cast<unsigned char>(b[2]);
        return 5 + dataCount(b, 3) * (m >= 64 ? 6 : m >= 32 ? 3 : 1);
    }
    case '^': // 9-dot columns of two bytes
        return b.size() < 5 ? 0 : 5 + 2 * dataCount(b, 3);
    case '(':
        return b.size() < 5 ? 0 : 5 + dataCount(b, 3);
    case '&':
        return userCharacters(b, pins);
    case '.':
        return raster(b);
    case 'b': // vertical tabs of a channel: ESC b n, stops, NUL
    {
        const qsizetype stops = b.size() < 3 ? 0 : tabStops(b.sliced(1), 16);
        return stops == 0 ? 0 : 1 + stops;
    }
    case 'D':
        return tabStops(b, 32);
    case 'B':
        return tabStops(b, 16);
    case 'C':
        return b.size() < 3 ? 0 : b[2] == 0 ? (b.size() < 4 ? 0 : 4) : 3;
    case '[':
        return controlSequence(b);
    default: {
        const qsizetype length = 2 + parameterCount(c);
        return b.size() < length ? 0 : length;
    }
    }
}

qsizetype PrinterCommands::escPDataStart(QByteArrayView b)
{
    if (b.size() < 2)
        return 2;
    switch (b[1]) {
    case 'K':
    case 'L':
    case 'Y':
    case 'Z':
        return 4;
    case '*':
    case '(':
    case '^':
    case '&':
        return 5;
    case '.':
        return 8;
    default:
        return 2;
    }
}

qsizetype PrinterCommands::pclLength(QByteArrayView b, const PclParameter& parameter, qsizetype* dataAt)
{
    if (b.size() < 2)
        return 0;
    const char kind = b[1];
    if (kind < 0x21 || kind > 0x2F)
        return 2; // a two-byte command such as ESC E
    qsizetype i = 2;
    char group = 0;
    if (i < b.size() && b[i] >= 0x60 && b[i] <= 0x7E)
        group = b[i++];
    for (;;) {
        const qsizetype start = i;
        while (i < b.size() && (std::isdigit(static_cast<unsigned char>(b[i])) || std::strchr("+-.", b[i])))
            ++i;
        if (i >= b.size())
            return 0;
        const char letter = b[i];
        if (letter < 0x40 || letter > 0x7E)
            return i; // malformed: the command ends before the stray byte
        ++i;
        const double value = QByteArray(b.data() + start, i - 1 - start).toDouble();
        const char upper = char(std::toupper(static_cast<unsigned char>(letter)));
        if (parameter)
            parameter(kind, group, value, upper);
        if (upper == 'W' || (kind == '&' && group == 'p' && upper == 'X')) { // binary data follows
            if (dataAt && value > double(b.size() - i))
                *dataAt = i;
            i += qsizetype(std::clamp(value, 0.0, double(b.size())));
        }
        if (letter <= 0x5E)
            return i;
    }
}
