// Whole graphical jobs through a private CUPS scheduler (tests/cups/cups-sandbox.sh, started
// by the ctest fixture): every job is captured as a PDF file by the sandbox's velcap queue
// and read back with poppler's tools.

#include "cups/CupsQueues.h"
#include "platform/CupsPrintingService.h"
#include "platform/PosixClock.h"
#include "platform/PosixFileServices.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "render/EmbeddedFont.h"
#include "render/PrintDocument.h"
#include "settings/Settings.h"
#include "spool/FilePrinter.h"
#include "spool/PrintError.h"
#include "spool/PrintJob.h"
#include "spool/SpoolText.h"
#include "spool/WatchCycle.h"

#include "tests/support/Doubles.h"
#include "tests/support/ManualClock.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include "text/TextLines.h"

#include <cups/cups.h>

#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

namespace {

constexpr int kJobWaitMs = 20000;

qint16 widest(const QList<QByteArray>& lines)
{
    qsizetype n = 0;
    for (const QByteArray& line : lines)
        n = std::max(n, SpoolText::trimmedLength(line));
    return qint16(n);
}

/// Runs a tool to its end (20 s at most) and gives its output; fails the test otherwise.
QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kJobWaitMs)) {
        process.kill();
        process.waitForFinished();
        QTest::qFail(qPrintable(program + " did not finish"), __FILE__, __LINE__);
        return QString();
    }
    if (exitCode)
        *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

/// The text of each page as pdftotext -layout reads it, trailing blanks and blank lines at
/// the end of a page left out.
QList<QStringList> pagesOf(const QString& pdf)
{
    const QString text = run(QStringLiteral("pdftotext"), {"-layout", pdf, "-"});
    QList<QStringList> pages;
    QStringList parts = text.split(u'\f');
    if (!parts.isEmpty() && parts.last().trimmed().isEmpty())
        parts.removeLast(); // pdftotext ends every page with a form feed
    for (const QString& part : parts) {
        QStringList lines;
        for (const QString& line : part.split(u'\n')) {
            QString l = line;
            while (!l.isEmpty() && l.back().isSpace())
                l.chop(1);
            lines.append(l);
        }
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        pages.append(lines);
    }
    return pages;
}

int pdfPageCount(const QString& pdf)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
            .match(run(QStringLiteral("pdfinfo"), {pdf}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfPageSize(const QString& pdf)
{
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^Page size:\\s+([\\d.]+ x [\\d.]+)"),
                                                         QRegularExpression::MultilineOption)
                                          .match(run(QStringLiteral("pdfinfo"), {pdf}));
    return m.captured(1);
}

struct WordBox
{
    QString text;
    double xMin = 0;
    double xMax = 0;
    double yMin = 0;
    double yMax = 0;
    int page = 0;
};

/// The words of a PDF with their horizontal extent, from pdftotext -bbox.
QList<WordBox> wordsOf(const QString& pdf)
{
    QList<WordBox> words;
    static const QRegularExpression item(
        QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                       "yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QRegularExpressionMatchIterator it =
        item.globalMatch(run(QStringLiteral("pdftotext"), {"-bbox", pdf, "-"}));
    int page = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(0) == QLatin1String("<page ")) {
            ++page;
            continue;
        }
        words.append({m.captured(5), m.captured(1).toDouble(), m.captured(3).toDouble(),
                      m.captured(2).toDouble(), m.captured(4).toDouble(), page});
    }
    return words;
}

/// Jobs CUPS knows on a queue, whatever their state.
int jobCount(const QString& queue)
{
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
    cupsFreeJobs(n, jobs);
    return n;
}

/// The font lines of pdffonts for a PDF, its two heading lines left out.
QStringList fontsOf(const QString& pdf)
{
    QStringList lines = run(QStringLiteral("pdffonts"), {pdf}).split(u'\n', Qt::SkipEmptyParts);
    return lines.mid(2);
}

/// Fails unless two PDFs hold the same pages with the same words in the same places. Qt
/// places glyphs on a grid of 1/64 of a 1200 dpi dot; the text path does too for a fixed
/// pitch face, and follows a proportional face's widths in thousandths of an em: words may
/// differ by that rounding, hundredths of a point.
/// Qt's PDF reads a soft hyphen back as "-"; the text path gives the character itself.
void compareLayouts(const QString& qt, const QString& text)
{
    const auto asQt = [](QString s) { return s.replace(u'\u00AD', u'-'); };
    QCOMPARE(pdfPageCount(text), pdfPageCount(qt));
    QCOMPARE(pdfPageSize(text), pdfPageSize(qt));
    QList<QStringList> pages = pagesOf(text);
    for (QStringList& page : pages) {
        for (QString& line : page)
            line = asQt(line);
    }
    QCOMPARE(pages, pagesOf(qt));
    const QList<WordBox> expected = wordsOf(qt);
    QList<WordBox> got = wordsOf(text);
    for (WordBox& word : got)
        word.text = asQt(word.text);
    QCOMPARE(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        const WordBox& e = expected[i];
        const WordBox& g = got[i];
        const QString where =
            QStringLiteral("word %1 \"%2\" on page %3: x %4..%5 y %6..%7, Qt has x %8..%9 y %10..%11")
                .arg(i)
                .arg(g.text)
                .arg(g.page)
                .arg(g.xMin)
                .arg(g.xMax)
                .arg(g.yMin)
                .arg(g.yMax)
                .arg(e.xMin)
                .arg(e.xMax)
                .arg(e.yMin)
                .arg(e.yMax);
        QVERIFY2(g.text == e.text && g.page == e.page, qPrintable(where));
        QVERIFY2(qAbs(g.xMin - e.xMin) < 0.05 && qAbs(g.xMax - e.xMax) < 0.05, qPrintable(where));
        // Heights come from the ascent and descent each PDF gives its font, rounded apart.
        QVERIFY2(qAbs(g.yMin - e.yMin) < 0.01 && qAbs(g.yMax - e.yMax) < 0.01, qPrintable(where));
    }
}

/// Whether fontconfig has a family at all, for the tests of faces that are not ours to install.
bool hasFamily(const QString& family)
{
    return !run(QStringLiteral("fc-list"), {":family=" + family, "family"}).trimmed().isEmpty();
}

/// The printing service with what it sent kept for the tests: the PDF and CUPS's id of the
/// job; it may keep documents instead of sending them.
class CapturingPrinting : public CupsPrintingService
{
public:
    using CupsPrintingService::CupsPrintingService;
    using CupsPrintingService::jobState;
    /// Documents are kept in lastPdf only, not sent to a queue.
    bool keepOnly = false;
    QByteArray lastPdf;
    SubmittedJob lastJob;

    PrintError print(const QString& printer, const Document& document, const QString& title,
                     SubmittedJob* job) override
    {
        lastPdf.clear();
        return keep(CupsPrintingService::print(printer, document, title, &lastJob), job);
    }
    PrintError printRaw(const QString& printer, ByteSource& bytes, const QString& title,
                        SubmittedJob* job) override
    {
        return keep(CupsPrintingService::printRaw(printer, bytes, title, &lastJob), job);
    }
    int lastJobId() const { return lastJob.id; }
    qint64 lastJobCreated() const { return lastJob.created; }
    JobState jobState(const QString& printer, int id, qint64 created)
    {
        return jobState(SubmittedJob{printer, id, created});
    }
    /// The last document was written directly as PDF text, its face embedded as a simple font.
    bool lastUsedTextPath() const { return lastPdf.contains("/Encoding /WinAnsiEncoding"); }

protected:
    PrintError submit(const QString& printer, const QString& title, const QByteArray& pdf, int pages,
                      SubmittedJob* job) override
    {
        lastPdf = pdf;
        if (keepOnly)
            return PrintError();
        return CupsPrintingService::submit(printer, title, pdf, pages, job);
    }

private:
    PrintError keep(const PrintError& error, SubmittedJob* job)
    {
        if (job)
            *job = lastJob;
        return error;
    }
};

} // namespace

