// The printer-command interpreter: styles, feeds and pages of hand-made and generated print-outs.
#include "text/EscP.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
/// A byte string that may hold NULs.
template <size_t N> QByteArray bytes(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

/// Runs as "{flags:text}" (b bold, i italic, u underline, w double width, pitch cpi), lines by '|',
/// pages by '#'.
QString describe(const PrintedDocument& doc)
{
    QStringList pages;
    for (const PrintedPage& page : doc.pages) {
        QStringList lines;
        for (const PrintedLine& line : page.lines) {
            QString out;
            for (const StyledRun& run : line.runs) {
                const RunStyle& s = run.style;
                QString flags = QString(s.bold ? "b" : "") + (s.italic ? "i" : "") +
                                (s.underline ? "u" : "") + (s.doubleWidth ? "w" : "");
                if (s.pitch != Pitch::Pica)
                    flags += QString::number(charactersPerInch(s.pitch), 'g', 4);
                out += flags.isEmpty() ? QString::fromLatin1(run.text) : "{" + flags + ":" + run.text + "}";
            }
            lines << out;
        }
        pages << lines.join('|');
    }
    return pages.join('#');
}

/// Each page as "length:advance,advance,…", 1/360 inch.
QString feeds(const PrintedDocument& doc)
{
    QStringList pages;
    for (const PrintedPage& page : doc.pages) {
        QStringList advances;
        for (const PrintedLine& line : page.lines)
            advances << QString::number(line.advance);
        pages << QString::number(page.length) + ":" + advances.join(',');
    }
    return pages.join(' ');
}
} // namespace

class TestEscP : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void styles_data();
    void styles();
    void feedsAndPages_data();
    void feedsAndPages();
    void cutShortAnywhereLeavesNoCode();
    void generated_data();
    void generated();

private:
    QTemporaryDir m_dir;
};

void TestEscP::styles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("printed");

    QTest::newRow("plain") << QByteArray("AB\r\nC") << "AB|C";
    QTest::newRow("bold, double strike") << QByteArray("\x1b"
                                                       "EA\x1b"
                                                       "FB\x1bGC\x1bH")
                                         << "{b:A}B{b:C}";
    QTest::newRow("bold stays while double strike") << QByteArray("\x1bG\x1b"
                                                                  "EA\x1b"
                                                                  "FB")
                                                    << "{b:AB}";
    QTest::newRow("italic, underline both forms") << bytes("\x1b"
                                                           "4A\x1b"
                                                           "5\x1b-\x01U\x1b-0V\x1b-1W\x1b-\x00X")
                                                  << "{i:A}{u:U}V{u:W}X";
    QTest::newRow("master select") << bytes("\x1b!\xF9"
                                            "A\x1b!\x00"
                                            "B")
                                   << "{biuw12:A}B";
    QTest::newRow("pitches") << QByteArray("\x1bMA\x1bgB\x1bPC") << "{12:A}{15:B}C";
    QTest::newRow("condensed from pica and elite") << QByteArray("\x0f"
                                                                 "A\x1bMB\x12"
                                                                 "C\x1b\x0f"
                                                                 "D")
                                                   << "{17.14:A}{20:B}{12:C}{20:D}";
    QTest::newRow("double width to the line end") << QByteArray("\x0e"
                                                                "AB\r\nC\x1b\x0e"
                                                                "D\x14"
                                                                "E\x1bW1F\r\nG")
                                                  << "{w:AB}|C{w:D}E{w:F}|{w:G}";
    QTest::newRow("ESC @ resets") << QByteArray("\x1b"
                                                "E\x0f\x1b@A")
                                  << "A";
    QTest::newRow("commands consumed") << bytes("A\x1bK\x03\x00\r\n\x1b"
                                                "B\x1b*\x21\x01\x00"
                                                "abc\x1b"
                                                "D\x08\x10\x00"
                                                "C\x1bx1\x1bO\x1b(U\x01\x00\x0a"
                                                "D\x1b\x7f"
                                                "E\x1b"
                                                "B\x05\x00"
                                                "F")
                                       << "ABCDEF";
    QTest::newRow("tab stops end at a value not above the last") << QByteArray("\x1b"
                                                                               "D\x20\x30!AB")
                                                                 << "!AB";
    QTest::newRow("other controls not drawn") << bytes("A\x00\x07\x0b\x18\x7f"
                                                       "B")
                                              << "AB";
    QTest::newRow("tabs to multiples of 8") << QByteArray("A\tB\x1b"
                                                          "E\tC")
                                            << "A       B{b:       C}";
    QTest::newRow("overstrikes") << QByteArray("XX\bX _\bY Z\b_ \bQ") << "X{b:X} {u:Y} {u:Z}Q";
    QTest::newRow("groff attributes")
        << QByteArray("\x1b[1mA\x1b[0m \x1b[4mB\x1b[24mC\x1b[22m") << "{b:A} {u:B}C";
    QTest::newRow("PCL") << QByteArray("\x1b"
                                       "E\x1b&l1O\x1b(s3B\x1b*b3WA\rBC\x1b(s0BD\x1b&d@")
                         << "{b:C}D";
    QTest::newRow("PCL job lines") << QByteArray("\x1b%-12345X@PJL JOB\r\n\x1b"
                                                 "E\x1b&l0OA\x1b%-12345X@PJL EOJ\n")
                                   << "A";
}

