#include "platform/PosixFileServices.h"

#include "platform/PosixErrors.h"
#include "platform/PosixFolder.h"
#include "platform/PosixIo.h"
#include "platform/PosixPlainFile.h"
#include "platform/PosixScratch.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

/// The plain files of a folder whose names are hidden, or not, as asked.
QList<QByteArray> plainFiles(const QByteArray& folder, bool hidden, ListError* error)
{
    QList<QByteArray> names;
    const int fd = PosixFolder::open(folder, O_RDONLY);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = err == ELOOP && PosixFolder::isLink(folder) ? ListError::Link
                     : (err == ENOENT || err == ENOTDIR)         ? ListError::Missing
                                                                 : ListError::Unreadable;
        return names;
    }
    const int dfd = ::dirfd(dir);
    bool failed = false;
    for (;;) {
        // readdir() leaves errno alone at the end of the folder and sets it on a failure.
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            failed = errno != 0;
            break;
        }
        if ((entry->d_name[0] == '.') != hidden)
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            regular = ::fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(dir);
    if (error)
        *error = failed ? ListError::Unreadable : ListError::None;
    if (failed)
        names.clear();
    return names;
}

} // namespace

QList<QByteArray> PosixFileServices::listFiles(const QByteArray& folder, ListError* error)
{
    return plainFiles(folder, false, error);
}

QList<QByteArray> PosixFileServices::listHiddenFiles(const QByteArray& folder)
{
    return plainFiles(folder, true, nullptr);
}

bool PosixFileServices::isPlainFile(const QByteArray& path)
{
    const FolderOfPath folder(path);
    struct stat st;
    return folder.fd() >= 0 && folder.name()[0] != '.' &&
           ::fstatat(folder.fd(), folder.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
}

FileStamp PosixFileServices::stamp(const QByteArray& path)
{
    struct stat st;
    return statInFolder(path, &st) ? stampOf(st) : FileStamp();
}

namespace {
// Where the mark is kept: a user attribute, or a trusted one where only those are allowed.
const char* const kMarkNames[] = {"user.velmorix2.printed", "trusted.velmorix2.printed"};
} // namespace

bool PosixFileServices::markPrinted(const QByteArray& path, const QByteArray& mark)
{
    // Set through a descriptor of the file: there is no call that sets one by a name in a folder.
    const int fd = openPlain(path);
    if (fd < 0)
        return false;
    bool set = false;
    for (const char* name : kMarkNames) {
        if ((set = marksOnFiles && ::fsetxattr(fd, name, mark.constData(), size_t(mark.size()), 0) == 0))
            break;
    }
    // A file that cannot carry its mark has it kept in the program's own state folder.
    struct stat st;
    if (::fstat(fd, &st) == 0 && (!set || !m_marks.get(st.st_dev, st.st_ino).isEmpty()))
        set = m_marks.set(st.st_dev, st.st_ino, set ? QByteArray() : mark) || set;
    ::close(fd);
    return set;
}

QByteArray PosixFileServices::printedMark(const QByteArray& path)
{
    // A mark names the job's queue too, so its length is asked first; a CUPS queue name is at
    // most 127 bytes, and anything far longer is not a mark of ours.
    const int fd = openPlain(path);
    if (fd < 0)
        return QByteArray();
    QByteArray mark;
    for (const char* name : kMarkNames) {
        const ssize_t size = marksOnFiles ? ::fgetxattr(fd, name, nullptr, 0) : -1;
        if (size < 0 || size > 4096)
            continue;
        mark.resize(size);
        const ssize_t n = ::fgetxattr(fd, name, mark.data(), size_t(mark.size()));
        if (n >= 0) {
            mark.truncate(n);
            break;
        }
        mark.clear();
    }
    struct stat st;
    if (mark.isEmpty() && ::fstat(fd, &st) == 0)
        mark = m_marks.get(st.st_dev, st.st_ino);
    ::close(fd);
    return mark;
}

namespace {

std::unique_ptr<ByteSource> sourceOf(int fd, const QByteArray& path, QString* error)
{
    if (fd < 0) {
        setError(error, path, errno);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<FdSource>(fd, path);
}

} // namespace

std::unique_ptr<ByteSource> PosixFileServices::openRead(const QByteArray& path, QString* error)
{
    return sourceOf(openPlain(path), path, error);
}

bool PosixFileServices::readFile(const QByteArray& path, QByteArray* data, QString* error)
{
    // The settings file, by its path: its folder may be a link (settings kept with the user's
    // other configuration files); the file itself may not.
    std::unique_ptr<ByteSource> in = sourceOf(openPlain(AT_FDCWD, path.constData()), path, error);
    if (!in)
        return false;
    data->clear();
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in->read(buffer.data(), buffer.size());
        if (n < 0) {
            if (error)
                *error = in->errorString();
            return false;
        }
        if (n == 0)
            return true;
        data->append(buffer.constData(), n);
    }
}

bool PosixFileServices::writeFile(const QByteArray& path, const QByteArray& data, QString* error)
{
    // Never through a link: whatever it points at is not ours to empty.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        setError(error, path, errno);
        return false;
    }
    const bool ok = writeAll(fd, data.constData(), data.size());
    const int err = errno;
    if (::close(fd) != 0 || !ok) {
        setError(error, path, ok ? errno : err);
        return false;
    }
    return true;
}

