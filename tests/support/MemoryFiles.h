#pragma once

#include "settings/SettingsStore.h"
#include "spool/FileServices.h"

#include <QHash>
#include <QMap>
#include <QSet>

#include <functional>

/**
 * Files held in memory, for tests and fuzzing without a disk. Paths are kept as given; a folder
 * lists the files whose path is the folder followed by a bare name. Every write gives the file
 * a new modification time; failures are switched on by the test.
 */
class MemoryFiles : public FileServices, public SettingsStore
{
public:
    QMap<QByteArray, QByteArray> files; ///< path → content, in path order
    QSet<QByteArray> beingWritten;      ///< paths some writer still holds open
    QHash<QByteArray, QByteArray> marks;
    /// Readings to fail after this many bytes (-1: fail at open), consumed one per reading.
    QList<qint64> failReadsAfter;
    QSet<QByteArray> claimedElsewhere;  ///< paths another program holds
    std::function<void()> duringRead;   ///< called after each piece a reading hands out
    QSet<QByteArray> missingFolders;    ///< folders ("/" included) that do not exist
    QSet<QByteArray> unreadableFolders; ///< folders whose names cannot be read
    /// Bytes a writer that found the file by its name just before it was renamed or removed
    /// writes after: they land in the renamed file, or in the removed one. Consumed by the move.
    QHash<QByteArray, QByteArray> lateWrites;
    std::function<void()> beforePutAway; ///< called as a put-away starts
    bool failRename = false;
    bool failRemove = false;
    bool failMarks = false; ///< a file system that keeps no marks
    int listCalls = 0;
    int openCount = 0;

    /// Puts a file in place as a writer would, with a new stamp.
    void put(const QByteArray& path, const QByteArray& data);
    /// Sets a file's modification time; false when there is no such file.
    bool setMtime(const QByteArray& path, qint64 seconds);

    QList<QByteArray> listFiles(const QByteArray& folder, ListError* error = nullptr) override;
    QList<QByteArray> listHiddenFiles(const QByteArray& folder) override;
    bool isPlainFile(const QByteArray& path) override;
    FileStamp stamp(const QByteArray& path) override;
    bool isBeingWritten(const QByteArray& path) override { return beingWritten.contains(path); }
    bool markPrinted(const QByteArray& path, const QByteArray& mark) override;
    QByteArray printedMark(const QByteArray& path) override { return marks.value(path); }
    std::unique_ptr<ByteSource> openRead(const QByteArray& path, QString* error) override;
    bool readFile(const QByteArray& path, QByteArray* data, QString* error) override;
    bool writeFile(const QByteArray& path, const QByteArray& data, QString* error) override;
    bool writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts, QString* error) override;
    bool remove(const QByteArray& path, QString* error) override;
    /// Folders here are where files are: nothing to make.
    bool makeFolder(const QByteArray&, QString*) override { return true; }
    bool rename(const QByteArray& from, const QByteArray& to, QString* error) override;
    std::unique_ptr<ScratchFile> createScratch(const QByteArray& path, QString* error) override;
    /// Scratch files here end with the test: none is left by an earlier run.
    void removeOwnLeftovers() override {}
    std::unique_ptr<FileClaim> claim(const QByteArray& path) override;
    std::unique_ptr<PutAwayFile> putAway(const QByteArray& path, const QByteArray& to,
                                         const FileStamp& expected, int waitMs, PutAwayResult* result,
                                         QString* error) override;

private:
    /// True when some file lives below the path: it is a folder.
    bool isFolder(const QByteArray& path) const;

    struct Meta
    {
        qint64 mtimeNs = 0;
        quint64 inode = 0;
    };
    QHash<QByteArray, Meta> m_meta;
    qint64 m_nextTime = 1;
    quint64 m_nextInode = 1;
};
