#include "platform/PdfText.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QMutex>
#include <QRegularExpression>

#include <fontconfig/fontconfig.h>

#include <cmath>
#include <cstring>

namespace {

/// Unicode of the Windows-1252 codes 0x80 to 0x9F; 0 where the code page has none.
constexpr char16_t kHighCodes[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                     0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

/// The character a code draws under /WinAnsiEncoding; 0 for codes without a glyph name
/// (controls, DEL and the holes of the code page, which viewers may draw as bullets).
char16_t unicodeOfCode(int code)
{
    if (code >= 0x20 && code < 0x7F)
        return char16_t(code);
    if (code >= 0x80 && code < 0xA0)
        return kHighCodes[code - 0x80];
    if (code >= 0xA0 && code <= 0xFF)
        return char16_t(code);
    return 0;
}

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

/// A number as PDF writes it: at most six decimals, no trailing zeros.
QByteArray number(double value)
{
    if (std::abs(value - std::round(value)) < 1e-9)
        return QByteArray::number(qint64(std::llround(value)));
    QByteArray text = QByteArray::number(value, 'f', 6);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
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

/// A text string as UTF-16 with its byte order mark, in hexadecimal.
QByteArray pdfText(const QString& text)
{
    QByteArray bytes("<FEFF");
    for (const QChar ch : text)
        bytes += QByteArray::number(ch.unicode(), 16).rightJustified(4, '0').toUpper();
    return bytes + '>';
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

/// The stream body of a Flate-compressed copy (zlib format, without qCompress's size prefix).
QByteArray flate(const QByteArray& data)
{
    return qCompress(data, 6).mid(4);
}

} // namespace

// --- PdfTextFont ---------------------------------------------------------------------------

QString PdfTextFont::fileOfFamily(const QString& family)
{
    QString file;
    FcPattern* pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* matchedFamily = nullptr;
        FcChar8* path = nullptr;
        int weight = 0;
        int slant = 0;
        // Only the family itself, in its own regular upright face: a substitute or a face
        // Qt would make bold or slanted itself is not this family's file.
        if (FcPatternGetString(match, FC_FAMILY, 0, &matchedFamily) == FcResultMatch &&
            QString::fromUtf8(reinterpret_cast<const char*>(matchedFamily))
                    .compare(family, Qt::CaseInsensitive) == 0 &&
            FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) == FcResultMatch &&
            weight == FC_WEIGHT_REGULAR && FcPatternGetInteger(match, FC_SLANT, 0, &slant) == FcResultMatch &&
            slant == FC_SLANT_ROMAN && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch)
            file = QFile::decodeName(reinterpret_cast<const char*>(path));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

std::shared_ptr<const PdfTextFont> PdfTextFont::load(const QString& file, const QRawFont& raw)
{
    static QMutex mutex;
    static QHash<QString, std::shared_ptr<const PdfTextFont>> cache;
    const QString key = file + u'\n' + raw.familyName() + u'\n' + raw.styleName();
    QMutexLocker lock(&mutex);
    if (const auto found = cache.constFind(key); found != cache.constEnd())
        return *found;

    std::shared_ptr<PdfTextFont> font;
    QFile in(file);
    if (raw.isValid() && in.open(QIODevice::ReadOnly)) {
        const QByteArray data = in.readAll();
        font = std::make_shared<PdfTextFont>();
        bool ok = false;
        if (data.startsWith("\x80\x01"))
            ok = font->readType1(data);
        else if (data.startsWith(QByteArray("\x00\x01\x00\x00", 4)) || data.startsWith("true"))
            ok = font->readTrueType(data);
        // The file must hold the face Qt draws, or the widths would not be its widths.
        const QRawFont fromFile(data, raw.pixelSize());
        ok = ok && fromFile.isValid() && fromFile.familyName() == raw.familyName() &&
             fromFile.styleName() == raw.styleName() && font->measure(raw);
        if (!ok)
            font.reset();
    }
    cache.insert(key, font);
    return font;
}

bool PdfTextFont::readType1(const QByteArray& file)
{
    // PFB: segments of a 0x80 marker, a type (1 text, 2 binary, 3 end) and a 32-bit length.
    QByteArray clear;
    QByteArray binary;
    QByteArray trailer;
    qsizetype at = 0;
    for (;;) {
        if (at + 2 > file.size() || quint8(file[at]) != 0x80)
            return false;
        const int type = quint8(file[at + 1]);
        if (type == 3)
            break;
        if (at + 6 > file.size())
            return false;
        const quint32 length = quint32(quint8(file[at + 2])) | (quint32(quint8(file[at + 3])) << 8) |
                               (quint32(quint8(file[at + 4])) << 16) | (quint32(quint8(file[at + 5])) << 24);
        at += 6;
        if (length > quint32(file.size() - at))
            return false;
        const QByteArray part = file.mid(at, qsizetype(length));
        at += qsizetype(length);
        if (type == 1 && binary.isEmpty())
            clear += part;
        else if (type == 2 && trailer.isEmpty())
            binary += part;
        else if (type == 1)
            trailer += part;
        else
            return false; // binary after the trailer: not a layout a PDF can carry
    }
    if (clear.isEmpty() || binary.isEmpty())
        return false;

    const auto field = [&clear](const char* pattern) {
        return QRegularExpression(QString::fromLatin1(pattern)).match(QString::fromLatin1(clear));
    };
    name = pdfName(field("/FontName\\s*/(\\S+)").captured(1).toLatin1());
    const QRegularExpressionMatch box =
        field("/FontBBox\\s*[\\[{]\\s*(-?[\\d.]+)\\s+(-?[\\d.]+)\\s+(-?[\\d.]+)\\s+(-?[\\d.]+)");
    if (name.isEmpty() || !box.hasMatch())
        return false;
    for (int i = 0; i < 4; ++i)
        bbox[i] = int(std::lround(box.captured(i + 1).toDouble()));
    italicAngle = field("/ItalicAngle\\s+(-?[\\d.]+)").captured(1).toDouble();
    fixedPitch = field("/isFixedPitch\\s+true").hasMatch();

    const QByteArray privateDict = eexecDecrypt(binary);
    const QRegularExpressionMatch stem = QRegularExpression(QStringLiteral("/StdVW\\s*[\\[{]\\s*([\\d.]+)"))
                                             .match(QString::fromLatin1(privateDict));
    stemV = stem.hasMatch() ? int(std::lround(stem.captured(1).toDouble())) : 0;

    format = Format::Type1;
    program = clear + binary + trailer;
    length1 = int(clear.size());
    length2 = int(binary.size());
    length3 = int(trailer.size());
    return true;
}

bool PdfTextFont::readTrueType(const QByteArray& file)
{
    QHash<QByteArray, QByteArray> tables;
    const int count = be16(file, 4);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 12 + 16 * i;
        const quint32 offset = be32(file, entry + 8);
        const quint32 length = be32(file, entry + 12);
        if (entry + 16 > file.size() || offset > quint32(file.size()) ||
            length > quint32(file.size()) - offset)
            return false;
        tables.insert(file.mid(entry, 4), file.mid(qsizetype(offset), qsizetype(length)));
    }
    const QByteArray head = tables.value("head");
    const QByteArray post = tables.value("post");
    const QByteArray os2 = tables.value("OS/2");
    const QByteArray names = tables.value("name");
    const QByteArray cmap = tables.value("cmap");
    if (head.size() < 54 || post.size() < 16 || names.size() < 6 || cmap.size() < 4 ||
        !tables.contains("glyf"))
        return false;

    // The font's licence must allow embedding it (OS/2 fsType: no restricted licence, no
    // bitmap-only embedding).
    if (os2.size() >= 10 && (be16(os2, 8) & 0x0202) != 0)
        return false;

    // /WinAnsiEncoding reaches a TrueType glyph through its Unicode (3,1) or Mac Roman map.
    bool unicodeMap = false;
    for (int i = 0; i < be16(cmap, 2); ++i) {
        const quint16 platform = be16(cmap, 4 + 8 * i);
        const quint16 encoding = be16(cmap, 6 + 8 * i);
        unicodeMap = unicodeMap || (platform == 3 && encoding == 1) || (platform == 1 && encoding == 0);
    }
    if (!unicodeMap)
        return false;

    // PostScript name: nameID 6, Windows (UTF-16) or Macintosh (bytes).
    const quint16 nameCount = be16(names, 2);
    const quint16 strings = be16(names, 4);
    for (int i = 0; i < nameCount && name.isEmpty(); ++i) {
        const qsizetype record = 6 + 12 * i;
        if (be16(names, record + 6) != 6)
            continue;
        const quint16 platform = be16(names, record);
        const QByteArray text = names.mid(strings + be16(names, record + 10), be16(names, record + 8));
        if (platform == 3) {
            QByteArray ascii;
            for (qsizetype c = 0; c + 1 < text.size(); c += 2)
                ascii += text[c + 1];
            name = pdfName(ascii);
        } else if (platform == 1) {
            name = pdfName(text);
        }
    }
    if (name.isEmpty())
        return false;

    const int unitsPerEm = be16(head, 18);
    if (unitsPerEm <= 0)
        return false;
    for (int i = 0; i < 4; ++i)
        bbox[i] = int(std::lround(qint16(be16(head, 36 + 2 * i)) * 1000.0 / unitsPerEm));
    italicAngle = qint32(be32(post, 4)) / 65536.0;
    fixedPitch = be32(post, 12) != 0;
    // No stem width in a TrueType file: estimated from the weight class, as is usual.
    const int weight = os2.size() >= 6 ? be16(os2, 4) : 400;
    stemV = int(std::lround(50 + std::pow(weight / 65.0, 2)));

    format = Format::TrueType;
    program = file;
    length1 = int(file.size());
    return true;
}

bool PdfTextFont::measure(const QRawFont& raw)
{
    QRawFont units = raw;
    const int unitsPerEm = int(raw.unitsPerEm());
    if (unitsPerEm <= 0)
        return false;
    units.setPixelSize(unitsPerEm);
    const auto thousandths = [unitsPerEm](qreal value) {
        return int(std::lround(value * 1000.0 / unitsPerEm));
    };
    ascent = thousandths(units.ascent());
    descent = -thousandths(units.descent());
    capHeight = units.capHeight() > 0 ? thousandths(units.capHeight()) : ascent;
    if (stemV <= 0)
        stemV = units.weight() >= QFont::Bold ? 140 : 80;

    // Every UTF-16 unit but the surrogates, looked up as the Qt path looks them up.
    constexpr int kUnits = 0x10000;
    QList<QChar> chars;
    QList<int> index;
    chars.reserve(kUnits);
    for (int u = 0; u < kUnits; ++u) {
        if (u < 0xD800 || u > 0xDFFF) {
            chars.append(QChar(char16_t(u)));
            index.append(u);
        }
    }
    QList<quint32> glyphs(chars.size());
    int found = int(glyphs.size());
    if (!raw.glyphIndexesForChars(chars.constData(), int(chars.size()), glyphs.data(), &found) ||
        found != chars.size())
        return false;
    std::array<quint32, kUnits> glyphOf{};
    for (qsizetype i = 0; i < chars.size(); ++i)
        glyphOf[size_t(index[i])] = glyphs[i];

    const auto advance = [&units](quint32 glyph) {
        QPointF a;
        units.advancesForGlyphIndexes(&glyph, &a, 1, QRawFont::UseDesignMetrics);
        return a.x();
    };
    const int questionCode = glyphOf['?'] != 0 ? '?' : kGap;
    codes.reset(new unsigned char[kUnits]);
    for (int u = 0; u < kUnits; ++u) {
        // Control characters draw nothing, whatever glyph a face gives them.
        const bool control = u < 0x20 || (u >= 0x7F && u < 0xA0);
        codes[u] = glyphOf[size_t(u)] != 0 && !control ? questionCode : kGap;
    }
    for (int code = 0; code < 256; ++code) {
        const char16_t u = unicodeOfCode(code);
        widths[size_t(code)] = 0;
        if (u == 0)
            continue;
        if (glyphOf[u] != 0) {
            codes[u] = static_cast<unsigned char>(code);
            widths[size_t(code)] = thousandths(advance(glyphOf[u]));
        } else {
            codes[u] = kGap;
        }
    }
    missingWidth = thousandths(advance(0));
    uniformWidths = true;
    for (int code = 0; code < 256; ++code)
        uniformWidths = uniformWidths && (widths[size_t(code)] == 0 || widths[size_t(code)] == widths[' ']);
    // A line's blanks are written as blanks: the face must have one.
    return codes[u' '] == ' ';
}

// --- PdfTextWriter -------------------------------------------------------------------------

namespace {

enum : int
{
    kCatalog = 1,
    kPages,
    kInfo,
    kResources,
    kFirstFree
};

const char kToUnicodeHead[] = "/CIDInit /ProcSet findresource begin\n"
                              "12 dict begin\n"
                              "begincmap\n"
                              "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                              "/CMapName /Adobe-Identity-UCS def\n"
                              "/CMapType 2 def\n"
                              "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
                              "2 beginbfrange\n<20> <7E> <0020>\n<A0> <FF> <00A0>\nendbfrange\n";
const char kToUnicodeTail[] = "endcmap\n"
                              "CMapName currentdict /CMapResource defineresource pop\n"
                              "end\nend\n";

QByteArray toUnicodeMap()
{
    QByteArray map(kToUnicodeHead);
    QByteArray chars;
    int count = 0;
    for (int code = 0x80; code < 0xA0; ++code) {
        if (const char16_t u = unicodeOfCode(code)) {
            chars += '<' + QByteArray::number(code, 16).toUpper() + "> <" +
                     QByteArray::number(u, 16).rightJustified(4, '0').toUpper() + ">\n";
            ++count;
        }
    }
    map += QByteArray::number(count) + " beginbfchar\n" + chars + "endbfchar\n";
    return map + kToUnicodeTail;
}

} // namespace

PdfTextWriter::PdfTextWriter(QIODevice* out, const QPageLayout& layout, int resolution) : m_out(out)
{
    // Qt's PDF engine draws in pixels of the resolution, y downwards from the top left corner
    // of the printable area, on a media box of the whole page in points.
    const qreal scale = 72.0 / resolution;
    const QRectF full = layout.fullRectPoints();
    const QRect paint = layout.paintRectPixels(resolution);
    m_pageHeight = paint.height();
    m_mediaBox = "[0 0 " + number(full.width()) + ' ' + number(full.height()) + ']';
    m_pageStart = number(scale) + " 0 0 " + number(-scale) + ' ' + number(scale * paint.left()) + ' ' +
                  number(full.height() - scale * paint.top()) + " cm\n";
}

int PdfTextWriter::newObject()
{
    m_objectOffsets.append(0);
    return int(m_objectOffsets.size());
}

void PdfTextWriter::startObject(int id)
{
    m_objectOffsets[id - 1] = m_offset;
    write(QByteArray::number(id) + " 0 obj\n");
}

void PdfTextWriter::write(const QByteArray& bytes)
{
    if (m_failed)
        return;
    if (m_out->write(bytes) != bytes.size())
        m_failed = true;
    m_offset += bytes.size();
}

bool PdfTextWriter::begin(const QString& title, const QString& creator)
{
    while (m_objectOffsets.size() < kFirstFree - 1)
        newObject();
    write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    startObject(kInfo);
    write("<<\n/Title " + pdfText(title) + "\n/Creator " + pdfText(creator) + "\n/Producer " +
          pdfText(creator) + "\n/CreationDate (D:" +
          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1() +
          "Z)\n>>\nendobj\n");
    return !m_failed;
}

void PdfTextWriter::setFont(const std::shared_ptr<const PdfTextFont>& font, const QRawFont& raw)
{
    m_fontIndex = -1;
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        if (m_fonts[i].font == font)
            m_fontIndex = int(i);
    }
    if (m_fontIndex < 0) {
        m_fonts.append({font, 0});
        m_fontIndex = int(m_fonts.size() - 1);
    }
    m_font = font;
    m_pixelSize = raw.pixelSize();
    // The same line advance as the Qt path: the face's metrics at the size drawn.
    m_ascent = raw.ascent();
    m_lineHeight = raw.ascent() + raw.descent() + raw.leading();
    m_gapAdjust = font->widths[' '] - font->missingWidth;
    // Qt advances a glyph by its width at the size rounded to 1/64 of a pixel. Where all
    // glyphs are as wide, the character spacing makes the columns fall exactly where Qt puts
    // them (less than a pixel across a line otherwise, but tools that read the text back
    // count the blanks between words from these positions).
    m_charSpacing = 0;
    if (font->uniformWidths) {
        quint32 blank = 0;
        int count = 1;
        const QChar space(u' ');
        QPointF advance;
        if (raw.glyphIndexesForChars(&space, 1, &blank, &count) &&
            raw.advancesForGlyphIndexes(&blank, &advance, 1, QRawFont::UseDesignMetrics))
            m_charSpacing = advance.x() - font->widths[' '] * m_pixelSize / 1000.0;
    }
    m_fontSelect = "/F" + QByteArray::number(m_fontIndex + 1) + ' ' + number(m_pixelSize) + " Tf " +
                   number(m_lineHeight) + " TL " + number(m_charSpacing) + " Tc\n";
    m_fontSet = false;
    m_positioned = false;
}

void PdfTextWriter::openPage()
{
    if (m_pageCount > 0)
        endPage();
    ++m_pageCount;
    m_pageOpen = true;
    m_y = 0;
    m_positioned = false;
    m_fontSet = false;
    // Pages of one document are alike: the last one's size is a good guess for the next.
    const qsizetype guess = m_content.capacity();
    m_content.clear();
    m_content.reserve(guess);
    m_content += m_pageStart;
}

void PdfTextWriter::line(const QString& text)
{
    if (!m_pageOpen || (m_y > 0 && m_y + m_lineHeight > m_pageHeight))
        openPage();
    const qreal baseline = m_y + m_ascent;
    m_y += m_lineHeight;

    const char16_t* chars = reinterpret_cast<const char16_t*>(text.utf16());
    const unsigned char* codes = m_font->codes.get();
    qsizetype n = text.size();
    // Blanks and gaps at the end draw nothing and move nothing after them.
    while (n > 0 && (codes[chars[n - 1]] == ' ' || codes[chars[n - 1]] == PdfTextFont::kGap))
        --n;
    if (n == 0)
        return;

    if (!m_fontSet) {
        if (!m_positioned)
            m_content += "BT\n";
        m_content += m_fontSelect;
        m_fontSet = true;
    }
    const bool next = m_positioned && std::abs(m_lastBaseline + m_lineHeight - baseline) < 1e-6;
    if (!next)
        m_content += "1 0 0 -1 0 " + number(baseline) + " Tm\n";
    m_positioned = true;
    m_lastBaseline = baseline;

    // A gap is a blank unless the face's blank is not as wide as the glyph it lacks.
    const bool adjustGaps = m_gapAdjust != 0;
    QByteArray gapShift;
    if (adjustGaps)
        gapShift = ") " + number(m_gapAdjust) + " (";
    const qsizetype start = m_content.size();
    // At worst every character escaped or shifted, plus the operator.
    m_content.resize(start + n * (2 + gapShift.size()) + 16);
    char* out = m_content.data() + start;
    if (adjustGaps) {
        if (next)
            *out++ = 'T', *out++ = '*', *out++ = ' ';
        *out++ = '[';
    }
    *out++ = '(';
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = codes[chars[i]];
        if (c == PdfTextFont::kGap) {
            *out++ = ' ';
            if (adjustGaps) {
                std::memcpy(out, gapShift.constData(), size_t(gapShift.size()));
                out += gapShift.size();
            }
            continue;
        }
        if (c == '(' || c == ')' || c == '\\')
            *out++ = '\\';
        *out++ = char(c);
    }
    *out++ = ')';
    const char* op = adjustGaps ? "] TJ\n" : next ? "'\n" : " Tj\n";
    const size_t opLength = std::strlen(op);
    std::memcpy(out, op, opLength);
    out += opLength;
    m_content.truncate(out - m_content.constData());
}