bool PosixFileServices::writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts,
                                     QString* error)
{
    const FolderOfPath folder(path);
    const int fd = folder.fd() < 0 ? -1
                                   : ::openat(folder.fd(), folder.name(),
                                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        setError(error, path, folder.fd() < 0 ? folder.error() : errno);
        return false;
    }
    bool ok = true;
    for (const QByteArrayView part : parts) {
        if (!(ok = writeAll(fd, part.data(), part.size())))
            break;
    }
    const int err = errno;
    if (::close(fd) != 0 || !ok) {
        setError(error, path, ok ? errno : err);
        return false;
    }
    return true;
}

bool PosixFileServices::remove(const QByteArray& path, QString* error)
{
    const FolderOfPath folder(path);
    if (folder.fd() < 0 || ::unlinkat(folder.fd(), folder.name(), 0) != 0) {
        setError(error, path, folder.fd() < 0 ? folder.error() : errno);
        return false;
    }
    return true;
}

bool PosixFileServices::rename(const QByteArray& from, const QByteArray& to, QString* error)
{
    const FolderOfPath source(from);
    const FolderOfPath target(to);
    if (source.fd() < 0 || target.fd() < 0) {
        setError(error, source.fd() < 0 ? from : to, source.fd() < 0 ? source.error() : target.error());
        return false;
    }
    if (::renameat2(source.fd(), source.name(), target.fd(), target.name(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        setError(error, to, errno);
        return false;
    }
    // The file system cannot refuse to replace: a hard link can, and is atomic.
    if (::linkat(source.fd(), source.name(), target.fd(), target.name(), 0) == 0) {
        if (::unlinkat(source.fd(), source.name(), 0) == 0)
            return true;
        const int err = errno;
        ::unlinkat(target.fd(), target.name(), 0); // both names would stay: the file would be seen again
        setError(error, from, err);
        return false;
    }
    setError(error, to, errno);
    return false;
}

std::unique_ptr<ScratchFile> PosixFileServices::createScratch(const QByteArray& path, QString* error)
{
    return PosixScratch::create(path, error);
}

void PosixFileServices::removeOwnLeftovers()
{
    PosixScratch::removeLeftovers();
}

namespace {

/// A whole-file lock, held as long as its descriptor is open.
class FlockClaim : public FileClaim
{
public:
    explicit FlockClaim(int fd) : m_fd(fd) {}
    ~FlockClaim() override { ::close(m_fd); }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<FileClaim> PosixFileServices::claim(const QByteArray& path)
{
    // A folder that is gone, or is now a link, holds no file of ours to claim.
    const FolderOfPath folder(path);
    if (folder.fd() < 0)
        return nullptr;
    const int fd =
        ::openat(folder.fd(), folder.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    // A file that is there but cannot be opened is not held by anyone: the reading that
    // follows fails and says so.
    if (fd < 0)
        return errno == ENOENT ? nullptr : std::make_unique<FileClaim>();
    auto claimed = std::make_unique<FlockClaim>(fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return nullptr;
    // The program that held it may have put it away meanwhile: the name must still be this file.
    struct stat mine;
    struct stat named;
    if (::fstat(fd, &mine) != 0 || !S_ISREG(mine.st_mode) || mine.st_nlink == 0 ||
        ::fstatat(folder.fd(), folder.name(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != mine.st_dev || named.st_ino != mine.st_ino)
        return nullptr;
    return claimed;
}

bool PosixFileServices::makeFolder(const QByteArray& path, QString* error)
{
    if (::mkdir(path.constData(), 0777) == 0 || errno == EEXIST) {
        struct stat st;
        // A link or a file under that name is no folder to move print-outs into.
        if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
    }
    setError(error, path, errno);
    return false;
}
