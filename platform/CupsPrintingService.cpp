#include "platform/CupsPrintingService.h"

#include "platform/PdfText.h"

#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QUrl>

#include <cups/cups.h>

#include <array>

namespace {

/// Dots per inch of the PDF's drawing space. With it a Courier advance (0.6 em) is a whole
/// number of dots at every size we print (7, 8, 9, 11 points), so the coordinates Qt writes
/// into the page stay short.
constexpr int kResolution = 1200;

QString cupsError(const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromUtf8(cupsLastErrorString());
}

/// The queue's default media with its printable area; A4 with Qt's margins when unknown.
QPageLayout mediaOf(const QString& printer)
{
    QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Point);
    if (printer.isEmpty())
        return layout;
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, printer.toUtf8().constData(), nullptr);
    if (!dest)
        return layout;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        cups_size_t size;
        if (cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest, info, 0, &size) && size.width > 0 &&
            size.length > 0) {
            // CUPS gives hundredths of millimetres.
            const QPageSize page(QSizeF(size.width / 100.0, size.length / 100.0), QPageSize::Millimeter,
                                 QString::fromUtf8(size.media), QPageSize::FuzzyMatch);
            const QMarginsF margins(size.left / 100.0, size.top / 100.0, size.right / 100.0,
                                    size.bottom / 100.0);
            layout = QPageLayout(page, QPageLayout::Portrait, margins, QPageLayout::Millimeter);
        }
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
    return layout;
}

} // namespace

/// One document being drawn, into memory or into the output file.
class CupsPrintingService::Document
{
public:
    virtual ~Document() = default;

    QByteArray bytes;
    QBuffer buffer{&bytes};
    QFile file;
    bool pageOpen = false;

    /// Opens the target and starts the PDF on this page layout.
    virtual bool begin(QIODevice* target, const QPageLayout& layout, const QString& title) = 0;
    virtual void line(const QString& text) = 0;
    /// Begins a new page; the first call begins the first.
    virtual void openPage() = 0;
    virtual int pages() const = 0;
    /// Draws what is left and ends the PDF; false when it could not be written whole.
    virtual bool finish() = 0;
};

namespace {

/// The creator named in every document.
const QString kCreator = QStringLiteral("Velmorix2");

} // namespace

/**
 * One document being drawn by Qt, for any face Qt can draw. The glyphs of a page are gathered into one glyph
 * run and drawn when the page ends: a line costs a few table look-ups, and Qt's PDF engine sees one text
 * object per page instead of one per line.
 */
class CupsPrintingService::QtDocument : public CupsPrintingService::Document
{
public:
    std::unique_ptr<QPdfWriter> writer;
    QPainter painter;

    QRawFont font;
    bool underline = false;
    qreal ascent = 0;
    qreal lineHeight = 0;
    qreal pageHeight = 0;
    qreal y = 0;
    int pageCount = 0;

    QList<quint32> glyphs;
    QList<QPointF> positions;
    QList<QLineF> underlines;

    void setFont(const QRawFont& raw, bool underlined)
    {
        flush();
        font = raw;
        underline = underlined;
        ascent = raw.ascent();
        lineHeight = raw.ascent() + raw.descent() + raw.leading();
        m_cached.fill(kUnknown);
    }

    bool begin(QIODevice* target, const QPageLayout& layout, const QString& title) override
    {
        writer = std::make_unique<QPdfWriter>(target);
        writer->setResolution(kResolution);
        writer->setPageLayout(layout);
        writer->setTitle(title);
        writer->setCreator(kCreator);
        if (!painter.begin(writer.get()))
            return false;
        pageHeight = painter.device()->height();
        return true;
    }

    int pages() const override { return pageCount; }

    bool finish() override
    {
        flush();
        painter.end();
        writer.reset();
        return true;
    }

    void openPage() override
    {
        flush();
        if (pageCount > 0)
            writer->newPage();
        ++pageCount;
        pageOpen = true;
        y = 0;
    }

    void line(const QString& text) override
    {
        if (!pageOpen || (y > 0 && y + lineHeight > pageHeight))
            openPage();
        const qreal baseline = y + ascent;
        qreal x = 0;
        for (const QChar ch : text) {
            const Glyph g = glyphOf(ch);
            // Blanks and characters the face lacks draw nothing but keep their column.
            if (g.index != 0 && ch != u' ') {
                glyphs.append(g.index);
                positions.append(QPointF(x, baseline));
            }
            x += g.advance;
        }
        if (underline && x > 0) {
            const qreal under = baseline + font.underlinePosition();
            underlines.append(QLineF(0, under, x, under));
        }
        y += lineHeight;
    }

