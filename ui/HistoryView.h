#pragma once

#include "spool/History.h"

#include <QWidget>

class HistoryStore;
class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

/**
 * The history of print-outs as a table, newest first, with a filter by text and by period. It
 * reads the history's file when shown and when asked to refresh; the filter works on what was
 * read. Made to be a tab of a larger window.
 */
class HistoryView : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryView(HistoryStore& store, QWidget* parent = nullptr);

    /// Reads the file again and shows what the filter lets through.
    void refresh();
    /// The records shown, newest first.
    const QList<HistoryRecord>& shown() const { return m_shown; }

    /// The periods offered, in days; 0 is the whole history.
    static constexpr int kPeriods[] = {1, 7, 30, 0};

protected:
    void showEvent(QShowEvent* event) override;

private:
    /// Shows the records read that the filter lets through.
    void applyFilter();

    HistoryStore& m_store;
    QByteArray m_text;
    QString m_readError;
    QList<HistoryRecord> m_shown;
    QLineEdit* m_filter;
    QComboBox* m_period;
    QLabel* m_status;
    QTableWidget* m_table;
};
