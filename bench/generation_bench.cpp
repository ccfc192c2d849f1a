// bench_generation sql FILE: writes the DDL script equivalent to the benchmark's definition.
// bench_generation create DB: runs the create command's two passes on that definition
// (500 tables of 20 columns, nested three levels deep) against the database file DB.
#include <cstdio>
#include <fstream>
#include <string>

#include "generation/table_creation.h"

namespace {

constexpr int kGroups = 125;  // each: 1 top table + 1 + 1 + 1 nested = 4 tables -> 500
constexpr int kColumns = 20;

// One top-level table with a chain of three nested tables below its last column, repeated.
// Each table has 20 columns of its own; nested tables also get their enclosing columns.
void fill(quorix::DefinitionTable& t) {
    quorix::RecordSet& rs = t.records();
    auto line = [&](int level, const std::string& name, const std::string& table, const char* type) {
        rs.addNew();
        rs.setValue("生成", std::string("○"));
        rs.setValue("レベル", level);
        rs.setValue("タイプ", std::string("ノード"));
        rs.setValue("タグ名", quorix::indentation("･･", level) + name);
        rs.setValue("列名", name);
        rs.setValue("型", std::string(type));
        rs.setValue("表名", table);
    };
    for (int g = 0; g < kGroups; ++g) {
        for (int level = 1; level <= 4; ++level) {
            const std::string table = "T" + std::to_string(g) + "_" + std::to_string(level);
            for (int c = 0; c < kColumns; ++c)
                line(level, "c" + std::to_string(level) + "_" + std::to_string(c), c == 0 ? table : "",
                     c % 4 == 1 ? "数値型" : "ﾃｷｽﾄ型");
        }
    }
}

void collect(const quorix::LayoutColumn& parent, std::vector<const quorix::LayoutColumn*>& path,
             std::ofstream& out) {
    if (parent.children.empty()) return;
    const std::string name = *parent.children.front()->table;
    out << "CREATE TABLE \"" << name << "\" (";
    std::string key;
    bool first = true;
    auto column = [&](const quorix::LayoutColumn& c) {
        out << (first ? "" : ", ") << '"' << c.name << "\" "
            << (c.type == "3" ? "INTEGER" : "NVARCHAR(255)");
        first = false;
    };
    for (const auto* p : path) {
        column(*p);
        key += "\"" + p->name + "\", ";
    }
    for (const auto& c : parent.children) column(*c);
    key += "\"" + parent.children.front()->name + "\"";
    out << ", CONSTRAINT \"" << name << "\" PRIMARY KEY (" << key << "));\n";
    for (const auto& c : parent.children) {
        path.push_back(c.get());
        collect(*c, path, out);
        path.pop_back();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc != 3 || (mode != "sql" && mode != "create")) {
        std::fprintf(stderr, "usage: bench_generation sql FILE | create DB\n");
        return 2;
    }
    quorix::DefinitionTable definition;
    fill(definition);
    if (mode == "sql") {
        auto layout = quorix::buildTableLayout(definition, "access", "･･");
        std::ofstream out(argv[2]);
        out << "BEGIN;\n";
        std::vector<const quorix::LayoutColumn*> path;
        collect(layout.layout->root, path, out);
        out << "COMMIT;\n";
        return 0;
    }
    quorix::Connection connection;
    connection.setConnectionString(std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + argv[2]);
    connection.open();
    quorix::Catalog catalog;
    catalog.setActiveConnection(&connection);
    auto layout = quorix::buildTableLayout(definition, "access", "･･");
    if (layout.outcome != quorix::LayoutResult::Outcome::Done) return 1;
    const auto result = quorix::createLayoutTables(*layout.layout, connection, catalog);
    std::printf("%zu\n", result.createdTables.size());
    return result.ok ? 0 : 1;
}
