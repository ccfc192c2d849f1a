#include "ui/definition_table_model.h"

#include <QColor>

#include "services/db/engine/service_error.h"
#include "ui/qt_text.h"
#include "xml_analysis/definition_table.h"

namespace quorix {

DefinitionTableModel::DefinitionTableModel(QObject* parent) : QAbstractTableModel(parent) {}

DefinitionTableModel::~DefinitionTableModel() {
    if (m_records) m_records->setObserver(nullptr);
}

void DefinitionTableModel::setRecords(RecordSet* records) {
    beginResetModel();
    if (m_records) m_records->setObserver(nullptr);
    m_records = records;
    if (m_records) m_records->setObserver(this);
    endResetModel();
    Q_EMIT currentRecordChanged(m_records ? m_records->currentRow() : -1);
}

int DefinitionTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_records ? 0 : m_records->recordCount();
}

int DefinitionTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_records ? 0 : static_cast<int>(m_records->fields().size());
}

QVariant DefinitionTableModel::data(const QModelIndex& index, int role) const {
    if (!m_records || !index.isValid()) return {};
    if (role == Qt::ForegroundRole && sizeUnused(index)) return QColor(Qt::gray);
    if (role == Qt::ToolTipRole) {
        if (sizeUnused(index)) return QStringLiteral("この型では桁数は使われません。");
        // What the document's rows said about the line's element.
        const LineInfo* info = lineInfo(*m_records, index.row());
        if (!info || !info->evidence) return {};
        return qs(evidenceSummary(*info->evidence, info->documentRows));
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    const FieldValue& v = m_records->valueAt(index.row(), index.column());
    if (const auto* s = std::get_if<std::string>(&v)) return qs(*s);
    if (const auto* n = std::get_if<int32_t>(&v)) return QString::number(*n);
    return QString();
}

QVariant DefinitionTableModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (role == Qt::ToolTipRole && orientation == Qt::Horizontal && m_records &&
        section == m_records->fieldIndex(Field::kKey))
        return QStringLiteral(
            "「親」の行から始まる表は、上の表のキーで始まります"
            "（「入れ子の表をキーで結ぶ」が付けます）。");
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (!m_records || section < 0 || section >= static_cast<int>(m_records->fields().size()))
            return {};
        return qs(m_records->fields()[section].name);
    }
    // The record selector marks the current line.
    return m_records && section == m_records->currentRow() ? QStringLiteral("▶") : QString();
}

Qt::ItemFlags DefinitionTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!m_locked.contains(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

bool DefinitionTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!m_records || !index.isValid() || role != Qt::EditRole) return false;
    if (!(flags(index) & Qt::ItemIsEditable)) return false;
    try {
        m_records->setValueAt(index.row(), index.column(), ss(value.toString()));
        if (m_onEdit) m_onEdit();
        return true;
    } catch (const ServiceError& e) {
        if (m_onError) m_onError(e.description());
        return false;
    }
}

void DefinitionTableModel::recordSetAboutToReset() {
    m_resetting = true;
    beginResetModel();
}

void DefinitionTableModel::recordSetReset() {
    if (!m_resetting) beginResetModel();
    m_resetting = false;
    endResetModel();
}

void DefinitionTableModel::recordAboutToBeAppended(int row) {
    beginInsertRows({}, row, row);
}

void DefinitionTableModel::recordAppended(int) {
    endInsertRows();
}

void DefinitionTableModel::recordAboutToBeRemoved(int row) {
    beginRemoveRows({}, row, row);
}

void DefinitionTableModel::recordRemoved(int) {
    endRemoveRows();
}

void DefinitionTableModel::valueChanged(int row, int field) {
    const QModelIndex i = index(row, field);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
    // A new type may use or ignore the size beside it.
    if (field == m_records->fieldIndex(Field::kType)) {
        const QModelIndex size = index(row, m_records->fieldIndex(Field::kSize));
        Q_EMIT dataChanged(size, size, {Qt::ForegroundRole, Qt::ToolTipRole});
    }
}

bool DefinitionTableModel::sizeUnused(const QModelIndex& index) const {
    if (!m_takesSize || index.column() != m_records->fieldIndex(Field::kSize)) return false;
    const int type = m_records->fieldIndex(Field::kType);
    const FieldValue& size = m_records->valueAt(index.row(), index.column());
    if (type < 0 || std::holds_alternative<std::monostate>(size)) return false;
    if (const auto* s = std::get_if<std::string>(&size); s && s->empty()) return false;
    const FieldValue& v = m_records->valueAt(index.row(), type);
    const auto* name = std::get_if<std::string>(&v);
    return name && !name->empty() && !m_takesSize(*name);
}

void DefinitionTableModel::currentChanged(int row) {
    if (rowCount() > 0) Q_EMIT headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
    Q_EMIT currentRecordChanged(row);
}

}  // namespace quorix
