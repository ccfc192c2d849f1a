// bench_catalog_tree sql FILE [TABLES]: the script of 2000 (or TABLES) tables of 10 columns,
// 2 indexes and 1 foreign key each. bench_catalog_tree refresh DB: builds the catalog tree of
// DB once (names first). full DB: reads every table in full, as the tree once did.
// open DB: the tree, then one table's node opened; prints the milliseconds of the opening.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "catalog/catalog_tree.h"

namespace {

class QuietPort : public quorix::UserPort, public quorix::CatalogView {
public:
    void setStatus(const std::string&) override {}
    std::string status() const override { return {}; }
    void beep() override {}
    bool askYesNo(const std::string&, const std::string&, quorix::MessageIcon) override {
        return true;
    }
    void showMessage(const std::string&, const std::string&, quorix::MessageIcon) override {}
    std::optional<std::string> chooseFile(const quorix::FileDialogRequest&) override { return {}; }
    void treeRebuilt() override {}
    void treeNodeAboutToBeRemoved(const quorix::TreeNode*) override {}
    void treeChildrenChanged(const quorix::TreeNode*) override {}
    void showPropertyLines(const std::vector<std::string>&) override {}
};

// 2000 tables of 10 columns, 2 indexes and 1 foreign key each. PostgreSQL has no NVARCHAR, and
// its keys need names of their own (index names share the tables' namespace).
void writeScript(const char* file, bool postgres, int tables) {
    std::ofstream out(file);
    out << "BEGIN;\n";
    for (int t = 0; t < tables; ++t) {
        const std::string n = "t" + std::to_string(t);
        out << "CREATE TABLE " << n << " (id INTEGER NOT NULL, ";
        for (int c = 1; c < 10; ++c)
            out << "c" << c << (c % 2 ? (postgres ? " VARCHAR(50)" : " NVARCHAR(50)") : " INTEGER")
                << ", ";
        out << "CONSTRAINT " << n << (postgres ? "_pkey" : "") << " PRIMARY KEY (id)"
            << (t > 0 ? ", FOREIGN KEY (c2) REFERENCES t" + std::to_string(t - 1) + "(id)" : "")
            << ");\nCREATE INDEX " << n << "_a ON " << n << "(c1);\nCREATE UNIQUE INDEX " << n
            << "_b ON " << n << "(c3, c4);\n";
    }
    out << "COMMIT;\n";
}

// Builds the catalog tree of a database once and prints how many objects it holds.
[[noreturn]] void refresh(const std::string& connectionString, const std::string& mode) {
    QuietPort port;
    quorix::CatalogBrowser browser(port, port);
    if (mode == "full") {
        quorix::Connection connection;
        connection.setConnectionString(connectionString);
        connection.open();
        quorix::Catalog catalog;
        catalog.setActiveConnection(&connection);
        std::printf("%zu\n", catalog.tables()->members().size());
        std::fflush(stdout);
        _exit(0);
    }
    browser.RefreshTreeView(connectionString);
    if (mode == "open") {
        // A table in the middle of the list.
        auto* tables = const_cast<quorix::TreeNode*>(browser.root()->children.front().get());
        quorix::TreeNode* node = tables->children[tables->children.size() / 2].get();
        const auto start = std::chrono::steady_clock::now();
        browser.TreeView1_Expand(node);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        std::printf("%.2f ms, %zu parts\n", took.count(), node->children.size());
    } else {
        std::printf("%d\n", browser.catalogObjectCount());
    }
    // The refresh is what is measured: the operating system takes the tree back, as the
    // program itself does at its next refresh.
    std::fflush(stdout);
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if ((argc == 3 || argc == 4) && (mode == "sql" || mode == "sql-pg")) {
        writeScript(argv[2], mode == "sql-pg", argc == 4 ? std::atoi(argv[3]) : 2000);
        return 0;
    }
    if (argc == 3 && (mode == "refresh-pg" || mode == "full-pg" || mode == "open-pg"))
        refresh(std::string("Provider=PostgreSQL;Data Source=") + argv[2],
                mode.substr(0, mode.size() - 3));
    if (argc == 3 && (mode == "refresh" || mode == "full" || mode == "open"))
        refresh(std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + argv[2], mode);
    std::fprintf(
        stderr, "usage: bench_catalog_tree sql FILE | refresh DB | sql-pg FILE | refresh-pg SRC\n");
    return 2;
}
