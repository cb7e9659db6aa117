#pragma once

#include <QByteArray>

#include <array>
#include <optional>

/// A font file as a PDF can carry it whole: a Type 1 font in PFB segments (FontFile) or a
/// TrueType font (FontFile2). Read from bytes only, so any input is safe to hand to it.
struct FontFile
{
    enum class Format
    {
        Type1,
        TrueType
    };

    /// The PostScript name of the face, as the PDF names it.
    QByteArray name;
    Format format = Format::Type1;
    /// The font program as the file has it (PFB segment headers taken out).
    QByteArray program;
    /// Type 1: lengths of the clear text, encrypted and trailing parts of the program.
    int length1 = 0;
    int length2 = 0;
    int length3 = 0;
    std::array<int, 4> bbox{};
    /// Type 1 only: the dominant vertical stem of the private dictionary; 0 when unknown.
    int stemV = 0;
    double italicAngle = 0;
    bool fixedPitch = false;

    /// A Type 1 (PFB) or TrueType file by its first bytes; nothing when it is neither, is
    /// damaged, or may not be embedded.
    static std::optional<FontFile> read(const QByteArray& data);
    static std::optional<FontFile> readType1(const QByteArray& data);
    static std::optional<FontFile> readTrueType(const QByteArray& data);
};
