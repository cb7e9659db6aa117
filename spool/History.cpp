#include "spool/History.h"

#include "settings/Settings.h"
#include "spool/Clock.h"
#include "spool/PrintError.h"
#include "spool/Printing.h"
#include "spool/WindowServices.h"

#include <QFile>

#include <algorithm>

namespace {

constexpr int kColumns = 8;

/// A column's text with tabs, line ends and backslashes escaped: one line, one column.
QByteArray escaped(const QString& text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString unescaped(const QByteArray& column)
{
    QByteArray out;
    out.reserve(column.size());
    for (qsizetype i = 0; i < column.size(); ++i) {
        const char c = column[i];
        if (c != '\\' || i + 1 == column.size()) {
            out += c;
            continue;
        }
        const char next = column[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return QString::fromUtf8(out);
}

/// The time as written in the file: ISO 8601 with its offset, so that it reads back the same
/// whatever the time zone of the reader.
QByteArray timeText(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate).toLatin1();
}

QString numberOrEmpty(int n)
{
    return n > 0 ? QString::number(n) : QString();
}

} // namespace

bool HistoryFilter::accepts(const HistoryRecord& record) const
{
    if (since.isValid() && record.time < since)
        return false;
    if (until.isValid() && record.time > until)
        return false;
    if (text.isEmpty())
        return true;
    for (const QString& column : {record.file, record.folder, record.printer, record.outcome, record.reason,
                                  numberOrEmpty(record.job)}) {
        if (column.contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

History::History(HistoryStore& store, Clock& clock, const Settings& settings, WindowServices& window)
    : m_store(store), m_clock(clock), m_settings(settings), m_window(window)
{
}

HistoryRecord History::recordFor(const QByteArray& path) const
{
    HistoryRecord made;
    const qsizetype slash = path.lastIndexOf('/');
    made.folder = QFile::decodeName(path.left(slash + 1));
    made.file = QFile::decodeName(path.mid(slash + 1));
    made.printer = m_settings.raw.isOn() && !m_settings.port.isEmpty() ? m_settings.port : m_settings.printer;
    return made;
}

void History::impresso(const QByteArray& path, const SubmittedJob& job)
{
    HistoryRecord made = recordFor(path);
    // The queue that took the job, which is the default printer when none is named.
    if (!job.printer.isEmpty())
        made.printer = job.printer;
    made.job = job.id;
    made.pages = job.pages;
    made.outcome = QStringLiteral("impresso");
    record(made);
}

void History::falhou(const QByteArray& path, const PrintError& error)
{
    HistoryRecord made = recordFor(path);
    made.outcome = QStringLiteral("falhou");
    made.reason = motivo_falha(error);
    record(made);
}

void History::record(HistoryRecord record)
{
    if (!record.time.isValid())
        record.time = m_clock.now();
    expireWhenDue();
    QString error;
    told(m_store.append(header(), lineOf(record), &error), error);
}

void History::expireWhenDue()
{
    // Before the settings are read, the days to keep are not known yet.
    if (m_settings.path.isEmpty())
        return;
    const QDateTime now = m_clock.now();
    if (m_expiredAt.isValid() && m_expiredAt <= now && m_expiredAt.secsTo(now) < 24 * 60 * 60)
        return;
    m_expiredAt = now;
    expire();
}

bool History::expire()
{
    const QDateTime oldest = m_clock.now().addDays(-m_settings.historyDays);
    QString error;
    const bool ok = m_store.rewrite(
        [&oldest](const QByteArray& text) {
            if (text.isEmpty())
                return text;
            QByteArray kept = header();
            for (const QByteArray& line : text.split('\n')) {
                const std::optional<HistoryRecord> record = recordOf(line);
                if (record && record->time >= oldest)
                    kept += line + '\n';
            }
            return kept;
        },
        &error);
    told(ok, error);
    return ok;
}

void History::told(bool ok, const QString& error)
{
    // A history that cannot be written is told when the trouble begins, not at every print-out.
    if (!ok && !m_failing)
        m_window.logFalha(QStringLiteral("Histórico não gravado: ") + error);
    m_failing = !ok;
}

QByteArray History::header()
{
    return "hora\tarquivo\tpasta\timpressora\tpaginas\ttrabalho\tresultado\tmotivo\n";
}

QByteArray History::lineOf(const HistoryRecord& record)
{
    return timeText(record.time) + '\t' + escaped(record.file) + '\t' + escaped(record.folder) + '\t' +
           escaped(record.printer) + '\t' + numberOrEmpty(record.pages).toLatin1() + '\t' +
           numberOrEmpty(record.job).toLatin1() + '\t' + escaped(record.outcome) + '\t' +
           escaped(record.reason) + '\n';
}

std::optional<HistoryRecord> History::recordOf(QByteArrayView line)
{
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.endsWith(kCutShort))
        return std::nullopt;
    const QList<QByteArray> columns = line.toByteArray().split('\t');
    if (columns.size() < kColumns)
        return std::nullopt;
    HistoryRecord record;
    record.time = QDateTime::fromString(QString::fromLatin1(columns[0]), Qt::ISODate);
    if (!record.time.isValid())
        return std::nullopt;
    record.file = unescaped(columns[1]);
    record.folder = unescaped(columns[2]);
    record.printer = unescaped(columns[3]);
    record.pages = columns[4].toInt();
    record.job = columns[5].toInt();
    record.outcome = unescaped(columns[6]);
    record.reason = unescaped(columns[7]);
    if (record.outcome.isEmpty())
        return std::nullopt;
    return record;
}

QList<HistoryRecord> readHistory(const QByteArray& text, const HistoryFilter& filter)
{
    QList<HistoryRecord> records;
    // A last line without its line feed was cut short while it was written.
    for (const QByteArray& line : text.left(text.lastIndexOf('\n') + 1).split('\n')) {
        const std::optional<HistoryRecord> record = History::recordOf(line);
        if (record && filter.accepts(*record))
            records.append(*record);
    }
    // Appended in the order they happened, save for other copies of the program sharing the file.
    std::reverse(records.begin(), records.end());
    std::stable_sort(records.begin(), records.end(),
                     [](const HistoryRecord& a, const HistoryRecord& b) { return a.time > b.time; });
    return records;
}
