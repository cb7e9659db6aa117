#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace CodePage {
/// The code pages a spool file may be written in.
enum class Encoding
{
    Windows1252,
    Cp850,
    Cp437,
    Cp860,
    Utf8,
    Cp863,
    Cp865,
    Abicomp, ///< the Brazilian computer makers' table
    Brascii, ///< the Brazilian standard table, ISO 8859-1 but for Œ and œ
    Latin1,  ///< ISO 8859-1
    /// Epson's italic table: the upper half prints the lower half's characters in italics, so it
    /// decodes as the same characters.
    EpsonItalic
};

/// The code page a settings value names ("1252", "850", "437", "860", "863", "865", "ABICOMP",
/// "BRASCII", "UTF-8"); none when unknown.
std::optional<Encoding> encodingByName(QStringView name);
/// The name a settings value gives @p encoding ("1252" for a table no settings value names).
QString encodingName(Encoding encoding);
QString decode(QByteArrayView bytes, Encoding encoding);
/// The byte of @p ch in a single-byte code page; none when the page lacks it (and in UTF-8 above ASCII).
std::optional<char> byteOf(char16_t ch, Encoding encoding);
} // namespace CodePage
