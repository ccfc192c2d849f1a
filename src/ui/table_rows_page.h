#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>
#include <memory>

#include "catalog/table_rows.h"

class QLabel;
class QLineEdit;
class QTableView;

namespace quorix {

/// A table's rows, read-only: fetched a page at a time as the view scrolls to them, on a
/// thread of their own so that a slow server never holds the window.
class TableRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr std::size_t kPageRows = 200;
    /// Longer values are shortened in the cell; the tooltip holds all of it.
    static constexpr int kShownCharacters = 120;

    explicit TableRowsModel(QObject* parent = nullptr);
    ~TableRowsModel() override;
    /// Reads @p table of @p connectionString (an empty name: shows nothing).
    void open(const std::string& connectionString, const std::string& table);
    /// Rows holding @p text in one of their values (all rows for an empty text).
    void setFilter(const QString& text);
    /// Whether a read is under way.
    bool busy() const { return m_busy || m_counting; }
    bool showsTable() const { return !m_table.empty(); }
    /// The line above the rows: the table, its count, the filter, or what went wrong.
    QString status() const;
    const std::string& table() const { return m_table; }
    /// How many rows the table has, -1 until counted (or while a filter narrows them).
    long long tableRows() const { return m_filter.isEmpty() && m_error.empty() ? m_count : -1; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    /// By @p column (-1: by the key alone), NULLs last.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

Q_SIGNALS:
    /// status() changed.
    void statusChanged();
    /// The first rows of a new reading are shown.
    void started();

private:
    struct Reply {
        std::vector<TextRow> rows;
        bool end = true;
        std::string error;
    };
    static Reply firstRows(TableRows& rows);
    // Runs @p read on the rows' thread; its reply replaces the rows read when @p restart,
    // else adds to them, and the rows are counted again after it when @p recount; a reply to
    // a reading since replaced is dropped.
    void request(std::function<Reply(TableRows&)> read, bool restart, bool recount);
    // On the rows' thread: counts @p rows and posts the count (none after a failure).
    void countOnThread(TableRows& rows, unsigned reading, bool failed);
    void take(Reply reply, bool restart);

    class QThread* m_thread;
    QObject* m_worker;  // lives on m_thread: what is posted to it runs there, in turn
    std::shared_ptr<TableRows> m_rows;
    std::string m_table;
    std::vector<std::string> m_columns, m_key;
    std::vector<TextRow> m_read;
    QString m_filter;
    long long m_count = -1;
    std::string m_error;
    bool m_end = true;
    bool m_busy = false;      // rows are being read
    bool m_counting = false;  // the rows are being counted
    unsigned m_reading = 0;  // which reading the rows shown belong to
};

/// The page "データ": the row count, a filter, and the rows of the table chosen in the tree.
class TableRowsPage : public QWidget {
    Q_OBJECT
public:
    explicit TableRowsPage(QWidget* parent = nullptr);
    /// Shows @p table of @p connectionString (an empty table name: nothing); the rows come
    /// as they are read.
    void showTable(const std::string& connectionString, const std::string& table);
    bool showsTable() const { return m_model->showsTable(); }
    /// The selected cells as tab-separated lines, as Ctrl+C copies them.
    QString selectedText() const;

Q_SIGNALS:
    /// The rows of @p table are counted: @p rows.
    void counted(const QString& table, long long rows);

private:
    void fitColumns();

    QLabel* m_count;
    QLineEdit* m_filter;
    QTableView* m_view;
    TableRowsModel* m_model;
    bool m_fit = false;  // the columns are fitted to the first rows of the table shown
};

}  // namespace quorix
