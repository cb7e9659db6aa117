// The POSIX file services: enumeration, rename and the open-writer test.

#include "platform/PosixFileServices.h"
#include "platform/PosixFolderChanges.h"
#include "platform/PosixPlaces.h"
#include "spool/NameMatch.h"
#include "spool/SpoolFolder.h"

#include "tests/support/Doubles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

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
    void printedMarkStaysOnTheFile();
    void claimIsExclusiveAndFollowsTheName();
    void putAwayCatchesTheWriterOfThatMoment_data();
    void putAwayCatchesTheWriterOfThatMoment();
    void onlyScratchFilesOfEndedRunsAreRemoved();
    void folderChangesAreTold();
    void listingSaysWhyItFoundNothing_data();
    void listingSaysWhyItFoundNothing();

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

void TestFiles::printedMarkStaysOnTheFile()
{
    const QByteArray path = dir() + "REL.TXT";
    QVERIFY(writeBytes(QFile::decodeName(path), "x"));
    QCOMPARE(m_files.printedMark(path), QByteArray());
    if (!m_files.markPrinted(path, "1 2 3"))
        QSKIP("this file system keeps no extended attributes");
    QCOMPARE(PosixFileServices().printedMark(path), QByteArray("1 2 3"));
    // A mark that names a job on a queue with a long name is read whole.
    const QByteArray longMark = "1 2 3 job " + QByteArray(127, 'Q') + " 42";
    QVERIFY(m_files.markPrinted(path, longMark));
    QCOMPARE(PosixFileServices().printedMark(path), longMark);
    // The mark belongs to the file: a new file under the name has none.
    QVERIFY(m_files.remove(path, nullptr));
    QVERIFY(writeBytes(QFile::decodeName(path), "y"));
    QCOMPARE(m_files.printedMark(path), QByteArray());
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
    QTest::newRow("link loop") << "loop/" << int(ListError::Unreadable);
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
    QVERIFY(QFile::setPermissions(m_dir->filePath("locked"), QFileDevice::ExeOwner));
    ListError why = ListError::Missing;
    QVERIFY(m_files.listFiles(dir() + QFile::encodeName(folder), &why).isEmpty());
    QCOMPARE(int(why), error);
    QFile::setPermissions(m_dir->filePath("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
