// The settings file VELMORIX.INI: what grava_ini writes and what le_ini makes of any file.

#include "settings/Settings.h"
#include "tests/support/Doubles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

Settings sample()
{
    Settings s;
    s.pattern = QStringLiteral("/var/spool/video/*.TXT");
    s.printer = QStringLiteral("Laser_Sala");
    s.backup = OnOff(QStringLiteral("1"));
    s.raw = OnOff(QStringLiteral("0"));
    s.port = QStringLiteral("/dev/usb/lp0");
    return s;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void writtenBytes();
    void roundTrip_data();
    void roundTrip();
    void lines_data();
    void lines();
    void keyGivenTwiceTakesLast();
    void lineBreakInValueReadsAsTwoLines();
    void missingFileIsWrittenFromCurrentValues();
    void emptyPathWritesAtIniPathAndFails();
    void longLines_data();
    void longLines();
    void linesPerPage_data();
    void linesPerPage();

private:
    QTemporaryDir m_dir;
    QString m_ini;
    TestFileServices m_files;
};

void TestSettings::init()
{
    QVERIFY(m_dir.isValid());
    m_ini = m_dir.filePath(QStringLiteral("VELMORIX.INI"));
    QFile::remove(m_ini);
}

void TestSettings::writtenBytes()
{
    Settings s = sample();
    s.port.clear();
    QString error;
    QVERIFY2(grava_ini(s, m_ini, m_files, &error), qPrintable(error));
    QCOMPARE(readAll(m_ini), QByteArray("LOCAL = /var/spool/video/*.TXT\r\n"
                                        "IMPRESSORA = Laser_Sala\r\n"
                                        "BACKUP = 1\r\n"
                                        "PARALELA = 0\r\n"
                                        "PORTA = \r\n"));

    // Writing again replaces the five keys; lines added by hand (optional keys, comments,
    // unknown keys) follow them, in their order.
    QVERIFY(writeBytes(m_ini, "EXTRA = 1\r\n" + readAll(m_ini) + "; note\nCODIFICACAO = 850\r\nMORE\r\n"));
    s.backup = OnOff(QStringLiteral("0"));
    QVERIFY(grava_ini(s, m_ini, m_files, &error));
    QCOMPARE(readAll(m_ini), QByteArray("LOCAL = /var/spool/video/*.TXT\r\n"
                                        "IMPRESSORA = Laser_Sala\r\n"
                                        "BACKUP = 0\r\n"
                                        "PARALELA = 0\r\n"
                                        "PORTA = \r\n"
                                        "EXTRA = 1\r\n"
                                        "; note\r\n"
                                        "CODIFICACAO = 850\r\n"
                                        "MORE\r\n"));
    Settings read;
    QVERIFY(le_ini(read, m_ini, m_files, &error));
    QCOMPARE(read.encoding, CodePage::Encoding::Cp850);
}

