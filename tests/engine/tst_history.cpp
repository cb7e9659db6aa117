// The history of print-outs: its file (a real one in a temporary folder), its expiry, and the
// outcomes a watch cycle records in it.

#include "platform/PosixHistoryFile.h"
#include "settings/Settings.h"
#include "spool/History.h"
#include "spool/WatchCycle.h"
#include "tests/support/Doubles.h"
#include "tests/support/ManualClock.h"
#include "tests/support/MemoryFiles.h"
#include "tests/support/MemoryHistoryStore.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDateTime kNoon(QDate(2026, 3, 10), QTime(12, 0), Qt::OffsetFromUTC, -3 * 3600);

HistoryRecord made(const QString& file, const QDateTime& time, int job = 0)
{
    HistoryRecord record;
    record.time = time;
    record.file = file;
    record.folder = QStringLiteral("/spool/");
    record.printer = QStringLiteral("Escritorio");
    record.pages = job ? 2 : 0;
    record.job = job;
    record.outcome = job ? QStringLiteral("impresso") : QStringLiteral("falhou");
    record.reason = job ? QString() : QStringLiteral("fila parada");
    return record;
}

/// The file, outcome and job of each record, newest first: "REL.TXT impresso 1".
QStringList outcomes(const QList<HistoryRecord>& records)
{
    QStringList lines;
    for (const HistoryRecord& r : records)
        lines.append(r.file + u' ' + r.outcome + u' ' + QString::number(r.job));
    return lines;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void appendedRecordsReadBackNewestFirst_data();
    void appendedRecordsReadBackNewestFirst();
    void lineCutShortIsSkippedAndLaterAppendsHold();
    void recordsOlderThanTheDaysKeptExpire_data();
    void recordsOlderThanTheDaysKeptExpire();
    void oneOutcomePerPrintOut_data();
    void oneOutcomePerPrintOut();
};

void TestHistory::appendedRecordsReadBackNewestFirst_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("sinceHours");
    QTest::addColumn<QStringList>("files");
    const QStringList all{QStringLiteral("NOTA\tFISCAL\n1.TXT"), QStringLiteral("REL.TXT")};
    QTest::newRow("all") << QString() << 0 << all;
    QTest::newRow("by text, any case") << QStringLiteral("nota") << 0 << all.mid(0, 1);
    QTest::newRow("by reason") << QStringLiteral("fila parada") << 0 << all.mid(1);
    QTest::newRow("by job number") << QStringLiteral("7") << 0 << all.mid(0, 1);
    QTest::newRow("by date") << QString() << 1 << all.mid(0, 1);
}

void TestHistory::appendedRecordsReadBackNewestFirst()
{
    QFETCH(QString, text);
    QFETCH(int, sinceHours);
    QTemporaryDir dir;
    // The folder is made with the first record.
    PosixHistoryFile file(QFile::encodeName(dir.path()) + "/state/velmorix2/historico.tsv");
    QString error;
    const HistoryRecord older = made(QStringLiteral("REL.TXT"), kNoon.addSecs(-2 * 3600));
    const HistoryRecord newer = made(QStringLiteral("NOTA\tFISCAL\n1.TXT"), kNoon, 7);
    QVERIFY2(file.append(History::header(), History::lineOf(older), &error), qPrintable(error));
    QVERIFY(file.append(History::header(), History::lineOf(newer), &error));
    QByteArray data;
    QVERIFY(file.read(&data, &error));
    QVERIFY(data.startsWith(History::header()));
    QCOMPARE(data.count('\n'), 3);

    HistoryFilter filter;
    filter.text = text;
    if (sinceHours)
        filter.since = kNoon.addSecs(-sinceHours * 3600);
    const QList<HistoryRecord> records = readHistory(data, filter);
    QStringList files;
    for (const HistoryRecord& r : records)
        files.append(r.file);
    QTEST(files, "files");
    if (records.size() == 2)
        QCOMPARE(records, (QList<HistoryRecord>{newer, older}));
}

void TestHistory::lineCutShortIsSkippedAndLaterAppendsHold()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("historico.tsv"));
    const QByteArray whole = History::lineOf(made(QStringLiteral("A.TXT"), kNoon, 1));
    const QByteArray cut = History::lineOf(made(QStringLiteral("B.TXT"), kNoon, 2));
    // Killed while writing B's line, just before its reason and line feed.
    QVERIFY(writeBytes(path, History::header() + whole + cut.left(cut.size() - 2)));
    PosixHistoryFile file(QFile::encodeName(path));
    QByteArray data;
    QVERIFY(file.read(&data, nullptr));
    QCOMPARE(outcomes(readHistory(data)), QStringList{QStringLiteral("A.TXT impresso 1")});

    QVERIFY(
        file.append(History::header(), History::lineOf(made(QStringLiteral("C.TXT"), kNoon, 3)), nullptr));
    QVERIFY(file.read(&data, nullptr));
    QCOMPARE(outcomes(readHistory(data)),
             (QStringList{QStringLiteral("C.TXT impresso 3"), QStringLiteral("A.TXT impresso 1")}));
}

