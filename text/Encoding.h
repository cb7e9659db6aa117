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
    Utf8
};

/// The code page a settings value names ("1252", "850", "437", "860", "UTF-8"); none when unknown.
std::optional<Encoding> encodingByName(QStringView name);
QString decode(QByteArrayView bytes, Encoding encoding);
} // namespace CodePage
