// The engine's thread and the questions it asks on the window's.
#include "app/EngineThread.h"
#include "tests/support/Doubles.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

class TestEngineThread : public QObject
{
    Q_OBJECT
private slots:
    void questionsFromTheEngineThread_data();
    void questionsFromTheEngineThread();
};

void TestEngineThread::questionsFromTheEngineThread_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("givenUp");
    QTest::newRow("answered Yes") << int(Asker::Answer::Yes) << false;
    QTest::newRow("answered No") << int(Asker::Answer::No) << false;
    QTest::newRow("the program ends first: No, and nothing shown") << int(Asker::Answer::Yes) << true;
}

void TestEngineThread::questionsFromTheEngineThread()
{
    QFETCH(int, answer);
    QFETCH(bool, givenUp);
    ScriptedAsker window;
    window.answers = {Asker::Answer(answer)};
    QThread* askedOn = nullptr;
    window.duringQuestion = [&askedOn] { askedOn = QThread::currentThread(); };
    WindowAsker asker(window);

    std::atomic<int> got{-1};
    std::thread engine([&] {
        got = int(asker.ask(QStringLiteral("Tentar novamente ?"), Asker::Option::YesNo, QStringLiteral("t")));
    });
    if (givenUp) {
        asker.giveUp();
        engine.join();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(got.load(), int(Asker::Answer::No));
        QVERIFY(window.prompts.isEmpty());
        return;
    }
    // The engine's thread waits while this one goes on with its events and asks the question.
    QTRY_COMPARE(got.load(), answer);
    engine.join();
    QCOMPARE(askedOn, QThread::currentThread());
    QCOMPARE(window.prompts, QStringList{QStringLiteral("Tentar novamente ?")});
    QCOMPARE(window.options, QList<Asker::Options>{Asker::Option::YesNo});
    QCOMPARE(window.titles, QStringList{QStringLiteral("t")});
}

QTEST_GUILESS_MAIN(TestEngineThread)
#include "tst_enginethread.moc"