void TestHistory::recordsOlderThanTheDaysKeptExpire_data()
{
    QTest::addColumn<QString>("days");
    QTest::addColumn<QStringList>("kept");
    const QStringList all{QStringLiteral("today"), QStringLiteral("5 days"), QStringLiteral("100 days")};
    QTest::newRow("default 90") << QString() << all.mid(0, 2);
    QTest::newRow("HISTORICO_DIAS = 3") << QStringLiteral("3") << all.mid(0, 1);
    QTest::newRow("HISTORICO_DIAS = 365") << QStringLiteral("365") << all;
    QTest::newRow("not a number: 90") << QStringLiteral("sempre") << all.mid(0, 2);
}

void TestHistory::recordsOlderThanTheDaysKeptExpire()
{
    QFETCH(QString, days);
    MemoryFiles files;
    Settings settings;
    settings.path = QStringLiteral("/ini");
    files.files.insert("/ini",
                       days.isEmpty() ? QByteArray() : "HISTORICO_DIAS = " + days.toLatin1() + "\r\n");
    QVERIFY(le_ini(settings, QStringLiteral("/ini"), files, nullptr));
    ManualClock clock;
    clock.fixedNow = kNoon;
    RecordingWindow window;
    MemoryHistoryStore store;
    History history(store, clock, settings, window);
    for (const int age : {100, 5, 0})
        history.record(
            made(age ? QStringLiteral("%1 days").arg(age) : QStringLiteral("today"), kNoon.addDays(-age)));
    // The first record found nothing to drop: not looked at again within the day, then the next.
    history.expireWhenDue();
    QCOMPARE(store.records().size(), 3);
    clock.fixedNow = kNoon.addDays(1);
    history.expireWhenDue();
    QStringList kept;
    for (const HistoryRecord& r : store.records())
        kept.append(r.file);
    QTEST(kept, "kept");
    QVERIFY(store.text.startsWith(History::header()));
}

void TestHistory::oneOutcomePerPrintOut_data()
{
    QTest::addColumn<bool>("jobs");
    QTest::addColumn<QList<JobState>>("states");
    QTest::addColumn<int>("failedTries");
    QTest::addColumn<QStringList>("recorded");
    const QString printed = QStringLiteral("REL.TXT impresso ");
    QTest::newRow("to a port") << false << QList<JobState>{} << 0 << QStringList{printed + u'0'};
    QTest::newRow("job completed") << true << QList<JobState>{JobState::Completed} << 0
                                   << QStringList{printed + u'1'};
    // Failures in a row are one outcome, until it prints.
    QTest::newRow("refused three times") << true << QList<JobState>{JobState::Completed} << 3
                                         << QStringList{printed + u'1', QStringLiteral("REL.TXT falhou 0")};
    QTest::newRow("job aborted, printed again")
        << true << QList<JobState>{JobState::Failed, JobState::Completed} << 0
        << QStringList{printed + u'2', QStringLiteral("REL.TXT falhou 0"), printed + u'1'};
}

void TestHistory::oneOutcomePerPrintOut()
{
    QFETCH(bool, jobs);
    QFETCH(QList<JobState>, states);
    QFETCH(int, failedTries);
    MemoryFiles files;
    ManualClock clock;
    ScriptedAsker asker;
    RecordingPrintJob job;
    RecordingWindow window;
    ManualTimer timer;
    Settings settings;
    settings.pattern = QStringLiteral("/spool/*.TXT");
    settings.path = QStringLiteral("/VELMORIX.INI");
    settings.backup = OnOff(QStringLiteral("1"));
    MemoryHistoryStore store;
    History history(store, clock, settings, window);
    WatchCycle cycle(settings, files, clock, asker, job, window, timer);
    cycle.setHistory(&history);
    job.giveJobIds = jobs;
    for (int i = 0; i < states.size(); ++i)
        job.jobStates.insert(i + 1, states[i]);
    files.put("/spool/REL.TXT", "ONCE\r\n");
    job.fail = failedTries > 0;
    for (int tick = 0; tick < 12; ++tick) {
        job.fail = tick < failedTries;
        clock.clockMs += WatchCycle::kFirstRetryMs * 60;
        cycle.Movimento_Timer();
    }
    QVERIFY(files.files.contains("/spool/REL.bak"));
    const QList<HistoryRecord> records = store.records();
    QTEST(outcomes(records), "recorded");
    QCOMPARE(records.first().folder, QStringLiteral("/spool/"));
    QCOMPARE(records.first().printer, jobs ? QStringLiteral("Q") : QString());
}

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
