#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTreeWidget>

#include "ui/connect_dialog_widget.h"
#include "ui/main_window.h"
#include "ui/table_rows_page.h"
#include "services/text/text.h"
#include "ui/qt_text.h"

namespace quorix {

void MainWindow::showPropertyPage() {
    m_tabs->setCurrentWidget(m_infoPage);
}

void MainWindow::showConnectionDialog(AppSettings& settings, const std::string& openDataSource) {
    ConnectDialogWidget dialog(settings, this, openDataSource);
    dialog.exec();
}

QTreeWidgetItem* MainWindow::makeTreeItem(const TreeNode* top) {
    // Iteratively, so that a large catalog cannot exhaust the stack.
    auto itemOf = [this](const TreeNode* node) {
        auto* item = new QTreeWidgetItem(QStringList(qs(node->text)));
        item->setData(0, Qt::UserRole,
                      QVariant::fromValue(static_cast<void*>(const_cast<TreeNode*>(node))));
        // A node whose children are not read yet shows its expander all the same.
        if (node->pending) item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        m_treeItems.insert(node, item);
        return item;
    };
    QTreeWidgetItem* topItem = itemOf(top);
    std::vector<std::pair<const TreeNode*, QTreeWidgetItem*>> pending{{top, topItem}};
    while (!pending.empty()) {
        auto [node, item] = pending.back();
        pending.pop_back();
        QList<QTreeWidgetItem*> children;
        children.reserve(static_cast<int>(node->children.size()));
        for (const auto& child : node->children) {
            QTreeWidgetItem* c = itemOf(child.get());
            children << c;
            pending.emplace_back(child.get(), c);
        }
        item->addChildren(children);
    }
    return topItem;
}

void MainWindow::forgetTreeItem(QTreeWidgetItem* item) {
    std::vector<QTreeWidgetItem*> pending{item};
    while (!pending.empty()) {
        QTreeWidgetItem* i = pending.back();
        pending.pop_back();
        m_treeItems.remove(static_cast<const TreeNode*>(i->data(0, Qt::UserRole).value<void*>()));
        for (int k = 0; k < i->childCount(); ++k) pending.push_back(i->child(k));
    }
}

void MainWindow::treeRebuilt() {
    m_rowsPage->showTable({}, {});  // the table shown may be gone
    m_tree->clear();
    m_treeItems.clear();
    const TreeNode* root = m_core->browser().root();
    if (!root) return;
    QTreeWidgetItem* rootItem = makeTreeItem(root);
    m_tree->addTopLevelItem(rootItem);
    rootItem->setExpanded(root->expanded);
    applyTreeFilter();
}

void MainWindow::treeChildrenChanged(const TreeNode* node) {
    QTreeWidgetItem* item = m_treeItems.value(node);
    if (!item) return;
    // Items of nodes that stayed are kept (and what was open below them); the rest go.
    QHash<const TreeNode*, QTreeWidgetItem*> kept;
    for (QTreeWidgetItem* child : item->takeChildren()) {
        const auto* n = static_cast<const TreeNode*>(child->data(0, Qt::UserRole).value<void*>());
        kept.insert(n, child);
    }
    QList<QTreeWidgetItem*> children;
    for (const auto& child : node->children) {
        QTreeWidgetItem* c = kept.take(child.get());
        children << (c ? c : makeTreeItem(child.get()));
    }
    for (QTreeWidgetItem* gone : kept) {
        forgetTreeItem(gone);
        delete gone;
    }
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    item->addChildren(children);
    applyTreeFilter();
}

void MainWindow::applyTreeFilter() {
    const QTreeWidgetItem* root = m_tree->topLevelItem(0);
    const TreeNode* rootNode = m_core->browser().root();
    if (!root || !rootNode || rootNode->children.empty()) return;
    QTreeWidgetItem* tables = m_treeItems.value(rootNode->children.front().get());
    if (!tables) return;
    const QString text = m_filter->text().trimmed();
    for (int i = 0; i < tables->childCount(); ++i) {
        QTreeWidgetItem* t = tables->child(i);
        const bool hide = !text.isEmpty() && !t->text(0).contains(text, Qt::CaseInsensitive);
        if (t->isHidden() != hide) t->setHidden(hide);  // each change costs the view a pass
    }
}

void MainWindow::treeNodeAboutToBeRemoved(const TreeNode* node) {
    if (QTreeWidgetItem* item = m_treeItems.value(node)) {
        forgetTreeItem(item);
        delete item;
    }
}

void MainWindow::showTableRows(const std::string& connectionString, const std::string& table) {
    m_panelTable = qs(table);  // its row count joins the panel once the rows page has it
    m_rowsPage->showTable(connectionString, table);
}

void MainWindow::showPropertyLines(const std::vector<std::string>& lines) {
    m_panelLines.clear();
    for (const auto& l : lines) m_panelLines << qs(l);
    m_panelTable.clear();
    m_picture->setPlainText(m_panelLines.join(QLatin1Char('\n')));
}

void MainWindow::tableCounted(const QString& table, long long rows) {
    if (table != m_panelTable) return;
    m_picture->setPlainText((QStringList(m_panelLines) << qs("行数 = " + grouped(rows)))
                                .join(QLatin1Char('\n')));
}

}  // namespace quorix
