#pragma once

#include <QByteArray>
#include <QString>

/// The 8-bit code page of spool and settings files: Windows-1252.
namespace CodePage {
QString decode(QByteArrayView bytes);
/// Characters outside the code page are written as "?".
QByteArray encode(const QString& text);
} // namespace CodePage
