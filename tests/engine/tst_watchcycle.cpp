// The watch cycle over spool folders held in memory: animation, printing, backups, deletion, and
// the files that must be left alone.

#include "settings/Settings.h"
#include "spool/Places.h"
#include "spool/PrintError.h"
#include "spool/PrintJob.h"
#include "spool/WatchCycle.h"
#include "tests/support/Doubles.h"
#include "tests/support/ManualClock.h"
#include "tests/support/ManualFolderChanges.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/RecordingRawPort.h"

#include <QFile>
#include <QtTest>

namespace {

/// Everything a watch cycle talks to, around one spool folder held in memory.
struct Rig
{
    explicit Rig(const QString& subfolder = QString())
    {
        folder = QStringLiteral("/spool") + (subfolder.isEmpty() ? QString() : '/' + subfolder);
        settings.pattern = folder + QStringLiteral("/*.TXT");
        cycle = std::make_unique<WatchCycle>(settings, files, clock, asker, job, window, timer);
    }
    QString path(const QString& name) const { return folder + '/' + name; }
    QByteArray bytesPath(const QString& name) const { return QFile::encodeName(path(name)); }
    QString line(const QString& name, const char* end) const
    {
        return QStringLiteral("Arquivo ") + path(name) + QString::fromUtf8(end);
    }
    bool put(const QString& name, const QByteArray& bytes)
    {
        files.put(bytesPath(name), bytes);
        return true;
    }
    bool append(const QString& name, const QByteArray& bytes)
    {
        files.put(bytesPath(name), files.files.value(bytesPath(name)) + bytes);
        return true;
    }
    bool exists(const QString& name) const { return files.files.contains(bytesPath(name)); }
    QByteArray read(const QString& name) const { return files.files.value(bytesPath(name), "<missing>"); }
    /// Bare names of the folder's files, in name order.
    QStringList fileNames() const
    {
        QStringList names;
        for (const QByteArray& name : QList<QByteArray>(files.files.keys()))
            if (name.startsWith(QFile::encodeName(folder) + '/'))
                names.append(QFile::decodeName(name.mid(QFile::encodeName(folder).size() + 1)));
        return names;
    }
    void tick() { cycle->Movimento_Timer(); }
    /// Ticks once the retry pause and the job poll interval are over.
    void later(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i) {
            clock.clockMs += WatchCycle::kFirstRetryMs;
            tick();
        }
    }
    /// The hidden names print-outs wait under while their jobs are open.
    QStringList waitingCopies() const
    {
        return fileNames().filter(QRegularExpression(QStringLiteral("^\\.")));
    }

    QString folder;
    Settings settings;
    MemoryFiles files;
    ManualClock clock;
    ScriptedAsker asker;
    RecordingPrintJob job;
    RecordingWindow window;
    ManualTimer timer;
    std::unique_ptr<WatchCycle> cycle;
};

} // namespace

class TestWatchCycle : public QObject
{
    Q_OBJECT

private slots:
    void deleteModePrintsAndDeletesEveryFile_data();
    void deleteModePrintsAndDeletesEveryFile();
    void backupModeReplacesOlderBackup();
    void backupNames_data();
    void backupNames();
    void deleteModeUnlessBackupIsExactlyOne_data();
    void deleteModeUnlessBackupIsExactlyOne();
    void emptyPatternOnlyTellsTheToolTip();
    void patternWithoutFolderUsesBareNames();
    void timerIsOffWhileAFileIsHandled();
    void fileAppearingDuringTickIsHandled();

    void notPrintedFileStays_data();
    void notPrintedFileStays();
    void partAppendedWhilePrintingIsPrintedToo_data();
    void partAppendedWhilePrintingIsPrintedToo();
    void replacedWhilePrintingIsPrintedAsNew();
    void printedMarkOutlivesARestart();
    void failedDisposalIsLoggedAndNotPrintedAgain_data();
    void failedDisposalIsLoggedAndNotPrintedAgain();
    void oldBackupThatCannotGoKeepsTheFile();
    void declinedFileIsNotAskedAboutUntilItChanges();
    void tooLargeFileIsSetAsideUntilItShrinks();
    void cutShortCommandIsToldAfterPrinted();
    void failedPrintingIsRetriedAfterGrowingPause();
    void successEndsThePauseOfFilesHeldBack();
    void printOutActions();
    void reprintPutsABackupBackUnderAFreeName_data();
    void reprintPutsABackupBackUnderAFreeName();
    void failedSecondReadingIsRetriedLater();
    void failedFileWaitsForALaterTickEvenAfterALongOne();
    void failuresAreToldOncePerBurst_data();
    void failuresAreToldOncePerBurst();
    void failureReasons_data();
    void failureReasons();
    void backupsAreNeverPickedUp_data();
    void backupsAreNeverPickedUp();
    void fileStillBeingWrittenWaits();
    void longLinesPrintNormally();
    void noTickInsideATick_data();
    void noTickInsideATick();
    void requestsBetweenTicks_data();
    void requestsBetweenTicks();

    void rewrittenFileIsPrintedWholeAgain_data();
    void rewrittenFileIsPrintedWholeAgain();
    void rawJobsStreamThroughTemporaryFilesOfTheirOwn();
    void fileClaimedElsewhereIsPassedBy();
    void folderIsReadOncePerBatchAndOnlyWhenChanged();
    void disposalWaitsForTheJob_data();
    void disposalWaitsForTheJob();
    void restartAsksAboutTheMarkedJob_data();
    void restartAsksAboutTheMarkedJob();
    void eachPrintOutKeepsItsOwnText_data();
    void eachPrintOutKeepsItsOwnText();
    void printOutsWaitingForJobsAreFollowed();
    void pendingJobsCostOneQuestionAQueue();
    void severalPatterns_data();
    void severalPatterns();
    void keptFolderKeepsItsRetries();
    void eachFolderIsReadOnlyWhenItChanged();
    void patternsThatCannotWorkAreToldOnce_data();
    void patternsThatCannotWorkAreToldOnce();
};

namespace {

/// The working folder of raw mode, in the memory files.
class MemoryPlaces : public Places
{
public:
    QByteArray applicationFolder() override { return "/app"; }
    QByteArray currentDirectory() override { return "/work"; }
};

/// A watch cycle over the rig's files with the real print job, raw to a recording port.
struct RawRig
{
    explicit RawRig(Rig& rig)
        : job(rig.settings, printer, rig.files, rig.clock, port, places),
          cycle(rig.settings, rig.files, rig.clock, rig.asker, job, rig.window, rig.timer)
    {
        rig.settings.raw = OnOff(QStringLiteral("1"));
        rig.settings.port = QStringLiteral("/dev/lp0");
    }
    RecordingRawPort port;
    MemoryPlaces places;
    RecordingPrinter printer;
    ImpressaoConteudo job;
    WatchCycle cycle;
};

} // namespace

void TestWatchCycle::deleteModePrintsAndDeletesEveryFile_data()
{
    QTest::addColumn<QString>("subfolder");
    QTest::newRow("plain folder") << QString();
    QTest::newRow("folder with Latin letters") << QStringLiteral("relatórios");
}

void TestWatchCycle::deleteModePrintsAndDeletesEveryFile()
{
    QFETCH(QString, subfolder);
    Rig rig(subfolder);
    QVERIFY(rig.put("A.TXT", "AAA\r\nA\r\n"));
    QVERIFY(rig.put("B.TXT", "BB\r\n"));
    QVERIFY(rig.put("NOTE.DOC", "not a spool file"));
    rig.timer.setEnabled(true);

    rig.tick();

    QCOMPARE(rig.window.logLines,
             (QStringList{rig.line("B.TXT", " excluido"), rig.line("B.TXT", " impresso"),
                          rig.line("A.TXT", " excluido"), rig.line("A.TXT", " impresso")}));
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nAAA\r\nA", "\r\nBB"}));
    QCOMPARE(rig.job.measures, (QList<qint16>{3, 2}));
    QCOMPARE(rig.fileNames(), QStringList{"NOTE.DOC"});
    QVERIFY(rig.asker.prompts.isEmpty());
    QVERIFY(rig.timer.isEnabled());
}

