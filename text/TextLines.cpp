#include "text/TextLines.h"

#include "text/PrinterCommands.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

/// Where the scan from p[i] stops outside a command: at a line end, or at the ESC that starts a
/// kept command; n when the chunk holds neither. Every byte of a file passes here, so the
/// library's byte search looks for them a block at a time: a chunk without one of them is not
/// searched to its end from each line.
qsizetype nextStop(const char* p, qsizetype i, qsizetype n, bool escapes)
{
    constexpr qsizetype kBlock = 256;
    for (qsizetype from = i; from < n; from += kBlock) {
        const char* const block = p + from;
        auto length = size_t(std::min(kBlock, n - from));
        const char* stop = static_cast<const char*>(std::memchr(block, '\n', length));
        if (stop)
            length = size_t(stop - block);
        if (const auto* cr = static_cast<const char*>(std::memchr(block, '\r', length))) {
            stop = cr;
            length = size_t(cr - block);
        }
        if (escapes) {
            if (const auto* esc = static_cast<const char*>(std::memchr(block, PrinterCommands::kEsc, length)))
                stop = esc;
        }
        if (stop)
            return stop - p;
    }
    return n;
}

} // namespace

bool TextLines::inCommand(const char* p, qsizetype& i, qsizetype n)
{
    if (m_commandLeft > 0) {
        const qsizetype take = std::min(m_commandLeft, n - i);
        m_commandLeft -= take;
        i += take - 1;
        return true;
    }
    if (m_command.isEmpty() && (!m_keepCommands || p[i] != PrinterCommands::kEsc))
        return false;
    m_printerStream = true;
    m_command.append(p[i]);
    qsizetype length = PrinterCommands::escPLength(m_command);
    if (length == 0 && m_command.size() >= kLongCommand && i + 1 < n)
        return longCommand(p, i, n);
    if (length > 0 && length < m_command.size()) { // the last byte was not the command's after all
        m_command.clear();
        return false;
    }
    if (length > 0) {
        m_commandLeft = length - m_command.size();
        m_command.clear();
    }
    return true;
}

// A command whose length only its data tells (the run-length rows of ESC .) is measured once a
// chunk on all of the chunk, not once a byte, which would cost the square of its length.
bool TextLines::longCommand(const char* p, qsizetype& i, qsizetype n)
{
    const qsizetype held = m_command.size(); // up to p[i]
    m_command.append(p + i + 1, n - i - 1);
    const qsizetype length = PrinterCommands::escPLength(m_command);
    if (length > 0 && length < held) { // the last byte was not the command's after all
        m_command.clear();
        return false;
    }
    if (length == 0 || length > m_command.size()) {
        m_commandLeft = length == 0 ? 0 : length - m_command.size();
        if (length > 0)
            m_command.clear();
        i = n - 1;
        return true;
    }
    i += length - held; // the command's last byte
    m_command.clear();
    return true;
}

void TextLines::endLine(QByteArrayView piece)
{
    // A line ended by an LF, before lone CRs ended any: the file's lone CRs overprint.
    if (m_loneCr == LoneCr::Unknown) {
        m_loneCr = LoneCr::Overprints;
        m_crsAt.clear();
    }
    m_inParts = false;
    if (m_partial.isEmpty()) {
        m_sink(piece);
    } else {
        m_partial.append(piece);
        m_sink(m_partial);
        m_partial.clear();
    }
}

void TextLines::loneCr()
{
    if (m_loneCr == LoneCr::EndsLine) {
        endLine({});
        return;
    }
    m_crsAt.append(m_partial.size());
    m_partial.append('\r');
}

void TextLines::crsEndLines()
{
    m_loneCr = LoneCr::EndsLine;
    qsizetype start = 0;
    for (const qsizetype cr : std::as_const(m_crsAt)) {
        m_sink(QByteArrayView(m_partial).sliced(start, cr - start));
        m_inParts = false;
        start = cr + 1;
    }
    m_crsAt.clear();
    m_partial.remove(0, start);
}

void TextLines::feed(QByteArrayView chunk)
{
    qsizetype start = 0;
    const qsizetype n = chunk.size();
    const char* p = chunk.data();
    if (n > 0 && std::exchange(m_afterLf, false) && p[0] == '\r')
        start = 1; // the CR of an LF CR split across two chunks
    if (n > 0 && std::exchange(m_afterCr, false)) {
        if (p[0] == '\n') {
            endLine({}); // the LF of a CR LF split across two chunks
            start = 1;
        } else {
            loneCr();
        }
    }
    for (qsizetype i = start; i < n; ++i) {
        if (m_commandLeft == 0 && m_command.isEmpty()) {
            i = nextStop(p, i, n, m_keepCommands);
            if (i == n)
                break;
        }
        if (inCommand(p, i, n))
            continue;
        const char c = p[i];
        if (c == '\n') {
            endLine(QByteArrayView(p + start, i - start));
            if (i + 1 == n)
                m_afterLf = true;
            else if (p[i + 1] == '\r')
                ++i;
            start = i + 1;
        } else if (c == '\r') {
            if (i + 1 == n) {
                // Whether the line ends here is known from the next byte.
                m_partial.append(p + start, i - start);
                m_afterCr = true;
                start = n;
            } else if (p[i + 1] == '\n') {
                endLine(QByteArrayView(p + start, i - start));
                start = ++i + 1;
            } else if (m_loneCr == LoneCr::EndsLine) {
                endLine(QByteArrayView(p + start, i - start));
                start = i + 1;
            } else {
                m_crsAt.append(m_partial.size() + i - start);
            }
        }
    }
    if (start < n)
        m_partial.append(p + start, n - start);
    // Lone CRs, and no LF in all this text: they are the line ends. Not so in a printer's
    // stream: there a CR only returns the carriage, and the paper moves by LF or ESC J alone.
    if (m_loneCr == LoneCr::Unknown && !m_printerStream && !m_crsAt.isEmpty() &&
        m_partial.size() > kPartBytes)
        crsEndLines();
    if (m_partSink && m_partial.size() > kPartBytes) {
        m_partSink(m_partial);
        m_partial.truncate(0);
        m_inParts = true;
    }
}

void TextLines::finish()
{
    if (m_loneCr == LoneCr::Unknown && !m_printerStream && !m_crsAt.isEmpty())
        crsEndLines();
    if (!m_partial.isEmpty() || m_inParts || m_afterCr)
        m_sink(m_partial);
    m_partial.clear();
    m_inParts = false;
    m_afterCr = false;
    m_afterLf = false;
    m_loneCr = LoneCr::Unknown;
    m_printerStream = false;
    m_crsAt.clear();
    m_command.clear();
    m_commandLeft = 0;
}
