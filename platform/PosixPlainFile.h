#pragma once

#include "spool/FileServices.h"

#include <sys/stat.h>

#include <utility>

// Plain files as the POSIX file services open and read them.

/// Opens a plain file for reading, by its name in the folder's descriptor (AT_FDCWD: by its
/// path); never through a link. The descriptor, or -1 with errno set.
int openPlain(int folder, const char* name);
/// openPlain() for a spool file, through its folder.
int openPlain(const QByteArray& path);
/// The file's stat, never through a link: false when it is not there.
bool statInFolder(const QByteArray& path, struct stat* st);

FileStamp stampOf(const struct stat& st);
FileStamp stampOf(int fd);

/// Reads a plain file from its start, at an offset of its own: the descriptor may be shared.
class FdSource : public ByteSource
{
public:
    FdSource(int fd, QByteArray path) : m_fd(fd), m_path(std::move(path)) {}
    ~FdSource() override;
    qint64 read(char* data, qint64 max) override;
    QString errorString() const override { return m_error; }

private:
    int m_fd;
    QByteArray m_path;
    QString m_error;
    off_t m_offset = 0;
};