void TestWatchCycle::backupModeReplacesOlderBackup()
{
    Rig rig;
    rig.settings.backup = OnOff(QStringLiteral("1"));
    QVERIFY(rig.put("REL.TXT", "new report\r\n"));
    QVERIFY(rig.put("REL.bak", "old report\r\n"));

    rig.tick();

    QCOMPARE(rig.window.logLines,
             (QStringList{rig.line("REL.TXT", " impresso"), rig.line("REL.TXT", " impresso")}));
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nnew report"});
    QCOMPARE(rig.fileNames(), QStringList{"REL.bak"});
    QCOMPARE(rig.read("REL.bak"), QByteArray("new report\r\n"));

    rig.tick();
    QCOMPARE(rig.job.texts.size(), 1);
    QCOMPARE(rig.window.logLines.size(), 2);
}

void TestWatchCycle::backupNames_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("backup");

    QTest::newRow("extension") << "*.TXT"
                               << "REL.TXT"
                               << "REL.bak";
    QTest::newRow("lower-case extension") << "*.TXT"
                                          << "rel.txt"
                                          << "rel.bak";
    QTest::newRow("several dots") << "*.TXT"
                                  << "A.B.TXT"
                                  << "A.B.bak";
    QTest::newRow("no dot") << "*"
                            << "REL"
                            << "_REL.BAK";
    QTest::newRow("dot at the end") << "*"
                                    << "REL."
                                    << "REL.bak";
    QTest::newRow("exact name") << "REL"
                                << "REL"
                                << "_REL.BAK";
}

void TestWatchCycle::backupNames()
{
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    QFETCH(QString, backup);

    Rig rig;
    rig.settings.backup = OnOff(QStringLiteral("1"));
    rig.settings.pattern = rig.folder + '/' + pattern;
    QVERIFY(rig.put(name, "report"));

    rig.tick();
    rig.tick(); // the backup is not picked up again, whatever the pattern

    QCOMPARE(rig.fileNames(), QStringList{backup});
    QCOMPARE(rig.read(backup), QByteArray("report"));
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nreport"});
    QCOMPARE(rig.window.logLines, (QStringList{rig.line(name, " impresso"), rig.line(name, " impresso")}));
}

void TestWatchCycle::deleteModeUnlessBackupIsExactlyOne_data()
{
    QTest::addColumn<QString>("backup");
    for (const char* value : {"0", "", " 1", "1 ", "11", "l", "\t1"})
        QTest::newRow(qPrintable(QStringLiteral("\"%1\"").arg(QString::fromLatin1(value))))
            << QString::fromLatin1(value);
}

void TestWatchCycle::deleteModeUnlessBackupIsExactlyOne()
{
    QFETCH(QString, backup);
    Rig rig;
    rig.settings.backup = OnOff(backup);
    QVERIFY(rig.put("REL.TXT", "x"));
    rig.tick();
    QCOMPARE(rig.window.logLines,
             (QStringList{rig.line("REL.TXT", " excluido"), rig.line("REL.TXT", " impresso")}));
    QCOMPARE(rig.fileNames(), QStringList());
}

void TestWatchCycle::emptyPatternOnlyTellsTheToolTip()
{
    Rig rig;
    rig.settings.pattern.clear();
    QVERIFY(rig.put("A.TXT", "a"));
    rig.files.put("A.TXT", "a"); // in the current directory too
    rig.tick();
    rig.tick();

    QCOMPARE(rig.window.trayTips, (QStringList{"Velmorix ativo...", "Velmorix ativo..."}));
    QCOMPARE(rig.files.listCalls, 0);
    QVERIFY(rig.job.texts.isEmpty());
    QVERIFY(rig.window.logLines.isEmpty());
    QVERIFY(rig.exists("A.TXT"));
    QVERIFY(rig.files.files.contains("A.TXT"));
}

void TestWatchCycle::patternWithoutFolderUsesBareNames()
{
    Rig rig;
    rig.settings.pattern = QStringLiteral("*.TXT");
    // Bare names are in the current directory.
    rig.files.put("A.TXT", "a");
    rig.files.put("SUB/B.TXT", "b");
    rig.tick();

    QCOMPARE(rig.window.logLines, (QStringList{QStringLiteral("Arquivo A.TXT excluido"),
                                               QStringLiteral("Arquivo A.TXT impresso")}));
    QVERIFY(!rig.files.files.contains("A.TXT"));
    QVERIFY(rig.files.files.contains("SUB/B.TXT"));
}

void TestWatchCycle::timerIsOffWhileAFileIsHandled()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a"));
    QVERIFY(rig.put("B.TXT", "b"));
    QList<bool> enabledDuringPrint;
    QList<int> logLinesBeforePrint;
    QList<WindowServices::Activity> activityDuringPrint;
    rig.job.duringPrint = [&] {
        enabledDuringPrint.append(rig.timer.isEnabled());
        activityDuringPrint.append(rig.window.activities.value(rig.window.activities.size() - 1));
        logLinesBeforePrint.append(rig.window.logLines.size());
    };
    QList<bool> switched;
    rig.timer.onEnabled = [&](bool on) { switched.append(on); };

    rig.timer.setEnabled(false); // the window had stopped it: the cycle turns it on after every file
    switched.clear();
    rig.tick();

    QCOMPARE(enabledDuringPrint, (QList<bool>{false, false}));
    QCOMPARE(switched, (QList<bool>{false, true, false, true}));
    QVERIFY(rig.timer.isEnabled());
    // The window is told: the tray icon holds still while a file is in hand.
    using Activity = WindowServices::Activity;
    QCOMPARE(activityDuringPrint, (QList<Activity>{Activity::Busy, Activity::Busy}));
    QCOMPARE(rig.window.activities.last(), Activity::Watching);
    // The "impresso" line comes once the print job has taken the file, never before.
    QCOMPARE(logLinesBeforePrint, (QList<int>{0, 2}));
}

void TestWatchCycle::fileAppearingDuringTickIsHandled()
{
    Rig rig;
    QVERIFY(rig.put("B.TXT", "b"));
    rig.job.duringPrint = [&] {
        if (rig.job.texts.isEmpty())
            QVERIFY(rig.put("A.TXT", "late")); // sorts before the file being printed
    };
    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nb", "\r\nlate"}));
    QCOMPARE(rig.window.logLines.size(), 4);
    QCOMPARE(rig.window.logLines.first(), rig.line("A.TXT", " excluido"));
    QCOMPARE(rig.fileNames(), QStringList());
}

// A file that was not printed is neither deleted nor renamed, and gets one line.
void TestWatchCycle::notPrintedFileStays_data()
{
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("reason");

    const char* reasons[] = {" não impresso (/spool/A.TXT: cannot open)", " não impresso (read failed)",
                             " não impresso (refused)"};
    for (const char* backup : {"0", "1"}) {
        int i = 0;
        for (const char* cause : {"declined", "second reading failed", "print job failed"})
            QTest::addRow("%s, %s", backup[0] == '1' ? "backup" : "delete", cause)
                << QString::fromLatin1(backup) << QString::fromLatin1(cause)
                << QString::fromUtf8(reasons[i++]);
    }
}

void TestWatchCycle::notPrintedFileStays()
{
    QFETCH(QString, backup);
    QFETCH(QString, cause);
    QFETCH(QString, reason);

    Rig rig;
    rig.settings.backup = OnOff(backup);
    QVERIFY(rig.put("A.TXT", "spool text\r\n"));
    int printCalls = 0;
    rig.job.duringPrint = [&] { ++printCalls; };
    if (cause == QLatin1String("declined")) {
        rig.files.failReadsAfter = {-1};
        rig.asker.answers = {Asker::Answer::No};
    } else if (cause == QLatin1String("second reading failed")) {
        rig.files.failReadsAfter = {-1, 4};
        rig.asker.answers = {Asker::Answer::Yes};
    } else {
        rig.job.fail = true;
    }

    rig.tick();

    QCOMPARE(rig.window.logLines, QStringList{rig.line("A.TXT", reason.toUtf8().constData())});
    QCOMPARE(rig.fileNames(), QStringList{"A.TXT"});
    QCOMPARE(rig.read("A.TXT"), QByteArray("spool text\r\n"));
    QCOMPARE(printCalls, cause == QLatin1String("print job failed") ? 1 : 0);
    QVERIFY(rig.timer.isEnabled());
}

void TestWatchCycle::failedDisposalIsLoggedAndNotPrintedAgain_data()
{
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("delete") << "0"
                            << " não excluido";
    QTest::newRow("backup") << "1"
                            << " não renomeado";
}

