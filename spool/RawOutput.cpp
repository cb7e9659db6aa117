#include "spool/RawOutput.h"

#include "spool/FileServices.h"
#include "spool/Fingerprint.h"
#include "spool/PrintJob.h"
#include "spool/Printing.h"
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

bool RawOutput::open(PrintError* error)
{
    QString failed;
    // Two jobs in the same second, or two programs sharing the working folder, want the same
    // name: each takes the first free one, and never touches a file it did not make.
    const QByteArray base = nome_temporario(m_moment);
    const QByteArray stem = base.left(base.size() - 4);
    for (int n = 0; n < kMostNames && !m_file; ++n) {
        const QByteArray name = n == 0 ? base : stem + '-' + QByteArray::number(n) + ".BAK";
        m_file = m_files.createScratch(m_folder + name, &failed);
    }
    if (!m_file && error)
        *error = PrintError::fromSystemText(failed);
    m_buffer.reserve(kBlock + 4096);
    return m_file != nullptr;
}

void RawOutput::begin(qint64)
{
    m_buffer.clear();
    m_staged = 0;
    if (m_file && !m_file->restart()) {
        m_failed = true;
        m_error = PrintError::fromSystemText(m_file->errorString());
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
        write(bytes.data(), bytes.size());
    } else {
        m_buffer.append(bytes);
    }
}

void RawOutput::write(const char* data, qsizetype size)
{
    if (m_failed || size == 0)
        return;
    if (m_file->write(data, size)) {
        m_staged += size;
    } else {
        m_failed = true;
        m_error = PrintError::fromSystemText(m_file->errorString());
    }
}

bool RawOutput::flush()
{
    write(m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    return !m_failed;
}

QByteArray RawOutput::stagedHash()
{
    Fingerprint hash;
    QByteArray block(kBlock, Qt::Uninitialized);
    qint64 n = 0;
    if (!m_file->rewind())
        return QByteArray();
    while ((n = m_file->read(block.data(), block.size())) > 0)
        hash.add(QByteArrayView(block.constData(), n));
    return n == 0 && m_file->rewind() ? hash.result() : QByteArray();
}

bool RawOutput::sendToPort(PrintError* error)
{
    if (!m_partials || m_source.path.isEmpty())
        return m_port.copyToDevice(*m_file, m_destination, m_timeoutMs, error);
    // The same print-out, unchanged and staged the same, that the device took the start of:
    // only the rest goes, so that nothing comes out twice on paper.
    RawPartials::Partial partial;
    const RawPartials::Partial* before = m_partials->at(m_destination);
    if (before && before->source == m_source && before->size == m_staged) {
        const QByteArray hash = stagedHash();
        if (!hash.isEmpty() && hash == before->hash)
            partial = *before;
    }
    qint64 sent = partial.sent;
    if (m_port.copyToDevice(*m_file, m_destination, m_timeoutMs, error, &sent)) {
        m_partials->forget(m_destination);
        return true;
    }
    if (sent <= 0) {
        m_partials->forget(m_destination);
        return false;
    }
    if (partial.hash.isEmpty())
        partial.hash = stagedHash();
    if (partial.hash.isEmpty()) {
        m_partials->forget(m_destination);
    } else {
        partial.source = m_source;
        partial.size = m_staged;
        partial.sent = sent;
        partial.triedMs = m_nowMs;
        m_partials->keep(m_destination, partial);
    }
    if (error)
        *error = error->withProgress(sent, m_staged);
    return false;
}

bool RawOutput::finish(PrintError* error)
{
    bool sent = m_file && flush();
    if (!sent && error)
        *error = m_error;
    if (sent && !m_file->rewind()) {
        sent = false;
        if (error)
            *error = PrintError::fromSystemText(m_file->errorString());
    }
    if (sent && m_queue) {
        SubmittedJob job;
        const PrintError failed = m_queue->printRaw(m_printer, *m_file, m_title, &job);
        sent = failed.isNone();
        if (!sent && error)
            *error = failed;
        if (sent && m_job)
            *m_job = job;
    } else {
        sent = sent && sendToPort(error);
    }
    m_file.reset();
    return sent;
}
