// Renders one spool file the way a graphical job draws it, into a PDF file instead of a
// queue: render_bench [--qt] INPUT OUTPUT.pdf (--qt: drawn by Qt even where the face's file
// could be written directly as PDF text). Prints the page count, the milliseconds spent from
// reading the file to the finished PDF ("ms"), and for the same stretch the page faults and the
// CPU milliseconds ("faults", "cpu"): on a busy machine the CPU time is the steadier figure, and
// fresh memory touched page by page is a large part of it.

#include "platform/CupsPrintingService.h"
#include "platform/PosixFileServices.h"
#include "spool/Asker.h"
#include "spool/PrintJob.h"
#include "spool/Reader.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <sys/resource.h>

namespace {

/// The printing service with its documents written to a file instead of a queue.
class FilePrinting : public CupsPrintingService
{
public:
    using CupsPrintingService::CupsPrintingService;
    QString path;
    int pages = 0;

protected:
    PrintError submit(const QString&, const QString&, const QByteArray& pdf, int pageCount,
                      SubmittedJob*) override
    {
        pages = pageCount;
        QFile out(path);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(pdf) == pdf.size() &&
            out.flush())
            return PrintError();
        return PrintError::other(path + QStringLiteral(": ") + out.errorString());
    }
    PrintError submitFile(const QString&, const QString&, QIODevice& pdf, int pageCount,
                          SubmittedJob*) override
    {
        pages = pageCount;
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return PrintError::other(path + QStringLiteral(": ") + out.errorString());
        QByteArray block(64 * 1024, Qt::Uninitialized);
        qint64 n = 0;
        while ((n = pdf.read(block.data(), block.size())) > 0) {
            if (out.write(block.constData(), n) != n)
                break;
        }
        if (n == 0 && out.flush())
            return PrintError();
        return PrintError::other(path + QStringLiteral(": ") +
                                 (n < 0 ? pdf.errorString() : out.errorString()));
    }
};

/// The benchmark never retries a failed reading.
class NoRetry : public Asker
{
public:
    Answer ask(const QString&, Options, const QString&) override { return Answer::No; }
    void inform(const QString&, const QString&) override {}
};

/// Pages the process touched for the first time so far: fresh memory costs a fault a page.
long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

/// CPU time of the process so far, user and system.
double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const bool qtOnly = argc >= 4 && QByteArray(argv[1]) == "--qt";
    if (qtOnly) {
        --argc;
        ++argv;
    }
    CodePage::Encoding encoding = CodePage::Encoding::Windows1252;
    if (argc == 5 && QByteArray(argv[1]) == "--codepage") {
        encoding = CodePage::encodingByName(QString::fromLatin1(argv[2])).value_or(encoding);
        argc -= 2;
        argv += 2;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: render_bench [--qt] [--codepage 850] INPUT OUTPUT.pdf\n");
        return 2;
    }
    FilePrinting printing(qtOnly ? RenderPath::Painter : RenderPath::Best);
    printing.path = QFile::decodeName(argv[2]);
    // The face list is read once per process; keep it out of the per-job figure.
    printing.faceNames();

    const long faultsBefore = minorFaults();
    const double cpuBefore = cpuMs();
    QElapsedTimer clock;
    clock.start();
    PosixFileServices files;
    NoRetry asker;
    const LeituraConteudo read = le_conteudo(QByteArray(), QByteArray(argv[1]), files, asker);
    if (!read.ok) {
        std::fprintf(stderr, "render_bench: %s\n", qPrintable(read.error));
        return 1;
    }
    Document document = imprime_documento(read.text, encoding);
    document.shape().face = seleciona_fonte(printing.faceNames(), QStringLiteral("Courier"));
    document.shape().points = tamanho_fonte(read.widestColumns).toFloat();
    const PrintError failed =
        printing.print(printing.defaultPrinter(), document, QFile::decodeName(argv[1]), nullptr);
    if (!failed.isNone()) {
        std::fprintf(stderr, "render_bench: %s\n", qPrintable(failed.text));
        return 1;
    }
    const qint64 ms = clock.elapsed();
    std::printf("pages %d ms %lld faults %ld cpu %.1f\n", printing.pages, static_cast<long long>(ms),
                minorFaults() - faultsBefore, cpuMs() - cpuBefore);
    return 0;
}