void TestWatchCycle::failedDisposalIsLoggedAndNotPrintedAgain()
{
    QFETCH(QString, backup);
    QFETCH(QString, lastLine);

    Rig rig;
    rig.settings.backup = OnOff(backup);
    rig.files.failRemove = true;
    rig.files.failRename = true;
    QVERIFY(rig.put("A.TXT", "first\r\n"));
    QVERIFY(rig.files.setMtime(rig.bytesPath("A.TXT"), 1000000));
    QVERIFY(rig.put("B.TXT", "b\r\n"));
    // Should the tick keep printing the same file, let it end after a while all the same.
    rig.job.duringPrint = [&] {
        if (rig.job.texts.size() > 20)
            rig.files.failRemove = rig.files.failRename = false;
    };

    rig.tick();
    const QStringList once{rig.line("B.TXT", qPrintable(lastLine)), rig.line("B.TXT", " impresso"),
                           rig.line("A.TXT", qPrintable(lastLine)), rig.line("A.TXT", " impresso")};
    QCOMPARE(rig.window.logLines, once);
    QCOMPARE(rig.job.texts.size(), 2);

    rig.clock.clockMs += 3600 * 1000;
    rig.tick(); // unchanged: nothing to do
    QCOMPARE(rig.window.logLines, once);
    QCOMPARE(rig.job.texts.size(), 2);

    // A new print-out under the same name, even of the same size, is printed again.
    QVERIFY(rig.put("A.TXT", "secnd\r\n"));
    QVERIFY(rig.files.setMtime(rig.bytesPath("A.TXT"), 2000000));
    rig.files.failRemove = rig.files.failRename = false;
    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nfirst", "\r\nb", "\r\nsecnd"}));
    QCOMPARE(rig.window.logLines.size(), 6);
    QCOMPARE(rig.fileNames().contains("A.TXT"), false);
    QCOMPARE(rig.fileNames().contains("B.TXT"), true);
}

// An old backup that is a folder can be neither deleted nor replaced: the spool file stays.
void TestWatchCycle::oldBackupThatCannotGoKeepsTheFile()
{
    Rig rig;
    rig.settings.backup = OnOff(QStringLiteral("1"));
    QVERIFY(rig.put("REL.TXT", "report\r\n"));
    QVERIFY(rig.put("REL.bak/inside", "x"));

    rig.tick();
    rig.tick();

    QCOMPARE(rig.window.logLines,
             (QStringList{rig.line("REL.TXT", " não renomeado"), rig.line("REL.TXT", " impresso")}));
    QCOMPARE(rig.job.texts.size(), 1);
    QCOMPARE(rig.read("REL.TXT"), QByteArray("report\r\n"));
    QVERIFY(rig.exists("REL.bak/inside"));
}

void TestWatchCycle::declinedFileIsNotAskedAboutUntilItChanges()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "locked\r\n"));
    QVERIFY(rig.files.setMtime(rig.bytesPath("A.TXT"), 1000000));
    rig.files.failReadsAfter = {-1, -1, -1, -1};
    rig.asker.answers = {Asker::Answer::No, Asker::Answer::No, Asker::Answer::No};

    rig.tick();
    QCOMPARE(rig.asker.prompts.size(), 1);
    rig.clock.clockMs += 3600 * 1000;
    rig.tick();
    rig.tick();
    QCOMPARE(rig.asker.prompts.size(), 1);
    QCOMPARE(rig.window.logLines.size(), 1);

    // Written anew: asked again, and this time it can be read.
    QVERIFY(rig.put("A.TXT", "LOCKED\r\n"));
    QVERIFY(rig.files.setMtime(rig.bytesPath("A.TXT"), 2000000));
    rig.files.failReadsAfter.clear();
    rig.tick();
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nLOCKED"});
    QVERIFY(!rig.exists("A.TXT"));
}

void TestWatchCycle::tooLargeFileIsSetAsideUntilItShrinks()
{
    Rig rig;
    rig.job.limit = 10;
    QVERIFY(rig.put("A.TXT", "0123456789\r\n"));
    QVERIFY(rig.put("B.TXT", "b\r\n"));

    rig.tick(); // A is set aside; B, after it, prints
    rig.clock.clockMs += 3600 * 1000;
    rig.tick();
    rig.tick();
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nb"});
    QCOMPARE(rig.fileNames(), QStringList{"A.TXT"});
    QCOMPARE(rig.read("A.TXT"), QByteArray("0123456789\r\n"));
    QCOMPARE(rig.window.logLines.filter(QStringLiteral("A.TXT")),
             QStringList{
                 rig.line("A.TXT", " não impresso (arquivo grande demais: 12 bytes, o limite é 10 bytes)")});
    QCOMPARE(rig.files.openCount, 1);
    QVERIFY(rig.asker.prompts.isEmpty());

    QVERIFY(rig.put("A.TXT", "short\r\n"));
    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nb", "\r\nshort"}));
    QVERIFY(!rig.exists("A.TXT"));
}

void TestWatchCycle::cutShortCommandIsToldAfterPrinted()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    rig.job.cutShort = true;
    rig.tick();
    QCOMPARE(
        rig.window.logLines,
        (QStringList{
            rig.line("A.TXT", " excluido"),
            rig.line("A.TXT", ": comando de impressora incompleto no fim; o resto foi impresso como texto"),
            rig.line("A.TXT", " impresso")}));
}

void TestWatchCycle::successEndsThePauseOfFilesHeldBack()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    QVERIFY(rig.put("B.TXT", "b\r\n"));
    rig.job.fail = true;
    rig.tick();
    rig.later(4); // the pauses have grown past a minute's worth of ticks
    // The printer is back; a newer file comes first, and those held back follow in name order at
    // once, not after their pause.
    rig.job.fail = false;
    QVERIFY(rig.put("C.TXT", "c\r\n"));
    rig.clock.clockMs += 1000;
    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nc", "\r\na", "\r\nb"}));
    QCOMPARE(rig.fileNames(), QStringList());
}

void TestWatchCycle::printOutActions()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    rig.job.fail = true;
    rig.tick();
    QList<PrintOut> list = rig.cycle->printOuts().snapshot();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].path, rig.path("A.TXT"));
    QCOMPARE(list[0].size, 3);
    QCOMPARE(list[0].reason, QStringLiteral("refused"));
    QCOMPARE(list[0].nextTryMs, WatchCycle::kFirstRetryMs);

    // "Imprimir agora": tried at the next tick, with no pause.
    QString message;
    QVERIFY(rig.cycle->printOuts().act(PrintOuts::Action::Retry, QStringLiteral("A.TXT"), &message));
    QCOMPARE(rig.window.logLines.first(), rig.line("A.TXT", ": impressão pedida agora"));
    const int failures = rig.job.failures;
    rig.clock.clockMs += 1000;
    rig.tick();
    QCOMPARE(rig.job.failures, failures + 1);

    // "Remover da fila" moves the file aside, never deletes it nor one already there.
    QVERIFY(rig.cycle->printOuts().act(PrintOuts::Action::Remove, rig.path("A.TXT"), &message));
    QVERIFY(rig.put("A.TXT", "second\r\n"));
    rig.clock.clockMs += 1000;
    rig.tick();
    QVERIFY(rig.cycle->printOuts().act(PrintOuts::Action::Remove, QStringLiteral("A.TXT"), &message));
    QCOMPARE(message, QStringLiteral("Arquivo %1 removido da fila: guardado em %2")
                          .arg(rig.path("A.TXT"), rig.path("separados/A-1.TXT")));
    QCOMPARE(rig.read("separados/A.TXT"), QByteArray("a\r\n"));
    QCOMPARE(rig.read("separados/A-1.TXT"), QByteArray("second\r\n"));
    QVERIFY(rig.cycle->printOuts().snapshot().isEmpty());
    QVERIFY(!rig.cycle->printOuts().act(PrintOuts::Action::Remove, QStringLiteral("A.TXT"), &message));

    // Gone from the list, the file set aside prints no more.
    rig.job.fail = false;
    rig.later(2);
    QVERIFY(rig.job.texts.isEmpty());
}

void TestWatchCycle::reprintPutsABackupBackUnderAFreeName_data()
{
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("expected");
    QTest::newRow("backup of REL.TXT") << "REL.bak" << QStringList() << "REL.TXT";
    QTest::newRow("name taken: never overwritten") << "REL.bak" << QStringList{"REL.TXT"} << "REL-1.TXT";
    QTest::newRow("two names taken") << "REL.bak" << QStringList{"REL.TXT", "REL-1.TXT"} << "REL-2.TXT";
    QTest::newRow("backup of a name without dot") << "_REL.BAK" << QStringList() << "REL.TXT";
    QTest::newRow("kept when the job was forgotten")
        << "REL.TXT~Q~17.bak" << QStringList{"REL.TXT"} << "REL-1.TXT";
}

