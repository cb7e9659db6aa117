#pragma once

#include "text/PrintedDocument.h"

#include <QByteArrayView>
#include <QList>

/// The bit-image commands of ESC/P and ESC/P 2 read into pictures of the page: ESC K, L, Y, Z,
/// ESC * (8, 24 and 48 dots a column), ESC ^ (9 dots) and ESC . (raster rows, run-length
/// compressed or not).
namespace BitImage {
/// Rows an inch of the 8-dot commands on a 9-pin printer; a 24-pin one puts them at 60.
constexpr int kNinePinRows = 72;
constexpr int kTwentyFourPinRows = 60;

/// True when ESC @p command is one of the bit-image commands.
bool isImage(char command);

/**
 * The picture of the whole bit-image command @p command (as long as the printer reads it), at
 * x = y = 0, in rows of dots with its densities. 8-dot rows stand @p eightDotRows an inch apart.
 * A command of an unknown mode gives an empty picture (width 0).
 */
PageImage decode(QByteArrayView command, int eightDotRows = kNinePinRows);

/// How far the print head moves across @p image, 1/360 inch.
int advance(const PageImage& image);

/// Prints the bit-image command @p command with the print head @p x from the left margin, on
/// the line @p y down the page (1/360 inch): its picture goes on the page's @p images (see
/// place()). Gives how far the head moves, 1/360 inch.
int print(QByteArrayView command, int eightDotRows, int x, int y, QList<PageImage>& images);

/**
 * Puts @p image on the page's @p images. One that overlaps or continues the last picture at the
 * same densities, on its grid of dots, is drawn into it (two passes over one strip, or the next
 * strip below), so that a page of strips becomes one picture.
 */
void place(QList<PageImage>& images, PageImage&& image);
} // namespace BitImage
