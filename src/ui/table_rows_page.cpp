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
#include <QThread>
#include <QVBoxLayout>
#include <map>

#include "services/text/text.h"
#include "ui/qt_text.h"

namespace quorix {

TableRowsModel::TableRowsModel(QObject* parent)
    : QAbstractTableModel(parent), m_thread(new QThread(this)), m_worker(new QObject) {
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

TableRowsModel::~TableRowsModel() {
    // A read under way ends first; what is still posted is dropped with the worker.
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
}

void TableRowsModel::request(std::function<Reply(TableRows&)> read, bool restart, bool recount) {
    if (restart) ++m_reading;
    m_busy = true;
    m_counting = m_counting || recount;
    const unsigned reading = m_reading;
    QMetaObject::invokeMethod(m_worker, [this, rows = m_rows, read = std::move(read), reading, restart,
                                         recount] {
        Reply reply = read(*rows);
        const bool failed = !reply.error.empty();
        QMetaObject::invokeMethod(this, [this, reply = std::move(reply), reading, restart]() mutable {
            if (reading == m_reading) take(std::move(reply), restart);
        }, Qt::QueuedConnection);
        if (recount) countOnThread(*rows, reading, failed);
    }, Qt::QueuedConnection);
}

void TableRowsModel::countOnThread(TableRows& rows, unsigned reading, bool failed) {
    // After the first rows: counting a big table takes longer than showing its start.
    const long long n = failed ? -1 : rows.count();
    QMetaObject::invokeMethod(this, [this, n, error = rows.error(), reading] {
        if (reading != m_reading) return;
        m_counting = false;
        if (!error.empty()) m_error = error;
        if (n >= 0 && error.empty()) m_count = n;
        Q_EMIT statusChanged();
    }, Qt::QueuedConnection);
}

void TableRowsModel::take(Reply reply, bool restart) {
    m_busy = false;
    if (restart) {
        beginResetModel();
        m_read = std::move(reply.rows);
        endResetModel();
    } else if (!reply.rows.empty()) {
        const int first = static_cast<int>(m_read.size());
        beginInsertRows({}, first, first + static_cast<int>(reply.rows.size()) - 1);
        for (auto& r : reply.rows) m_read.push_back(std::move(r));
        endInsertRows();
    }
    m_end = reply.end;
    if (!reply.error.empty()) m_error = std::move(reply.error);
    Q_EMIT statusChanged();
    if (restart) Q_EMIT started();
}

// The first rows of what @p rows reads now.
TableRowsModel::Reply TableRowsModel::firstRows(TableRows& rows) {
    Reply reply;
    if (rows.error().empty()) reply.rows = rows.more(kPageRows);
    reply.end = rows.atEnd();
    reply.error = rows.error();
    return reply;
}

void TableRowsModel::open(const std::string& connectionString, const std::string& table) {
    beginResetModel();
    ++m_reading;
    m_rows.reset();
    m_table = table;
    m_columns.clear();
    m_key.clear();
    m_read.clear();
    m_filter.clear();
    m_count = -1;
    m_error.clear();
    m_end = true;
    m_busy = m_counting = !table.empty();
    endResetModel();
    Q_EMIT statusChanged();
    if (table.empty()) return;
    // Opening the connection is the slow part on a server: it happens on the rows' thread too.
    const unsigned reading = m_reading;
    QMetaObject::invokeMethod(m_worker, [this, connectionString, table, reading] {
        auto rows = std::make_shared<TableRows>(connectionString, table);
        Reply reply = firstRows(*rows);
        const bool failed = !reply.error.empty();
        QMetaObject::invokeMethod(this, [this, rows, reply = std::move(reply), reading]() mutable {
            if (reading != m_reading) return;
            beginResetModel();
            m_rows = rows;
            m_columns = rows->columns();
            m_key = rows->key();
            endResetModel();
            take(std::move(reply), true);
        }, Qt::QueuedConnection);
        countOnThread(*rows, reading, failed);
    }, Qt::QueuedConnection);
}

void TableRowsModel::setFilter(const QString& text) {
    if (!m_rows) return;
    m_filter = text;
    m_count = -1;
    m_error.clear();
    request([filter = ss(text)](TableRows& rows) {
        rows.setFilter(filter);
        return firstRows(rows);
    }, true, true);
    Q_EMIT statusChanged();
}

void TableRowsModel::sort(int column, Qt::SortOrder order) {
    if (!m_rows) return;
    const std::string by =
        column >= 0 && column < columnCount() ? m_columns[static_cast<std::size_t>(column)] : "";
    request([by, descending = order == Qt::DescendingOrder](TableRows& rows) {
        rows.setOrder(by, descending);
        return firstRows(rows);
    }, true, false);
}

QString TableRowsModel::status() const {
    if (m_table.empty()) return {};
    if (!m_error.empty()) return qs(m_error);
    if (m_count < 0) return qs("表「" + m_table + "」: " + (m_read.empty() ? "読み込み中…" : "行を数えています…"));
    return qs("表「" + m_table + "」: " + grouped(m_count) + " 行") +
           (m_filter.isEmpty() ? QString() : QStringLiteral("（「%1」を含む行）").arg(m_filter));
}

int TableRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_read.size());
}

int TableRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
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
    if (orientation == Qt::Vertical) return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
    if (section < 0 || section >= columnCount()) return {};
    const std::string& name = m_columns[static_cast<std::size_t>(section)];
    const auto& key = m_key;
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

bool TableRowsModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_rows && !m_end && !m_busy;
}

void TableRowsModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    request([](TableRows& rows) { return firstRows(rows); }, false, false);
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
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    m_view->setSortingEnabled(true);  // a click on a header sorts on the server
    m_view->horizontalHeader()->setDefaultSectionSize(120);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 6);
    auto* top = new QHBoxLayout;
    top->addWidget(m_count, 1);
    top->addWidget(m_filter, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    connect(m_filter, &QLineEdit::returnPressed, this, [this] { m_model->setFilter(m_filter->text()); });
    connect(m_model, &TableRowsModel::statusChanged, this, [this] {
        m_count->setText(m_model->status());
        if (m_model->tableRows() >= 0) Q_EMIT counted(qs(m_model->table()), m_model->tableRows());
    });
    connect(m_model, &TableRowsModel::started, this, [this] {
        // Fitted once a table: a new filter or order keeps the widths the user sees.
        if (m_fit) fitColumns();
        m_fit = false;
    });
    auto* copy = new QShortcut(QKeySequence::Copy, m_view);
    copy->setContext(Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this,
            [this] { QApplication::clipboard()->setText(selectedText()); });
}

void TableRowsPage::showTable(const std::string& connectionString, const std::string& table) {
    m_filter->clear();
    m_view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);  // the key's order
    m_fit = true;
    m_model->open(connectionString, table);
}

void TableRowsPage::fitColumns() {
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
