#include <gtest/gtest.h>

#include "catalog/catalog_tree.h"
#include "catalog/property_panel.h"
#include "support/fake_port.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

struct View : CatalogView {
    int builds = 0;
    std::vector<const TreeNode*> removed;
    std::vector<std::string> lines;
    void treeRebuilt() override { ++builds; }
    void treeNodeAboutToBeRemoved(const TreeNode* n) override { removed.push_back(n); }
    std::vector<const TreeNode*> changed;
    void treeChildrenChanged(const TreeNode* n) override { changed.push_back(n); }
    void showPropertyLines(const std::vector<std::string>& l) override { lines = l; }
};

// Opens every node whose children are not read yet, as a user clicking through would.
void expandAll(CatalogBrowser& browser, TreeNode* n) {
    browser.TreeView1_Expand(n);
    for (auto& c : n->children) expandAll(browser, c.get());
}

// The tree as indented "text#tag" lines, everything opened.
void dump(const TreeNode& n, int depth, std::string& out, bool tags) {
    out += std::string(depth * 2, ' ') + n.text + (tags ? "#" + std::to_string(n.tag) : "") + "\n";
    for (const auto& c : n.children) dump(*c, depth + 1, out, tags);
}

std::string dump(CatalogBrowser& browser, TreeNode* root, bool tags = false) {
    std::string out;
    if (!root) return out;
    expandAll(browser, root);
    dump(*root, 0, out, tags);
    return out;
}

TreeNode* find(CatalogBrowser& browser, TreeNode* n, const std::string& path) {
    // "表/T1/列" style paths below the root, opening the nodes on the way.
    std::size_t start = 0;
    while (n && start <= path.size()) {
        browser.TreeView1_Expand(n);
        const auto slash = path.find('/', start);
        const std::string part = path.substr(start, slash - start);
        TreeNode* next = nullptr;
        for (auto& c : n->children)
            if (c->text == part) next = c.get();
        n = next;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return n;
}

struct CatalogTree : ::testing::Test {
    void SetUp() override {
        path = dir.file("tree.mdb");
        connectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
        Catalog().create(connectionString);
        sqlite3Cli(
            path,
            "CREATE TABLE T1(a NVARCHAR(50) NOT NULL, b INTEGER, CONSTRAINT T1 PRIMARY KEY (a));"
            "CREATE TABLE T2(x INTEGER REFERENCES T1(a), y NVARCHAR(30));"
            "CREATE VIEW V1 AS SELECT a FROM T1;");
        main.setConnectionString(connectionString);
        main.open();
        mainCatalog.setActiveConnection(&main);
    }
    TreeNode* root() { return const_cast<TreeNode*>(browser.root()); }

    TempDir dir;
    std::string path, connectionString;
    test::RecordingPort<> port;
    View view;
    CatalogBrowser browser{port, view};
    Connection main;
    Catalog mainCatalog;
};

}  // namespace

TEST_F(CatalogTree, ShapeLabelsAndOrder) {
    browser.RefreshTreeView(connectionString);
    EXPECT_EQ(view.builds, 1);
    // Tables by name first, their parts when opened; opened, the tree is the full one.
    std::string shallow;
    dump(*root(), 0, shallow, false);
    EXPECT_EQ(shallow, "カタログ\n  表\n    T1\n    T2\n  ビュー\n    V1\n      コマンド\n");
    EXPECT_TRUE(root()->children[0]->children[0]->pending);
    EXPECT_EQ(dump(browser, root()),
              "カタログ\n"
              "  表\n"
              "    T1\n      列\n        a\n        b\n"
              "      索引\n        T1\n          列\n            a\n"
              "      キー\n        T1\n          列\n            a\n"
              "    T2\n      列\n        x\n        y\n"
              "      索引\n"
              "      キー\n        T2_FK1\n          列\n            x\n"
              "  ビュー\n    V1\n      コマンド\n");
    EXPECT_TRUE(root()->expanded);
    EXPECT_FALSE(find(browser, root(), "表")->expanded);
}

