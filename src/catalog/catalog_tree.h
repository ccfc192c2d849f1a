#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/user_port.h"
#include "services/db/catalog.h"

namespace quorix {

/// One node of the catalog tree: a text, the tag of its object in the object list and its
/// children in order.
struct TreeNode {
    std::string text;
    int32_t tag = 0;
    bool expanded = false;
    /// Its children are not read yet: they are when the node is expanded or clicked.
    bool pending = false;
    TreeNode* parent = nullptr;
    std::vector<std::unique_ptr<TreeNode>> children;

    /// The following sibling, or null for the last child.
    TreeNode* nextSibling() const;
};

/// What the catalog browser tells the window showing it.
class CatalogView {
public:
    virtual ~CatalogView() = default;
    /// The whole tree was rebuilt.
    virtual void treeRebuilt() = 0;
    /// @p node and everything below it are about to disappear.
    virtual void treeNodeAboutToBeRemoved(const TreeNode* node) = 0;
    /// The children of @p node changed (read, added or reordered); nodes that stayed are the
    /// same objects.
    virtual void treeChildrenChanged(const TreeNode* node) = 0;
    /// The property panel now shows these lines.
    virtual void showPropertyLines(const std::vector<std::string>& lines) = 0;
    /// The rows view now shows @p table of the database (an empty name: nothing).
    virtual void showTableRows(const std::string& /*connectionString*/,
                               const std::string& /*table*/) {}
};

/// The catalog tree, the property panel and table deletion: the state the main window keeps
/// for them (the object list, its counter, the current node) and their commands.
class CatalogBrowser {
public:
    static constexpr int kDeleteKey = 46;
    static constexpr int kRightButton = 2;

    /// Both must outlive the browser.
    CatalogBrowser(UserPort& port, CatalogView& view);

    /// Rebuilds the whole tree from a private connection. Never reports: a step that fails
    /// is skipped. Tables are read by name; each table's columns, indexes and keys when its
    /// node is expanded or clicked.
    void RefreshTreeView(const std::string& connectionString) {
        ReadTree(connectionString);
        m_view.treeRebuilt();
    }
    /// RefreshTreeView without telling the view, so that it can run off the window's thread
    /// while the window takes no input; the caller then tells the view the tree was rebuilt.
    void ReadTree(const std::string& connectionString);
    /// Reads the children of a table node that has not read them yet; false when it had.
    bool TreeView1_Expand(TreeNode* node);
    /// Tables were created: the table names are read again and new tables get their nodes
    /// where a full read would put them; the other nodes stay as they are.
    void TablesAdded(const std::string& connectionString) {
        if (const TreeNode* changed = ReadTablesAdded(connectionString))
            m_view.treeChildrenChanged(changed);
        else
            m_view.treeRebuilt();
    }
    /// TablesAdded without telling the view (for a worker thread): the node whose children
    /// changed, or null when the whole tree was read again.
    const TreeNode* ReadTablesAdded(const std::string& connectionString);

    /// Makes @p node current and shows its object's properties.
    void TreeView1_NodeClick(TreeNode* node);
    /// Delete (key 46) on a table node asks and drops the table through @p mainCatalog.
    void TreeView1_KeyDown(int keyCode, int shift, Catalog& mainCatalog);
    /// True when the table pop-up menu is to be opened.
    bool TreeView1_MouseDown(int button);
    void mnuTblDelete_Click(Catalog& mainCatalog) { TreeView1_KeyDown(kDeleteKey, 0, mainCatalog); }

    const TreeNode* root() const { return m_root.get(); }
    TreeNode* currentNode() const { return m_currentNode; }
    CatalogObjectPtr objectAt(int32_t tag) const;
    int32_t catalogObjectCount() const { return m_count; }
    /// Highest index of the object list.
    int32_t catalogObjectListBound() const { return static_cast<int32_t>(m_objects.size()) - 1; }

private:
    std::string m_connectionString;  // of the tree read last, for the rows view
    TreeNode* addNode(CatalogObjectPtr item, TreeNode* parent, std::string text);
    std::unique_ptr<TreeNode> makeNode(CatalogObjectPtr item, TreeNode* parent, std::string text);
    void addTableParts(const CatalogObjectPtr& table, TreeNode* tableNode);
    bool openPrivate(const std::string& connectionString);
    void addColumnsOf(const CatalogObjectPtr& owner, TreeNode* ownerNode);
    /// Drops @p node and its descendants from the current node and the tag list.
    void forget(const TreeNode& node);
    void addCommand(const CatalogObjectPtr& owner, TreeNode* ownerNode);

    UserPort& m_port;
    CatalogView& m_view;
    std::vector<CatalogObjectPtr> m_objects;
    int32_t m_count = 0;
    std::unique_ptr<TreeNode> m_root;
    TreeNode* m_currentNode = nullptr;
    // The browser's own connection, open from one refresh to the next for the details.
    std::unique_ptr<Connection> m_connection;
    Catalog m_catalog;
};

}  // namespace quorix
