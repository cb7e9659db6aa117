#pragma once

#include "render/FontFile.h"

#include <QHash>
#include <QList>
#include <QRawFont>
#include <QString>

#include <array>
#include <memory>

/// What fontconfig tells of a face's file beside its path.
struct FaceFacts
{
    /// Every glyph as wide: one advance is measured for all (loading a Type 1 glyph to measure
    /// it costs as much as drawing a page).
    bool monospaced = false;
    /// The pages of 256 UTF-16 units the face has characters on; empty when not known, and
    /// then every unit is looked up.
    QList<int> pages;
};

/**
 * A font file measured the way Qt draws its face, ready to embed as a simple font in
 * Windows-1252 order (/WinAnsiEncoding): widths, descriptor metrics and the code of each
 * UTF-16 unit.
 */
struct EmbeddedFont
{
    FontFile file;
    /// The program as the PDF stream holds it (zlib), compressed once with the font.
    QByteArray compressedProgram;

    /// Advance of each Windows-1252 code, thousandths of an em.
    std::array<int, 256> widths{};
    /// Advance of a character the face lacks, thousandths of an em.
    int missingWidth = 0;
    int ascent = 0;
    int descent = 0;
    int capHeight = 0;
    int stemV = 0;
    /// Every code the face draws has the same width.
    bool uniformWidths = false;

    /// What a UTF-16 unit becomes in a line: its Windows-1252 code; kGap when the face has no
    /// glyph for it (nothing drawn, the column kept, as the painter path does); '?' when the
    /// face has one but the code page has not. A bold or italic face maps only its code page's
    /// characters: their runs are shown with the regular face's codes, and looking up every
    /// unit costs as much as the rest of a short job.
    static constexpr unsigned char kGap = 0;
    std::unique_ptr<unsigned char[]> codes;

    /// The character a code draws under /WinAnsiEncoding; 0 for codes without a glyph name
    /// (controls, DEL and the holes of the code page, which viewers may draw as bullets).
    static char16_t unicodeOfCode(int code);

    /// The face in these bytes, drawn the way @p raw draws it; null when the bytes are not a
    /// font a PDF can carry whole, or hold another face than @p raw. @p everyUnit: whether
    /// codes maps every UTF-16 unit, or only the code page's characters.
    /// @p facts: what fontconfig found of the face, to measure and map it with less work.
    static std::shared_ptr<const EmbeddedFont> fromData(const QByteArray& data, const QRawFont& raw,
                                                        bool everyUnit = true, const FaceFacts& facts = {});

private:
    bool measure(const QRawFont& raw, bool everyUnit, const FaceFacts& facts);
};

/// The faces a PDF can carry, found with fontconfig and read once per owner.
class EmbeddedFonts
{
public:
    /// The face of @p raw's family in its own file (bold and italic as asked); null when it
    /// has none a PDF can carry.
    std::shared_ptr<const EmbeddedFont> find(const QString& family, const QRawFont& raw, bool bold = false,
                                             bool italic = false);

    /// The file fontconfig gives for a family in its regular upright style, or its bold or
    /// italic one; empty when fontconfig knows no file of exactly that family and style.
    /// @p facts, when given, gets what fontconfig knows of the file's glyphs.
    static QString fileOfFamily(const QString& family, bool bold = false, bool italic = false,
                                FaceFacts* facts = nullptr);

private:
    QHash<QString, std::shared_ptr<const EmbeddedFont>> m_loaded;
};
