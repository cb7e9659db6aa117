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
    void bufferKeepsEveryByte_data();
    void bufferKeepsEveryByte();

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

QTEST_MAIN(TestRender)
#include "tst_render.moc"
