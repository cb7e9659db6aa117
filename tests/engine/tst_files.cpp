// The POSIX file services: enumeration, rename and the open-writer test; the raw port on real
// files and FIFOs.

#include "platform/PosixFileServices.h"
#include "platform/PosixFolderChanges.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "settings/Settings.h"
#include "spool/FailureReason.h"
#include "spool/LogText.h"
#include "spool/NameMatch.h"
#include "spool/PrintJob.h"
#include "spool/SpoolFolder.h"

#include "tests/support/Doubles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

namespace {

/// The far end of a FIFO, as a device: it takes bites with pauses between them.
class FifoDevice
{
public:
    explicit FifoDevice(const QByteArray& fifo)
        : m_fd(::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~FifoDevice()
    {
        m_stop = true;
        if (m_reader.joinable())
            m_reader.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }
    /// Takes what the FIFO holds now, without waiting.
    QByteArray drain()
    {
        QByteArray got;
        char buffer[4096];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;)
            got.append(buffer, n);
        return got;
    }
    /// Reads in the background until @p total bytes came, or none for 20 s; then closes the
    /// FIFO at once when asked to hang up.
    void readInBackground(qsizetype total, qsizetype bite, int pauseMs, bool hangUp = false)
    {
        m_reader = std::thread([this, total, bite, pauseMs, hangUp] {
            QByteArray buffer(bite, Qt::Uninitialized);
            QDeadlineTimer idle(20000);
            while (m_received.size() < total && !m_stop && !idle.hasExpired()) {
                struct pollfd pfd = {m_fd, POLLIN, 0};
                ::poll(&pfd, 1, 100);
                const ssize_t n = ::read(m_fd, buffer.data(), size_t(bite));
                if (n > 0) {
                    m_received.append(buffer.constData(), n);
                    idle.setRemainingTime(20000);
                    ::usleep(useconds_t(pauseMs) * 1000);
                } else {
                    ::usleep(5000); // no writer at the moment
                }
            }
            if (hangUp) {
                ::close(m_fd);
                m_fd = -1;
            }
        });
    }
    QByteArray received()
    {
        if (m_reader.joinable())
            m_reader.join();
        return m_received;
    }

private:
    int m_fd;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
    QByteArray m_received;
};

/// A file read in parts (each at most a copy's block), with something done before each part
/// after the first.
struct PartsSource : ByteSource
{
    QList<QByteArray> parts;
    std::function<void()> between;
    qsizetype next = 0;

    qint64 read(char* data, qint64) override
    {
        if (next == parts.size())
            return 0;
        if (next > 0)
            between();
        std::memcpy(data, parts[next].constData(), size_t(parts[next].size()));
        return parts[next++].size();
    }
    QString errorString() const override { return QString(); }
};

/// Raw print-outs staged in a folder of the test's.
struct FolderPlaces : Places
{
    QByteArray folder;
    QByteArray applicationFolder() override { return folder; }
    QByteArray currentDirectory() override { return folder; }
};

/// Numbered lines, some hundreds of KB: more than a pipe holds.
QList<QByteArray> manyLines(int count)
{
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i)
        lines.append(QByteArray::number(i).rightJustified(6, '0') + ' ' + QByteArray(73, char('a' + i % 26)));
    return lines;
}

QByteArray rawBytes(const QList<QByteArray>& lines)
{
    QByteArray bytes;
    for (const QByteArray& line : lines)
        bytes += line + "\r\n";
    return bytes;
}

/// A second process that opens the file with a shell redirection and keeps it open.
class Holder
{
public:
    bool start(const QString& redirection, const QString& path)
    {
        // exec replaces the shell, so the process killed is the one holding the file.
        m_process.start(QStringLiteral("sh"),
                        {QStringLiteral("-c"),
                         QStringLiteral("exec 3%1'%2'; echo ready; exec sleep 60").arg(redirection, path)});
        return m_process.waitForReadyRead(10000) && m_process.readAll().startsWith("ready");
    }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    ~Holder()
    {
        if (m_process.state() != QProcess::NotRunning)
            stop();
    }

private:
    QProcess m_process;
};

/// The matching files in name order, as the watch cycle takes them.
QList<QByteArray> matches(FileServices& files, const QByteArray& pattern)
{
    QList<QByteArray> names = matchingFiles(files, pattern);
    std::sort(names.begin(), names.end(), nameLess);
    return names;
}