void TestSettings::roundTrip_data()
{
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("expectedLocal");
    QTest::addColumn<QByteArray>("localBytes");
    QTest::addColumn<QByteArray>("before"); ///< the file there before, when there is one
    QTest::addColumn<QByteArray>("kept");   ///< how the file ends: the lines kept from before

    QTest::newRow("plain") << "/tmp/video/*.TXT"
                           << "/tmp/video/*.TXT" << QByteArray("/tmp/video/*.TXT") << QByteArray()
                           << QByteArray();
    QTest::newRow("surrounding blanks dropped")
        << "   /tmp/a b/*.TXT  "
        << "/tmp/a b/*.TXT" << QByteArray("   /tmp/a b/*.TXT  ") << QByteArray() << QByteArray();
    QTest::newRow("tabs kept") << "\t/tmp/x\t"
                               << "\t/tmp/x\t" << QByteArray("\t/tmp/x\t") << QByteArray() << QByteArray();
    QTest::newRow("empty") << ""
                           << "" << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("latin letters as Windows-1252")
        << QStringLiteral("/tmp/relatórios/ação/*.TXT") << QStringLiteral("/tmp/relatórios/ação/*.TXT")
        << QByteArray("/tmp/relat\xF3rios/a\xE7\xE3o/*.TXT") << QByteArray() << QByteArray();
    QTest::newRow("euro sign in the 0x80 row")
        << QStringLiteral("/tmp/€/*.TXT") << QStringLiteral("/tmp/€/*.TXT") << QByteArray("/tmp/\x80/*.TXT")
        << QByteArray() << QByteArray();
    QTest::newRow("outside the code page")
        << QStringLiteral("/tmp/日本/*.TXT") << QStringLiteral("/tmp/\?\?/*.TXT")
        << QByteArray("/tmp/\?\?/*.TXT") << QByteArray() << QByteArray();
    // A file a Linux editor saved in UTF-8 is read and written back in UTF-8; one in
    // Windows-1252 stays in Windows-1252.
    QTest::newRow("UTF-8 file stays UTF-8")
        << QStringLiteral("/tmp/relatórios/*.TXT") << QStringLiteral("/tmp/relatórios/*.TXT")
        << QByteArray("/tmp/relat\xC3\xB3rios/*.TXT") << QByteArray("; impressora do balc\xC3\xA3o\r\n")
        << QByteArray("; impressora do balc\xC3\xA3o\r\n");
    QTest::newRow("Windows-1252 file stays Windows-1252")
        << QStringLiteral("/tmp/relatórios/*.TXT") << QStringLiteral("/tmp/relatórios/*.TXT")
        << QByteArray("/tmp/relat\xF3rios/*.TXT") << QByteArray("; impressora do balc\xE3o\r\n")
        << QByteArray("; impressora do balc\xE3o\r\n");
    // Windows-1252 bytes that happen to be valid UTF-8 would read back as other letters: the
    // file is written in UTF-8 then, the lines it keeps too; with a byte that is not UTF-8
    // left in it, it stays Windows-1252 byte for byte.
    QTest::newRow("Windows-1252 that reads as UTF-8 written as UTF-8")
        << QStringLiteral("/tmp/Ã§/*.TXT") << QStringLiteral("/tmp/Ã§/*.TXT")
        << QByteArray("/tmp/\xC3\x83\xC2\xA7/*.TXT") << QByteArray() << QByteArray();
    QTest::newRow("Windows-1252 value replaced, file then UTF-8")
        << QStringLiteral("/tmp/Ô³/*.TXT") << QStringLiteral("/tmp/Ô³/*.TXT")
        << QByteArray("/tmp/\xC3\x94\xC2\xB3/*.TXT")
        << QByteArray("LOCAL = /tmp/caf\xE9\r\n; sala \xD4\xB3\r\n")
        << QByteArray("; sala \xC3\x94\xC2\xB3\r\n");
    QTest::newRow("Windows-1252 kept line not UTF-8, file stays")
        << QStringLiteral("/tmp/Ô³/*.TXT") << QStringLiteral("/tmp/Ô³/*.TXT")
        << QByteArray("/tmp/\xD4\xB3/*.TXT") << QByteArray("LOCAL = /tmp/x\r\n; caf\xE9\r\n")
        << QByteArray("; caf\xE9\r\n");
}

void TestSettings::roundTrip()
{
    QFETCH(QString, local);
    QFETCH(QString, expectedLocal);
    QFETCH(QByteArray, localBytes);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, kept);

    if (!before.isEmpty())
        QVERIFY(writeBytes(m_ini, before));
    Settings written = sample();
    written.pattern = local;
    written.printer = QStringLiteral("  HP LaserJet  ");
    QString error;
    QVERIFY2(grava_ini(written, m_ini, m_files, &error), qPrintable(error));
    QVERIFY(readAll(m_ini).startsWith("LOCAL = " + localBytes + "\r\nIMPRESSORA = "));

    Settings read;
    read.path = m_ini;
    QVERIFY2(le_ini(read, m_ini, m_files, &error), qPrintable(error));
    QCOMPARE(read.pattern, expectedLocal);
    QCOMPARE(read.printer, QStringLiteral("HP LaserJet"));
    QCOMPARE(read.backup.text(), written.backup.text());
    QCOMPARE(read.raw.text(), written.raw.text());
    QCOMPARE(read.port, written.port);
    QVERIFY(readAll(m_ini).endsWith(kept));
}

