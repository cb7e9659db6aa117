#include "cups/CupsJob.h"

#include <cups/cups.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

CupsJob::CupsJob(const QString& queue, const QString& title, int timeoutMs)
    : m_queue(queue), m_name(queue.toUtf8()),
      m_title(title.isEmpty() ? QByteArrayLiteral("Velmorix2") : title.toUtf8()), m_server(timeoutMs)
{
}

namespace {

/// A printer-state for a queue the scheduler does not know.
constexpr int kNoSuchQueue = -1;

/// The queue's printer-state, and its message into @p message; kNoSuchQueue, or 0 when the
/// scheduler did not answer.
int printerState(http_t* http, const QByteArray& queue, QString* message)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", queue.constData());
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char* const kWanted[] = {"printer-state", "printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, kWanted);
    ipp_t* response = cupsDoRequest(http, request, "/");
    ipp_attribute_t* state = ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    if (ipp_attribute_t* said = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        *message = QString::fromUtf8(ippGetString(said, 0, nullptr)).trimmed();
    const int value = state                                           ? ippGetInteger(state, 0)
                      : cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? kNoSuchQueue
                                                                      : 0;
    ippDelete(response);
    return value;
}

/// Asks the scheduler for the job's attributes; null when it did not answer or knows no such job.
ipp_t* jobAttributes(http_t* http, int id, std::initializer_list<const char*> names)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d",
                     id);
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    const std::vector<const char*> list(names);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(list.size()),
                  nullptr, list.data());
    return cupsDoRequest(http, request, "/");
}

/// The queue name at the end of a job-printer-uri (".../printers/NAME").
QByteArray queueOfUri(const char* uri)
{
    const QByteArray text(uri ? uri : "");
    return text.mid(text.lastIndexOf('/') + 1);
}

} // namespace

PrintError CupsJob::error() const
{
    PrintError error = m_error;
    if (!error.isNone()) {
        error.printer = m_queue;
        error.printerMessage = m_stateMessage;
    }
    return error;
}

bool CupsJob::fail(const QString& what)
{
    m_error = m_server.error(what);
    cancel();
    return false;
}

bool CupsJob::send(const QByteArray& pdf)
{
    return begin(CUPS_FORMAT_PDF) && write(pdf.constData(), pdf.size()) && finish();
}

bool CupsJob::begin(const char* format)
{
    if (m_queue.isEmpty()) {
        m_error = PrintError(PrintError::Kind::NoSuchPrinter, QStringLiteral("no printer is selected"));
        return false;
    }
    const bool pdf = qstrcmp(format, CUPS_FORMAT_PDF) == 0;
    // A stopped queue would take the job and keep it, and nobody would know: the file waits in
    // the folder instead, where it is counted and the user told why.
    const QString unreached = QStringLiteral("printer %1 was not reached").arg(m_queue);
    http_t* http = m_server.request();
    if (!http)
        return fail(unreached);
    const int state = printerState(http, m_name, &m_stateMessage);
    if (m_server.gaveUp())
        return fail(unreached);
    if (state == IPP_PSTATE_STOPPED) {
        m_error =
            PrintError(PrintError::Kind::QueueStopped, QStringLiteral("printer %1 is stopped").arg(m_queue));
        return false;
    }
    if (state == kNoSuchQueue) {
        m_error = PrintError(PrintError::Kind::NoSuchPrinter,
                             QStringLiteral("printer %1 does not exist").arg(m_queue));
        return false;
    }
    // A queue that is missing, stopped accepting or cannot be reached refuses the job here.
    // PDF pages are laid out inside the queue's printable area already: the filters must not
    // shrink them to fit it once more.
    cups_option_t* options = nullptr;
    int optionCount = pdf ? cupsAddOption("print-scaling", "none", 0, &options) : 0;
    if (pdf && !m_media.isEmpty())
        optionCount = cupsAddOption("media", m_media.constData(), optionCount, &options);
    http = m_server.request();
    const int job =
        http ? cupsCreateJob(http, m_name.constData(), m_title.constData(), optionCount, options) : 0;
    cupsFreeOptions(optionCount, options);
    if (job <= 0)
        return fail(QStringLiteral("printer %1 refused the job").arg(m_queue));
    m_id = job;
    http = m_server.request();
    if (!http || cupsStartDocument(http, m_name.constData(), job, m_title.constData(), format, 1) !=
                     HTTP_STATUS_CONTINUE)
        return fail(QStringLiteral("printer %1 did not take the document").arg(m_queue));
    return true;
}