class TestCups : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void printersListsTheQueues();
    void portOfDeviceUri_data();
    void portOfDeviceUri();
    void rawJobsThroughTheQueue_data();
    void rawJobsThroughTheQueue();
    void jobPages_data();
    void jobPages();
    void leadingBlanksKeepTheirColumns();
    void faceAndSize_data();
    void faceAndSize();
    void fullPageContinuesOnNext();
    void pageSizeIsTheQueueDefault();
    void paperAndCopy_data();
    void paperAndCopy();
    void pdfCopy_data();
    void pdfCopy();
    void emptyTextSendsNoJob();
    void rejectingQueueFails();
    void missingQueueFails();
    void stoppedSchedulerFails();
    void hungSchedulerGivesUp();
    void fullDiskUnderTheSpill();
    void stoppedQueueKeepsTheFileAndSaysWhy();
    void textPathMatchesQt_data();
    void textPathMatchesQt();
    void textPathReadsBackTheCodePage();
    void textPathEmbedsTheType1File();
    void otherCasesAreDrawnByQt_data();
    void otherCasesAreDrawnByQt();
    void textPathTrueType_data();
    void textPathTrueType();
    void charactersOutsideTheCodePage();
    void generatedFiles_data();
    void generatedFiles();
    void codeFreeFileAsBefore();
    void codePages_data();
    void codePages();
    void linesPerPage_data();
    void linesPerPage();
    void wideLinesWrap();

private:
    bool print(const QList<QByteArray>& lines, QString* error = nullptr);
    /// Prints the lines through the job on the capture queue, by the text path or by Qt,
    /// and gives the PDF the queue stored.
    QString printBy(bool textPath, const QList<QByteArray>& lines);
    /// Draws lines straight into a PDF file with the service, a page break at each "\f" line.
    QString draw(bool textPath, const QString& face, const QStringList& lines, float points = 11,
                 bool underline = false, bool bold = false);
    /// The file the capture backend stored for a job: a PDF, or the raw bytes of a raw queue.
    QString waitForJobFile(const QString& queue, int job, bool raw = false);
    void admin(const QStringList& arguments);
    /// Prints through the job, keeping the PDF as the service wrote it; its path.
    QString printKept(const QList<QByteArray>& lines);
    QString sandbox(const QString& path) const { return m_sandboxDir + u'/' + path; }

    QString m_sandboxDir;
    QString m_script;
    std::unique_ptr<CapturingPrinting> m_printing;
    std::unique_ptr<ImpressaoConteudo> m_job;
    const CapturingPrinting* m_jobPrinting = nullptr;
    PrintError m_failure; ///< why the last print() failed
    Settings m_settings;
    PosixFileServices m_files;
    PosixClock m_clock;
    PosixRawPort m_port;
    PosixPlaces m_places;
    QStringList m_queuesToRemove;
    /// The last document draw() made was written as PDF text.
    bool m_drawnAsText = false;
};

void TestCups::initTestCase()
{
    m_sandboxDir = qEnvironmentVariable("CUPS_SANDBOX_DIR");
    m_script = qEnvironmentVariable("CUPS_SANDBOX_SCRIPT");
    QVERIFY2(!m_sandboxDir.isEmpty() && !m_script.isEmpty() && qEnvironmentVariableIsSet("CUPS_SERVER"),
             "run through ctest: the cups_sandbox fixture sets CUPS_SERVER and CUPS_SANDBOX_DIR");
    for (const char* tool : {"pdftotext", "pdfinfo", "pdffonts", "lpadmin", "cupsreject"})
        QVERIFY2(
            !QStandardPaths::findExecutable(tool, {"/usr/bin", "/usr/sbin", "/bin", "/sbin"}).isEmpty() ||
                !QStandardPaths::findExecutable(tool).isEmpty(),
            tool);
    QCOMPARE(run(QStringLiteral("lpstat"), {"-r"}).trimmed(), QStringLiteral("scheduler is running"));
}

void TestCups::init()
{
    m_job.reset();
    m_printing = std::make_unique<CapturingPrinting>();
    m_settings = Settings();
    m_settings.printer = QStringLiteral("VelCap");
}

void TestCups::cleanup()
{
    for (const QString& queue : std::as_const(m_queuesToRemove))
        QProcess::execute(QStringLiteral("lpadmin"), {"-x", queue});
    m_queuesToRemove.clear();
}

void TestCups::admin(const QStringList& arguments)
{
    int code = -1;
    const QString output = run(QStringLiteral("lpadmin"), arguments, &code);
    QVERIFY2(code == 0, qPrintable("lpadmin " + arguments.join(u' ') + ": " + output));
}

bool TestCups::print(const QList<QByteArray>& lines, QString* error)
{
    // One job for the service, as the program has: the printer it found stays its current one.
    if (!m_job || m_jobPrinting != m_printing.get()) {
        m_job =
            std::make_unique<ImpressaoConteudo>(m_settings, *m_printing, m_files, m_clock, m_port, m_places);
        m_jobPrinting = m_printing.get();
    }
    m_failure = PrintError();
    const bool printed =
        m_job->imprime_conteudo(spool(lines), widest(lines), QStringLiteral("tst_cups"), &m_failure);
    if (error)
        *error = m_failure.text;
    return printed;
}

QString TestCups::waitForJobFile(const QString& queue, int job, bool raw)
{
    const QString path = sandbox(raw ? QStringLiteral("out/raw/%1-%2.prn").arg(queue).arg(job)
                                     : QStringLiteral("out/jobs/%1-%2.pdf").arg(queue).arg(job));
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(path) && clock.elapsed() < kJobWaitMs)
        QThread::msleep(20);
    if (!QFile::exists(path)) {
        QFile log(sandbox(QStringLiteral("log/error_log")));
        log.open(QIODevice::ReadOnly);
        const QByteArray tail = log.readAll().right(2000);
        QTest::qFail(qPrintable(QStringLiteral("job %1 stored no file in %2 s; scheduler log:\n%3")
                                    .arg(job)
                                    .arg(kJobWaitMs / 1000)
                                    .arg(QString::fromUtf8(tail))),
                     __FILE__, __LINE__);
        return QString();
    }
    return path;
}

void TestCups::printersListsTheQueues()
{
    QCOMPARE(m_printing->defaultPrinter(), QStringLiteral("VelCap")); // the sandbox's default
    QMap<QString, QString> ports;
    for (const PrinterInfo& p : m_printing->printers(nullptr))
        ports.insert(p.deviceName, p.port);
    QCOMPARE(ports.value("VelLpt"), QStringLiteral("/dev/lp0"));
    QCOMPARE(ports.value("VelCom"), QStringLiteral("/dev/ttyVEL9"));
    QCOMPARE(ports.value("VelCap"), QString()); // a backend of its own names no local device
    QVERIFY(ports.contains("VelRaw"));
}

void TestCups::portOfDeviceUri_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("port");
    QTest::newRow("parallel") << "parallel:/dev/lp0"
                              << "/dev/lp0";
    QTest::newRow("serial with options") << "serial:/dev/ttyS1?baud=9600+bits=8"
                                         << "/dev/ttyS1";
    QTest::newRow("file, three slashes") << "file:///var/out/x.prn"
                                         << "/var/out/x.prn";
    QTest::newRow("file, one slash") << "file:/var/out/x.prn"
                                     << "/var/out/x.prn";
    QTest::newRow("file, escaped blank") << "file:///var/my%20out.prn"
                                         << "/var/my out.prn";
    QTest::newRow("file on a host") << "file://host/var/out/x.prn"
                                    << "";
    QTest::newRow("socket") << "socket://10.0.0.5:9100"
                            << "";
    QTest::newRow("ipp") << "ipp://10.0.0.5/ipp/print"
                         << "";
    QTest::newRow("lpd") << "lpd://host/queue"
                         << "";
    QTest::newRow("usb by identity") << "usb://HP/LaserJet?serial=1"
                                     << "";
    QTest::newRow("usb device file") << "usb:/dev/usb/lp0"
                                     << "/dev/usb/lp0";
    QTest::newRow("no scheme") << "/dev/lp1"
                               << "/dev/lp1";
}

/// A page Ghostscript's Epson 9-pin driver makes of a small drawing: bit images whose data holds
/// CR, LF, FF and NUL bytes, as a DOS program's logo does.
QByteArray ghostscriptEpsonPage()
{
    QTemporaryDir dir;
    const QString drawing = dir.filePath(QStringLiteral("logo.ps"));
    const QString page = dir.filePath(QStringLiteral("logo.prn"));
    writeBytes(drawing, "newpath 72 600 moveto 520 760 lineto 12 setlinewidth stroke\n"
                        "100 650 80 0 360 arc fill /Courier findfont 30 scalefont setfont\n"
                        "72 500 moveto (VELMORIX 0123) show showpage\n");
    run(QStringLiteral("gs"), {"-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=epson", "-sPAPERSIZE=a4",
                               "-sOutputFile=" + page, drawing});
    return readAll(page);
}