void TestWatchCycle::reprintPutsABackupBackUnderAFreeName()
{
    QFETCH(QString, backup);
    QFETCH(QStringList, taken);
    QFETCH(QString, expected);
    Rig rig;
    rig.job.fail = true; // what is taken stays in the folder as it is
    for (const QString& name : taken)
        QVERIFY(rig.put(name, name.toLatin1()));
    QVERIFY(rig.put(backup, "old report\r\n"));
    rig.tick();
    QString message;
    QVERIFY2(rig.cycle->printOuts().act(PrintOuts::Action::Reprint, backup, &message), qPrintable(message));
    QCOMPARE(rig.read(expected), QByteArray("old report\r\n"));
    QVERIFY(!rig.exists(backup));
    for (const QString& name : taken)
        QCOMPARE(rig.read(name), name.toLatin1());
    // A spool name is no backup to reprint.
    QVERIFY(!rig.cycle->printOuts().act(PrintOuts::Action::Reprint, expected, &message));

    rig.job.fail = false;
    rig.later(1);
    QVERIFY(rig.job.texts.contains("\r\nold report"));
}

void TestWatchCycle::failedPrintingIsRetriedAfterGrowingPause()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    QVERIFY(rig.put("B.TXT", "b\r\n"));
    int attemptsOnA = 0;
    rig.job.duringPrint = [&] {
        rig.job.fail = ++attemptsOnA == 1; // A comes first and fails; B prints
    };

    rig.tick(); // A fails; B, unaffected, prints
    QCOMPARE(attemptsOnA, 2);
    attemptsOnA = 1;
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nb"});
    QVERIFY(!rig.exists("B.TXT"));

    // From now on A keeps failing; count the pause before each new attempt.
    rig.job.duringPrint = [&] {
        rig.job.fail = true;
        ++attemptsOnA;
    };
    QList<qint64> pauses;
    qint64 since = rig.clock.clockMs;
    for (int step = 0; step < 40 * 60 && pauses.size() < 9; ++step) {
        rig.clock.clockMs += 1000;
        const int before = attemptsOnA;
        rig.tick();
        QVERIFY(attemptsOnA - before <= 1);
        if (attemptsOnA > before) {
            pauses.append((rig.clock.clockMs - since) / 1000);
            since = rig.clock.clockMs;
        }
    }
    QCOMPARE(pauses, (QList<qint64>{5, 10, 20, 40, 80, 160, 300, 300, 300}));
    QCOMPARE(rig.window.logLines.count(rig.line("A.TXT", " não impresso (refused)")), 10);
    QCOMPARE(rig.window.notices.size(), 1); // one episode, however many retries
    QVERIFY(rig.exists("A.TXT"));

    // Once the printer takes it again the file goes the usual way.
    rig.job.duringPrint = nullptr;
    rig.job.fail = false;
    rig.clock.clockMs += 300 * 1000;
    rig.tick();
    QCOMPARE(rig.job.texts.last(), QByteArray("\r\na"));
    QCOMPARE(rig.window.logLines.first(), rig.line("A.TXT", " excluido"));
    QVERIFY(!rig.exists("A.TXT"));
    rig.tick();
    QCOMPARE(rig.window.trayTips.last(), QStringLiteral("Velmorix ativo...")); // nothing waits
    QCOMPARE(rig.window.notices.size(), 1);
}

void TestWatchCycle::failedSecondReadingIsRetriedLater()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    rig.files.failReadsAfter = {-1, -1};
    rig.asker.answers = {Asker::Answer::Yes};

    rig.tick();
    rig.tick();
    QCOMPARE(rig.asker.prompts.size(), 1);
    QCOMPARE(rig.window.logLines,
             QStringList{rig.line("A.TXT", " não impresso (/spool/A.TXT: cannot open)")});

    rig.clock.clockMs += 5000;
    rig.tick();
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\na"});
    QVERIFY(!rig.exists("A.TXT"));
}

// A slow print of another file lets the pause run out within the tick; the retry still waits.
void TestWatchCycle::failedFileWaitsForALaterTickEvenAfterALongOne()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    QVERIFY(rig.put("B.TXT", "b\r\n"));
    int calls = 0;
    rig.job.duringPrint = [&] {
        rig.job.fail = ++calls == 1;
        if (calls == 2)
            rig.clock.clockMs += 10 * 60 * 1000;
    };
    rig.tick();
    QCOMPARE(calls, 2);
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nb"});
    QVERIFY(rig.exists("A.TXT"));

    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nb", "\r\na"}));
    QVERIFY(!rig.exists("A.TXT"));
}

void TestWatchCycle::failuresAreToldOncePerBurst_data()
{
    QTest::addColumn<QList<int>>("dropAt"); // the second each file appears, all failing
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("tip");

    const QString one = QStringLiteral("Arquivo não impresso");
    QTest::newRow("one file") << QList<int>{0} << QStringList{one}
                              << "Velmorix ativo... 1 arquivo aguardando";
    QTest::newRow("folder full at start")
        << QList<int>{0, 0, 0, 0, 0} << QStringList{QStringLiteral("5 arquivos não impressos")}
        << "Velmorix ativo... 5 arquivos aguardando";
    QTest::newRow("a few seconds after the first")
        << QList<int>{0, 1, 2, 4} << QStringList{one, QStringLiteral("3 arquivos não impressos")}
        << "Velmorix ativo... 4 arquivos aguardando";
    QTest::newRow("far apart") << QList<int>{0, 20} << QStringList{one, one}
                               << "Velmorix ativo... 2 arquivos aguardando";
}

void TestWatchCycle::failuresAreToldOncePerBurst()
{
    QFETCH(QList<int>, dropAt);
    QFETCH(QStringList, titles);
    QFETCH(QString, tip);

    Rig rig;
    rig.job.fail = true;
    for (int second = 0; second <= 40; ++second) {
        for (int i = 0; i < dropAt.size(); ++i)
            if (dropAt[i] == second)
                QVERIFY(rig.put(QStringLiteral("F%1.TXT").arg(i), "x\r\n"));
        rig.tick();
        rig.clock.clockMs += 1000;
    }
    QStringList shown;
    for (const QString& notice : rig.window.notices)
        shown.append(notice.section(u'|', 0, 0));
    QCOMPARE(shown, titles);
    QVERIFY(rig.window.notices.first().contains(rig.line("F0.TXT", " não impresso (refused)")));
    QCOMPARE(rig.window.trayTips.last(), tip);
}

void TestWatchCycle::failureReasons_data()
{
    QTest::addColumn<PrintError>("error");
    QTest::addColumn<QString>("reason");

    auto sys = [](int err) {
        return QStringLiteral("/dev/usb/lp0: ") + QString::fromLocal8Bit(strerror(err));
    };
    using Kind = PrintError::Kind;
    QTest::newRow("queue stopped") << PrintError(Kind::QueueStopped, "printer Q is stopped") << "fila parada";
    QTest::newRow("queue rejecting") << PrintError(
                                            Kind::Rejected,
                                            "printer Q refused the job: Destino \"Q\" não aceita trabalhos. "
                                            "[server-error-not-accepting-jobs]")
                                     << "trabalho recusado";
    QTest::newRow("no such queue") << PrintError(Kind::NoSuchPrinter, "printer Q refused the job: x")
                                   << "impressora inexistente";
    QTest::newRow("no device") << PrintError::fromErrno(ENXIO, sys(ENXIO)) << "dispositivo inexistente";
    QTest::newRow("permission") << PrintError::fromErrno(EACCES, sys(EACCES)) << "permissão negada";
    QTest::newRow("disk full") << PrintError::fromErrno(ENOSPC, sys(ENOSPC)) << "sem espaço no disco";
    QTest::newRow("timeout") << PrintError::fromErrno(ETIMEDOUT, sys(ETIMEDOUT)) << "tempo esgotado";
    QTest::newRow("unknown: the system's text") << PrintError::fromErrno(EMLINK, sys(EMLINK)) << sys(EMLINK);
    // The file services still tell their errors as text: its system message gives the kind.
    QTest::newRow("file error as text") << PrintError::fromSystemText(sys(EACCES)) << "permissão negada";
    QTest::newRow("part sent") << PrintError::fromErrno(ETIMEDOUT, sys(ETIMEDOUT)).withProgress(5, 9)
                               << "tempo esgotado, 5 de 9 bytes enviados";
    QTest::newRow("none") << PrintError() << QString();
}

