#include "ui/evidence_dialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/qt_text.h"

namespace quorix {

namespace {

// A number shown grouped ("300,000") that sorts as a number.
class NumberItem : public QTableWidgetItem {
public:
    NumberItem(const QString& text, qlonglong n) : QTableWidgetItem(text) { setData(Qt::UserRole, n); }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(Qt::UserRole).toLongLong() < other.data(Qt::UserRole).toLongLong();
    }
};

}  // namespace

EvidenceDialog::EvidenceDialog(const std::vector<std::vector<std::string>>& table, QWidget* parent,
                               const QString& title, const QString& name, const QString& heading)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(title);
    resize(980, 480);
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("grdEvidence"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->setVisible(false);
    if (!table.empty()) {
        QStringList header;
        for (const auto& h : table.front()) header << qs(h);
        m_table->setColumnCount(header.size());
        m_table->setHorizontalHeaderLabels(header);
        m_table->setRowCount(static_cast<int>(table.size() - 1));
        for (std::size_t r = 1; r < table.size(); ++r) {
            for (std::size_t c = 0; c < table[r].size(); ++c) {
                const QString text = qs(table[r][c]);
                bool number = false;
                const qlonglong n = QString(text).remove(QLatin1Char(',')).toLongLong(&number);
                // Numbers sort as numbers.
                QTableWidgetItem* item = number && c > 0 ? new NumberItem(text, n) : new QTableWidgetItem(text);
                if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_table->setItem(static_cast<int>(r - 1), static_cast<int>(c), item);
            }
        }
    }
    m_table->resizeColumnsToContents();
    m_table->setSortingEnabled(true);
    auto* copy = new QPushButton(QStringLiteral("コピー"), this);
    copy->setObjectName(QStringLiteral("cmdCopy"));
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    if (!heading.isEmpty()) {
        auto* label = new QLabel(heading, this);
        label->setObjectName(QStringLiteral("lblHeading"));
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(text()); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

QString EvidenceDialog::text() const {
    QStringList lines;
    QStringList header;
    for (int c = 0; c < m_table->columnCount(); ++c)
        header << m_table->horizontalHeaderItem(c)->text();
    lines << header.join(QLatin1Char('\t'));
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_table->columnCount(); ++c)
            cells << (m_table->item(r, c) ? m_table->item(r, c)->text() : QString());
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void EvidenceDialog::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(text());
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace quorix
