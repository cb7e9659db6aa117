#include "platform/CupsPrintingService.h"

#include "cups/CupsJob.h"
#include "cups/CupsQueues.h"
#include "platform/PdfCopy.h"
#include "spool/FileServices.h"

#include <cups/cups.h>

#include <QBuffer>
#include <QDateTime>
#include <QFontDatabase>

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
    : m_default(CupsQueues::defaultQueue(timeoutMs)), m_timeoutMs(timeoutMs), m_composer(m_fonts, path)
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
    return QFontDatabase::families();
}

PrintError CupsPrintingService::print(const QString& printer, const Document& document, const QString& title,
                                      SubmittedJob* job)
{
    if (job)
        *job = SubmittedJob();
    m_note.clear();
    m_media.clear();
    const bool copyOnly = m_options.copyOnly;
    const auto copied = [&](const PrintError& kept) {
        if (copyOnly && kept.isNone() && job)
            job->pages = m_composer.pages(); // no job to follow: the copy is the print-out
        return kept;
    };
    PrintError error;
    const bool drawn = m_composer.render(document, title, [&](QPageLayout* media, QString*) -> QIODevice* {
        const QByteArray chosen = pwgMediaName(m_options.paper);
        if (copyOnly) {
            *media = CupsQueues::sheetOf(chosen);
        } else {
            PrintError unreached;
            *media = CupsQueues::media(printer, chosen, m_timeoutMs, &unreached, &m_media);
            if (!unreached.isNone()) {
                error = unreached;
                return nullptr;
            }
        }
        if (!m_pdf.start()) {
            error = PrintError::fromErrno(m_pdf.errorNumber(), m_pdf.errorString());
            return nullptr;
        }
        return &m_pdf;
    });
    const auto writeFailed = [this] {
        return PrintError::fromErrno(m_pdf.errorNumber(),
                                     QStringLiteral("cannot write the PDF document: ") + m_pdf.errorString());
    };
    if (!drawn) {
        // A painter does not tell of a failed write: the buffer does, with the system's error.
        if (error.isNone())
            error = m_pdf.failed() ? writeFailed() : PrintError::other(m_composer.errorString());
        m_pdf.release();
        return error;
    }
    if (m_composer.pages() == 0)
        return PrintError(); // nothing was drawn, so there is nothing to send
    if (m_pdf.failed()) {
        m_pdf.release();
        return writeFailed();
    }
    if (!m_pdf.spilled()) {
        QByteArray pdf = m_pdf.takeBytes();
        m_pdf.release();
        if (!copyOnly)
            error = submit(printer, title, pdf, m_composer.pages(), job);
        QBuffer bytes(&pdf);
        bytes.open(QIODevice::ReadOnly);
        return error.isNone() ? copied(keepCopy(title, bytes)) : error;
    }
    if (!m_pdf.rewind()) {
        error = writeFailed();
        m_pdf.release();
        return error;
    }
    if (!copyOnly)
        error = submitFile(printer, title, m_pdf, m_composer.pages(), job);
    if (error.isNone())
        error = m_pdf.rewind() ? copied(keepCopy(title, m_pdf)) : writeFailed();
    m_pdf.release();
    return error;
}

PrintError CupsPrintingService::keepCopy(const QString& title, QIODevice& pdf)
{
    if (m_options.copyFolder.isEmpty())
        return PrintError();
    const QString name = PdfCopy::fileName(QDateTime::currentDateTime(), title);
    const QString failed = PdfCopy::write(m_options.copyFolder, name, pdf);
    if (failed.isEmpty())
        return PrintError();
    // Printed on paper, the print-out is done: a copy that could not be kept is only told.
    // Without a printer, the copy is the print-out, and it waits like any other.
    if (m_options.copyOnly)
        return PrintError::other(
            QStringLiteral("PDF não gravado em %1: %2").arg(m_options.copyFolder, failed));
    m_note = QStringLiteral("cópia em PDF não gravada em %1 (%2)").arg(m_options.copyFolder, failed);
    return PrintError();
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
