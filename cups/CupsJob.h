#pragma once

#include "cups/CupsConnection.h"

#include <QByteArray>
#include <QString>

/**
 * One job sent to a queue with libcups, every answer checked: Qt's own CUPS path reports
 * success for jobs a queue refused and falls back to other printers. A job is a PDF document,
 * or raw bytes that the queue hands to its device untouched. A scheduler silent for longer than
 * the time-out fails the step it was asked for.
 */
class CupsJob
{
public:
    CupsJob(const QString& queue, const QString& title, int timeoutMs = CupsConnection::kDefaultTimeoutMs);

    /// Creates the job, streams the document and closes it; false, with error(), when
    /// any step failed (the job is then cancelled).
    bool send(const QByteArray& pdf);

    /// The same in steps, for a document streamed in parts: begin() creates the job for a
    /// document of this MIME type, write() sends a part, finish() closes it. A failed step
    /// cancels the job, and the steps after it fail too.
    bool begin(const char* format);
    /// The PWG medium a PDF job is printed on, asked of the queue with the job; the pages are
    /// laid out on it already, turned when they are in landscape.
    void setMedia(const QByteArray& media) { m_media = media; }
    bool write(const char* data, qsizetype size);
    bool finish();
    /// Cancels a job begun and not finished, so that no part of it prints.
    void cancel();
    /// CUPS's id of the job; 0 until one was created.
    int id() const { return m_id; }
    /// When the scheduler created the job (its time-at-creation), known once finish() succeeded;
    /// 0 when it did not say. With the id it names the job even after the scheduler has
    /// started its numbering again.
    qint64 created() const { return m_created; }
    /// Why the job failed, with the queue's name and what the scheduler says of it.
    PrintError error() const;

    enum class State
    {
        Pending,
        Completed,
        Failed,
        Unknown
    };
    /// Where a job stands on its queue, asked of the scheduler; Pending when it does not answer.
    /// A job of that id on another queue, or created at another time than @p created (when
    /// not 0), is another job: Unknown.
    static State state(const QString& queue, int id, qint64 created,
                       int timeoutMs = CupsConnection::kDefaultTimeoutMs);

private:
    bool fail(const QString& what);

    QString m_queue;
    QByteArray m_name;
    QByteArray m_title;
    QByteArray m_media;
    int m_id = 0;
    qint64 m_created = 0;
    PrintError m_error;
    QString m_stateMessage; ///< the queue's printer-state-message ("papel acabou"), when it has one
    /// One connection for all the steps of the job: a document streams on the request begun.
    CupsConnection m_server;
};
