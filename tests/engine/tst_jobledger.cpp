#include "spool/JobLedger.h"

#include <QtTest>

Q_DECLARE_METATYPE(JobLedger::State)

class TestJobLedger : public QObject
{
    Q_OBJECT
private slots:
    void transitions_data();
    void transitions();
};

void TestJobLedger::transitions_data()
{
    // Each step acts on one file: "retry MS" (printing failed at MS), "printed A", "declined A"
    // (set aside as stamp A), "forget" (no longer in the folder). Then the file is found as
    // stamp A or B at probeMs. A file set aside after a failure keeps that failure's pause.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("found");
    QTest::addColumn<qint64>("probeMs");
    QTest::addColumn<bool>("held");
    QTest::addColumn<JobLedger::State>("after");
    using S = JobLedger::State;
    QTest::newRow("printed, changed") << QStringList{"printed A"} << "B" << qint64(0) << false << S::None;
    QTest::newRow("declined, unchanged")
        << QStringList{"retry 0", "declined A"} << "A" << qint64(9000) << true << S::Declined;
    QTest::newRow("declined after failure, changed in pause")
        << QStringList{"retry 0", "declined A"} << "B" << qint64(1000) << true << S::Retrying;
    QTest::newRow("declined after failure, changed after pause")
        << QStringList{"retry 0", "declined A"} << "B" << qint64(5000) << false << S::Retrying;
    QTest::newRow("gone from the folder")
        << QStringList{"printed A", "forget"} << "A" << qint64(0) << false << S::None;
}

void TestJobLedger::transitions()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, found);
    QFETCH(qint64, probeMs);
    QFETCH(bool, held);
    QFETCH(JobLedger::State, after);
    const QByteArray path = "/spool/.REL~q~7~0~10";
    auto stamp = [](const QString& name) { return FileStamp{10, name == QLatin1String("A") ? 1 : 2, 7}; };
    JobLedger ledger;
    for (const QString& step : std::as_const(steps)) {
        const QString what = step.section(' ', 0, 0);
        const QString arg = step.section(' ', 1);
        if (what == QLatin1String("retry"))
            ledger.retryLater(path, arg.toLongLong());
        else if (what == QLatin1String("printed"))
            ledger.setPrinted(path, stamp(arg));
        else if (what == QLatin1String("declined"))
            ledger.setDeclined(path, stamp(arg));
        else if (what == QLatin1String("forget"))
            ledger.forget({});
    }
    QCOMPARE(ledger.holdsBack(path, stamp(found), probeMs), held);
    QCOMPARE(ledger.state(path), after);
}

QTEST_GUILESS_MAIN(TestJobLedger)
#include "tst_jobledger.moc"
