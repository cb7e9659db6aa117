// Bar codes: each symbology's modules and check digits against published examples, and ESC ( B
// as it lands on a page.

#include "text/Barcode.h"
#include "text/EscP.h"

#include <QtTest>

using Barcode::Kind;
Q_DECLARE_METATYPE(Barcode::Kind)

class TestBarcode : public QObject
{
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void page_data();
    void page();
};

/// POSTNET's expected pattern from its tall (1) and short (0) bars.
static QByteArray postnet(const QByteArray& bars)
{
    QByteArray p;
    for (char b : bars)
        p += QByteArray(p.isEmpty() ? "" : "0") + (b == '1' ? '1' : 's');
    return p;
}

void TestBarcode::encode_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("addCheck");
    QTest::addColumn<QByteArray>("text"); ///< the human-readable line; empty: nothing drawn
    QTest::addColumn<int>("modules");
    QTest::addColumn<QByteArray>("pattern"); ///< empty: not compared
    QTest::newRow("EAN-13 check 7") << Kind::Ean13 << QByteArray("590123412345") << true
                                    << QByteArray("5 901234 123457") << 95 << QByteArray();
    QTest::newRow("EAN-13 with its check") << Kind::Ean13 << QByteArray("4006381333931") << false
                                           << QByteArray("4 006381 333931") << 95 << QByteArray();
    QTest::newRow("EAN-13 missing a digit")
        << Kind::Ean13 << QByteArray("590123412345") << false << QByteArray() << 0 << QByteArray();
    QTest::newRow("EAN-13 with a letter")
        << Kind::Ean13 << QByteArray("59012341234A") << true << QByteArray() << 0 << QByteArray();
    QTest::newRow("EAN-8") << Kind::Ean8 << QByteArray("9638507") << true << QByteArray("9638 5074") << 67
                           << QByteArray("101"
                                         "0001011010111101111010110111"
                                         "01010"
                                         "1001110111001010001001011100"
                                         "101");
    QTest::newRow("UPC-A check 2") << Kind::UpcA << QByteArray("03600029145") << true
                                   << QByteArray("0 36000 29145 2") << 95 << QByteArray();
    const QByteArray upcE = "101"
                            "001110100100110111001001101101011110011001"
                            "010101";
    QTest::newRow("UPC-E of 7 digits")
        << Kind::UpcE << QByteArray("0425261") << true << QByteArray("0 425261 4") << 51 << upcE;
    QTest::newRow("UPC-E from its UPC-A")
        << Kind::UpcE << QByteArray("04210000526") << true << QByteArray("0 425261 4") << 51 << upcE;
    QTest::newRow("UPC-E of a UPC-A with no short form")
        << Kind::UpcE << QByteArray("03600029145") << true << QByteArray() << 0 << QByteArray();
    QTest::newRow("2 of 5 check 0") << Kind::Interleaved2of5 << QByteArray("1234567") << true
                                    << QByteArray("12345670") << 81 << QByteArray();
    QTest::newRow("2 of 5 odd count led by 0")
        << Kind::Interleaved2of5 << QByteArray("123") << false << QByteArray("0123") << 45
        << QByteArray("1010"
                      "100010111011101000"
                      "100011100010101110"
                      "11101");
    QTest::newRow("Code 39 check W") << Kind::Code39 << QByteArray("CODE39") << true
                                     << QByteArray("*CODE39W*") << 143 << QByteArray();
    QTest::newRow("Code 39 lower case")
        << Kind::Code39 << QByteArray("code") << false << QByteArray() << 0 << QByteArray();
    QTest::newRow("Code 128 set B") << Kind::Code128 << QByteArray("BPJJ123C") << false
                                    << QByteArray("PJJ123C") << 112 << QByteArray();
    // start C, 12, check (105 + 12) % 103 = 14, stop
    QTest::newRow("Code 128 set C") << Kind::Code128 << QByteArray("C12") << false << QByteArray("12") << 46
                                    << QByteArray("11010011100"
                                                  "10110011100"
                                                  "10011001110"
                                                  "1100011101011");
    QTest::newRow("Code 128 set C, odd digits")
        << Kind::Code128 << QByteArray("C123") << false << QByteArray() << 0 << QByteArray();
    QTest::newRow("Code 128 without its set")
        << Kind::Code128 << QByteArray("123") << false << QByteArray() << 0 << QByteArray();
    QTest::newRow("POSTNET check 5") << Kind::Postnet << QByteArray("12345") << true << QByteArray() << 63
                                     << postnet("1"
                                                "00011"
                                                "00101"
                                                "00110"
                                                "01001"
                                                "01010"
                                                "01010"
                                                "1");
    QTest::newRow("POSTNET of 4 digits")
        << Kind::Postnet << QByteArray("1234") << true << QByteArray() << 0 << QByteArray();
}