void PdfTextWriter::endPage()
{
    if (m_positioned || m_fontSet)
        m_content += "ET\n";
    const int contents = newObject();
    startObject(contents);
    write("<< /Length " + QByteArray::number(m_content.size()) + " >>\nstream\n");
    write(m_content);
    write("\nendstream\nendobj\n");
    const int page = newObject();
    startObject(page);
    write("<< /Type /Page /Parent 2 0 R /MediaBox " + m_mediaBox + " /Resources 4 0 R /Contents " +
          QByteArray::number(contents) + " 0 R >>\nendobj\n");
    m_pageObjects.append(page);
    m_content.clear();
    m_pageOpen = false;
}

void PdfTextWriter::writeFont(const UsedFont& used)
{
    const PdfTextFont& font = *used.font;
    const bool type1 = font.format == PdfTextFont::Format::Type1;

    const int file = newObject();
    startObject(file);
    // The program is compressed once per process, with the font.
    static QMutex mutex;
    static QHash<const PdfTextFont*, QByteArray> compressed;
    QByteArray body;
    {
        QMutexLocker lock(&mutex);
        auto it = compressed.find(&font);
        if (it == compressed.end())
            it = compressed.insert(&font, flate(font.program));
        body = *it;
    }
    QByteArray dict = "<< /Length " + QByteArray::number(body.size()) + " /Filter /FlateDecode /Length1 " +
                      QByteArray::number(font.length1);
    if (type1)
        dict +=
            " /Length2 " + QByteArray::number(font.length2) + " /Length3 " + QByteArray::number(font.length3);
    write(dict + " >>\nstream\n");
    write(body);
    write("\nendstream\nendobj\n");

    const int toUnicode = newObject();
    startObject(toUnicode);
    const QByteArray map = toUnicodeMap();
    write("<< /Length " + QByteArray::number(map.size()) + " >>\nstream\n" + map + "\nendstream\nendobj\n");

    // Flags: fixed pitch 1, nonsymbolic 32, italic 64.
    const int flags = (font.fixedPitch ? 1 : 0) | 32 | (font.italicAngle != 0 ? 64 : 0);
    const int descriptor = newObject();
    startObject(descriptor);
    write("<< /Type /FontDescriptor /FontName /" + font.name + " /Flags " + QByteArray::number(flags) +
          " /FontBBox [" + QByteArray::number(font.bbox[0]) + ' ' + QByteArray::number(font.bbox[1]) + ' ' +
          QByteArray::number(font.bbox[2]) + ' ' + QByteArray::number(font.bbox[3]) + "] /ItalicAngle " +
          number(font.italicAngle) + " /Ascent " + QByteArray::number(font.ascent) + " /Descent " +
          QByteArray::number(font.descent) + " /CapHeight " + QByteArray::number(font.capHeight) +
          " /StemV " + QByteArray::number(font.stemV) + " /MissingWidth " +
          QByteArray::number(font.missingWidth) + (type1 ? " /FontFile " : " /FontFile2 ") +
          QByteArray::number(file) + " 0 R >>\nendobj\n");

    QByteArray widths;
    for (int code = 32; code < 256; ++code)
        widths += QByteArray::number(font.widths[size_t(code)]) + (code % 16 == 15 ? '\n' : ' ');
    startObject(used.object);
    write("<< /Type /Font /Subtype " + QByteArray(type1 ? "/Type1" : "/TrueType") + " /BaseFont /" +
          font.name + " /FirstChar 32 /LastChar 255 /Widths [" + widths +
          "] /Encoding /WinAnsiEncoding /FontDescriptor " + QByteArray::number(descriptor) +
          " 0 R /ToUnicode " + QByteArray::number(toUnicode) + " 0 R >>\nendobj\n");
}

bool PdfTextWriter::finish()
{
    if (m_pageCount > 0)
        endPage();
    QByteArray fonts;
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        m_fonts[i].object = newObject();
        writeFont(m_fonts[i]);
        fonts += "/F" + QByteArray::number(i + 1) + ' ' + QByteArray::number(m_fonts[i].object) + " 0 R ";
    }
    startObject(kResources);
    write("<< /Font << " + fonts + ">> >>\nendobj\n");

    QByteArray kids;
    for (const int page : std::as_const(m_pageObjects))
        kids += QByteArray::number(page) + " 0 R\n";
    startObject(kPages);
    write("<< /Type /Pages /Count " + QByteArray::number(m_pageObjects.size()) + " /Kids [\n" + kids +
          "] >>\nendobj\n");
    startObject(kCatalog);
    write("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");

    const qint64 xref = m_offset;
    QByteArray table =
        "xref\n0 " + QByteArray::number(m_objectOffsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const qint64 offset : std::as_const(m_objectOffsets))
        table += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    write(table);
    write("trailer\n<< /Size " + QByteArray::number(m_objectOffsets.size() + 1) +
          " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    return !m_failed;
}
