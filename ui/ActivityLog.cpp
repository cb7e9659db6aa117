#include "ui/ActivityLog.h"

#include "spool/LogText.h"

#include <QPlainTextEdit>

#include <algorithm>

void ActivityLog::add(const QString& line)
{
    // Lines wholly beyond the cut are dropped; the text is put together only when it is asked for.
    m_lines.push_front(shownInLog(line));
    m_chars += m_lines.front().size() + 2;
    while (m_lines.size() > 1 && m_chars - (m_lines.back().size() + 2) >= kLimit) {
        m_chars -= m_lines.back().size() + 2;
        m_lines.pop_back();
    }
    emit changed();
}

QString ActivityLog::text() const
{
    QString text;
    text.reserve(std::min<qsizetype>(m_chars, kLimit));
    for (const QString& line : m_lines) {
        text += line;
        text += QStringLiteral("\r\n");
        if (text.size() >= kLimit)
            break;
    }
    text.truncate(kLimit);
    return text;
}

ActivityLogView::ActivityLogView(const ActivityLog& log, QPlainTextEdit& box)
    : QObject(&box), m_log(log), m_box(box)
{
    connect(&log, &ActivityLog::changed, this, [this] {
        if (m_refreshPending)
            return;
        m_refreshPending = true;
        QMetaObject::invokeMethod(this, &ActivityLogView::refresh, Qt::QueuedConnection);
    });
}

void ActivityLogView::refresh()
{
    m_refreshPending = false;
    m_box.setPlainText(m_log.text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}
