// The composer without a scheduler: size, orientation and wrap chosen from a document's shape,
// and pictures and rules drawn on its pages.

#include "render/Composer.h"
#include "render/EmbeddedFont.h"
#include "spool/Documents.h"
#include "text/TextLines.h"

#include "tests/support/Poppler.h"

#include <QBuffer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QPageLayout kA4(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                      QPageLayout::Point);

} // namespace

class TestComposer : public QObject
{
    Q_OBJECT

private slots:
    void composition_data();
    void composition();
    void pictures_data();
    void pictures();
    void printerPositions();
    void plainSheets_data();
    void plainSheets();
    void charactersRead_data();
    void charactersRead();
};

void TestComposer::composition_data()
{
    QTest::addColumn<QByteArray>("file"); ///< a spool text whose document is composed; empty: the shape
    QTest::addColumn<qreal>("widest");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<bool>("wrap");
    QTest::newRow("80 columns at 11 points") << QByteArray() << 80.0 << 11.0 << false << false;
    QTest::newRow("150 columns turn the sheet") << QByteArray() << 150.0 << 7.0 << true << false;
    QTest::newRow("500 columns wrap at the smallest size") << QByteArray() << 500.0 << 4.0 << true << true;
    QTest::newRow("trailing blanks not measured")
        << ("\r\nTOTAL" + QByteArray(255, ' ')) << 0.0 << 11.0 << false << false;
    QTest::newRow("overprinted parts measured each")
        << ("\r\n" + QByteArray(80, 'X') + '\r' + QByteArray(80, '_')) << 0.0 << 11.0 << false << false;
    QTest::newRow("plain lines measured with their tabs")
        << QByteArray("\r\n\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\tEND") << 0.0 << 7.0 << true << false;
    // A PCL job that asks for landscape gets it, though its lines would fit across a portrait sheet.
    QTest::newRow("PCL job in landscape") << QByteArray("\r\n\x1b"
                                                        "E\x1b&l1OSHORT LINE")
                                          << 0.0 << 12 * 575.0 / (11 * 72) << true << false;
}

void TestComposer::composition()
{
    QFETCH(QByteArray, file);
    QFETCH(qreal, widest);
    QFETCH(double, points);
    QFETCH(bool, landscape);
    QFETCH(bool, wrap);
    DocumentShape shape;
    if (!file.isEmpty()) {
        shape = imprime_documento(file, CodePage::Encoding::Windows1252).shape();
    } else {
        shape.widestCells = widest;
        shape.points = 11;
    }
    shape.face = QStringLiteral("Courier 10 Pitch");
    const Composition c = Composer::compose(shape, kA4);
    QCOMPARE(c.page.orientation() == QPageLayout::Landscape, landscape);
    QVERIFY2(qAbs(c.fit.points - points) < 0.01, qPrintable(QString::number(c.fit.points)));
    QCOMPARE(c.fit.wrap, wrap);
}

void TestComposer::pictures_data()
{
    QTest::addColumn<bool>("painter");
    QTest::newRow("PDF text") << false;
    QTest::newRow("Qt's painter") << true;
}

