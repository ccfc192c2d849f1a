#include "ui/table_rows_page.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <map>

#include "services/text/text.h"
#include "ui/qt_text.h"

namespace quorix {

void TableRowsModel::setRows(std::unique_ptr<TableRows> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    m_read.clear();
    endResetModel();
}

int TableRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_read.size());
}

int TableRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_rows ? 0 : static_cast<int>(m_rows->columns().size());
}

QVariant TableRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const auto& value = m_read[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())];
    switch (role) {
        case Qt::DisplayRole: {
            // NULL is not empty text: it is shown as a word of its own, greyed.
            if (!value) return QStringLiteral("(NULL)");
            const QString text = qs(*value);
            return text.size() > kShownCharacters ? text.left(kShownCharacters) + QStringLiteral("…")
                                                  : text;
        }
        case Qt::ToolTipRole:
            if (value && static_cast<int>(value->size()) > kShownCharacters) return qs(*value);
            return {};
        case Qt::ForegroundRole:
            if (!value) return QApplication::palette().color(QPalette::Disabled, QPalette::Text);
            return {};
        case Qt::FontRole:
            if (!value) {
                QFont font;
                font.setItalic(true);
                return font;
            }
            return {};
        case Qt::UserRole:  // the whole value, for copying
            return value ? QVariant(qs(*value)) : QVariant();
        default:
            return {};
    }
}

QVariant TableRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!m_rows) return {};
    if (orientation == Qt::Vertical) return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    const std::string& name = m_rows->columns()[static_cast<std::size_t>(section)];
    const auto& key = m_rows->key();
    // The key's columns in bold: the rows come in their order.
    if (role == Qt::FontRole && std::find(key.begin(), key.end(), name) != key.end()) {
        QFont font;
        font.setBold(true);
        return font;
    }
    if (role == Qt::ToolTipRole && std::find(key.begin(), key.end(), name) != key.end())
        return QStringLiteral("キーの列（行はこの順に並びます）");
    return role == Qt::DisplayRole ? QVariant(qs(name)) : QVariant();
}

void TableRowsModel::restart() {
    beginResetModel();
    m_read.clear();
    endResetModel();
}

bool TableRowsModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_rows && !m_rows->atEnd();
}

void TableRowsModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    std::vector<TextRow> more = m_rows->more(kPageRows);
    if (more.empty()) return;
    const int first = static_cast<int>(m_read.size());
    beginInsertRows({}, first, first + static_cast<int>(more.size()) - 1);
    for (auto& r : more) m_read.push_back(std::move(r));
    endInsertRows();
}

TableRowsPage::TableRowsPage(QWidget* parent)
    : QWidget(parent),
      m_count(new QLabel(this)),
      m_filter(new QLineEdit(this)),
      m_view(new QTableView(this)),
      m_model(new TableRowsModel(this)) {
    setObjectName(QStringLiteral("tabData"));
    m_count->setObjectName(QStringLiteral("lblRowCount"));
    m_filter->setObjectName(QStringLiteral("txtRowFilter"));
    m_filter->setPlaceholderText(QStringLiteral("値で絞り込む（Enter）"));
    m_filter->setClearButtonEnabled(true);
    m_view->setObjectName(QStringLiteral("grdRows"));
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->horizontalHeader()->setDefaultSectionSize(120);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    auto* top = new QHBoxLayout;
    top->addWidget(m_count, 1);
    top->addWidget(m_filter, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    connect(m_filter, &QLineEdit::returnPressed, this, &TableRowsPage::reload);
    auto* copy = new QShortcut(QKeySequence::Copy, m_view);
    copy->setContext(Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this,
            [this] { QApplication::clipboard()->setText(selectedText()); });
}

void TableRowsPage::showTable(const std::string& connectionString, const std::string& table) {
    m_filter->clear();
    m_model->setRows(table.empty() ? nullptr : std::make_unique<TableRows>(connectionString, table));
    reload();
}

void TableRowsPage::reload() {
    TableRows* rows = m_model->rows();
    if (!rows) {
        m_count->clear();
        return;
    }
    if (!rows->error().empty()) {
        m_count->setText(qs(rows->error()));
        return;
    }
    const QString filter = m_filter->text();
    rows->setFilter(ss(filter));
    const long long n = rows->count();
    m_model->restart();
    if (!rows->error().empty()) {
        m_count->setText(qs(rows->error()));
        return;
    }
    m_count->setText(qs("表「" + rows->table() + "」: " + grouped(n) + " 行") +
                     (filter.isEmpty() ? QString() : QStringLiteral("（「%1」を含む行）").arg(filter)));
    m_model->fetchMore({});  // the first rows at once, the rest as the view scrolls
    // Columns as wide as the first rows' values, within reason (the tooltip has the rest).
    m_view->resizeColumnsToContents();
    const int widest = std::max(160, m_view->width() / 2);
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_view->setColumnWidth(c, std::min(widest, m_view->columnWidth(c) + 12));
}

QString TableRowsPage::selectedText() const {
    // Row by row, the columns between tabs, the whole values (not their shortened view).
    std::map<int, std::map<int, QString>> cells;
    for (const QModelIndex& i : m_view->selectionModel()->selectedIndexes())
        cells[i.row()][i.column()] = i.data(Qt::UserRole).isNull() ? QString()
                                                                    : i.data(Qt::UserRole).toString();
    QStringList lines;
    for (const auto& [row, columns] : cells) {
        QStringList line;
        int last = columns.begin()->first;
        for (const auto& [column, text] : columns) {
            while (last++ < column) line << QString();
            line << text;
        }
        lines << line.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace quorix
