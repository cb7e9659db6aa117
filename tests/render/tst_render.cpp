// Documents rendered into a buffer by each renderer and read back with poppler's tools.

#include "render/DocumentBuffer.h"
#include "render/EmbeddedFont.h"
#include "render/PrintDocument.h"

#include "tests/support/Poppler.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kFace = QStringLiteral("Courier 10 Pitch");

enum class Path
{
    Direct,
    Painter
};

/// Each page's lines as pdftotext -layout reads them, blank lines at the end of a page left out.
QList<QStringList> pagesOf(const QByteArray& pdf)
{
    QStringList parts = poppler(QStringLiteral("pdftotext"), pdf, {"-layout"}).split(u'\f');
    parts.removeLast(); // pdftotext ends every page with a form feed
    QList<QStringList> pages;
    for (const QString& part : std::as_const(parts)) {
        QStringList lines = part.split(u'\n');
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        pages.append(lines);
    }
    return pages;
}

QString infoField(const QByteArray& pdf, const QString& field)
{
    const QRegularExpression re(u'^' + field + QStringLiteral(":\\s+(.*)$"),
                                QRegularExpression::MultilineOption);
    return re.match(poppler(QStringLiteral("pdfinfo"), pdf)).captured(1).trimmed();
}

} // namespace

class TestRender : public QObject
{
    Q_OBJECT

private slots:
    void pageBreaks_data();
    void pageBreaks();
    void pageSizeIsTheLayouts();
    void directPathEmbedsTheFace_data();
    void directPathEmbedsTheFace();
    void unitsLookedUpOnTheFacesPagesOnly_data();
    void unitsLookedUpOnTheFacesPagesOnly();
    void bufferKeepsEveryByte_data();
    void bufferKeepsEveryByte();
    void streamsAreCompressed();
    void sameDocumentSameFile();

private:
    /// Renders the lines ("\f" for a page break) by one path and gives the PDF.
    QByteArray render(Path path, const QStringList& lines, const TextStyle& style,
                      const QPageLayout& page = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                                            QMarginsF(10, 10, 10, 10), QPageLayout::Point));

    EmbeddedFonts m_fonts;
};

QByteArray TestRender::render(Path path, const QStringList& lines, const TextStyle& style,
                              const QPageLayout& page)
{
    const QRawFont font = rawFontOf(style);
    PrintDocument doc(path == Path::Direct ? makeRenderer(style, font, m_fonts)
                                           : makePainterRenderer(style, font),
                      page, font);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    if (!doc.begin(&buffer, QStringLiteral("tst_render")))
        return QByteArray();
    for (const QString& line : lines) {
        if (line == QLatin1String("\f"))
            doc.pageBreak();
        else
            doc.line(TextLine::plain(line));
    }
    return doc.finish() ? pdf : QByteArray();
}

void TestRender::pageBreaks_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QList<QStringList>>("pages");
    QStringList full;
    QStringList first;
    for (int i = 1; i <= 70; ++i)
        full.append(QStringLiteral("LINE %1").arg(i));
    // 11 points on A4 within 10 point margins: 62 lines a page.
    QTest::newRow("full page continues") << full << QList<QStringList>{full.mid(0, 62), full.mid(62)};
    QTest::newRow("break between lines")
        << QStringList{"ONE", "\f", "TWO"} << QList<QStringList>{{"ONE"}, {"TWO"}};
    QTest::newRow("two breaks leave a blank page")
        << QStringList{"ONE", "\f", "\f", "THREE"} << QList<QStringList>{{"ONE"}, {}, {"THREE"}};
    QTest::newRow("break at the end adds nothing") << QStringList{"ONE", "\f"} << QList<QStringList>{{"ONE"}};
    QTest::newRow("break after a full page")
        << full.mid(0, 62) + QStringList{"\f", "NEXT"} << QList<QStringList>{full.mid(0, 62), {"NEXT"}};
}

void TestRender::pageBreaks()
{
    QFETCH(QStringList, lines);
    QFETCH(QList<QStringList>, pages);
    for (const Path path : {Path::Direct, Path::Painter}) {
        const QByteArray pdf = render(path, lines, TextStyle{kFace, false, false, false, 11});
        QVERIFY(!pdf.isEmpty());
        QCOMPARE(infoField(pdf, QStringLiteral("Pages")).toInt(), pages.size());
        QCOMPARE(pagesOf(pdf), pages);
    }
}

