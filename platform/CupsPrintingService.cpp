#include "platform/CupsPrintingService.h"

#include "cups/CupsJob.h"
#include "cups/CupsQueues.h"
#include "render/Fitting.h"
#include "spool/FileServices.h"

#include <cups/cups.h>

#include <QFontDatabase>

#include <algorithm>

CupsPrintingService::CupsPrintingService(RenderPath path, int timeoutMs)
    : m_printer(CupsQueues::defaultQueue(timeoutMs)), m_path(path), m_timeoutMs(timeoutMs)
{
    m_style.face = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

CupsPrintingService::~CupsPrintingService() = default;

QList<PrinterInfo> CupsPrintingService::printers()
{
    QList<PrinterInfo> list;
    m_printersError.clear();
    for (const CupsQueue& queue : CupsQueues::list(m_timeoutMs, &m_printersError))
        list.append(PrinterInfo{queue.name, queue.port});
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

namespace {

/// The sizes of the table from the chosen one down.
QList<qreal> sizesFrom(qreal points)
{
    QList<qreal> sizes;
    for (const qreal size : {11.0, 9.0, 8.0, 7.0}) {
        if (size <= points)
            sizes.append(size);
    }
    if (sizes.isEmpty() || sizes.first() < points)
        sizes.prepend(points);
    return sizes;
}

qreal cellOf(const QRawFont& font)
{
    const QChar blank(u' ');
    quint32 glyph = 0;
    int count = 1;
    QPointF advance;
    if (font.glyphIndexesForChars(&blank, 1, &glyph, &count))
        font.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::UseDesignMetrics);
    return advance.x();
}

/// A pica character is a tenth of an inch: 0.6 em at 12 points, the size of a printer's page.
constexpr qreal kPicaPoints = 12;

const QString kFallbackFace = QStringLiteral("DejaVu Sans Mono");

/// Sends what @p bytes reads (a QIODevice or a ByteSource) as one job of this format, in blocks;
/// false, with @p error, when a step failed. A failed read cancels the job: no part of it prints.
template <typename Source>
bool sendBlocks(Source& bytes, const QString& printer, const QString& title, const char* format,
                int timeoutMs, CupsPrintingService::HandedOver& handed, QString& error)
{
    CupsJob job(printer, title, timeoutMs);
    if (!job.begin(format)) {
        error = job.errorString();
        return false;
    }
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = bytes.read(block.data(), block.size());
        if (n < 0) {
            error = bytes.errorString();
            job.cancel();
            return false;
        }
        if (n == 0)
            break;
        if (!job.write(block.constData(), n)) {
            error = job.errorString();
            return false;
        }
    }
    if (!job.finish()) {
        error = job.errorString();
        return false;
    }
    handed = {job.id(), job.created()};
    return true;
}

} // namespace

bool CupsPrintingService::beginDocument()
{
    QString unreached;
    QPageLayout page = CupsQueues::defaultMedia(m_printer, m_timeoutMs, &unreached);
    if (!unreached.isEmpty()) {
        m_error = unreached;
        return false;
    }
    QPageLayout turned = page;
    turned.setOrientation(QPageLayout::Landscape);
    const QRectF portrait = page.paintRect(QPageLayout::Point);
    const QRectF landscape = turned.paintRect(QPageLayout::Point);
    const bool printerPage = m_shape.printerPageInches > 0;

    TextStyle style = m_style;
    FitRequest request;
    request.portraitWidth = portrait.width();
    request.landscapeWidth = landscape.width();
    if (printerPage) {
        // The printer's page (8 inches of carriage by its form length) scaled to the sheet.
        const qreal length = m_shape.printerPageInches * 72;
        request.sizes = {kPicaPoints * std::min(portrait.width() / (8 * 72), portrait.height() / length)};
        request.widthPerPoint = m_shape.widestCells * 0.6;
        request.landscapeCap = kPicaPoints * landscape.height() / length;
    } else {
        request.sizes = sizesFrom(style.points);
        const QRawFont unit = rawFontOf(style);
        request.widthPerPoint = m_shape.widestCells * cellOf(unit) * 72 / kRenderResolution / style.points;
    }
    const Fit fit = fitDocument(request);
    style.points = float(fit.points);
    if (fit.landscape)
        page = turned;

    const QRawFont font = rawFontOf(style);
    m_cell = cellOf(font);
    m_unit = printerPage ? kRenderResolution / 360.0 * fit.points / kPicaPoints : 0;
    m_wrapAt = fit.wrap ? page.paintRectPixels(kRenderResolution).width() : 0;
    const QString fallback = m_shape.needsFallbackFace ? kFallbackFace : QString();
    std::unique_ptr<Renderer> renderer = printerPage || !fallback.isEmpty()
                                             ? makeStyledRenderer(style, font, m_fonts, m_path, fallback)
                                             : makeRenderer(style, font, m_fonts, m_path);
    auto doc = std::make_unique<PrintDocument>(std::move(renderer), page, font);
    doc->layout().fitLines(printerPage ? 0 : m_shape.linesPerPage);
    if (!m_pdf.start()) {
        m_error = m_pdf.errorString();
        return false;
    }
    if (!doc->begin(&m_pdf, m_title)) {
        m_pdf.release();
        m_error = QStringLiteral("cannot begin the PDF document");
        return false;
    }
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
    TextLine plain = TextLine::plain(m_lineStart.isEmpty() ? line : std::exchange(m_lineStart, {}) + line);
    if (m_wrapAt <= 0) {
        m_doc->line(plain);
        return;
    }
    draw(plain);
}

