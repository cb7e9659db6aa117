#pragma once

#include "platform/PosixMarkStore.h"
#include "settings/SettingsStore.h"
#include "spool/FileServices.h"

#include <sys/types.h>

#include <functional>

/// The real file system, through POSIX calls; it also keeps the settings file.
class PosixFileServices : public FileServices, public SettingsStore
{
public:
    /// @p markFile: where marks go that a file cannot carry; empty for the program's state folder.
    explicit PosixFileServices(const QByteArray& markFile = QByteArray()) : m_marks(markFile) {}

    QList<QByteArray> listFiles(const QByteArray& folder, ListError* error = nullptr) override;
    QList<QByteArray> listHiddenFiles(const QByteArray& folder) override;
    bool isPlainFile(const QByteArray& path) override;
    FileStamp stamp(const QByteArray& path) override;
    bool isBeingWritten(const QByteArray& path) override;
    bool markPrinted(const QByteArray& path, const QByteArray& mark) override;
    QByteArray printedMark(const QByteArray& path) override;
    std::unique_ptr<ByteSource> openRead(const QByteArray& path, QString* error) override;
    bool readFile(const QByteArray& path, QByteArray* data, QString* error) override;
    bool writeFile(const QByteArray& path, const QByteArray& data, QString* error) override;
    bool writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts, QString* error) override;
    bool remove(const QByteArray& path, QString* error) override;
    bool makeFolder(const QByteArray& path, QString* error) override;
    bool rename(const QByteArray& from, const QByteArray& to, QString* error) override;
    std::unique_ptr<ScratchFile> createScratch(const QByteArray& path, QString* error) override;
    void removeOwnLeftovers() override;
    std::unique_ptr<FileClaim> claim(const QByteArray& path) override;
    std::unique_ptr<PutAwayFile> putAway(const QByteArray& path, const QByteArray& to,
                                         const FileStamp& expected, int waitMs, PutAwayResult* result,
                                         QString* error) override;

    /// For tests: called with the descriptor held while a file is put away, once it was found
    /// as expected and just before it is renamed or removed.
    std::function<void(int fd)> beforeMove;
    /// For tests: false makes every file refuse its mark, as a file system without extended
    /// attributes does.
    bool marksOnFiles = true;

private:
    PosixMarkStore m_marks;
};

/// True when some process holds the file open for writing, from /proc/*/fd.
bool openForWritingByAnyProcess(dev_t device, ino_t inode);