    void flush()
    {
        if (!glyphs.isEmpty()) {
            QGlyphRun run;
            run.setRawFont(font);
            run.setGlyphIndexes(glyphs);
            run.setPositions(positions);
            painter.drawGlyphRun(QPointF(0, 0), run);
            glyphs.clear();
            positions.clear();
        }
        if (!underlines.isEmpty()) {
            painter.setPen(QPen(Qt::black, font.lineThickness()));
            painter.drawLines(underlines);
            underlines.clear();
        }
    }

private:
    struct Glyph
    {
        quint32 index = 0;
        qreal advance = 0;
    };
    static constexpr quint32 kUnknown = 0xffffffffu;

    Glyph lookUp(QChar ch) const
    {
        Glyph g;
        int count = 1;
        if (!font.glyphIndexesForChars(&ch, 1, &g.index, &count) || count != 1)
            g.index = 0;
        QPointF advance;
        // Design metrics, not hinted ones: a Courier column is then exactly 0.6 em wide.
        if (font.advancesForGlyphIndexes(&g.index, &advance, 1, QRawFont::UseDesignMetrics))
            g.advance = advance.x();
        return g;
    }

    /// Spool text is Windows-1252, so nearly every character falls in the first 256 code
    /// points; those are looked up once per font.
    Glyph glyphOf(QChar ch)
    {
        const char16_t u = ch.unicode();
        if (u >= m_cached.size())
            return lookUp(ch);
        if (m_cached[u] == kUnknown) {
            const Glyph g = lookUp(ch);
            m_cached[u] = g.index;
            m_cachedAdvance[u] = g.advance;
        }
        return Glyph{m_cached[u], m_cachedAdvance[u]};
    }

    std::array<quint32, 256> m_cached{};
    std::array<qreal, 256> m_cachedAdvance{};
};

/**
 * One document written directly as PDF text, for a face whose file the PDF can carry
 * (PdfText.h): one show operator per line instead of Qt's operators per glyph.
 */
class CupsPrintingService::TextDocument : public CupsPrintingService::Document
{
public:
    std::unique_ptr<PdfTextWriter> writer;

    bool begin(QIODevice* target, const QPageLayout& layout, const QString& title) override
    {
        writer = std::make_unique<PdfTextWriter>(target, layout, kResolution);
        return writer->begin(title, kCreator);
    }
    void setFont(const std::shared_ptr<const PdfTextFont>& font, const QRawFont& raw)
    {
        writer->setFont(font, raw);
    }
    void line(const QString& text) override
    {
        if (!pageOpen)
            openPage();
        writer->line(text);
    }
    void openPage() override
    {
        writer->openPage();
        pageOpen = true;
    }
    int pages() const override { return writer->pages(); }
    bool finish() override { return writer->finish(); }
};

CupsPrintingService::CupsPrintingService()
    : m_face(QFontDatabase::systemFont(QFontDatabase::FixedFont).family())
{
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i) {
        if (dests[i].is_default && !dests[i].instance) {
            m_printer = QString::fromUtf8(dests[i].name);
            break;
        }
    }
    cupsFreeDests(count, dests);
}

CupsPrintingService::~CupsPrintingService() = default;

QString CupsPrintingService::portOfDeviceUri(const QString& uri)
{
    const qsizetype colon = uri.indexOf(u':');
    if (colon <= 0)
        return uri;
    const QString scheme = uri.left(colon).toLower();
    QString rest = uri.mid(colon + 1);
    if (scheme == QLatin1String("file")) {
        // file:///x and file:/x both name /x; a host part (file://host/x) is not ours to drop.
        if (rest.startsWith(QLatin1String("///")))
            rest = rest.mid(2);
        else if (rest.startsWith(QLatin1String("//")))
            return uri;
        return QUrl::fromPercentEncoding(rest.toUtf8());
    }
    if (scheme == QLatin1String("parallel") || scheme == QLatin1String("serial")) {
        const qsizetype query = rest.indexOf(u'?');
        return query < 0 ? rest : rest.left(query);
    }
    return uri;
}

QList<PrinterInfo> CupsPrintingService::printers()
{
    QList<PrinterInfo> list;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i) {
        const cups_dest_t& dest = dests[i];
        if (dest.instance)
            continue;
        PrinterInfo info;
        info.deviceName = QString::fromUtf8(dest.name);
        if (const char* uri = cupsGetOption("device-uri", dest.num_options, dest.options))
            info.port = portOfDeviceUri(QString::fromUtf8(uri));
        list.append(info);
    }
    cupsFreeDests(count, dests);
    m_listed = list;
    return list;
}

bool CupsPrintingService::selectPrinter(int index)
{
    if (m_listed.isEmpty())
        printers();
    if (index < 0 || index >= m_listed.size()) {
        m_error = QStringLiteral("no printer %1 in the list").arg(index);
        return false;
    }
    m_printer = m_listed[index].deviceName;
    return true;
}

QStringList CupsPrintingService::faceNames()
{
    return QFontDatabase::families();
}