TEST_F(CatalogTree, TagsAreNeverReusedAndTheListGrowsInHundreds) {
    EXPECT_EQ(browser.catalogObjectListBound(), 100);
    browser.RefreshTreeView(connectionString);
    EXPECT_EQ(root()->tag, 1);
    const int32_t first = browser.catalogObjectCount();
    EXPECT_EQ(first, 7);  // one per node of the tree (tables not opened yet)
    expandAll(browser, root());
    EXPECT_EQ(browser.catalogObjectCount(), 26);  // and one per node opened
    browser.RefreshTreeView(connectionString);
    EXPECT_EQ(root()->tag, 27);
    EXPECT_EQ(browser.catalogObjectCount(), 33);
    for (int i = 0; i < 10; ++i) browser.RefreshTreeView(connectionString);
    EXPECT_EQ(browser.catalogObjectCount(), 103);
    // The 101st registration made the list 0..200.
    EXPECT_EQ(browser.catalogObjectListBound(), 200);
    EXPECT_EQ(browser.objectAt(root()->tag)->kind(), "Catalog");
    EXPECT_EQ(browser.objectAt(find(browser, root(), "表/T1")->tag)->kind(), "Table");
}

TEST_F(CatalogTree, ADatabaseThatCannotBeOpenedLeavesTheRootAlone) {
    browser.RefreshTreeView("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + dir.file("none.mdb"));
    EXPECT_EQ(dump(browser, root()), "カタログ\n");
    EXPECT_EQ(port.statusText, "");
    EXPECT_EQ(port.beeps, 0);
}

TEST_F(CatalogTree, ClickingShowsTheObjectsProperties) {
    browser.RefreshTreeView(connectionString);
    browser.TreeView1_NodeClick(root());
    EXPECT_EQ(view.lines, std::vector<std::string>{"ActiveConnection = " + connectionString});
    browser.TreeView1_NodeClick(find(browser, root(), "表"));
    EXPECT_EQ(view.lines, std::vector<std::string>{"Count = 2"});
    browser.TreeView1_NodeClick(find(browser, root(), "表/T1/列/a"));
    EXPECT_EQ(
        view.lines,
        (std::vector<std::string>{
            "Attribute = ",
            "DefinedSize = 50",
            "Name = a",
            "NumericScale = 0",
            "Precision = 0",
            "RelatedColumn = <プロパティ「RelatedColumn」はこのデータベースでは取得できません。>",
            "SortOrder = <プロパティ「SortOrder」はこのデータベースでは取得できません。>",
            "Type = adVarWChar",
            "型 = 文字列（adVarWChar）",
            "桁数 = 50",
            "NULLを許可 = いいえ",
            "既定値 = なし",
            "キー = 主キー",
        }));
    // A nullable column of type 202: eight lines, then three in Japanese.
    browser.TreeView1_NodeClick(find(browser, root(), "表/T2/列/y"));
    EXPECT_EQ(
        view.lines,
        (std::vector<std::string>{
            "Attribute = adColNullable",
            "DefinedSize = 30",
            "Name = y",
            "NumericScale = 0",
            "Precision = 0",
            "RelatedColumn = <プロパティ「RelatedColumn」はこのデータベースでは取得できません。>",
            "SortOrder = <プロパティ「SortOrder」はこのデータベースでは取得できません。>",
            "Type = adVarWChar",
            "型 = 文字列（adVarWChar）",
            "桁数 = 30",
            "NULLを許可 = はい",
            "既定値 = なし",
            "キー = なし",
        }));
    browser.TreeView1_NodeClick(find(browser, root(), "表/T2/列/x"));
    EXPECT_EQ(view.lines.back(), "キー = 外部キー（表「T1」）");
    // An index's column has a sort order; a key's column its related column.
    browser.TreeView1_NodeClick(find(browser, root(), "表/T1/索引/T1/列/a"));
    EXPECT_EQ(view.lines.at(6), "SortOrder = 1");
    EXPECT_EQ(view.lines.at(7), "Type = adVarWChar");
    browser.TreeView1_NodeClick(find(browser, root(), "表/T2/キー/T2_FK1/列/x"));
    EXPECT_EQ(view.lines.at(5), "RelatedColumn = a");
    browser.TreeView1_NodeClick(find(browser, root(), "表/T1/索引/T1"));
    EXPECT_EQ(view.lines,
              (std::vector<std::string>{"Clustered = False", "IndexNulls = adIndexNullsDisallow",
                                        "Name = T1", "PrimaryKey = True", "Unique = True"}));
    browser.TreeView1_NodeClick(find(browser, root(), "表/T2/キー/T2_FK1"));
    EXPECT_EQ(view.lines, (std::vector<std::string>{"DeleteRule = adRINone", "Name = T2_FK1",
                                                    "RelatedTable = T1", "Type = adKeyForeign",
                                                    "UpdateRule = adRINone"}));
    browser.TreeView1_NodeClick(find(browser, root(), "ビュー/V1/コマンド"));
    EXPECT_EQ(view.lines.at(1), "CommandText = SELECT a FROM T1");
    EXPECT_EQ(view.lines.back(), "CommandType = adCmdText");
    browser.TreeView1_NodeClick(find(browser, root(), "表/T1"));
    EXPECT_EQ(view.lines.at(2), "Type = TABLE");
    EXPECT_EQ(view.lines.at(0).rfind("DateCreated = <", 0), 0u);
    EXPECT_EQ(browser.currentNode(), find(browser, root(), "表/T1"));
}

TEST_F(CatalogTree, DeletingTablesOneAfterTheOther) {
    sqlite3Cli(path, "DROP VIEW V1; CREATE TABLE T3(z INT);");
    browser.RefreshTreeView(connectionString);
    // No node clicked yet: any key beeps and asks for a table.
    browser.TreeView1_KeyDown(40, 0, mainCatalog);
    EXPECT_EQ(port.statusText, "削除する表を選択してください。");
    EXPECT_EQ(port.beeps, 1);

    browser.TreeView1_NodeClick(find(browser, root(), "表/T1/列"));
    browser.TreeView1_KeyDown(CatalogBrowser::kDeleteKey, 0, mainCatalog);  // not a table
    EXPECT_TRUE(port.questions.empty());

    browser.TreeView1_NodeClick(find(browser, root(), "表/T2"));
    port.answers = {false};
    browser.TreeView1_KeyDown(CatalogBrowser::kDeleteKey, 0, mainCatalog);
    EXPECT_EQ(port.questions.back(), "表の削除|表「T2」を削除しますか？");
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "T1  T2  T3\n");
    EXPECT_EQ(port.statusText, "");

    port.answers = {true, true};
    browser.TreeView1_KeyDown(CatalogBrowser::kDeleteKey, 0, mainCatalog);
    EXPECT_EQ(port.statusText, "表「T2」を削除しました。");
    EXPECT_EQ(browser.currentNode(), find(browser, root(), "表/T3"));
    browser.TreeView1_KeyDown(CatalogBrowser::kDeleteKey, 0, mainCatalog);
    EXPECT_EQ(port.statusText, "表「T3」を削除しました。");
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "T1\n");
    EXPECT_EQ(view.removed.size(), 2u);
    EXPECT_EQ(browser.currentNode(), nullptr);  // the last table went
    EXPECT_EQ(dump(browser, find(browser, root(), "表")),
              "表\n  T1\n    列\n      a\n      b\n    索引\n      T1\n        列\n          a\n   "
              " キー\n      T1\n        列\n          a\n");
}

