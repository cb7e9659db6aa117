#pragma once

#include <QByteArray>
#include <QList>
#include <QPageLayout>
#include <QRawFont>
#include <QString>

#include <array>
#include <memory>

class QIODevice;

/**
 * A font file that a PDF can carry as it is: a Type 1 font in PFB segments (FontFile) or a
 * TrueType font (FontFile2), used as a simple font in Windows-1252 order (/WinAnsiEncoding).
 * Its widths and descriptor come from the file and from Qt's own reading of the face.
 */
class PdfTextFont
{
public:
    enum class Format
    {
        Type1,
        TrueType
    };

    /// The face in this file, drawn the way the Qt path draws @p raw; null when the file is
    /// not a Type 1 or TrueType font we can carry whole, or holds another face than @p raw.
    /// Files are read once per process.
    static std::shared_ptr<const PdfTextFont> load(const QString& file, const QRawFont& raw);
    /// The file fontconfig gives for a family in its regular upright style; empty when
    /// fontconfig knows no file of exactly that family.
    static QString fileOfFamily(const QString& family);

    /// The PostScript name of the face, as the PDF names it.
    QByteArray name;
    Format format = Format::Type1;
    /// The font program as the file has it (PFB segment headers taken out).
    QByteArray program;
    /// Type 1: lengths of the clear text, encrypted and trailing parts of the program.
    int length1 = 0;
    int length2 = 0;
    int length3 = 0;

    /// Advance of each Windows-1252 code, thousandths of an em.
    std::array<int, 256> widths{};
    /// Advance of a character the face lacks, thousandths of an em.
    int missingWidth = 0;
    std::array<int, 4> bbox{};
    int ascent = 0;
    int descent = 0;
    int capHeight = 0;
    int stemV = 0;
    double italicAngle = 0;
    bool fixedPitch = false;
    /// Every code the face draws has the same width.
    bool uniformWidths = false;

    /// What a UTF-16 unit becomes in a line: its Windows-1252 code; kGap when the face has no
    /// glyph for it (nothing drawn, the column kept, as the Qt path does); '?' when the face
    /// has one but the code page has not.
    static constexpr unsigned char kGap = 0;
    std::unique_ptr<unsigned char[]> codes;

private:
    bool readType1(const QByteArray& file);
    bool readTrueType(const QByteArray& file);
    bool measure(const QRawFont& raw);
};

/**
 * Writes a PDF of text lines directly: one text object per page, one show operator per
 * line, the fonts embedded whole. Coordinates, page boxes and the line advance follow Qt's
 * PDF engine with the same page layout and resolution, so a page looks as the Qt path draws it.
 */
class PdfTextWriter
{
public:
    PdfTextWriter(QIODevice* out, const QPageLayout& layout, int resolution);

    /// Writes the file header; false when the device refuses it.
    bool begin(const QString& title, const QString& creator);
    /// The face and size of the lines to come. @p raw is at the pixel size the lines are drawn;
    /// its ascent, descent and leading give the line advance.
    void setFont(const std::shared_ptr<const PdfTextFont>& font, const QRawFont& raw);
    /// Draws one line below the last; a full page continues on a new one. The first line
    /// begins the first page.
    void line(const QString& text);
    /// Begins a new page; the first call begins the first.
    void openPage();
    /// Ends the document; false when writing failed.
    bool finish();

    int pages() const { return m_pageCount; }
    bool hasFont() const { return m_font != nullptr; }

private:
    struct UsedFont
    {
        std::shared_ptr<const PdfTextFont> font;
        int object = 0;
    };

    int newObject();
    void startObject(int id);
    void write(const QByteArray& bytes);
    void endPage();
    void writeFont(const UsedFont& used);

    QIODevice* m_out;
    qint64 m_offset = 0;
    bool m_failed = false;
    QList<qint64> m_objectOffsets; // index = object id - 1
    QList<int> m_pageObjects;
    QList<UsedFont> m_fonts;

    QByteArray m_pageStart; // the device space of Qt's engine
    QByteArray m_mediaBox;
    qreal m_pageHeight = 0;

    std::shared_ptr<const PdfTextFont> m_font;
    int m_fontIndex = -1;
    QByteArray m_fontSelect; // Tf and TL of the current font
    qreal m_pixelSize = 0;
    qreal m_ascent = 0;
    qreal m_lineHeight = 0;
    qreal m_charSpacing = 0; // Tc: from the face's width to Qt's advance
    qreal m_gapAdjust = 0;   // TJ shift of a gap where it is not a blank's width

    int m_pageCount = 0;
    bool m_pageOpen = false;
    QByteArray m_content;
    qreal m_y = 0;
    bool m_positioned = false; // the text matrix is on the last baseline
    bool m_fontSet = false;    // the page's text state has the current font
    qreal m_lastBaseline = 0;
};
