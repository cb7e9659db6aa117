#pragma once

#include <QByteArray>
#include <QList>

/// An ASCII capital made small; every other byte as it is.
inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

/// The characters of a file name, case-folded: a UTF-8 sequence is one character; a byte that
/// is not valid UTF-8 stands for itself, apart from every character.
QList<char32_t> foldedCharacters(QByteArrayView bytes);

/// The order of names: ASCII letters without regard to case, then the bytes as they are.
bool nameLess(const QByteArray& a, const QByteArray& b);

/// True when the text holds "*" or "?".
bool hasWildcard(QByteArrayView text);

/// A last path component with "*" (any run) and "?" (one character), letters in any case.
class Wildcard
{
public:
    explicit Wildcard(QByteArrayView pattern);
    bool matches(QByteArrayView name) const;

private:
    QByteArray m_pattern;
    QList<char32_t> m_folded;
    QList<char32_t> m_foldedWithoutExtension; ///< "REL.*" as "REL", for names without "."
    bool m_ascii = true;
};

/// True when name matches the wildcard pattern.
bool wildcardMatch(QByteArrayView pattern, QByteArrayView name);
