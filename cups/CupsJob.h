#pragma once

#include <QByteArray>
#include <QString>

/**
 * One PDF job sent to a queue with libcups, every answer checked: Qt's own CUPS path reports
 * success for jobs a queue refused and falls back to other printers.
 */
class CupsJob
{
public:
    CupsJob(const QString& queue, const QString& title);

    /// Creates the job, streams the document and closes it; false, with errorString(), when
    /// any step failed (the job is then cancelled).
    bool send(const QByteArray& pdf);
    /// CUPS's id of the job; 0 until one was created.
    int id() const { return m_id; }
    QString errorString() const { return m_error; }

private:
    bool fail(const QString& what);

    QString m_queue;
    QByteArray m_name;
    QByteArray m_title;
    int m_id = 0;
    QString m_error;
};
