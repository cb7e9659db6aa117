#include "spool/LogText.h"

namespace {

bool escaped(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

} // namespace

QString shownInLog(const QString& text)
{
    qsizetype first = 0;
    while (first < text.size() && !escaped(text[first].unicode()))
        ++first;
    if (first == text.size())
        return text; // the usual line, shared rather than copied
    QString shown = text.first(first);
    shown.reserve(text.size() + 16);
    static const char hex[] = "0123456789ABCDEF";
    for (const QChar ch : QStringView(text).sliced(first)) {
        const char16_t c = ch.unicode();
        if (!escaped(c)) {
            shown += ch;
            continue;
        }
        shown += c > 0xFF ? QLatin1String("\\u") : QLatin1String("\\x");
        for (int shift = c > 0xFF ? 12 : 4; shift >= 0; shift -= 4)
            shown += QLatin1Char(hex[(c >> shift) & 0xF]);
    }
    return shown;
}
