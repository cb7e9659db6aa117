#include "platform/PosixRawPort.h"

#include "platform/PosixErrors.h"
#include "spool/FileServices.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

bool PosixRawPort::copyToDevice(ByteSource& source, const QByteArray& destination, int timeoutMs,
                                QString* error)
{
    // Without O_NONBLOCK a FIFO without reader, or a busy device, would hold us forever.
    int out = ::open(destination.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (out < 0 && errno == ENOENT)
        out = ::open(destination.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (out < 0) {
        setError(error, destination, errno);
        return false;
    }
    struct stat st;
    if (::fstat(out, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(out, 0) != 0) {
        setError(error, destination, errno);
        ::close(out);
        return false;
    }

    struct timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    auto remainingMs = [&]() {
        struct timespec t;
        ::clock_gettime(CLOCK_MONOTONIC, &t);
        const qint64 spent = (t.tv_sec - start.tv_sec) * 1000 + (t.tv_nsec - start.tv_nsec) / 1000000;
        return qint64(timeoutMs) - spent;
    };

    bool ok = true;
    int err = 0;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    while (ok) {
        const qint64 n = source.read(buffer.data(), buffer.size());
        if (n < 0) {
            ok = false;
            if (error)
                *error = source.errorString();
            ::close(out);
            return false;
        }
        if (n == 0)
            break;
        const char* p = buffer.constData();
        ssize_t left = n;
        while (left > 0) {
            const ssize_t w = ::write(out, p, size_t(left));
            if (w >= 0) {
                p += w;
                left -= w;
                continue;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN) {
                ok = false;
                err = errno;
                break;
            }
            const qint64 wait = remainingMs();
            struct pollfd pfd = {out, POLLOUT, 0};
            if (wait <= 0 || ::poll(&pfd, 1, int(wait)) <= 0 || (pfd.revents & (POLLERR | POLLHUP))) {
                ok = false;
                err = ETIMEDOUT;
                break;
            }
        }
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok)
        setError(error, destination, err);
    return ok;
}