QByteArray firstMatch(FileServices& files, const QByteArray& pattern)
{
    const QList<QByteArray> names = matches(files, pattern);
    return names.isEmpty() ? QByteArray() : names.first();
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void onlyPlainFilesMatch();
    void orderIgnoresCase();
    void nameWithoutWildcardsIsExistenceTest_data();
    void nameWithoutWildcardsIsExistenceTest();
    void patternWithoutFolderUsesCurrentDirectory();
    void patternsThatMatchNothing_data();
    void patternsThatMatchNothing();
    void renameRefusesToReplace();
    void openWriter_data();
    void openWriter();
    void writersComingAndGoingDoNotKillTheReader();
    void writeFileNeverFollowsLinks();
    void printedMarkStaysOnTheFile_data();
    void printedMarkStaysOnTheFile();
    void claimIsExclusiveAndFollowsTheName();
    void putAwayCatchesTheWriterOfThatMoment_data();
    void putAwayCatchesTheWriterOfThatMoment();
    void onlyScratchFilesOfEndedRunsAreRemoved();
    void folderChangesAreTold();
    void listingSaysWhyItFoundNothing_data();
    void listingSaysWhyItFoundNothing();
    void folderSwappedForLinkIsNotFollowed();
    void folderMadeAnewIsUsedAtOnce();
    void logShowsOneLine_data();
    void logShowsOneLine();
    void rawPortCreatesOnlyPlainFiles_data();
    void rawPortCreatesOnlyPlainFiles();
    void rawPortToAFifoDevice_data();
    void rawPortToAFifoDevice();
    void rawRetrySendsOnlyWhatTheDeviceDidNotTake_data();
    void rawRetrySendsOnlyWhatTheDeviceDidNotTake();

private:
    QByteArray dir() const { return QFile::encodeName(m_dir->path()) + '/'; }

    std::unique_ptr<QTemporaryDir> m_dir;
    PosixFileServices m_files;
};

void TestFiles::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFiles::onlyPlainFilesMatch()
{
    const QString d = m_dir->path() + '/';
    QVERIFY(writeBytes(d + "A.TXT", "a"));
    QVERIFY(writeBytes(d + "EMPTY.TXT", ""));
    QVERIFY(QDir().mkdir(d + "FOLDER.TXT"));
    QVERIFY(writeBytes(d + ".HIDDEN.TXT", "h"));
    QVERIFY(QFile::link(d + "A.TXT", d + "LINK.TXT"));
    QVERIFY(QFile::link(d + "FOLDER.TXT", d + "LINKDIR.TXT"));
    QVERIFY(QFile::link(d + "MISSING", d + "DANGLING.TXT"));
    QCOMPARE(::mkfifo(QFile::encodeName(d + "FIFO.TXT").constData(), 0600), 0);

    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(sock >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray sockPath = QFile::encodeName(d + "SOCK.TXT");
    QVERIFY(size_t(sockPath.size()) < sizeof addr.sun_path);
    std::memcpy(addr.sun_path, sockPath.constData(), size_t(sockPath.size()));
    QCOMPARE(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    QCOMPARE(matches(m_files, dir() + "*.TXT"), (QList<QByteArray>{"A.TXT", "EMPTY.TXT"}));
    QCOMPARE(matches(m_files, dir() + "*"), (QList<QByteArray>{"A.TXT", "EMPTY.TXT"}));
    for (const char* name :
         {"FOLDER.TXT", ".HIDDEN.TXT", "LINK.TXT", "LINKDIR.TXT", "DANGLING.TXT", "FIFO.TXT", "SOCK.TXT"}) {
        QVERIFY2(matches(m_files, dir() + name).isEmpty(), name);
        QVERIFY2(!m_files.isPlainFile(dir() + name), name);
    }
    QVERIFY(m_files.isPlainFile(dir() + "EMPTY.TXT"));
    ::close(sock);
}

void TestFiles::orderIgnoresCase()
{
    for (const char* name : {"rel.txt", "b.TXT", "REL.TXT", "A.txt", "c.txt", "Rel.Txt", "_X.TXT", "1.TXT"})
        QVERIFY(writeBytes(m_dir->filePath(QString::fromLatin1(name)), name));
    const QList<QByteArray> names = matches(m_files, dir() + "*.TXT");
    QCOMPARE(names.size(), 8);
    QList<QByteArray> lower;
    for (const QByteArray& n : names)
        lower.append(n.toLower());
    QCOMPARE(lower, (QList<QByteArray>{"1.txt", "_x.txt", "a.txt", "b.txt", "c.txt", "rel.txt", "rel.txt",
                                       "rel.txt"}));
    for (const char* name : {"rel.txt", "REL.TXT", "Rel.Txt"})
        QVERIFY2(names.contains(name), name);
    // Every enumeration starts anew and gives the same answer.
    QCOMPARE(matches(m_files, dir() + "*.TXT"), names);
    QCOMPARE(firstMatch(m_files, dir() + "*.TXT"), QByteArray("1.TXT"));
}

void TestFiles::nameWithoutWildcardsIsExistenceTest_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("found");

    QTest::newRow("existing file") << QByteArray("REL.TXT") << QByteArray("REL.TXT");
    QTest::newRow("other case gives the file's own name") << QByteArray("rel.txt") << QByteArray("REL.TXT");
    QTest::newRow("name without dot") << QByteArray("REL") << QByteArray("REL");
    QTest::newRow("missing") << QByteArray("NONE.TXT") << QByteArray();
    QTest::newRow("folder") << QByteArray("SUB") << QByteArray();
    QTest::newRow("hidden") << QByteArray(".REL.TXT") << QByteArray();
    QTest::newRow("link") << QByteArray("LINK.TXT") << QByteArray();
}

void TestFiles::nameWithoutWildcardsIsExistenceTest()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, found);

    const QString d = m_dir->path() + '/';
    QVERIFY(writeBytes(d + "REL.TXT", "x"));
    QVERIFY(writeBytes(d + "REL", "x"));
    QVERIFY(writeBytes(d + ".REL.TXT", "x"));
    QVERIFY(QDir().mkdir(d + "SUB"));
    QVERIFY(QFile::link(d + "REL.TXT", d + "LINK.TXT"));
    QCOMPARE(firstMatch(m_files, dir() + name), found);
}

