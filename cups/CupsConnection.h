#pragma once

#include "spool/PrintError.h"

#include <QString>

// As cups/http.h declares it: the header stays free of libcups for its users.
typedef struct _http_s http_t;

/**
 * A connection of our own to the CUPS scheduler, whose requests give up when it does not answer.
 * libcups waits for an answer as long as it takes: a stopped scheduler, or a print server behind
 * a broken network, would hold the program for minutes. Each request here has a time-out, and
 * every request gives up at once when the program is ending (abandonRequests()).
 *
 * CUPS's shared default connection (CUPS_HTTP_DEFAULT) is never used: it has no time-out.
 */
class CupsConnection
{
public:
    /// How long the scheduler may stay silent during one request.
    static constexpr int kDefaultTimeoutMs = 10000;

    explicit CupsConnection(int timeoutMs = kDefaultTimeoutMs);
    ~CupsConnection();
    CupsConnection(const CupsConnection&) = delete;
    CupsConnection& operator=(const CupsConnection&) = delete;

    /// The connection for a new request, the scheduler's time starting now; a connection left
    /// in the middle of an earlier request is made anew. Null when the scheduler cannot be
    /// reached, or the program is ending.
    http_t* request();
    /// The same connection for the next part of a request in progress (a document's next
    /// block), the time starting again.
    http_t* more();
    /// The connection for a request that follows a failure (cancelling the job): made even when
    /// the program is ending, and waited for only briefly when the scheduler has just been
    /// silent. The request is in the scheduler's socket either way, read when it wakes up.
    http_t* parting();
    /// A request was given up: the scheduler did not answer in time, or the program is ending.
    bool gaveUp() const { return m_gaveUp; }
    /// The last request had no answer: given up, or the scheduler could not be reached.
    bool unanswered() const { return m_gaveUp || m_unreachable; }
    /// Why the last request failed, after @p what: of the kind CUPS's status, the time-out or
    /// the unreachable scheduler tells, with CUPS's message and its status keyword in brackets.
    PrintError error(const QString& what) const;
    int timeoutMs() const { return m_timeoutMs; }

    /// Makes every request in progress and to come give up: for a signal handler (it only
    /// sets a flag), so that the program ends while the scheduler does not answer.
    static void abandonRequests() noexcept;

private:
    static int onSilence(http_t* http, void* self);
    http_t* start(qint64 timeoutMs);
    void close();
    /// True when a new connection to the scheduler can be made now.
    bool reachable() const;

    http_t* m_http = nullptr;
    int m_timeoutMs;
    qint64 m_deadline = 0; ///< CLOCK_MONOTONIC ms by which the scheduler must have answered
    bool m_gaveUp = false;
    bool m_unreachable = false;
    int m_connectErrno = 0;
};
