#include "text/BitImage.h"

#include <algorithm>
#include <cmath>

namespace {
int byteAt(QByteArrayView b, qsizetype at)
{
    return static_cast<unsigned char>(b[at]);
}

int countAt(QByteArrayView b, qsizetype at)
{
    return byteAt(b, at) + 256 * byteAt(b, at + 1);
}

/// Dots an inch across of the ESC * modes, with the dots a column stacks; 0 for a mode the
/// printers do not have.
int starDensity(int mode, int* dots)
{
    static constexpr int kEightDot[] = {60, 120, 120, 240, 80, 72, 90, 144};
    *dots = mode >= 64 ? 48 : mode >= 32 ? 24 : 8;
    switch (mode) {
    case 32:
    case 64:
        return 60;
    case 33:
    case 65:
        return 120;
    case 38:
    case 70:
        return 90;
    case 39:
    case 71:
        return 180;
    case 40:
    case 72:
    case 73:
        return 360;
    default:
        return mode >= 0 && mode < 8 ? kEightDot[mode] : 0;
    }
}

/// A picture of @p count columns of @p bytesPerColumn bytes each, the top dot of a column in the
/// high bit of its first byte, @p dots of them used (9 for ESC ^, whose second byte gives one).
PageImage columns(QByteArrayView data, int count, int bytesPerColumn, int dots, int dpiX, int dpiY)
{
    PageImage image;
    if (dpiX <= 0 || count <= 0 || data.size() < qsizetype(count) * bytesPerColumn)
        return image;
    image.width = count;
    image.height = dots;
    image.dotsPerInchX = dpiX;
    image.dotsPerInchY = dpiY;
    const qsizetype row = image.bytesPerRow();
    image.bits = QByteArray(row * dots, 0);
    char* bits = image.bits.data();
    for (int column = 0; column < count; ++column) {
        const char mask = char(0x80 >> (column % 8));
        const qsizetype at = qsizetype(column) * bytesPerColumn;
        for (int dot = 0; dot < dots; ++dot) {
            if (byteAt(data, at + dot / 8) & (0x80 >> (dot % 8)))
                bits[dot * row + column / 8] |= mask;
        }
    }
    return image;
}

/// The rows of ESC . c v h m nL nH: m rows of n dots, as they are or run-length compressed (a
/// count byte below 128 is that many + 1 bytes as they are, one above 128 repeats the next byte
/// 257 - count times).
PageImage raster(QByteArrayView cmd)
{
    PageImage image;
    const int compression = byteAt(cmd, 2);
    const int v = byteAt(cmd, 3), h = byteAt(cmd, 4);
    const int rows = byteAt(cmd, 5), width = countAt(cmd, 6);
    if (v == 0 || h == 0 || rows == 0 || width == 0 || compression > 1)
        return image;
    image.width = width;
    image.height = rows;
    image.dotsPerInchX = 3600 / h;
    image.dotsPerInchY = 3600 / v;
    const qsizetype row = image.bytesPerRow(), total = row * rows;
    image.bits.reserve(total);
    for (qsizetype at = 8; at < cmd.size() && image.bits.size() < total;) {
        if (compression == 0) {
            image.bits.append(cmd.sliced(at, std::min(total, cmd.size() - at)));
            break;
        }
        const int count = byteAt(cmd, at++);
        if (count < 128) {
            const qsizetype n = std::min<qsizetype>(count + 1, cmd.size() - at);
            image.bits.append(cmd.sliced(at, n));
            at += n;
        } else if (at < cmd.size()) {
            image.bits.append(QByteArray(257 - count, cmd[at++]));
        }
    }
    image.bits.resize(total, 0);
    // The dots past the width in a row's last byte are nothing the printer draws.
    if (const int spare = width % 8) {
        for (qsizetype last = row - 1; last < total; last += row)
            image.bits[last] = char(image.bits[last] & (0xFF << (8 - spare)));
    }
    return image;
}

/// @p units (1/360 inch) in dots of a grid of @p dpi an inch, when it falls on a dot of it within
/// @p slack: a place on the page is a whole 1/360 inch, rounded from where the printer put it.
bool onGrid(int units, int dpi, double slack, int* dots)
{
    *dots = int(std::lround(double(units) * dpi / kUnitsPerInch));
    return std::abs(*dots * double(kUnitsPerInch) / dpi - units) <= slack;
}

/// The same dots on a grid @p times finer vertically: each row drawn as @p times rows.
void stretch(PageImage& image, int times)
{
    if (times <= 1)
        return;
    const qsizetype row = image.bytesPerRow();
    QByteArray bits(row * image.height * times, Qt::Uninitialized);
    for (int y = 0; y < image.height * times; ++y)
        std::copy_n(image.bits.constData() + (y / times) * row, row, bits.data() + y * row);
    image.bits = std::move(bits);
    image.height *= times;
    image.dotsPerInchY *= times;
}

/// ORs @p width dots of @p source into the row @p target from its dot @p at.
void orRow(char* target, qsizetype targetBytes, int at, const char* source, int width)
{
    const int shift = at % 8;
    for (int i = 0, n = (width + 7) / 8; i < n; ++i) {
        const auto b = static_cast<unsigned char>(source[i]);
        const qsizetype to = at / 8 + i;
        target[to] = char(target[to] | (b >> shift));
        if (shift && to + 1 < targetBytes)
            target[to + 1] = char(target[to + 1] | (b << (8 - shift)));
    }
}

/// Draws @p image into @p into when it overlaps or continues it on its grid of dots. A strip that
/// falls between the rows of the last (the second pass of a printer printing finer than its pins
/// stand) puts both on a grid fine enough for the two, each row drawn as tall as it is.
bool merge(PageImage& into, PageImage& image)
{
    constexpr int kFinest = 720; // dots an inch
    constexpr int kWidest = 16;  // inches: the widest carriage is 13.6
    int dx = 0, dy = 0, rows = 0;
    if (into.dotsPerInchX != image.dotsPerInchX || !onGrid(image.x - into.x, into.dotsPerInchX, 0.5, &dx))
        return false;
    for (int times = 1; times <= 3 && rows == 0; ++times) {
        const int grid = std::max(into.dotsPerInchY, image.dotsPerInchY) * times;
        if (grid <= kFinest && grid % into.dotsPerInchY == 0 && grid % image.dotsPerInchY == 0 &&
            onGrid(image.y - into.y, grid, 0.4, &dy))
            rows = grid;
    }
    const int intoTimes = rows / into.dotsPerInchY, imageTimes = rows / image.dotsPerInchY;
    if (rows == 0 || dy < 0 || dy > into.height * intoTimes)
        return false;
    const int left = std::min(0, dx), right = std::max(into.width, dx + image.width);
    const int height = std::max(into.height * intoTimes, dy + image.height * imageTimes);
    // Strips far apart stay pictures of their own: the one they would make is mostly blank, and
    // a few bytes of a file could ask for a great deal of memory.
    const qint64 joined = qint64(right - left + 7) / 8 * height;
    const qint64 apart =
        into.bytesPerRow() * into.height * intoTimes + image.bytesPerRow() * image.height * imageTimes;
    if (right - left > kWidest * into.dotsPerInchX || joined > 2 * apart + 64 * 1024)
        return false;
    stretch(into, intoTimes);
    stretch(image, imageTimes);
    if (left < 0 || right > into.width) {
        PageImage wider;
        wider.width = right - left;
        wider.height = into.height;
        wider.dotsPerInchX = into.dotsPerInchX;
        wider.dotsPerInchY = into.dotsPerInchY;
        wider.x = left < 0 ? image.x : into.x;
        wider.y = into.y;
        const qsizetype row = wider.bytesPerRow();
        wider.bits = QByteArray(row * into.height, 0);
        for (int y = 0; y < into.height; ++y)
            orRow(wider.bits.data() + y * row, row, -left, into.bits.constData() + y * into.bytesPerRow(),
                  into.width);
        into = std::move(wider);
    }
    const qsizetype row = into.bytesPerRow();
    into.bits.resize(row * height, 0);
    into.height = height;
    for (int y = 0; y < image.height; ++y)
        orRow(into.bits.data() + (dy + y) * row, row, dx - left,
              image.bits.constData() + y * image.bytesPerRow(), image.width);
    return true;
}
} // namespace

