#include "catalog/catalog_tree.h"

#include <algorithm>
#include <functional>
#include <map>

#include "catalog/property_panel.h"

namespace quorix {

namespace {

// Runs one step of the refresh; a failing step is skipped.
template <typename Step>
void skipOnFailure(Step step) {
    try {
        step();
    } catch (const ServiceError&) {
    }
}

}  // namespace

TreeNode* TreeNode::nextSibling() const {
    if (!parent) return nullptr;
    const auto& siblings = parent->children;
    for (std::size_t i = 0; i + 1 < siblings.size(); ++i)
        if (siblings[i].get() == this) return siblings[i + 1].get();
    return nullptr;
}

CatalogBrowser::CatalogBrowser(UserPort& port, CatalogView& view)
    : m_port(port), m_view(view), m_objects(101) {}

CatalogObjectPtr CatalogBrowser::objectAt(int32_t tag) const {
    if (tag <= 0 || tag >= static_cast<int32_t>(m_objects.size())) return nullptr;
    return m_objects[tag];
}

std::unique_ptr<TreeNode> CatalogBrowser::makeNode(CatalogObjectPtr item, TreeNode* parent,
                                                   std::string text) {
    const int32_t n = ++m_count;
    if (n > catalogObjectListBound()) {
        // Grown by 100 at a time as seen from outside; the storage grows geometrically, so
        // that a tree of 100 000 tables does not move the list a thousand times.
        if (m_objects.capacity() < static_cast<std::size_t>(n) + 100)
            m_objects.reserve(
                std::max(m_objects.capacity() * 2, static_cast<std::size_t>(n) + 100));
        m_objects.resize(static_cast<std::size_t>(n) + 100);
    }
    if (text.empty() && item) text = item->name();
    m_objects[n] = std::move(item);
    auto node = std::make_unique<TreeNode>();
    node->text = std::move(text);
    node->tag = n;
    node->parent = parent;
    return node;
}

TreeNode* CatalogBrowser::addNode(CatalogObjectPtr item, TreeNode* parent, std::string text) {
    auto node = makeNode(std::move(item), parent, std::move(text));
    TreeNode* raw = node.get();
    if (parent)
        parent->children.push_back(std::move(node));
    else
        m_root = std::move(node);
    return raw;
}

// A "列" node under an index or key, with one node per column.
void CatalogBrowser::addColumnsOf(const CatalogObjectPtr& owner, TreeNode* ownerNode) {
    skipOnFailure([&] {
        CatalogObjectPtr columns = owner->child("Columns");
        TreeNode* node = addNode(columns, ownerNode, "列");
        for (const auto& c : columns->members()) addNode(c, node, {});
    });
}

// The "コマンド" node of a view or procedure, with its parameters when it has any.
void CatalogBrowser::addCommand(const CatalogObjectPtr& owner, TreeNode* ownerNode) {
    skipOnFailure([&] {
        CatalogObjectPtr command = owner->child("Command");
        TreeNode* commandNode = addNode(command, ownerNode, "コマンド");
        CatalogObjectPtr parameters = command->child("Parameters");
        long long count = 1;
        skipOnFailure([&] { count = std::get<long long>(parameters->property("Count")); });
        if (count == 0) return;
        TreeNode* node = addNode(parameters, commandNode, "引数");
        for (const auto& p : parameters->members()) addNode(p, node, {});
    });
}

// The "列", "索引" and "キー" nodes of a table read in full.
void CatalogBrowser::addTableParts(const CatalogObjectPtr& table, TreeNode* tableNode) {
    skipOnFailure([&] {
        CatalogObjectPtr columns = table->child("Columns");
        TreeNode* node = addNode(columns, tableNode, "列");
        for (const auto& c : columns->members()) addNode(c, node, {});
    });
    for (const auto& part : {std::pair{"Indexes", "索引"}, std::pair{"Keys", "キー"}}) {
        const char* role = part.first;
        const char* label = part.second;
        skipOnFailure([&] {
            CatalogObjectPtr members = table->child(role);
            TreeNode* node = addNode(members, tableNode, label);
            for (const auto& m : members->members()) addColumnsOf(m, addNode(m, node, {}));
        });
    }
}

bool CatalogBrowser::openPrivate(const std::string& connectionString) {
    m_catalog.setActiveConnection(nullptr);
    m_connection = std::make_unique<Connection>();
    skipOnFailure([&] {
        m_connection->setConnectionString(connectionString);
        m_connection->open();
    });
    m_catalog.setActiveConnection(m_connection.get());
    return m_connection->isOpen();
}

void CatalogBrowser::ReadTree(const std::string& connectionString) {
    m_connectionString = connectionString;
    const bool open = openPrivate(connectionString);
    Catalog& catalog = m_catalog;

    // The old nodes go; a current node never points into them.
    m_currentNode = nullptr;
    m_root.reset();
    TreeNode* root = addNode(catalog.object(), nullptr, "カタログ");
    root->expanded = true;

    if (open) {
        skipOnFailure([&] {
            CatalogObjectPtr tables = catalog.tableNames();
            TreeNode* tablesNode = addNode(tables, root, "表");
            tablesNode->children.reserve(tables->members().size());
            for (const auto& table : tables->members())
                addNode(table, tablesNode, {})->pending = true;
        });
        const std::pair<std::function<CatalogObjectPtr()>, const char*> commands[] = {
            {[&] { return catalog.views(); }, "ビュー"},
            {[&] { return catalog.procedures(); }, "プロシージャ"}};
        for (const auto& command : commands) {
            skipOnFailure([&] {
                const char* label = command.second;
                CatalogObjectPtr members = command.first();
                TreeNode* node = addNode(members, root, label);
                for (const auto& m : members->members()) addCommand(m, addNode(m, node, {}));
            });
        }
        const std::tuple<std::function<CatalogObjectPtr()>, const char*, const char*, const char*>
            people[] = {{[&] { return catalog.groups(); }, "グループ", "Users", "ユーザ"},
                        {[&] { return catalog.users(); }, "ユーザ", "Groups", "グループ"}};
        for (const auto& kind : people) {
            skipOnFailure([&] {
                const char* label = std::get<1>(kind);
                const char* role = std::get<2>(kind);
                const char* childLabel = std::get<3>(kind);
                CatalogObjectPtr members = std::get<0>(kind)();
                TreeNode* node = addNode(members, root, label);
                for (const auto& m : members->members()) {
                    TreeNode* memberNode = addNode(m, node, {});
                    skipOnFailure([&] {
                        CatalogObjectPtr inner = m->child(role);
                        TreeNode* innerNode = addNode(inner, memberNode, childLabel);
                        for (const auto& i : inner->members()) addNode(i, innerNode, {});
                    });
                }
            });
        }
    }
}

bool CatalogBrowser::TreeView1_Expand(TreeNode* node) {
    if (!node || !node->pending) return false;
    node->pending = false;
    const CatalogObjectPtr named = objectAt(node->tag);
    if (named && m_connection && m_connection->isOpen()) {
        skipOnFailure([&] {
            // The full object takes the place of the one read by name: the same properties.
            if (CatalogObjectPtr table = m_catalog.table(named->name())) {
                m_objects[node->tag] = table;
                addTableParts(table, node);
            }
        });
    }
    m_view.treeChildrenChanged(node);
    return true;
}

const TreeNode* CatalogBrowser::ReadTablesAdded(const std::string& connectionString) {
    TreeNode* tablesNode =
        m_root && !m_root->children.empty() ? m_root->children.front().get() : nullptr;
    const CatalogObjectPtr list = tablesNode ? objectAt(tablesNode->tag) : nullptr;
    if (!list || list->kind() != "Tables" || !m_connection || !m_connection->isOpen()) {
        ReadTree(connectionString);
        return nullptr;
    }
    CatalogObjectPtr tables;
    skipOnFailure([&] { tables = m_catalog.tableNames(); });
    if (!tables) {
        ReadTree(connectionString);
        return nullptr;
    }
    // Nodes that stay keep what they read; new tables get new nodes, in the engine's order.
    std::map<std::string, std::unique_ptr<TreeNode>> old;
    for (auto& child : tablesNode->children) old[child->text] = std::move(child);
    tablesNode->children.clear();
    for (const auto& table : tables->members()) {
        auto it = old.find(table->name());
        if (it != old.end()) {
            tablesNode->children.push_back(std::move(it->second));
            old.erase(it);
        } else {
            tablesNode->children.push_back(makeNode(table, tablesNode, {}));
            tablesNode->children.back()->pending = true;
        }
    }
    m_objects[tablesNode->tag] = tables;
    // A table dropped by another program: its node and what it read can no longer be reached.
    for (const auto& [name, gone] : old) forget(*gone);
    return tablesNode;
}

void CatalogBrowser::forget(const TreeNode& node) {
    if (m_currentNode == &node) m_currentNode = nullptr;
    if (node.tag > 0 && node.tag < static_cast<int32_t>(m_objects.size())) m_objects[node.tag] = nullptr;
    for (const auto& child : node.children) forget(*child);
}

void CatalogBrowser::TreeView1_NodeClick(TreeNode* node) {
    m_port.setStatus({});
    if (!node) return;
    TreeView1_Expand(node);  // the panel of a table comes with its parts read
    CatalogObjectPtr object = objectAt(node->tag);
    m_currentNode = node;
    std::vector<std::string> lines = object ? propertyLines(*object) : std::vector<std::string>{};
    // A table's column: which of its keys hold it (the table is two levels up).
    if (object && object->kind() == "Column" && node->parent && node->parent->parent)
        if (const CatalogObjectPtr table = objectAt(node->parent->parent->tag);
            table && table->kind() == "Table")
            lines.push_back(keyLineInJapanese(*table, object->name()));
    m_view.showPropertyLines(lines);
    if (object && object->kind() == "Table") m_view.showTableRows(m_connectionString, object->name());
}

void CatalogBrowser::TreeView1_KeyDown(int keyCode, int /*shift*/, Catalog& mainCatalog) {
    m_port.setStatus({});
    if (!m_currentNode) {
        m_port.beep();
        m_port.setStatus("削除する表を選択してください。");
        return;
    }
    CatalogObjectPtr object = objectAt(m_currentNode->tag);
    TreeNode* next = m_currentNode->nextSibling();
    if (keyCode != kDeleteKey || !object || object->kind() != "Table") return;
    const std::string name = object->name();
    if (!m_port.askYesNo("表「" + name + "」を削除しますか？", "表の削除", MessageIcon::Question))
        return;
    try {
        mainCatalog.deleteTable(name);
    } catch (const ServiceError& e) {
        // Saying why the table is still there.
        m_port.beep();
        m_port.setStatus(e.description());
        return;
    }
    TreeNode* gone = m_currentNode;
    m_view.treeNodeAboutToBeRemoved(gone);
    auto& siblings = gone->parent->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == gone) {
            siblings.erase(it);
            break;
        }
    }
    m_port.beep();
    m_port.setStatus("表「" + name + "」を削除しました。");
    m_currentNode = next;
}

bool CatalogBrowser::TreeView1_MouseDown(int button) {
    m_port.setStatus({});
    if (!m_currentNode) return false;
    CatalogObjectPtr object = objectAt(m_currentNode->tag);
    return object && object->kind() == "Table" && (button & kRightButton);
}

}  // namespace quorix
