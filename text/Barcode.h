#pragma once

#include <QByteArray>
#include <QList>

/// The bar codes an Epson draws for ESC ( B: the bars and spaces of a symbol, in modules.
namespace Barcode {
/// The symbologies, numbered as ESC ( B numbers them.
enum class Kind : quint8
{
    Ean13,
    Ean8,
    Interleaved2of5,
    UpcA,
    UpcE,
    Code39,
    Code128,
    Postnet
};

/// A symbol as bars and spaces; empty when its data is not one the symbology takes, which the
/// printer does not print either.
struct Symbol
{
    /// Widths in modules, a bar first, then a space, a bar and so on.
    QList<quint8> widths;
    /// POSTNET: one flag a bar, set for a half-height bar. Empty for the other symbologies.
    QList<bool> shortBars;
    /// The human-readable line under the bars, check digits included; empty for POSTNET.
    QByteArray text;
    bool isEmpty() const { return widths.isEmpty(); }
    /// Width of the symbol, modules.
    int modules() const;
    /// One character a module: '1' for a bar, '0' for a space, 's' for a short bar.
    QByteArray pattern() const;
};

/// Encodes @p data of @p kind; @p addCheck adds the check digit the symbology may carry (EAN and
/// UPC, Interleaved 2 of 5, Code 39, POSTNET), otherwise the data must bring its own where the
/// symbology needs one. Code 128's data starts with its code set, 'A', 'B' or 'C', and always
/// gets its check character.
Symbol encode(Kind kind, QByteArrayView data, bool addCheck);

/// The values of Code 128 @p data as ESC ( B writes it: the code set first, 'A', 'B' or 'C',
/// then characters of that set, where the bytes the set leaves free stand for its function and
/// set-changing codes. The start value comes first, no check value; @p text gets the characters
/// a reader reads. False when the data is not Code 128.
bool code128Values(QByteArrayView data, QList<int>& values, QByteArray& text);

/// The mod-10 check digit of EAN, UPC and Interleaved 2 of 5: weights 3 and 1 from the right.
char mod10(QByteArrayView digits);
} // namespace Barcode
