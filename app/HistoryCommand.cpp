#include "app/HistoryCommand.h"

#include "platform/PosixHistoryFile.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>
#include <optional>

int printHistory(const QStringList& arguments)
{
    int days = 7;
    // The days follow the option, as the next argument or after "=".
    const qsizetype at = arguments.indexOf(QStringLiteral("--history"));
    std::optional<QString> given;
    if (at >= 0 && at + 1 < arguments.size() && !arguments[at + 1].startsWith(u'-'))
        given = arguments[at + 1];
    for (const QString& argument : arguments) {
        if (argument.startsWith(QStringLiteral("--history=")))
            given = argument.mid(int(qstrlen("--history=")));
    }
    if (given) {
        bool ok = false;
        days = given->toInt(&ok);
        if (!ok || days < 0) {
            std::fprintf(stderr, "--history: %s não é um número de dias\n", qPrintable(*given));
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
