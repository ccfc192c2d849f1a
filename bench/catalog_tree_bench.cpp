// bench_catalog_tree sql FILE [TABLES]: the script of 2000 (or TABLES) tables of 10 columns,
// 2 indexes and 1 foreign key each. file DB TABLES: the SQLite file of those tables, written
// directly. bench_catalog_tree refresh DB: builds the catalog tree of
// DB once (names first). full DB: reads every table in full, as the tree once did.
// open DB: the tree, then one table's node opened; prints the milliseconds of the opening.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

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

// The statements of one of the benchmark's tables: 10 columns, 2 indexes and 1 foreign key.
// PostgreSQL has no NVARCHAR, and its keys need names of their own (index names share the
// tables' namespace).
struct TableStatements {
    std::string name, table, indexA, indexB;
};

TableStatements tableStatements(int t, bool postgres) {
    TableStatements s;
    s.name = "t" + std::to_string(t);
    const std::string& n = s.name;
    s.table = "CREATE TABLE " + n + " (id INTEGER NOT NULL, ";
    for (int c = 1; c < 10; ++c)
        s.table += "c" + std::to_string(c) +
                   (c % 2 ? (postgres ? " VARCHAR(50)" : " NVARCHAR(50)") : " INTEGER") + ", ";
    s.table += "CONSTRAINT " + n + (postgres ? "_pkey" : "") + " PRIMARY KEY (id)" +
               (t > 0 ? ", FOREIGN KEY (c2) REFERENCES t" + std::to_string(t - 1) + "(id)" : "") +
               ")";
    s.indexA = "CREATE INDEX " + n + "_a ON " + n + "(c1)";
    s.indexB = "CREATE UNIQUE INDEX " + n + "_b ON " + n + "(c3, c4)";
    return s;
}

void writeScript(const char* file, bool postgres, int tables) {
    std::ofstream out(file);
    out << "BEGIN;\n";
    for (int t = 0; t < tables; ++t) {
        const TableStatements s = tableStatements(t, postgres);
        out << s.table << ";\n" << s.indexA << ";\n" << s.indexB << ";\n";
        // A server holds a bounded number of locks per transaction.
        if (postgres && t % 500 == 499) out << "COMMIT;\nBEGIN;\n";
    }
    out << "COMMIT;\n";
}

// Writes the SQLite file of the same tables directly, as the library would leave it after the
// script: SQLite reads its schema table through after every CREATE, so making 100 000 tables
// statement by statement takes the better part of an hour. Every table and index is an empty
// b-tree page; the schema table is a b-tree over pages after them.
class SchemaFileWriter {
public:
    static constexpr std::size_t kPage = 4096;

