#include "platform/CupsPrintingService.h"

#include "cups/CupsJob.h"
#include "cups/CupsQueues.h"
#include "spool/FileServices.h"

#include <cups/cups.h>

#include <QIODevice>

namespace {

/// Sends what @p bytes reads (a QIODevice or a ByteSource) as one job of this format, in blocks.
/// A failed read cancels the job: no part of it prints.
template <typename Source>
PrintError sendBlocks(Source& bytes, const QString& printer, const QString& title, const char* format,
                      int timeoutMs, SubmittedJob* handed, const QByteArray& media = QByteArray())
{
    CupsJob job(printer, title, timeoutMs);
    job.setMedia(media);
    if (!job.begin(format))
        return job.error();
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = bytes.read(block.data(), block.size());
        if (n < 0) {
            job.cancel();
            return PrintError::fromSystemText(bytes.errorString());
        }
        if (n == 0)
            break;
        if (!job.write(block.constData(), n))
            return job.error();
    }
    if (!job.finish())
        return job.error();
    if (handed)
        *handed = SubmittedJob{printer, job.id(), job.created()};
    return PrintError();
}

} // namespace

CupsPrintingService::CupsPrintingService(RenderPath path, int timeoutMs)
    : m_default(CupsQueues::defaultQueue(timeoutMs)), m_timeoutMs(timeoutMs), m_documents(path)
{
}

CupsPrintingService::~CupsPrintingService() = default;

QList<PrinterInfo> CupsPrintingService::printers(PrintError* error)
{
    QList<PrinterInfo> list;
    PrintError unreached;
    for (const CupsQueue& queue : CupsQueues::list(m_timeoutMs, &unreached))
        list.append(PrinterInfo{queue.name, queue.port});
    if (error)
        *error = unreached;
    return list;
}

QStringList CupsPrintingService::faceNames()
{
    return m_documents.faceNames();
}

PrintError CupsPrintingService::print(const QString& printer, const Document& document, const QString& title,
                                      SubmittedJob* job)
{
    m_media.clear();
    Queue queue(*this, printer);
    return m_documents.print(queue, document, title, job);
}

bool CupsPrintingService::Queue::sheet(const QByteArray& media, QPageLayout* sheet, PrintError* error)
{
    if (m_service.m_documents.options().copyOnly) {
        *sheet = CupsQueues::sheetOf(media);
        return true;
    }
    PrintError unreached;
    *sheet = CupsQueues::media(m_printer, media, m_service.m_timeoutMs, &unreached, &m_service.m_media);
    if (unreached.isNone())
        return true;
    *error = unreached;
    return false;
}

PrintError CupsPrintingService::Queue::submit(const QString& title, const QByteArray& pdf, int pages,
                                              SubmittedJob* job)
{
    return m_service.submit(m_printer, title, pdf, pages, job);
}

PrintError CupsPrintingService::Queue::submitFile(const QString& title, QIODevice& pdf, int pages,
                                                  SubmittedJob* job)
{
    return m_service.submitFile(m_printer, title, pdf, pages, job);
}

PrintError CupsPrintingService::submit(const QString& printer, const QString& title, const QByteArray& pdf,
                                       int pages, SubmittedJob* handed)
{
    CupsJob job(printer, title, m_timeoutMs);
    job.setMedia(m_media);
    if (!job.send(pdf))
        return job.error();
    if (handed)
        *handed = SubmittedJob{printer, job.id(), job.created(), pages};
    return PrintError();
}

PrintError CupsPrintingService::submitFile(const QString& printer, const QString& title, QIODevice& pdf,
                                           int pages, SubmittedJob* handed)
{
    const PrintError error = sendBlocks(pdf, printer, title, CUPS_FORMAT_PDF, m_timeoutMs, handed, m_media);
    if (handed)
        handed->pages = pages;
    return error;
}

JobState CupsPrintingService::jobState(const SubmittedJob& job)
{
    switch (CupsJob::state(job.printer, job.id, job.created, m_timeoutMs)) {
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

PrintError CupsPrintingService::printRaw(const QString& printer, ByteSource& bytes, const QString& title,
                                         SubmittedJob* job)
{
    if (job)
        *job = SubmittedJob();
    return sendBlocks(bytes, printer, title, CUPS_FORMAT_RAW, m_timeoutMs, job);
}
