// The pictures compiled into the program: each one is read back from its resource path with Qt's
// own image readers, and the stored files are checked for the formats the window and the tray
// animation are built around.

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QSet>
#include <QtEndian>
#include <QtTest>

namespace {

const char* const openEye = ":/icons/ATIVOABERTO.ico";
const char* const halfOpenEye = ":/icons/ATIVOMEIOABERTO.ico";
const char* const closedEye = ":/icons/ATIVOFECHADO.ico";
const char* const applicationIcon = ":/icons/velmorix2.png";
const char* const banner = ":/pictures/banner.jpg";
const char* const checkMark = ":/pictures/check.bmp";

QByteArray resourceBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

quint16 le16(const QByteArray& data, int at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 le32(const QByteArray& data, int at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

quint16 be16(const QByteArray& data, int at)
{
    return qFromBigEndian<quint16>(data.constData() + at);
}

QImage load(const QString& path)
{
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        qWarning("%s: %s", qPrintable(path), qPrintable(reader.errorString()));
    return image;
}

// Dark cyan and its blends with the white of the eye; the outline, pupil and lid are grey or black.
bool isIris(QRgb pixel)
{
    return qAlpha(pixel) == 255 && qGreen(pixel) > qRed(pixel) + 40 && qBlue(pixel) > qRed(pixel) + 40;
}

bool isNameBlue(QRgb pixel)
{
    return qBlue(pixel) > qRed(pixel) + 60 && qBlue(pixel) > qGreen(pixel) + 40;
}

void addEyeIconRows()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("open") << openEye;
    QTest::newRow("half open") << halfOpenEye;
    QTest::newRow("closed") << closedEye;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void picturesLoadWithTheirFormatAndSize_data();
    void picturesLoadWithTheirFormatAndSize();
    void eyeIconsAreSingle16ColourImagesWithAMask_data();
    void eyeIconsAreSingle16ColourImagesWithAMask();
    void iconsAreTransparentOutsideTheEye_data();
    void iconsAreTransparentOutsideTheEye();
    void eyeIconsShowTheIrisTheLidLeavesOpen_data();
    void eyeIconsShowTheIrisTheLidLeavesOpen();
    void eyeIconsDifferFromEachOther_data();
    void eyeIconsDifferFromEachOther();
    void bannerIsABaselineJfifJpegAt300Dpi();
    void bannerLeavesTheVersionLabelSpotPlain();
    void checkMarkIsAnUncompressed24BitBlackAndWhiteBitmap();
};

void TestResources::picturesLoadWithTheirFormatAndSize_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("open eye") << openEye << QByteArray("ico") << QSize(64, 64);
    QTest::newRow("half-open eye") << halfOpenEye << QByteArray("ico") << QSize(64, 64);
    QTest::newRow("closed eye") << closedEye << QByteArray("ico") << QSize(64, 64);
    QTest::newRow("application icon") << applicationIcon << QByteArray("png") << QSize(64, 64);
    QTest::newRow("banner") << banner << QByteArray("jpeg") << QSize(401, 102);
    QTest::newRow("check mark") << checkMark << QByteArray("bmp") << QSize(44, 44);
}

void TestResources::picturesLoadWithTheirFormatAndSize()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
}

void TestResources::eyeIconsAreSingle16ColourImagesWithAMask_data()
{
    addEyeIconRows();
}

