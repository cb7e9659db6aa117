// The printer-command interpreter: styles, feeds and pages of hand-made and generated print-outs.
#include "text/CharacterTables.h"
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

/// Runs as "{flags:text}" (b bold, i italic, u underline, w double width, h double height, ^ super-,
/// _ subscript, p proportional, pitch cpi), "@x" before a run that does not start where the one
/// before ends (x in pica cells), lines by '|', pages by '#'.
QString describe(const PrintedDocument& doc)
{
    QStringList pages;
    for (const PrintedPage& page : doc.pages) {
        QStringList lines;
        for (const PrintedLine& line : page.lines) {
            QString out;
            qreal end = 0;
            for (const StyledRun& run : line.runs) {
                if (qAbs(run.x - end) > 1e-6)
                    out += "@" + QString::number(run.x, 'g', 4);
                end = run.end();
                const RunStyle& s = run.style;
                QString flags = QString(s.bold ? "b" : "") + (s.italic ? "i" : "") +
                                (s.underline ? "u" : "") + (s.doubleWidth ? "w" : "") +
                                (s.heightFactor == 2 ? "h" : "") + (s.script == Script::Super ? "^" : "") +
                                (s.script == Script::Sub ? "_" : "") + (s.proportional ? "p" : "");
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

/// The characters printed, decoded in each run's table: italic runs as "{…}", a run struck over
/// the cell before it after "^", lines by '|'.
QString characters(const PrintedDocument& doc, CodePage::Encoding encoding)
{
    QStringList lines;
    for (const PrintedPage& page : doc.pages) {
        for (const PrintedLine& line : page.lines) {
            QString out;
            qreal end = 0;
            for (const StyledRun& run : line.runs) {
                const QString text = runText(run, encoding);
                out += (run.x < end ? "^" : "") + (run.style.italic ? "{" + text + "}" : text);
                end = run.end();
            }
            lines << out;
        }
    }
    return lines.join('|');
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
    void characterTables_data();
    void characterTables();
    void feedsAndPages_data();
    void feedsAndPages();
    void cutShortAnywhereLeavesNoCode();
    void dataPastTheEndPrintsAsText_data();
    void dataPastTheEndPrintsAsText();
    void generated_data();
    void generated();
    void codesFoundAnywhere_data();
    void codesFoundAnywhere();

private:
    QTemporaryDir m_dir;
};

void TestEscP::styles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("printed");

    QTest::newRow("plain") << QByteArray("AB\r\nC") << "AB|C";
    QTest::newRow("bold, double strike") << QByteArray("\033EA\033FB\033GC\033H") << "{b:A}B{b:C}";
    QTest::newRow("bold stays while double strike") << QByteArray("\033G\033EA\033FB") << "{b:AB}";
    QTest::newRow("italic, underline both forms")
        << bytes("\0334A\0335\033-\001U\033-0V\033-1W\033-\000X") << "{i:A}{u:U}V{u:W}X";
    QTest::newRow("master select") << bytes("\033!\371A\033!\000B") << "{biuw12:A}B";
    QTest::newRow("pitches") << QByteArray("\033MA\033gB\033PC") << "{12:A}{15:B}C";
    QTest::newRow("condensed from pica and elite")
        << QByteArray("\017A\033MB\022C\033\017D") << "{17.14:A}{20:B}{12:C}{20:D}";
    QTest::newRow("double width to the line end")
        << QByteArray("\016AB\r\nC\033\016D\024E\033W1F\r\nG") << "{w:AB}|C{w:D}E{w:F}|{w:G}";
    QTest::newRow("ESC @ resets") << QByteArray("\033E\017\033@A") << "A";
    QTest::newRow("commands consumed")
        << bytes("A\033K\003\000\r\n\033B\033*\041\001\000abc\033D\010\020\000C\033x1\033O\033("
                 "U\001\000\012D\033\177E\033B\005\000F")
        << "A@1.5B@2.583CDEF"; // the bit images move the head across their width
    QTest::newRow("tab stops end at a value not above the last") << QByteArray("\033D\040\060!AB") << "!AB";
    QTest::newRow("other controls not drawn") << bytes("A\000\007\177B") << "AB";
    QTest::newRow("commands with data, none drawn")
        << bytes("A\033&\000AAxxxxxxxxxxxxB\033?K\001C\033\0311D\033^\000\002\000wxyzE\033.\001\001\001\001"
                 "\010\000\376\377F\033eAB\033fAB\033cAB\033XABC\033iA\033UA\033sA\033/A\033hA\033%A\033:"
                 "\000ABG\033b\001AB\000\033(x\002\000ABH\033j\000\033a\000\033p\000\033w\000\033S\002\033t"
                 "\001\033R\001\0336\0337\033I\001I")
        << "ABCD@4.333E@5.361FGHI";
    QTest::newRow("ESC/P 2 user characters, 24-pin layout")
        << bytes("A\033(U\001\000\012\033&\000AA\000\002\000xxxxxxB") << "AB";
    QTest::newRow("ESC E ESC ( t is bold ESC/P, not PCL")
        << bytes("\033E\033(t\003\000\001\002\000A") << "{b:A}";
    // Places on the line, in pica cells: 1/60 inch is 1/6 cell, 1/120 inch 1/12.
    QTest::newRow("ESC $ absolute") << bytes("A\033$\074\000B\033$\006\000C") << "A@10B@1C";
    QTest::newRow("ESC \\ relative, both ways")
        << bytes("A\033\\\170\000BCDEF\033\\\304\377X") << "A@11BCDEF@11X";
    QTest::newRow("ESC \\ not left of the margin") << bytes("AB\033\\\304\377X") << "ABX";
    QTest::newRow("ESC \\ in 1/180 on ESC/P 2") << bytes("\033(U\001\000\024A\033\\\022\000B") << "A@2B";
    QTest::newRow("margins wrap") << QByteArray("\033l\002\033Q\006ABCDEFG\r\nH") << "@2ABCD|@2EFG|@2H";
    QTest::newRow("ESC $ from the left margin") << bytes("\033l\002\033$\074\000A") << "@12A";
    QTest::newRow("tab stops set") << bytes("\033D\004\012\000A\tB\tC\tD") << "A@4B@10CD";
    QTest::newRow("tab stops cleared") << bytes("\033D\000A\tB") << "AB";
    QTest::newRow("tab stops in elite columns") << bytes("\033M\033D\006\000\033P\tA") << "@5A";
    QTest::newRow("CR overprints, LF CR and CR LF end one line")
        << QByteArray("TOTAL\r_____\n\rB\r\nC") << "TOTAL@0_____|B|C";
    QTest::newRow("CR overprints bold") << QByteArray("TITLE\r\033ETITLE\033F") << "TITLE@0{b:TITLE}";
    QTest::newRow("CAN drops the line so far") << QByteArray("XYZ\030AB") << "AB";
    QTest::newRow("VT without stops feeds a line") << QByteArray("A\013B") << "A|B";
    QTest::newRow("BS away from a character moves the head") << QByteArray("AB\r\b\tC") << "AB@8C";
    QTest::newRow("ESC SP leaves room after each character") << bytes("\033 \014AB\033 \000C") << "A@2B@4C";
    QTest::newRow("ESC a centres and right-justifies")
        << QByteArray("\033a\001AB\r\n\033a\002AB\r\n\033Q\024\033a1CD") << "@39AB|@78AB|@9CD";
    QTest::newRow("script, double height, proportional")
        << bytes("\033S\000A\033S1B\033TC\033w1D\033w\000\033p1E\033!\002F") << "{^:A}{_:B}C{h:D}{p:EF}";
    QTest::newRow("tabs to multiples of 8") << QByteArray("A\tB\033E\tC") << "A@8B@16{b:C}";
    QTest::newRow("overstrikes") << QByteArray("XX\bX _\bY Z\b_ \bQ") << "X{b:X} {u:Y} {u:Z}Q";
    QTest::newRow("groff attributes")
        << QByteArray("\033[1mA\033[0m \033[4mB\033[24mC\033[22m") << "{b:A} {u:B}C";
    QTest::newRow("PCL") << QByteArray("\033E\033&l1O\033(s3B\033*b3WA\rBC\033(s0BD\033&d@") << "{b:C}D";
    QTest::newRow("PCL job lines") << QByteArray(
                                          "\033%-12345X@PJL JOB\r\n\033E\033&l0OA\033%-12345X@PJL EOJ\n")
                                   << "A";
}

void TestEscP::styles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, printed);
    QCOMPARE(describe(EscP::interpret(file)), printed);
    QVERIFY(EscP::carriesPrinterCodes(file) || !file.contains('\033'));
}

void TestEscP::characterTables_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("encoding"); ///< the document's code page
    QTest::addColumn<QString>("printed");

    QTest::newRow("ESC t 1 over 1252") << bytes("\xC9\033t\001\xC9\xCD\xCD\xBB") << "1252" << u"É╔══╗"_qs;
    QTest::newRow("ESC t 0: italic upper half") << bytes("\033t0A\xC1\xE2\x9F!") << "850" << u"A{Ab}!"_qs;
    QTest::newRow("ESC ( t: BRASCII as table 3")
        << bytes("\033(t\003\000\003\031\000\033t\003\xE3\xD7") << "437" << u"ãŒ"_qs;
    QTest::newRow("ESC ( t: ABICOMP as table 2")
        << bytes("\033(t\003\0002\032\000\033t2\xC4") << "437" << u"ã"_qs;
    QTest::newRow("ESC ( t: Latin 1 over the table in use")
        << bytes("\033t\001\xE7\033(t\003\000\001\035\020\xE7") << "1252" << u"τç"_qs;
    QTest::newRow("ESC ( t: unknown id keeps the table")
        << bytes("\033(t\003\000\001\077\000\033t1\xC9") << "1252" << u"╔"_qs;
    QTest::newRow("ESC @ back to the document's") << bytes("\033t\001\xC9\033@\xC9") << "1252" << u"╔É"_qs;
    QTest::newRow("ESC R 2 Germany") << bytes("\033R\002[\\]{|}~@#") << "1252" << u"ÄÖÜäöüß§#"_qs;
    QTest::newRow("ESC R 64 legal, ESC R 0 USA") << bytes("\033R\100@\033R\000@") << "1252" << u"§@"_qs;
    QTest::newRow("ESC R in an italic cell") << bytes("\033R\001\033t\000\xC0") << "1252" << u"{à}"_qs;
    QTest::newRow("ESC 7 hides 0x80..0x9F, ESC 6 shows") << bytes("\0337A\x80\x9F\xA0"
                                                                  "B\0336\x80")
                                                         << "1252" << u"A\u00A0B€"_qs;
    QTest::newRow("ESC I 1 prints control glyphs")
        << bytes("\033I\001\001\020\033I\000\001!") << "437" << u"☺►!"_qs;
    QTest::newRow("BS accents") << bytes("a\b~c\b,e\b'a\b`u\b\"o\b^") << "1252" << u"ãçéàüô"_qs;
    QTest::newRow("BS accent first") << bytes("~\ba,\bC") << "850" << u"ãÇ"_qs;
    QTest::newRow("BS accent in a table with the letter") << bytes("\033t\001c\b,n\b~") << "1252" << u"çñ"_qs;
    QTest::newRow("BS accent in a table without it") << bytes("\033t\001a\b~\xB3") << "1252" << u"ã│"_qs;
    QTest::newRow("BS accent without a composed letter") << bytes("q\b~x") << "1252" << u"q^~x"_qs;
    QTest::newRow("BS typewriter bold stays") << bytes("e\be") << "1252" << u"e"_qs;
    QTest::newRow("UTF-8 text untouched") << bytes("a\xC3\xA7\xC3\xA3o") << "UTF-8" << u"ação"_qs;
}

