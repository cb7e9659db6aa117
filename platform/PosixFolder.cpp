#include "platform/PosixFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray PosixFolder::openablePath(const QByteArray& folder)
{
    QByteArray path = folder;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path.isEmpty() ? QByteArray(".") : path;
}

int PosixFolder::open(const QByteArray& folder, int flags)
{
    const QByteArray path = openablePath(folder);
    const int fd = ::open(path.constData(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0)
        return fd;
    // O_NOFOLLOW with O_DIRECTORY says ENOTDIR for a link to a folder: told apart here.
    if ((errno == ENOTDIR || errno == ELOOP) && isLink(folder))
        errno = ELOOP;
    return -1;
}

bool PosixFolder::isLink(const QByteArray& folder)
{
    struct stat st;
    return ::lstat(openablePath(folder).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

FolderOfPath::FolderOfPath(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    m_name = slash < 0 ? path : path.mid(slash + 1);
    if (m_name.isEmpty()) {
        m_error = ENOENT;
        return;
    }
    m_fd = PosixFolder::open(slash < 0 ? QByteArray(".") : path.left(slash + 1), O_PATH);
    if (m_fd < 0)
        m_error = errno;
}

FolderOfPath::~FolderOfPath()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int FolderOfPath::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}
