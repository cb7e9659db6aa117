// The history's table: what it shows of the file, and its filters.

#include "tests/support/MemoryHistoryStore.h"
#include "ui/HistoryView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

class TestHistoryView : public QObject
{
    Q_OBJECT

private slots:
    void showsTheRecordsTheFiltersLetThrough();
};

void TestHistoryView::showsTheRecordsTheFiltersLetThrough()
{
    MemoryHistoryStore store;
    const QDateTime now = QDateTime::currentDateTime();
    for (const int age : {10, 1, 0}) {
        HistoryRecord record;
        record.time = now.addDays(-age);
        record.file = QStringLiteral("NF%1.TXT").arg(age);
        record.outcome = age == 1 ? QStringLiteral("falhou") : QStringLiteral("impresso");
        store.append(History::header(), History::lineOf(record), nullptr);
    }
    HistoryView view(store);
    view.show(); // read when shown; the last 7 days at first
    auto* table = view.findChild<QTableWidget*>();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("NF0.TXT"));
    view.findChild<QComboBox*>()->setCurrentIndex(view.findChild<QComboBox*>()->count() - 1);
    QCOMPARE(table->rowCount(), 3);
    view.findChild<QLineEdit*>()->setText(QStringLiteral("FALHOU"));
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("NF1.TXT"));
}

QTEST_MAIN(TestHistoryView)
#include "tst_historyview.moc"
