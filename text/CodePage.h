#pragma once

#include <QByteArray>
#include <QString>

/// The 8-bit code page of spool and settings files: Windows-1252.
namespace CodePage {
QString decode(QByteArrayView bytes);
/// The character of one byte; the holes of the code page give the C1 control of the same value.
char16_t unicodeOf(unsigned char code);
/// Characters outside the code page are written as "?".
QByteArray encode(const QString& text);
} // namespace CodePage
