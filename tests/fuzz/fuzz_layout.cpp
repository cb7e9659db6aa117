// Page layout of a print job: pages begin only with a printed line, nothing undrawable is drawn.
#include "spool/PrintJob.h"
#include "spool/PrintingService.h"

#include <cstdlib>

namespace {
class CheckingPrinter : public PrintingService
{
public:
    QList<PrinterInfo> printers() override { return {}; }
    bool selectPrinter(int) override { return true; }
    QString currentPrinter() const override { return QStringLiteral("P"); }
    QStringList faceNames() override { return {}; }
    void setFaceName(const QString&) override {}
    void setBold(bool) override {}
    void setItalic(bool) override {}
    void setUnderline(bool) override {}
    void setPointSize(float) override {}
    void setJobTitle(const QString&) override {}
    void printLine(const QString& line) override
    {
        if (line.contains(u'\f') || line.contains(u'\t') || line.contains(u'\r') || line.contains(u'\n'))
            std::abort();
        ++lines;
        lastWasPage = false;
    }
    void newPage() override
    {
        if (lines == 0) // a break before the first line would print a blank first sheet
            std::abort();
        ++pages;
        lastWasPage = true;
    }
    bool endDocument() override { return true; }
    QString errorString() const override { return QString(); }

    int lines = 0;
    int pages = 0;
    bool lastWasPage = false;
};
} // namespace

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
    CheckingPrinter printer;
    imprime_linhas(text, printer);
    if (printer.lastWasPage) // a break after the last line would print a blank last sheet
        std::abort();
    return 0;
}