void CupsPrintingService::setFaceName(const QString& face)
{
    m_face = face;
}
void CupsPrintingService::setBold(bool on)
{
    m_bold = on;
}
void CupsPrintingService::setItalic(bool on)
{
    m_italic = on;
}
void CupsPrintingService::setUnderline(bool on)
{
    m_underline = on;
}
void CupsPrintingService::setPointSize(float points)
{
    m_points = points;
}

bool CupsPrintingService::beginDocument()
{
    // The face, style and size in force now are the document's. The face's file goes into
    // the PDF as it is when the PDF can carry it and the line needs no style Qt would make
    // itself; any other face is drawn by Qt.
    QFont wanted(m_face);
    wanted.setBold(m_bold);
    wanted.setItalic(m_italic);
    QRawFont raw = QRawFont::fromFont(wanted);
    raw.setPixelSize(qreal(m_points) * kResolution / 72.0);
    std::shared_ptr<const PdfTextFont> textFont;
    if (m_textPath && !m_bold && !m_italic && !m_underline)
        textFont = PdfTextFont::load(PdfTextFont::fileOfFamily(m_face), raw);

    std::unique_ptr<Document> doc;
    if (textFont)
        doc = std::make_unique<TextDocument>();
    else
        doc = std::make_unique<QtDocument>();
    QIODevice* target = &doc->buffer;
    if (!m_outputFile.isEmpty()) {
        doc->file.setFileName(m_outputFile);
        target = &doc->file;
    }
    if (!target->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = m_outputFile + QStringLiteral(": ") + target->errorString();
        return false;
    }
    if (!doc->begin(target, mediaOf(m_printer), m_title)) {
        m_error = QStringLiteral("cannot begin the PDF document");
        return false;
    }
    if (textFont)
        static_cast<TextDocument*>(doc.get())->setFont(textFont, raw);
    else
        static_cast<QtDocument*>(doc.get())->setFont(raw, m_underline);
    m_lastTextPath = textFont != nullptr;
    m_doc = std::move(doc);
    return true;
}

void CupsPrintingService::printLine(const QString& line)
{
    if (m_failed)
        return;
    if (!m_doc && !beginDocument()) {
        m_failed = true;
        return;
    }
    m_doc->line(line);
}

void CupsPrintingService::newPage()
{
    if (!m_doc)
        return;
    // A break with no line since the last one leaves a blank page.
    if (!m_doc->pageOpen)
        m_doc->openPage();
    m_doc->pageOpen = false;
}

bool CupsPrintingService::endDocument()
{
    std::unique_ptr<Document> doc = std::move(m_doc);
    const bool failed = m_failed;
    m_failed = false;
    m_lastPageCount = 0;
    m_lastJobId = 0;
    if (failed)
        return false;
    if (!doc)
        return true; // nothing was drawn, so there is nothing to send
    const bool written = doc->finish();
    m_lastPageCount = doc->pages();
    if (!m_outputFile.isEmpty()) {
        if (!written || !doc->file.flush() || doc->file.error() != QFileDevice::NoError) {
            m_error = m_outputFile + QStringLiteral(": ") + doc->file.errorString();
            return false;
        }
        doc->file.close();
        return true;
    }
    if (!written) {
        m_error = QStringLiteral("cannot write the PDF document");
        return false;
    }
    return submit(doc->bytes);
}

bool CupsPrintingService::submit(const QByteArray& pdf)
{
    if (m_printer.isEmpty()) {
        m_error = QStringLiteral("no printer is selected");
        return false;
    }
    const QByteArray name = m_printer.toUtf8();
    const QByteArray title = m_title.isEmpty() ? QByteArrayLiteral("Velmorix2") : m_title.toUtf8();

    // A queue that is missing, stopped accepting or cannot be reached refuses the job here.
    // The pages are laid out inside the queue's printable area already: the filters must not
    // shrink them to fit it once more.
    cups_option_t* options = nullptr;
    const int optionCount = cupsAddOption("print-scaling", "none", 0, &options);
    const int job =
        cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), title.constData(), optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (job <= 0) {
        m_error = cupsError(QStringLiteral("printer %1 refused the job").arg(m_printer));
        return false;
    }
    auto fail = [&](const QString& what) {
        m_error = cupsError(what);
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        return false;
    };
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, title.constData(), CUPS_FORMAT_PDF, 1) !=
        HTTP_STATUS_CONTINUE)
        return fail(QStringLiteral("printer %1 did not take the document").arg(m_printer));
    constexpr qsizetype kChunk = 64 * 1024;
    for (qsizetype at = 0; at < pdf.size(); at += kChunk) {
        const size_t n = size_t(std::min(kChunk, pdf.size() - at));
        if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData() + at, n) != HTTP_STATUS_CONTINUE)
            return fail(QStringLiteral("sending the document to %1 failed").arg(m_printer));
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return fail(QStringLiteral("printer %1 did not accept the document").arg(m_printer));
    m_lastJobId = job;
    return true;
}
