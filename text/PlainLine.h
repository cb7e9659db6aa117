#pragma once

#include "text/Bytes.h"

#include <QByteArrayView>

/// How a line of a plain file is printed: what a lone CR overprints, and what draws nothing.
namespace PlainLine {

/// The line without its trailing blanks (spaces and tabs), which draw nothing.
inline QByteArrayView withoutTrailingBlanks(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && (bytes.back() == ' ' || bytes.back() == '\t'))
        bytes.chop(1);
    return bytes;
}

/// Calls @p f with each part of a line that a lone CR in it overprints, from column 0 of the
/// same line, the first part first.
template <typename F> void forEachOverprint(QByteArrayView line, F f)
{
    for (qsizetype cr = Bytes::indexOf(line, '\r'); cr >= 0; cr = Bytes::indexOf(line, '\r')) {
        f(line.first(cr));
        line = line.sliced(cr + 1);
    }
    f(line);
}

} // namespace PlainLine
