// The settings window against the real printers of a private CUPS scheduler.
#include "app/DesktopProgram.h"
#include "platform/Tray.h"
#include "tests/support/Doubles.h"
#include "ui/FrmVelmorix.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class NoTray : public TrayService
{
public:
    void show() override {}
    void hide() override {}
    bool isVisible() const override { return false; }
    void setIcon(const QIcon&) override {}
    void setToolTip(const QString&) override {}
    bool isSystemTrayAvailable() const override { return true; }
    void showMessage(const QString&, const QString&) override {}
};

class TestFrmCups : public QObject
{
    Q_OBJECT
private slots:
    void printerListAndPortLookup_data();
    void printerListAndPortLookup();
    void windowAnswersWhileAFilePrints();
};

void TestFrmCups::printerListAndPortLookup_data()
{
    QTest::addColumn<QString>("printer");
    QTest::addColumn<QString>("port");
    QTest::newRow("parallel queue, name in another case") << "vellpt"
                                                          << "/dev/lp0";
    QTest::newRow("serial queue") << "VelCom"
                                  << "/dev/ttyVEL9";
    QTest::newRow("unknown printer") << "NoSuchQueue"
                                     << "";
}

void TestFrmCups::printerListAndPortLookup()
{
    QFETCH(QString, printer);
    QFETCH(QString, port);

    QTemporaryDir dir;
    ScriptedAsker asker;
    NoTray tray;
    RecordingPrintJob job;
    DesktopProgram program(dir.path() + QStringLiteral("/VELMORIX.INI"), {&asker, &tray, &job});
    program.start();
    FrmVelmorix& w = program.window();

    auto* printers = w.findChild<QComboBox*>(QStringLiteral("CbImpressoras"));
    QStringList listed;
    for (int i = 0; i < printers->count(); ++i)
        listed.append(printers->itemText(i));
    for (const char* queue : {"VelCap", "VelRaw", "VelLpt", "VelCom"})
        QVERIFY2(listed.contains(QLatin1String(queue)), qPrintable(listed.join(u',')));

    printers->setEditText(printer);
    w.findChild<QLineEdit*>(QStringLiteral("TxtArquivos"))->setText(dir.path() + QStringLiteral("/*.TXT"));
    w.findChild<QCheckBox*>(QStringLiteral("chkParalela"))->setChecked(true);
    w.findChild<QLineEdit*>(QStringLiteral("txtPorta"))->clear();
    w.CmdConfirmar_Click();
    QCOMPARE(w.settings().port, port);
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtPorta"))->text(), port);
}

void TestFrmCups::windowAnswersWhileAFilePrints()
{
    // A raw print-out to a FIFO that holds bytes nobody reads: the engine stays inside the file.
    QTemporaryDir dir;
    const QString spool = dir.path() + QStringLiteral("/spool/");
    QVERIFY(QDir().mkpath(spool));
    const QByteArray port = QFile::encodeName(dir.path() + QStringLiteral("/porta"));
    QCOMPARE(::mkfifo(port.constData(), 0600), 0);
    const int reader = ::open(port.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(reader >= 0);
    const QByteArray report = QByteArray("linha do relatorio\r\n").repeated(20000);
    QVERIFY(writeBytes(spool + QStringLiteral("A.TXT"), report));
    QVERIFY(writeBytes(spool + QStringLiteral("B.TXT"), "b\r\n"));
    const QString ini = dir.path() + QStringLiteral("/VELMORIX.INI");
    QVERIFY(writeBytes(ini, "LOCAL = " + QFile::encodeName(spool) +
                                "*.TXT\r\nIMPRESSORA = VelRaw\r\nBACKUP = 0\r\n"
                                "PARALELA = 1\r\nPORTA = " +
                                port + "\r\n"));

    ScriptedAsker asker;
    NoTray tray;
    DesktopProgram program(ini, {&asker, &tray, nullptr});
    program.start();
    FrmVelmorix& w = program.window();
    const auto unread = [reader] {
        int bytes = 0;
        return ::ioctl(reader, FIONREAD, &bytes) == 0 ? bytes : -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(unread() > 0, 5000);

    // The window's thread answers a timer and a click on the tray while the file prints.
    bool answered = false;
    QTimer::singleShot(0, &w, [&answered] { answered = true; });
    QTRY_VERIFY(answered);
    emit tray.activated(QSystemTrayIcon::Trigger);
    QVERIFY(w.isVisible());
    QVERIFY2(!w.activityLog().text().contains(QStringLiteral("A.TXT")), qPrintable(w.activityLog().text()));
    QVERIFY(QFile::exists(spool + QStringLiteral("A.TXT")));

    // Quitting waits for the file in hand, which the port now takes whole; the next one waits.
    QByteArray received;
    std::thread drain([reader, &received] {
        ::fcntl(reader, F_SETFL, 0);
        char block[65536];
        for (ssize_t n; (n = ::read(reader, block, sizeof block)) > 0;)
            received.append(block, n);
    });
    program.finish();
    drain.join();
    ::close(reader);
    QCOMPARE(received.size(), report.size());
    QVERIFY(received == report);
    QVERIFY(!QFile::exists(spool + QStringLiteral("A.TXT")));
    QVERIFY(QFile::exists(spool + QStringLiteral("B.TXT")));
    QVERIFY2(w.activityLog().text().startsWith(QStringLiteral("Arquivo ") + spool +
                                               QStringLiteral("A.TXT excluido")),
             qPrintable(w.activityLog().text()));
}

QTEST_MAIN(TestFrmCups)
#include "tst_frm_cups.moc"