// Each file is read over the same starting values; the row names what it should change.
void TestSettings::lines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected"); // LOCAL, IMPRESSORA, BACKUP, PARALELA, PORTA

    const QStringList start{"local0", "printer0", "backup0", "paralela0", "porta0"};
    QTest::newRow("no blanks around =")
        << QByteArray("LOCAL=/a/*.TXT\r\n")
        << QStringList{"/a/*.TXT", "printer0", "backup0", "paralela0", "porta0"};
    QTest::newRow("many blanks") << QByteArray("     LOCAL     =     /a/*.TXT     \r\n")
                                 << QStringList{"/a/*.TXT", "printer0", "backup0", "paralela0", "porta0"};
    QTest::newRow("value holding =") << QByteArray("PORTA = a=b = c\r\n")
                                     << QStringList{"local0", "printer0", "backup0", "paralela0", "a=b = c"};
    QTest::newRow("prefix alone") << QByteArray("LOCAL = \r\n")
                                  << QStringList{"", "printer0", "backup0", "paralela0", "porta0"};
    QTest::newRow("key and = only") << QByteArray("LOCAL=")
                                    << QStringList{"", "printer0", "backup0", "paralela0", "porta0"};
    QTest::newRow("lower-case key") << QByteArray("local = x\r\nBackup = x\r\n") << start;
    QTest::newRow("tab before key") << QByteArray("\tLOCAL = x\r\n") << start;
    QTest::newRow("line starting with =") << QByteArray("= x\r\n=LOCAL\r\n") << start;
    QTest::newRow("empty lines") << QByteArray("\r\n\r\n\n\r") << start;
    QTest::newRow("line without =") << QByteArray("LOCAL x\r\nLOCAL\r\n") << start;
    QTest::newRow("empty file") << QByteArray() << start;
    QTest::newRow("key with blank inside") << QByteArray("LO CAL = x\r\n") << start;
    QTest::newRow("only BACKUP") << QByteArray("BACKUP = 1\r\n")
                                 << QStringList{"local0", "printer0", "1", "paralela0", "porta0"};
    QTest::newRow("reverse order among other lines")
        << QByteArray("[geral]\r\nPORTA = /dev/lp0\r\n; nota\r\nPARALELA = 1\r\nBACKUP = 0\r\nX = 1\r\n"
                      "IMPRESSORA = HP\r\n\r\nLOCAL = /a/*.TXT\r\n")
        << QStringList{"/a/*.TXT", "HP", "0", "1", "/dev/lp0"};
    QTest::newRow("CR only") << QByteArray("LOCAL = /a/*.TXT\rPORTA = p\rBACKUP = 1")
                             << QStringList{"/a/*.TXT", "printer0", "1", "paralela0", "p"};
    QTest::newRow("LF only") << QByteArray("LOCAL = /a/*.TXT\nPORTA = p\nBACKUP = 1\n")
                             << QStringList{"/a/*.TXT", "printer0", "1", "paralela0", "p"};
    QTest::newRow("last line without line end")
        << QByteArray("BACKUP = 0\r\nPORTA = q") << QStringList{"local0", "printer0", "0", "paralela0", "q"};
    QTest::newRow("Windows-1252 value")
        << QByteArray("LOCAL = /tmp/relat\xF3rios/*.TXT\r\n")
        << QStringList{QStringLiteral("/tmp/relatórios/*.TXT"), "printer0", "backup0", "paralela0", "porta0"};
    QTest::newRow("UTF-8 value")
        << QByteArray("LOCAL = /tmp/relat\xC3\xB3rios/*.TXT\r\nIMPRESSORA = Balc\xC3\xA3o\r\n")
        << QStringList{QStringLiteral("/tmp/relatórios/*.TXT"), QStringLiteral("Balcão"), "backup0",
                       "paralela0", "porta0"};
    QTest::newRow("invalid UTF-8 is Windows-1252")
        << QByteArray("LOCAL = /tmp/relat\xC3\xB3rios/*.TXT\r\nIMPRESSORA = Balc\xE3o\r\n")
        << QStringList{QStringLiteral("/tmp/relatÃ³rios/*.TXT"), QStringLiteral("Balcão"), "backup0",
                       "paralela0", "porta0"};
}

