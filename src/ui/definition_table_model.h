#pragma once

#include <QAbstractTableModel>
#include <functional>

#include "services/db/record_set.h"

namespace quorix {

/// Shows a RecordSet as a table: one column per field, titled with the field name. Edits go
/// through the record set, which refuses values that do not fit; the refusal is reported.
class DefinitionTableModel : public QAbstractTableModel, private RecordSetObserver {
    Q_OBJECT
public:
    explicit DefinitionTableModel(QObject* parent = nullptr);
    ~DefinitionTableModel() override;

    /// Shows @p records (not owned; null shows nothing).
    void setRecords(RecordSet* records);
    RecordSet* records() const { return m_records; }
    /// Columns the user cannot type into.
    void setLockedColumns(QList<int> columns) { m_locked = std::move(columns); }
    /// Tells whether a type name uses its size; a size it ignores is shown greyed.
    void setSizeUse(std::function<bool(const std::string& type)> takesSize) {
        m_takesSize = std::move(takesSize);
    }
    /// Called after the user's edit was stored.
    void setEditHandler(std::function<void()> handler) { m_onEdit = std::move(handler); }
    /// Called with the description when an edit is refused.
    void setErrorHandler(std::function<void(const std::string&)> handler) {
        m_onError = std::move(handler);
    }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

Q_SIGNALS:
    /// The record set's cursor moved to @p row (-1: no current record).
    void currentRecordChanged(int row);

private:
    void recordSetAboutToReset() override;
    void recordSetReset() override;
    void recordAboutToBeAppended(int row) override;
    void recordAppended(int row) override;
    void recordAboutToBeRemoved(int row) override;
    void recordRemoved(int row) override;
    void valueChanged(int row, int field) override;
    void currentChanged(int row) override;
    bool sizeUnused(const QModelIndex& index) const;

    RecordSet* m_records = nullptr;
    QList<int> m_locked;
    std::function<void(const std::string&)> m_onError;
    std::function<void()> m_onEdit;
    std::function<bool(const std::string&)> m_takesSize;
    bool m_resetting = false;
};

}  // namespace quorix
