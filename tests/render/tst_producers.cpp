// Bit-image pages from real producers (Ghostscript's dot-matrix devices, CUPS's rastertoepson)
// read by the interpreter and drawn by the composer, against Ghostscript's own rendering of the
// page they were made from.

#include "render/Composer.h"
#include "render/EmbeddedFont.h"
#include "spool/Documents.h"

#include "tests/support/Poppler.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QPageLayout kA4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                      QPageLayout::Point);
constexpr int kDpi = 50;
constexpr int kNear = 2; ///< dots of slack (1 mm) between where ink is and where it was

int shell(const QString& command, const QString& dir)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    process.waitForFinished(120000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

/// A page rasterized in grey, and the box its ink stands in.
struct Ink
{
    QImage sheet;
    QRect box;
    bool at(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < sheet.width() && y < sheet.height() && sheet.constScanLine(y)[x] < 128;
    }
};

Ink inkOf(const QString& pgm)
{
    Ink ink{QImage(pgm).convertToFormat(QImage::Format_Grayscale8), {}};
    for (int y = 0; y < ink.sheet.height(); ++y) {
        for (int x = 0; x < ink.sheet.width(); ++x) {
            if (ink.at(x, y))
                ink.box |= QRect(x, y, 1, 1);
        }
    }
    return ink;
}

/// The share of @p from's ink that has ink of @p to near it, the one's box laid on the other's.
double covered(const Ink& from, const Ink& to)
{
    const double sx = double(to.box.width()) / from.box.width(),
                 sy = double(to.box.height()) / from.box.height();
    qint64 all = 0, near = 0;
    for (int y = from.box.top(); y <= from.box.bottom(); ++y) {
        for (int x = from.box.left(); x <= from.box.right(); ++x) {
            if (!from.at(x, y))
                continue;
            ++all;
            const int tx = to.box.left() + qRound((x - from.box.left()) * sx);
            const int ty = to.box.top() + qRound((y - from.box.top()) * sy);
            bool found = false;
            for (int dy = -kNear; dy <= kNear && !found; ++dy) {
                for (int dx = -kNear; dx <= kNear && !found; ++dx)
                    found = to.at(tx + dx, ty + dy);
            }
            near += found;
        }
    }
    return all ? double(near) / all : 0;
}

} // namespace

class TestProducers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void printedInk_data();
    void printedInk();

private:
    QTemporaryDir m_dir;
    Ink m_original;
};

void TestProducers::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString page = QStringLiteral(VELMORIX_GENERATORS "/epson-page.ps");
    QCOMPARE(shell("gs -q -dBATCH -dNOPAUSE -dSAFER -sPAPERSIZE=a4 -sDEVICE=pdfwrite -sOutputFile=page.pdf " +
                       page,
                   m_dir.path()),
             0);
    QCOMPARE(
        shell(QStringLiteral("pdftoppm -r %1 -gray -singlefile page.pdf original").arg(kDpi), m_dir.path()),
        0);
    QCOMPARE(shell(QStringLiteral("ppdc /usr/share/cups/drv/sample.drv -d ppd"), m_dir.path()), 0);
    m_original = inkOf(m_dir.filePath(QStringLiteral("original.pgm")));
    QVERIFY(!m_original.box.isEmpty());
}

void TestProducers::printedInk_data()
{
    QTest::addColumn<QString>("producer"); ///< writes out.prn from page.pdf
    const QString gs =
        QStringLiteral("gs -q -dBATCH -dNOPAUSE -dSAFER -sPAPERSIZE=a4 -sOutputFile=out.prn -sDEVICE=");
    QTest::newRow("gs epson: 9-pin ESC *, two passes a strip") << gs + "epson page.pdf";
    QTest::newRow("gs lq850: 24-pin ESC * at tab stops") << gs + "lq850 page.pdf";
    QTest::newRow("gs st800: ESC . run-length raster") << gs + "st800 page.pdf";
    const QString cups = QStringLiteral("cupsfilter -e -m printer/foo page.pdf -p ppd/");
    QTest::newRow("rastertoepson 9-pin: ESC * at ESC $") << cups + "epson9.ppd >out.prn 2>/dev/null";
    QTest::newRow("rastertoepson 24-pin: ESC * at ESC $") << cups + "epson24.ppd >out.prn 2>/dev/null";
}

void TestProducers::printedInk()
{
    QFETCH(QString, producer);
    QCOMPARE(shell(producer, m_dir.path()), 0);
    QFile prn(m_dir.filePath(QStringLiteral("out.prn")));
    QVERIFY(prn.open(QIODevice::ReadOnly));
    const QByteArray file = prn.readAll();
    QVERIFY(file.startsWith("\x1b@"));

    Document document = imprime_documento(file, CodePage::Encoding::Windows1252);
    document.shape().face = QStringLiteral("Courier 10 Pitch");
    EmbeddedFonts fonts;
    Composer composer(fonts);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    QVERIFY(composer.render(document, QStringLiteral("tst_producers"),
                            [&](QPageLayout* media, QString*) -> QIODevice* {
                                *media = kA4;
                                buffer.open(QIODevice::WriteOnly);
                                return &buffer;
                            }));
    QCOMPARE(composer.pages(), 1);
    // The strips of a page come together in a few pictures.
    const qsizetype pictures =
        poppler(QStringLiteral("pdfimages"), pdf, {"-list"}).count(QLatin1String("stencil"));
    QVERIFY2(pictures > 0 && pictures <= 8, qPrintable(QString::number(pictures)));

    QFile out(m_dir.filePath(QStringLiteral("printed.pdf")));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(pdf) == pdf.size());
    out.close();
    QCOMPARE(
        shell(QStringLiteral("pdftoppm -r %1 -gray -singlefile printed.pdf printed").arg(kDpi), m_dir.path()),
        0);
    const Ink printed = inkOf(m_dir.filePath(QStringLiteral("printed.pgm")));
    QVERIFY(!printed.box.isEmpty());
    // Scaled to the sheet as a whole: as tall for its width as the original.
    const double aspect = double(printed.box.height()) / printed.box.width() /
                          (double(m_original.box.height()) / m_original.box.width());
    QVERIFY2(qAbs(aspect - 1) < 0.03, qPrintable(QString::number(aspect)));
    const double kept = covered(m_original, printed), stray = 1 - covered(printed, m_original);
    QVERIFY2(kept >= 0.95, qPrintable(QStringLiteral("%1 of the ink printed").arg(kept)));
    QVERIFY2(stray <= 0.05, qPrintable(QStringLiteral("%1 of the ink where none was").arg(stray)));
}

QTEST_MAIN(TestProducers)
#include "tst_producers.moc"
