#include "render/FontFile.h"

#include <QHash>
#include <QRegularExpression>

#include <cmath>
#include <cstring>

namespace {

quint16 be16(const QByteArray& data, qsizetype at)
{
    if (at < 0 || at + 2 > data.size())
        return 0;
    return quint16((quint8(data[at]) << 8) | quint8(data[at + 1]));
}

quint32 be32(const QByteArray& data, qsizetype at)
{
    return (quint32(be16(data, at)) << 16) | be16(data, at + 2);
}

/// A PDF name of printable characters only; others are left out.
QByteArray pdfName(const QByteArray& raw)
{
    QByteArray name;
    for (const char c : raw) {
        if (c > 0x20 && c < 0x7F && !std::strchr("()<>[]{}/%#", c))
            name += c;
    }
    return name;
}

/// The private part of a Type 1 font in the clear (eexec decryption, key 55665).
QByteArray eexecDecrypt(const QByteArray& cipher)
{
    QByteArray plain(cipher.size(), Qt::Uninitialized);
    quint16 r = 55665;
    for (qsizetype i = 0; i < cipher.size(); ++i) {
        const quint8 c = quint8(cipher[i]);
        plain[i] = char(c ^ (r >> 8));
        r = quint16((c + r) * 52845u + 22719u);
    }
    return plain;
}

} // namespace

std::optional<FontFile> FontFile::read(const QByteArray& data)
{
    if (data.startsWith("\x80\x01"))
        return readType1(data);
    if (data.startsWith(QByteArray("\x00\x01\x00\x00", 4)) || data.startsWith("true"))
        return readTrueType(data);
    return std::nullopt;
}

std::optional<FontFile> FontFile::readType1(const QByteArray& file)
{
    // PFB: segments of a 0x80 marker, a type (1 text, 2 binary, 3 end) and a 32-bit length.
    QByteArray clear;
    QByteArray binary;
    QByteArray trailer;
    qsizetype at = 0;
    for (;;) {
        if (at + 2 > file.size() || quint8(file[at]) != 0x80)
            return std::nullopt;
        const int type = quint8(file[at + 1]);
        if (type == 3)
            break;
        if (at + 6 > file.size())
            return std::nullopt;
        const quint32 length = quint32(quint8(file[at + 2])) | (quint32(quint8(file[at + 3])) << 8) |
                               (quint32(quint8(file[at + 4])) << 16) | (quint32(quint8(file[at + 5])) << 24);
        at += 6;
        if (length > quint32(file.size() - at))
            return std::nullopt;
        const QByteArray part = file.mid(at, qsizetype(length));
        at += qsizetype(length);
        if (type == 1 && binary.isEmpty())
            clear += part;
        else if (type == 2 && trailer.isEmpty())
            binary += part;
        else if (type == 1)
            trailer += part;
        else
            return std::nullopt; // binary after the trailer: not a layout a PDF can carry
    }
    if (clear.isEmpty() || binary.isEmpty())
        return std::nullopt;

    FontFile font;
    const auto field = [&clear](const char* pattern) {
        return QRegularExpression(QString::fromLatin1(pattern)).match(QString::fromLatin1(clear));
    };
    font.name = pdfName(field("/FontName\\s*/(\\S+)").captured(1).toLatin1());
    const QRegularExpressionMatch box =
        field("/FontBBox\\s*[\\[{]\\s*(-?[\\d.]+)\\s+(-?[\\d.]+)\\s+(-?[\\d.]+)\\s+(-?[\\d.]+)");
    if (font.name.isEmpty() || !box.hasMatch())
        return std::nullopt;
    for (int i = 0; i < 4; ++i)
        font.bbox[i] = int(std::lround(box.captured(i + 1).toDouble()));
    font.italicAngle = field("/ItalicAngle\\s+(-?[\\d.]+)").captured(1).toDouble();
    font.fixedPitch = field("/isFixedPitch\\s+true").hasMatch();

    const QByteArray privateDict = eexecDecrypt(binary);
    const QRegularExpressionMatch stem = QRegularExpression(QStringLiteral("/StdVW\\s*[\\[{]\\s*([\\d.]+)"))
                                             .match(QString::fromLatin1(privateDict));
    font.stemV = stem.hasMatch() ? int(std::lround(stem.captured(1).toDouble())) : 0;

    font.format = Format::Type1;
    font.program = clear + binary + trailer;
    font.length1 = int(clear.size());
    font.length2 = int(binary.size());
    font.length3 = int(trailer.size());
    return font;
}

