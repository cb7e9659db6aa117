// The print job without a scheduler: the document the job hands the printer (face, printer,
// size, lines and page breaks) on a recording printer, and raw output into real files,
// FIFOs and unwritable places.

#include "platform/PosixFileServices.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "settings/Settings.h"
#include "spool/PrintJob.h"
#include "tests/support/Doubles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

/// The lines each followed by CR LF, as raw mode writes them.
QByteArray rawBytes(const QList<QByteArray>& lines)
{
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

/// What the documents drew: lines, page breaks and their ends.
QStringList documentCalls(const QStringList& calls)
{
    QStringList shaped;
    for (const QString& call : calls) {
        if (call.startsWith(QLatin1String("line ")) || call == QLatin1String("page") ||
            call == QLatin1String("end"))
            shaped.append(call);
    }
    return shaped;
}

/// Regular files and links in the folder, dot files left out.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
}

const QDateTime kMoment(QDate(2026, 12, 7), QTime(12, 30, 45));
const char kTempName[] = "temp07122026123045.BAK";

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pointSize_data();
    void pointSize();
    void pageBreaks_data();
    void pageBreaks();
    void emptyTextEndsDocumentWithoutPage();
    void printerChoice_data();
    void printerChoice();
    void face_data();
    void face();

    void rawToRegularFile_data();
    void rawToRegularFile();
    void rawToFifoWithReader();
    void rawToFifoNobodyReads_data();
    void rawToFifoNobodyReads();
    void rawFailures_data();
    void rawFailures();
    void rawLeavesAFileOfThatNameAlone();
    void rawDoesNotWriteThroughPlantedLink();

private:
    bool printGraphical(const QByteArray& text, qint16 columns = 10, QString* error = nullptr);
    bool printRaw(const QString& port, const QByteArray& text, QString* error = nullptr,
                  int timeoutMs = ImpressaoConteudo::kRawTimeoutMs);

    RecordingPrinter m_printer;
    TestFileServices m_files;
    PosixRawPort m_port;
    PosixPlaces m_places;
    Settings m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
};

