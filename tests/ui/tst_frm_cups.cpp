// The settings window against the real printers of a private CUPS scheduler.
#include "platform/CupsPrintingService.h"
#include "platform/PosixClock.h"
#include "platform/PosixPlaces.h"
#include "platform/PosixRawPort.h"
#include "tests/support/Doubles.h"
#include "ui/FrmVelmorix.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

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
    PosixFileServices files;
    PosixClock clock;
    PosixRawPort rawPort;
    PosixPlaces places;
    CupsPrintingService printing;
    ScriptedAsker asker;
    NoTray tray;
    RecordingPrintJob job;
    Engine engine({files, files, clock, rawPort, places, printing, asker, &job});
    FrmServices services{files, printing, asker, tray, engine, dir.path() + QStringLiteral("/VELMORIX.INI")};
    FrmVelmorix w(services);
    w.Form_Initialize();

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

QTEST_MAIN(TestFrmCups)
#include "tst_frm_cups.moc"
