#include "cups/CupsConnection.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <type_traits>

namespace {

/// Set by abandonRequests(), from a signal handler; never cleared, the program is ending.
volatile std::sig_atomic_t g_abandoned = 0;
static_assert(std::is_same_v<std::sig_atomic_t, int>, "libcups takes the cancel flag as an int");

/// How often a silent scheduler is looked at: the longest a request goes on once abandoned.
constexpr double kLookSeconds = 0.25;
/// How long a request after a time-out waits for its answer.
constexpr qint64 kPartingMs = 1000;

qint64 monotonicMs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

QString systemError(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

} // namespace

CupsConnection::CupsConnection(int timeoutMs) : m_timeoutMs(timeoutMs) {}

CupsConnection::~CupsConnection()
{
    close();
}

void CupsConnection::abandonRequests() noexcept
{
    g_abandoned = 1;
}

int CupsConnection::onSilence(http_t*, void* self)
{
    // Called by libcups each time the scheduler stayed silent for kLookSeconds: 0 gives up.
    auto* connection = static_cast<CupsConnection*>(self);
    if (g_abandoned == 0 && monotonicMs() < connection->m_deadline)
        return 1;
    connection->m_gaveUp = true;
    return 0;
}

void CupsConnection::close()
{
    if (m_http)
        httpClose(m_http);
    m_http = nullptr;
}

http_t* CupsConnection::start(qint64 timeoutMs)
{
    m_gaveUp = false;
    m_unreachable = false;
    // A connection left inside a request (given up, or failed half-way) would make libcups
    // connect again on its own, with no time-out and no way to stop it.
    if (m_http && httpGetState(m_http) != HTTP_STATE_WAITING)
        close();
    if (!m_http) {
        errno = 0;
        // The cancel flag stops a connection that hangs (a server out of reach) on the way out.
        m_http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                              int(timeoutMs), const_cast<int*>(&g_abandoned));
        if (!m_http) {
            m_connectErrno = errno;
            m_unreachable = g_abandoned == 0;
            m_gaveUp = !m_unreachable;
            return nullptr;
        }
        httpSetTimeout(m_http, kLookSeconds, &CupsConnection::onSilence, this);
    }
    m_deadline = monotonicMs() + timeoutMs;
    return m_http;
}

bool CupsConnection::reachable() const
{
    http_t* probe =
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                     int(std::min<qint64>(kPartingMs, m_timeoutMs)), const_cast<int*>(&g_abandoned));
    if (!probe)
        return false;
    // A socket that takes connections for a scheduler that never comes (socket activation of a
    // service that fails) is no scheduler: only an answer to a request tells.
    httpSetTimeout(
        probe, 1.0, [](http_t*, void*) { return 0; }, nullptr);
    ipp_t* answer = cupsDoRequest(probe, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/");
    const bool answered = answer != nullptr;
    ippDelete(answer);
    httpClose(probe);
    return answered;
}

http_t* CupsConnection::request()
{
    if (g_abandoned != 0) {
        m_gaveUp = true;
        return nullptr;
    }
    return start(m_timeoutMs);
}

http_t* CupsConnection::parting()
{
    const bool silent = m_gaveUp;
    return start(silent ? std::min<qint64>(kPartingMs, m_timeoutMs) : m_timeoutMs);
}

http_t* CupsConnection::more()
{
    m_deadline = monotonicMs() + m_timeoutMs;
    return m_http;
}

PrintError CupsConnection::error(const QString& what) const
{
    using Kind = PrintError::Kind;
    if (m_gaveUp && g_abandoned != 0)
        return PrintError(Kind::Ending, what + QStringLiteral(": given up, the program is ending"));
    if (m_gaveUp)
        return PrintError(
            Kind::TimedOut,
            what + QStringLiteral(": the print server did not answer in %1 s: ").arg(m_timeoutMs / 1000.0) +
                systemError(ETIMEDOUT));
    if (m_unreachable)
        return PrintError(Kind::ServerDown, what + QStringLiteral(": ") +
                                                (m_connectErrno != 0 ? systemError(m_connectErrno)
                                                                     : QStringLiteral("cannot connect")) +
                                                QStringLiteral(" [server-error-service-unavailable]"));
    const ipp_status_t status = cupsLastError();
    const QString message = QString::fromUtf8(cupsLastErrorString());
    Kind kind = Kind::Other;
    switch (status) {
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
    case IPP_STATUS_ERROR_NOT_POSSIBLE:
    case IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED:
        kind = Kind::Rejected;
        break;
    case IPP_STATUS_ERROR_NOT_FOUND:
        kind = Kind::NoSuchPrinter;
        break;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
        kind = Kind::Permission;
        break;
    case IPP_STATUS_ERROR_TIMEOUT:
        kind = Kind::TimedOut;
        break;
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        kind = Kind::ServerDown;
        break;
    case IPP_STATUS_ERROR_INTERNAL:
        // libcups gives a scheduler that went away after the connection was made as an internal
        // error with the system's reason ("No such file or directory" for its socket): a
        // connection made anew tells whether anybody is there.
        if (!reachable())
            kind = Kind::ServerDown;
        break;
    default:
        break;
    }
    // The status keyword goes along in brackets: CUPS translates its messages, never these.
    return PrintError(kind, what + QStringLiteral(": ") + message + QStringLiteral(" [") +
                                QString::fromUtf8(ippErrorString(status)) + u']');
}