void TestLayout::init()
{
    m_printer = RecordingPrinter();
    m_printer.installed = {{QStringLiteral("VelCap"), QString()}, {QStringLiteral("Laser"), QString()}};
    m_printer.current = QStringLiteral("VelCap");
    m_printer.faces = {QStringLiteral("DejaVu Sans"), QStringLiteral("Courier 10 Pitch")};
    m_settings = Settings();
    m_settings.printer = QStringLiteral("VelCap");
    m_files.fixedNow = kMoment;
    // Raw mode puts its temporary file in the current folder.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestLayout::cleanup()
{
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

bool TestLayout::printGraphical(const QByteArray& text, qint16 columns, QString* error)
{
    ImpressaoConteudo job(m_settings, m_printer, m_files, m_files, m_port, m_places);
    PrintError failed;
    const bool printed = job.imprime_conteudo(text, columns, QStringLiteral("REL.TXT"), &failed);
    if (error)
        *error = failed.text;
    return printed;
}

bool TestLayout::printRaw(const QString& port, const QByteArray& text, QString* error, int timeoutMs)
{
    m_settings.raw = OnOff(QStringLiteral("1"));
    m_settings.port = port;
    ImpressaoConteudo job(m_settings, m_printer, m_files, m_files, m_port, m_places);
    job.setRawTimeoutMs(timeoutMs);
    PrintError failed;
    const bool printed = job.imprime_conteudo(text, 80, QStringLiteral("REL.TXT"), &failed);
    if (error)
        *error = failed.text;
    return printed;
}

void TestLayout::pointSize_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("size");
    QTest::newRow("0") << 0 << "11";
    QTest::newRow("80") << 80 << "11";
    QTest::newRow("81") << 81 << "9";
    QTest::newRow("100") << 100 << "9";
    QTest::newRow("101") << 101 << "8";
    QTest::newRow("110") << 110 << "8";
    QTest::newRow("111") << 111 << "7";
    QTest::newRow("32767") << 32767 << "7";
}

void TestLayout::pointSize()
{
    QFETCH(int, columns);
    QFETCH(QString, size);
    QCOMPARE(tamanho_fonte(qint16(columns)), size);
    // The widest line chooses it by its characters (not a UTF-8 file's bytes), without the
    // blanks around it.
    const QByteArray blanks(7, ' ');
    QVERIFY(printGraphical(spool({blanks + QByteArray(columns, 'X') + QByteArray(200, ' ')}), 0));
    m_settings.encoding = CodePage::Encoding::Utf8;
    QVERIFY(printGraphical(spool({blanks + QByteArray("\xc3\xa7").repeated(columns) + blanks}), 0));
    QCOMPARE(m_printer.documents.size(), 2);
    for (const auto& document : std::as_const(m_printer.documents))
        QCOMPARE(QString::number(document.shape.points), size);
}

void TestLayout::pageBreaks_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("one line") << QList<QByteArray>{"ONLY"} << QStringList{"line ONLY", "end"};
    QTest::newRow("form feed ends a line")
        << QList<QByteArray>{"TEXT\f", "NEXT"} << QStringList{"line TEXT", "page", "line NEXT", "end"};
    QTest::newRow("form feed starts a line")
        << QList<QByteArray>{"A", "\fHEADER"} << QStringList{"line A", "page", "line HEADER", "end"};
    QTest::newRow("form feed alone") << QList<QByteArray>{"A", "\f", "B"}
                                     << QStringList{"line A", "page", "line B", "end"};
    QTest::newRow("form feed inside")
        << QList<QByteArray>{"A\fB"} << QStringList{"line A", "page", "line B", "end"};
    QTest::newRow("leading form feed, no blank first page")
        << QList<QByteArray>{"\fFIRST", "SECOND"} << QStringList{"line FIRST", "line SECOND", "end"};
    QTest::newRow("form feed alone first")
        << QList<QByteArray>{"\f", "FIRST"} << QStringList{"line FIRST", "end"};
    QTest::newRow("trailing form feed, no blank last page")
        << QList<QByteArray>{"LAST\f"} << QStringList{"line LAST", "end"};
    QTest::newRow("form feed alone last")
        << QList<QByteArray>{"LAST", "\f"} << QStringList{"line LAST", "end"};
    QTest::newRow("two breaks give one blank page")
        << QList<QByteArray>{"A", "\f", "\f", "B"} << QStringList{"line A", "page", "page", "line B", "end"};
    QTest::newRow("eject in capitals")
        << QList<QByteArray>{"A", "EJECT", "B"} << QStringList{"line A", "page", "line B", "end"};
    QTest::newRow("eject in mixed case")
        << QList<QByteArray>{"A", "  eJeCt here", "B"} << QStringList{"line A", "page", "line B", "end"};
    // "eject" must stand as a word: inside one, or glued to letters, it is text.
    QTest::newRow("eject inside a word") << QList<QByteArray>{"A", "ORDER REJECTED", "B"}
                                         << QStringList{"line A", "line ORDER REJECTED", "line B", "end"};
    QTest::newRow("eject as part of words")
        << QList<QByteArray>{"Orders rejected: 17", "Project Alpha", "EJECTPAGE"}
        << QStringList{"line Orders rejected: 17", "line Project Alpha", "line EJECTPAGE", "end"};
    QTest::newRow("eject between punctuation")
        << QList<QByteArray>{"A", "*** EJECT ***", "B"} << QStringList{"line A", "page", "line B", "end"};
    QTest::newRow("form feed and eject: printed")
        << QList<QByteArray>{"A", "EJECT\f", "B"}
        << QStringList{"line A", "line EJECT", "page", "line B", "end"};
    QTest::newRow("eject on the first line")
        << QList<QByteArray>{"eject", "A"} << QStringList{"line A", "end"};
    QTest::newRow("empty lines print")
        << QList<QByteArray>{"A", "", "B"} << QStringList{"line A", "line ", "line B", "end"};
    QTest::newRow("leading blanks kept") << QList<QByteArray>{QByteArray(20, ' ') + "X"}
                                         << QStringList{"line " + QString(20, u' ') + "X", "end"};
    QTest::newRow("tab from column 0") << QList<QByteArray>{"\tX"} << QStringList{"line         X", "end"};
    QTest::newRow("tab to the next multiple of 8")
        << QList<QByteArray>{"AB\tC"} << QStringList{"line AB      C", "end"};
    QTest::newRow("tab after 8 columns")
        << QList<QByteArray>{"12345678\tX"} << QStringList{"line 12345678        X", "end"};
    QTest::newRow("two tabs") << QList<QByteArray>{"A\t\tB"} << QStringList{"line A               B", "end"};
    QTest::newRow("Windows-1252 decoded")
        << QList<QByteArray>{"\x80 caf\xe9"} << QStringList{"line € café", "end"};
}

