// Bar codes a spool file draws with ESC ( B, printed through the PDF renderer, rasterised at
// 300 dpi and read back by a bar code reader (zbarimg), as a bank's reader reads a boleto.

#include "render/Composer.h"
#include "render/EmbeddedFont.h"
#include "spool/Documents.h"

#include "tests/support/Poppler.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestBarcodeScan : public QObject
{
    Q_OBJECT

private slots:
    void scan_data();
    void scan();
};

void TestBarcodeScan::scan_data()
{
    QTest::addColumn<char>("kind");
    QTest::addColumn<char>("control"); ///< bit 0: the printer adds the check digit
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("read");    ///< what the reader reads
    QTest::addColumn<QByteArray>("caption"); ///< the human-readable line, without its blanks
    QTest::newRow("EAN-13") << char(0) << char(1) << QByteArray("590123412345") << QByteArray("5901234123457")
                            << QByteArray("5901234123457");
    QTest::newRow("EAN-8") << char(1) << char(1) << QByteArray("9638507") << QByteArray("96385074")
                           << QByteArray("96385074");
    const QByteArray boleto = "23797933100000150004150090000000123400000030";
    QTest::newRow("boleto, 2 of 5") << char(2) << char(0) << boleto << boleto << boleto;
    QTest::newRow("2 of 5 with its check")
        << char(2) << char(1) << QByteArray("1234567") << QByteArray("12345670") << QByteArray("12345670");
    QTest::newRow("UPC-A") << char(3) << char(1) << QByteArray("03600029145") << QByteArray("0036000291452")
                           << QByteArray("036000291452");
    QTest::newRow("UPC-E") << char(4) << char(1) << QByteArray("0425261") << QByteArray("0042100005264")
                           << QByteArray("04252614");
    QTest::newRow("Code 39") << char(5) << char(1) << QByteArray("CODE39") << QByteArray("CODE39W")
                             << QByteArray("*CODE39W*");
    QTest::newRow("Code 128, set B") << char(6) << char(0) << QByteArray("BVelmorix 2")
                                     << QByteArray("Velmorix 2") << QByteArray("Velmorix2");
    QTest::newRow("Code 128, B then C") << char(6) << char(0)
                                        << QByteArray("BNF\x1c"
                                                      "2024")
                                        << QByteArray("NF2024") << QByteArray("NF2024");
}

void TestBarcodeScan::scan()
{
    QFETCH(char, kind);
    QFETCH(char, control);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, read);
    QFETCH(QByteArray, caption);
    // Half an inch of bars, modules of 2/180 inch, an inch from the margin.
    const QByteArray file = "\x1b@BOLETO\r\n\r\n          \x1b(B" + QByteArray(1, char(6 + data.size())) +
                            '\0' + kind + QByteArray("\x02\x00\x5a\x00", 4) + control + data +
                            "\r\n\r\n\r\n\r\n\r\nFIM\r\n";
    QVERIFY(file.size() < 256 + 40);
    const Document document = imprime_documento(file, CodePage::Encoding::Windows1252);
    EmbeddedFonts fonts;
    Composer composer(fonts);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    QVERIFY(composer.render(document, QStringLiteral("tst_barcodescan"),
                            [&](QPageLayout* media, QString*) -> QIODevice* {
                                *media = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                                     QMarginsF(10, 10, 10, 10), QPageLayout::Point);
                                buffer.open(QIODevice::WriteOnly);
                                return &buffer;
                            }));
    QTemporaryDir dir;
    QVERIFY(rasterize(pdf, 300, dir.filePath(QStringLiteral("p.pgm"))));
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {"-q", "--raw", dir.filePath(QStringLiteral("p.pgm"))});
    QVERIFY(zbar.waitForFinished(60000));
    QCOMPARE(zbar.readAllStandardOutput().trimmed(), read);
    // The human-readable line is text under the bars, the check digit in it.
    const QString text = poppler(QStringLiteral("pdftotext"), pdf).remove(u' ');
    QVERIFY2(text.contains(QString::fromLatin1(caption)), qPrintable(text));
}

QTEST_MAIN(TestBarcodeScan)
#include "tst_barcodescan.moc"
