#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <memory>

#include "catalog/table_rows.h"

class QLabel;
class QLineEdit;
class QTableView;

namespace quorix {

/// A table's rows, read-only: fetched a page at a time as the view scrolls to them.
class TableRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr std::size_t kPageRows = 200;
    /// Longer values are shortened in the cell; the tooltip holds all of it.
    static constexpr int kShownCharacters = 120;

    using QAbstractTableModel::QAbstractTableModel;
    /// Shows @p rows (null: nothing).
    void setRows(std::unique_ptr<TableRows> rows);
    TableRows* rows() const { return m_rows.get(); }
    /// Forgets the rows read, after the rows' filter changed.
    void restart();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    std::unique_ptr<TableRows> m_rows;
    std::vector<TextRow> m_read;
};

/// The page "データ": the row count, a filter, and the rows of the table chosen in the tree.
class TableRowsPage : public QWidget {
    Q_OBJECT
public:
    explicit TableRowsPage(QWidget* parent = nullptr);
    /// Shows @p table of @p connectionString; an empty table name shows nothing.
    void showTable(const std::string& connectionString, const std::string& table);
    bool showsTable() const { return m_model->rows() != nullptr; }
    /// The selected cells as tab-separated lines, as Ctrl+C copies them.
    QString selectedText() const;

private:
    void reload();

    QLabel* m_count;
    QLineEdit* m_filter;
    QTableView* m_view;
    TableRowsModel* m_model;
};

}  // namespace quorix
