// Bar codes a spool file draws with ESC ( B, printed through the PDF renderer, rasterised at
// 300 dpi and read back by a bar code reader (zbarimg), as a bank's reader reads a boleto.

#include "render/Composer.h"
#include "render/EmbeddedFont.h"
#include "settings/Settings.h"
#include "spool/Documents.h"
#include "spool/TestPage.h"
#include "text/EscP.h"

#include "tests/support/Poppler.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <numeric>

namespace {

/// What the reader reads off the document's first page, printed on A4 and rasterised at 300 dpi;
/// the PDF goes into *pdf.
QByteArray scanned(const Document& document, QByteArray* pdf)
{
    EmbeddedFonts fonts;
    Composer composer(fonts);
    QBuffer buffer(pdf);
    const bool rendered = composer.render(
        document, QStringLiteral("tst_barcodescan"), [&](QPageLayout* media, QString*) -> QIODevice* {
            *media = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                                 QPageLayout::Point);
            buffer.open(QIODevice::WriteOnly);
            return &buffer;
        });
    QTemporaryDir dir;
    if (!rendered || !rasterize(*pdf, 300, dir.filePath(QStringLiteral("p.pgm"))))
        return "<not rendered>";
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {"-q", "--raw", dir.filePath(QStringLiteral("p.pgm"))});
    zbar.waitForFinished(60000);
    return zbar.readAllStandardOutput().trimmed();
}

} // namespace

class TestBarcodeScan : public QObject
{
    Q_OBJECT

private slots:
    void scan_data();
    void scan();
    void testPage_data();
    void testPage();
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
    QByteArray pdf;
    QCOMPARE(scanned(document, &pdf), read);
    // The human-readable line is text under the bars, the check digit in it.
    const QString text = poppler(QStringLiteral("pdftotext"), pdf).remove(u' ');
    QVERIFY2(text.contains(QString::fromLatin1(caption)), qPrintable(text));
}

void TestBarcodeScan::testPage_data()
{
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<int>("pins");
    QTest::addColumn<bool>("frames");
    QTest::newRow("850, 9 pins") << QStringLiteral("850") << 9 << true;
    QTest::newRow("1252 has no frames, 24 pins") << QStringLiteral("1252") << 24 << false;
    QTest::newRow("UTF-8") << QStringLiteral("UTF-8") << 9 << true;
}

void TestBarcodeScan::testPage()
{
    QFETCH(QString, codePage);
    QFETCH(int, pins);
    QFETCH(bool, frames);
    Settings settings;
    settings.printer = QStringLiteral("Escritório\x1b@"); // a name's control byte is no command
    settings.encoding = encodingOf(codePage);
    settings.pins = pins;
    const QByteArray page = testPageBytes(settings, QDateTime(QDate(2024, 5, 17), QTime(9, 30)));

    // Every command is read past with its parameters: nothing but the page's text is printed.
    QList<PrintedPage> pages;
    const PrintedDocument read = EscP::interpret(
        page, [&](PrintedPage&& p) { pages.append(std::move(p)); }, EscP::Options{0, pins});
    QCOMPARE(read.cutShortAt, -1);
    QCOMPARE(pages.size(), 1);
    QStringList lines;
    for (const PrintedLine& line : std::as_const(pages[0].lines)) {
        const QByteArray bytes = line.text();
        QVERIFY2(
            std::none_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x20 || c == 0x7f; }),
            bytes.toHex(' ').constData());
        lines.append(CodePage::decode(bytes, settings.encoding));
    }
    const QString all = lines.join(u'\n');
    QVERIFY2(lines.contains(QStringLiteral("  negrito itálico sublinhado largo elite condensado m2 H2O")),
             qPrintable(all));
    QVERIFY2(lines.contains(QStringLiteral("  IMPRESSORA          Escritório?@")), qPrintable(all));
    QVERIFY2(lines.contains(QStringLiteral("1234567890").repeated(14).left(136)), qPrintable(all));
    QCOMPARE(all.contains(QStringLiteral("┌──────────┬─────┐")), frames);
    // The logo's three bands of 8 dots, one under the other.
    QCOMPARE(std::accumulate(pages[0].images.begin(), pages[0].images.end(), 0,
                             [](int rows, const PageImage& image) { return rows + image.height; }),
             24);
    QCOMPARE(pages[0].images[0].width, 60);

    // The same page through the renderer: the bar code reads back, its check digit added.
    QByteArray pdf;
    QCOMPARE(scanned(imprime_documento(page, settings.encoding, 0, nullptr, pins), &pdf),
             QByteArray("7891234567895"));
}

QTEST_MAIN(TestBarcodeScan)
#include "tst_barcodescan.moc"
