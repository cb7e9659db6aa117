#include "render/BoxGlyphs.h"

#include <algorithm>

namespace {

/// Weights of the four arms of a box-drawing character: 1 light, 2 heavy, 3 double.
struct Arms
{
    char16_t ch;
    char left, right, up, down;
};

// The rules in common use (the DOS code pages hold the light and double ones); dashed and
// rounded forms are drawn as their plain counterparts.
constexpr Arms kArms[] = {
    {0x2500, 1, 1, 0, 0}, {0x2501, 2, 2, 0, 0}, {0x2502, 0, 0, 1, 1}, {0x2503, 0, 0, 2, 2},
    {0x2504, 1, 1, 0, 0}, {0x2505, 2, 2, 0, 0}, {0x2506, 0, 0, 1, 1}, {0x2507, 0, 0, 2, 2},
    {0x2508, 1, 1, 0, 0}, {0x2509, 2, 2, 0, 0}, {0x250A, 0, 0, 1, 1}, {0x250B, 0, 0, 2, 2},
    {0x250C, 0, 1, 0, 1}, {0x250F, 0, 2, 0, 2}, {0x2510, 1, 0, 0, 1}, {0x2513, 2, 0, 0, 2},
    {0x2514, 0, 1, 1, 0}, {0x2517, 0, 2, 2, 0}, {0x2518, 1, 0, 1, 0}, {0x251B, 2, 0, 2, 0},
    {0x251C, 0, 1, 1, 1}, {0x2523, 0, 2, 2, 2}, {0x2524, 1, 0, 1, 1}, {0x252B, 2, 0, 2, 2},
    {0x252C, 1, 1, 0, 1}, {0x2533, 2, 2, 0, 2}, {0x2534, 1, 1, 1, 0}, {0x253B, 2, 2, 2, 0},
    {0x253C, 1, 1, 1, 1}, {0x254B, 2, 2, 2, 2}, {0x254C, 1, 1, 0, 0}, {0x254D, 2, 2, 0, 0},
    {0x254E, 0, 0, 1, 1}, {0x254F, 0, 0, 2, 2}, {0x2550, 3, 3, 0, 0}, {0x2551, 0, 0, 3, 3},
    {0x2552, 0, 3, 0, 1}, {0x2553, 0, 1, 0, 3}, {0x2554, 0, 3, 0, 3}, {0x2555, 3, 0, 0, 1},
    {0x2556, 1, 0, 0, 3}, {0x2557, 3, 0, 0, 3}, {0x2558, 0, 3, 1, 0}, {0x2559, 0, 1, 3, 0},
    {0x255A, 0, 3, 3, 0}, {0x255B, 3, 0, 1, 0}, {0x255C, 1, 0, 3, 0}, {0x255D, 3, 0, 3, 0},
    {0x255E, 0, 3, 1, 1}, {0x255F, 0, 1, 3, 3}, {0x2560, 0, 3, 3, 3}, {0x2561, 3, 0, 1, 1},
    {0x2562, 1, 0, 3, 3}, {0x2563, 3, 0, 3, 3}, {0x2564, 3, 3, 0, 1}, {0x2565, 1, 1, 0, 3},
    {0x2566, 3, 3, 0, 3}, {0x2567, 3, 3, 1, 0}, {0x2568, 1, 1, 3, 0}, {0x2569, 3, 3, 3, 0},
    {0x256A, 3, 3, 1, 1}, {0x256B, 1, 1, 3, 3}, {0x256C, 3, 3, 3, 3}, {0x256D, 0, 1, 0, 1},
    {0x256E, 1, 0, 0, 1}, {0x256F, 1, 0, 1, 0}, {0x2570, 0, 1, 1, 0},
};

void addRules(const Arms& a, const QRectF& c, qreal t, BoxPieces& out)
{
    const qreal cx = c.center().x();
    const qreal cy = c.center().y();
    const qreal gap = 1.5 * t; // from the centre to each stroke of a double rule
    // Arms run past the centre by half the widest crossing rule, so corners close.
    const auto reach = [&](char w1, char w2) {
        return std::max(w1, w2) == 3 ? gap + t / 2 : std::max(w1, w2) * t / 2;
    };
    const qreal hReach = reach(a.up, a.down);
    const qreal vReach = reach(a.left, a.right);
    const auto horizontal = [&](char w, qreal x0, qreal x1) {
        if (w == 3) {
            out.append({QRectF(x0, cy - gap - t / 2, x1 - x0, t), 0});
            out.append({QRectF(x0, cy + gap - t / 2, x1 - x0, t), 0});
        } else if (w > 0) {
            out.append({QRectF(x0, cy - w * t / 2, x1 - x0, w * t), 0});
        }
    };
    const auto vertical = [&](char w, qreal y0, qreal y1) {
        if (w == 3) {
            out.append({QRectF(cx - gap - t / 2, y0, t, y1 - y0), 0});
            out.append({QRectF(cx + gap - t / 2, y0, t, y1 - y0), 0});
        } else if (w > 0) {
            out.append({QRectF(cx - w * t / 2, y0, w * t, y1 - y0), 0});
        }
    };
    horizontal(a.left, c.left(), cx + hReach);
    horizontal(a.right, cx - hReach, c.right());
    vertical(a.up, c.top(), cy + vReach);
    vertical(a.down, cy - vReach, c.bottom());
}

bool addBlock(char16_t ch, const QRectF& c, BoxPieces& out)
{
    const qreal w = c.width();
    const qreal h = c.height();
    const auto part = [&](qreal x, qreal y, qreal pw, qreal ph) {
        out.append({QRectF(c.left() + x * w, c.top() + y * h, pw * w, ph * h), 0});
    };
    if (ch == 0x2580)
        part(0, 0, 1, 0.5);
    else if (ch >= 0x2581 && ch <= 0x2588) // lower eighths up to the full block
        part(0, 1 - (ch - 0x2580) / 8.0, 1, (ch - 0x2580) / 8.0);
    else if (ch >= 0x2589 && ch <= 0x258F) // left seven eighths down to one
        part(0, 0, (0x2590 - ch) / 8.0, 1);
    else if (ch == 0x2590)
        part(0.5, 0, 0.5, 1);
    else if (ch >= 0x2591 && ch <= 0x2593) // light, medium and dark shade
        out.append({c, 1 - (ch - 0x2590) / 4.0});
    else if (ch == 0x2594)
        part(0, 0, 1, 0.125);
    else if (ch == 0x2595)
        part(0.875, 0, 0.125, 1);
    else {
        // Quadrants: bits for upper left, upper right, lower left, lower right.
        static constexpr unsigned char kQuadrants[] = {4, 8, 1, 13, 9, 7, 11, 2, 6, 14};
        const int q = kQuadrants[ch - 0x2596];
        for (int bit = 0; bit < 4; ++bit) {
            if (q & (1 << bit))
                part((bit % 2) * 0.5, (bit / 2) * 0.5, 0.5, 0.5);
        }
    }
    return true;
}

} // namespace

bool boxPieces(char16_t ch, const QRectF& cell, qreal stroke, BoxPieces& out)
{
    if (ch >= 0x2580 && ch <= 0x259F)
        return addBlock(ch, cell, out);
    const Arms* found =
        std::find_if(std::begin(kArms), std::end(kArms), [ch](const Arms& a) { return a.ch == ch; });
    if (found == std::end(kArms))
        return false;
    addRules(*found, cell, stroke, out);
    return true;
}