void TestFiles::patternWithoutFolderUsesCurrentDirectory()
{
    const QString before = QDir::currentPath();
    QVERIFY(writeBytes(m_dir->filePath("A.TXT"), "a"));
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const QList<QByteArray> bare = matches(m_files, "*.TXT");
    const QByteArray exists = firstMatch(m_files, "A.TXT");
    const QByteArray cwd = PosixPlaces().currentDirectory();
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(bare, QList<QByteArray>{"A.TXT"});
    QCOMPARE(exists, QByteArray("A.TXT"));
    QCOMPARE(QFileInfo(QFile::decodeName(cwd)).canonicalFilePath(),
             QFileInfo(m_dir->path()).canonicalFilePath());
}

void TestFiles::patternsThatMatchNothing_data()
{
    QTest::addColumn<QByteArray>("relative");
    QTest::newRow("empty last component") << QByteArray("");
    QTest::newRow("missing folder") << QByteArray("NOFOLDER/*.TXT");
    QTest::newRow("folder is a file") << QByteArray("A.TXT/*");
    QTest::newRow("other extension") << QByteArray("*.PRN");
    QTest::newRow("dot") << QByteArray(".");
    QTest::newRow("dot dot") << QByteArray("..");
}

void TestFiles::patternsThatMatchNothing()
{
    QFETCH(QByteArray, relative);
    QVERIFY(writeBytes(m_dir->filePath("A.TXT"), "a"));
    QCOMPARE(matches(m_files, dir() + relative), QList<QByteArray>());
}

void TestFiles::renameRefusesToReplace()
{
    const QString d = m_dir->path() + '/';
    QVERIFY(writeBytes(d + "REL.TXT", "new"));
    QVERIFY(writeBytes(d + "REL.bak", "old"));
    QString error;
    QVERIFY(!m_files.rename(dir() + "REL.TXT", dir() + "REL.bak", &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readAll(d + "REL.TXT"), QByteArray("new"));
    QCOMPARE(readAll(d + "REL.bak"), QByteArray("old"));

    QVERIFY(m_files.remove(dir() + "REL.bak", &error));
    QVERIFY2(m_files.rename(dir() + "REL.TXT", dir() + "REL.bak", &error), qPrintable(error));
    QVERIFY(!QFile::exists(d + "REL.TXT"));
    QCOMPARE(readAll(d + "REL.bak"), QByteArray("new"));
    QVERIFY(!m_files.remove(dir() + "REL.TXT", &error));
}

void TestFiles::openWriter_data()
{
    QTest::addColumn<QString>("redirection");
    QTest::addColumn<bool>("writing");

    QTest::newRow("append") << ">>" << true;
    QTest::newRow("truncate") << ">" << true;
    QTest::newRow("read and write") << "<>" << true;
    QTest::newRow("read only") << "<" << false;
}

// Both the lease test and the /proc scan that stands in where leases are not allowed.
void TestFiles::openWriter()
{
    QFETCH(QString, redirection);
    QFETCH(bool, writing);

    const QString path = m_dir->filePath("HELD.TXT");
    QVERIFY(writeBytes(path, "partial print-out\r\n"));
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st;
    QCOMPARE(::stat(bytes.constData(), &st), 0);

    QVERIFY(!m_files.isBeingWritten(bytes));
    QVERIFY(!openForWritingByAnyProcess(st.st_dev, st.st_ino));

    Holder holder;
    QVERIFY(holder.start(redirection, path));
    QCOMPARE(m_files.isBeingWritten(bytes), writing);
    QCOMPARE(openForWritingByAnyProcess(st.st_dev, st.st_ino), writing);

    holder.stop();
    QVERIFY(!m_files.isBeingWritten(bytes));
    QVERIFY(!openForWritingByAnyProcess(st.st_dev, st.st_ino));
    QVERIFY(!m_files.isBeingWritten(dir() + "MISSING.TXT"));
}

// Asking whether a file is being written must not hurt a program that opens it for writing at
// that very moment, nor the one that asks.
void TestFiles::writersComingAndGoingDoNotKillTheReader()
{
    const QString path = m_dir->filePath("BUSY.TXT");
    QVERIFY(writeBytes(path, "x"));
    const QByteArray bytes = QFile::encodeName(path);

    const pid_t writer = ::fork();
    QVERIFY(writer >= 0);
    if (writer == 0) {
        for (;;) {
            const int fd = ::open(bytes.constData(), O_WRONLY | O_APPEND);
            if (fd >= 0)
                ::close(fd);
        }
    }
    const pid_t asker = ::fork();
    if (asker == 0) {
        PosixFileServices files;
        for (int i = 0; i < 100000; ++i)
            files.isBeingWritten(bytes);
        ::_exit(0);
    }
    int status = 0;
    const pid_t waited = asker > 0 ? ::waitpid(asker, &status, 0) : -1;
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    QVERIFY(asker > 0 && waited == asker);
    QVERIFY2(
        WIFEXITED(status) && WEXITSTATUS(status) == 0,
        qPrintable(QStringLiteral("ended by signal %1").arg(WIFSIGNALED(status) ? WTERMSIG(status) : 0)));
}

void TestFiles::writeFileNeverFollowsLinks()
{
    const QString d = m_dir->path() + '/';
    QVERIFY(writeBytes(d + "private", "secret"));
    QVERIFY(QFile::link(d + "private", d + "VELMORIX.INI"));
    QString error;
    QVERIFY(!m_files.writeFile(QFile::encodeName(d + "VELMORIX.INI"), "LOCAL = \r\n", &error));
    QVERIFY(!error.isEmpty());
    QFile f(d + "private");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("secret"));
}