void TestEscP::characterTables()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, encoding);
    QFETCH(QString, printed);
    QCOMPARE(characters(EscP::interpret(file), *CodePage::encodingByName(encoding)), printed);
}

void TestEscP::feedsAndPages_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("feeds");
    QTest::addColumn<int>("lines"); // the form the printer starts with, in lines; 0: 66
    QTest::addColumn<int>("pins");

    QTest::newRow("defaults") << QByteArray("A\nB") << "3960:60,60" << 0 << 9;
    // n/216 inch steps add up to whole 1/360 ones without drifting: 20/216 is 33 1/3.
    QTest::newRow("9-pin spacings") << QByteArray("\0330A\n\0333\024B\n\033A\014C\n\0332D\n\033J\005")
                                    << "3960:45,33,60,60,8" << 0 << 9;
    QTest::newRow("24-pin spacings") << QByteArray("\0330A\n\0333\024B\n\033A\014C\n\0332D\n\033J\005")
                                     << "3960:45,40,72,60,10" << 0 << 24;
    QTest::newRow("ESC/P 2 command reads 24-pin from there on")
        << bytes("\0333\044A\n\033(U\001\000\012\0333\044B\n") << "3960:60,72" << 0 << 9;
    QTest::newRow("ESC N skips the perforation, ESC O not")
        << QByteArray("\033C\004\033N\002A\nB\nC\n\033OD\nE\n") << "240:60,60 240:60,60,60" << 0 << 9;
    QTest::newRow("ESC j feeds back") << QByteArray("A\n\033j\044B") << "3960:60,-60,60" << 0 << 9;
    QTest::newRow("ESC ( V and ESC ( v")
        << bytes("A\033(V\002\000\150\001B\033(v\002\000\350\377C") << "3960:360,-24,60" << 0 << 9;
    QTest::newRow("VT to the stops, then the next form")
        << bytes("\033B\002\005\000A\013B\013C\013D") << "3960:120,180,60 3960:60" << 0 << 9;
    QTest::newRow("page length in lines at spacing")
        << QByteArray("\0330\033C\002A\nB\nC\n") << "90:45,45 90:45" << 0 << 9;
    QTest::newRow("page length in inches") << bytes("\033C\000\001A\n") << "360:60" << 0 << 9;
    QTest::newRow("zero page length ignored") << bytes("\033C\000\000A") << "3960:60" << 0 << 9;
    QTest::newRow("form feeds") << QByteArray("A\fB\r\n\f\fC") << "3960:60 3960:60 3960: 3960:60" << 0 << 9;
    QTest::newRow("leading form feed, full page then form feed")
        << QByteArray("\f\033C\001A\n\fB") << "60:60 60:60" << 0 << 9;
    QTest::newRow("eject lines break the page")
        << QByteArray("\033EA\r\n*** EJECT ***\r\nB\r\neject\r\nREJECTED") << "3960:60 3960:60 3960:60" << 0
        << 9;
    QTest::newRow("a form of 33 lines") << QByteArray("A\nB") << "1980:60,60" << 33 << 9;
    QTest::newRow("more lines than a form holds") << QByteArray("A\nB") << "15300:60,60" << 35791395 << 9;
}