void TestCups::rawJobsThroughTheQueue_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<bool>("toPort");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("printed");
    const QByteArray epson = ghostscriptEpsonPage();
    QVERIFY(epson.size() > 10000 && epson.contains('\r') && epson.contains('\f'));
    const struct
    {
        const char* name;
        QByteArray bytes;
    } streams[] = {
        {"Ghostscript epson page", epson},
        {"lone CRs overprint", QByteArray("\x1b@TITLE\rTITLE\r\n____\r\n")},
        {"LF CR", QByteArray("A\n\rB\n\r")},
        {"final form feed", QByteArray("PAGE\r\n\f")},
        {"NUL and 0xFF", QByteArray("\x1bK\x04\x00\x00\xff\n\r\xff\x00end", 14)},
        {"no line end", QByteArray("\x1b"
                                   "E TITLE\x1b"
                                   "F\x0f plain")},
    };
    for (const auto& s : streams) {
        QTest::addRow("%s, raw queue", s.name) << "VelRaw" << false << s.bytes << true;
        QTest::addRow("%s, port", s.name) << "VelRaw" << true << s.bytes << true;
    }
    QTest::newRow("queue named in another case") << "velraw" << false << QByteArray("x\r") << true;
    QTest::newRow("no such printer") << "NoSuchQueue" << false << QByteArray("x") << false;
}

void TestCups::rawJobsThroughTheQueue()
{
    QFETCH(QString, printer);
    QFETCH(bool, toPort);
    QFETCH(QByteArray, stream);
    QFETCH(bool, printed);
    // Raw mode hands the printer the file's very bytes, through a port or, without one, the
    // named printer's queue: nothing added, taken away or translated.
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("lpt.prn"));
    QVERIFY(writeBytes(dir.filePath(QStringLiteral("REL.PRN")), stream));
    m_settings.printer = printer;
    m_settings.raw = OnOff(QStringLiteral("1"));
    m_settings.port = toPort ? port : QString();
    ImpressaoConteudo job(m_settings, *m_printing, m_files, m_clock, m_port, m_places);
    ScriptedAsker asker;
    FilePrinter reader(m_files, asker, job);
    PrintedPart done;
    bool declined = false;
    bool rewritten = false;
    PrintError error;
    const QByteArray folder = QFile::encodeName(dir.path()) + '/';
    QCOMPARE(reader.le_e_imprime(folder, "REL.PRN", "REL.PRN", 0, QByteArray(), done, &declined, &rewritten,
                                 &error),
             printed);
    if (!printed) {
        QVERIFY2(error.text.contains(printer), qPrintable(error.text));
        return;
    }
    const QString stored =
        toPort ? port : waitForJobFile(QStringLiteral("VelRaw"), m_printing->lastJobId(), true);
    const QByteArray received = readAll(stored);
    QCOMPARE(received.size(), stream.size());
    QVERIFY(received == stream);
}

void TestCups::portOfDeviceUri()
{
    QFETCH(QString, uri);
    QFETCH(QString, port);
    QCOMPARE(CupsQueues::portOfDeviceUri(uri), port);
}

void TestCups::jobPages_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<QStringList>>("pages");

    QTest::newRow("one line") << QList<QByteArray>{"THE ONLY LINE"} << QList<QStringList>{{"THE ONLY LINE"}};
    QTest::newRow("form feeds and eject")
        << QList<QByteArray>{"\fP1 FIRST", // form feed at the start of the file
                             "P1 SECOND",
                             "P1 END\f", // at the end of a line
                             "P2 ONLY",
                             "\f", // alone
                             "P3 AFTER",
                             "\fP4 HEADER", // at the start of a line
                             "EJECT",
                             "P5 AFTER", // an eject line
                             "ORDER REJECTED",
                             "P5 LAST", // eject inside a word is text
                             "\f"}      // at the end of the file
        << QList<QStringList>{{"P1 FIRST", "P1 SECOND", "P1 END"},
                              {"P2 ONLY"},
                              {"P3 AFTER"},
                              {"P4 HEADER"},
                              {"P5 AFTER", "ORDER REJECTED", "P5 LAST"}};
    QTest::newRow("two breaks give a blank page")
        << QList<QByteArray>{"BEFORE", "\f", "\f", "AFTER"} << QList<QStringList>{{"BEFORE"}, {}, {"AFTER"}};
}

void TestCups::jobPages()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<QStringList>, pages);
    QString error;
    QVERIFY2(print(lines, &error), qPrintable(error));
    const QString pdf = waitForJobFile("VelCap", m_printing->lastJobId());
    QVERIFY(!pdf.isEmpty());
    QCOMPARE(pdfPageCount(pdf), pages.size());
    QCOMPARE(pagesOf(pdf), pages);
}

void TestCups::leadingBlanksKeepTheirColumns()
{
    QString error;
    QVERIFY2(print({"LEFT", QByteArray(20, ' ') + "INDENTED", "LEFT"}, &error), qPrintable(error));
    const QString pdf = waitForJobFile("VelCap", m_printing->lastJobId());
    QVERIFY(!pdf.isEmpty());
    const QList<WordBox> words = wordsOf(pdf);
    QCOMPARE(words.size(), 3);
    const double column = (words[0].xMax - words[0].xMin) / 4; // "LEFT"
    QVERIFY2(qAbs((words[1].xMin - words[0].xMin) / column - 20) < 0.05,
             qPrintable(QString::number((words[1].xMin - words[0].xMin) / column)));
}

void TestCups::faceAndSize_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<double>("points");
    QTest::newRow("80 columns") << 80 << 11.0;
    QTest::newRow("100 columns") << 100 << 9.0;
    QTest::newRow("110 columns") << 110 << 8.0;
    QTest::newRow("132 columns") << 132 << 7.0;
}

void TestCups::faceAndSize()
{
    QFETCH(int, columns);
    QFETCH(double, points);
    const QByteArray widestLine = "WIDTH " + QByteArray(columns - 6, '=');
    QString error;
    QVERIFY2(print({"MEASURE MEASURE", widestLine}, &error), qPrintable(error));
    const QString pdf = waitForJobFile("VelCap", m_printing->lastJobId());
    QVERIFY(!pdf.isEmpty());

    // The face is embedded, with a Unicode map so that the text can be read back.
    const QStringList fonts = run(QStringLiteral("pdffonts"), {pdf}).split(u'\n').filter("Courier10Pitch");
    QVERIFY2(fonts.size() == 1, qPrintable(run(QStringLiteral("pdffonts"), {pdf})));
    const QStringList fields = fonts.first().simplified().split(u' ');
    // name, type words, encoding, then emb sub uni and the object
    QCOMPARE(fields.mid(fields.size() - 5, 3), QStringList({"yes", "no", "yes"}));

    // Every Courier glyph is 0.6 em wide: a word's width gives the size it was drawn at.
    const QList<WordBox> words = wordsOf(pdf);
    QVERIFY(!words.isEmpty());
    QCOMPARE(words[0].text, QStringLiteral("MEASURE"));
    const double drawn = (words[0].xMax - words[0].xMin) / (0.6 * 7);
    QVERIFY2(qAbs(drawn - points) < 0.1, qPrintable(QString::number(drawn)));
    const QList<QStringList> expected{{"MEASURE MEASURE", QString::fromLatin1(widestLine)}};
    QCOMPARE(pagesOf(pdf), expected);
}

void TestCups::fullPageContinuesOnNext()
{
    QList<QByteArray> lines;
    QStringList expected;
    for (int i = 1; i <= 150; ++i) {
        lines.append("LINE " + QByteArray::number(i));
        expected.append(QString::fromLatin1(lines.last()));
    }
    QString error;
    QVERIFY2(print(lines, &error), qPrintable(error));
    const QString pdf = waitForJobFile("VelCap", m_printing->lastJobId());
    QVERIFY(!pdf.isEmpty());
    const QList<QStringList> pages = pagesOf(pdf);
    QVERIFY2(pages.size() >= 2, "150 lines at 11 points fill more than one page");
    QStringList all;
    for (const QStringList& page : pages)
        all += page;
    QCOMPARE(all, expected);
    // Each page is filled before the next begins.
    for (qsizetype i = 1; i + 1 < pages.size(); ++i)
        QCOMPARE(pages[i].size(), pages[0].size());
    QVERIFY(pages.last().size() <= pages[0].size());
}

