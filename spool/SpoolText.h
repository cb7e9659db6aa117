#pragma once

#include "text/Bytes.h"

#include <QByteArray>
#include <QByteArrayView>

/**
 * The spool text: every line of a spool file preceded by CR LF. It begins with CR LF and does
 * not end with one, so splitting it at CR LF gives an empty first piece and then the lines.
 */
namespace SpoolText {

/// Calls f(line) for each line, the empty first piece left out.
template <typename F> void forEachLine(const QByteArray& text, F f)
{
    const char* p = text.constData();
    const qsizetype n = text.size();
    if (n < 2)
        return;
    // Each line is searched for its end: a byte search for the CR, checked for its LF, costs
    // a fraction of a search for the two bytes together.
    const auto lineEnd = [&](qsizetype from) {
        for (qsizetype cr = Bytes::indexOf(text, '\r', from); cr >= 0;
             cr = Bytes::indexOf(text, '\r', cr + 1)) {
            if (cr + 1 < n && p[cr + 1] == '\n')
                return cr;
        }
        return qsizetype(-1);
    };
    qsizetype start = 2;
    for (;;) {
        const qsizetype end = lineEnd(start);
        if (end < 0) {
            f(QByteArrayView(p + start, n - start));
            return;
        }
        f(QByteArrayView(p + start, end - start));
        start = end + 2;
    }
}

/// Length of the line without its leading and trailing blanks (spaces only).
qsizetype trimmedLength(QByteArrayView line);

} // namespace SpoolText
