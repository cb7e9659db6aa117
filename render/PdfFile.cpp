#include "render/PdfFile.h"

#include <cstring>

#include <QIODevice>

#include <cmath>
#include <libdeflate.h>

namespace {

/// Streams shorter than this are written as they are: zlib's header and checksum would eat the
/// little they save.
constexpr qsizetype kSmallestPacked = 128;

} // namespace

PdfFile::PdfFile(QIODevice* out) : m_out(out)
{
    write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
}

PdfFile::~PdfFile() = default;

void PdfFile::FreeCompressor::operator()(libdeflate_compressor* compressor) const
{
    libdeflate_free_compressor(compressor);
}

int PdfFile::newObject()
{
    m_offsets.append(0);
    return int(m_offsets.size());
}

void PdfFile::startObject(int id)
{
    m_offsets[id - 1] = m_offset;
    write(QByteArray::number(id) + " 0 obj\n");
}

void PdfFile::write(const QByteArray& bytes)
{
    if (m_failed)
        return;
    if (m_out->write(bytes) != bytes.size())
        m_failed = true;
    m_offset += bytes.size();
}

void PdfFile::writeStream(const QByteArray& entries, const char* data, qsizetype size)
{
    // The fastest level: a page of text shrinks to about a seventh all the same, and the time
    // spent here is added to every page of every job.
    qsizetype packedSize = 0;
    if (size >= kSmallestPacked) {
        if (!m_deflate)
            m_deflate.reset(libdeflate_alloc_compressor(1));
        if (m_deflate) {
            const auto bound = qsizetype(libdeflate_zlib_compress_bound(m_deflate.get(), size_t(size)));
            if (m_packed.size() < bound)
                m_packed.resize(bound);
            packedSize = qsizetype(libdeflate_zlib_compress(m_deflate.get(), data, size_t(size),
                                                            m_packed.data(), size_t(bound)));
        }
    }
    const bool packed = packedSize > 0 && packedSize < size;
    const qsizetype length = packed ? packedSize : size;
    QByteArray dict =
        "<< " + entries + (entries.isEmpty() ? "" : " ") + "/Length " + QByteArray::number(length);
    if (packed)
        dict += " /Filter /FlateDecode";
    write(dict + " >>\nstream\n");
    write(QByteArray::fromRawData(packed ? m_packed.constData() : data, length));
    write("\nendstream\nendobj\n");
}

bool PdfFile::finish(int catalog, int info)
{
    const qint64 xref = m_offset;
    QByteArray table = "xref\n0 " + QByteArray::number(m_offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const qint64 offset : std::as_const(m_offsets))
        table += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    write(table);
    write("trailer\n<< /Size " + QByteArray::number(m_offsets.size() + 1) + " /Root " + ref(catalog) +
          " /Info " + ref(info) + " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    return !m_failed;
}

QByteArray PdfFile::ref(int id)
{
    return QByteArray::number(id) + " 0 R";
}

QByteArray PdfFile::number(double value)
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

void PdfFile::appendNumber(QByteArray& out, double value, char after)
{
    char buffer[32];
    char* end = buffer + sizeof buffer;
    char* p = end;
    *--p = after;
    long long hundredths = std::llround(value * 100);
    const bool negative = hundredths < 0;
    if (negative)
        hundredths = -hundredths;
    if (const int cents = int(hundredths % 100)) {
        if (cents % 10)
            *--p = char('0' + cents % 10);
        *--p = char('0' + cents / 10);
        *--p = '.';
    }
    long long whole = hundredths / 100;
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (negative && hundredths != 0)
        *--p = '-';
    out.append(p, end - p);
}

QByteArray PdfFile::text(const QString& text)
{
    // Every line of a framed report carries one: written in one pass, without temporaries.
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray bytes(6 + text.size() * 4, Qt::Uninitialized);
    char* out = bytes.data();
    std::memcpy(out, "<FEFF", 5);
    out += 5;
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        *out++ = kHex[u >> 12];
        *out++ = kHex[(u >> 8) & 0xF];
        *out++ = kHex[(u >> 4) & 0xF];
        *out++ = kHex[u & 0xF];
    }
    *out = '>';
    return bytes;
}