    void write(const char* file, int tables) {
        // Pages 2.. are the tables' and indexes' roots, in the order the script makes them.
        std::vector<std::string> records;
        m_pages.assign(1, std::string(kPage, '\0'));
        const auto root = [this](char leafType) {
            const std::uint32_t p = newPage();
            m_pages[p - 1][0] = leafType;
            put16(m_pages[p - 1], 5, kPage);  // an empty page: no cells
            return p;
        };
        for (int t = 0; t < tables; ++t) {
            const TableStatements s = tableStatements(t, false);
            records.push_back(record("table", s.name, s.name, root(0x0D), s.table));
            records.push_back(record("index", s.name + "_a", s.name, root(0x0A), s.indexA));
            records.push_back(record("index", s.name + "_b", s.name, root(0x0A), s.indexB));
        }
        buildSchemaTree(records);
        writeHeader();
        std::ofstream out(file, std::ios::binary);
        for (const std::string& p : m_pages) out.write(p.data(), kPage);
    }

private:
    static void put16(std::string& p, std::size_t at, std::uint32_t v) {
        p[at] = char(v >> 8 & 0xFF);
        p[at + 1] = char(v & 0xFF);
    }
    static void put32(std::string& p, std::size_t at, std::uint32_t v) {
        put16(p, at, v >> 16);
        put16(p, at + 2, v & 0xFFFF);
    }
    static std::string varint(std::uint64_t v) {
        // Values here stay below 2^56: the plain 7-bit form.
        std::string bytes;
        do {
            bytes.insert(bytes.begin(), char(v & 0x7F));
            v >>= 7;
        } while (v);
        for (std::size_t i = 0; i + 1 < bytes.size(); ++i) bytes[i] = char(bytes[i] | 0x80);
        return bytes;
    }
    static std::string record(const std::string& type, const std::string& name,
                              const std::string& table, std::uint32_t root,
                              const std::string& sql) {
        std::string types, body;
        for (const std::string* text : {&type, &name, &table}) {
            types += varint(text->size() * 2 + 13);
            body += *text;
        }
        types += varint(4);  // 4-byte big-endian integer
        std::string four(4, '\0');
        put32(four, 0, root);
        body += four;
        types += varint(sql.size() * 2 + 13);
        body += sql;
        return varint(types.size() + 1) + types + body;
    }
    // The page holding the byte at 1 GiB is SQLite's lock page and is never used.
    std::uint32_t newPage() {
        constexpr std::size_t lockPage = (std::size_t(1) << 30) / kPage + 1;
        if (m_pages.size() + 1 == lockPage) m_pages.emplace_back(kPage, '\0');
        m_pages.emplace_back(kPage, '\0');
        return std::uint32_t(m_pages.size());
    }
    // Fills one b-tree page (page 1 keeps its first 100 bytes for the file header).
    void fillPage(std::uint32_t page, bool leaf, const std::vector<std::string>& cells,
                  std::uint32_t rightMost) {
        std::string& p = m_pages[page - 1];
        const std::size_t head = page == 1 ? 100 : 0;
        const std::size_t headerSize = leaf ? 8 : 12;
        p[head] = char(leaf ? 0x0D : 0x05);
        put16(p, head + 3, std::uint32_t(cells.size()));
        std::size_t content = kPage;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            content -= cells[i].size();
            p.replace(content, cells[i].size(), cells[i]);
            put16(p, head + headerSize + 2 * i, std::uint32_t(content));
        }
        put16(p, head + 5, std::uint32_t(content));
        if (!leaf) put32(p, head + 8, rightMost);
    }
    void buildSchemaTree(const std::vector<std::string>& records) {
        struct Child {
            std::uint32_t page;
            std::uint64_t lastRowid;
        };
        // Leaves: as many rows as fit, leaving the first page's header room unused by leaves.
        std::vector<std::vector<std::string>> leaves(1);
        std::vector<std::uint64_t> lastRowids;
        std::size_t used = 8;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::string cell = varint(records[i].size()) + varint(i + 1) + records[i];
            if (used + cell.size() + 2 > kPage - 100 && !leaves.back().empty()) {
                leaves.emplace_back();
                used = 8;
            }
            leaves.back().push_back(cell);
            used += cell.size() + 2;
            if (lastRowids.size() < leaves.size()) lastRowids.push_back(0);
            lastRowids.back() = i + 1;
        }
        if (leaves.size() == 1) {
            fillPage(1, true, leaves.front(), 0);
            return;
        }
        std::vector<Child> level;
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            const std::uint32_t p = newPage();
            fillPage(p, true, leaves[i], 0);
            level.push_back({p, lastRowids[i]});
        }
        // Interior levels until one fits in page 1.
        for (;;) {
            const std::size_t room = (kPage - 100 - 12) / (2 + 4 + 9);
            if (level.size() <= room) {
                std::vector<std::string> cells;
                for (std::size_t i = 0; i + 1 < level.size(); ++i)
                    cells.push_back(interiorCell(level[i]));
                fillPage(1, false, cells, level.back().page);
                return;
            }
            std::vector<Child> up;
            for (std::size_t from = 0; from < level.size(); from += room) {
                const std::size_t to = std::min(level.size(), from + room);
                std::vector<std::string> cells;
                for (std::size_t i = from; i + 1 < to; ++i) cells.push_back(interiorCell(level[i]));
                const std::uint32_t p = newPage();
                fillPage(p, false, cells, level[to - 1].page);
                up.push_back({p, level[to - 1].lastRowid});
            }
            level = std::move(up);
        }
    }
    template <typename C>
    static std::string interiorCell(const C& child) {
        std::string cell(4, '\0');
        put32(cell, 0, child.page);
        return cell + varint(child.lastRowid);
    }
    void writeHeader() {
        std::string& p = m_pages.front();
        const std::string magic = "SQLite format 3";
        p.replace(0, magic.size(), magic);
        put16(p, 16, kPage);
        p[18] = p[19] = 1;  // rollback journal
        p[21] = 64, p[22] = 32, p[23] = 32;
        put32(p, 24, 1);  // change counter
        put32(p, 28, std::uint32_t(m_pages.size()));
        put32(p, 40, 1);  // schema cookie
        put32(p, 44, 4);  // schema format
        put32(p, 56, 1);  // UTF-8
        put32(p, 92, 1);  // the size above is valid for change 1
        put32(p, 96, 3040001);
    }

    std::vector<std::string> m_pages;
};

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
    if (argc == 4 && mode == "file") {
        SchemaFileWriter().write(argv[2], std::atoi(argv[3]));
        return 0;
    }
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
