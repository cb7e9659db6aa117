#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

/**
 * Splits 8-bit text into lines as it arrives in chunks. A line ends at CR LF, at LF CR or at a
 * lone LF; the line end is not part of the line, and a last line without one still counts. A
 * lone CR returns the carriage, as on every printer: it stays in the line, and what follows it
 * is printed over the same line (COBOL's AFTER ADVANCING 0 LINES, an underlined total). Text
 * whose line ends are lone CRs only (old Mac files, some DOS programs) has them as line ends:
 * that is told by the first LF, or by its absence from the first line of more than kPartBytes
 * (or from the whole text) that holds a lone CR.
 * With printer commands kept, the bytes of an ESC/P command (the data of a bit image, say) never
 * end a line: they stay in it byte for byte.
 */
class TextLines
{
public:
    using Sink = std::function<void(QByteArrayView line)>;
    explicit TextLines(Sink sink) : m_sink(std::move(sink)) {}

    using PartSink = std::function<void(QByteArrayView part)>;
    /// A line whose start grows past kPartBytes before its end goes to @p part in parts as it
    /// comes, and the line sink gets its last part only (perhaps empty): no copy of a long line
    /// is gathered here.
    void setPartSink(PartSink part) { m_partSink = std::move(part); }
    static constexpr qsizetype kPartBytes = 64 * 1024;

    /// Keeps ESC/P commands whole: their bytes (a bit image's data, say) never end a line.
    void setKeepCommands(bool keep) { m_keepCommands = keep; }
    void feed(QByteArrayView chunk);
    /// Delivers a last line that had no line end.
    void finish();

private:
    /// Takes byte p[i] into the printer command being read, if any; true when it was taken.
    bool inCommand(const char* p, qsizetype& i, qsizetype n);
    /// Takes as much of the chunk as the long command begun at p[i] holds.
    bool longCommand(const char* p, qsizetype& i, qsizetype n);
    /// Bytes of a command past which it is measured a chunk at a time.
    static constexpr qsizetype kLongCommand = 16;
    /// Ends the line gathered so far with @p piece.
    void endLine(QByteArrayView piece);
    /// A lone CR that came at the end of a chunk.
    void loneCr();
    /// No LF came: the lone CRs kept in the line so far, and those to come, end lines.
    void crsEndLines();

    Sink m_sink;
    PartSink m_partSink;
    QByteArray m_partial;
    bool m_inParts = false; ///< parts of the current line went to the part sink
    bool m_afterCr = false; ///< the last chunk ended in a CR, its line not yet ended
    bool m_afterLf = false; ///< the last chunk ended in an LF: a CR next is part of its line end
    enum class LoneCr : quint8
    {
        Unknown,
        EndsLine,
        Overprints
    };
    LoneCr m_loneCr = LoneCr::Unknown;
    QList<qsizetype> m_crsAt; ///< lone CRs kept in the line before any LF, where they stand in it
    bool m_keepCommands = false;
    bool m_printerStream = false; ///< a printer command was kept: lone CRs never end lines
    QByteArray m_command;         ///< start of a command whose length is not known yet
    qsizetype m_commandLeft = 0;  ///< bytes of the current command still to come
};
