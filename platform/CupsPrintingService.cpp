#include "platform/CupsPrintingService.h"

#include "cups/CupsJob.h"
#include "spool/FileServices.h"

#include "cups/CupsQueues.h"
#include <cups/cups.h>

#include <QFontDatabase>

CupsPrintingService::CupsPrintingService(RenderPath path)
    : m_printer(CupsQueues::defaultQueue()), m_path(path)
{
    m_style.face = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

CupsPrintingService::~CupsPrintingService() = default;

QList<PrinterInfo> CupsPrintingService::printers()
{
    QList<PrinterInfo> list;
    for (const CupsQueue& queue : CupsQueues::list())
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

bool CupsPrintingService::beginDocument()
{
    const QRawFont font = rawFontOf(m_style);
    auto doc = std::make_unique<PrintDocument>(makeRenderer(m_style, font, m_fonts, m_path),
                                               CupsQueues::defaultMedia(m_printer), font);
    m_pdf.clear();
    if (!m_buffer.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = m_buffer.errorString();
        return false;
    }
    if (!doc->begin(&m_buffer, m_title)) {
        m_buffer.close();
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
    m_doc->line(TextLine::plain(line));
}

void CupsPrintingService::newPage()
{
    if (m_doc)
        m_doc->pageBreak();
}

bool CupsPrintingService::endDocument()
{
    std::unique_ptr<PrintDocument> doc = std::move(m_doc);
    const bool failed = m_failed;
    m_failed = false;
    if (failed)
        return false;
    if (!doc)
        return true; // nothing was drawn, so there is nothing to send
    const bool written = doc->finish();
    m_buffer.close();
    QByteArray pdf = std::exchange(m_pdf, QByteArray());
    if (!written) {
        m_error = QStringLiteral("cannot write the PDF document");
        return false;
    }
    return submit(pdf, doc->pages());
}

bool CupsPrintingService::submit(const QByteArray& pdf, int)
{
    CupsJob job(m_printer, m_title);
    if (!job.send(pdf)) {
        m_error = job.errorString();
        return false;
    }
    return true;
}

bool CupsPrintingService::printRaw(ByteSource& bytes, const QString& title)
{
    CupsJob job(m_printer, title);
    if (!job.begin(CUPS_FORMAT_RAW)) {
        m_error = job.errorString();
        return false;
    }
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = bytes.read(block.data(), block.size());
        if (n < 0) {
            m_error = bytes.errorString();
            job.cancel(); // a read failure must not leave a partial job printing
            return false;
        }
        if (n == 0)
            break;
        if (!job.write(block.constData(), n)) {
            m_error = job.errorString();
            return false;
        }
    }
    if (!job.finish()) {
        m_error = job.errorString();
        return false;
    }
    return true;
}