void TestEscP::feedsAndPages()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, feeds);
    QFETCH(int, lines);
    QFETCH(int, pins);
    PrintedDocument doc;
    EscP::interpret(
        file, [&doc](PrintedPage&& page) { doc.pages.append(page); }, EscP::Options{lines, pins});
    QCOMPARE(::feeds(doc), feeds);
}

// A file may end in the middle of any command: nothing of a command's own bytes is ever
// printed, the data it would take past the end prints as text and is told, and nothing is read
// past the end (the sanitizer builds check the latter).
void TestEscP::cutShortAnywhereLeavesNoCode()
{
    const QByteArray file = bytes("\033@\033C\000\005\033K\002\000xy\033*\047\001\000abc\033("
                                  "U\001\000\005\033D\010\000\033[1;4mT\033-1\0333\020\033W0");
    for (qsizetype n = 0; n <= file.size(); ++n) {
        const PrintedDocument doc = EscP::interpret(file.first(n));
        const QString printed = describe(doc);
        if (doc.cutShortAt >= 0)
            QVERIFY2(QStringList({"x", "@0.3333a", "@0.3333ab"}).contains(printed), qPrintable(printed));
        else
            QVERIFY2(printed.isEmpty() || printed.endsWith('T') || printed.endsWith("T}"),
                     qPrintable(printed));
    }
}

