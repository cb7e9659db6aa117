#pragma once

#include <QObject>
#include <QString>

#include <deque>

class QPlainTextEdit;

/**
 * The on-screen log as the program holds it: the newest line on top, each line shown on one line
 * as every log shows it, CR LF after each, the whole cut at kLimit characters. It needs no
 * widget; ActivityLogView shows it.
 */
class ActivityLog : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    /// Puts one line on top.
    void add(const QString& line);
    /// The log: newest line first, CR LF after each, cut at kLimit characters.
    QString text() const;

    static constexpr int kLimit = 30000;

signals:
    void changed();

private:
    std::deque<QString> m_lines; ///< newest first, each as shown
    qsizetype m_chars = 0;       ///< characters of m_lines with their line ends
};

/// Shows an activity log in a text box. A batch adds many lines in one go: the box is redrawn
/// once the batch gives way.
class ActivityLogView : public QObject
{
    Q_OBJECT
public:
    ActivityLogView(const ActivityLog& log, QPlainTextEdit& box);

private:
    void refresh();

    const ActivityLog& m_log;
    QPlainTextEdit& m_box;
    bool m_refreshPending = false;
};