void TestResources::eyeIconsAreSingle16ColourImagesWithAMask()
{
    QFETCH(QString, path);

    // The icon directory: one 64 x 64 entry of 16 colours.
    const QByteArray ico = resourceBytes(path);
    QVERIFY(ico.size() > 22 + 40);
    QCOMPARE(le16(ico, 0), quint16(0));
    QCOMPARE(le16(ico, 2), quint16(1));
    QCOMPARE(le16(ico, 4), quint16(1));
    QCOMPARE(quint8(ico[6]), quint8(64));
    QCOMPARE(quint8(ico[7]), quint8(64));
    QCOMPARE(quint8(ico[8]), quint8(16));
    const quint32 bytes = le32(ico, 14);
    const quint32 offset = le32(ico, 18);
    QCOMPARE(qint64(offset) + bytes, qint64(ico.size()));

    // The image itself: an uncompressed 4-bit bitmap, twice as high for the colour bits and the
    // AND mask, followed by a 16-entry palette, 64 rows of 32 bytes and 64 mask rows of 8 bytes.
    QCOMPARE(le32(ico, offset), quint32(40));
    QCOMPARE(le32(ico, offset + 4), quint32(64));
    QCOMPARE(le32(ico, offset + 8), quint32(128));
    QCOMPARE(le16(ico, offset + 14), quint16(4));
    QCOMPARE(le32(ico, offset + 16), quint32(0));
    QCOMPARE(bytes, quint32(40 + 16 * 4 + 64 * 32 + 64 * 8));

    // Decoded, each pixel is fully transparent or opaque in one of at most 16 colours.
    const QImage image = load(path).convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    int transparent = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0) {
                ++transparent;
                continue;
            }
            QCOMPARE(qAlpha(pixel), 255);
            colours.insert(pixel);
        }
    }
    QVERIFY2(colours.size() <= 16, qPrintable(QString::number(colours.size())));
    QVERIFY(transparent > 0);
    QVERIFY(transparent < 64 * 64);
}

void TestResources::iconsAreTransparentOutsideTheEye_data()
{
    addEyeIconRows();
    QTest::newRow("application icon") << applicationIcon;
}

void TestResources::iconsAreTransparentOutsideTheEye()
{
    QFETCH(QString, path);

    const QIcon icon(path);
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(64, 64)));

    const QImage fromReader = load(path).convertToFormat(QImage::Format_ARGB32);
    const QImage fromIcon = icon.pixmap(QSize(64, 64)).toImage().convertToFormat(QImage::Format_ARGB32);
    for (const QImage& image : {fromReader, fromIcon}) {
        QCOMPARE(image.size(), QSize(64, 64));
        for (const QPoint corner : {QPoint(0, 0), QPoint(63, 0), QPoint(0, 63), QPoint(63, 63)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        // The eye is wider than high: transparent above and below it, opaque across the middle.
        QCOMPARE(qAlpha(image.pixel(32, 2)), 0);
        QCOMPARE(qAlpha(image.pixel(32, 61)), 0);
        for (const QPoint inside :
             {QPoint(32, 32), QPoint(8, 32), QPoint(55, 32), QPoint(32, 20), QPoint(32, 44)})
            QCOMPARE(qAlpha(image.pixel(inside)), 255);
    }
}

void TestResources::eyeIconsShowTheIrisTheLidLeavesOpen_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("upperIris");
    QTest::addColumn<bool>("lowerIris");
    QTest::newRow("open") << openEye << true << true;
    QTest::newRow("half open") << halfOpenEye << false << true;
    QTest::newRow("closed") << closedEye << false << false;
}

void TestResources::eyeIconsShowTheIrisTheLidLeavesOpen()
{
    QFETCH(QString, path);
    QFETCH(bool, upperIris);
    QFETCH(bool, lowerIris);

    const QImage image = load(path).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    int upper = 0;
    int lower = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isIris(image.pixel(x, y)))
                ++(y < image.height() / 2 ? upper : lower);
        }
    }
    // The iris is some 28 pixels across; a shown half of it covers well over 100 pixels.
    QCOMPARE(upper > 100, upperIris);
    QCOMPARE(lower > 100, lowerIris);
    if (!upperIris)
        QCOMPARE(upper, 0);
    if (!lowerIris)
        QCOMPARE(lower, 0);
}

void TestResources::eyeIconsDifferFromEachOther_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("open, half open") << openEye << halfOpenEye;
    QTest::newRow("open, closed") << openEye << closedEye;
    QTest::newRow("half open, closed") << halfOpenEye << closedEye;
}

void TestResources::eyeIconsDifferFromEachOther()
{
    QFETCH(QString, first);
    QFETCH(QString, second);

    const QImage a = load(first).convertToFormat(QImage::Format_ARGB32);
    const QImage b = load(second).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!a.isNull());
    QVERIFY(!b.isNull());
    QVERIFY(a != b);
}

