#pragma once

#include "spool/PrintOuts.h"

#include <QTimer>
#include <QWidget>

class PrintOutControl;
class QLabel;
class QTabWidget;
class QTableWidget;

/**
 * The window of print-outs: every file that waits or failed, with the three actions. It asks
 * the engine for the list while it is shown, and shows what comes back; a tab widget holds the
 * list first, and room for more tabs (the history).
 */
class PrintOutList : public QWidget
{
    Q_OBJECT
public:
    explicit PrintOutList(PrintOutControl& engine, QWidget* parent = nullptr);

    /// Shows the window in front, and asks for the list at once.
    void open();
    /// Another view beside the list, as a tab of its own.
    void addTab(QWidget* page, const QString& title);
    QTableWidget& table() { return *m_table; }

    /// The engine's list, as it came.
    void showPrintOuts(const QList<PrintOut>& printOuts);
    /// The engine's answer to an action: told if it is this window's.
    void showActionDone(quint64 ticket, bool ok, const QString& message);

    /// While shown, the list is asked for this often.
    static constexpr int kRefreshMs = 2000;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void act(PrintOuts::Action action);
    /// "Reimprimir": the backup is chosen in a watched folder.
    void chooseBackup();

    PrintOutControl& m_engine;
    QTabWidget* m_tabs;
    QTableWidget* m_table;
    QLabel* m_message;
    QTimer m_refresh;
    QList<PrintOut> m_shown;
    quint64 m_nextTicket = 1;
    quint64 m_lastTicket = 0;
};
