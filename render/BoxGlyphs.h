#pragma once

#include <QRectF>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>

/// A filled rectangle of a box-drawing or block character; gray 0 is black ink.
struct BoxPiece
{
    QRectF rect;
    qreal gray = 0;
};
using BoxPieces = QVarLengthArray<BoxPiece, 8>;

/// Box drawing (U+2500–U+257F), blocks and shades (U+2580–U+259F): drawn, not taken from a face.
inline bool isBoxGlyph(char16_t ch)
{
    return ch >= 0x2500 && ch <= 0x259F;
}

/// True when one of the @p n units at @p chars is a box character. Most lines hold no unit from
/// U+2000 on, which is told four units at a time before any is looked at alone.
inline bool hasBoxGlyph(const char16_t* chars, qsizetype n)
{
    constexpr quint64 kFrom2000 = 0xE000E000E000E000u;
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4) {
        quint64 four;
        std::memcpy(&four, chars + i, sizeof four);
        if (four & kFrom2000)
            break;
    }
    return std::any_of(chars + i, chars + n, isBoxGlyph);
}

/**
 * The rectangles that draw @p ch in its character cell: rules run to the cell's edges and
 * blocks fill it, so frames join across cells and lines. @p stroke is a light rule's width.
 * False for a character this does not draw (nothing appended).
 */
bool boxPieces(char16_t ch, const QRectF& cell, qreal stroke, BoxPieces& out);