void TestLayout::pageBreaks()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QStringList, expected);
    QString error;
    QVERIFY2(printGraphical(spool(lines), 10, &error), qPrintable(error));
    QCOMPARE(documentCalls(m_printer.calls), expected);
}

void TestLayout::emptyTextEndsDocumentWithoutPage()
{
    QVERIFY(printGraphical(QByteArray()));
    QCOMPARE(documentCalls(m_printer.calls), QStringList{"end"});
}

void TestLayout::printerChoice_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("printed");
    QTest::addColumn<QString>("chosen");    ///< the current printer after the job
    QTest::addColumn<int>("selectedIndex"); ///< the index selected, -1 for none

    const QStringList two{"VelCap", "Laser"};
    QTest::newRow("exact") << two << "VelCap"
                           << "Laser" << true << "Laser" << 1;
    QTest::newRow("other case") << two << "VelCap"
                                << "lASER" << true << "Laser" << 1;
    QTest::newRow("first of two equal names") << QStringList{"VelCap", "laser", "LASER"} << "VelCap"
                                              << "Laser" << true << "laser" << 1;
    // A printer named and not installed is a failure, never the default printer.
    QTest::newRow("no match is a failure") << two << "Laser"
                                           << "Missing" << false << "Missing" << -1;
    QTest::newRow("empty name takes the default") << two << "VelCap"
                                                  << "" << true << "VelCap" << -1;
    QTest::newRow("no match and no default printer") << two << ""
                                                     << "Missing" << false << "Missing" << -1;
    QTest::newRow("no printer installed") << QStringList{} << ""
                                          << "VelCap" << false << "VelCap" << -1;
}

void TestLayout::printerChoice()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, current);
    QFETCH(QString, wanted);
    QFETCH(bool, printed);
    QFETCH(QString, chosen);
    QFETCH(int, selectedIndex);

    m_printer.installed.clear();
    for (const QString& name : installed)
        m_printer.installed.append({name, QString()});
    m_printer.current = current;
    m_settings.printer = wanted;
    QString error;
    ImpressaoConteudo job(m_settings, m_printer, m_files, m_files, m_port, m_places);
    PrintError failed;
    QCOMPARE(job.imprime_conteudo(spool({"X"}), 10, QStringLiteral("REL.TXT"), &failed), printed);
    error = failed.text;
    QCOMPARE(job.currentPrinter(), chosen);
    // The printer named is found in the list; without it, the document goes to the one before.
    const QString target = selectedIndex < 0 ? current : installed[selectedIndex];
    if (printed)
        QCOMPARE(m_printer.documents.value(0).printer, target);
    if (!printed) {
        QVERIFY(!error.isEmpty());
        if (!wanted.isEmpty())
            QCOMPARE(motivo_falha(failed), QStringLiteral("impressora inexistente: ") + wanted);
        QVERIFY2(documentCalls(m_printer.calls).isEmpty(), "nothing may be drawn without a printer");
    }
}

