#include "text/CodePage.h"

#include <cstring>

namespace {
// 0x80..0xFF; the five holes of the code page map to the C1 controls of the same value, and
// 0xA0..0xFF are Latin-1's.
constexpr CodePage::UpperHalf kUpper = [] {
    constexpr char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    CodePage::UpperHalf upper{};
    for (int i = 0; i < 128; ++i)
        upper[size_t(i)] = i < 32 ? high[i] : char16_t(0x80 + i);
    return upper;
}();

/// Where the first byte at or above 0x80 is; the size when there is none. Spool text is mostly
/// ASCII, so eight bytes are looked at a time.
qsizetype firstHighByte(const unsigned char* p, qsizetype n)
{
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, p + i, sizeof word);
        if (word & 0x8080808080808080ULL)
            break;
    }
    while (i < n && p[i] < 0x80)
        ++i;
    return i;
}
} // namespace

char16_t CodePage::unicodeOf(unsigned char code)
{
    return code >= 0x80 ? kUpper[code - 0x80] : char16_t(code);
}

QString CodePage::decodeSingleByte(QByteArrayView bytes, const UpperHalf& upper)
{
    if (bytes.isEmpty())
        return QString(0, Qt::Uninitialized);
    // Qt widens Latin-1 many bytes at a time; only the bytes above ASCII are looked up after.
    QString out = QString::fromLatin1(bytes);
    const auto* src = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = firstHighByte(src, n);
    if (i == n)
        return out;
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (; i < n; ++i) {
        if (src[i] >= 0x80)
            dst[i] = upper[src[i] - 0x80];
    }
    return out;
}

QString CodePage::decode(QByteArrayView bytes)
{
    return decodeSingleByte(bytes, kUpper);
}

QByteArray CodePage::encode(const QString& text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char* dst = out.data();
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        char b = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            b = static_cast<char>(u);
        } else {
            for (int i = 0; i < 32; ++i) {
                if (kUpper[size_t(i)] == u) {
                    b = static_cast<char>(0x80 + i);
                    break;
                }
            }
        }
        *dst++ = b;
    }
    return out;
}