void TestRender::pageSizeIsTheLayouts()
{
    const QPageLayout letter(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF(18, 18, 18, 18),
                             QPageLayout::Point);
    for (const Path path : {Path::Direct, Path::Painter}) {
        const QByteArray pdf = render(path, {"LETTER"}, TextStyle{kFace, false, false, false, 11}, letter);
        QCOMPARE(infoField(pdf, QStringLiteral("Page size")), QStringLiteral("612 x 792 pts (letter)"));
    }
}

void TestRender::directPathEmbedsTheFace_data()
{
    QTest::addColumn<bool>("underline");
    QTest::addColumn<QString>("type");
    QTest::newRow("plain: the Type 1 file") << false << "Type 1";
    QTest::newRow("underline: drawn by the painter") << true << "CID";
}

void TestRender::directPathEmbedsTheFace()
{
    QFETCH(bool, underline);
    QFETCH(QString, type);
    const QByteArray pdf = render(Path::Direct, {"EMBEDDED"}, TextStyle{kFace, false, false, underline, 11});
    const QStringList fonts =
        poppler(QStringLiteral("pdffonts"), pdf).split(u'\n', Qt::SkipEmptyParts).mid(2);
    QCOMPARE(fonts.size(), 1);
    QVERIFY2(fonts.first().contains(type) && fonts.first().contains(QLatin1String("yes")),
             qPrintable(fonts.first()));
    QCOMPARE(pagesOf(pdf), QList<QStringList>{{"EMBEDDED"}});
}

// Fontconfig tells the pages of units a face has characters on, and only those are looked up:
// every unit must map as when all 65,536 are looked up.
void TestRender::unitsLookedUpOnTheFacesPagesOnly_data()
{
    QTest::addColumn<QString>("family");
    for (const char* family : {"Courier 10 Pitch", "DejaVu Sans Mono"})
        QTest::newRow(family) << QString::fromLatin1(family);
}

void TestRender::unitsLookedUpOnTheFacesPagesOnly()
{
    QFETCH(QString, family);
    FaceFacts facts;
    QFile file(EmbeddedFonts::fileOfFamily(family, false, false, &facts));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        QSKIP("the face is not installed");
    QVERIFY(!facts.pages.isEmpty());
    const QByteArray data = file.readAll();
    QFont font(family);
    font.setPixelSize(11);
    const QRawFont raw = QRawFont::fromFont(font);
    FaceFacts unknown;
    unknown.monospaced = facts.monospaced;
    const auto paged = EmbeddedFont::fromData(data, raw, true, facts);
    const auto every = EmbeddedFont::fromData(data, raw, true, unknown);
    if (!every)
        QSKIP("the face's file is not one a PDF carries whole");
    QVERIFY(paged);
    // Half a surrogate pair is no character: it draws nothing.
    QVERIFY(std::all_of(every->codes.get() + 0xD800, every->codes.get() + 0xE000,
                        [](unsigned char code) { return code == EmbeddedFont::kGap; }));
    QVERIFY(std::equal(paged->codes.get(), paged->codes.get() + 0x10000, every->codes.get()));
}

void TestRender::bufferKeepsEveryByte_data()
{
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("spilled");
    QTest::newRow("in memory") << DocumentBuffer::kDefaultLimit << 3 * 1024 * 1024 << false;
    QTest::newRow("the limit itself in memory") << qint64(5000) << 5000 << false;
    QTest::newRow("spilled at once") << qint64(0) << 1000 << true;
    QTest::newRow("spilled midway") << qint64(70000) << 300000 << true;
}

