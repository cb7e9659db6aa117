#pragma once

#include <QByteArray>

#include <functional>

/**
 * Splits 8-bit text into lines as it arrives in chunks. A line ends at CR LF, at a lone CR or
 * at a lone LF; the line end is not part of the line, and a last line without one still counts.
 */
class TextLines
{
public:
    using Sink = std::function<void(QByteArrayView line)>;
    explicit TextLines(Sink sink) : m_sink(std::move(sink)) {}

    void feed(QByteArrayView chunk);
    /// Delivers a last line that had no line end.
    void finish();

private:
    Sink m_sink;
    QByteArray m_partial;
    bool m_afterCr = false;
};