void TestFiles::printedMarkStaysOnTheFile_data()
{
    QTest::addColumn<bool>("onFile");
    QTest::newRow("on the file") << true;
    // A file that cannot carry a mark (no extended attributes, another user's file in a shared
    // folder) has it kept in the program's own state folder, by the file's identity.
    QTest::newRow("in the state folder") << false;
}

void TestFiles::printedMarkStaysOnTheFile()
{
    QFETCH(bool, onFile);
    const QByteArray marks = dir() + "state/marks";
    auto files = [&] {
        auto made = std::make_unique<PosixFileServices>(marks);
        made->marksOnFiles = onFile;
        return made;
    };
    const QByteArray path = dir() + "REL.TXT";
    QVERIFY(writeBytes(QFile::decodeName(path), "x"));
    QCOMPARE(files()->printedMark(path), QByteArray());
    if (!files()->markPrinted(path, "1 2 3"))
        QSKIP("this file system keeps no extended attributes");
    QCOMPARE(files()->printedMark(path), QByteArray("1 2 3"));
    QCOMPARE(QFile::exists(QFile::decodeName(marks)), !onFile);
    // A mark that names a job on a queue with a long name is read whole, also after a rename.
    const QByteArray longMark = "1 2 3 job " + QByteArray(127, 'Q') + " 42";
    QVERIFY(files()->markPrinted(path, longMark));
    QVERIFY(m_files.rename(path, dir() + "REL.bak", nullptr));
    QCOMPARE(files()->printedMark(dir() + "REL.bak"), longMark);
    QVERIFY(files()->markPrinted(dir() + "REL.bak", QByteArray()));
    QCOMPARE(files()->printedMark(dir() + "REL.bak"), QByteArray());
    // The mark belongs to the file: a new file under the name has none.
    QVERIFY(m_files.rename(dir() + "REL.bak", path, nullptr));
    QVERIFY(files()->markPrinted(path, "1 2 3"));
    QVERIFY(m_files.remove(path, nullptr));
    QVERIFY(writeBytes(QFile::decodeName(path), "y"));
    if (onFile)
        QCOMPARE(files()->printedMark(path), QByteArray());
}

void TestFiles::claimIsExclusiveAndFollowsTheName()
{
    QVERIFY(writeBytes(m_dir->filePath("A.TXT"), "a"));
    const QByteArray path = dir() + "A.TXT";
    std::unique_ptr<FileClaim> first = m_files.claim(path);
    QVERIFY(first);
    QVERIFY(!m_files.claim(path)); // another program's claim, as far as the lock can tell
    // The holder puts the file away before it lets go: the name no longer names what it held.
    QVERIFY(m_files.rename(path, dir() + "A.bak", nullptr));
    QVERIFY(writeBytes(m_dir->filePath("A.TXT"), "new"));
    first.reset();
    QVERIFY(m_files.claim(path));
    QVERIFY(!m_files.claim(dir() + "MISSING.TXT"));
    // Nobody holds a file that cannot be opened: the reading that follows says why (the fault
    // suite checks it for root's programs run as another user).
    QVERIFY(writeBytes(m_dir->filePath("LOCKED.TXT"), "x"));
    QVERIFY(QFile::setPermissions(m_dir->filePath("LOCKED.TXT"), QFileDevice::Permissions()));
    if (::geteuid() != 0)
        QVERIFY(m_files.claim(dir() + "LOCKED.TXT"));
}