TEST_F(CatalogTree, ARefusedDeletionSaysWhyAndKeepsTheNode) {
    browser.RefreshTreeView(connectionString);
    sqlite3Cli(path, "DROP TABLE T2;");  // gone behind our back
    TreeNode* t2 = find(browser, root(), "表/T2");
    browser.TreeView1_NodeClick(t2);
    port.answers = {true};
    browser.TreeView1_KeyDown(CatalogBrowser::kDeleteKey, 0, mainCatalog);
    EXPECT_EQ(port.statusText, "表「T2」が見つかりません。");
    EXPECT_EQ(port.beeps, 1);
    EXPECT_EQ(browser.currentNode(), t2);
    EXPECT_TRUE(view.removed.empty());
    // "再表示" shows the new state.
    browser.RefreshTreeView(connectionString);
    EXPECT_EQ(find(browser, root(), "表/T2"), nullptr);
    EXPECT_EQ(browser.currentNode(), nullptr);
}

TEST_F(CatalogTree, RightButtonOnATableOpensTheMenu) {
    browser.RefreshTreeView(connectionString);
    EXPECT_FALSE(browser.TreeView1_MouseDown(CatalogBrowser::kRightButton));
    browser.TreeView1_NodeClick(find(browser, root(), "表/T1"));
    EXPECT_TRUE(browser.TreeView1_MouseDown(CatalogBrowser::kRightButton));
    EXPECT_FALSE(browser.TreeView1_MouseDown(1));
    port.answers = {true};
    browser.mnuTblDelete_Click(mainCatalog);
    EXPECT_EQ(port.questions.back(), "表の削除|表「T1」を削除しますか？");
}