void TestEscP::styles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, printed);
    QCOMPARE(describe(EscP::interpret(file)), printed);
    QVERIFY(EscP::carriesPrinterCodes(file) || !file.contains('\x1b'));
}

void TestEscP::feedsAndPages_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("feeds");

    QTest::newRow("defaults") << QByteArray("A\nB") << "3960:60,60";
    QTest::newRow("spacings") << QByteArray("\x1b"
                                            "0A\n\x1b"
                                            "3\x14"
                                            "B\n\x1b"
                                            "A\x0c"
                                            "C\n\x1b"
                                            "2D\n\x1bJ\x05")
                              << "3960:45,40,72,60,10";
    QTest::newRow("page length in lines at spacing") << QByteArray("\x1b"
                                                                   "0\x1b"
                                                                   "C\x02"
                                                                   "A\nB\nC\n")
                                                     << "90:45,45 90:45";
    QTest::newRow("page length in inches") << bytes("\x1b"
                                                    "C\x00\x01"
                                                    "A\n")
                                           << "360:60";
    QTest::newRow("zero page length ignored") << bytes("\x1b"
                                                       "C\x00\x00"
                                                       "A")
                                              << "3960:60";
    QTest::newRow("form feeds") << QByteArray("A\fB\r\n\f\fC") << "3960:60 3960:60 3960: 3960:60";
    QTest::newRow("leading form feed, full page then form feed") << QByteArray("\f\x1b"
                                                                               "C\x01"
                                                                               "A\n\fB")
                                                                 << "60:60 60:60";
}

void TestEscP::feedsAndPages()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, feeds);
    QCOMPARE(::feeds(EscP::interpret(file)), feeds);
}

// A file may end in the middle of any command: nothing of a command is ever printed, and
// nothing is read past the end (the sanitizer builds check the latter).
void TestEscP::cutShortAnywhereLeavesNoCode()
{
    const QByteArray file = bytes("\x1b@\x1b"
                                  "C\x00\x05\x1bK\x02\x00xy\x1b*\x27\x01\x00"
                                  "abc\x1b(U\x01\x00\x05"
                                  "\x1b"
                                  "D\x08\x00\x1b[1;4mT\x1b-1\x1b"
                                  "3\x10\x1bW0");
    for (qsizetype n = 0; n <= file.size(); ++n) {
        const QString printed = describe(EscP::interpret(file.first(n)));
        QVERIFY2(printed.isEmpty() || printed.endsWith('T') || printed.endsWith("T}"), qPrintable(printed));
    }
}

void TestEscP::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess generate;
    generate.start(VELMORIX_GENERATORS "/generate.sh", {m_dir.path()});
    QVERIFY(generate.waitForFinished(120000));
    QVERIFY2(generate.exitCode() == 0, generate.readAllStandardError().constData());
}

void TestEscP::generated_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("coded");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("lines");

    QTest::newRow("ESC/P invoice") << "invoice.prn" << true << 3 << 66;
    QTest::newRow("COBOL report") << "report.txt" << false << 2 << 30;
    QTest::newRow("man page") << "manpage.txt" << false << 1 << 27;
}

void TestEscP::generated()
{
    QFETCH(QString, name);
    QFETCH(bool, coded);
    QFETCH(int, pages);
    QFETCH(int, lines);

    QFile f(m_dir.filePath(name));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    QCOMPARE(EscP::carriesPrinterCodes(file), coded);
    const PrintedDocument doc = EscP::interpret(file);
    QCOMPARE(doc.pages.size(), pages);
    QCOMPARE(doc.pages.first().lines.size(), lines);

    // The text is the file's, in order, less its commands, line ends and overstruck characters.
    QByteArray printed;
    bool bold = false, underline = false, doubleWidth = false, condensed = false;
    for (const PrintedPage& page : doc.pages) {
        for (const PrintedLine& line : page.lines) {
            printed += line.text();
            for (const StyledRun& run : line.runs) {
                bold |= run.style.bold;
                underline |= run.style.underline;
                doubleWidth |= run.style.doubleWidth;
                condensed |= run.style.pitch == Pitch::CondensedPica;
            }
        }
    }
    QString expected = QString::fromLatin1(file);
    expected.remove(QRegularExpression("\x1b(@|E|F|C.|\x0f)|[\r\n\f\x0e\x0f\x12]|.\b"));
    QCOMPARE(QString::fromLatin1(printed), expected);
    QCOMPARE(bold, name != "report.txt");
    QCOMPARE(underline, name == "manpage.txt");
    QCOMPARE(doubleWidth && condensed, coded);
}

QTEST_GUILESS_MAIN(TestEscP)
#include "tst_escp.moc"