void TestCups::pageSizeIsTheQueueDefault()
{
    admin({"-p", "VelLetter", "-E", "-v", "velcap:" + sandbox("out/jobs"), "-P", sandbox("etc/vel-pdf.ppd"),
           "-o", "PageSize=Letter"});
    m_queuesToRemove.append("VelLetter");
    m_settings.printer = QStringLiteral("velletter");
    QString error;
    QVERIFY2(print({"ON LETTER"}, &error), qPrintable(error));
    const QString letter = waitForJobFile("VelLetter", m_printing->lastJobId());
    QVERIFY(!letter.isEmpty());
    QCOMPARE(pdfPageSize(letter), QStringLiteral("612 x 792"));

    m_settings.printer = QStringLiteral("VelCap");
    QVERIFY2(print({"ON A4"}, &error), qPrintable(error));
    const QString a4 = waitForJobFile("VelCap", m_printing->lastJobId());
    QVERIFY(!a4.isEmpty());
    QCOMPARE(pdfPageSize(a4), QStringLiteral("595 x 842"));
}

void TestCups::paperAndCopy_data()
{
    QTest::addColumn<QString>("queue");
    QTest::addColumn<QString>("paper");
    QTest::addColumn<QString>("orientation");
    QTest::addColumn<QString>("lpoptions"); ///< the user's own options for the queue
    QTest::addColumn<QString>("size");      ///< of the document's pages
    QTest::addColumn<QString>("onPaper");   ///< of the job the queue stored: the sheets it prints on
    QTest::newRow("queue default A4") << "VelCap"
                                      << ""
                                      << ""
                                      << ""
                                      << "595 x 842"
                                      << "595 x 842";
    QTest::newRow("queue default Letter") << "VelLetter"
                                          << ""
                                          << ""
                                          << ""
                                          << "612 x 792"
                                          << "612 x 792";
    QTest::newRow("user's PageSize=Letter on an A4 queue") << "VelCap"
                                                           << ""
                                                           << ""
                                                           << "PageSize=Letter"
                                                           << "612 x 792"
                                                           << "612 x 792";
    QTest::newRow("A4 on a Letter queue") << "VelLetter"
                                          << "a4"
                                          << ""
                                          << ""
                                          << "595 x 842"
                                          << "595 x 842";
    QTest::newRow("Carta") << "VelCap"
                           << "CARTA"
                           << ""
                           << ""
                           << "612 x 792"
                           << "612 x 792";
    QTest::newRow("form 8.5 x 11") << "VelCap"
                                   << "8.5X11"
                                   << ""
                                   << ""
                                   << "612 x 792"
                                   << "612 x 792";
    // The queue has no such sheet: it prints on its default one, the page scaled by its filter.
    QTest::newRow("Ofício") << "VelCap"
                            << "Ofício"
                            << ""
                            << ""
                            << "612 x 1008"
                            << "595 x 842";
    QTest::newRow("form 8.5 x 12") << "VelCap"
                                   << "8,5x12"
                                   << ""
                                   << ""
                                   << "612 x 864"
                                   << "595 x 842";
    QTest::newRow("paisagem") << "VelCap"
                              << "A4"
                              << "PAISAGEM"
                              << ""
                              << "842 x 595"
                              << "595 x 842";
}

void TestCups::paperAndCopy()
{
    QFETCH(QString, queue);
    QFETCH(QString, paper);
    QFETCH(QString, orientation);
    QFETCH(QString, lpoptions);
    QFETCH(QString, size);
    QFETCH(QString, onPaper);
    if (queue == QLatin1String("VelLetter")) {
        admin({"-p", queue, "-E", "-v", "velcap:" + sandbox("out/jobs"), "-P", sandbox("etc/vel-pdf.ppd"),
               "-o", "PageSize=Letter"});
        m_queuesToRemove.append(queue);
    }
    QTemporaryDir home, copies;
    QVERIFY(QDir(home.path()).mkpath(".cups"));
    QFile options(home.filePath(".cups/lpoptions"));
    QVERIFY(options.open(QIODevice::WriteOnly));
    options.write(QStringLiteral("Dest %1 %2\n").arg(queue, lpoptions).toUtf8());
    options.close();
    m_settings.printer = queue;
    m_settings.paper = *paperSizeOf(paper);
    m_settings.orientation = *paperOrientationOf(orientation);
    m_settings.pdfCopyFolder = copies.path();
    // libcups reads the user's options from $HOME once per thread: a thread of its own sees this one.
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    bool printed = false;
    QString error;
    std::unique_ptr<QThread> thread(QThread::create([&] { printed = print({"ON PAPER"}, &error); }));
    thread->start();
    thread->wait();
    qputenv("HOME", realHome);
    QVERIFY2(printed, qPrintable(error));
    const QString job = waitForJobFile(queue, m_printing->lastJobId());
    QVERIFY(!job.isEmpty());
    QCOMPARE(pdfPageSize(job), onPaper);
    const QStringList kept = QDir(copies.path()).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(kept.size(), 1);
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_tst_cups\\.pdf$")
                 .match(kept[0])
                 .hasMatch(),
             qPrintable(kept[0]));
    QFile copy(copies.filePath(kept[0]));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), m_printing->lastPdf); // the bytes sent, not a second rendering
    QCOMPARE(pdfPageSize(copy.fileName()), size);
}

void TestCups::pdfCopy_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QString>("folder"); ///< "" none, "missing" one that does not exist
    QTest::addColumn<bool>("printed");
    QTest::addColumn<int>("copies");
    QTest::addColumn<QString>("told"); ///< the reason of a failure, or the note beside a print
    QTest::newRow("PDF only") << "(SOMENTE pdf)"
                              << "ok" << true << 1 << "";
    QTest::newRow("PDF only, twice in a second") << "(somente PDF)"
                                                 << "twice" << true << 2 << "";
    QTest::newRow("PDF only without COPIA_PDF") << "(somente PDF)"
                                                << "" << false << 0 << "sem COPIA_PDF";
    QTest::newRow("PDF only, folder missing") << "(somente PDF)"
                                              << "missing" << false << 0 << "PDF não gravado";
    QTest::newRow("queue, folder missing") << "VelCap"
                                           << "missing" << true << 0 << "cópia em PDF não gravada";
}

void TestCups::pdfCopy()
{
    QFETCH(QString, printer);
    QFETCH(QString, folder);
    QFETCH(bool, printed);
    QFETCH(int, copies);
    QFETCH(QString, told);
    QTemporaryDir dir;
    m_settings.printer = printer;
    m_settings.pdfCopyFolder = folder.isEmpty()                     ? QString()
                               : folder == QLatin1String("missing") ? dir.filePath("nowhere")
                                                                    : dir.path();
    const int before = jobCount("VelCap");
    QString error;
    QCOMPARE(print({"ARCHIVED"}, &error), printed);
    if (folder == QLatin1String("twice"))
        QVERIFY2(print({"ARCHIVED AGAIN"}, &error), qPrintable(error));
    const QString note = m_job->takeNote();
    QVERIFY2((printed ? note : error).contains(told), qPrintable(error + note));
    if (printed && told.isEmpty())
        QVERIFY2(note.isEmpty(), qPrintable(note));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), copies);
    if (isPdfOnly(printer)) {
        QCOMPARE(m_printing->lastJobId(), 0); // no queue was asked
        QCOMPARE(jobCount("VelCap"), before);
    }
}

void TestCups::emptyTextSendsNoJob()
{
    const int before = jobCount("VelCap");
    QVERIFY(before > 0);
    QString error;
    QVERIFY2(print({}, &error), qPrintable(error));
    QCOMPARE(m_printing->lastJobId(), 0);
    QCOMPARE(jobCount("VelCap"), before);
}

