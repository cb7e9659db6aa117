// The command line reaching the running program through its local socket.
#include "app/ControlSocket.h"
#include "app/Engine.h"
#include "app/EngineThread.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "tests/support/Doubles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

class TestControlSocket : public QObject
{
    Q_OBJECT
private slots:
    void commandLineRoundTrip();
};

namespace {

/// Runs the command line's side on a thread of its own, as another process would, while this
/// one answers; returns its exit status.
int remote(const QString& ini, const QString& action, const QString& name = QString())
{
    std::atomic<int> status{-1};
    std::thread client([&] { status = runRemoteCommand(ini, action, name); });
    while (status < 0)
        QTest::qWait(20);
    client.join();
    return status;
}

} // namespace

void TestControlSocket::commandLineRoundTrip()
{
    QTemporaryDir dir;
    const QString ini = dir.path() + QStringLiteral("/VELMORIX.INI");
    QCOMPARE(remote(ini, QStringLiteral("status")), 2); // nobody answers yet

    const QString spool = dir.path() + QStringLiteral("/spool/");
    QVERIFY(QDir().mkpath(spool));
    QFile file(spool + QStringLiteral("A.TXT"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x\r\n");
    file.close();

    TestFileServices files;
    PosixRawPort port;
    PosixPlaces places;
    RecordingPrinter printing;
    ScriptedAsker asker;
    RecordingPrintJob printJob;
    printJob.fail = true;
    Engine engine{{files, files, files, port, places, printing, asker, &printJob}};
    engine.settings.pattern = spool + QStringLiteral("*.TXT");
    engine.settings.printer = QStringLiteral("VelTest");
    ControlServer server(engine, ini);
    QString error;
    QVERIFY2(server.listen(&error), qPrintable(error));
    EngineThread thread(engine);
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(printJob.failures, 1, 5000);

    QCOMPARE(remote(ini, QStringLiteral("status")), 0);
    QCOMPARE(remote(ini, QStringLiteral("retry"), QStringLiteral("NADA.TXT")), 1);
    QCOMPARE(remote(ini, QStringLiteral("remove"), QStringLiteral("A.TXT")), 0);
    QVERIFY(!QFile::exists(spool + QStringLiteral("A.TXT")));
    QVERIFY(QFile::exists(spool + QStringLiteral("separados/A.TXT")));
    thread.finish();
}

QTEST_GUILESS_MAIN(TestControlSocket)
#include "tst_controlsocket.moc"
