#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

/// What a spool file looked like when it was last seen: a file that changes gets a new stamp.
struct FileStamp
{
    /// The stamp as text, for marks kept on the file.
    QByteArray text() const
    {
        return QByteArray::number(size) + ' ' + QByteArray::number(mtimeNs) + ' ' + QByteArray::number(inode);
    }

    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;

    bool valid() const { return size >= 0; }
    bool operator==(const FileStamp& o) const
    {
        return size == o.size && mtimeNs == o.mtimeNs && inode == o.inode;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

/// An open file being read from its start.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    /// Reads up to max bytes; returns the count, 0 at the end, -1 on a failure.
    virtual qint64 read(char* data, qint64 max) = 0;
    virtual QString errorString() const = 0;
};

/// A file this program made for itself: created anew, written, then read back from its start.
class ScratchFile : public ByteSource
{
public:
    /// Appends bytes; false on a failure, with errorString().
    virtual bool write(const char* data, qint64 size) = 0;
    /// Empties the file and starts writing it again.
    virtual bool restart() = 0;
    /// Goes back to the start, for reading what was written.
    virtual bool rewind() = 0;
};

/// Why a folder could not be listed.
enum class ListError
{
    None,
    Missing,    ///< no such folder
    Unreadable, ///< there, but its names cannot be read
    Link        ///< the folder itself is a symbolic link, which is not followed
};

/// A spool file claimed by this program: no other program that claims files takes it meanwhile.
class FileClaim
{
public:
    virtual ~FileClaim() = default;
};

/// How putting a spool file away went.
enum class PutAwayResult
{
    Done,    ///< renamed or removed
    Busy,    ///< a writer held it open all the time waited: left in place
    Changed, ///< it is no longer as expected (gone, replaced or grown), or a writer is opening
             ///< it: left in place
    Failed   ///< the rename or removal failed
};

/**
 * A spool file that was put away, still held open. A writer that had named the file just
 * before it was put away writes into this file after: under its backup name, or removed and
 * reachable only from here.
 */
class PutAwayFile
{
public:
    virtual ~PutAwayFile() = default;
    /// True when a writer may have added to the file since it was put away.
    virtual bool touched() = 0;
    /// Waits up to waitMs for the writers that hold the file to close it; true when none does.
    virtual bool waitForWriters(int waitMs) = 0;
    virtual FileStamp stamp() = 0;
    /// Reads the file from its start.
    virtual std::unique_ptr<ByteSource> openRead(QString* error) = 0;
};

/**
 * The file system as the engine sees it. Paths are bytes, exactly as the file
 * system gives and takes them; "/" separates folders.
 */
class FileServices
{
public:
    virtual ~FileServices() = default;

    /// Bare names of the folder's plain, non-hidden files (no links, folders or special
    /// files), in the folder's own order. The folder ends in "/" or is ".". A folder that
    /// cannot be listed gives no names and says why in *error; an empty one sets None.
    /// A folder that is itself a symbolic link is not followed; the calls below on the names in
    /// a folder do not follow one either, whatever the folder became since it was listed.
    virtual QList<QByteArray> listFiles(const QByteArray& folder, ListError* error = nullptr) = 0;
    /// Bare names of the folder's plain hidden files (names starting with "."), where this
    /// program keeps print-outs whose jobs are still open.
    virtual QList<QByteArray> listHiddenFiles(const QByteArray& folder) = 0;
    /// True when the exact path names a plain, non-hidden file (not a link).
    virtual bool isPlainFile(const QByteArray& path) = 0;
    virtual FileStamp stamp(const QByteArray& path) = 0;
    /// True while some process still has the file open for writing.
    virtual bool isBeingWritten(const QByteArray& path) = 0;

    /// Marks a file as printed, on the file itself, so the mark outlives the program; false
    /// where the file system keeps no such marks.
    virtual bool markPrinted(const QByteArray& path, const QByteArray& mark) = 0;
    /// The mark set by markPrinted(), or empty.
    virtual QByteArray printedMark(const QByteArray& path) = 0;

    /// Opens a plain file for reading; never follows a link. Null with *error set on failure.
    virtual std::unique_ptr<ByteSource> openRead(const QByteArray& path, QString* error) = 0;
    /// Creates the file, or empties an existing one, and writes the bytes.
    virtual bool writeFile(const QByteArray& path, const QByteArray& data, QString* error) = 0;
    /// Creates a new file that must not exist yet (no link is followed) and writes the parts.
    virtual bool writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts, QString* error) = 0;
    virtual bool remove(const QByteArray& path, QString* error) = 0;
    /// Creates a file that must not exist yet (no link is followed). Dropping it removes it,
    /// and a record kept outside the folder lets a later run remove it should this one end first.
    virtual std::unique_ptr<ScratchFile> createScratch(const QByteArray& path, QString* error) = 0;
    /// Removes the scratch files of earlier runs of this program that ended without removing them.
    virtual void removeOwnLeftovers() = 0;
    /// Claims a spool file until the claim is dropped; null when another program holds it or
    /// the path no longer names a plain file. A file that cannot be opened gets a claim that
    /// holds nothing, so its reading reports why. Never waits.
    virtual std::unique_ptr<FileClaim> claim(const QByteArray& path) = 0;
    /// Makes the folder (its parent must exist); true when it is there, made now or before.
    virtual bool makeFolder(const QByteArray& path, QString* error) = 0;
    /// Renames; fails when the new name exists.
    virtual bool rename(const QByteArray& from, const QByteArray& to, QString* error) = 0;
    /// Renames the spool file to the name "to" (which must not exist), or removes it when "to" is
    /// empty, provided it is still as expected and no writer holds it open; writers that hold it
    /// are waited for up to waitMs. No writer can open the file unseen between the check and
    /// the rename or removal: one that does lands in the file handed back, which then says so.
    /// Null unless *result is Done.
    virtual std::unique_ptr<PutAwayFile> putAway(const QByteArray& path, const QByteArray& to,
                                                 const FileStamp& expected, int waitMs, PutAwayResult* result,
                                                 QString* error) = 0;
};
