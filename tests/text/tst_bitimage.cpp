// Bit-image commands read into pictures: a known pattern through every command, strips put
// together into one picture, and the picture's place on the interpreter's page.
#include "text/BitImage.h"
#include "text/EscP.h"

#include <QtTest>

namespace {
template <size_t N> QByteArray bytes(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

/// The inked dots as "x,y" in row order, then "WxH@DPIxDPI".
QString describe(const PageImage& image)
{
    QStringList dots;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.bits[y * image.bytesPerRow() + x / 8] & (0x80 >> (x % 8)))
                dots << QStringLiteral("%1,%2").arg(x).arg(y);
        }
    }
    return dots.join(u' ') + QString::asprintf(" %dx%d@%dx%d", image.width, image.height, image.dotsPerInchX,
                                               image.dotsPerInchY);
}

// The pattern X.X / .X. / XX. as columns of 8 dots, the top dot in the high bit.
const QByteArray kColumns = bytes("\xa0\x60\x80");
const QString kPattern = QStringLiteral("0,0 2,0 1,1 0,2 1,2");
} // namespace

class TestBitImage : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void place_data();
    void place();
    void placedAtTheHead();
};

void TestBitImage::decode_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("eightDotRows");
    QTest::addColumn<QString>("dots");
    QTest::addColumn<int>("advance"); ///< 1/360 inch

    QTest::newRow("ESC K, 9-pin") << bytes("\x1bK\x03\x00") + kColumns << 72 << kPattern + " 3x8@60x72" << 18;
    QTest::newRow("ESC L, 24-pin") << bytes("\x1bL\x03\x00") + kColumns << 60 << kPattern + " 3x8@120x60"
                                   << 9;
    QTest::newRow("ESC Y") << bytes("\x1bY\x03\x00") + kColumns << 72 << kPattern + " 3x8@120x72" << 9;
    QTest::newRow("ESC Z") << bytes("\x1bZ\x03\x00") + kColumns << 72 << kPattern + " 3x8@240x72" << 5;
    QTest::newRow("ESC * 4") << bytes("\x1b*\x04\x03\x00") + kColumns << 72 << kPattern + " 3x8@80x72" << 14;
    QTest::newRow("ESC * 6") << bytes("\x1b*\x06\x03\x00") + kColumns << 72 << kPattern + " 3x8@90x72" << 12;
    QTest::newRow("ESC * 7") << bytes("\x1b*\x07\x03\x00") + kColumns << 72 << kPattern + " 3x8@144x72" << 8;
    // 24 dots a column in three bytes, the last row at the third byte's low bit.
    QTest::newRow("ESC * 39") << bytes("\x1b*\x27\x03\x00\xa0\x00\x00\x60\x00\x00\x80\x00\x01") << 72
                              << kPattern + " 2,23 3x24@180x180" << 6;
    QTest::newRow("ESC * 40") << bytes("\x1b*\x28\x03\x00\xa0\x00\x00\x60\x00\x00\x80\x00\x00") << 72
                              << kPattern + " 3x24@360x180" << 3;
    QTest::newRow("ESC * 72, 48 dots") << bytes("\x1b*\x48\x01\x00\x80\x00\x00\x00\x00\x01") << 72
                                       << QStringLiteral("0,0 0,47 1x48@360x360") << 1;
    // 9 dots: the ninth is the second byte's high bit.
    QTest::newRow("ESC ^ 0") << bytes("\x1b^\x00\x03\x00\xa0\x80\x60\x00\x80\x00") << 60
                             << QStringLiteral("0,0 2,0 1,1 0,2 1,2 0,8 3x9@60x72") << 18;
    // Raster rows: dots past the width in a row's last byte are not drawn.
    QTest::newRow("ESC . plain") << bytes("\x1b.\x00\x0a\x0a\x03\x03\x00\xa7\x40\xc0") << 72
                                 << kPattern + " 3x3@360x360" << 3;
    QTest::newRow("ESC . run-length") << bytes("\x1b.\x01\x14\x28\x03\x03\x00\x00\xa0\xff\x40") << 72
                                      << QStringLiteral("0,0 2,0 1,1 1,2 3x3@90x180") << 12;
    QTest::newRow("ESC * of no mode")
        << bytes("\x1b*\x09\x03\x00") + kColumns << 72 << QStringLiteral(" 0x0@60x72") << 0;
}

