#include "spool/NameMatch.h"

#include <QChar>

#include <algorithm>

namespace {

template <typename Char, typename Equal>
bool matchSequence(const Char* pattern, qsizetype pn, const Char* name, qsizetype nn, Equal equal)
{
    // Iterative matcher with one backtrack point for the last "*".
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < nn) {
        if (p < pn && pattern[p] == Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pn && (pattern[p] == Char('?') || equal(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pn && pattern[p] == Char('*'))
        ++p;
    return p == pn;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

QList<char32_t> foldedCharacters(QByteArrayView bytes)
{
    QList<char32_t> out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t code = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < length; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                length = 0;
                break;
            }
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        if (length == 0 || (length > 1 && code < 0x80)) {
            out.append(0x110000 + b); // outside Unicode: equal only to the same byte
            ++i;
            continue;
        }
        out.append(QChar::toCaseFolded(code));
        i += length;
    }
    return out;
}

bool nameLess(const QByteArray& a, const QByteArray& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(lowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

bool hasWildcard(QByteArrayView text)
{
    return text.contains('*') || text.contains('?');
}

Wildcard::Wildcard(QByteArrayView pattern)
    : m_pattern(pattern.toByteArray()), m_folded(foldedCharacters(pattern)), m_ascii(isAscii(pattern))
{
    if (pattern.endsWith(".*"))
        m_foldedWithoutExtension = foldedCharacters(pattern.chopped(2));
}

bool Wildcard::matches(QByteArrayView name) const
{
    const auto sameAscii = [](char a, char b) { return lowerAscii(a) == lowerAscii(b); };
    const auto same = [](char32_t a, char32_t b) { return a == b; };
    bool matched;
    QList<char32_t> folded;
    if (m_ascii && isAscii(name)) {
        matched = matchSequence(m_pattern.constData(), m_pattern.size(), name.data(), name.size(), sameAscii);
    } else {
        folded = foldedCharacters(name);
        matched =
            matchSequence(m_folded.constData(), m_folded.size(), folded.constData(), folded.size(), same);
    }
    // As on the systems these programs come from, "REL.*" and "*.*" also take names without
    // an extension.
    if (matched || m_foldedWithoutExtension.isEmpty() || name.contains('.'))
        return matched;
    if (folded.isEmpty())
        folded = foldedCharacters(name);
    return matchSequence(m_foldedWithoutExtension.constData(), m_foldedWithoutExtension.size(),
                         folded.constData(), folded.size(), same);
}

bool wildcardMatch(QByteArrayView pattern, QByteArrayView name)
{
    return Wildcard(pattern).matches(name);
}
