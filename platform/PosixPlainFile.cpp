#include "platform/PosixPlainFile.h"

#include "platform/PosixErrors.h"
#include "platform/PosixFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int openPlain(int folder, const char* name)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

int openPlain(const QByteArray& path)
{
    const FolderOfPath folder(path);
    if (folder.fd() < 0) {
        errno = folder.error();
        return -1;
    }
    return openPlain(folder.fd(), folder.name());
}

bool statInFolder(const QByteArray& path, struct stat* st)
{
    const FolderOfPath folder(path);
    return folder.fd() >= 0 && ::fstatat(folder.fd(), folder.name(), st, AT_SYMLINK_NOFOLLOW) == 0;
}

FileStamp stampOf(const struct stat& st)
{
    FileStamp s;
    s.size = st.st_size;
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

FileStamp stampOf(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? stampOf(st) : FileStamp();
}

FdSource::~FdSource()
{
    ::close(m_fd);
}

qint64 FdSource::read(char* data, qint64 max)
{
    for (;;) {
        const ssize_t n = ::pread(m_fd, data, size_t(max), m_offset);
        if (n >= 0) {
            m_offset += n;
            return n;
        }
        if (errno != EINTR) {
            m_error = errnoText(m_path, errno);
            return -1;
        }
    }
}
