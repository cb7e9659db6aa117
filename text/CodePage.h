#pragma once

#include <QByteArray>
#include <QString>

#include <array>

/// The 8-bit code page of spool and settings files: Windows-1252.
namespace CodePage {
QString decode(QByteArrayView bytes);
/// The character of one byte; the holes of the code page give the C1 control of the same value.
char16_t unicodeOf(unsigned char code);
/// Characters outside the code page are written as "?".
QByteArray encode(const QString& text);

/// The characters of bytes 0x80..0xFF of a single-byte code page whose lower half is ASCII.
using UpperHalf = std::array<char16_t, 128>;
/// Decodes a single-byte code page: ASCII below 0x80, @p upper above.
QString decodeSingleByte(QByteArrayView bytes, const UpperHalf& upper);
} // namespace CodePage