void TestWatchCycle::failureReasons()
{
    QFETCH(PrintError, error);
    QFETCH(QString, reason);
    QCOMPARE(motivo_falha(error), reason);
}

void TestWatchCycle::backupsAreNeverPickedUp_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("backup");
    QTest::addColumn<bool>("matchesSpoolFile");
    QTest::newRow("*.* delete mode") << "*.*"
                                     << "0" << true;
    QTest::newRow("*.* backup mode") << "*.*"
                                     << "1" << true;
    QTest::newRow("* backup mode") << "*"
                                   << "1" << true;
    QTest::newRow("*.bak") << "*.bak"
                           << "1" << false;
    QTest::newRow("exact backup name") << "OLD.bak"
                                       << "0" << false;
}

void TestWatchCycle::backupsAreNeverPickedUp()
{
    QFETCH(QString, pattern);
    QFETCH(QString, backup);
    QFETCH(bool, matchesSpoolFile);

    Rig rig;
    rig.settings.pattern = rig.folder + '/' + pattern;
    rig.settings.backup = OnOff(backup);
    const QStringList backups{"OLD.bak", "X.BAK", "_Y.BAK", "z.Bak"};
    for (const QString& name : backups)
        QVERIFY(rig.put(name, "kept"));

    rig.tick();
    rig.tick();
    QVERIFY(rig.job.texts.isEmpty());
    QVERIFY(rig.window.logLines.isEmpty());

    if (matchesSpoolFile) {
        QVERIFY(rig.put("REL.TXT", "r"));
        rig.tick();
        rig.tick();
        QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nr"});
        QCOMPARE(rig.window.logLines.size(), 2);
    }
    for (const QString& name : backups)
        QCOMPARE(rig.read(name), QByteArray("kept"));
}

void TestWatchCycle::fileStillBeingWrittenWaits()
{
    Rig rig;
    QVERIFY(rig.put("A.TXT", "first half\r\n"));
    QVERIFY(rig.put("B.TXT", "b\r\n"));
    rig.files.beingWritten.insert(rig.bytesPath("A.TXT"));

    rig.tick();
    rig.tick();
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nb"});
    QVERIFY(rig.asker.prompts.isEmpty());
    QCOMPARE(rig.window.logLines.size(), 2);
    QVERIFY(rig.exists("A.TXT"));

    QVERIFY(rig.append("A.TXT", "second half\r\n"));
    rig.files.beingWritten.clear();

    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nb", "\r\nfirst half\r\nsecond half"}));
    QVERIFY(!rig.exists("A.TXT"));
}

void TestWatchCycle::longLinesPrintNormally()
{
    Rig rig;
    const QByteArray longLine(40000, 'L');
    QVERIFY(rig.put("LONG.TXT", "top\r\n" + longLine + "\r\n"));
    rig.tick();
    QCOMPARE(rig.job.measures, QList<qint16>{32767});
    QVERIFY(rig.job.texts.value(0) == "\r\ntop\r\n" + longLine);
    QVERIFY(rig.asker.prompts.isEmpty());
    QCOMPARE(rig.window.logLines.size(), 2);
}

void TestWatchCycle::requestsBetweenTicks_data()
{
    // Made from another thread while no batch runs, a request must hold until the next tick.
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("prints");
    QTest::newRow("stop") << QStringList{"stop"} << false;
    QTest::newRow("stop, then the settings changed") << QStringList{"stop", "restart"} << false;
    QTest::newRow("stop, then started again") << QStringList{"stop", "resume"} << true;
    QTest::newRow("settings changed") << QStringList{"restart"} << true;
}

void TestWatchCycle::requestsBetweenTicks()
{
    QFETCH(QStringList, requests);
    QFETCH(bool, prints);
    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    rig.timer.setEnabled(true);
    for (const QString& request : std::as_const(requests)) {
        if (request == QLatin1String("stop"))
            rig.cycle->stopAfterFile();
        else if (request == QLatin1String("restart"))
            rig.cycle->restartAfterFile();
        else
            rig.cycle->resumeAfterFile();
    }
    rig.tick();
    QCOMPARE(rig.job.texts.size(), prints ? 1 : 0);
    QCOMPARE(rig.timer.isEnabled(), prints);
    // A request is taken up once: the tick after prints, whoever started the timer again.
    rig.tick();
    QCOMPARE(rig.job.texts.size(), 1);
}

void TestWatchCycle::noTickInsideATick_data()
{
    QTest::addColumn<QString>("from");
    QTest::newRow("question box") << "question";
    QTest::newRow("timer turned on") << "timer";
    QTest::newRow("print job") << "print";
}

void TestWatchCycle::noTickInsideATick()
{
    QFETCH(QString, from);

    Rig rig;
    QVERIFY(rig.put("A.TXT", "a\r\n"));
    QVERIFY(rig.put("B.TXT", "b\r\n"));
    int nested = 0;
    auto tickAgain = [&] {
        if (++nested > 10)
            return; // keeps a cycle without a guard from recursing for ever
        if (from != QLatin1String("timer"))
            rig.timer.setEnabled(true);
        rig.tick();
    };
    if (from == QLatin1String("question")) {
        rig.files.failReadsAfter = {-1};
        rig.asker.duringQuestion = tickAgain;
    } else if (from == QLatin1String("timer")) {
        rig.timer.onEnabled = [&](bool on) {
            if (on)
                tickAgain();
        };
    } else {
        rig.job.duringPrint = tickAgain;
    }

    rig.tick();

    QVERIFY(nested > 0);
    QCOMPARE(rig.window.trayTips.size(), 1);
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\na", "\r\nb"}));
    QCOMPARE(rig.window.logLines,
             (QStringList{rig.line("B.TXT", " excluido"), rig.line("B.TXT", " impresso"),
                          rig.line("A.TXT", " excluido"), rig.line("A.TXT", " impresso")}));

    // The next tick, from the timer, runs in full.
    rig.timer.onEnabled = nullptr;
    rig.tick();
    QCOMPARE(rig.window.trayTips.size(), 2);
}

void TestWatchCycle::partAppendedWhilePrintingIsPrintedToo_data()
{
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("when");
    QTest::newRow("backup mode") << QStringLiteral("1") << QStringLiteral("printing");
    QTest::newRow("delete mode") << QStringLiteral("0") << QStringLiteral("printing");
    // The writer comes back between the last look at the file and its backup or deletion.
    QTest::newRow("backup mode, before the put-away") << QStringLiteral("1") << QStringLiteral("before");
    QTest::newRow("delete mode, before the put-away") << QStringLiteral("0") << QStringLiteral("before");
    // The writer found the file by its name just before it went, and writes after.
    QTest::newRow("backup mode, as it is put away") << QStringLiteral("1") << QStringLiteral("moving");
    QTest::newRow("delete mode, as it is put away") << QStringLiteral("0") << QStringLiteral("moving");
}

void TestWatchCycle::partAppendedWhilePrintingIsPrintedToo()
{
    QFETCH(QString, backup);
    QFETCH(QString, when);
    Rig rig;
    rig.settings.backup = OnOff(backup);
    const QString name = QStringLiteral("REL.TXT");
    QVERIFY(rig.put(name, "PART 1\r\n"));
    int appends = 0;
    auto append = [&] {
        if (appends++ < 2)
            QVERIFY(rig.append(name, QStringLiteral("PART %1\r\n").arg(appends + 1).toLatin1()));
    };
    QList<QByteArray> texts{"\r\nPART 1", "\r\nPART 2", "\r\nPART 3"};
    if (when == QLatin1String("printing")) {
        rig.job.duringPrint = append;
    } else if (when == QLatin1String("before")) {
        rig.files.beforePutAway = append;
    } else {
        rig.files.lateWrites.insert(rig.bytesPath(name), "PART 2\r\n");
        texts.removeLast();
    }
    rig.tick();
    rig.later(6);
    QCOMPARE(rig.job.texts, texts);
    QVERIFY(!rig.exists(name));
    if (backup == QLatin1String("1"))
        QCOMPARE(rig.read(QStringLiteral("REL.bak")), "PART 1" + texts.mid(1).join() + "\r\n");
    else
        QCOMPARE(rig.fileNames(), QStringList());
    rig.tick();
    QCOMPARE(rig.job.texts.size(), texts.size());
}