void TestCups::rejectingQueueFails()
{
    admin({"-p", "VelReject", "-E", "-v", "velcap:" + sandbox("out/jobs"), "-P", sandbox("etc/vel-pdf.ppd")});
    m_queuesToRemove.append("VelReject");
    int code = -1;
    run(QStringLiteral("cupsreject"), {"VelReject"}, &code);
    QCOMPARE(code, 0);
    m_settings.printer = QStringLiteral("VelReject");
    QString error;
    QVERIFY(!print({"REFUSED"}, &error));
    QVERIFY2(error.contains("VelReject"), qPrintable(error));
    QCOMPARE(motivo_falha(m_failure), QStringLiteral("trabalho recusado"));
    QCOMPARE(jobCount("VelReject"), 0);
}

void TestCups::missingQueueFails()
{
    admin({"-p", "VelGone", "-E", "-v", "velcap:" + sandbox("out/jobs"), "-P", sandbox("etc/vel-pdf.ppd")});
    m_queuesToRemove.append("VelGone");
    m_settings.printer = QStringLiteral("VelGone");
    QString error;
    QVERIFY2(print({"FIRST"}, &error), qPrintable(error));
    QVERIFY(!waitForJobFile("VelGone", m_printing->lastJobId()).isEmpty());

    // The queue goes away; the printer selected stays current and the next job must fail.
    admin({"-x", "VelGone"});
    m_queuesToRemove.clear();
    QVERIFY(!print({"SECOND"}, &error));
    QCOMPARE(m_job->currentPrinter(), QStringLiteral("VelGone"));
    QVERIFY2(error.contains("VelGone"), qPrintable(error));
    QCOMPARE(motivo_falha(m_failure), QStringLiteral("impressora inexistente: VelGone"));
    // Nor does a program started after it went print anywhere else (the default printer).
    m_job.reset();
    QVERIFY(!print({"THIRD"}, &error));
    QCOMPARE(motivo_falha(m_failure), QStringLiteral("impressora inexistente: VelGone"));
}

void TestCups::stoppedQueueKeepsTheFileAndSaysWhy()
{
    admin({"-p", "VelStop", "-E", "-v", "velcap:" + sandbox("out/jobs"), "-P", sandbox("etc/vel-pdf.ppd")});
    m_queuesToRemove.append("VelStop");
    QCOMPARE(QProcess::execute(QStringLiteral("cupsdisable"), {"-r", "papel acabou", "VelStop"}), 0);
    QTemporaryDir dir;
    const QString spoolFile = dir.path() + QStringLiteral("/REL.TXT");
    QFile file(spoolFile);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("STOPPED QUEUE\r\n") > 0);
    file.close();
    m_settings.pattern = dir.path() + QStringLiteral("/*.TXT");
    m_settings.printer = QStringLiteral("VelStop");
    m_settings.backup = OnOff(QStringLiteral("1"));
    ManualClock clock;
    ScriptedAsker asker;
    RecordingWindow window;
    ManualTimer timer;
    ImpressaoConteudo job(m_settings, *m_printing, m_files, clock, m_port, m_places);
    WatchCycle cycle(m_settings, m_files, clock, asker, job, window, timer);

    cycle.Movimento_Timer();
    cycle.Movimento_Timer();
    const QString line = "Arquivo " + spoolFile + QStringLiteral(" não impresso (fila parada)");
    QCOMPARE(window.logLines, QStringList{line});
    // The notice names the printer and says what its scheduler says of it.
    QCOMPARE(window.notices,
             QStringList{"Arquivo não impresso|" + line + " — impressora VelStop: papel acabou"});
    QCOMPARE(window.trayTips.last(), QStringLiteral("Velmorix ativo... 1 arquivo aguardando"));
    QCOMPARE(jobCount("VelStop"), 0);

    QCOMPARE(QProcess::execute(QStringLiteral("cupsenable"), {"VelStop"}), 0);
    clock.clockMs += WatchCycle::kFirstRetryMs;
    cycle.Movimento_Timer();
    QCOMPARE(window.logLines.first(), "Arquivo " + spoolFile + QStringLiteral(" impresso"));
    QVERIFY(!waitForJobFile("VelStop", m_printing->lastJobId()).isEmpty());
    for (int step = 0; step < 3; ++step) // half-open, closed, open again
        cycle.Movimento_Timer();
    QCOMPARE(window.trayTips.last(), QStringLiteral("Velmorix ativo..."));
    QCOMPARE(window.notices.size(), 1);
}

void TestCups::stoppedSchedulerFails()
{
    QString error;
    QVERIFY2(print({"BEFORE"}, &error), qPrintable(error));
    const int before = m_printing->lastJobId();
    const qint64 created = m_printing->lastJobCreated();
    QVERIFY(created > 0);
    QVERIFY(!waitForJobFile("VelCap", before).isEmpty());
    // The job is known by its queue and its time of creation too: the same id elsewhere, or
    // created at another time (ids start again after the scheduler lost its jobs), is not it.
    QCOMPARE(m_printing->jobState(QStringLiteral("VelCap"), before, created), JobState::Completed);
    QCOMPARE(m_printing->jobState(QStringLiteral("VelRaw"), before, created), JobState::Unknown);
    QCOMPARE(m_printing->jobState(QStringLiteral("VelCap"), before, created + 1), JobState::Unknown);
    int code = -1;
    const QString stopped = run(QStringLiteral("bash"), {m_script, "stop"}, &code);
    QVERIFY2(code == 0, qPrintable(stopped));
    // A scheduler that does not answer says nothing of a job: it is not taken for over.
    const JobState whileDown = m_printing->jobState(QStringLiteral("VelCap"), before, created);
    const bool printed = print({"NOBODY LISTENS"}, &error);
    const PrintError graphicalFailure = m_failure;
    m_settings.raw = OnOff(QStringLiteral("1"));
    m_settings.printer = QStringLiteral("VelRaw");
    const bool rawPrinted = print({"RAW, NOBODY LISTENS"}, &error);
    const PrintError rawFailure = m_failure;
    m_settings.raw = OnOff(QStringLiteral("0"));
    m_settings.printer = QStringLiteral("VelCap");
    // A socket that takes connections with nobody behind it, as a socket-activated scheduler that
    // fails to start, is the scheduler down too.
    const QString socketPath = qEnvironmentVariable("CUPS_SERVER");
    QProcess doorman;
    doorman.start(QStringLiteral("python3"),
                  {"-c",
                   "import os, socket, sys\n"
                   "s = socket.socket(socket.AF_UNIX)\ns.bind(sys.argv[1])\ns.listen(8)\n"
                   "print('ready', flush=True)\n"
                   "while True:\n    s.accept()[0].close()\n",
                   socketPath});
    const bool doormanReady = doorman.waitForReadyRead(5000);
    const bool closedPrinted = print({"NOBODY BEHIND THE SOCKET"}, &error);
    const PrintError closedFailure = m_failure;
    doorman.kill();
    doorman.waitForFinished();
    QFile::remove(socketPath);
    // Start it again whatever happened, for the tests after this one.
    const QString started = run(QStringLiteral("bash"), {m_script, "start"}, &code);
    QVERIFY2(code == 0, qPrintable(started));
    QVERIFY(!printed);
    QVERIFY(!rawPrinted);
    QVERIFY(!error.isEmpty());
    QCOMPARE(motivo_falha(graphicalFailure), QStringLiteral("servidor de impressão indisponível"));
    QCOMPARE(motivo_falha(rawFailure), QStringLiteral("servidor de impressão indisponível"));
    QVERIFY(doormanReady);
    QVERIFY(!closedPrinted);
    QCOMPARE(motivo_falha(closedFailure), QStringLiteral("servidor de impressão indisponível"));
    QCOMPARE(whileDown, JobState::Pending);
    QCOMPARE(m_printing->jobState(QStringLiteral("VelCap"), 999999, 0), JobState::Unknown);

    // Once the scheduler is back, the same service prints again.
    QVERIFY2(print({"BACK AGAIN"}, &error), qPrintable(error));
    QVERIFY(!waitForJobFile("VelCap", m_printing->lastJobId()).isEmpty());
}

