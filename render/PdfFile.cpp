#include "render/PdfFile.h"

#include <QIODevice>

#include <cmath>

PdfFile::PdfFile(QIODevice* out) : m_out(out)
{
    write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
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
    QByteArray bytes("<FEFF");
    for (const QChar ch : text)
        bytes += QByteArray::number(ch.unicode(), 16).rightJustified(4, '0').toUpper();
    return bytes + '>';
}
