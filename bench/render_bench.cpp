// Renders one spool file the way a graphical job draws it, into a PDF file instead of a
// queue: render_bench [--qt] INPUT OUTPUT.pdf (--qt: drawn by Qt even where the face's file
// could be written directly as PDF text). INPUT "--picture" draws instead a printer's page
// holding one bit image of a whole sheet at 240 x 216 dpi (a logo, boxes and text drawn as
// dots, as Ghostscript's Epson drivers print a page). Prints the page count, the milliseconds spent from
// reading the file to the finished PDF ("ms"), and for the same stretch the page faults and the
// CPU milliseconds ("faults", "cpu"): on a busy machine the CPU time is the steadier figure, and
// fresh memory touched page by page is a large part of it.

#include "platform/PdfDocuments.h"
#include "platform/PosixFileServices.h"
#include "spool/Asker.h"
#include "spool/PrintJob.h"
#include "spool/Reader.h"
#include "spool/Timer.h"
#include "spool/WindowServices.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <sys/resource.h>

namespace {

/// A file instead of a queue as the PDF's destination: the drawing, the buffer and the hand-over
/// are the printing service's own, and no print server is asked or loaded.
class FileDestination : public PdfDestination
{
public:
    QString path;
    int pages = 0;

    bool sheet(const QByteArray&, QPageLayout* sheet, PrintError*) override
    {
        // The sheet a printer without a medium of its own gets.
        *sheet = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                             QPageLayout::Point);
        return true;
    }
    PrintError submit(const QString&, const QByteArray& pdf, int pageCount, SubmittedJob*) override
    {
        pages = pageCount;
        QFile out(path);
        if (out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(pdf) == pdf.size() &&
            out.flush())
            return PrintError();
        return PrintError::other(path + QStringLiteral(": ") + out.errorString());
    }
    PrintError submitFile(const QString&, QIODevice& pdf, int pageCount, SubmittedJob*) override
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

/// A printer's page of one sheet-wide bit image: frames, a filled logo and lines of text.
Document pictureDocument()
{
    QImage sheet(8 * 240, 10 * 216, QImage::Format_Mono);
    sheet.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)}); // a set bit is ink
    sheet.fill(0);
    QPainter painter(&sheet);
    painter.setPen(QPen(Qt::black, 4));
    painter.setBrush(Qt::black);
    painter.drawEllipse(80, 60, 360, 300);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(40, 400, sheet.width() - 80, sheet.height() - 440);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(40);
    painter.setFont(font);
    for (int row = 0; row < 40; ++row)
        painter.drawText(80, 480 + row * 44,
                         QStringLiteral("%1  PRODUTO %2  QUANTIDADE %3  VALOR R$ %4")
                             .arg(row + 1, 3)
                             .arg(row * 37 % 1000, 4)
                             .arg(row * 13 % 97, 3)
                             .arg(row * 123.45, 10, 'f', 2));
    painter.end();
    PageImage image;
    image.width = sheet.width();
    image.height = sheet.height();
    image.dotsPerInchX = 240;
    image.dotsPerInchY = 216;
    for (int y = 0; y < sheet.height(); ++y)
        image.bits.append(reinterpret_cast<const char*>(sheet.constScanLine(y)), image.bytesPerRow());
    PrintedPage page;
    page.images.append(image);
    DocumentShape shape;
    shape.printerPageInches = 11;
    shape.widestCells = 80;
    return Document::ofPages(shape, {page});
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
    PdfDocuments printing(qtOnly ? RenderPath::Painter : RenderPath::Best);
    FileDestination file;
    file.path = QFile::decodeName(argv[2]);
    // The face list is read once per process; keep it out of the per-job figure.
    printing.faceNames();

    const long faultsBefore = minorFaults();
    const double cpuBefore = cpuMs();
    QElapsedTimer clock;
    clock.start();
    PosixFileServices files;
    NoRetry asker;
    const bool picture = QByteArray(argv[1]) == "--picture";
    const LeituraConteudo read =
        picture ? LeituraConteudo() : le_conteudo(QByteArray(), QByteArray(argv[1]), files, asker);
    if (!picture && !read.ok) {
        std::fprintf(stderr, "render_bench: %s\n", qPrintable(read.error));
        return 1;
    }
    Document document = picture ? pictureDocument() : imprime_documento(read.text, encoding);
    document.shape().face = seleciona_fonte(printing.faceNames(), QStringLiteral("Courier"));
    document.shape().points = picture ? 11 : tamanho_fonte(read.widestColumns).toFloat();
    const PrintError failed = printing.print(file, document, QFile::decodeName(argv[1]), nullptr);
    if (!failed.isNone()) {
        std::fprintf(stderr, "render_bench: %s\n", qPrintable(failed.text));
        return 1;
    }
    const qint64 ms = clock.elapsed();
    std::printf("pages %d ms %lld faults %ld cpu %.1f\n", file.pages, static_cast<long long>(ms),
                minorFaults() - faultsBefore, cpuMs() - cpuBefore);
    return 0;
}