void TestCups::hungSchedulerGivesUp()
{
    // A scheduler that takes requests and never answers (as a stopped cupsd or a server behind a
    // broken network): every request gives up after the time-out.
    QString error;
    QVERIFY2(print({"BEFORE"}, &error), qPrintable(error));
    const int before = m_printing->lastJobId();
    QVERIFY(!waitForJobFile("VelCap", before).isEmpty());
    bool ok = false;
    const pid_t scheduler = readAll(sandbox(QStringLiteral("run/cupsd.pid"))).trimmed().toInt(&ok);
    QVERIFY(ok && scheduler > 0);
    m_printing = std::make_unique<CapturingPrinting>(RenderPath::Best, 1500);
    QCOMPARE(::kill(scheduler, SIGSTOP), 0);
    QString graphicalError;
    const bool graphical = print({"NOBODY ANSWERS"}, &graphicalError);
    const PrintError graphicalFailure = m_failure;
    m_settings.raw = OnOff(QStringLiteral("1"));
    m_settings.printer = QStringLiteral("VelRaw");
    QString rawError;
    const bool raw = print({"RAW, NOBODY ANSWERS"}, &rawError);
    const PrintError rawFailure = m_failure;
    const JobState state = m_printing->jobState(QStringLiteral("VelCap"), before, 0);
    const qsizetype listed = m_printing->printers(nullptr).size();
    QCOMPARE(::kill(scheduler, SIGCONT), 0);

    QVERIFY(!graphical);
    QCOMPARE(motivo_falha(graphicalFailure), QStringLiteral("tempo esgotado"));
    QVERIFY(!raw);
    QCOMPARE(motivo_falha(rawFailure), QStringLiteral("tempo esgotado"));
    QCOMPARE(state, JobState::Pending); // never taken for over
    QCOMPARE(listed, 0);
    // Awake again, the scheduler answers the same service.
    QVERIFY2(print({"RAW, AWAKE"}, &error), qPrintable(error));
    QVERIFY(!waitForJobFile(QStringLiteral("VelRaw"), m_printing->lastJobId(), true).isEmpty());
}

void TestCups::fullDiskUnderTheSpill()
{
    // A document past the memory limit goes to a temporary file: a full disk there is told as such.
    QTemporaryDir dir;
    if (::geteuid() != 0 ||
        ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("a small file system cannot be mounted here (needs root)");
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    // Random letters and digits, so that the compressed pages still pass the limit.
    QList<QByteArray> lines;
    QRandomGenerator random(17);
    for (int i = 0; i < 70000; ++i) {
        QByteArray line(120, ' ');
        for (char& c : line)
            c = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"[random.bounded(36)];
        lines.append(line);
    }
    QString error;
    const bool printed = print(lines, &error);
    ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
    oldTemp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTemp);
    QVERIFY(!printed);
    QCOMPARE(motivo_falha(m_failure), QStringLiteral("sem espaço no disco"));
}

QString TestCups::printBy(bool textPath, const QList<QByteArray>& lines)
{
    m_printing = std::make_unique<CapturingPrinting>(textPath ? RenderPath::Best : RenderPath::Painter);
    QString error;
    if (!print(lines, &error)) {
        QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return QString();
    }
    if (m_printing->lastUsedTextPath() != textPath) {
        QTest::qFail(textPath ? "the job was not written as PDF text" : "the job was not drawn by Qt",
                     __FILE__, __LINE__);
        return QString();
    }
    return waitForJobFile("VelCap", m_printing->lastJobId());
}

QString TestCups::draw(bool textPath, const QString& face, const QStringList& lines, float points,
                       bool underline, bool bold)
{
    static QTemporaryDir dir;
    static int count = 0;
    const QString path = dir.filePath(QStringLiteral("drawn-%1.pdf").arg(++count));
    // Lines drawn one by one in one style on the default queue's sheet, as render/ draws them.
    const TextStyle style{face, bold, false, underline, points};
    const QRawFont font = rawFontOf(style);
    EmbeddedFonts fonts;
    PrintDocument doc(makeRenderer(style, font, fonts, textPath ? RenderPath::Best : RenderPath::Painter),
                      CupsQueues::media(CupsQueues::defaultQueue(), QByteArray()), font);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    if (!doc.begin(&pdf, QString())) {
        QTest::qFail("the PDF could not begin", __FILE__, __LINE__);
        return QString();
    }
    for (const QString& line : lines) {
        if (line == QLatin1String("\f"))
            doc.pageBreak();
        else
            doc.line(TextLine::plain(line));
    }
    if (!doc.finish()) {
        QTest::qFail("the PDF could not be written", __FILE__, __LINE__);
        return QString();
    }
    const QByteArray written = pdf.data();
    m_drawnAsText = written.contains("/Encoding /WinAnsiEncoding");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(written) != written.size()) {
        QTest::qFail(qPrintable(path + ": " + out.errorString()), __FILE__, __LINE__);
        return QString();
    }
    return path;
}

void TestCups::textPathMatchesQt_data()
{
    QTest::addColumn<int>("columns");
    QTest::newRow("80 columns, 11 points") << 80;
    QTest::newRow("100 columns, 9 points") << 100;
    QTest::newRow("110 columns, 8 points") << 110;
    QTest::newRow("132 columns, 7 points") << 132;
}

void TestCups::textPathMatchesQt()
{
    QFETCH(int, columns);
    // Indented and blank lines, characters PDF strings escape, accents, a character the face
    // lacks (the euro sign), form feeds with a blank page, and more lines than a page holds.
    QList<QByteArray> lines{"HEADER (TOTALS) \\ BACKSLASH",
                            "",
                            QByteArray(12, ' ') + "INDENTED  TWO  BLANKS",
                            "ACCENTS \xC9\xE9\xE7\xE3 \x93QUOTED\x94 \x96 DASH \x80 EURO \xA0NBSP",
                            "WIDEST " + QByteArray(columns - 7, '#'),
                            "\f",
                            "\f",
                            "AFTER A BLANK PAGE"};
    for (int i = 1; i <= 130; ++i)
        lines.append("ROW " + QByteArray::number(i) + QByteArray(i % 17, ' ') + "(" +
                     QByteArray::number(i * 7) + ")");
    const QString qt = printBy(false, lines);
    QVERIFY(!qt.isEmpty());
    const QString text = printBy(true, lines);
    QVERIFY(!text.isEmpty());
    QVERIFY(pdfPageCount(text) >= 4); // the first page, a blank one and the rows over two or more
    compareLayouts(qt, text);
}

void TestCups::textPathReadsBackTheCodePage()
{
    // Every character of Windows-1252 (the face has all but the euro sign).
    QByteArray ascii;
    for (int c = 0x21; c < 0x7F; ++c)
        ascii += char(c);
    QByteArray high;
    for (int c = 0x80; c < 0xA0; ++c)
        high += char(c);
    QByteArray latin;
    for (int c = 0xA1; c <= 0xFF; ++c)
        latin += char(c);
    const QString text = printBy(true, {ascii, high, latin});
    QVERIFY(!text.isEmpty());
    const QList<QStringList> pages = pagesOf(text);
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages[0].size(), 3);
    QCOMPARE(pages[0][0], QString::fromLatin1(ascii));
    // The euro sign and the holes of the code page draw nothing (their columns are compared
    // with Qt's below).
    QCOMPARE(
        QString(pages[0][1]).remove(u' '),
        QStringLiteral("\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D\u2018\u2019"
                       "\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E\u0178"));
    QCOMPARE(pages[0][2], QString::fromLatin1(latin));
    const QString qt = printBy(false, {ascii, high, latin});
    QVERIFY(!qt.isEmpty());
    compareLayouts(qt, text);
}

