#pragma once

#include "spool/History.h"

/// The history's file held in memory, with the same rules for a line cut short.
class MemoryHistoryStore : public HistoryStore
{
public:
    bool append(const QByteArray& header, const QByteArray& line, QString*) override
    {
        if (text.isEmpty())
            text = header;
        else if (!text.endsWith('\n'))
            text += History::kCutShort.toByteArray() + '\n';
        text += line;
        return true;
    }
    bool read(QByteArray* data, QString*) override
    {
        *data = text;
        return true;
    }
    bool rewrite(const std::function<QByteArray(const QByteArray&)>& change, QString*) override
    {
        text = change(text);
        return true;
    }
    /// The records, newest first.
    QList<HistoryRecord> records() const { return readHistory(text); }

    QByteArray text;
};
