#include "platform/PosixScratch.h"

#include "platform/PosixErrors.h"
#include "platform/PosixFolder.h"
#include "platform/PosixIo.h"

#include <QDir>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<int> g_nextRecord{0};

/// Removes the name in the folder only while it still names the file made.
void removeIfSame(int folder, const char* name, const struct stat& own)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_dev == own.st_dev && st.st_ino == own.st_ino)
        ::unlinkat(folder, name, 0);
}

class PosixScratchFile : public ScratchFile
{
public:
    /// Keeps the folder it was made in, so it is removed from there whatever is at the
    /// folder's path by then.
    PosixScratchFile(int fd, int folder, QByteArray path, QByteArray record)
        : m_fd(fd), m_folder(folder), m_path(std::move(path)), m_record(std::move(record))
    {
        ::fstat(m_fd, &m_own);
    }
    ~PosixScratchFile() override
    {
        const qsizetype slash = m_path.lastIndexOf('/');
        removeIfSame(m_folder, m_path.constData() + slash + 1, m_own);
        ::close(m_folder);
        ::close(m_fd);
        if (!m_record.isEmpty())
            ::unlink(m_record.constData());
    }
    qint64 read(char* data, qint64 max) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, data, size_t(max));
            if (n >= 0)
                return n;
            if (errno != EINTR)
                return fail();
        }
    }
    bool write(const char* data, qint64 size) override { return writeAll(m_fd, data, size) || fail() >= 0; }
    bool restart() override
    {
        return (::ftruncate(m_fd, 0) == 0 && ::lseek(m_fd, 0, SEEK_SET) == 0) || fail() >= 0;
    }
    bool rewind() override { return ::lseek(m_fd, 0, SEEK_SET) == 0 || fail() >= 0; }
    QString errorString() const override { return m_error; }

private:
    /// Keeps the error text; gives -1.
    qint64 fail()
    {
        m_error = errnoText(m_path, errno);
        return -1;
    }

    int m_fd;
    int m_folder;
    QByteArray m_path;
    QByteArray m_record;
    struct stat m_own = {};
    QString m_error;
};

bool processAlive(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

} // namespace

QByteArray PosixScratch::recordFolder()
{
    QByteArray base = qgetenv("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir(QFile::decodeName(base)).exists())
        base = QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    return base + "/velmorix2";
}

std::unique_ptr<ScratchFile> PosixScratch::create(const QByteArray& path, QString* error)
{
    // Recorded before it exists: a run killed in between leaves a record of nothing, never a
    // file nobody knows of.
    const QByteArray folder = recordFolder();
    ::mkdir(folder.constData(), 0700);
    const QByteArray record =
        folder + "/scratch-" + QByteArray::number(::getpid()) + '-' + QByteArray::number(g_nextRecord++);
    QByteArray absolute = path;
    if (!absolute.startsWith('/'))
        absolute = QFile::encodeName(QDir::currentPath()) + '/' + path;
    const int rfd = ::open(record.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool recorded = rfd >= 0 && writeAll(rfd, absolute.constData(), absolute.size());
    if (rfd >= 0)
        ::close(rfd);

    FolderOfPath in(path);
    const int fd =
        in.fd() < 0 ? -1
                    : ::openat(in.fd(), in.name(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        setError(error, path, in.fd() < 0 ? in.error() : errno);
        ::unlink(record.constData());
        return nullptr;
    }
    return std::make_unique<PosixScratchFile>(fd, in.release(), path, recorded ? record : QByteArray());
}

void PosixScratch::removeLeftovers()
{
    const QByteArray folder = recordFolder();
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const uid_t me = ::getuid();
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith("scratch-"))
            continue;
        const QList<QByteArray> parts = name.split('-');
        if (parts.size() != 3 || processAlive(pid_t(parts[1].toInt())))
            continue;
        const QByteArray record = folder + '/' + name;
        QFile in(QFile::decodeName(record));
        if (in.open(QIODevice::ReadOnly)) {
            const QByteArray path = in.read(4096);
            const FolderOfPath at(path);
            struct stat st;
            // Only a regular file of ours; its writer is gone, so nobody writes it any more.
            if (at.fd() >= 0 && ::fstatat(at.fd(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode) && st.st_uid == me)
                ::unlinkat(at.fd(), at.name(), 0);
        }
        ::unlink(record.constData());
    }
    ::closedir(dir);
}
