#include "render/PdfTextRenderer.h"

#include "render/EmbeddedFont.h"

#include <QImage>

namespace {

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
        if (const char16_t u = EmbeddedFont::unicodeOfCode(code)) {
            chars += '<' + QByteArray::number(code, 16).toUpper() + "> <" +
                     QByteArray::number(u, 16).rightJustified(4, '0').toUpper() + ">\n";
            ++count;
        }
    }
    map += QByteArray::number(count) + " beginbfchar\n" + chars + "endbfchar\n";
    return map + kToUnicodeTail;
}

} // namespace

void PdfTextRenderer::writeFont(int fontObject, const EmbeddedFont& font)
{
    const FontFile& file = font.file;
    const bool type1 = file.format == FontFile::Format::Type1;

    const int program = m_file->newObject();
    m_file->startObject(program);
    QByteArray dict = "<< /Length " + QByteArray::number(font.compressedProgram.size()) +
                      " /Filter /FlateDecode /Length1 " + QByteArray::number(file.length1);
    if (type1)
        dict +=
            " /Length2 " + QByteArray::number(file.length2) + " /Length3 " + QByteArray::number(file.length3);
    m_file->write(dict + " >>\nstream\n");
    m_file->write(font.compressedProgram);
    m_file->write("\nendstream\nendobj\n");

    const int toUnicode = m_file->newObject();
    m_file->startObject(toUnicode);
    const QByteArray map = toUnicodeMap();
    m_file->writeStream(QByteArray(), map.constData(), map.size());

    // Flags: fixed pitch 1, nonsymbolic 32, italic 64.
    const int flags = (file.fixedPitch ? 1 : 0) | 32 | (file.italicAngle != 0 ? 64 : 0);
    const int descriptor = m_file->newObject();
    m_file->startObject(descriptor);
    m_file->write(
        "<< /Type /FontDescriptor /FontName /" + file.name + " /Flags " + QByteArray::number(flags) +
        " /FontBBox [" + QByteArray::number(file.bbox[0]) + ' ' + QByteArray::number(file.bbox[1]) + ' ' +
        QByteArray::number(file.bbox[2]) + ' ' + QByteArray::number(file.bbox[3]) + "] /ItalicAngle " +
        PdfFile::number(file.italicAngle) + " /Ascent " + QByteArray::number(font.ascent) + " /Descent " +
        QByteArray::number(font.descent) + " /CapHeight " + QByteArray::number(font.capHeight) + " /StemV " +
        QByteArray::number(font.stemV) + " /MissingWidth " + QByteArray::number(font.missingWidth) +
        (type1 ? " /FontFile " : " /FontFile2 ") + PdfFile::ref(program) + " >>\nendobj\n");

    QByteArray widths;
    for (int code = 32; code < 256; ++code)
        widths += QByteArray::number(font.widths[size_t(code)]) + (code % 16 == 15 ? '\n' : ' ');
    m_file->startObject(fontObject);
    m_file->write("<< /Type /Font /Subtype " + QByteArray(type1 ? "/Type1" : "/TrueType") + " /BaseFont /" +
                  file.name + " /FirstChar 32 /LastChar 255 /Widths [" + widths +
                  "] /Encoding /WinAnsiEncoding /FontDescriptor " + PdfFile::ref(descriptor) +
                  " /ToUnicode " + PdfFile::ref(toUnicode) + " >>\nendobj\n");
}

void PdfTextRenderer::drawRule(const QRectF& rect)
{
    fill(rect, 0);
}

void PdfTextRenderer::drawImage(const PageImage& image, const QRectF& place)
{
    // An image mask paints its set bits in the fill colour, black here.
    const int object = m_file->newObject();
    m_file->startObject(object);
    const qsizetype row = image.bytesPerRow();
    m_file->writeStream("/Type /XObject /Subtype /Image /Width " + QByteArray::number(image.width) +
                            " /Height " + QByteArray::number(image.height) +
                            " /ImageMask true /BitsPerComponent 1 /Decode [1 0]",
                        image.bits.constData(), row * image.height);
    const QByteArray name = "/Im" + QByteArray::number(object);
    m_images += name + ' ' + PdfFile::ref(object) + ' ';
    // Rules and images are drawn in the order they came. The page is drawn upside down (y grows
    // downwards): the image's first row goes on top.
    flushFills();
    m_graphics += "q 0 g ";
    for (const qreal n : {place.width(), 0.0, 0.0, -place.height(), place.x(), place.y() + place.height()})
        PdfFile::appendNumber(m_graphics, n);
    m_graphics += "cm " + name + " Do Q\n";
}