std::optional<FontFile> FontFile::readTrueType(const QByteArray& file)
{
    FontFile font;
    QHash<QByteArray, QByteArray> tables;
    const int count = be16(file, 4);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 12 + 16 * i;
        const quint32 offset = be32(file, entry + 8);
        const quint32 length = be32(file, entry + 12);
        if (entry + 16 > file.size() || offset > quint32(file.size()) ||
            length > quint32(file.size()) - offset)
            return std::nullopt;
        tables.insert(file.mid(entry, 4), file.mid(qsizetype(offset), qsizetype(length)));
    }
    const QByteArray head = tables.value("head");
    const QByteArray post = tables.value("post");
    const QByteArray os2 = tables.value("OS/2");
    const QByteArray names = tables.value("name");
    const QByteArray cmap = tables.value("cmap");
    if (head.size() < 54 || post.size() < 16 || names.size() < 6 || cmap.size() < 4 ||
        !tables.contains("glyf"))
        return std::nullopt;

    // The font's licence must allow embedding it (OS/2 fsType: no restricted licence, no
    // bitmap-only embedding).
    if (os2.size() >= 10 && (be16(os2, 8) & 0x0202) != 0)
        return std::nullopt;

    // /WinAnsiEncoding reaches a TrueType glyph through its Unicode (3,1) or Mac Roman map.
    bool unicodeMap = false;
    for (int i = 0; i < be16(cmap, 2); ++i) {
        const quint16 platform = be16(cmap, 4 + 8 * i);
        const quint16 encoding = be16(cmap, 6 + 8 * i);
        unicodeMap = unicodeMap || (platform == 3 && encoding == 1) || (platform == 1 && encoding == 0);
    }
    if (!unicodeMap)
        return std::nullopt;

    // PostScript name: nameID 6, Windows (UTF-16) or Macintosh (bytes).
    const quint16 nameCount = be16(names, 2);
    const quint16 strings = be16(names, 4);
    for (int i = 0; i < nameCount && font.name.isEmpty(); ++i) {
        const qsizetype record = 6 + 12 * i;
        if (be16(names, record + 6) != 6)
            continue;
        const quint16 platform = be16(names, record);
        const QByteArray text = names.mid(strings + be16(names, record + 10), be16(names, record + 8));
        if (platform == 3) {
            QByteArray ascii;
            for (qsizetype c = 0; c + 1 < text.size(); c += 2)
                ascii += text[c + 1];
            font.name = pdfName(ascii);
        } else if (platform == 1) {
            font.name = pdfName(text);
        }
    }
    if (font.name.isEmpty())
        return std::nullopt;

    const int unitsPerEm = be16(head, 18);
    if (unitsPerEm <= 0)
        return std::nullopt;
    for (int i = 0; i < 4; ++i)
        font.bbox[i] = int(std::lround(qint16(be16(head, 36 + 2 * i)) * 1000.0 / unitsPerEm));
    font.italicAngle = qint32(be32(post, 4)) / 65536.0;
    font.fixedPitch = be32(post, 12) != 0;
    // No stem width in a TrueType file: estimated from the weight class, as is usual.
    const int weight = os2.size() >= 6 ? be16(os2, 4) : 400;
    font.stemV = int(std::lround(50 + std::pow(weight / 65.0, 2)));

    font.format = Format::TrueType;
    font.program = file;
    font.length1 = int(file.size());
    return font;
}
