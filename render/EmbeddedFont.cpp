#include "render/EmbeddedFont.h"

#include "render/PdfFile.h"
#include "text/CodePage.h"

#include <QFile>
#include <QList>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>

namespace {

/// What a fontconfig match tells of its file's glyphs.
FaceFacts factsOf(FcPattern* match)
{
    FaceFacts facts;
    int spacing = FC_PROPORTIONAL;
    facts.monospaced =
        FcPatternGetInteger(match, FC_SPACING, 0, &spacing) == FcResultMatch && spacing == FC_MONO;
    FcCharSet* characters = nullptr;
    if (FcPatternGetCharSet(match, FC_CHARSET, 0, &characters) != FcResultMatch || !characters)
        return facts;
    FcChar32 map[FC_CHARSET_MAP_SIZE];
    FcChar32 next = 0;
    for (FcChar32 base = FcCharSetFirstPage(characters, map, &next);
         base != FC_CHARSET_DONE && base < 0x10000; base = FcCharSetNextPage(characters, map, &next)) {
        if (std::any_of(std::begin(map), std::end(map), [](FcChar32 bits) { return bits != 0; }))
            facts.pages.append(int(base >> 8));
    }
    return facts; // no page: every unit is looked up
}

} // namespace

char16_t EmbeddedFont::unicodeOfCode(int code)
{
    const char16_t u = CodePage::unicodeOf(static_cast<unsigned char>(code));
    return (u < 0x20 || (u >= 0x7F && u < 0xA0)) ? 0 : u;
}

std::shared_ptr<const EmbeddedFont> EmbeddedFont::fromData(const QByteArray& data, const QRawFont& raw,
                                                           bool everyUnit, const FaceFacts& facts)
{
    std::optional<FontFile> file = FontFile::read(data);
    if (!file || !raw.isValid())
        return nullptr;
    // The file must hold the face Qt draws, or the widths would not be its widths.
    const QRawFont fromFile(data, raw.pixelSize());
    if (!fromFile.isValid() || fromFile.familyName() != raw.familyName() ||
        fromFile.styleName() != raw.styleName())
        return nullptr;
    auto font = std::make_shared<EmbeddedFont>();
    font->file = std::move(*file);
    font->stemV = font->file.stemV;
    if (!font->measure(raw, everyUnit, facts))
        return nullptr;
    font->compressedProgram = PdfFile::deflated(font->file.program, 6);
    if (font->compressedProgram.isEmpty())
        return nullptr;
    return font;
}

bool EmbeddedFont::measure(const QRawFont& raw, bool everyUnit, const FaceFacts& facts)
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

    const auto advance = [&units](quint32 glyph) {
        QPointF a;
        units.advancesForGlyphIndexes(&glyph, &a, 1, QRawFont::UseDesignMetrics);
        return a.x();
    };
    qreal shared = -1; // the one advance of a monospaced face's glyphs
    const auto advanceOf = [&](quint32 glyph) {
        if (!facts.monospaced)
            return advance(glyph);
        if (shared < 0)
            shared = advance(glyph);
        return shared;
    };
    const auto glyphOf = [&raw](char16_t u) {
        const QChar ch(u);
        quint32 glyph = 0;
        int found = 1;
        return raw.glyphIndexesForChars(&ch, 1, &glyph, &found) ? glyph : 0;
    };
    const int questionCode = glyphOf(u'?') != 0 ? '?' : kGap;

    // Every UTF-16 unit but the surrogates, looked up as the Qt path looks them up, a block at a
    // time: the tables of a whole plane would be fresh memory faulted in page by page. Where
    // fontconfig tells the pages the face has characters on, only those are looked up: a face
    // of a few hundred glyphs leaves the rest gaps.
    constexpr int kUnits = 0x10000;
    constexpr int kBlock = 4096;
    codes.reset(new unsigned char[kUnits]);
    QList<std::pair<int, int>> blocks; // first unit, units
    for (int first = 0; everyUnit && facts.pages.isEmpty() && first < kUnits; first += kBlock)
        blocks.append({first, kBlock});
    for (const int page : facts.pages) {
        if (everyUnit && page >= 0 && page < kUnits / 256)
            blocks.append({page * 256, 256});
    }
    std::fill(codes.get(), codes.get() + kUnits, kGap); // the surrogates too: half a pair draws nothing
    std::array<QChar, kBlock> chars;
    std::array<quint32, kBlock> glyphs;
    for (const auto& [first, units] : std::as_const(blocks)) {
        int count = 0;
        for (int u = first; u < first + units; ++u) {
            if (u < 0xD800 || u > 0xDFFF)
                chars[size_t(count++)] = QChar(char16_t(u));
        }
        int found = count;
        if (count > 0 &&
            (!raw.glyphIndexesForChars(chars.data(), count, glyphs.data(), &found) || found != count))
            return false;
        for (int i = 0; i < count; ++i) {
            const char16_t u = chars[size_t(i)].unicode();
            // Control characters draw nothing, whatever glyph a face gives them.
            const bool control = u < 0x20 || (u >= 0x7F && u < 0xA0);
            codes[u] = glyphs[size_t(i)] != 0 && !control ? questionCode : kGap;
        }
    }
    for (int code = 0; code < 256; ++code) {
        const char16_t u = unicodeOfCode(code);
        widths[size_t(code)] = 0;
        if (u == 0)
            continue;
        if (const quint32 glyph = glyphOf(u)) {
            codes[u] = static_cast<unsigned char>(code);
            widths[size_t(code)] = thousandths(advanceOf(glyph));
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

std::shared_ptr<const EmbeddedFont> EmbeddedFonts::find(const QString& family, const QRawFont& raw, bool bold,
                                                        bool italic)
{
    const QString key = family + u'\n' + raw.familyName() + u'\n' + raw.styleName();
    if (const auto found = m_loaded.constFind(key); found != m_loaded.constEnd())
        return *found;
    std::shared_ptr<const EmbeddedFont> font;
    FaceFacts facts;
    QFile in(fileOfFamily(family, bold, italic, &facts));
    if (raw.isValid() && !in.fileName().isEmpty() && in.open(QIODevice::ReadOnly))
        font = EmbeddedFont::fromData(in.readAll(), raw, !bold && !italic, facts);
    m_loaded.insert(key, font);
    return font;
}

QString EmbeddedFonts::fileOfFamily(const QString& family, bool bold, bool italic, FaceFacts* facts)
{
    const int wantedWeight = bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
    const int wantedSlant = italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN;
    QString file;
    FcPattern* pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcPatternAddInteger(pattern, FC_WEIGHT, wantedWeight);
    FcPatternAddInteger(pattern, FC_SLANT, wantedSlant);
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
            FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) == FcResultMatch && weight == wantedWeight &&
            FcPatternGetInteger(match, FC_SLANT, 0, &slant) == FcResultMatch && slant == wantedSlant &&
            FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
            file = QFile::decodeName(reinterpret_cast<const char*>(path));
            if (facts)
                *facts = factsOf(match);
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}