void TestEscP::dataPastTheEndPrintsAsText_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("cutShort");

    QTest::newRow("ESC K") << bytes("\033K\377\000") << true;
    QTest::newRow("ESC Z") << bytes("\033Z\377\377") << true;
    QTest::newRow("ESC * 24-dot") << bytes("\033*\047\010\000") << true;
    QTest::newRow("ESC * 48-dot") << bytes("\033*\111\003\000") << true;
    QTest::newRow("ESC (") << bytes("\033(U\377\000") << true;
    QTest::newRow("PCL raster") << QByteArray("\033*b500W") << true;
    QTest::newRow("PCL raster, lower-case letter") << QByteArray("\033*b500w") << true;
    QTest::newRow("whole bit image takes its data") << bytes("\033K\002\000ab") << false;
}

// A command whose count runs past the end of the file does not take the rest of the report
// with it: what follows its count prints as text.
void TestEscP::dataPastTheEndPrintsAsText()
{
    QFETCH(QByteArray, command);
    QFETCH(bool, cutShort);

    const bool pcl = command.startsWith("\033*b");
    const QByteArray start = pcl ? QByteArray("\033E\033&l0OHEAD\r\n") : QByteArray("HEAD\r\n");
    const PrintedDocument doc = EscP::interpret(start + command + "\r\nTAIL\r\nMORE");
    QCOMPARE(describe(doc), QStringLiteral("HEAD||TAIL|MORE"));
    QCOMPARE(doc.cutShortAt, cutShort ? start.size() : -1);
}