void TestWatchCycle::replacedWhilePrintingIsPrintedAsNew()
{
    Rig rig;
    rig.settings.backup = OnOff(QStringLiteral("1"));
    QVERIFY(rig.put(QStringLiteral("REL.TXT"), "FIRST REPORT\r\n"));
    bool replaced = false;
    rig.job.duringPrint = [&] {
        if (!replaced) {
            replaced = true;
            // A new print-out under the same name: written beside, then moved over the old one.
            QVERIFY(rig.put(QStringLiteral("NEW.tmp"), "SECOND\r\n"));
            QVERIFY(rig.files.remove(rig.bytesPath(QStringLiteral("REL.TXT")), nullptr));
            QVERIFY(rig.files.rename(rig.bytesPath(QStringLiteral("NEW.tmp")),
                                     rig.bytesPath(QStringLiteral("REL.TXT")), nullptr));
        }
    };
    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nFIRST REPORT", "\r\nSECOND"}));
    QCOMPARE(rig.read(QStringLiteral("REL.bak")), QByteArray("SECOND\r\n"));
    QVERIFY(!rig.exists(QStringLiteral("REL.TXT")));
}

void TestWatchCycle::printedMarkOutlivesARestart()
{
    Rig rig;
    rig.settings.backup = OnOff(QStringLiteral("1"));
    QVERIFY(rig.put(QStringLiteral("REL.TXT"), "ONCE\r\n"));
    QVERIFY(rig.put(QStringLiteral("REL.bak/inside"), "x")); // a folder: the backup cannot be made
    rig.tick();
    QCOMPARE(rig.job.texts.size(), 1);
    if (rig.files.printedMark(QFile::encodeName(rig.path(QStringLiteral("REL.TXT")))).isEmpty())
        QSKIP("this file system keeps no extended attributes");

    // The program starts again: the file is put away, not printed a second time.
    auto restarted = std::make_unique<WatchCycle>(rig.settings, rig.files, rig.clock, rig.asker, rig.job,
                                                  rig.window, rig.timer);
    restarted->Movimento_Timer();
    QCOMPARE(rig.job.texts.size(), 1);
    QCOMPARE(rig.window.logLines.first(), rig.line(QStringLiteral("REL.TXT"), " não renomeado"));
    QVERIFY(rig.files.remove(rig.bytesPath(QStringLiteral("REL.bak/inside")), nullptr));
    restarted = std::make_unique<WatchCycle>(rig.settings, rig.files, rig.clock, rig.asker, rig.job,
                                             rig.window, rig.timer);
    restarted->Movimento_Timer();
    QCOMPARE(rig.job.texts.size(), 1);
    QCOMPARE(rig.read(QStringLiteral("REL.bak")), QByteArray("ONCE\r\n"));

    // A new print-out under the marked name is printed.
    QVERIFY(rig.put(QStringLiteral("REL.TXT"), "TWICE?\r\n"));
    QVERIFY(rig.files.markPrinted(QFile::encodeName(rig.path(QStringLiteral("REL.TXT"))), "0 0 0"));
    restarted->Movimento_Timer();
    QCOMPARE(rig.job.texts.size(), 2);
}

void TestWatchCycle::rewrittenFileIsPrintedWholeAgain_data()
{
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<bool>("raw");
    for (const bool raw : {false, true}) {
        const char* mode = raw ? "raw, " : "graphical, ";
        QTest::addRow("%ssame size", mode) << QByteArray("BBBB") << raw;
        QTest::addRow("%slarger", mode) << QByteArray("BBBBBBBBBB") << raw;
        QTest::addRow("%ssmaller", mode) << QByteArray("BB") << raw;
    }
}

// An old program empties the file and writes a new report under the same name while the first
// is printed: the new report is printed whole, and the file goes only after it.
void TestWatchCycle::rewrittenFileIsPrintedWholeAgain()
{
    QFETCH(QByteArray, second);
    QFETCH(bool, raw);
    Rig rig;
    rig.settings.backup = OnOff(QStringLiteral("1"));
    RawRig rawRig(rig);
    rig.settings.raw = OnOff(raw ? QStringLiteral("1") : QStringLiteral("0"));

    QVERIFY(rig.put(QStringLiteral("REL.TXT"), "AAAA\r\n"));
    bool rewritten = false;
    auto rewrite = [&] {
        if (!rewritten)
            rewritten = rig.put(QStringLiteral("REL.TXT"), second + "\r\n"); // same file, new bytes
    };
    QList<QByteArray> printed;
    if (raw) {
        rig.files.duringRead = rewrite;
        rawRig.cycle.Movimento_Timer();
        for (const RecordingRawPort::Copy& copy : rawRig.port.copies)
            printed.append(copy.bytes);
    } else {
        rig.job.duringPrint = rewrite;
        rig.tick();
        for (const QByteArray& text : rig.job.texts)
            printed.append(text.mid(2) + "\r\n");
    }
    QCOMPARE(printed, (QList<QByteArray>{"AAAA\r\n", second + "\r\n"}));
    QCOMPARE(rig.read(QStringLiteral("REL.bak")), second + "\r\n");
    QCOMPARE(rig.fileNames(), QStringList{"REL.bak"});
}

// Two programs sharing a working folder: each takes a temporary name of its own, never deletes a
// file it did not make, and copies from the file it wrote.
void TestWatchCycle::rawJobsStreamThroughTemporaryFilesOfTheirOwn()
{
    Rig rig;
    RawRig raw(rig);
    rig.clock.fixedNow = QDateTime(QDate(2026, 12, 7), QTime(12, 30, 45));
    const QByteArray foreign = "/work/" + nome_temporario(rig.clock.fixedNow);
    rig.files.put(foreign, "ANOTHER PROGRAM'S JOB\r\n");
    RecordingRawPort& port = raw.port;
    QVERIFY(rig.put(QStringLiteral("A.TXT"), "ONE\nTWO"));
    QVERIFY(rig.put(QStringLiteral("B.TXT"), "THREE\r"));

    raw.cycle.Movimento_Timer();
    QCOMPARE(port.copies.size(), 2);
    QCOMPARE(port.copies[0].bytes, QByteArray("ONE\nTWO"));
    QCOMPARE(port.copies[1].bytes, QByteArray("THREE\r"));
    QCOMPARE(rig.files.files.value(foreign), QByteArray("ANOTHER PROGRAM'S JOB\r\n"));
    QCOMPARE(rig.files.listFiles("/work/"), QList<QByteArray>{foreign.mid(6)});
}

void TestWatchCycle::fileClaimedElsewhereIsPassedBy()
{
    Rig rig;
    QVERIFY(rig.put(QStringLiteral("A.TXT"), "a"));
    QVERIFY(rig.put(QStringLiteral("B.TXT"), "b"));
    rig.files.claimedElsewhere.insert(rig.bytesPath(QStringLiteral("A.TXT")));
    rig.tick();
    QCOMPARE(rig.job.texts, QList<QByteArray>{"\r\nb"});
    QCOMPARE(rig.window.logLines.size(), 2); // nothing about the file another program holds
    QVERIFY(rig.exists(QStringLiteral("A.TXT")));

    rig.files.claimedElsewhere.clear();
    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nb", "\r\na"}));
    QCOMPARE(rig.fileNames(), QStringList());
}

void TestWatchCycle::folderIsReadOncePerBatchAndOnlyWhenChanged()
{
    Rig rig;
    ManualFolderChanges changes;
    rig.cycle->setFolderChanges(&changes);
    for (const char* name : {"C.TXT", "A.TXT", "B.TXT"})
        QVERIFY(rig.put(QString::fromLatin1(name), name));
    QVERIFY(rig.put(QStringLiteral("D.TXT"), "written"));
    rig.files.beingWritten.insert(rig.bytesPath(QStringLiteral("D.TXT")));
    rig.tick();
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nA.TXT", "\r\nB.TXT", "\r\nC.TXT"}));
    QCOMPARE(rig.files.listCalls, 2); // the batch, then one reading that finds nothing new

    // Nothing told: the folder is not read, but the file that waited for its writer is seen,
    // and once it was handled, the folder is read again.
    rig.files.beingWritten.clear();
    QVERIFY(rig.put(QStringLiteral("E.TXT"), "untold"));
    rig.tick();
    QCOMPARE(rig.job.texts.mid(3), (QList<QByteArray>{"\r\nwritten", "\r\nuntold"}));
    const int reads = rig.files.listCalls;
    QVERIFY(rig.put(QStringLiteral("F.TXT"), "later"));
    rig.tick();
    QCOMPARE(rig.files.listCalls, reads);
    QCOMPARE(rig.job.texts.size(), 5);

    // A minute gone, or a change told, reads the folder.
    rig.clock.clockMs += WatchCycle::kFullReadMs;
    rig.tick();
    QCOMPARE(rig.job.texts.last(), QByteArray("\r\nlater"));
    changes.changed = true;
    const int before = rig.files.listCalls;
    rig.tick();
    QCOMPARE(rig.files.listCalls, before + 1);

    // A batch stopped after its first file keeps the rest waiting: the next tick prints them
    // without a new reading.
    for (const char* name : {"G.TXT", "H.TXT", "I.TXT"})
        QVERIFY(rig.put(QString::fromLatin1(name), name));
    changes.changed = true;
    rig.job.duringPrint = [&rig] { rig.cycle->stopAfterFile(); };
    rig.tick();
    rig.job.duringPrint = nullptr;
    QCOMPARE(rig.job.texts.last(), QByteArray("\r\nG.TXT"));
    rig.tick();
    QCOMPARE(rig.job.texts.mid(rig.job.texts.size() - 2), (QList<QByteArray>{"\r\nH.TXT", "\r\nI.TXT"}));
}

