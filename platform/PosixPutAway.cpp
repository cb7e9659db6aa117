#include "platform/PosixFileServices.h"

#include "platform/PosixErrors.h"
#include "platform/PosixPlainFile.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A spool file is put away (renamed or removed) only while no writer holds it. A read lease
// answers that question where the kernel allows one; elsewhere the writers are looked for in
// /proc.

namespace {

/// A writer opening the file while the lease is held breaks it, and the kernel tells the lease
/// holder with SIGIO, whose default action ends the process. Nothing here asks for SIGIO.
void ignoreLeaseBreakSignal()
{
    static const bool done = [] {
        struct sigaction current;
        if (::sigaction(SIGIO, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
            current.sa_handler == SIG_DFL)
            ::signal(SIGIO, SIG_IGN);
        return true;
    }();
    (void)done;
}

} // namespace

bool openForWritingByAnyProcess(dev_t device, ino_t inode)
{
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool found = false;
    while (!found) {
        const dirent* p = ::readdir(proc);
        if (!p)
            break;
        if (p->d_name[0] < '0' || p->d_name[0] > '9')
            continue;
        const QByteArray fdDir = QByteArray("/proc/") + p->d_name + "/fd";
        DIR* fds = ::opendir(fdDir.constData());
        if (!fds)
            continue;
        while (const dirent* f = ::readdir(fds)) {
            if (f->d_name[0] == '.')
                continue;
            struct stat st;
            const QByteArray link = fdDir + '/' + f->d_name;
            if (::stat(link.constData(), &st) != 0 || st.st_dev != device || st.st_ino != inode)
                continue;
            QFile info(QString::fromLatin1(QByteArray("/proc/") + p->d_name + "/fdinfo/" + f->d_name));
            if (!info.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray& line : info.readAll().split('\n')) {
                if (line.startsWith("flags:")) {
                    const int flags = int(line.mid(6).trimmed().toUInt(nullptr, 8));
                    if ((flags & O_ACCMODE) != O_RDONLY)
                        found = true;
                }
            }
            if (found)
                break;
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

namespace {

/// A read lease is refused while any process has the file open for writing, or is opening it
/// for writing. Taken and given back at once: the lease only serves as the question.
bool hasWriters(int fd)
{
    ignoreLeaseBreakSignal();
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return false;
    }
    if (errno == EAGAIN)
        return true;
    // Leases are not allowed here (a file of another user, a file system without them).
    struct stat st;
    return ::fstat(fd, &st) == 0 && openForWritingByAnyProcess(st.st_dev, st.st_ino);
}

/// Calls until it gives false, for up to waitMs; the last answer.
template <typename Test> bool whileTrueFor(int waitMs, Test test)
{
    struct timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        if (!test())
            return false;
        struct timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        if ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000 >= waitMs)
            return true;
        ::usleep(2000);
    }
}

/// A spool file put away, held by a read-only descriptor.
class HeldFile : public PutAwayFile
{
public:
    HeldFile(int fd, QByteArray path, const FileStamp& expected)
        : m_fd(fd), m_path(std::move(path)), m_expected(expected)
    {
    }
    ~HeldFile() override { ::close(m_fd); }
    void setOpened(bool opened) { m_opened = opened; }
    bool touched() override { return m_opened || stampOf(m_fd) != m_expected; }
    bool waitForWriters(int waitMs) override
    {
        return !whileTrueFor(waitMs, [this] { return hasWriters(m_fd); });
    }
    FileStamp stamp() override { return stampOf(m_fd); }
    std::unique_ptr<ByteSource> openRead(QString* error) override
    {
        const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            setError(error, m_path, errno);
            return nullptr;
        }
        return std::make_unique<FdSource>(fd, m_path);
    }

private:
    int m_fd;
    QByteArray m_path;
    FileStamp m_expected;
    bool m_opened = false; ///< a writer opened the file while it was put away
};

} // namespace

bool PosixFileServices::isBeingWritten(const QByteArray& path)
{
    const int fd = openPlain(path);
    if (fd < 0)
        return false; // whoever reads it next will see why
    const bool busy = hasWriters(fd);
    ::close(fd);
    return busy;
}

std::unique_ptr<PutAwayFile> PosixFileServices::putAway(const QByteArray& path, const QByteArray& to,
                                                        const FileStamp& expected, int waitMs,
                                                        PutAwayResult* result, QString* error)
{
    *result = PutAwayResult::Changed;
    const int fd = openPlain(path);
    if (fd < 0) {
        if (errno != ENOENT) {
            setError(error, path, errno);
            *result = PutAwayResult::Failed;
        }
        return nullptr;
    }
    auto held = std::make_unique<HeldFile>(fd, to.isEmpty() ? path : to, expected);
    // The read lease is held across the check and the rename or removal. A writer that opens
    // the file meanwhile has already found it by its name: its open() waits until the lease is
    // given back, then it writes into the file put away. The lease, broken, tells of it.
    ignoreLeaseBreakSignal();
    bool leased = false;
    bool busy = whileTrueFor(waitMs, [fd, &leased] {
        if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
            leased = true;
            return false;
        }
        if (errno == EAGAIN)
            return true;
        // No leases here: the writers are looked for in /proc, before the move and after it.
        struct stat st;
        return ::fstat(fd, &st) == 0 && openForWritingByAnyProcess(st.st_dev, st.st_ino);
    });
    auto giveBack = [fd, &leased] {
        // Broken by a writer that is opening the file: it now waits in open().
        const bool broken = leased && ::fcntl(fd, F_GETLEASE) != F_RDLCK;
        if (leased)
            ::fcntl(fd, F_SETLEASE, F_UNLCK);
        leased = false;
        return broken;
    };
    if (busy) {
        *result = PutAwayResult::Busy;
        return nullptr;
    }
    struct stat mine;
    struct stat named;
    if (::fstat(fd, &mine) != 0 || stampOf(mine) != expected || !statInFolder(path, &named) ||
        named.st_dev != mine.st_dev || named.st_ino != mine.st_ino) {
        giveBack();
        return nullptr;
    }
    // A writer opening it already: it stays, and what the writer adds is looked at again.
    if (leased && ::fcntl(fd, F_GETLEASE) != F_RDLCK) {
        giveBack();
        return nullptr;
    }
    if (beforeMove)
        beforeMove(fd);
    const bool wasLeased = leased;
    const bool moved = to.isEmpty() ? remove(path, error) : rename(path, to, error);
    const bool broken = giveBack();
    if (!moved) {
        *result = PutAwayResult::Failed;
        return nullptr;
    }
    // Without a lease, a writer that opened the file just before the move still holds it.
    held->setOpened(wasLeased ? broken : openForWritingByAnyProcess(mine.st_dev, mine.st_ino));
    *result = PutAwayResult::Done;
    return held;
}