void TestLayout::face_data()
{
    QTest::addColumn<QStringList>("faces");
    QTest::addColumn<QString>("chosen"); ///< empty: the face is left as it was

    QTest::newRow("Courier 10 Pitch") << QStringList{"DejaVu Sans", "Courier 10 Pitch"} << "Courier 10 Pitch";
    QTest::newRow("first of several")
        << QStringList{"Arial", "Courier New", "Courier 10 Pitch"} << "Courier New";
    QTest::newRow("lower case") << QStringList{"Arial", "courier prime"} << "courier prime";
    QTest::newRow("capitals with foundry") << QStringList{"COURIER [urw]", "Courier"} << "COURIER [urw]";
    QTest::newRow("prefix must be whole") << QStringList{"Courie", "Nimbus Mono PS"} << "";
    QTest::newRow("not at the start") << QStringList{"New Courier"} << "";
    QTest::newRow("no faces") << QStringList{} << "";
}

void TestLayout::face()
{
    QFETCH(QStringList, faces);
    QFETCH(QString, chosen);
    m_printer.faces = faces;
    m_settings.printer = QStringLiteral("Laser");
    QVERIFY(printGraphical(spool({"X"})));
    QCOMPARE(m_printer.documents.size(), 1);
    QCOMPARE(m_printer.documents[0].shape.face, chosen);
}

void TestLayout::rawToRegularFile_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::newRow("plain lines") << QList<QByteArray>{"LINE 1", "LINE 2"};
    QTest::newRow("form feeds and eject unchanged")
        << QList<QByteArray>{"\fHEADER", "A\fB", "EJECT", "REJECTED", "\f", "TAIL\f"};
    QTest::newRow("tabs, blanks and 8-bit bytes unchanged")
        << QList<QByteArray>{"\tX", "   ", "", "caf\xe9 \x80", QByteArray(300, 'W')};
    QTest::newRow("one line") << QList<QByteArray>{"ONLY"};
    QTest::newRow("empty text") << QList<QByteArray>{};
}

void TestLayout::rawToRegularFile()
{
    QFETCH(QList<QByteArray>, lines);
    const QString out = m_dir->filePath(QStringLiteral("port.prn"));
    {
        // A longer older file must not leave its tail behind.
        QFile old(out);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'Z'));
    }
    QString error;
    QVERIFY2(printRaw(out, spool(lines), &error), qPrintable(error));
    QCOMPARE(readAll(out), rawBytes(lines));
    QCOMPARE(entries(m_dir->path()), QStringList{"port.prn"});
    QVERIFY2(documentCalls(m_printer.calls).isEmpty(), "raw mode draws nothing");
}

void TestLayout::rawToFifoWithReader()
{
    // More than a pipe holds, so the copy has to wait for the reader in between.
    QList<QByteArray> lines;
    for (int i = 0; i < 4000; ++i)
        lines.append(QByteArray::number(i).rightJustified(6, '0') + ' ' + QByteArray(73, 'a' + i % 26));
    const QByteArray fifo = QFile::encodeName(m_dir->filePath(QStringLiteral("lpt")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);

    // The device: opened for reading before the job starts, read until the writer is gone.
    const int fd = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QByteArray received;
    std::atomic<bool> timedOut{false};
    std::thread device([&]() {
        char buffer[4096];
        for (;;) {
            struct pollfd pfd = {fd, POLLIN, 0};
            if (::poll(&pfd, 1, 20000) <= 0) {
                timedOut = true;
                return;
            }
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, n);
            else if (n == 0 && (pfd.revents & POLLHUP))
                return;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
        }
    });
    QString error;
    const bool sent = printRaw(QFile::decodeName(fifo), spool(lines), &error);
    device.join();
    ::close(fd);
    QVERIFY2(sent, qPrintable(error));
    QVERIFY2(!timedOut, "the device saw no end of the data within 20 s");
    QCOMPARE(received.size(), rawBytes(lines).size());
    QCOMPARE(received, rawBytes(lines));
    QCOMPARE(entries(m_dir->path()), QStringList{"lpt"});
}

void TestLayout::rawToFifoNobodyReads_data()
{
    QTest::addColumn<bool>("openedForReading");
    // No reader at all: the device is not there.
    QTest::newRow("no reader") << false;
    // A reader that never reads: the copy gives up after its time limit.
    QTest::newRow("reader never reads") << true;
}