bool CupsPrintingService::printLinePart(const QString& part)
{
    if (m_failed)
        return true;
    if (!m_doc && !beginDocument()) {
        m_failed = true;
        return true;
    }
    m_lineStart += part;
    if (m_wrapAt <= 0)
        return true; // a line that fits the sheet is short: it is drawn whole at its end
    // The wrapped lines draw() would make of the whole line, drawn as soon as their text is in.
    const qsizetype fits = std::max<qsizetype>(1, qsizetype(m_wrapAt / m_cell + 1e-9));
    qsizetype at = 0;
    for (; m_lineStart.size() - at > fits; at += fits)
        m_doc->line(TextLine::plain(m_lineStart.mid(at, fits)));
    m_lineStart.remove(0, at);
    return true;
}

void CupsPrintingService::printRuns(const QList<PrintRun>& runs, int advance)
{
    if (m_failed)
        return;
    if (!m_doc && !beginDocument()) {
        m_failed = true;
        return;
    }
    TextLine line;
    line.styled = true;
    line.advance = advance * m_unit;
    qreal x = 0;
    for (const PrintRun& run : runs) {
        TextRun text;
        text.text = run.text;
        text.x = x;
        text.face = quint8((run.style.bold ? Bold : 0) | (run.style.italic ? Italic : 0));
        text.scale = 100 * 10 / charactersPerInch(run.style.pitch) * (run.style.doubleWidth ? 2 : 1);
        text.underline = run.style.underline;
        x += m_cell * text.scale / 100 * run.text.size();
        line.runs.append(text);
    }
    draw(line);
}

void CupsPrintingService::draw(TextLine& line)
{
    // Past the smallest size, what does not fit goes on the next line: nothing is cut off.
    while (m_wrapAt > 0) {
        TextLine rest;
        rest.styled = line.styled;
        rest.advance = line.advance;
        qreal x = 0;
        for (qsizetype r = 0; r < line.runs.size(); ++r) {
            TextRun& run = line.runs[r];
            const qreal cell = m_cell * (line.styled ? run.scale : 100) / 100;
            const qreal start = line.styled ? run.x : x;
            const qsizetype fits = qsizetype(std::max<qreal>(0, (m_wrapAt - start) / cell + 1e-9));
            x = start + cell * run.text.size();
            if (fits >= run.text.size())
                continue;
            TextRun tail = run;
            tail.text = run.text.mid(fits);
            tail.x = start + cell * fits;
            run.text.truncate(fits);
            rest.runs.append(tail);
            for (qsizetype k = r + 1; k < line.runs.size(); ++k)
                rest.runs.append(line.runs[k]);
            line.runs.resize(r + 1);
            break;
        }
        if (rest.runs.isEmpty())
            break;
        const qreal shift = line.styled ? rest.runs.first().x : 0;
        for (TextRun& run : rest.runs)
            run.x -= shift;
        m_doc->line(line);
        line = rest;
    }
    m_doc->line(line);
}

void CupsPrintingService::newPage()
{
    if (m_doc)
        m_doc->pageBreak();
}

bool CupsPrintingService::endDocument()
{
    m_lastJob = {};
    std::unique_ptr<PrintDocument> doc = std::move(m_doc);
    const bool failed = m_failed;
    m_failed = false;
    m_shape = DocumentShape();
    m_lineStart.clear();
    if (failed)
        return false;
    if (!doc)
        return true; // nothing was drawn, so there is nothing to send
    // A painter does not tell of a failed write: the buffer does.
    const bool written = doc->finish() && !m_pdf.failed();
    if (!written) {
        // The buffer's text ends in the system's error (a full disk), which the reasons know.
        m_error = m_pdf.failed() ? QStringLiteral("cannot write the PDF document: ") + m_pdf.errorString()
                                 : QStringLiteral("cannot write the PDF document");
        m_pdf.release();
        return false;
    }
    if (!m_pdf.spilled()) {
        const QByteArray pdf = m_pdf.takeBytes();
        m_pdf.release();
        return submit(pdf, doc->pages());
    }
    if (!m_pdf.rewind()) {
        m_error = QStringLiteral("cannot write the PDF document: ") + m_pdf.errorString();
        m_pdf.release();
        return false;
    }
    const bool sent = submitFile(m_pdf, doc->pages());
    m_pdf.release();
    return sent;
}

bool CupsPrintingService::submit(const QByteArray& pdf, int)
{
    CupsJob job(m_printer, m_title, m_timeoutMs);
    if (!job.send(pdf)) {
        m_error = job.errorString();
        return false;
    }
    m_lastJob = {job.id(), job.created()};
    return true;
}

bool CupsPrintingService::submitFile(QIODevice& pdf, int)
{
    m_lastJob = {};
    return sendBlocks(pdf, m_printer, m_title, CUPS_FORMAT_PDF, m_timeoutMs, m_lastJob, m_error);
}

PrintingService::JobState CupsPrintingService::jobState(const QString& printer, int jobId, qint64 created)
{
    switch (CupsJob::state(printer, jobId, created, m_timeoutMs)) {
    case CupsJob::State::Pending:
        return JobState::Pending;
    case CupsJob::State::Completed:
        return JobState::Completed;
    case CupsJob::State::Failed:
        return JobState::Failed;
    case CupsJob::State::Unknown:
        break;
    }
    return JobState::Unknown;
}

bool CupsPrintingService::printRaw(ByteSource& bytes, const QString& title)
{
    m_lastJob = {};
    return sendBlocks(bytes, m_printer, title, CUPS_FORMAT_RAW, m_timeoutMs, m_lastJob, m_error);
}