void TestFiles::putAwayCatchesTheWriterOfThatMoment_data()
{
    QTest::addColumn<QByteArray>("to");
    QTest::newRow("backup") << QByteArray("REL.bak");
    QTest::newRow("deletion") << QByteArray();
}

// A file is put away only while no writer holds it; a writer that opens it by its name at the
// very moment it goes writes into the file handed back, which says so and holds what it wrote.
void TestFiles::putAwayCatchesTheWriterOfThatMoment()
{
    QFETCH(QByteArray, to);
    const QByteArray path = dir() + "REL.TXT";
    const QByteArray moved = to.isEmpty() ? QByteArray() : dir() + to;
    QVERIFY(writeBytes(QFile::decodeName(path), "PART 1\r\n"));
    const FileStamp printed = m_files.stamp(path);
    PutAwayResult result = PutAwayResult::Done;

    Holder holder;
    QVERIFY(holder.start(QStringLiteral(">>"), QFile::decodeName(path)));
    QVERIFY(!m_files.putAway(path, moved, printed, 0, &result, nullptr));
    QCOMPARE(result, PutAwayResult::Busy);
    holder.stop();
    QVERIFY(!m_files.putAway(path, moved, FileStamp(), 0, &result, nullptr));
    QCOMPARE(result, PutAwayResult::Changed);
    QVERIFY(m_files.isPlainFile(path));

    pid_t writer = -1;
    bool leases = true;
    m_files.beforeMove = [&](int fd) {
        leases = ::fcntl(fd, F_GETLEASE) == F_RDLCK;
        if (!leases)
            return;
        writer = ::fork();
        if (writer == 0) {
            const int out = ::open(path.constData(), O_WRONLY | O_APPEND);
            ::_exit(out >= 0 && ::write(out, "PART 2\r\n", 8) == 8 && ::close(out) == 0 ? 0 : 1);
        }
        // The writer has found the file and waits in open() for the lease to be given back.
        for (int i = 0; i < 10000 && ::fcntl(fd, F_GETLEASE) == F_RDLCK; ++i)
            ::usleep(1000);
    };
    std::unique_ptr<PutAwayFile> held = m_files.putAway(path, moved, printed, 0, &result, nullptr);
    int status = -1;
    if (writer > 0)
        ::waitpid(writer, &status, 0);
    if (!leases)
        QSKIP("no leases here");
    QCOMPARE(result, PutAwayResult::Done);
    QVERIFY(held);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(!m_files.isPlainFile(path));
    QVERIFY(held->touched());
    QVERIFY(held->waitForWriters(10000));
    QCOMPARE(held->stamp().size, 16);
    std::unique_ptr<ByteSource> in = held->openRead(nullptr);
    QVERIFY(in);
    char bytes[64];
    QCOMPARE(QByteArray(bytes, int(in->read(bytes, sizeof bytes))), QByteArray("PART 1\r\nPART 2\r\n"));
    if (!moved.isEmpty())
        QCOMPARE(readAll(QFile::decodeName(moved)), QByteArray("PART 1\r\nPART 2\r\n"));
}

void TestFiles::onlyScratchFilesOfEndedRunsAreRemoved()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", dir());
    const QByteArray records = dir() + "velmorix2/";
    {
        std::unique_ptr<ScratchFile> scratch = m_files.createScratch(dir() + "temp1.BAK", nullptr);
        QVERIFY(scratch && scratch->write("x", 1));
        QVERIFY(!m_files.createScratch(dir() + "temp1.BAK", nullptr));
        QCOMPARE(m_files.listFiles(records).size(), 1);
    }
    QVERIFY(!m_files.isPlainFile(dir() + "temp1.BAK"));
    QVERIFY(m_files.listFiles(records).isEmpty());

    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    for (const char* name : {"tempDEAD.BAK", "tempLIVE.BAK", "tempOTHER.BAK"})
        QVERIFY(writeBytes(m_dir->filePath(QString::fromLatin1(name)), name));
    QVERIFY(writeBytes(QFile::decodeName(records) + QStringLiteral("scratch-%1-0").arg(ended),
                       dir() + "tempDEAD.BAK"));
    QVERIFY(writeBytes(QFile::decodeName(records) + QStringLiteral("scratch-%1-9").arg(::getpid()),
                       dir() + "tempLIVE.BAK"));
    m_files.removeOwnLeftovers();
    qputenv("XDG_RUNTIME_DIR", runtime);
    QVERIFY(!m_files.isPlainFile(dir() + "tempDEAD.BAK"));
    QVERIFY(m_files.isPlainFile(dir() + "tempLIVE.BAK"));
    QVERIFY(m_files.isPlainFile(dir() + "tempOTHER.BAK"));
}

