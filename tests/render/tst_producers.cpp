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

constexpr int kDpi = 50;
constexpr int kNear = 2; ///< dots of slack (1 mm) between where ink is and where it was

int shell(const QString& command, const QString& dir)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
               ? process.exitCode()
               : -1;
}

/// A page rasterized in grey, and the box its ink stands in.
struct Ink
{
    QImage sheet;
    QRect box;
    explicit Ink(const QString& pgm) : sheet(QImage(pgm).convertToFormat(QImage::Format_Grayscale8))
    {
        for (int y = 0; y < sheet.height(); ++y)
            for (int x = 0; x < sheet.width(); ++x)
                box |= at(x, y) ? QRect(x, y, 1, 1) : QRect();
    }
    bool at(int x, int y) const { return sheet.rect().contains(x, y) && sheet.constScanLine(y)[x] < 128; }
    bool near(int x, int y) const
    {
        for (int dy = -kNear; dy <= kNear; ++dy)
            for (int dx = -kNear; dx <= kNear; ++dx)
                if (at(x + dx, y + dy))
                    return true;
        return false;
    }
};

/// The share of @p from's ink that has ink of @p to near it, the one's box laid on the other's.
double covered(const Ink& from, const Ink& to)
{
    const double sx = double(to.box.width()) / from.box.width(),
                 sy = double(to.box.height()) / from.box.height();
    qint64 all = 0, near = 0;
    for (int y = from.box.top(); y <= from.box.bottom(); ++y) {
        for (int x = from.box.left(); x <= from.box.right(); ++x) {
            if (from.at(x, y)) {
                ++all;
                near += to.near(to.box.left() + qRound((x - from.box.left()) * sx),
                                to.box.top() + qRound((y - from.box.top()) * sy));
            }
        }
    }
    return all ? double(near) / all : 0;
}

} // namespace

class TestProducers : public QObject
{
    Q_OBJECT

private slots:
    void printedInk_data();
    void printedInk();

private:
    QTemporaryDir m_dir;
};

void TestProducers::printedInk_data()
{
    QTest::addColumn<QString>("producer"); ///< writes out.prn from page.pdf
    QTest::addColumn<int>("pins");         ///< the printer's (AGULHAS)
    const QString gs =
        QStringLiteral("gs -q -dBATCH -dNOPAUSE -dSAFER -sPAPERSIZE=a4 -sOutputFile=out.prn -sDEVICE=");
    QCOMPARE(shell(gs + "pdfwrite " VELMORIX_GENERATORS "/epson-page.ps && mv out.prn page.pdf && "
                        "pdftoppm -r 50 -gray -singlefile page.pdf original && "
                        "ppdc /usr/share/cups/drv/sample.drv -d ppd",
                   m_dir.path()),
             0);
    QTest::newRow("gs epson: 9-pin ESC *, two passes a strip") << gs + "epson page.pdf" << 9;
    QTest::newRow("gs lq850: 24-pin ESC * at tab stops") << gs + "lq850 page.pdf" << 24;
    QTest::newRow("gs st800: ESC . run-length raster") << gs + "st800 page.pdf" << 24;
    const QString cups = QStringLiteral("cupsfilter -e -m printer/foo page.pdf -p ppd/");
    QTest::newRow("rastertoepson 9-pin: ESC * at ESC $") << cups + "epson9.ppd >out.prn 2>/dev/null" << 9;
    QTest::newRow("rastertoepson 24-pin: 24-dot ESC * at ESC $")
        << cups + "epson24.ppd -o Resolution=180dpi >out.prn 2>/dev/null" << 24;
}

void TestProducers::printedInk()
{
    QFETCH(QString, producer);
    QFETCH(int, pins);
    QCOMPARE(shell(producer, m_dir.path()), 0);
    QFile prn(m_dir.filePath(QStringLiteral("out.prn")));
    QVERIFY(prn.open(QIODevice::ReadOnly));
    const QByteArray file = prn.readAll();
    Document document = imprime_documento(file, CodePage::Encoding::Windows1252, 0, nullptr, pins);
    document.shape().face = QStringLiteral("Courier 10 Pitch");
    EmbeddedFonts fonts;
    Composer composer(fonts);
    QFile pdf(m_dir.filePath(QStringLiteral("printed.pdf")));
    QVERIFY(composer.render(document, QStringLiteral("tst_producers"), [&](QPageLayout* media, QString*) {
        *media = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10));
        return pdf.open(QIODevice::WriteOnly) ? &pdf : nullptr;
    }));
    pdf.close();
    QCOMPARE(composer.pages(), 1);
    QCOMPARE(
        shell(QStringLiteral("pdftoppm -r %1 -gray -singlefile printed.pdf printed").arg(kDpi), m_dir.path()),
        0);
    // The strips of a page come together in a few pictures.
    QProcess list;
    list.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf.fileName()});
    QVERIFY(list.waitForFinished());
    const qsizetype pictures = list.readAllStandardOutput().count("stencil");
    QVERIFY2(pictures > 0 && pictures <= 8, qPrintable(QString::number(pictures)));

    const Ink original(m_dir.filePath(QStringLiteral("original.pgm")));
    const Ink printed(m_dir.filePath(QStringLiteral("printed.pgm")));
    QVERIFY(!original.box.isEmpty() && !printed.box.isEmpty());
    // Scaled to the sheet as a whole: as tall for its width as the original.
    const double aspect = double(printed.box.height()) / printed.box.width() /
                          (double(original.box.height()) / original.box.width());
    QVERIFY2(qAbs(aspect - 1) < 0.03, qPrintable(QString::number(aspect)));
    const double kept = covered(original, printed), stray = 1 - covered(printed, original);
    QVERIFY2(kept >= 0.95, qPrintable(QStringLiteral("%1 of the ink printed").arg(kept)));
    QVERIFY2(stray <= 0.02, qPrintable(QStringLiteral("%1 of the ink where none was").arg(stray)));
}

QTEST_MAIN(TestProducers)
#include "tst_producers.moc"