void TestCups::textPathEmbedsTheType1File()
{
    // As the service writes it (the capture queue's filters rewrite the file).
    const QString pdf = draw(true, QStringLiteral("Courier 10 Pitch"), {"EMBEDDED"});
    QVERIFY(!pdf.isEmpty());
    QVERIFY(m_drawnAsText);
    const QStringList fonts = fontsOf(pdf);
    QCOMPARE(fonts.size(), 1);
    const QStringList fields = fonts.first().simplified().split(u' ');
    // Courier10PitchBT-Roman Type 1 WinAnsi yes no yes 9 0
    QCOMPARE(fields.first(), QStringLiteral("Courier10PitchBT-Roman"));
    QCOMPARE(fields.mid(1, 3), QStringList({"Type", "1", "WinAnsi"}));
    QCOMPARE(fields.mid(4, 3), QStringList({"yes", "no", "yes"}));
    QCOMPARE(pagesOf(pdf), QList<QStringList>{{"EMBEDDED"}});

    // The program is the PFB file's segments without their headers: Length1, 2 and 3 are the
    // clear text, binary and trailing parts, as the file's own segment headers give them.
    QFile pfb(QStringLiteral("/usr/share/fonts/X11/Type1/c0419bt_.pfb"));
    QVERIFY2(pfb.open(QIODevice::ReadOnly), "xfonts-scalable's Courier 10 Pitch");
    const QByteArray file = pfb.readAll();
    QList<QByteArray> segments;
    for (qsizetype at = 0; at + 6 <= file.size() && quint8(file[at]) == 0x80 && file[at + 1] != 3;) {
        const qsizetype length = qsizetype(quint8(file[at + 2])) | qsizetype(quint8(file[at + 3])) << 8 |
                                 qsizetype(quint8(file[at + 4])) << 16 |
                                 qsizetype(quint8(file[at + 5])) << 24;
        segments.append(file.mid(at + 6, length));
        at += 6 + length;
    }
    QCOMPARE(segments.size(), 3);
    QFile out(pdf);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QByteArray bytes = out.readAll();
    const QRegularExpressionMatch m =
        QRegularExpression(
            QStringLiteral("/Length (\\d+) /Filter /FlateDecode /Length1 (\\d+) /Length2 (\\d+) "
                           "/Length3 (\\d+) >>\nstream\n"))
            .match(QString::fromLatin1(bytes));
    QVERIFY2(m.hasMatch(), "no FontFile stream with Length1, Length2 and Length3");
    QCOMPARE(m.captured(2).toInt(), segments[0].size());
    QCOMPARE(m.captured(3).toInt(), segments[1].size());
    QCOMPARE(m.captured(4).toInt(), segments[2].size());
    const QByteArray zlib = bytes.mid(m.capturedEnd(0), m.captured(1).toInt());
    QByteArray sized(4, 0);
    qToBigEndian(quint32(file.size()), sized.data()); // qUncompress wants the size first
    QCOMPARE(qUncompress(sized + zlib), segments[0] + segments[1] + segments[2]);
}

void TestCups::otherCasesAreDrawnByQt_data()
{
    QTest::addColumn<QString>("face");
    QTest::addColumn<bool>("underline");
    QTest::addColumn<bool>("bold");
    QTest::newRow("underline") << "Courier 10 Pitch" << true << false;
    QTest::newRow("bold") << "Courier 10 Pitch" << false << true;
    // fontconfig gives an OpenType file with PostScript outlines for this family.
    QTest::newRow("CFF face") << "Nimbus Mono PS" << false << false;
}

void TestCups::otherCasesAreDrawnByQt()
{
    QFETCH(QString, face);
    QFETCH(bool, underline);
    QFETCH(bool, bold);
    if (!hasFamily(face))
        QSKIP("the face is not installed");
    const QString pdf = draw(true, face, {"DRAWN BY QT"}, 11, underline, bold);
    QVERIFY(!pdf.isEmpty());
    QVERIFY(!m_drawnAsText);
    QCOMPARE(pagesOf(pdf), QList<QStringList>{{"DRAWN BY QT"}});
    // Qt's engine carries every face as a CID font.
    const QStringList fonts = fontsOf(pdf);
    QCOMPARE(fonts.size(), 1);
    QVERIFY2(fonts.first().contains(QLatin1String("CID")), qPrintable(fonts.first()));
}

void TestCups::textPathTrueType_data()
{
    QTest::addColumn<QString>("face");
    QTest::newRow("fixed pitch") << "DejaVu Sans Mono";
    // Its blank is narrower than the glyph drawn for characters it lacks: gaps are moved by
    // the difference.
    QTest::newRow("proportional") << "DejaVu Sans";
}

void TestCups::textPathTrueType()
{
    QFETCH(QString, face);
    if (!hasFamily(face))
        QSKIP("the face is not installed");
    const QStringList lines{"TRUETYPE (FACE) \\ " + face,
                            QStringLiteral("    GAP\u4E00\u4E00HERE AND \u00C9T\u00C9 \u201CQ\u201D"), "\f",
                            QStringLiteral("SECOND PAGE")};
    const QString text = draw(true, face, lines, 9);
    QVERIFY(!text.isEmpty());
    QVERIFY(m_drawnAsText);
    const QStringList fonts = fontsOf(text);
    QCOMPARE(fonts.size(), 1);
    const QStringList fields = fonts.first().simplified().split(u' ');
    QCOMPARE(fields.mid(1, 2), QStringList({"TrueType", "WinAnsi"}));
    QCOMPARE(fields.mid(3, 3), QStringList({"yes", "no", "yes"}));
    const QString qt = draw(false, face, lines, 9);
    QVERIFY(!qt.isEmpty());
    QVERIFY(!m_drawnAsText);
    compareLayouts(qt, text);
}

void TestCups::charactersOutsideTheCodePage()
{
    // A character the face has but Windows-1252 has not is drawn as "?"; one the face lacks
    // draws nothing, as Qt draws it.
    if (!hasFamily(QStringLiteral("DejaVu Sans Mono")))
        QSKIP("DejaVu Sans Mono is not installed");
    const QString text = draw(true, QStringLiteral("DejaVu Sans Mono"), {QStringLiteral("A\u0100B\uE000C")});
    QVERIFY(m_drawnAsText);
    QCOMPARE(pagesOf(text), QList<QStringList>{{"A?B C"}});
}

QTEST_MAIN(TestCups)
#include "tst_cups.moc"

void TestCups::generatedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QStringList>("inOrder"); // words that must read back in this order
    QTest::newRow("ESC/P invoice, CP850 frame")
        << "invoice.prn"
        << "850" << 3 << QStringList{"FATURA", "Nº", "1001", "Conceição,", "TOTAL"};
    QTest::newRow("COBOL report, wider than the sheet")
        << "report.txt"
        << "" << 2 << QStringList{"STOCK", "REPORT", "ITEM", "1"};
    QTest::newRow("groff overstrikes") << "manpage.txt"
                                       << "" << 1 << QStringList{"NAME", "prtjob", "SYNOPSIS"};
}

void TestCups::generatedFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, codePage);
    QFETCH(int, pages);
    QFETCH(QStringList, inOrder);
    QTemporaryDir dir;
    QCOMPARE(
        QProcess::execute(QStringLiteral("bash"),
                          {QStringLiteral(QT_TESTCASE_SOURCEDIR "/../generators/generate.sh"), dir.path()}),
        0);
    QFile in(dir.filePath(file));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QList<QByteArray> lines;
    TextLines split([&lines](QByteArrayView line) { lines.append(line.toByteArray()); });
    split.setKeepCommands(true);
    split.feed(in.readAll());
    split.finish();
    m_settings.encoding = encodingOf(codePage);
    QString error;
    QVERIFY2(print(lines, &error), qPrintable(error));
    const QString pdf = waitForJobFile("VelCap", m_printing->lastJobId());
    QCOMPARE(pdfPageCount(pdf), pages);

    // Every word on the sheet, none a printer command's letter, in the file's order.
    const QList<WordBox> words = wordsOf(pdf);
    QStringList read;
    for (const WordBox& w : words) {
        QVERIFY2(w.xMin >= 0 && w.yMin >= 0 && w.xMax <= 842 && w.yMax <= 842, qPrintable(w.text));
        read.append(w.text);
    }
    qsizetype at = 0;
    for (const QString& word : inOrder) {
        at = read.indexOf(word, at);
        QVERIFY2(at >= 0, qPrintable(word + " in " + read.mid(0, 20).join(u' ')));
    }
    const QStringList size = pdfPageSize(pdf).split(QStringLiteral(" x "));
    QCOMPARE(size.size(), 2);
    const QSizeF sheet(size[0].toDouble(), size[1].toDouble());
    for (const WordBox& w : words)
        QVERIFY2(w.xMax <= sheet.width() && w.yMax <= sheet.height(), qPrintable(w.text));
    if (file != QLatin1String("invoice.prn"))
        return;

    // Bold from the face's own Bold file; condensed words narrower than pica ones by their pitches.
    QVERIFY(fontsOf(m_printing->lastPdf.isEmpty() ? pdf : pdf).join(u' ').contains("Courier10PitchBT-Bold"));
    const auto widthPerChar = [&words](const QString& text) {
        for (const WordBox& w : words) {
            if (w.text == text)
                return (w.xMax - w.xMin) / text.size();
        }
        return 0.0;
    };
    // (Lines with frame characters are one word to pdftotext, which reads them as told.)
    const double ratio = widthPerChar(QStringLiteral("Condensed")) / widthPerChar(QStringLiteral("Cliente:"));
    QVERIFY2(qAbs(ratio - 10 / 17.14) < 0.03, qPrintable(QString::number(ratio)));
    QVERIFY(!read.join(u' ').contains(QRegularExpression(QStringLiteral("[\\x00-\\x1f]"))));

    // The frame is ruled, not lettered: no code-page letters where its characters stand, and
    // a dark rule runs across most of the frame's width.
    const QRegularExpressionMatch stray =
        QRegularExpression(QStringLiteral(".{0,20}([ÉÍ»¼È?]|(?<!N)º).{0,20}")).match(read.join(u' '));
    QVERIFY2(!stray.hasMatch(), qPrintable(stray.captured(0)));
    QTemporaryDir pictures;
    QCOMPARE(QProcess::execute(QStringLiteral("pdftoppm"), {"-r", "72", "-gray", "-f", "1", "-l", "1", pdf,
                                                            pictures.filePath(QStringLiteral("p"))}),
             0);
    const QImage page(pictures.filePath(QStringLiteral("p-1.pgm")));
    QVERIFY(!page.isNull());
    int longest = 0;
    for (int y = 0; y < page.height(); ++y) {
        int runLength = 0;
        for (int x = 0; x < page.width(); ++x) {
            runLength = qGray(page.pixel(x, y)) < 128 ? runLength + 1 : 0;
            longest = std::max(longest, runLength);
        }
    }
    QVERIFY2(longest > page.width() * 0.7, qPrintable(QString::number(longest)));
}

