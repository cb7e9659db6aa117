#pragma once

#include <QtGlobal>

#include <cerrno>
#include <unistd.h>

/// Writes all @p size bytes at @p data to @p fd, again where a signal or the device took only
/// part; false, with errno set, when the write fails.
inline bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // nothing taken and no error told: it would never end
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}