void TestSettings::lines()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);

    QVERIFY(writeBytes(m_ini, file));
    Settings s{"local0", "printer0", OnOff(QStringLiteral("backup0")), OnOff(QStringLiteral("paralela0")),
               "porta0", m_ini};
    QString error;
    QVERIFY2(le_ini(s, m_ini, m_files, &error), qPrintable(error));
    QCOMPARE((QStringList{s.pattern, s.printer, s.backup.text(), s.raw.text(), s.port}), expected);
    QCOMPARE(readAll(m_ini), file); // reading never writes an existing file
}

void TestSettings::keyGivenTwiceTakesLast()
{
    QVERIFY(writeBytes(m_ini, "LOCAL = /first/*.TXT\r\nBACKUP = 1\r\nLOCAL = /second/*.TXT\r\n"));
    Settings s;
    s.path = m_ini;
    QString error;
    QVERIFY(le_ini(s, m_ini, m_files, &error));
    QCOMPARE(s.pattern, QStringLiteral("/second/*.TXT"));
    QCOMPARE(s.backup.text(), QStringLiteral("1"));
}

void TestSettings::lineBreakInValueReadsAsTwoLines()
{
    Settings written = sample();
    written.printer = QStringLiteral("HP\r\nMORE TEXT");
    written.port = QStringLiteral("/dev/lp0\r\nLOCAL = /elsewhere/*.PRN");
    QString error;
    QVERIFY(grava_ini(written, m_ini, m_files, &error));

    Settings read;
    read.path = m_ini;
    QVERIFY(le_ini(read, m_ini, m_files, &error));
    QCOMPARE(read.printer, QStringLiteral("HP"));
    QCOMPARE(read.port, QStringLiteral("/dev/lp0"));
    QCOMPARE(read.pattern, QStringLiteral("/elsewhere/*.PRN")); // the later line wins
}

void TestSettings::missingFileIsWrittenFromCurrentValues()
{
    Settings s = sample();
    s.pattern = QStringLiteral("  /padded/*.TXT ");
    s.path = m_ini;
    QVERIFY(!QFile::exists(m_ini));
    QString error;
    QVERIFY2(le_ini(s, m_ini, m_files, &error), qPrintable(error));
    QVERIFY(readAll(m_ini).startsWith("LOCAL =   /padded/*.TXT \r\nIMPRESSORA = Laser_Sala\r\n"));
    QCOMPARE(s.pattern, QStringLiteral("/padded/*.TXT")); // read back
    QCOMPARE(s.port, QStringLiteral("/dev/usb/lp0"));

    // A folder standing where the file should be is not a settings file either.
    const QString folder = m_dir.filePath(QStringLiteral("FOLDER.INI"));
    QVERIFY(QDir().mkdir(folder));
    Settings t = sample();
    t.path = folder;
    QVERIFY(!le_ini(t, folder, m_files, &error));
}

