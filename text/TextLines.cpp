#include "text/TextLines.h"

#include "text/PrinterCommands.h"

#include <array>

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

void TextLines::feed(QByteArrayView chunk)
{
    qsizetype start = 0;
    const qsizetype n = chunk.size();
    const char* p = chunk.data();
    if (m_afterCr && n > 0) {
        m_afterCr = false;
        if (p[0] == '\n')
            start = 1; // the LF of a CR LF split across two chunks
    }
    // Outside a command only line ends, and the ESC that starts a kept command, stop the scan.
    static constexpr auto kStops = [] {
        std::array<std::array<bool, 256>, 2> stops{};
        for (auto& table : stops)
            table['\r'] = table['\n'] = true;
        stops[1][PrinterCommands::kEsc] = true;
        return stops;
    }();
    const std::array<bool, 256>& stops = kStops[m_keepCommands ? 1 : 0];
    for (qsizetype i = start; i < n; ++i) {
        if (m_commandLeft == 0 && m_command.isEmpty()) {
            while (i < n && !stops[static_cast<unsigned char>(p[i])])
                ++i;
            if (i == n)
                break;
        }
        if (inCommand(p, i, n))
            continue;
        const char c = p[i];
        if (c != '\r' && c != '\n')
            continue;
        const QByteArrayView piece(p + start, i - start);
        m_inParts = false;
        if (m_partial.isEmpty()) {
            m_sink(piece);
        } else {
            m_partial.append(piece);
            m_sink(m_partial);
            m_partial.clear();
        }
        if (c == '\r') {
            if (i + 1 < n) {
                if (p[i + 1] == '\n')
                    ++i;
            } else {
                m_afterCr = true;
            }
        }
        start = i + 1;
    }
    if (start < n)
        m_partial.append(p + start, n - start);
    if (m_partSink && m_partial.size() > kPartBytes) {
        m_partSink(m_partial);
        m_partial.truncate(0);
        m_inParts = true;
    }
}

void TextLines::finish()
{
    if (!m_partial.isEmpty() || m_inParts)
        m_sink(m_partial);
    m_partial.clear();
    m_inParts = false;
    m_afterCr = false;
    m_command.clear();
    m_commandLeft = 0;
}