void TestLayout::rawToFifoNobodyReads()
{
    QFETCH(bool, openedForReading);
    const QByteArray fifo = QFile::encodeName(m_dir->filePath(QStringLiteral("lpt")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const int fd = openedForReading ? ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    QList<QByteArray> lines(2000, QByteArray(78, 'x')); // well over what a pipe holds
    QString error;
    // A stall is a stall at any time limit: a short one keeps the test from waiting.
    QVERIFY(!printRaw(QFile::decodeName(fifo), spool(lines), &error, 200));
    if (fd >= 0)
        ::close(fd);
    QVERIFY(!error.isEmpty());
    QCOMPARE(entries(m_dir->path()), QStringList{"lpt"});
}

void TestLayout::rawFailures_data()
{
    QTest::addColumn<QString>("port");   ///< relative to the temporary folder unless absolute
    QTest::addColumn<bool>("asWritten"); ///< the port is given as it is, relative or not
    QTest::newRow("no port, no such printer") << "" << false;
    QTest::newRow("missing folder") << "missing/port.prn" << false;
    QTest::newRow("under a regular file") << "plain.txt/port.prn" << false;
    QTest::newRow("a folder") << "folder" << false;
    QTest::newRow("cannot be created, even by root") << "/proc/self/velmorix-port" << false;
    // The window's placeholder, left in the box: never a file in the working folder.
    QTest::newRow("relative path") << "generica" << true;
    QTest::newRow("relative path into a folder") << "folder/port.prn" << true;
}

void TestLayout::rawFailures()
{
    QFETCH(QString, port);
    QFETCH(bool, asWritten);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    {
        QFile plain(m_dir->filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("keep");
    }
    const QString path = asWritten || port.isEmpty() || port.startsWith(u'/') ? port : m_dir->filePath(port);
    // Without a port the print-out goes to the printer's queue: here there is none of that name.
    if (port.isEmpty())
        m_settings.printer = QStringLiteral("Missing");
    QString error;
    QVERIFY(!printRaw(path, spool({"LINE 1", "LINE 2"}), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(entries(m_dir->path()), QStringList{"plain.txt"});
    QCOMPARE(readAll(m_dir->filePath(QStringLiteral("plain.txt"))), QByteArray("keep"));
    QVERIFY(QDir(m_dir->filePath(QStringLiteral("folder"))).isEmpty());
    if (asWritten)
        QVERIFY2(error.contains(QStringLiteral("caminho absoluto")), qPrintable(error));
}

void TestLayout::rawLeavesAFileOfThatNameAlone()
{
    {
        QFile leftover(m_dir->filePath(kTempName));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.write("OLD CONTENT OF AN EARLIER JOB THAT MUST NOT BE SENT\r\n");
    }
    const QString out = m_dir->filePath(QStringLiteral("port.prn"));
    QString error;
    QVERIFY2(printRaw(out, spool({"NEW"}), &error), qPrintable(error));
    QCOMPARE(readAll(out), QByteArray("NEW\r\n"));
    // Another program may be writing it: it is not ours to delete.
    QCOMPARE(entries(m_dir->path()), (QStringList{"port.prn", kTempName}));
}

void TestLayout::rawDoesNotWriteThroughPlantedLink()
{
    const QString target = m_dir->filePath(QStringLiteral("victim.txt"));
    {
        QFile victim(target);
        QVERIFY(victim.open(QIODevice::WriteOnly));
        victim.write("untouched");
    }
    QVERIFY(QFile::link(target, m_dir->filePath(kTempName)));
    const QString out = m_dir->filePath(QStringLiteral("port.prn"));
    QString error;
    // The job takes another name; the link is never written through.
    QVERIFY2(printRaw(out, spool({"SECRET"}), &error), qPrintable(error));
    QCOMPARE(readAll(target), QByteArray("untouched"));
    QCOMPARE(readAll(out), QByteArray("SECRET\r\n"));
    // The link is left as it was found: it is not ours, and it is no temporary file we made.
    QVERIFY(QFileInfo(m_dir->filePath(kTempName)).isSymLink());
    QVERIFY(!PosixFileServices().isPlainFile(QFile::encodeName(m_dir->filePath(kTempName))));
}

QTEST_GUILESS_MAIN(TestLayout)
#include "tst_layout.moc"