bool BitImage::isImage(char command)
{
    return command == 'K' || command == 'L' || command == 'Y' || command == 'Z' || command == '*' ||
           command == '^' || command == '.';
}

PageImage BitImage::decode(QByteArrayView cmd, int eightDotRows)
{
    if (cmd.size() < 4)
        return {};
    switch (cmd[1]) {
    case 'K':
    case 'L':
    case 'Y':
    case 'Z': {
        const int dpi = cmd[1] == 'K' ? 60 : cmd[1] == 'Z' ? 240 : 120;
        return columns(cmd.sliced(4), countAt(cmd, 2), 1, 8, dpi, eightDotRows);
    }
    case '*': {
        if (cmd.size() < 5)
            return {};
        int dots = 8;
        const int dpi = starDensity(byteAt(cmd, 2), &dots);
        const int dpiY = dots == 8 ? eightDotRows : dots == 24 ? 180 : 360;
        return columns(cmd.sliced(5), countAt(cmd, 3), dots / 8, dots, dpi, dpiY);
    }
    case '^': { // the 9-pin printers' own: two bytes a column, the ninth dot atop the second
        if (cmd.size() < 5 || byteAt(cmd, 2) > 1)
            return {};
        return columns(cmd.sliced(5), countAt(cmd, 3), 2, 9, byteAt(cmd, 2) ? 120 : 60, kNinePinRows);
    }
    case '.':
        return cmd.size() < 8 ? PageImage() : raster(cmd);
    default:
        return {};
    }
}

int BitImage::advance(const PageImage& image)
{
    return image.dotsPerInchX > 0 ? int(std::lround(double(image.width) * kUnitsPerInch / image.dotsPerInchX))
                                  : 0;
}

int BitImage::print(QByteArrayView command, int eightDotRows, int x, int y, QList<PageImage>& images)
{
    PageImage image = decode(command, eightDotRows);
    image.x = x;
    image.y = y;
    const int moved = advance(image);
    place(images, std::move(image));
    return moved;
}

void BitImage::place(QList<PageImage>& images, PageImage&& image)
{
    if (image.width <= 0 || image.height <= 0 || image.dotsPerInchX <= 0 || image.dotsPerInchY <= 0)
        return;
    if (!images.isEmpty() && merge(images.last(), image))
        return;
    images.append(std::move(image));
}
