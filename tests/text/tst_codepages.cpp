// The code pages of spool files, checked against iconv, the eject word and the line splitter.
#include "text/Eject.h"
#include "text/Encoding.h"
#include "text/TextLines.h"

#include <QProcess>
#include <QtTest>

using CodePage::Encoding;

class TestCodePages : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void upperHalfAgreesWithIconv_data();
    void upperHalfAgreesWithIconv();
    void eject_data();
    void eject();
    void linesSplitAnywhere_data();
    void linesSplitAnywhere();
};

void TestCodePages::decode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("850 box frame") << "850" << QByteArray("\xDA\xC4\xBF\xB3\xC0\xD9") << u"┌─┐│└┘"_qs;
    QTest::newRow("850 accents") << "850" << QByteArray("\x87\xC6\xA2\x90\xB5") << u"çãóÉÁ"_qs;
    QTest::newRow("860 accents") << "860" << QByteArray("\x84\x8E\x94\x99\x8C") << u"ãÃõÕÔ"_qs;
    QTest::newRow("437 greek and maths") << "437" << QByteArray("\xE0\xE3\xF6\xFB\xF2\xEC") << u"απ÷√≥∞"_qs;
    QTest::newRow("DOS control bytes stay controls")
        << "437" << QByteArray("\x01\x0F\x1F", 3) << QString::fromLatin1("\x01\x0F\x1F", 3);
    QTest::newRow("1252") << "1252" << QByteArray("\x80\xE7\x93") << u"€ç“"_qs;
    // The scan for bytes above ASCII goes a word at a time: high bytes in and after a whole word.
    QTest::newRow("1252 after a word of ASCII")
        << "1252" << QByteArray("abcdefgh\x80z\x9F") << u"abcdefgh€zŸ"_qs;
    QTest::newRow("850 in a word's last byte") << "850" << QByteArray("0123456\xC9\xCD") << u"0123456╔═"_qs;
    QTest::newRow("UTF-8") << "UTF-8" << QByteArray("a\xC3\xA7\xE2\x94\x80") << u"aç─"_qs;
    QTest::newRow("437 double frame") << "437" << QByteArray("\xC9\xCD\xBB\xBA\xC8\xBC") << u"╔═╗║╚╝"_qs;
    QTest::newRow("863 accents") << "863" << QByteArray("\x84\x8E\x9D\xA8") << u"ÂÀÙÎ"_qs;
    QTest::newRow("865 Nordic") << "865" << QByteArray("\x9B\x9D\xAF\xC9") << u"øØ¤╔"_qs;
    QTest::newRow("ABICOMP") << "ABICOMP" << QByteArray("\xA4\xC4\xC6\xD3\xB5\xDF\xAF\xBF") << u"ÃãçõŒ±Ñ°"_qs;
    QTest::newRow("ABICOMP's holes") << "abicomp" << QByteArray("\x85\xE3") << u"\u0085 "_qs;
    QTest::newRow("BRASCII") << "BRASCII" << QByteArray("\xC3\xE3\xE7\xD7\xF7\xA9") << u"ÃãçŒœ©"_qs;
    QTest::newRow("unknown name") << "cp850" << QByteArray("x") << QString();
    QTest::newRow("empty name") << "" << QByteArray("x") << QString();
}

void TestCodePages::decode()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    const std::optional<Encoding> encoding = CodePage::encodingByName(name);
    QCOMPARE(encoding.has_value(), !text.isNull());
    if (encoding) {
        QCOMPARE(CodePage::decode(bytes, *encoding), text);
        QCOMPARE(CodePage::encodingByName(CodePage::encodingName(*encoding)),
                 encoding); // the test page names it
    }
}

void TestCodePages::upperHalfAgreesWithIconv_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"437", "850", "860", "863", "865"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestCodePages::upperHalfAgreesWithIconv()
{
    QFETCH(QString, name);
    QByteArray upper;
    for (int b = 0x80; b <= 0xFF; ++b)
        upper.append(char(b));
    QProcess iconv;
    iconv.start("iconv", {"-f", "CP" + name, "-t", "UTF-8"});
    iconv.write(upper);
    iconv.closeWriteChannel();
    QVERIFY(iconv.waitForFinished());
    QCOMPARE(iconv.exitCode(), 0);
    QCOMPARE(CodePage::decode(upper, *CodePage::encodingByName(name)), QString::fromUtf8(iconv.readAll()));
}

