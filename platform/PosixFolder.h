#pragma once

#include <QByteArray>

/**
 * Folders as the file services use them: a watched folder that is itself a symbolic link is
 * never followed, and every call on a name in it goes through a descriptor of the folder
 * (openat, fstatat, renameat2, unlinkat...), so a link swapped in for the folder between two
 * calls is not followed either.
 *
 * The folder is opened anew for each call: a folder renamed away and made anew, or one with a
 * mount put over it, is the new one at once, and no descriptor is held between calls that would
 * keep a removable or network file system busy.
 */
namespace PosixFolder {

/// The folder's path as open() takes it: no closing "/" (which would make the kernel follow a
/// link), "." for the current folder.
QByteArray openablePath(const QByteArray& folder);

/// Opens the folder itself, with O_DIRECTORY|O_NOFOLLOW|O_CLOEXEC added to flags; -1 with errno
/// set on a failure, ELOOP when the folder is a symbolic link.
int open(const QByteArray& folder, int flags);

/// True when the folder's own name is a symbolic link.
bool isLink(const QByteArray& folder);

} // namespace PosixFolder

/// The folder of a path, opened (O_PATH) for calls on the path's last name, and closed with it.
class FolderOfPath
{
public:
    explicit FolderOfPath(const QByteArray& path);
    ~FolderOfPath();
    FolderOfPath(const FolderOfPath&) = delete;
    FolderOfPath& operator=(const FolderOfPath&) = delete;

    /// The folder's descriptor, or -1 when it could not be opened, with the reason in error().
    int fd() const { return m_fd; }
    int error() const { return m_error; }
    /// The last name of the path, for the calls relative to fd().
    const char* name() const { return m_name.constData(); }
    /// Hands the descriptor over to the caller, who closes it.
    int release();

private:
    int m_fd = -1;
    int m_error = 0;
    QByteArray m_name;
};