void TestFiles::folderChangesAreTold()
{
    PosixFolderChanges changes;
    QVERIFY(changes.takeChanges(dir())); // a folder not watched yet is read once
    QVERIFY(!changes.takeChanges(dir()));
    QVERIFY(writeBytes(m_dir->filePath("NEW.TXT"), "new"));
    QVERIFY(QTest::qWaitFor([&] { return changes.takeChanges(dir()); }, 5000));
    QVERIFY(!changes.takeChanges(dir()));
    QVERIFY(changes.takeChanges(dir() + "missing/")); // cannot be watched: always read
    QVERIFY(changes.takeChanges(dir() + "missing/"));

    // Several folders are watched at once, each told on its own.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("other")));
    QVERIFY(changes.takeChanges(dir() + "other/"));
    QVERIFY(QTest::qWaitFor([&] { return changes.takeChanges(dir()); }, 5000)); // "other" came
    QVERIFY(writeBytes(m_dir->filePath("other/NEW.TXT"), "new"));
    QVERIFY(QTest::qWaitFor([&] { return changes.takeChanges(dir() + "other/"); }, 5000));
    QVERIFY(!changes.takeChanges(dir()));
    changes.watchOnly({dir()});
    QVERIFY(changes.takeChanges(dir() + "other/")); // no longer watched: read once, as new
}

void TestFiles::listingSaysWhyItFoundNothing_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("error");
    QTest::newRow("empty") << "empty/" << int(ListError::None);
    QTest::newRow("missing") << "missing/" << int(ListError::Missing);
    QTest::newRow("a file") << "A.TXT/" << int(ListError::Missing);
    QTest::newRow("link loop") << "loop/" << int(ListError::Link);
    QTest::newRow("link to a folder") << "linked/" << int(ListError::Link);
    QTest::newRow("through a link loop") << "loop/sub/" << int(ListError::Unreadable);
    if (::geteuid() != 0) // root reads every folder
        QTest::newRow("no permission") << "locked/" << int(ListError::Unreadable);
}