void TestCodePages::eject_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("eject");

    for (const char* yes : {"EJECT", "*EJECT*", "<eject>", "EJECT 1", "  Eject", "x.eJeCt"})
        QTest::newRow(yes) << QByteArray(yes) << true;
    for (const char* no : {"Orders rejected: 17", "Project Alpha", "ejected", "EJECTPAGE", "EJEC T", ""})
        QTest::newRow(no) << QByteArray(no) << false;
    QTest::newRow("accented letter after") << QByteArray("EJECT\xC9") << false;
    QTest::newRow("multiplication sign after") << QByteArray("EJECT\xD7") << true;
    QTest::newRow("second one standalone") << QByteArray("rejected, EJECT") << true;
    QTest::newRow("lowercase j before an uppercase word") << QByteArray("ject EJECT") << true;
    QTest::newRow("uppercase J before a lowercase word") << QByteArray("JJ eject") << true;
    QTest::newRow("j right before") << QByteArray("jEJECT") << false;
}

void TestCodePages::eject()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, eject);
    QCOMPARE(isEjectLine(line), eject);
}

void TestCodePages::linesSplitAnywhere_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("keepCommands");
    QTest::addColumn<QByteArrayList>("lines");

    QTest::newRow("CR LF, LF; a lone CR overprints")
        << QByteArray("A\r\nBB\rC\n\nD") << false << QByteArrayList{"A", "BB\rC", "", "D"};
    QTest::newRow("overprint before the first LF") << QByteArray("TITLE\rTITLE\n____\r\nEND\r") << false
                                                   << QByteArrayList{"TITLE\rTITLE", "____", "END"};
    QTest::newRow("lone CRs only end lines")
        << QByteArray("A\rBB\r\rC") << false << QByteArrayList{"A", "BB", "", "C"};
    QTest::newRow("LF CR is one line end")
        << QByteArray("A\n\rB\n\r\nC\n\r") << false << QByteArrayList{"A", "B", "", "C"};
    // A printer moves the paper by LF or ESC J alone: Ghostscript's epson pages have no LF.
    QTest::newRow("printer stream: lone CRs return the carriage")
        << QByteArray("A\033K\002\000\r\r\rB\rC", 11) << true
        << QByteArrayList{QByteArray("A\033K\002\000\r\r\rB\rC", 11)};
    const QByteArray image("A\033K\003\000\r\n\nB\r\nC", 12);
    QTest::newRow("bit image kept whole") << image << true << QByteArrayList{image.first(9), "C"};
    QTest::newRow("bit image bytes end lines")
        << image << false << QByteArrayList{image.first(5), "", "B", "C"};
    // Run-length raster rows, two of 64 dots, measured by their data: 12 bytes as they are, then
    // one byte 4 times.
    const QByteArray raster("A\033.\001\012\012\002\100\000\013\r\n\r\n\r\n\r\n\r\n\r\n\375\n\r\nC", 27);
    QTest::newRow("raster rows kept whole") << raster << true << QByteArrayList{raster.first(24), "C"};
    const QByteArray nine("A\033^\000\002\000\n\r\r\nB\rC", 13);
    QTest::newRow("9-pin image kept whole") << nine << true << QByteArrayList{nine};
    QTest::newRow("parameter, then a line end")
        << QByteArray("\033A\014\nB\033@\r") << true << QByteArrayList{"\033A\014", "B\033@"};
}

void TestCodePages::linesSplitAnywhere()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, keepCommands);
    QFETCH(QByteArrayList, lines);

    // However the bytes come in chunks, the lines are the same.
    for (qsizetype first = 0; first <= bytes.size(); ++first) {
        for (qsizetype second = first; second <= bytes.size(); ++second) {
            QByteArrayList got;
            TextLines split([&got](QByteArrayView line) { got.append(line.toByteArray()); });
            split.setKeepCommands(keepCommands);
            split.feed(QByteArrayView(bytes).first(first));
            split.feed(QByteArrayView(bytes).sliced(first, second - first));
            split.feed(QByteArrayView(bytes).sliced(second));
            split.finish();
            QVERIFY2(got == lines,
                     qPrintable(QStringLiteral("chunks end at %1 and %2").arg(first).arg(second)));
        }
    }
}

QTEST_GUILESS_MAIN(TestCodePages)
#include "tst_codepages.moc"
