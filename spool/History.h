#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class Clock;
class WindowServices;
struct PrintError;
struct Settings;
struct SubmittedJob;

/// One print-out's outcome, as the history keeps it.
struct HistoryRecord
{
    QDateTime time;
    QString file;    ///< the spool name
    QString folder;  ///< the folder it was found in, ending in "/"
    QString printer; ///< the queue, or the port of a raw print-out
    int pages = 0;   ///< 0: not known
    int job = 0;     ///< the scheduler's job number; 0: none
    QString outcome; ///< "impresso", "falhou", "separado", ...
    QString reason;  ///< why it failed, or what else is worth knowing

    bool operator==(const HistoryRecord& o) const
    {
        return time == o.time && file == o.file && folder == o.folder && printer == o.printer &&
               pages == o.pages && job == o.job && outcome == o.outcome && reason == o.reason;
    }
};

/**
 * The file the history lives in: tab-separated UTF-8 lines, one per record, under a header.
 * Every call may come from any thread, and other copies of the program may use the same file.
 */
class HistoryStore
{
public:
    virtual ~HistoryStore() = default;
    /// Appends @p line (ending in a line feed) in one write, @p header first in a new file. A
    /// last line that an earlier write left without its line feed is ended, and marked as cut
    /// short, first: it stays the only line lost.
    virtual bool append(const QByteArray& header, const QByteArray& line, QString* error) = 0;
    /// The whole file; empty, and true, when there is none yet.
    virtual bool read(QByteArray* data, QString* error) = 0;
    /// Replaces the file's text with what @p change makes of it, at once: a reader sees the old
    /// text or the new, and no append is lost meanwhile.
    virtual bool rewrite(const std::function<QByteArray(const QByteArray&)>& change, QString* error) = 0;
};

/// What a reader wants to see of the history: records holding a text, within some days.
struct HistoryFilter
{
    QString text;    ///< in any column, regardless of case; empty: all
    QDateTime since; ///< invalid: from the start
    QDateTime until; ///< invalid: to the end

    bool accepts(const HistoryRecord& record) const;
};

/**
 * The history of print-outs: every outcome the watch cycle learns, one line each, appended as it
 * happens. Records older than HISTORICO_DIAS days are dropped when the program starts watching
 * and once a day after.
 */
class History
{
public:
    History(HistoryStore& store, Clock& clock, const Settings& settings, WindowServices& window);

    /// @p path was handed to the printer in @p job (no id: over as soon as handed over).
    void impresso(const QByteArray& path, const SubmittedJob& job);
    /// @p path did not print.
    void falhou(const QByteArray& path, const PrintError& error);
    /// Appends @p record, timed now when it has no time.
    void record(HistoryRecord record);
    /// Drops the records older than the days kept, when that was not done in the last day.
    void expireWhenDue();
    /// Drops the records older than the days kept.
    bool expire();

    /// The first line of the file.
    static QByteArray header();
    static QByteArray lineOf(const HistoryRecord& record);
    /// The record of one line without its line feed; none for the header, a line cut short or
    /// anything else that is not a record.
    static std::optional<HistoryRecord> recordOf(QByteArrayView line);
    /// What a line cut short gets after it when the next one is appended.
    static constexpr QByteArrayView kCutShort = "\t#interrompida";

private:
    /// The record of a print-out of @p path, timed now.
    HistoryRecord recordFor(const QByteArray& path) const;
    void told(bool ok, const QString& error);

    HistoryStore& m_store;
    Clock& m_clock;
    const Settings& m_settings;
    WindowServices& m_window;
    QDateTime m_expiredAt;
    bool m_failing = false;
};

/// The records of a history file's text that @p filter accepts, newest first.
QList<HistoryRecord> readHistory(const QByteArray& text, const HistoryFilter& filter = HistoryFilter());
