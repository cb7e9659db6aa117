#include "spool/Documents.h"

#include "text/CharacterTables.h"
#include "text/EscP.h"

#include <algorithm>

Document imprime_codigos(QByteArrayView file, CodePage::Encoding encoding, int linesPerPage, bool* cutShort,
                         int pins)
{
    EscP::Options options;
    options.formLines = linesPerPage;
    options.pins = pins;
    // The file is read twice, a page at a time: to measure it here, then to hand its pages on
    // when they are drawn, so that no copy of the whole file is held besides the spool text.
    const QList<bool> needsFallback = bytesNeedingFallback(encoding);
    DocumentShape shape;
    shape.encoding = encoding;
    int pagesWithLines = 0; // pages without a line at the end (after a last form feed) print no sheet
    int pages = 0;
    const PrintedDocument measured = EscP::interpret(
        file,
        [&](PrintedPage&& page) {
            ++pages;
            if (!page.lines.isEmpty())
                pagesWithLines = pages;
            shape.printerPageInches = std::max(shape.printerPageInches, qreal(page.length) / kUnitsPerInch);
            for (const PrintedLine& line : std::as_const(page.lines)) {
                for (const StyledRun& run : line.runs) {
                    shape.widestCells = std::max(shape.widestCells, run.end()); // runs may go back
                    if (shape.needsFallbackFace)
                        break;
                    // A run in a table of its own, or with ESC R's characters, is decoded to be looked at.
                    if (needsFallback.isEmpty() || run.style.table || run.style.national != 0) {
                        const QString chars = runText(run, encoding);
                        shape.needsFallbackFace =
                            !std::all_of(chars.begin(), chars.end(), drawnWithoutFallback);
                    } else {
                        shape.needsFallbackFace =
                            std::any_of(run.text.begin(), run.text.end(),
                                        [&needsFallback](char b) { return needsFallback[uchar(b)]; });
                    }
                }
            }
        },
        options);
    if (shape.printerPageInches <= 0)
        shape.printerPageInches = 11;
    // A PCL job's orientation is the sheet's.
    shape.landscape = measured.landscape;
    if (cutShort)
        *cutShort = measured.cutShortAt >= 0;
    return Document(shape, [file, options, pagesWithLines](const PageSink& sink) {
        int page = 0;
        EscP::interpret(
            file,
            [&](PrintedPage&& printed) {
                if (++page <= pagesWithLines)
                    sink(std::move(printed));
            },
            options);
    });
}

Document imprime_documento(const QByteArray& text, CodePage::Encoding encoding, int linesPerPage,
                           bool* cutShort, int pins)
{
    if (cutShort)
        *cutShort = false;
    // Backspace overstrikes (bold and underline as groff writes them) are printer work too.
    if (EscP::carriesPrinterCodes(text) || text.contains('\b')) {
        // The spool text puts a line end before the first line; the file itself has none there.
        const QByteArrayView file =
            text.startsWith("\r\n") ? QByteArrayView(text).sliced(2) : QByteArrayView(text);
        return imprime_codigos(file, encoding, linesPerPage, cutShort, pins);
    }
    return imprime_linhas(text, encoding, linesPerPage);
}