void TestEscP::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess generate;
    generate.start(VELMORIX_GENERATORS "/generate.sh", {m_dir.path()});
    QVERIFY(generate.waitForFinished(120000));
    QVERIFY2(generate.exitCode() == 0, generate.readAllStandardError().constData());
}

void TestEscP::codesFoundAnywhere_data()
{
    QTest::addColumn<char>("byte");
    QTest::addColumn<bool>("coded");
    QTest::newRow("ESC") << '\033' << true;
    QTest::newRow("SI") << '\017' << true;
    QTest::newRow("DC4") << '\024' << true;
    QTest::newRow("LF") << '\n' << false;
    QTest::newRow("US") << '\037' << false;
    QTest::newRow("high") << '\x9B' << false;
}

void TestEscP::codesFoundAnywhere()
{
    QFETCH(char, byte);
    QFETCH(bool, coded);
    // Wherever the byte stands, within or after the words the scan looks at together.
    for (int at = 0; at < 21; ++at) {
        QByteArray line(21, 'x');
        line[at] = byte;
        QVERIFY2(EscP::carriesPrinterCodes(line) == coded, qPrintable(QString::number(at)));
        QVERIFY(!EscP::carriesPrinterCodes(line.first(at)));
    }
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
    expected.remove(QRegularExpression("\033(@|E|F|C.|\017)|[\r\n\f\016\017\022]|.\b"));
    QCOMPARE(QString::fromLatin1(printed), expected);
    QCOMPARE(bold, name != "report.txt");
    QCOMPARE(underline, name == "manpage.txt");
    QCOMPARE(doubleWidth && condensed, coded);
}

QTEST_GUILESS_MAIN(TestEscP)
#include "tst_escp.moc"
