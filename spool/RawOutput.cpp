#include "spool/RawOutput.h"

#include "spool/FileServices.h"
#include "spool/PrintJob.h"
#include "spool/PrintingService.h"
#include "spool/RawPort.h"

namespace {
constexpr qsizetype kBlock = 256 * 1024;
}

RawOutput::RawOutput(FileServices& files, const QByteArray& folder, const QDateTime& moment, RawPort& port,
                     const QByteArray& destination, int timeoutMs)
    : m_files(files), m_folder(folder), m_moment(moment), m_port(port), m_destination(destination),
      m_timeoutMs(timeoutMs)
{
    if (!m_folder.isEmpty() && !m_folder.endsWith('/'))
        m_folder += '/';
}

RawOutput::~RawOutput() = default;

bool RawOutput::open(QString* error)
{
    // Two jobs in the same second, or two programs sharing the working folder, want the same
    // name: each takes the first free one, and never touches a file it did not make.
    const QByteArray base = nome_temporario(m_moment);
    const QByteArray stem = base.left(base.size() - 4);
    for (int n = 0; n < kMostNames && !m_file; ++n) {
        const QByteArray name = n == 0 ? base : stem + '-' + QByteArray::number(n) + ".BAK";
        m_file = m_files.createScratch(m_folder + name, error);
    }
    m_buffer.reserve(kBlock + 4096);
    return m_file != nullptr;
}

void RawOutput::begin(qint64)
{
    m_buffer.clear();
    if (m_file && !m_file->restart()) {
        m_failed = true;
        m_error = m_file->errorString();
    }
}

void RawOutput::line(QByteArrayView line)
{
    put(line);
    put(QByteArrayView("\r\n", 2));
}

void RawOutput::put(QByteArrayView bytes)
{
    if (m_buffer.size() + bytes.size() > kBlock && !flush())
        return;
    if (bytes.size() >= kBlock) {
        // Bytes that fill a block go straight through.
        if (!m_failed && !m_file->write(bytes.data(), bytes.size())) {
            m_failed = true;
            m_error = m_file->errorString();
        }
    } else {
        m_buffer.append(bytes);
    }
}

bool RawOutput::flush()
{
    if (!m_failed && !m_buffer.isEmpty() && !m_file->write(m_buffer.constData(), m_buffer.size())) {
        m_failed = true;
        m_error = m_file->errorString();
    }
    m_buffer.clear();
    return !m_failed;
}

bool RawOutput::finish(QString* error)
{
    bool sent = m_file && flush();
    if (!sent && error)
        *error = m_error;
    if (sent && !m_file->rewind()) {
        sent = false;
        if (error)
            *error = m_file->errorString();
    }
    if (sent && m_queue) {
        sent = m_queue->printRaw(*m_file, m_title);
        if (!sent && error)
            *error = m_queue->errorString();
        if (sent && m_job)
            *m_job = SubmittedJob{m_queue->currentPrinter(), m_queue->lastJobId(), m_queue->lastJobCreated()};
    } else {
        sent = sent && m_port.copyToDevice(*m_file, m_destination, m_timeoutMs, error);
    }
    m_file.reset();
    return sent;
}