void TestSettings::emptyPathWritesAtIniPathAndFails()
{
    Settings s = sample();
    s.path = m_ini;
    QString error;
    QVERIFY(!le_ini(s, QString(), m_files, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(readAll(m_ini).startsWith("LOCAL = /var/spool/video/*.TXT\r\n"));
    QCOMPARE(s.pattern, sample().pattern);
}

void TestSettings::longLines_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("withEquals");

    for (int length : {32767, 32768, 40000, 65536, 10 * 1024 * 1024}) {
        QTest::addRow("%d with =", length) << length << true;
        QTest::addRow("%d without =", length) << length << false;
    }
}

void TestSettings::longLines()
{
    QFETCH(int, length);
    QFETCH(bool, withEquals);

    // The long line sits between two settings; the value of LOCAL fills it up to its length.
    QByteArray longLine;
    if (withEquals)
        longLine = "LOCAL = " + QByteArray(length - 8, 'x');
    else
        longLine = QByteArray(length, 'x');
    QCOMPARE(longLine.size(), length);
    QVERIFY(writeBytes(m_ini, "BACKUP = 1\r\n" + longLine + "\r\nPORTA = /dev/lp1\r\n"));

    Settings s{"local0", "printer0", OnOff(QStringLiteral("backup0")), OnOff(QStringLiteral("paralela0")),
               "porta0", m_ini};
    QString error;
    QVERIFY2(le_ini(s, m_ini, m_files, &error), qPrintable(error));
    QCOMPARE(s.backup.text(), QStringLiteral("1"));
    QCOMPARE(s.port, QStringLiteral("/dev/lp1"));
    if (withEquals)
        QCOMPARE(s.pattern, QString(length - 8, u'x'));
    else
        QCOMPARE(s.pattern, QStringLiteral("local0"));
}

void TestSettings::linesPerPage_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("pins");

    QTest::newRow("absent") << QByteArray() << 0 << "" << 9;
    QTest::newRow("66") << QByteArray("LINHAS = 66") << 66 << "" << 9;
    QTest::newRow("the most") << QByteArray("LINHAS = 132") << 132 << "" << 9;
    QTest::newRow("one too many") << QByteArray("LINHAS = 133") << 132
                                  << "LINHAS = 133 fora do intervalo de 1 a 132: usado 132" << 9;
    QTest::newRow("999999") << QByteArray("LINHAS = 999999") << 132
                            << "LINHAS = 999999 fora do intervalo de 1 a 132: usado 132" << 9;
    QTest::newRow("past any number")
        << QByteArray("LINHAS = 123456789012345678901234567890") << 132
        << "LINHAS = 123456789012345678901234567890 fora do intervalo de 1 a 132: "
           "usado 132"
        << 9;
    QTest::newRow("negative") << QByteArray("LINHAS = -5") << 0 << "LINHAS = -5 é negativo: ignorado" << 9;
    QTest::newRow("not a number") << QByteArray("LINHAS = 66a") << 0
                                  << "LINHAS = 66a não é um número de linhas: ignorado" << 9;
    QTest::newRow("24 pins") << QByteArray("AGULHAS = 24") << 0 << "" << 24;
    QTest::newRow("9 pins") << QByteArray("AGULHAS = 9") << 0 << "" << 9;
    QTest::newRow("pins neither 9 nor 24")
        << QByteArray("AGULHAS = 18") << 0 << "AGULHAS = 18 não é 9 nem 24: usado 9" << 9;
    QTest::newRow("paper unknown")
        << QByteArray("PAPEL = A3") << 0
        << "PAPEL = A3 não é A4, CARTA, OFICIO, 8.5X11 nem 8.5X12: usado o papel da impressora" << 9;
    QTest::newRow("orientation unknown")
        << QByteArray("ORIENTACAO = deitado") << 0
        << "ORIENTACAO = deitado não é AUTOMATICA, RETRATO nem PAISAGEM: usada AUTOMATICA" << 9;
}

// LINHAS is brought within a range a page can show, AGULHAS is 9 or 24, and the log says so when
// one was not used as written.
void TestSettings::linesPerPage()
{
    QFETCH(QByteArray, line);
    QFETCH(int, lines);
    QFETCH(QString, note);
    QFETCH(int, pins);

    QVERIFY(writeBytes(m_ini, "LOCAL = /a/*.TXT\r\n" + line + "\r\n"));
    Settings s;
    QString error;
    QStringList notes;
    QVERIFY2(le_ini(s, m_ini, m_files, &error, &notes), qPrintable(error));
    QCOMPARE(s.linesPerPage, lines);
    QCOMPARE(s.pins, pins);
    QCOMPARE(notes, note.isEmpty() ? QStringList() : QStringList{note});
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