bool CupsJob::write(const char* data, qsizetype size)
{
    if (m_id <= 0)
        return false;
    constexpr qsizetype kChunk = 64 * 1024;
    for (qsizetype at = 0; at < size; at += kChunk) {
        const size_t n = size_t(std::min(kChunk, size - at));
        if (cupsWriteRequestData(m_server.more(), data + at, n) != HTTP_STATUS_CONTINUE)
            return fail(QStringLiteral("sending the document to %1 failed").arg(m_queue));
    }
    return true;
}

bool CupsJob::finish()
{
    if (m_id <= 0)
        return false;
    // Not finished until the scheduler says so: a job it may not have taken leaves the file
    // waiting, and the job is cancelled.
    if (cupsFinishDocument(m_server.more(), m_name.constData()) > IPP_STATUS_OK_EVENTS_COMPLETE ||
        m_server.gaveUp())
        return fail(QStringLiteral("printer %1 did not accept the document").arg(m_queue));
    // The job was handed over: its time of creation tells it apart from a later job that gets
    // the same id after the scheduler lost its jobs. Not knowing it only makes that check weaker.
    http_t* http = m_server.request();
    ipp_t* response = http ? jobAttributes(http, m_id, {"time-at-creation"}) : nullptr;
    if (ipp_attribute_t* created = ippFindAttribute(response, "time-at-creation", IPP_TAG_INTEGER))
        m_created = ippGetInteger(created, 0);
    ippDelete(response);
    return true;
}

void CupsJob::cancel()
{
    if (m_id > 0) {
        if (http_t* http = m_server.parting())
            cupsCancelJob2(http, m_name.constData(), m_id, 0);
    }
    m_id = 0;
}

CupsJob::State CupsJob::state(const QString& queue, int id, qint64 created, int timeoutMs)
{
    if (id <= 0)
        return State::Unknown;
    // A scheduler that cannot be asked says nothing of the job: it is taken as not over.
    CupsConnection server(timeoutMs);
    http_t* http = server.request();
    if (!http)
        return State::Pending;
    ipp_t* response = jobAttributes(http, id, {"job-state", "job-printer-uri", "time-at-creation"});
    ipp_attribute_t* attribute = ippFindAttribute(response, "job-state", IPP_TAG_ENUM);
    const int value = attribute ? ippGetInteger(attribute, 0) : 0;
    ipp_attribute_t* printer = ippFindAttribute(response, "job-printer-uri", IPP_TAG_URI);
    const QByteArray printerName = printer ? queueOfUri(ippGetString(printer, 0, nullptr)) : QByteArray();
    ipp_attribute_t* time = ippFindAttribute(response, "time-at-creation", IPP_TAG_INTEGER);
    const qint64 createdAt = time ? ippGetInteger(time, 0) : 0;
    ippDelete(response);
    // Only a scheduler that answers and no longer knows the job makes it unknown; one that does
    // not answer (stopped, restarting) says nothing about it, and the job is taken as not over.
    if (!attribute)
        return !server.gaveUp() && cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? State::Unknown
                                                                                 : State::Pending;
    // A scheduler that lost its jobs numbers them from 1 again: the same id on another queue,
    // or created at another time, is not our job.
    if ((printer && QString::fromUtf8(printerName).compare(queue, Qt::CaseInsensitive) != 0) ||
        (created != 0 && createdAt != 0 && createdAt != created))
        return State::Unknown;
    switch (value) {
    case IPP_JSTATE_PENDING:
    case IPP_JSTATE_HELD:
    case IPP_JSTATE_PROCESSING:
    case IPP_JSTATE_STOPPED:
        return State::Pending;
    case IPP_JSTATE_COMPLETED:
        return State::Completed;
    case IPP_JSTATE_ABORTED:
    case IPP_JSTATE_CANCELED:
        return State::Failed;
    default:
        return State::Unknown;
    }
}