void TestResources::bannerIsABaselineJfifJpegAt300Dpi()
{
    const QByteArray jpeg = resourceBytes(banner);
    QVERIFY(jpeg.size() > 4);
    QCOMPARE(be16(jpeg, 0), quint16(0xFFD8));

    bool jfif = false;
    bool frame = false;
    int at = 2;
    while (at + 4 <= jpeg.size() && !frame) {
        QCOMPARE(quint8(jpeg[at]), quint8(0xFF));
        const quint8 marker = quint8(jpeg[at + 1]);
        const int length = be16(jpeg, at + 2);
        QVERIFY(at + 2 + length <= jpeg.size());
        const QByteArray segment = jpeg.mid(at + 4, length - 2);
        if (marker == 0xE0 && segment.startsWith(QByteArray("JFIF", 5))) {
            QVERIFY(segment.size() >= 12);
            QCOMPARE(quint8(segment[5]), quint8(1)); // version 1.01
            QCOMPARE(quint8(segment[6]), quint8(1));
            QCOMPARE(quint8(segment[7]), quint8(1));   // dots per inch
            QCOMPARE(be16(segment, 8), quint16(300));  // across
            QCOMPARE(be16(segment, 10), quint16(300)); // down
            jfif = true;
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            QCOMPARE(marker, quint8(0xC0)); // baseline, not progressive or extended
            QCOMPARE(quint8(segment[0]), quint8(8));
            QCOMPARE(be16(segment, 1), quint16(102));
            QCOMPARE(be16(segment, 3), quint16(401));
            QCOMPARE(quint8(segment[5]), quint8(3));
            frame = true;
        }
        at += 2 + length;
    }
    QVERIFY(jfif);
    QVERIFY(frame);
}

void TestResources::bannerLeavesTheVersionLabelSpotPlain()
{
    const QImage image = load(banner).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.size(), QSize(401, 102));

    // The window draws its orange "2.0" at x 360..398, y 35..67: that spot is the light grey ground.
    const QRect label(360, 35, 39, 33);
    for (int y = label.top(); y <= label.bottom(); ++y) {
        for (int x = label.left(); x <= label.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int lo = qMin(qRed(pixel), qMin(qGreen(pixel), qBlue(pixel)));
            const int hi = qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel)));
            QVERIFY2(lo >= 180 && hi - lo <= 12,
                     qPrintable(QStringLiteral("(%1, %2) is #%3")
                                    .arg(x)
                                    .arg(y)
                                    .arg(pixel & 0xFFFFFF, 6, 16, QLatin1Char('0'))));
        }
    }

    // The blue name above it ends right above the label's right part.
    int rightmost = -1;
    for (int y = 0; y < label.top(); ++y) {
        for (int x = 200; x < image.width(); ++x) {
            if (isNameBlue(image.pixel(x, y)))
                rightmost = qMax(rightmost, x);
        }
    }
    QVERIFY2(rightmost >= 385 && rightmost <= 398, qPrintable(QString::number(rightmost)));
}

void TestResources::checkMarkIsAnUncompressed24BitBlackAndWhiteBitmap()
{
    const QByteArray bmp = resourceBytes(checkMark);
    QVERIFY(bmp.size() >= 54);
    QCOMPARE(bmp.left(2), QByteArray("BM"));
    QCOMPARE(le32(bmp, 2), quint32(bmp.size()));
    QCOMPARE(le32(bmp, 14), quint32(40));
    QCOMPARE(le32(bmp, 18), quint32(44));
    QCOMPARE(le32(bmp, 22), quint32(44));
    QCOMPARE(le16(bmp, 28), quint16(24));
    QCOMPARE(le32(bmp, 30), quint32(0));
    QCOMPARE(bmp.size(), 54 + 44 * 44 * 3); // rows of 132 bytes need no padding

    // White is the button's transparent colour: any other light shade would show as a halo.
    const QImage image = load(checkMark).convertToFormat(QImage::Format_RGB32);
    int black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y) & 0xFFFFFF;
            QVERIFY2(pixel == 0x000000 || pixel == 0xFFFFFF, qPrintable(QString::number(pixel, 16)));
            black += pixel == 0 ? 1 : 0;
        }
    }
    for (const QPoint corner : {QPoint(0, 0), QPoint(43, 0), QPoint(0, 43), QPoint(43, 43)})
        QCOMPARE(image.pixel(corner) & 0xFFFFFF, 0xFFFFFFu);
    QVERIFY2(black > 100, qPrintable(QString::number(black)));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