void TestBitImage::decode()
{
    QFETCH(QByteArray, command);
    QFETCH(int, eightDotRows);
    QFETCH(QString, dots);
    QFETCH(int, advance);
    QVERIFY(BitImage::isImage(command[1]));
    const PageImage image = BitImage::decode(command, eightDotRows);
    QCOMPARE(describe(image), dots);
    QCOMPARE(BitImage::advance(image), advance);
}

void TestBitImage::place_data()
{
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QList<int>>("places"); ///< x, y of each command, 1/360 inch
    QTest::addColumn<QStringList>("images");
    const QByteArray one = bytes("\x1bK\x03\x00") + kColumns;
    const QByteArray two = bytes("\x1bK\x02\x00\x01\x01");
    QTest::newRow("a strip below the last") << QList{one, one} << QList{0, 0, 0, 40}
                                            << QStringList{kPattern + " 0,8 2,8 1,9 0,10 1,10 3x16@60x72"};
    // Two passes over one strip (the high-density modes print every other dot in each).
    QTest::newRow("two passes") << QList{one, two} << QList{0, 0, 0, 0}
                                << QStringList{kPattern + " 0,7 1,7 3x8@60x72"};
    QTest::newRow("a strip further left")
        << QList{two, one} << QList{12, 0, 0, 40} << QStringList{"2,7 3,7 0,8 2,8 1,9 0,10 1,10 4x16@60x72"};
    // Passes between the rows of the one before, as printers finer than their pins print.
    const QByteArray dot = bytes("\x1bK\x01\x00\x80"), pin = bytes("\x1b*\x27\x01\x00\x80\x00\x00");
    QTest::newRow("a pass 1/216 inch below")
        << QList{dot, dot} << QList{0, 0, 0, 2} << QStringList{"0,0 0,1 0,2 0,3 1x25@60x216"};
    QTest::newRow("a pass 1/360 inch below")
        << QList{pin, pin} << QList{0, 0, 0, 1} << QStringList{"0,0 0,1 0,2 1x49@180x360"};
    QTest::newRow("off every grid: apart") << QList{one, one} << QList{0, 0, 0, 1}
                                           << QStringList{kPattern + " 3x8@60x72", kPattern + " 3x8@60x72"};
    QTest::newRow("below a gap: apart")
        << QList{two, two} << QList{0, 0, 0, 45} << QStringList{"0,7 1,7 2x8@60x72", "0,7 1,7 2x8@60x72"};
    QTest::newRow("17 inches across: apart")
        << QList{two, two} << QList{0, 0, 6120, 0} << QStringList{"0,7 1,7 2x8@60x72", "0,7 1,7 2x8@60x72"};
    QTest::newRow("other density: apart")
        << QList{one, bytes("\x1bL\x03\x00") + kColumns} << QList{0, 0, 0, 40}
        << QStringList{kPattern + " 3x8@60x72", kPattern + " 3x8@120x72"};
}

void TestBitImage::place()
{
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QList<int>, places);
    QFETCH(QStringList, images);
    QList<PageImage> page;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        PageImage image = BitImage::decode(commands[i]);
        image.x = places[2 * i];
        image.y = places[2 * i + 1];
        BitImage::place(page, std::move(image));
    }
    QStringList drawn;
    for (const PageImage& image : page)
        drawn << describe(image);
    QCOMPARE(drawn, images);
}

// The picture stands where the text before it ends, and the text after it starts at its right edge.
void TestBitImage::placedAtTheHead()
{
    const PrintedDocument doc = EscP::interpret(bytes("\r\n\x1b@AB\x1bK\x03\x00") + kColumns + "C");
    QCOMPARE(doc.pages.size(), 1);
    const PrintedPage& page = doc.pages.first();
    QCOMPARE(page.images.size(), 1);
    QCOMPARE(page.images[0].x, 72);
    QCOMPARE(page.images[0].y, 60);
    QCOMPARE(page.lines.last().text(), QByteArray("ABC"));
    QCOMPARE(page.lines.last().runs.last().x, 2.5);
}

QTEST_MAIN(TestBitImage)
#include "tst_bitimage.moc"
