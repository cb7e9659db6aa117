// Page layout of a plain document: pages begin only with a printed line, nothing undrawable is drawn.
#include "spool/Documents.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The input stands for the spool text's lines, split at LF.
    QByteArray text;
    for (const QByteArray& line :
         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n')) {
        if (line.contains('\r'))
            continue;
        text += "\r\n" + line;
    }
    if (size == 0)
        text.clear();
    int lines = 0;
    bool lastWasBlank = false;
    imprime_linhas(text).pages([&](PrintedPage&& page) {
        // A break before the first line would print a blank first sheet.
        if (lines == 0 && (page.lines.isEmpty() || page.continued))
            std::abort();
        for (const PrintedLine& line : std::as_const(page.lines)) {
            const QByteArray bytes = line.text();
            if (bytes.contains('\f') || bytes.contains('\r') || bytes.contains('\n'))
                std::abort();
            ++lines;
        }
        lastWasBlank = page.lines.isEmpty();
    });
    if (lastWasBlank) // a break after the last line would print a blank last sheet
        std::abort();
    return 0;
}
