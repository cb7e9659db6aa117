#pragma once

#include <QByteArrayView>

#include <cstring>

/// Byte searches on a view of spool text. QByteArrayView's own indexOf(char) goes through Qt's
/// general substring search, which costs several times what memchr does on every line.
namespace Bytes {

/// Where @p c first stands in @p bytes at or after @p from; -1 when it does not.
inline qsizetype indexOf(QByteArrayView bytes, char c, qsizetype from = 0)
{
    if (from < 0 || from >= bytes.size())
        return -1;
    const void* at = std::memchr(bytes.data() + from, c, size_t(bytes.size() - from));
    return at ? static_cast<const char*>(at) - bytes.data() : -1;
}

inline bool contains(QByteArrayView bytes, char c)
{
    return indexOf(bytes, c) >= 0;
}

} // namespace Bytes