void TestFiles::listingSaysWhyItFoundNothing()
{
    QFETCH(QString, folder);
    QFETCH(int, error);
    QDir here(m_dir->path());
    QVERIFY(here.mkdir(QStringLiteral("empty")) && here.mkdir(QStringLiteral("locked")));
    QVERIFY(writeBytes(m_dir->filePath("A.TXT"), "a") && writeBytes(m_dir->filePath("locked/B.TXT"), "b"));
    QVERIFY(QFile::link(QStringLiteral("loop"), m_dir->filePath("loop")));
    QVERIFY(QFile::link(QStringLiteral("empty"), m_dir->filePath("linked")));
    QVERIFY(QFile::setPermissions(m_dir->filePath("locked"), QFileDevice::ExeOwner));
    ListError why = ListError::Missing;
    QVERIFY(m_files.listFiles(dir() + QFile::encodeName(folder), &why).isEmpty());
    QCOMPARE(int(why), error);
    QFile::setPermissions(m_dir->filePath("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// The watched folder replaced by a link to another folder: nothing in that folder is listed,
// read, marked, claimed, renamed or removed, and the log says why.
void TestFiles::folderSwappedForLinkIsNotFollowed()
{
    QDir here(m_dir->path());
    QVERIFY(here.mkdir(QStringLiteral("spool")) && here.mkdir(QStringLiteral("victim")));
    QVERIFY(writeBytes(m_dir->filePath("spool/A.TXT"), "a"));
    QVERIFY(writeBytes(m_dir->filePath("victim/PRIVATE.TXT"), "secret"));
    const QByteArray spool = dir() + "spool/";
    QCOMPARE(m_files.listFiles(spool), QList<QByteArray>{"A.TXT"});
    QVERIFY(QDir(m_dir->filePath("spool")).removeRecursively());
    QVERIFY(QFile::link(QStringLiteral("victim"), m_dir->filePath("spool")));

    ListError why = ListError::None;
    QVERIFY(matchingFiles(m_files, spool, {spool + "*.TXT"}, &why).isEmpty());
    QCOMPARE(int(why), int(ListError::Link));
    QCOMPARE(
        folderProblem(spool, why, spool + "*.TXT"),
        QStringLiteral("Pasta %1spool é um link simbólico, que não é seguido; use o caminho da pasta real")
            .arg(m_dir->path() + '/'));
    QVERIFY(matchingFiles(m_files, spool, {spool + "PRIVATE.TXT"}).isEmpty());

    const QByteArray path = spool + "PRIVATE.TXT";
    QString error;
    QVERIFY(!m_files.isPlainFile(path));
    QVERIFY(!m_files.stamp(path).valid());
    QVERIFY(!m_files.claim(path));
    QVERIFY(!m_files.openRead(path, &error));
    QVERIFY(!m_files.markPrinted(path, "1 2 3"));
    QVERIFY(!m_files.rename(path, spool + "PRIVATE.bak", &error));
    QVERIFY(!m_files.remove(path, &error));
    QVERIFY(!m_files.createScratch(spool + "temp.BAK", &error));
    QCOMPARE(QDir(m_dir->filePath("victim")).entryList(QDir::Files), QStringList{"PRIVATE.TXT"});
    QCOMPARE(readAll(m_dir->filePath("victim/PRIVATE.TXT")), QByteArray("secret"));
}

// The watched folder renamed away and made anew: the next reading lists the new folder, the
// names read are used in it, and its changes are told from then on.
void TestFiles::folderMadeAnewIsUsedAtOnce()
{
    QDir here(m_dir->path());
    QVERIFY(here.mkdir(QStringLiteral("spool")));
    QVERIFY(writeBytes(m_dir->filePath("spool/A.TXT"), "old a"));
    const QByteArray spool = dir() + "spool/";
    PosixFolderChanges changes;
    QVERIFY(changes.takeChanges(spool));
    QCOMPARE(m_files.listFiles(spool), QList<QByteArray>{"A.TXT"});
    QVERIFY(!changes.takeChanges(spool));

    QVERIFY(here.rename(QStringLiteral("spool"), QStringLiteral("old")));
    QVERIFY(here.mkdir(QStringLiteral("spool")));
    QVERIFY(changes.takeChanges(spool)); // another folder: read at once, without waiting for events
    QVERIFY(writeBytes(m_dir->filePath("spool/A.TXT"), "new a"));
    QVERIFY(writeBytes(m_dir->filePath("spool/B.TXT"), "new b"));
    QVERIFY(QTest::qWaitFor([&] { return changes.takeChanges(spool); }, 5000));
    QCOMPARE(matches(m_files, spool + "*.TXT"), (QList<QByteArray>{"A.TXT", "B.TXT"}));
    QVERIFY(m_files.rename(spool + "A.TXT", spool + "A.bak", nullptr));
    QVERIFY(m_files.claim(spool + "B.TXT"));
    QCOMPARE(readAll(m_dir->filePath("spool/A.bak")), QByteArray("new a"));
    QCOMPARE(readAll(m_dir->filePath("old/A.TXT")), QByteArray("old a"));
    QVERIFY(!changes.takeChanges(spool));
}

void TestFiles::logShowsOneLine_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "Arquivo /a/REL.TXT impresso"
                           << "Arquivo /a/REL.TXT impresso";
    QTest::newRow("accents and symbols") << "Relatório ção ÇÃO ü ß € ½ é"
                                         << "Relatório ção ÇÃO ü ß € ½ é";
    QTest::newRow("line feed, forged line")
        << "Arquivo /a/X\n<3>Arquivo NOTA.TXT não impresso (fila parada) impresso"
        << "Arquivo /a/X\\x0A<3>Arquivo NOTA.TXT não impresso (fila parada) impresso";
    QTest::newRow("carriage return") << "A\rB"
                                     << "A\\x0DB";
    QTest::newRow("escape sequence") << "A\x1b[2J\x1b]0;t\x07"
                                        "B"
                                     << "A\\x1B[2J\\x1B]0;t\\x07B";
    QTest::newRow("tab") << "A\tB"
                         << "A\\x09B";
    QTest::newRow("NUL") << QString(QChar(0)) << "\\x00";
    QTest::newRow("DEL") << "A\x7f"
                         << "A\\x7F";
    QTest::newRow("C1 (CSI, NEL)") << "A\u009b2J\u0085"
                                   << "A\\x9B2J\\x85";
    QTest::newRow("line and paragraph separators") << "A\u2028B\u2029"
                                                   << "A\\u2028B\\u2029";
    QTest::newRow("no-break space stays") << "A\u00a0B"
                                          << "A\u00a0B";
    QTest::newRow("backslash stays, shown twice is shown once") << "A\\x0AB"
                                                                << "A\\x0AB";
}

void TestFiles::logShowsOneLine()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(shownInLog(text), shown);
    QCOMPARE(shownInLog(shown), shown);
}

void TestFiles::rawPortCreatesOnlyPlainFiles_data()
{
    QTest::addColumn<QByteArray>("port"); ///< in the temporary folder unless absolute
    QTest::addColumn<bool>("created");
    QTest::newRow("plain file in a folder that exists") << QByteArray("port.prn") << true;
    QTest::newRow("folder missing") << QByteArray("missing/port.prn") << false;
    QTest::newRow("device missing under /dev") << QByteArray("/dev/velmorix-test-lp0") << false;
    QTest::newRow("device name half typed") << QByteArray("/dev/usb/lp") << false;
    QTest::newRow("device name elsewhere") << QByteArray("lp0") << false;
    QTest::newRow("folder linked to /dev") << QByteArray("devices/velmorix-test-lp0") << false;
    QTest::newRow("link to a device that vanished") << QByteArray("printer") << false;
}

void TestFiles::rawPortCreatesOnlyPlainFiles()
{
    QFETCH(QByteArray, port);
    QFETCH(bool, created);
    QVERIFY(QFile::link(QStringLiteral("/dev"), m_dir->filePath(QStringLiteral("devices"))));
    QVERIFY(
        QFile::link(QStringLiteral("/dev/velmorix-test-lp1"), m_dir->filePath(QStringLiteral("printer"))));
    const QByteArray path = port.startsWith('/') ? port : dir() + port;
    PartsSource source;
    source.parts = {"LINE\r\n"};
    QString error;
    const bool sent = PosixRawPort().copyToDevice(source, path, 1000, &error);
    const bool exists = QFileInfo::exists(QFile::decodeName(path));
    // Made where it must not be: taken away again, so the next run starts clean.
    for (const char* made : {"/dev/velmorix-test-lp0", "/dev/velmorix-test-lp1"})
        QFile::remove(QString::fromLatin1(made));
    QCOMPARE(sent, created);
    QCOMPARE(exists, created);
    if (created)
        QCOMPARE(readAll(QFile::decodeName(path)), QByteArray("LINE\r\n"));
    else
        QCOMPARE(motivo_falha(error), QStringLiteral("dispositivo inexistente"));
}

void TestFiles::rawPortToAFifoDevice_data()
{
    QTest::addColumn<bool>("switchedOff");
    // A slow printer: a bite at a time, and all the bites together take longer than the time
    // limit, which only a device that takes nothing for that long reaches.
    QTest::newRow("slow reader: all of it") << false;
    // The printer takes the first part and is switched off before the rest is written: the
    // copy writes to a FIFO without reader, and fails; the program lives on.
    QTest::newRow("reader gone: the first part") << true;
}

void TestFiles::rawPortToAFifoDevice()
{
    QFETCH(bool, switchedOff);
    const QByteArray fifo = dir() + "lpt";
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    FifoDevice device(fifo);
    QVERIFY(device.isOpen());
    const QByteArray bytes = rawBytes(manyLines(2500));
    PartsSource source;
    source.parts = {bytes.first(1000), bytes.sliced(1000)};
    source.between = [&] {
        if (switchedOff) {
            device.readInBackground(1000, 1000, 0, true);
            device.received();
        }
    };
    if (!switchedOff)
        device.readInBackground(bytes.size(), 2048, 20);
    QString error;
    qint64 sent = 0;
    QCOMPARE(PosixRawPort().copyToDevice(source, fifo, 500, &error, &sent), !switchedOff);
    QCOMPARE(device.received(), switchedOff ? bytes.first(1000) : bytes);
    QCOMPARE(sent, device.received().size());
    if (switchedOff)
        QCOMPARE(motivo_falha(error), QStringLiteral("dispositivo desconectado"));
}

void TestFiles::rawRetrySendsOnlyWhatTheDeviceDidNotTake_data()
{
    QTest::addColumn<bool>("rewritten");
    QTest::newRow("same print-out: the rest") << false;
    QTest::newRow("file written anew: whole") << true;
}

void TestFiles::rawRetrySendsOnlyWhatTheDeviceDidNotTake()
{
    QFETCH(bool, rewritten);
    const QByteArray fifo = dir() + "lpt";
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    FifoDevice device(fifo); // open, and reading nothing: the printer ran out of paper
    QVERIFY(device.isOpen());
    const QByteArray spool = dir() + "REL.TXT";
    QVERIFY(m_files.writeFile(spool, "REL", nullptr));
    const QList<QByteArray> lines = manyLines(2500);

    Settings settings;
    settings.raw = OnOff(QStringLiteral("1"));
    settings.port = QFile::decodeName(fifo);
    RecordingPrinter printer;
    TestFileServices files;
    FolderPlaces places;
    places.folder = dir();
    PosixRawPort port;
    ImpressaoConteudo job(settings, printer, files, files, port, places);
    job.setRawTimeoutMs(300);
    auto print = [&](const QByteArray& path, QString* error) {
        std::unique_ptr<StreamedPrint> out =
            job.beginLines(error, QStringLiteral("REL.TXT"), PrintOutSource{path, files.stamp(path)});
        if (!out)
            return false;
        out->begin(0);
        for (const QByteArray& line : lines)
            out->line(line);
        return out->finish(error);
    };

    QString error;
    QVERIFY(!print(spool, &error));
    const QByteArray first = device.drain();
    QVERIFY(!first.isEmpty());
    QCOMPARE(motivo_falha(error), QStringLiteral("tempo esgotado, %1 de %2 bytes enviados")
                                      .arg(first.size())
                                      .arg(rawBytes(lines).size()));
    // Another print-out would come out in the middle of this one: it waits for the rest.
    QVERIFY(m_files.writeFile(dir() + "OUTRO.TXT", "OUTRO", nullptr));
    QVERIFY(!print(dir() + "OUTRO.TXT", &error));
    QVERIFY2(error.contains("REL.TXT"), qPrintable(error));

    if (rewritten)
        QVERIFY(m_files.writeFile(spool, "RELATORIO NOVO", nullptr));
    const QByteArray rest = rewritten ? rawBytes(lines) : rawBytes(lines).mid(first.size());
    device.readInBackground(rest.size(), 64 * 1024, 0);
    QVERIFY2(print(spool, &error), qPrintable(error));
    QCOMPARE(device.received(), rest);
    QCOMPARE(device.drain(), QByteArray());
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
