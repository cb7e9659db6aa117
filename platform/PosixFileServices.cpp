#include "platform/PosixFileServices.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

QString errnoText(const QByteArray& path, int err)
{
    return QFile::decodeName(path) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(err));
}

void setError(QString* error, const QByteArray& path, int err)
{
    if (error)
        *error = errnoText(path, err);
}

bool hasWildcard(QByteArrayView text)
{
    return text.contains('*') || text.contains('?');
}

/// Bytes after the last "/"; the whole path when there is none.
QByteArrayView baseName(QByteArrayView path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.sliced(slash + 1);
}

class FdSource : public ByteSource
{
public:
    FdSource(int fd, QByteArray path) : m_fd(fd), m_path(std::move(path)) {}
    ~FdSource() override { ::close(m_fd); }
    qint64 read(char* data, qint64 max) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, data, size_t(max));
            if (n >= 0)
                return n;
            if (errno != EINTR) {
                m_error = errnoText(m_path, errno);
                return -1;
            }
        }
    }
    QString errorString() const override { return m_error; }

private:
    int m_fd;
    QByteArray m_path;
    QString m_error;
};

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

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

namespace {

/// The characters of a file name: UTF-8 sequences as one character each, case-folded; a byte
/// that is not valid UTF-8 stands for itself, apart from every character.
QList<char32_t> foldedCharacters(QByteArrayView bytes)
{
    QList<char32_t> out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = p[i];
        int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t code = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < length; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                length = 0;
                break;
            }
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        if (length == 0 || (length > 1 && code < 0x80)) {
            out.append(0x110000 + b); // outside Unicode: equal only to the same byte
            ++i;
            continue;
        }
        out.append(QChar::toCaseFolded(code));
        i += length;
    }
    return out;
}

