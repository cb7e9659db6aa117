#include "platform/PosixRawPort.h"

#include "platform/PosixErrors.h"
#include "spool/FileServices.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 monotonicMs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

/// Names printer ports have here and on the systems old programs come from: a missing
/// destination of such a name is a device that is not there, never a file to be made.
bool isDeviceName(const QByteArray& name)
{
    static const QRegularExpression device(
        QStringLiteral("^(lpt\\d*|com\\d+|prn|lp\\d*|usblp\\d*|parport\\d*|tty[a-z]*\\d*):?$"),
        QRegularExpression::CaseInsensitiveOption);
    return device.match(QString::fromLatin1(name)).hasMatch();
}

bool isUnder(const QByteArray& path, const char* folder)
{
    return path == folder || path.startsWith(QByteArray(folder) + '/');
}

/// 0 when a missing destination may be made as a plain file; otherwise the error to give.
/// Only a plain file the user chose is made: in a folder that exists, outside the folders of
/// devices, under a name no device has. A device that vanished (a USB printer unplugged) or a
/// path half typed is missing, and a file made in its place would swallow the print-out, and
/// the node the system makes when the device comes back.
int refusalToCreate(const QByteArray& destination)
{
    const qsizetype slash = destination.lastIndexOf('/');
    const QByteArray name = destination.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == ".." || isUnder(destination, "/dev") || isDeviceName(name))
        return ENOENT;
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : destination.left(slash);
    char* real = ::realpath(folder.constData(), nullptr);
    if (!real)
        return errno;
    const QByteArray resolved(real);
    std::free(real);
    for (const char* system : {"/dev", "/proc", "/sys"}) {
        if (isUnder(resolved, system))
            return ENOENT;
    }
    return 0;
}

/// Opens the destination for writing without waiting; makes it only as refusalToCreate() allows.
int openDestination(const QByteArray& destination, int* err)
{
    // Without O_NONBLOCK a FIFO without reader, or a busy device, would hold us forever.
    const int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC;
    int out = ::open(destination.constData(), flags);
    if (out < 0 && errno == ENOENT) {
        *err = refusalToCreate(destination);
        if (*err != 0)
            return -1;
        // O_EXCL: a dangling link (to a device that vanished) is not followed to make its target.
        out = ::open(destination.constData(), flags | O_CREAT | O_EXCL, 0644);
        if (out < 0 && errno == EEXIST)
            out = ::open(destination.constData(), flags);
    }
    if (out < 0)
        *err = errno;
    return out;
}

/// Keeps SIGPIPE from ending the program while it lasts: a FIFO whose reader goes away, or a
/// device that hangs up, makes the write fail with EPIPE instead. A SIGPIPE raised meanwhile
/// is taken back before it is unblocked.
class NoSigPipe
{
public:
    NoSigPipe()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        m_wasPending = ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
        m_blocked = ::pthread_sigmask(SIG_BLOCK, &m_pipe, &m_before) == 0;
    }
    ~NoSigPipe()
    {
        if (!m_blocked)
            return;
        sigset_t pending;
        sigemptyset(&pending);
        if (!m_wasPending && ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
            const struct timespec now = {0, 0};
            while (::sigtimedwait(&m_pipe, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }

private:
    sigset_t m_pipe;
    sigset_t m_before;
    bool m_wasPending = false;
    bool m_blocked = false;
};

} // namespace

bool PosixRawPort::copyToDevice(ByteSource& source, const QByteArray& destination, int timeoutMs,
                                PrintError* error, qint64* sent)
{
    const qint64 earlier = sent ? *sent : 0;
    int err = 0;
    const int out = openDestination(destination, &err);
    if (out < 0) {
        setPrintError(error, destination, err);
        return false;
    }
    // A plain file is replaced whole; a device or FIFO keeps what it took in an earlier attempt,
    // and only the rest goes now.
    struct stat st;
    const bool plainFile = ::fstat(out, &st) == 0 && S_ISREG(st.st_mode);
    if (plainFile && ::ftruncate(out, 0) != 0) {
        setPrintError(error, destination, errno);
        ::close(out);
        return false;
    }
    qint64 skip = plainFile ? 0 : std::max<qint64>(earlier, 0);
    qint64 taken = skip;

    const NoSigPipe noSigPipe;
    // The time limit counts from the last byte the destination took: a slow printer that keeps
    // taking bytes is given all the time it needs, one that takes none is given up on.
    qint64 deadline = monotonicMs() + timeoutMs;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (;;) {
        qint64 n = source.read(buffer.data(), buffer.size());
        if (n < 0) {
            if (error)
                *error = PrintError::fromSystemText(source.errorString());
            ::close(out);
            if (sent)
                *sent = plainFile ? 0 : taken;
            return false;
        }
        if (n == 0)
            break;
        const char* p = buffer.constData();
        if (skip > 0) {
            const qint64 skipped = std::min(skip, n);
            skip -= skipped;
            p += skipped;
            n -= skipped;
        }
        while (n > 0 && err == 0) {
            const ssize_t w = ::write(out, p, size_t(n));
            if (w > 0) {
                p += w;
                n -= w;
                taken += w;
                deadline = monotonicMs() + timeoutMs;
                continue;
            }
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0 && errno != EAGAIN) {
                err = errno;
                break;
            }
            struct pollfd pfd = {out, POLLOUT, 0};
            const qint64 wait = deadline - monotonicMs();
            const int ready = wait > 0 ? ::poll(&pfd, 1, int(wait)) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                err = ETIMEDOUT;
            else if (!(pfd.revents & POLLOUT))
                err = (pfd.revents & POLLERR) ? EPIPE : EIO; // the reader went, or the line hung up
        }
        if (err != 0)
            break;
    }
    if (::close(out) != 0 && err == 0)
        err = errno;
    if (sent)
        *sent = plainFile && err != 0 ? 0 : taken;
    if (err != 0)
        setPrintError(error, destination, err);
    return err == 0;
}