TEST(PostgresCatalogTree, ShapeAndPanelOfAServerDatabase) {
    test::PostgresServer& server = test::PostgresServer::instance();
    server.freshDatabase("quorix_tree");
    server.psql("quorix_tree",
                "CREATE TABLE p (a int PRIMARY KEY, b varchar(12) NOT NULL);"
                "CREATE TABLE c (x int REFERENCES p (a) ON DELETE CASCADE);"
                "CREATE INDEX p_b ON p (b DESC); CREATE VIEW v AS SELECT a FROM p;");
    test::RecordingPort<> port;
    View view;
    CatalogBrowser browser(port, view);
    browser.RefreshTreeView("Provider=PostgreSQL;Data Source=" + server.dataSource("quorix_tree"));
    TreeNode* root = const_cast<TreeNode*>(browser.root());
    std::vector<std::string> top;
    for (const auto& child : root->children) top.push_back(child->text);
    EXPECT_EQ(top,
              (std::vector<std::string>{"表", "ビュー", "プロシージャ", "グループ", "ユーザ"}));
    EXPECT_EQ(dump(browser, find(browser, root, "表/p")),
              "p\n  列\n    a\n    b\n  索引\n    p_pkey\n      列\n"
              "        a\n    p_b\n      列\n        b\n  キー\n"
              "    p_pkey\n      列\n        a\n");
    const std::pair<const char*, const char*> shown[] = {
        {"表/p/列/b", "DefinedSize = 12"},
        {"表/p/列/b", "Type = adVarWChar"},
        {"表/p/列/a", "キー = 主キー"},
        {"表/c/列/x", "キー = 外部キー（表「p」）"},
        {"表/p/索引/p_b/列/b", "SortOrder = 2"},
        {"表/c/キー/c_x_fkey", "RelatedTable = p"},
        {"表/c/キー/c_x_fkey", "DeleteRule = adRICascade"},
        {"ビュー/v/コマンド", "CommandText = SELECT p.a"},
    };
    for (const auto& [path, line] : shown) {
        TreeNode* node = find(browser, root, path);
        ASSERT_TRUE(node) << path;
        browser.TreeView1_NodeClick(node);
        bool found = false;
        for (const auto& l : view.lines) found = found || l.rfind(line, 0) == 0;
        EXPECT_TRUE(found) << path << ": " << line;
    }
}