template <typename Char, typename Equal>
bool matchSequence(const Char* pattern, qsizetype pn, const Char* name, qsizetype nn, Equal equal)
{
    // Iterative matcher with one backtrack point for the last "*".
    qsizetype p = 0, n = 0, starP = -1, starN = 0;
    while (n < nn) {
        if (p < pn && pattern[p] == Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pn && (pattern[p] == Char('?') || equal(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pn && pattern[p] == Char('*'))
        ++p;
    return p == pn;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

} // namespace

Wildcard::Wildcard(QByteArrayView pattern)
    : m_pattern(pattern.toByteArray()), m_folded(foldedCharacters(pattern)), m_ascii(isAscii(pattern))
{
    if (pattern.endsWith(".*"))
        m_foldedWithoutExtension = foldedCharacters(pattern.chopped(2));
}

bool Wildcard::matches(QByteArrayView name) const
{
    const auto sameAscii = [](char a, char b) {
        return FileServices::lowerAscii(a) == FileServices::lowerAscii(b);
    };
    const auto same = [](char32_t a, char32_t b) { return a == b; };
    bool matched;
    QList<char32_t> folded;
    if (m_ascii && isAscii(name)) {
        matched = matchSequence(m_pattern.constData(), m_pattern.size(), name.data(), name.size(), sameAscii);
    } else {
        folded = foldedCharacters(name);
        matched =
            matchSequence(m_folded.constData(), m_folded.size(), folded.constData(), folded.size(), same);
    }
    // As on the systems these programs come from, "REL.*" and "*.*" also take names without
    // an extension.
    if (matched || m_foldedWithoutExtension.isEmpty() || name.contains('.'))
        return matched;
    if (folded.isEmpty())
        folded = foldedCharacters(name);
    return matchSequence(m_foldedWithoutExtension.constData(), m_foldedWithoutExtension.size(),
                         folded.constData(), folded.size(), same);
}

bool wildcardMatch(QByteArrayView pattern, QByteArrayView name)
{
    return Wildcard(pattern).matches(name);
}

QList<QByteArray> PosixFileServices::enumerate(const QByteArray& pattern)
{
    QList<QByteArray> names;
    const qsizetype slash = pattern.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : pattern.left(slash + 1);
    const QByteArrayView last = baseName(pattern);
    if (last.isEmpty())
        return names;

    if (!hasWildcard(last)) {
        // A full name is an existence test, but letters still match in any case.
        if (isPlainFile(pattern))
            names.append(last.toByteArray());
        if (!names.isEmpty())
            return names;
    }

    const Wildcard wildcard(last);
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    const int dfd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.startsWith('.') || !wildcard.matches(name))
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st;
            regular = ::fstatat(dfd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            names.append(name.toByteArray());
    }
    ::closedir(dir);
    return names;
}

bool PosixFileServices::isPlainFile(const QByteArray& path)
{
    if (path.isEmpty() || baseName(path).startsWith('.'))
        return false;
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

FileStamp PosixFileServices::stamp(const QByteArray& path)
{
    FileStamp s;
    struct stat st;
    if (::lstat(path.constData(), &st) == 0) {
        s.size = st.st_size;
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
        s.inode = st.st_ino;
    }
    return s;
}

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

bool PosixFileServices::isBeingWritten(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false; // whoever reads it next will see why
    // A read lease is refused while any process has the file open for writing. It is given
    // back at once: the lease only serves as the question.
    bool busy = false;
    ignoreLeaseBreakSignal();
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    } else if (errno == EAGAIN) {
        busy = true;
    } else {
        // Leases are not allowed here (a file of another user, a file system without them).
        struct stat st;
        busy = ::fstat(fd, &st) == 0 && openForWritingByAnyProcess(st.st_dev, st.st_ino);
    }
    ::close(fd);
    return busy;
}

namespace {
// Where the mark is kept: a user attribute, or a trusted one where only those are allowed.
const char* const kMarkNames[] = {"user.velmorix2.printed", "trusted.velmorix2.printed"};
} // namespace

bool PosixFileServices::markPrinted(const QByteArray& path, const QByteArray& mark)
{
    for (const char* name : kMarkNames) {
        if (::lsetxattr(path.constData(), name, mark.constData(), size_t(mark.size()), 0) == 0)
            return true;
    }
    return false;
}

QByteArray PosixFileServices::printedMark(const QByteArray& path)
{
    char buffer[128];
    for (const char* name : kMarkNames) {
        const ssize_t n = ::lgetxattr(path.constData(), name, buffer, sizeof buffer);
        if (n >= 0)
            return QByteArray(buffer, int(n));
    }
    return QByteArray();
}

std::unique_ptr<ByteSource> PosixFileServices::openRead(const QByteArray& path, QString* error)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setError(error, path, errno);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        setError(error, path, EINVAL);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<FdSource>(fd, path);
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
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        setError(error, path, errno);
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
    if (::unlink(path.constData()) != 0) {
        setError(error, path, errno);
        return false;
    }
    return true;
}

bool PosixFileServices::rename(const QByteArray& from, const QByteArray& to, QString* error)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) {
        setError(error, to, errno);
        return false;
    }
    // The file system cannot refuse to replace: a hard link can, and is atomic.
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) == 0)
            return true;
        const int err = errno;
        ::unlink(to.constData()); // both names would stay: the file would be seen again
        setError(error, from, err);
        return false;
    }
    setError(error, to, errno);
    return false;
}

bool PosixFileServices::copyToDevice(const QByteArray& source, const QByteArray& destination, int timeoutMs,
                                     QString* error)
{
    const int in = ::open(source.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        setError(error, source, errno);
        return false;
    }
    // Without O_NONBLOCK a FIFO without reader, or a busy device, would hold us forever.
    int out = ::open(destination.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (out < 0 && errno == ENOENT)
        out = ::open(destination.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (out < 0) {
        setError(error, destination, errno);
        ::close(in);
        return false;
    }
    struct stat st;
    if (::fstat(out, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(out, 0) != 0) {
        setError(error, destination, errno);
        ::close(in);
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
        const ssize_t n = ::read(in, buffer.data(), size_t(buffer.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            err = errno;
            break;
        }
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
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok)
        setError(error, destination, err);
    return ok;
}

QByteArray PosixFileServices::applicationFolder()
{
    return QFile::encodeName(QCoreApplication::applicationDirPath());
}

QByteArray PosixFileServices::currentDirectory()
{
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? QByteArray(buf) : QByteArray(".");
}

QDateTime PosixFileServices::now()
{
    return QDateTime::currentDateTime();
}

qint64 PosixFileServices::monotonicMs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}
