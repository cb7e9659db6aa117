#include "tests/support/MemoryFiles.h"

#include <cstring>

namespace {

bool fail(QString* error, const QByteArray& path, const char* why)
{
    if (error)
        *error = QString::fromUtf8(path) + QStringLiteral(": ") + QLatin1String(why);
    return false;
}

QByteArrayView bareName(QByteArrayView path)
{
    return path.sliced(path.lastIndexOf('/') + 1);
}

/// Hands the bytes out in small, uneven chunks so line ends fall across reads; fails once a
/// byte budget is spent.
class Source : public ByteSource
{
public:
    Source(QByteArray data, qint64 budget, std::function<void()> during)
        : m_data(std::move(data)), m_budget(budget), m_during(std::move(during))
    {
    }
    qint64 read(char* out, qint64 max) override
    {
        if (m_budget == 0)
            return -1;
        qint64 n = std::min<qint64>({max, m_data.size() - m_pos, 1 + (m_pos * 7) % 13});
        if (m_budget > 0)
            n = std::min(n, m_budget);
        std::memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        if (m_budget > 0)
            m_budget -= n;
        if (m_during)
            m_during();
        return n;
    }
    QString errorString() const override { return QStringLiteral("read failed"); }

private:
    QByteArray m_data;
    qint64 m_pos = 0;
    qint64 m_budget; ///< bytes left before failing; negative: never fails
    std::function<void()> m_during;
};

} // namespace

void MemoryFiles::put(const QByteArray& path, const QByteArray& data)
{
    if (!files.contains(path))
        m_meta[path].inode = m_nextInode++;
    files.insert(path, data);
    m_meta[path].mtimeNs = m_nextTime++;
}

bool MemoryFiles::setMtime(const QByteArray& path, qint64 seconds)
{
    if (!files.contains(path))
        return false;
    m_meta[path].mtimeNs = seconds * 1000000000LL;
    return true;
}

bool MemoryFiles::isFolder(const QByteArray& path) const
{
    const auto it = files.lowerBound(path + '/');
    return it != files.constEnd() && it.key().startsWith(path + '/');
}

QList<QByteArray> MemoryFiles::listFiles(const QByteArray& folder, ListError* error)
{
    ++listCalls;
    const ListError why = missingFolders.contains(folder)      ? ListError::Missing
                          : unreadableFolders.contains(folder) ? ListError::Unreadable
                                                               : ListError::None;
    if (error)
        *error = why;
    const QByteArray prefix = folder == "." ? QByteArray() : folder;
    QList<QByteArray> names;
    if (why != ListError::None)
        return names;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        if (!it.key().startsWith(prefix))
            continue;
        const QByteArray name = it.key().mid(prefix.size());
        if (!name.isEmpty() && !name.contains('/') && !name.startsWith('.'))
            names.append(name);
    }
    return names;
}

QList<QByteArray> MemoryFiles::listHiddenFiles(const QByteArray& folder)
{
    const QByteArray prefix = folder == "." ? QByteArray() : folder;
    QList<QByteArray> names;
    for (auto it = files.constBegin(); it != files.constEnd(); ++it) {
        const QByteArray name = it.key().mid(prefix.size());
        if (it.key().startsWith(prefix) && name.startsWith('.') && !name.contains('/'))
            names.append(name);
    }
    return names;
}

bool MemoryFiles::isPlainFile(const QByteArray& path)
{
    return files.contains(path) && !bareName(path).startsWith('.');
}

FileStamp MemoryFiles::stamp(const QByteArray& path)
{
    FileStamp s;
    const auto it = files.constFind(path);
    if (it != files.constEnd()) {
        s.size = it->size();
        s.mtimeNs = m_meta.value(path).mtimeNs;
        s.inode = m_meta.value(path).inode;
    }
    return s;
}

bool MemoryFiles::markPrinted(const QByteArray& path, const QByteArray& mark)
{
    if (failMarks || !files.contains(path))
        return false;
    marks.insert(path, mark);
    return true;
}

std::unique_ptr<ByteSource> MemoryFiles::openRead(const QByteArray& path, QString* error)
{
    ++openCount;
    const qint64 failAfter = failReadsAfter.isEmpty() ? -2 : failReadsAfter.takeFirst();
    if (failAfter == -1 || !files.contains(path)) {
        fail(error, path, "cannot open");
        return nullptr;
    }
    return std::make_unique<Source>(files.value(path), failAfter < 0 ? -1 : failAfter, duringRead);
}

bool MemoryFiles::readFile(const QByteArray& path, QByteArray* data, QString* error)
{
    if (!files.contains(path))
        return fail(error, path, "missing");
    *data = files.value(path);
    return true;
}

