#include "platform/PosixHistoryFile.h"

#include "platform/PosixErrors.h"
#include "platform/PosixIo.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// The whole file from its start; false with errno on a failure.
bool readAll(int fd, QByteArray* data)
{
    data->clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        data->append(buffer, n);
        at += n;
    }
}

} // namespace

PosixHistoryFile::PosixHistoryFile(const QByteArray& path) : m_path(path) {}

QByteArray PosixHistoryFile::defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // A relative path is invalid there, and is ignored.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return QFile::encodeName(state + QStringLiteral("/velmorix2/historico.tsv"));
}

int PosixHistoryFile::openLocked(int flags, QString* error)
{
    // The state folder is the user's own.
    const QString folder = QFileInfo(QFile::decodeName(m_path)).absolutePath();
    if (!QDir().mkpath(folder)) {
        setError(error, QFile::encodeName(folder), errno ? errno : EACCES);
        return -1;
    }
    for (int tries = 0; tries < 10; ++tries) {
        const int fd = ::open(m_path.constData(), flags | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            setError(error, m_path, errno);
            return -1;
        }
        struct stat opened, named;
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &opened) == 0 &&
            ::stat(m_path.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
            opened.st_ino == named.st_ino)
            return fd;
        // Replaced by a rewrite while the lock was waited for: the new file is the one to use.
        ::close(fd);
    }
    setError(error, m_path, EBUSY);
    return -1;
}

bool PosixHistoryFile::append(const QByteArray& header, const QByteArray& line, QString* error)
{
    const int fd = openLocked(O_RDWR | O_APPEND, error);
    if (fd < 0)
        return false;
    QByteArray out;
    struct stat st;
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size == 0)
        out = header;
    else if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        out = History::kCutShort.toByteArray() + '\n'; // ends the line a crash cut short
    out += line;
    const bool ok = writeAll(fd, out.constData(), out.size());
    if (!ok)
        setError(error, m_path, errno);
    ::close(fd);
    return ok;
}

bool PosixHistoryFile::read(QByteArray* data, QString* error)
{
    data->clear();
    const int fd = ::open(m_path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        setError(error, m_path, errno);
        return false;
    }
    const bool ok = readAll(fd, data);
    if (!ok)
        setError(error, m_path, errno);
    ::close(fd);
    return ok;
}

bool PosixHistoryFile::rewrite(const std::function<QByteArray(const QByteArray&)>& change, QString* error)
{
    const int fd = openLocked(O_RDWR, error);
    if (fd < 0)
        return false;
    QByteArray text;
    bool ok = readAll(fd, &text);
    if (!ok)
        setError(error, m_path, errno);
    const QByteArray changed = ok ? change(text) : QByteArray();
    if (ok && changed != text) {
        // Written whole under another name, then put in its place: a crash leaves the old text.
        const QByteArray fresh = m_path + ".novo";
        const int out =
            ::open(fresh.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        int err = 0;
        if (out < 0 || !writeAll(out, changed.constData(), changed.size()) || ::fsync(out) != 0)
            err = errno;
        if (out >= 0)
            ::close(out);
        if (err == 0 && ::rename(fresh.constData(), m_path.constData()) != 0)
            err = errno;
        ok = err == 0;
        if (!ok) {
            setError(error, fresh, err);
            ::unlink(fresh.constData());
        }
    }
    ::close(fd);
    return ok;
}