void TestWatchCycle::disposalWaitsForTheJob_data()
{
    QTest::addColumn<QString>("backup");
    QTest::addColumn<JobState>("state");
    QTest::addColumn<bool>("waits");
    QTest::addColumn<int>("prints");
    QTest::addColumn<QString>("reason");
    for (const char* backup : {"0", "1"}) {
        const QByteArray mode = backup == QByteArray("1") ? "backup, " : "delete, ";
        QTest::newRow(mode + "completed") << backup << JobState::Completed << false << 1 << QString();
        QTest::newRow(mode + "pending") << backup << JobState::Pending << true << 1 << QString();
        // An aborted job does not count as printed: its own text is printed again, and the new
        // job is followed.
        QTest::newRow(mode + "aborted") << backup << JobState::Failed << true << 2 << "trabalho abortado";
        // One the scheduler forgot may have printed or not: it is kept under a backup name of
        // its own, and told.
        QTest::newRow(mode + "forgotten")
            << backup << JobState::Unknown << false << 1 << "trabalho desconhecido pelo servidor";
    }
}

void TestWatchCycle::disposalWaitsForTheJob()
{
    QFETCH(QString, backup);
    QFETCH(JobState, state);
    QFETCH(QString, reason);
    Rig rig;
    rig.settings.backup = OnOff(backup);
    rig.job.giveJobIds = true;
    QVERIFY(rig.put(QStringLiteral("REL.TXT"), "ONCE\r\n"));
    rig.tick();
    // Until the printer has finished, the print-out waits under a name of its own.
    QCOMPARE(rig.fileNames(), QStringList{QStringLiteral(".REL.TXT~Q~1~1001~6")});
    rig.job.jobStates.insert(1, state);
    rig.later(4);
    QTEST(!rig.waitingCopies().isEmpty(), "waits");
    QTEST(int(rig.job.texts.size()), "prints");
    QCOMPARE(QSet<QByteArray>(rig.job.texts.cbegin(), rig.job.texts.cend()), QSet<QByteArray>{"\r\nONCE"});
    QVERIFY(!rig.exists(QStringLiteral("REL.TXT")));
    QCOMPARE(rig.exists(QStringLiteral("REL.bak")),
             backup == QLatin1String("1") && state == JobState::Completed);
    const QString log = rig.window.logLines.join('\n');
    QCOMPARE(log.contains(QStringLiteral("não impresso (") + reason + u')'), !reason.isEmpty());
}

void TestWatchCycle::restartAsksAboutTheMarkedJob_data()
{
    QTest::addColumn<bool>("inPlace");
    QTest::addColumn<JobState>("state");
    QTest::addColumn<bool>("waits");
    QTest::addColumn<int>("prints");
    for (const bool inPlace : {false, true}) {
        const QByteArray where = inPlace ? "marked in place, " : "waiting copy, ";
        QTest::newRow(where + "completed") << inPlace << JobState::Completed << false << 1;
        QTest::newRow(where + "forgotten") << inPlace << JobState::Unknown << true << 1;
        QTest::newRow(where + "pending") << inPlace << JobState::Pending << true << 1;
        QTest::newRow(where + "aborted") << inPlace << JobState::Failed << true << 2;
    }
}

void TestWatchCycle::restartAsksAboutTheMarkedJob()
{
    QFETCH(bool, inPlace);
    QFETCH(JobState, state);
    Rig rig;
    rig.job.giveJobIds = true;
    rig.files.failRename = inPlace; // a folder whose names cannot change: the mark on the file
    QVERIFY(rig.put(QStringLiteral("REL.TXT"), "ONCE\r\n"));
    rig.tick();
    QCOMPARE(rig.exists(QStringLiteral("REL.TXT")), inPlace);
    rig.job.jobStates.insert(1, state);
    WatchCycle restarted(rig.settings, rig.files, rig.clock, rig.asker, rig.job, rig.window, rig.timer);
    for (int i = 0; i < 4; ++i) {
        rig.clock.clockMs += WatchCycle::kFirstRetryMs;
        restarted.Movimento_Timer();
    }
    QTEST(!rig.fileNames().isEmpty(), "waits");
    QTEST(int(rig.job.texts.size()), "prints");
}

void TestWatchCycle::eachPrintOutKeepsItsOwnText_data()
{
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("firstFails");
    QTest::addColumn<QByteArrayList>("printed");
    QTest::addColumn<QByteArray>("backup");
    // A new print-out under the same name, or one sharing the backup name, never takes the
    // place of one whose job is open: a failed job prints its own text again.
    QTest::newRow("same name, first aborted")
        << "REL.TXT" << true << QByteArrayList{"\r\nFIRST", "\r\nSECOND", "\r\nFIRST"}
        << QByteArray("FIRST\r\n");
    QTest::newRow("same name, both complete")
        << "REL.TXT" << false << QByteArrayList{"\r\nFIRST", "\r\nSECOND"} << QByteArray("SECOND\r\n");
    QTest::newRow("same backup name, first aborted")
        << "REL.PRN" << true << QByteArrayList{"\r\nFIRST", "\r\nSECOND", "\r\nFIRST"}
        << QByteArray("FIRST\r\n");
    QTest::newRow("same backup name, both complete")
        << "REL.PRN" << false << QByteArrayList{"\r\nFIRST", "\r\nSECOND"} << QByteArray("SECOND\r\n");
}

void TestWatchCycle::eachPrintOutKeepsItsOwnText()
{
    QFETCH(QString, second);
    QFETCH(bool, firstFails);
    Rig rig;
    rig.settings.pattern = rig.folder + QStringLiteral("/REL.*");
    rig.settings.backup = OnOff(QStringLiteral("1"));
    rig.job.giveJobIds = true;
    QVERIFY(rig.put(QStringLiteral("REL.TXT"), "FIRST\r\n"));
    rig.tick();
    QVERIFY(rig.put(second, "SECOND\r\n"));
    rig.later();
    QCOMPARE(rig.waitingCopies().size(), 2);
    rig.job.jobStates.insert(1, firstFails ? JobState::Failed : JobState::Completed);
    rig.job.jobStates.insert(2, JobState::Completed);
    rig.later(2);
    rig.job.jobStates.insert(3, JobState::Completed);
    rig.later(2);
    QTEST(QByteArrayList(rig.job.texts), "printed");
    QTEST(rig.files.files.value(rig.bytesPath(QStringLiteral("REL.bak"))), "backup");
    QCOMPARE(rig.fileNames(), QStringList{QStringLiteral("REL.bak")});
}