bool MemoryFiles::writeFile(const QByteArray& path, const QByteArray& data, QString*)
{
    put(path, data);
    return true;
}

bool MemoryFiles::writeNewFile(const QByteArray& path, const QList<QByteArrayView>& parts, QString* error)
{
    if (files.contains(path))
        return fail(error, path, "exists");
    QByteArray all;
    for (QByteArrayView p : parts)
        all.append(p);
    put(path, all);
    return true;
}

bool MemoryFiles::remove(const QByteArray& path, QString* error)
{
    if (failRemove || !files.remove(path))
        return fail(error, path, "cannot remove");
    m_meta.remove(path);
    marks.remove(path);
    lateWrites.remove(path); // written into a file nobody can name any more
    return true;
}

bool MemoryFiles::rename(const QByteArray& from, const QByteArray& to, QString* error)
{
    if (failRename || files.contains(to) || isFolder(to) || !files.contains(from))
        return fail(error, to, "cannot rename");
    files.insert(to, files.take(from));
    m_meta.insert(to, m_meta.take(from));
    if (marks.contains(from))
        marks.insert(to, marks.take(from));
    if (lateWrites.contains(from)) {
        files[to].append(lateWrites.take(from));
        m_meta[to].mtimeNs = m_nextTime++;
    }
    return true;
}

namespace {

/// A scratch file kept in the memory files; dropping it removes it.
class MemoryScratch : public ScratchFile
{
public:
    MemoryScratch(MemoryFiles& files, QByteArray path) : m_files(files), m_path(std::move(path)) {}
    ~MemoryScratch() override { m_files.remove(m_path, nullptr); }
    qint64 read(char* out, qint64 max) override
    {
        const QByteArray& data = m_files.files[m_path];
        const qint64 n = std::min<qint64>(max, data.size() - m_pos);
        std::memcpy(out, data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    bool write(const char* data, qint64 size) override
    {
        m_files.files[m_path].append(data, size);
        return true;
    }
    bool restart() override
    {
        m_files.files[m_path].clear();
        return true;
    }
    bool rewind() override
    {
        m_pos = 0;
        return true;
    }
    QString errorString() const override { return QString(); }

private:
    MemoryFiles& m_files;
    QByteArray m_path;
    qint64 m_pos = 0;
};

} // namespace

std::unique_ptr<ScratchFile> MemoryFiles::createScratch(const QByteArray& path, QString* error)
{
    if (files.contains(path)) {
        fail(error, path, "exists");
        return nullptr;
    }
    put(path, QByteArray());
    return std::make_unique<MemoryScratch>(*this, path);
}

std::unique_ptr<FileClaim> MemoryFiles::claim(const QByteArray& path)
{
    if (!files.contains(path) || claimedElsewhere.contains(path))
        return nullptr;
    return std::make_unique<FileClaim>();
}

namespace {

/// A copy of the file as it was put away, with what a late writer added.
class MemoryPutAway : public PutAwayFile
{
public:
    MemoryPutAway(QByteArray data, const FileStamp& stamp, bool touched)
        : m_data(std::move(data)), m_stamp(stamp), m_touched(touched)
    {
    }
    bool touched() override { return m_touched; }
    bool waitForWriters(int) override { return true; }
    FileStamp stamp() override { return m_stamp; }
    std::unique_ptr<ByteSource> openRead(QString*) override
    {
        return std::make_unique<Source>(m_data, -1, nullptr);
    }

private:
    QByteArray m_data;
    FileStamp m_stamp;
    bool m_touched;
};

} // namespace

std::unique_ptr<PutAwayFile> MemoryFiles::putAway(const QByteArray& path, const QByteArray& to,
                                                  const FileStamp& expected, int, PutAwayResult* result,
                                                  QString* error)
{
    if (beforePutAway)
        beforePutAway();
    *result = PutAwayResult::Busy;
    if (beingWritten.contains(path))
        return nullptr;
    *result = PutAwayResult::Changed;
    if (stamp(path) != expected)
        return nullptr;
    QByteArray data = files.value(path);
    FileStamp held = stamp(path);
    const QByteArray late = lateWrites.take(path);
    *result = PutAwayResult::Failed;
    if (!(to.isEmpty() ? remove(path, error) : rename(path, to, error))) {
        if (!late.isEmpty())
            lateWrites.insert(path, late);
        return nullptr;
    }
    if (!late.isEmpty()) {
        data.append(late);
        held.size = data.size();
        held.mtimeNs = m_nextTime++;
        if (!to.isEmpty())
            put(to, data);
    }
    *result = PutAwayResult::Done;
    return std::make_unique<MemoryPutAway>(data, held, !late.isEmpty());
}