namespace {

// A table as the panel shows it: its lines, then each part's name and lines, in order.
std::string describe(const CatalogObjectPtr& table) {
    std::string out;
    auto add = [&](const CatalogObjectPtr& o, int depth) {
        out += std::string(depth * 2, ' ') + o->name() + "\n";
        for (const auto& line : propertyLines(*o))
            out += std::string(depth * 2 + 1, ' ') + line + "\n";
    };
    add(table, 0);
    for (const char* role : {"Columns", "Indexes", "Keys"})
        for (const auto& part : table->child(role)->members()) {
            add(part, 1);
            if (std::string(role) != "Columns")
                for (const auto& c : part->child("Columns")->members()) add(c, 2);
        }
    return out;
}

// Opening each table of the names-first tree gives what the full read gives, node by node;
// returns the tables as described.
std::string expectTheFullReading(const std::string& connectionString) {
    Connection connection;
    connection.setConnectionString(connectionString);
    connection.open();
    Catalog catalog;
    catalog.setActiveConnection(&connection);
    const CatalogObjectPtr full = catalog.tables();
    test::RecordingPort<> port;
    View view;
    CatalogBrowser browser(port, view);
    browser.RefreshTreeView(connectionString);
    TreeNode* tables = const_cast<TreeNode*>(browser.root())->children.at(0).get();
    EXPECT_EQ(tables->children.size(), full->members().size());
    if (tables->children.size() != full->members().size()) return {};
    std::string described;
    for (std::size_t i = 0; i < full->members().size(); ++i) {
        TreeNode* node = tables->children[i].get();
        const CatalogObjectPtr& expected = full->members()[i];
        EXPECT_EQ(node->text, expected->name());
        EXPECT_EQ(propertyLines(*browser.objectAt(node->tag)), propertyLines(*expected));
        EXPECT_TRUE(browser.TreeView1_Expand(node));
        EXPECT_FALSE(browser.TreeView1_Expand(node));  // read once
        described += describe(expected);
        EXPECT_EQ(describe(browser.objectAt(node->tag)), describe(expected)) << node->text;
        std::vector<std::string> parts;
        for (const auto& c : node->children) parts.push_back(c->text);
        EXPECT_EQ(parts, (std::vector<std::string>{"列", "索引", "キー"}));
    }
    return described;
}

}  // namespace

TEST(CatalogTreeReading, NamesFirstThenPartsGiveTheFullReadingOnEveryEngine) {
    TempDir dir;
    const std::string file = dir.file("awkward.mdb");
    const std::string sqlite = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file;
    Catalog().create(sqlite);
    sqlite3Cli(file,
               "CREATE TABLE \"a b.c\"(\"x\"\"y\" INTEGER PRIMARY KEY AUTOINCREMENT, z TEXT DEFAULT 'なし');"
               "CREATE TABLE 表(k1 NVARCHAR(5), k2 INT, v REAL, CONSTRAINT 表 PRIMARY KEY (k1, k2),"
               " FOREIGN KEY (k2) REFERENCES \"a b.c\"(\"x\"\"y\") ON DELETE CASCADE);"
               "CREATE UNIQUE INDEX 表_v ON 表(v DESC, k1); CREATE TABLE empty_one(q BLOB);");
    // A column's default as the engine writes it; "なし" without one.
    const auto hasLine = [](const std::string& described, const std::string& line) {
        return described.find("   " + line + "\n") != std::string::npos;
    };
    std::string described = expectTheFullReading(sqlite);
    EXPECT_TRUE(hasLine(described, "既定値 = 'なし'")) << described;
    EXPECT_TRUE(hasLine(described, "既定値 = なし"));

    test::PostgresServer& pg = test::PostgresServer::instance();
    pg.freshDatabase("quorix_reading");
    pg.psql("quorix_reading",
            "CREATE TABLE \"Book\" (id int PRIMARY KEY, t varchar(9) UNIQUE);"
            "CREATE TABLE book (id int REFERENCES \"Book\"(id) ON UPDATE SET NULL, n numeric DEFAULT 0);"
            "CREATE TABLE \"s.t\" (\"a\"\"b\" text); CREATE INDEX bi ON book (n DESC, id);");
    described = expectTheFullReading("Provider=PostgreSQL;Data Source=" + pg.dataSource("quorix_reading"));
    EXPECT_TRUE(hasLine(described, "既定値 = 0")) << described;

    test::MariaDbServer& my = test::MariaDbServer::instance();
    my.freshDatabase("quorix_reading");
    my.sql("quorix_reading",
           "CREATE TABLE Book (id int PRIMARY KEY, t varchar(9) UNIQUE) ENGINE=InnoDB;"
           "CREATE TABLE book (id int, n decimal(9,2) DEFAULT 0, KEY bi (n DESC, id), FOREIGN KEY (id) "
           "REFERENCES Book (id) ON DELETE CASCADE) ENGINE=InnoDB;"
           "CREATE TABLE `we``ird` (a text) ENGINE=InnoDB;");
    described = expectTheFullReading("Provider=MariaDB;Data Source=\"" +
                                     my.dataSource("quorix_reading") + "\";User ID=root");
    EXPECT_TRUE(hasLine(described, "既定値 = 0.00")) << described;
    EXPECT_FALSE(hasLine(described, "既定値 = NULL"));
}