QString TestCups::printKept(const QList<QByteArray>& lines)
{
    static QTemporaryDir dir;
    static int count = 0;
    m_printing->keepOnly = true;
    QString error;
    if (!print(lines, &error)) {
        QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return QString();
    }
    const QString path = dir.filePath(QStringLiteral("kept-%1.pdf").arg(++count));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(m_printing->lastPdf) != m_printing->lastPdf.size())
        return QString();
    return path;
}

void TestCups::codeFreeFileAsBefore()
{
    // Leading blanks, a tab and a form feed: the job lays the file out as lines drawn one by one
    // at the table's size always did.
    QList<QByteArray> lines;
    QStringList drawn;
    for (int i = 0; i < 90; ++i) {
        const QByteArray line =
            (i % 7 ? "  LINE " : "\tTAB ") + QByteArray::number(i) + QByteArray(60, '.') + "END";
        lines.append(i == 45 ? "\f" + line : line);
        if (i == 45)
            drawn.append(QStringLiteral("\f"));
        drawn.append(QString::fromLatin1(line).replace(u'\t', QString(8, u' ')));
    }
    const QString job = printKept(lines);
    QString face;
    for (const QString& f : m_printing->faceNames()) {
        if (face.isEmpty() && f.startsWith(QLatin1String("courier"), Qt::CaseInsensitive))
            face = f;
    }
    const QString plain = draw(true, face, drawn, 11);
    QCOMPARE(pdfPageCount(job), pdfPageCount(plain));
    const QList<WordBox> a = wordsOf(job);
    const QList<WordBox> b = wordsOf(plain);
    QCOMPARE(a.size(), b.size());
    for (qsizetype i = 0; i < a.size(); ++i) {
        QCOMPARE(a[i].text, b[i].text);
        QCOMPARE(a[i].page, b[i].page);
        QVERIFY(qAbs(a[i].xMin - b[i].xMin) < 0.01 && qAbs(a[i].yMin - b[i].yMin) < 0.01);
    }
}

void TestCups::codePages_data()
{
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("font"); // a face the PDF must carry
    QTest::newRow("no key: Windows-1252") << "" << QByteArray("Pre\xe7o \x93x\x94") << "Preço “x”"
                                          << "Courier10PitchBT-Roman";
    QTest::newRow("850, frame drawn") << "850" << QByteArray("\xc9\xcd\xbb Pre\x87o") << "╔═╗ Preço"
                                      << "Courier10PitchBT-Roman";
    QTest::newRow("860") << "860" << QByteArray("Informa\x87\x84o") << "Informação"
                         << "Courier10PitchBT-Roman";
    QTest::newRow("437 Greek from the second face") << "437" << QByteArray("\xe0\xe3 = 3.14") << "απ = 3.14"
                                                    << "DejaVuSansMono";
    QTest::newRow("UTF-8") << "UTF-8" << QByteArray("Pre\xc3\xa7o \xe2\x94\x80") << "Preço ─"
                           << "Courier10PitchBT-Roman";
}

void TestCups::codePages()
{
    QFETCH(QString, codePage);
    QFETCH(QByteArray, line);
    QFETCH(QString, text);
    QFETCH(QString, font);
    m_settings.encoding = encodingOf(codePage);
    const QString pdf = printKept({line});
    QCOMPARE(run(QStringLiteral("pdftotext"), {pdf, "-"}).trimmed(), text);
    QVERIFY2(fontsOf(pdf).join(u' ').contains(font), qPrintable(fontsOf(pdf).join(u' ')));
}

void TestCups::linesPerPage_data()
{
    QTest::addColumn<QString>("linhas");
    QTest::addColumn<QByteArray>("first"); // the first line's start: printer codes or none
    QTest::addColumn<int>("lines");
    QTest::addColumn<QList<int>>("perPage");
    QTest::newRow("30 a page") << "30" << QByteArray() << 61 << QList<int>{30, 30, 1};
    QTest::newRow("120 fit on one sheet") << "120" << QByteArray() << 120 << QList<int>{120};
    QTest::newRow("more than the face allows never grows the advance")
        << "5" << QByteArray() << 6 << QList<int>{5, 1};
    QTest::newRow("printer codes: a form of 66 lines") << ""
                                                       << QByteArray("\x1b@\x1b"
                                                                     "E")
                                                       << 100 << QList<int>{66, 34};
    QTest::newRow("printer codes: LINHAS sets the form")
        << "33" << QByteArray("\x1b@") << 100 << QList<int>{33, 33, 33, 1};
    QTest::newRow("printer codes: the file's own form length wins") << "33"
                                                                    << QByteArray("\x1b"
                                                                                  "C\x32")
                                                                    << 100 << QList<int>{50, 50};
}

void TestCups::linesPerPage()
{
    QFETCH(QString, linhas);
    QFETCH(QByteArray, first);
    QFETCH(int, lines);
    QFETCH(QList<int>, perPage);
    m_settings.linesPerPage = linesPerPageOf(linhas);
    QList<QByteArray> text;
    for (int i = 0; i < lines; ++i)
        text.append((i == 0 ? first : QByteArray()) + "L" + QByteArray::number(i));
    const QString pdf = printKept(text);
    QList<int> counts;
    for (const WordBox& w : wordsOf(pdf)) {
        if (counts.size() < w.page)
            counts.resize(w.page);
        ++counts[w.page - 1];
    }
    QCOMPARE(counts, perPage);
}

void TestCups::wideLinesWrap()
{
    // 500 columns do not fit a landscape sheet even at 4 points: the rest of the line follows.
    QByteArray wide;
    for (int i = 0; wide.size() < 500; ++i)
        wide += "W" + QByteArray::number(i) + ' ';
    const QString pdf = printKept({"TOP", wide, "BOTTOM"});
    const QStringList size = pdfPageSize(pdf).split(QStringLiteral(" x "));
    QCOMPARE(size.size(), 2);
    QVERIFY2(size[0].toDouble() > size[1].toDouble(), "landscape");
    const QList<WordBox> words = wordsOf(pdf);
    QStringList read;
    for (const WordBox& w : words) {
        QVERIFY2(w.xMax <= size[0].toDouble() && w.yMax <= size[1].toDouble(), qPrintable(w.text));
        read.append(w.text);
    }
    QCOMPARE(read.join(QString()), QString::fromLatin1("TOP" + wide + "BOTTOM").remove(u' '));
}
