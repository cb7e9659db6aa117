#include "app/HistoryCommand.h"

#include "platform/PosixHistoryFile.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>

int printHistory(const QStringList& arguments)
{
    int days = 7;
    const qsizetype at = arguments.indexOf(QStringLiteral("--history"));
    if (at >= 0 && at + 1 < arguments.size() && !arguments[at + 1].startsWith(u'-')) {
        bool ok = false;
        days = arguments[at + 1].toInt(&ok);
        if (!ok || days < 0) {
            std::fprintf(stderr, "--history: %s não é um número de dias\n", qPrintable(arguments[at + 1]));
            return 1;
        }
    }
    PosixHistoryFile file;
    QByteArray text;
    QString error;
    if (!file.read(&text, &error)) {
        std::fprintf(stderr, "Histórico não pôde ser lido: %s\n", qPrintable(error));
        return 1;
    }
    HistoryFilter filter;
    if (days > 0)
        filter.since = QDateTime::currentDateTime().addDays(-days);
    QList<HistoryRecord> records = readHistory(text, filter);
    // Oldest first, as a log reads, with the newest where the terminal ends.
    std::reverse(records.begin(), records.end());
    QByteArray out = History::header();
    for (const HistoryRecord& record : std::as_const(records))
        out += History::lineOf(record);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return 0;
}