void TestRender::bufferKeepsEveryByte()
{
    QFETCH(qint64, limit);
    QFETCH(int, size);
    QFETCH(bool, spilled);
    QByteArray document(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        document[i] = char(i * 7 + i / 251);
    DocumentBuffer buffer(limit);
    // Twice: a buffer begins afresh with each document.
    for (int round = 0; round < 2; ++round) {
        QVERIFY(buffer.start());
        for (int at = 0; at < size; at += 4093) {
            const int n = std::min(4093, size - at);
            QCOMPARE(buffer.write(document.constData() + at, n), qint64(n));
        }
        QCOMPARE(buffer.size(), qint64(size));
        QCOMPARE(buffer.spilled(), spilled);
        if (spilled) {
            QVERIFY(buffer.rewind());
            QCOMPARE(buffer.readAll(), document);
        } else {
            QCOMPARE(buffer.takeBytes(), document);
        }
    }
}

void TestRender::streamsAreCompressed()
{
    // A 300-page report of 60 numbered lines a page, and a picture on its last page.
    const TextStyle style{kFace, false, false, false, 7};
    const QRawFont font = rawFontOf(style);
    PrintDocument doc(makeRenderer(style, font, m_fonts),
                      QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                                  QPageLayout::Point),
                      font);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(doc.begin(&buffer, QStringLiteral("tst_render")));
    qint64 textBytes = 0;
    QString last;
    for (int i = 0; i < 300 * 60; ++i) {
        if (i > 0 && i % 60 == 0)
            doc.pageBreak();
        last = QStringLiteral("%1 BR%2 CUSTOMER %3 PRD%4 %5 %6")
                   .arg(i, 6, 10, QChar(u'0'))
                   .arg(i * 7 % 900, -6)
                   .arg(i * 7919 % 99991, -24)
                   .arg(i * 31 % 9999, -8)
                   .arg(i * 0.37 * (i % 977), 14, 'f', 2)
                   .arg(i * 104729 % 100000000, 12);
        textBytes += last.size();
        doc.line(TextLine::plain(last));
    }
    PageImage image;
    image.width = 640;
    image.height = 480;
    for (int row = 0; row < image.height; ++row)
        image.bits += QByteArray(image.bytesPerRow(), char(row % 16 < 8 ? 0xF0 : 0x0F));
    doc.image(image, QRectF(0, 0, 320, 240));
    QVERIFY(doc.finish());

    // Every stream longer than zlib's own overhead is Flate-compressed...
    const QRegularExpression dict(QStringLiteral("<<([^>]*/Length (\\d+)[^>]*)>>\\nstream\\n"));
    int streams = 0;
    for (const QRegularExpressionMatch& m : dict.globalMatch(QString::fromLatin1(pdf))) {
        ++streams;
        QVERIFY2(m.captured(2).toInt() < 128 || m.captured(1).contains(QLatin1String("/FlateDecode")),
                 qPrintable(m.captured(1)));
    }
    QVERIFY2(streams > 300, qPrintable(QString::number(streams)));
    // ...so the document is well under half the size of the text it draws (uncompressed, the
    // text alone is all of that, and its operators add a tenth more).
    QVERIFY2(pdf.size() < textBytes / 2,
             qPrintable(QStringLiteral("%1 of %2").arg(pdf.size()).arg(textBytes)));
    // poppler reads it all back: the last line, and the picture as a mask.
    QCOMPARE(pagesOf(pdf).value(299).value(59).simplified(), last.simplified());
    const QString images = poppler(QStringLiteral("pdfimages"), pdf, {"-list"});
    QVERIFY2(images.contains(QRegularExpression(QStringLiteral("\\b300\\s+0\\s+stencil\\s+640\\s+480\\b"))),
             qPrintable(images));
}

QTEST_MAIN(TestRender)
#include "tst_render.moc"

// Page content is compressed on a thread of its own, at its own pace: the file written must not
// depend on it.
void TestRender::sameDocumentSameFile()
{
    QStringList lines;
    for (int i = 0; i < 80 * 60; ++i)
        lines << (i > 0 && i % 60 == 0 ? QStringLiteral("\f")
                                       : QStringLiteral("LINE %1 OF THE REPORT").arg(i));
    const auto rendered = [&] {
        QByteArray pdf = render(Path::Direct, lines, TextStyle{kFace, false, false, false, 9});
        static const QRegularExpression date(QStringLiteral("/CreationDate \\(D:\\d+Z\\)"));
        return QString::fromLatin1(pdf).remove(date);
    };
    const QString first = rendered();
    QVERIFY(!first.isEmpty());
    for (int run = 0; run < 4; ++run)
        QVERIFY(rendered() == first);
}