void TestComposer::pictures()
{
    QFETCH(bool, painter);
    // A 20 x 10 dot picture, a checkerboard of bytes, and a bar beside a line of text.
    PrintedPage page;
    PrintedLine line;
    line.runs.append(StyledRun{RunStyle(), "PICTURE"});
    page.lines.append(line);
    PageImage image;
    image.width = 20;
    image.height = 10;
    for (int row = 0; row < image.height; ++row)
        image.bits += row % 2 ? QByteArray("\x0f\xf0\x30", 3) : QByteArray("\xf0\x0f\xc0", 3);
    image.x = 360;
    image.y = 720;
    page.images.append(image);
    page.rules.append(PageRule{360, 1440, 1440, 36});
    DocumentShape shape;
    shape.face = QStringLiteral("Courier 10 Pitch");
    shape.printerPageInches = 11;
    EmbeddedFonts fonts;
    Composer composer(fonts, painter ? RenderPath::Painter : RenderPath::Best);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    QVERIFY(composer.render(Document::ofPages(shape, {page}), QStringLiteral("tst_composer"),
                            [&](QPageLayout* media, QString*) -> QIODevice* {
                                *media = kA4;
                                buffer.open(QIODevice::WriteOnly);
                                return &buffer;
                            }));
    QCOMPARE(composer.pages(), 1);
    // pdfimages lists each picture: page, number, type, width, height...
    const QStringList images = poppler(QStringLiteral("pdfimages"), pdf, {"-list"}).split(u'\n').mid(2);
    QStringList sizes;
    for (const QString& row : images) {
        const QStringList fields = row.simplified().split(u' ');
        if (fields.size() > 4)
            sizes.append(fields[3] + u'x' + fields[4]);
    }
    QVERIFY2(sizes.contains(QStringLiteral("20x10")), qPrintable(images.join(u'\n')));
    if (!painter)
        QVERIFY2(images.first().contains(QLatin1String("stencil")), qPrintable(images.first()));

    // The bar is inked: a dark row across most of its inch at 72 dpi.
    QTemporaryDir dir;
    QVERIFY(rasterize(pdf, 72, dir.filePath(QStringLiteral("p.pgm"))));
    const QImage sheet(dir.filePath(QStringLiteral("p.pgm")));
    QVERIFY(!sheet.isNull());
    int longest = 0;
    for (int y = 0; y < sheet.height(); ++y) {
        int run = 0;
        for (int x = 0; x < sheet.width(); ++x) {
            run = qGray(sheet.pixel(x, y)) < 128 ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    QVERIFY2(longest > 50, qPrintable(QString::number(longest)));
}

// A page of probes (tests/generators/probes.py) lands where an Epson prints it: each word X<n>
// starts n tenths of an inch from the left edge, the Y words stand 1/9 inch apart, X30 shares
// X00's line, and no parameter or data byte of a command prints.
void TestComposer::printerPositions()
{
    QTemporaryDir dir;
    const QString prn = dir.filePath(QStringLiteral("probes.prn"));
    QCOMPARE(QProcess::execute(QStringLiteral(VELMORIX_GENERATORS "/probes.py"), {prn}), 0);
    QFile in(prn);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray file = in.readAll();
    Document document = imprime_documento(file, CodePage::Encoding::Windows1252);
    document.shape().face = QStringLiteral("Courier 10 Pitch");
    EmbeddedFonts fonts;
    Composer composer(fonts, RenderPath::Best);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    QVERIFY(
        composer.render(document, QStringLiteral("probes"), [&](QPageLayout* media, QString*) -> QIODevice* {
            *media = kA4;
            buffer.open(QIODevice::WriteOnly);
            return &buffer;
        }));
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"[\\d.]+\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    QList<std::pair<QPointF, QString>> words;
    for (const auto& m : word.globalMatch(poppler(QStringLiteral("pdftotext"), pdf, {"-bbox"})))
        words.append({QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()), m.captured(3)});
    QVERIFY(words.size() > 10);
    // The page is scaled to the sheet: X0 and X80 (8 inches apart) give the points to an inch.
    const auto at = [&](const QString& name) {
        for (const auto& [place, text] : std::as_const(words))
            if (text == name)
                return place;
        return QPointF(-1, -1);
    };
    const qreal left = at(QStringLiteral("X0")).x();
    const qreal inch = (at(QStringLiteral("X80")).x() - left) / 8;
    QVERIFY2(inch > 50 && inch < 80, qPrintable(QString::number(inch)));
    QStringList wrong;
    for (const auto& [place, text] : std::as_const(words)) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^X(\\d+)")).match(text);
        if (!m.hasMatch() && !text.startsWith(u'Y'))
            wrong << QStringLiteral("printed: ") + text;
        else if (m.hasMatch() && qAbs((place.x() - left) / inch - m.captured(1).toInt() / 10.0) > 0.03)
            wrong << text + QStringLiteral(" at ") + QString::number((place.x() - left) / inch);
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
    QCOMPARE(at(QStringLiteral("X30")).y(), at(QStringLiteral("X00")).y());
    QCOMPARE(at(QStringLiteral("YJ")).y(), at(QStringLiteral("Y2")).y());
    for (const QString& y : {QStringLiteral("Y1"), QStringLiteral("Y2")}) {
        const qreal step = (at(y).y() - at(QStringLiteral("Y0")).y()) / (y == u"Y1" ? 1 : 2) / inch;
        QVERIFY2(qAbs(step - 1.0 / 9) < 0.03 / 2, qPrintable(y + QString::number(step)));
    }
}

/// What a GnuCOBOL program writes for a bold title and an underlined total (AFTER ADVANCING 0
/// LINES); empty when cobc is not installed.
QByteArray cobolOverprint()
{
    QTemporaryDir dir;
    QFile source(dir.filePath(QStringLiteral("ov.cob")));
    if (QStandardPaths::findExecutable(QStringLiteral("cobc")).isEmpty() ||
        !source.open(QIODevice::WriteOnly))
        return QByteArray();
    source.write("       IDENTIFICATION DIVISION.\n       PROGRAM-ID. OV.\n       ENVIRONMENT DIVISION.\n"
                 "       INPUT-OUTPUT SECTION.\n       FILE-CONTROL.\n"
                 "           SELECT REL ASSIGN TO \"OV.TXT\" ORGANIZATION LINE SEQUENTIAL.\n"
                 "       DATA DIVISION.\n       FILE SECTION.\n       FD REL.\n       01 LINHA PIC X(40).\n"
                 "       PROCEDURE DIVISION.\n           OPEN OUTPUT REL.\n"
                 "           MOVE \"TITLE\" TO LINHA. WRITE LINHA AFTER ADVANCING 1 LINE.\n"
                 "           WRITE LINHA AFTER ADVANCING 0 LINES.\n"
                 "           MOVE \"TOTAL 123\" TO LINHA. WRITE LINHA AFTER ADVANCING 2 LINES.\n"
                 "           MOVE \"_________\" TO LINHA. WRITE LINHA AFTER ADVANCING 0 LINES.\n"
                 "           MOVE \"END\" TO LINHA. WRITE LINHA AFTER ADVANCING 1 LINE.\n"
                 "           CLOSE REL.\n           STOP RUN.\n");
    source.close();
    QProcess run;
    run.setWorkingDirectory(dir.path());
    run.start(QStringLiteral("cobc"), {"-x", "-o", "ov", "ov.cob"});
    if (!run.waitForFinished(120000) || run.exitCode() != 0)
        return QByteArray();
    run.start(dir.filePath(QStringLiteral("ov")), QStringList());
    run.waitForFinished(20000);
    QFile out(dir.filePath(QStringLiteral("OV.TXT")));
    return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

void TestComposer::plainSheets_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("linesPerPage");
    QTest::addColumn<int>("sheets");
    QTest::addColumn<QStringList>("oneLine"); ///< words drawn on one baseline, above END
    QByteArray forms;
    for (int form = 0; form < 3; ++form)
        forms += (form > 0 ? "\f" : "") + QByteArray("LINE\r\n").repeated(66);
    // 11 points on A4 within 10 point margins hold 62 lines.
    QTest::newRow("66-line forms: a sheet each") << forms << 0 << 3 << QStringList();
    QTest::newRow("LINHAS still wins") << forms << 33 << 6 << QStringList();
    QTest::newRow("overprinted title and total") << QByteArray("TITLE\rTITLE\r\nTOTAL 123\r_________\r\nEND")
                                                 << 0 << 1 << QStringList{"TOTAL", "_________"};
    const QByteArray cobol = cobolOverprint();
    if (!cobol.isEmpty())
        QTest::newRow("GnuCOBOL AFTER ADVANCING 0 LINES")
            << cobol << 0 << 1 << QStringList{"TOTAL", "_________"};
}

void TestComposer::plainSheets()
{
    QFETCH(QByteArray, file);
    QFETCH(int, linesPerPage);
    QFETCH(int, sheets);
    QFETCH(QStringList, oneLine);
    QByteArray text; // the spool text: CR LF before each line
    TextLines split([&text](QByteArrayView line) { text += "\r\n" + line.toByteArray(); });
    split.feed(file);
    split.finish();
    for (const RenderPath path : {RenderPath::Best, RenderPath::Painter}) {
        Document document = imprime_documento(text, CodePage::Encoding::Windows1252, linesPerPage);
        document.shape().face = QStringLiteral("Courier 10 Pitch");
        EmbeddedFonts fonts;
        Composer composer(fonts, path);
        QByteArray pdf;
        QBuffer buffer(&pdf);
        QVERIFY(composer.render(document, QStringLiteral("tst_composer"),
                                [&](QPageLayout* media, QString*) -> QIODevice* {
                                    *media = kA4;
                                    buffer.open(QIODevice::WriteOnly);
                                    return &buffer;
                                }));
        QCOMPARE(composer.pages(), sheets);
        // pdftotext -bbox gives each word with its box: the overprinted ones share a baseline,
        // and the line after them stands below.
        const QString boxes = poppler(QStringLiteral("pdftotext"), pdf, {"-bbox"});
        QMap<QString, QString> tops;
        static const QRegularExpression word(QStringLiteral("yMin=\"([0-9.]+)\"[^>]*>([^<]+)</word>"));
        for (const QRegularExpressionMatch& m : word.globalMatch(boxes))
            tops.insert(m.captured(2), m.captured(1));
        for (const QString& w : oneLine) {
            QVERIFY2(tops.contains(w), qPrintable(boxes));
            QCOMPARE(tops.value(w), tops.value(oneLine.first()));
        }
        if (!oneLine.isEmpty())
            QVERIFY(tops.value(QStringLiteral("END")).toDouble() >
                    tops.value(oneLine.first()).toDouble() + 5);
    }
}

void TestComposer::charactersRead_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain file, BS accents")
        << QByteArray("\r\nSa\b~o Paulo, servic\b,o") << u"São Paulo, serviço"_qs;
    QTest::newRow("printer codes, ESC t 1 frames")
        << QByteArray("\r\n\x1bt\x01\xC9\xCD\xCD\xBB\r\nCora\b~o") << u"╔══╗\nCorão"_qs;
    QTest::newRow("printer codes, text between frame sides")
        << QByteArray("\r\n\x1bt\x01\xBA 12 \xBA\r\n\xBA 34 \xBA") << u"║ 12 ║\n║ 34 ║"_qs;
    // A glyph of the second face sends the page through Qt's painter.
    QTest::newRow("ESC I 1 glyph and frames")
        << QByteArray("\r\n\x1bt\x01\x1bI\x01\x01\xC9\xCD\xBB") << u"☺╔═╗"_qs;
}

// What a PDF's reader searches and copies: the composed letters and the table's box characters.
void TestComposer::charactersRead()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    EmbeddedFonts fonts;
    Composer composer(fonts);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    Document document = imprime_documento(file, CodePage::Encoding::Windows1252);
    document.shape().face = QStringLiteral("Courier 10 Pitch");
    QVERIFY(composer.render(document, QStringLiteral("tst_composer"),
                            [&](QPageLayout* media, QString*) -> QIODevice* {
                                *media = kA4;
                                buffer.open(QIODevice::WriteOnly);
                                return &buffer;
                            }));
    const QString read = poppler(QStringLiteral("pdftotext"), pdf);
    QVERIFY2(read.contains(text), qPrintable(read));
}

QTEST_MAIN(TestComposer)
#include "tst_composer.moc"
