#pragma once

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
    qsizetype start = 2;
    for (;;) {
        const qsizetype end = text.indexOf("\r\n", start);
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