void TestWatchCycle::printOutsWaitingForJobsAreFollowed()
{
    Rig rig;
    rig.job.giveJobIds = true;
    QVERIFY(rig.put(QStringLiteral("A.TXT"), "A\r\n"));
    QVERIFY(rig.put(QStringLiteral("B.TXT"), "B\r\n"));
    rig.tick();
    // Appended by a writer that still had it open after it was moved: printed from where it
    // was before the copy is put away, and only that part.
    const QStringList copies = rig.waitingCopies();
    QCOMPARE(copies.size(), 2);
    QVERIFY(rig.append(copies.first(), "A2\r\n"));
    // A copy taken away by hand is no longer asked about.
    QVERIFY(rig.files.remove(rig.bytesPath(copies.last()), nullptr));
    rig.job.jobStates.insert(1, JobState::Completed);
    rig.later(2);
    QCOMPARE(rig.job.texts, (QList<QByteArray>{"\r\nA", "\r\nB", "\r\nA2"}));
    rig.job.jobStates.insert(3, JobState::Completed);
    const int asked = rig.job.stateQueries;
    rig.later(2);
    QCOMPARE(rig.fileNames(), QStringList());
    QCOMPARE(rig.job.stateQueries, asked + 1);
    rig.later(2);
    QCOMPARE(rig.job.stateQueries, asked + 1);

    // A backup renamed back to its spool name is a print-out to print again.
    rig.settings.backup = OnOff(QStringLiteral("1"));
    rig.job.giveJobIds = false;
    QVERIFY(rig.put(QStringLiteral("C.TXT"), "C\r\n"));
    rig.later();
    QVERIFY(rig.files.rename(rig.bytesPath(QStringLiteral("C.bak")), rig.bytesPath(QStringLiteral("C.TXT")),
                             nullptr));
    rig.later();
    QCOMPARE(rig.job.texts.mid(3), (QList<QByteArray>{"\r\nC", "\r\nC"}));

    // A file that can be neither put away nor marked says so: a restart prints it again.
    rig.files.failRename = true;
    rig.files.failMarks = true;
    QVERIFY(rig.put(QStringLiteral("D.TXT"), "D\r\n"));
    rig.later();
    QVERIFY(rig.window.logLines.join(u'\n').contains(QStringLiteral("D.TXT: marca de impresso não gravada")));
}

void TestWatchCycle::pendingJobsCostOneQuestionAQueue()
{
    Rig rig;
    rig.job.giveJobIds = true;
    for (const char* name : {"A.TXT", "B.TXT", "C.TXT"})
        QVERIFY(rig.put(QString::fromLatin1(name), "ONCE\r\n"));
    rig.tick();
    QCOMPARE(rig.job.texts.size(), 3);
    // A stopped queue holds its first job: the later ones are not asked about, nor asked
    // about more than once a poll interval.
    for (int i = 0; i < 5; ++i)
        rig.tick();
    rig.clock.clockMs += WatchCycle::kJobPollMs;
    rig.tick();
    rig.tick();
    QCOMPARE(rig.job.stateQueries, 2);
    rig.job.jobStates.insert(1, JobState::Completed);
    rig.job.jobStates.insert(2, JobState::Completed);
    rig.clock.clockMs += WatchCycle::kJobPollMs;
    rig.tick();
    QCOMPARE(rig.fileNames(), QStringList{QStringLiteral(".C.TXT~Q~3~1003~6")});
}

void TestWatchCycle::severalPatterns_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArrayList>("paths");
    QTest::addColumn<QByteArrayList>("printed");
    QTest::newRow("folders in the order given")
        << "/b/*.TXT;/a/*.TXT" << QByteArrayList{"/a/X.TXT", "/b/Z.TXT", "/b/Y.TXT"}
        << QByteArrayList{"/b/Y.TXT", "/b/Z.TXT", "/a/X.TXT"};
    QTest::newRow("one folder, name order")
        << "/a/*.PRN;/a/*.TXT" << QByteArrayList{"/a/B.TXT", "/a/A.PRN", "/a/C.PRN", "/a/D.DOC"}
        << QByteArrayList{"/a/A.PRN", "/a/B.TXT", "/a/C.PRN"};
    QTest::newRow("matching two patterns")
        << "/a/*.TXT;/a/R.*;/a/r.txt" << QByteArrayList{"/a/R.TXT"} << QByteArrayList{"/a/R.TXT"};
    QTest::newRow("empty pieces and blanks")
        << ";; /a/*.TXT ;\t;/b/*.PRN" << QByteArrayList{"/b/P.PRN", "/a/A.TXT"}
        << QByteArrayList{"/a/A.TXT", "/b/P.PRN"};
    QTest::newRow("trailing ;") << "/a/*.TXT;/b/*.PRN;" << QByteArrayList{"/b/P.PRN", "/a/A.TXT"}
                                << QByteArrayList{"/a/A.TXT", "/b/P.PRN"};
    QTest::newRow("only ;") << ";" << QByteArrayList{"/a/A.TXT"} << QByteArrayList{};
}

void TestWatchCycle::severalPatterns()
{
    QFETCH(QString, value);
    QFETCH(QByteArrayList, paths);
    QFETCH(QByteArrayList, printed);
    Rig rig;
    rig.settings.pattern = value;
    for (const QByteArray& path : paths)
        rig.files.put(path, path);
    rig.tick();
    rig.tick();
    QByteArrayList texts;
    for (const QByteArray& path : printed)
        texts.append("\r\n" + path);
    QCOMPARE(rig.job.texts, texts);
}

void TestWatchCycle::keptFolderKeepsItsRetries()
{
    // A file whose printing failed waits out its pause, even when the patterns change in
    // another folder and that folder is read first.
    Rig rig;
    rig.settings.pattern = QStringLiteral("/a/*.TXT;/b/*.TXT");
    rig.files.put("/b/REL.TXT", "REL");
    rig.job.fail = true;
    rig.tick();
    QCOMPARE(rig.job.failures, 1);
    rig.job.fail = false;
    rig.settings.pattern = QStringLiteral("/a/*.TXT;/a/*.PRN;/b/*.TXT");
    rig.tick();
    QVERIFY(rig.job.texts.isEmpty());
}

void TestWatchCycle::eachFolderIsReadOnlyWhenItChanged()
{
    Rig rig;
    rig.settings.pattern = QStringLiteral("/a/*.TXT;/b/*.TXT;/a/*.PRN");
    ManualFolderChanges changes;
    rig.cycle->setFolderChanges(&changes);
    rig.tick();
    QCOMPARE(rig.files.listCalls, 2); // each folder once, for both of its patterns
    rig.tick();
    QCOMPARE(rig.files.listCalls, 2);
    rig.files.put("/b/B.TXT", "b");
    changes.changedFolders.insert("/b/");
    rig.tick();
    QCOMPARE(rig.job.texts, QByteArrayList{"\r\nb"});
    QCOMPARE(rig.files.listCalls, 4); // the folder told, and once more after its batch
    rig.clock.clockMs += WatchCycle::kFullReadMs;
    rig.tick();
    QCOMPARE(rig.files.listCalls, 6);
}

void TestWatchCycle::patternsThatCannotWorkAreToldOnce_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("folder"); ///< broken by the test; none for a pattern at fault
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("told");
    QTest::newRow("missing") << "/spool/*.TXT;/gone/*.TXT" << QByteArray("/gone/") << true
                             << "Pasta /gone não existe";
    QTest::newRow("unreadable") << "/locked/*.TXT" << QByteArray("/locked/") << false
                                << "Pasta /locked não pode ser lida";
    QTest::newRow("bare names") << "*.TXT" << QByteArray(".") << false << "Pasta . não pode ser lida";
    QTest::newRow("tilde") << "~/relatorios/*.TXT" << QByteArray("~/relatorios/") << true
                           << "Padrão ~/relatorios/*.TXT: o ~ não é expandido; use o caminho completo";
    QTest::newRow("no file name") << "/spool/*.TXT; /home/ana/relatorios/" << QByteArray() << false
                                  << "Padrão /home/ana/relatorios/ sem nome de arquivo";
}

void TestWatchCycle::patternsThatCannotWorkAreToldOnce()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, folder);
    QFETCH(bool, missing);
    QFETCH(QString, told);
    Rig rig;
    rig.settings.pattern = value;
    auto breakFolder = [&](bool broken) {
        QSet<QByteArray>& set = missing ? rig.files.missingFolders : rig.files.unreadableFolders;
        if (broken)
            set.insert(folder);
        else
            set.remove(folder);
    };
    breakFolder(true);
    rig.tick();
    rig.tick();
    QCOMPARE(rig.window.logLines, QStringList{told});
    if (folder.isEmpty()) {
        // A pattern at fault stays so until the settings drop it; brought back, it is told anew.
        rig.settings.pattern = QStringLiteral("/spool/*.TXT");
        rig.tick();
        rig.settings.pattern = value;
    } else {
        breakFolder(false);
        rig.tick();
        rig.tick();
        QCOMPARE(rig.window.logLines.size(), 2);
        QVERIFY(rig.window.logLines.first().endsWith(QStringLiteral(" lida de novo")));
        breakFolder(true);
    }
    rig.tick();
    rig.tick();
    QCOMPARE(rig.window.logLines.count(told), 2);
    QCOMPARE(rig.window.logLines.first(), told);
}

QTEST_GUILESS_MAIN(TestWatchCycle)
#include "tst_watchcycle.moc"