void TestBarcode::encode()
{
    QFETCH(Kind, kind);
    QFETCH(QByteArray, data);
    QFETCH(bool, addCheck);
    QFETCH(QByteArray, text);
    QFETCH(int, modules);
    QFETCH(QByteArray, pattern);
    const Barcode::Symbol symbol = Barcode::encode(kind, data, addCheck);
    QCOMPARE(symbol.text, text);
    QCOMPARE(symbol.modules(), modules);
    if (!pattern.isEmpty())
        QCOMPARE(symbol.pattern(), pattern);
}

/// ESC ( B with its count, k, m = 2, s = 0, bars of 1/4 inch, control byte and data.
static QByteArray barcode(char kind, char control, const QByteArray& data)
{
    return QByteArray("\x1b(B") + char(6 + data.size()) + '\0' + kind + QByteArray("\x02\x00\x2d\x00", 4) +
           control + data;
}

void TestBarcode::page_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("bars");
    QTest::addColumn<QList<int>>("heights"); ///< of the bars, 1/360 inch
    QTest::addColumn<QByteArray>("caption"); ///< the line under the bars
    QTest::addColumn<qreal>("after");        ///< where the text after the bar code starts, pica cells
    // 1/4 inch bars at the top of the line; the human-readable line where the paper has fed past
    // them, between the first line and the one after two line feeds.
    QTest::newRow("EAN-8 and its line") << barcode(1, 0, "96385074") + "X\r\n\r\nY" << 22 << QList<int>{90}
                                        << QByteArray("9638 5074") << 67 * 4 / 36.0;
    // The printer prints the line with the bars, though the page ends before the paper passes them.
    QTest::newRow("a form feed right after") << barcode(1, 0, "96385074") + "X\f" << 22 << QList<int>{90}
                                             << QByteArray("9638 5074") << 67 * 4 / 36.0;
    QTest::newRow("POSTNET, tall and short bars")
        << barcode(7, 1, "12345") + "X\r\n\r\nY" << 32 << QList<int>{45, 18} << QByteArray()
        << (32 * 16 - 9) / 36.0;
    QTest::newRow("no human-readable line")
        << barcode(5, 2, "A") + "X\r\n\r\nY" << 15 << QList<int>{90} << QByteArray() << 47 * 4 / 36.0;
    QTest::newRow("bad data draws nothing")
        << barcode(0, 0, "12") + "X\r\n\r\nY" << 0 << QList<int>{} << QByteArray() << 0.0;
}

void TestBarcode::page()
{
    QFETCH(QByteArray, file);
    QFETCH(int, bars);
    QFETCH(QList<int>, heights);
    QFETCH(QByteArray, caption);
    QFETCH(qreal, after);
    const PrintedDocument doc = EscP::interpret(file);
    QCOMPARE(doc.pages.size(), 1);
    const PrintedPage& page = doc.pages[0];
    QCOMPARE(page.rules.size(), bars);
    QList<int> seen;
    for (const PageRule& rule : page.rules) {
        if (!seen.contains(rule.height))
            seen.append(rule.height);
        QCOMPARE(rule.y + rule.height, heights.isEmpty() ? 0 : heights.first()); // bottoms in line
    }
    QCOMPARE(seen, heights);
    QCOMPARE(page.lines.first().runs.last().text, QByteArray("X"));
    QVERIFY2(qAbs(page.lines.first().runs.last().x - after) < 1e-6,
             qPrintable(QString::number(page.lines.first().runs.last().x)));
    // The feeds add up as before: Y stays two lines down, whatever lies between.
    int y = 0;
    QByteArray captions;
    for (const PrintedLine& line : page.lines) {
        if (line.text() == "Y")
            QCOMPARE(y, 2 * 60);
        else if (line.text() != "X" && !line.text().isEmpty())
            captions += line.text();
        y += line.advance;
    }
    QCOMPARE(captions, caption);
}

QTEST_GUILESS_MAIN(TestBarcode)
#include "tst_barcode.moc"