TEST_F(CatalogTree, NewTablesJoinTheTreeAndOpenedNodesStay) {
    browser.RefreshTreeView(connectionString);
    TreeNode* t1 = find(browser, root(), "表/T1");
    ASSERT_TRUE(t1);
    browser.TreeView1_Expand(t1);
    const std::size_t parts = t1->children.size();
    sqlite3Cli(path, "CREATE TABLE T0(q INT); CREATE TABLE ZZ(r INT);");
    browser.TablesAdded(connectionString);
    EXPECT_EQ(view.builds, 1);  // no rebuild
    EXPECT_EQ(view.changed.back(), find(browser, root(), "表"));
    std::vector<std::string> names;
    for (const auto& c : find(browser, root(), "表")->children) names.push_back(c->text);
    EXPECT_EQ(names, (std::vector<std::string>{"T1", "T2", "T0", "ZZ"}));  // SQLite's own order
    EXPECT_EQ(find(browser, root(), "表/T1"), t1);  // the same node, still open
    EXPECT_EQ(t1->children.size(), parts);
    EXPECT_TRUE(find(browser, root(), "表/T0/列/q"));
}

TEST_F(CatalogTree, ATableDroppedBehindOurBackIsOutOfReachOnceNewTablesJoin) {
    browser.RefreshTreeView(connectionString);
    TreeNode* t2 = find(browser, root(), "表/T2");
    ASSERT_TRUE(t2);
    browser.TreeView1_NodeClick(t2);
    const int32_t tags[] = {t2->tag, find(browser, root(), "表/T2/列/y")->tag};
    sqlite3Cli(path, "DROP TABLE T2; CREATE TABLE T4(q INT);");
    browser.TablesAdded(connectionString);
    EXPECT_EQ(browser.currentNode(), nullptr);
    for (int32_t tag : tags) EXPECT_EQ(browser.objectAt(tag), nullptr) << tag;
    port.answers = {true, true};
    browser.TreeView1_KeyDown(CatalogBrowser::kDeleteKey, 0, mainCatalog);
    EXPECT_TRUE(port.questions.empty());
    EXPECT_EQ(port.statusText, "削除する表を選択してください。");
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "T1  T4  V1\n");
}

TEST_F(CatalogTree, OpeningANodeSeesWhatChangedSinceTheNamesWereRead) {
    browser.RefreshTreeView(connectionString);
    // Another program makes T2's y a number given by the database (the engine's own trigger).
    sqlite3Cli(path,
               "CREATE TRIGGER \"quorix_ai:T2:y\" AFTER INSERT ON T2 FOR EACH ROW WHEN NEW.y IS "
               "NULL BEGIN UPDATE T2 SET y = 1 WHERE rowid = NEW.rowid; END;");
    TreeNode* y = nullptr;
    TreeNode* t2 = find(browser, root(), "表/T2");
    ASSERT_TRUE(t2);
    browser.TreeView1_Expand(t2);
    y = find(browser, root(), "表/T2/列/y");
    ASSERT_TRUE(y);
    EXPECT_EQ(std::get<bool>(browser.objectAt(y->tag)->property("AutoIncrement")), true);
    TreeNode* x = find(browser, root(), "表/T2/列/x");
    ASSERT_TRUE(x);
    EXPECT_EQ(std::get<bool>(browser.objectAt(x->tag)->property("AutoIncrement")), false);
}
