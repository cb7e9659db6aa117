// The size and orientation chosen for a document from its widest drawn line.

#include "render/Fitting.h"

#include <QtTest>

Q_DECLARE_METATYPE(Fit)

class TestFitting : public QObject
{
    Q_OBJECT

private slots:
    void fit_data();
    void fit();
};

void TestFitting::fit_data()
{
    // A4 with 10 pt margins: 575 pt across in portrait, 822 pt in landscape. A Courier cell
    // is 0.6 em, so a line of n columns is 0.6 n points wide at one point.
    QTest::addColumn<QList<qreal>>("sizes");
    QTest::addColumn<qreal>("columns");
    QTest::addColumn<Fit>("expected");
    const QList<qreal> table{11, 9, 8, 7};
    QTest::newRow("80 columns at 11") << table << 80.0 << Fit{11, false, false};
    QTest::newRow("90 columns: 9") << table << 90.0 << Fit{9, false, false};
    QTest::newRow("107 columns: 8") << table << 107.0 << Fit{8, false, false};
    QTest::newRow("from 9, 120 columns: 7") << QList<qreal>{9, 8, 7} << 120.0 << Fit{7, false, false};
    QTest::newRow("136 columns at 7") << QList<qreal>{7} << 136.0 << Fit{7, false, false};
    QTest::newRow("137 columns: landscape 7") << QList<qreal>{7} << 137.0 << Fit{7, true, false};
    QTest::newRow("230 columns: landscape, smaller")
        << QList<qreal>{7} << 230.0 << Fit{822.0 / (0.6 * 230), true, false};
    QTest::newRow("342 columns: landscape 4")
        << QList<qreal>{7} << 342.5 << Fit{822.0 / (0.6 * 342.5), true, false};
    QTest::newRow("400 columns: wrapped at 4") << QList<qreal>{7} << 400.0 << Fit{4, true, true};
    QTest::newRow("a printer page wider than its carriage shrinks in portrait")
        << QList<qreal>{12} << 120.0 << Fit{575.0 / 72, false, false};
}

void TestFitting::fit()
{
    QFETCH(QList<qreal>, sizes);
    QFETCH(qreal, columns);
    QFETCH(Fit, expected);
    FitRequest request;
    request.sizes = sizes;
    request.widthPerPoint = 0.6 * columns;
    request.portraitWidth = 575;
    request.landscapeWidth = 822;
    const Fit fit = fitDocument(request);
    QCOMPARE(fit.landscape, expected.landscape);
    QCOMPARE(fit.wrap, expected.wrap);
    QVERIFY2(qAbs(fit.points - expected.points) < 1e-6, qPrintable(QString::number(fit.points)));
}

QTEST_APPLESS_MAIN(TestFitting)
#include "tst_fitting.moc"
