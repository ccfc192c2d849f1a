// bench_generation sql FILE: writes the DDL script equivalent to the benchmark's definition.
// bench_generation create DB: runs the create command's two passes on that definition
// (500 tables of 20 columns, nested three levels deep) against the database file DB.
// bench_generation sql-pg FILE / create-pg DATASOURCE: the same for a PostgreSQL server (the
// script is the text that "SQLを表示" shows, run by psql in one transaction).
// bench_generation sql-my FILE / create-my DATASOURCE: the same for MariaDB (the script run by
// the mariadb client).
#include <cstdio>
#include <fstream>
#include <string>

#include "generation/table_creation.h"

namespace {

constexpr int kTables = 500;
constexpr int kColumns = 20;

// A top-level table of 20 columns; below its first 5 columns a table each (level 2); below
// the first 9 columns of those a table each (level 3); below the first 10 columns of those a
// table each (level 4), until there are 500 tables. Every table has 20 columns of its own.
class Definition {
public:
    Definition(quorix::RecordSet& rs, std::string dbType) : m_rs(rs), m_dbType(std::move(dbType)) {}

    void table(int level) {
        const std::string name = "T" + std::to_string(++m_tables);
        static const int kNested[] = {0, 5, 9, 10, 0};
        for (int c = 0; c < kColumns; ++c) {
            // On MariaDB the keys are numbers: four text keys would pass InnoDB's key limit.
            const bool number = c % 4 == 1 || (c == 0 && m_dbType == "mysql");
            line(level, name + "_c" + std::to_string(c), c == 0 ? name : "",
                 m_dbType == "postgresql" ? (number ? "integer" : "varchar")
                 : m_dbType == "mysql"    ? (number ? "int" : "varchar")
                                          : (number ? "数値型" : "ﾃｷｽﾄ型"));
            if (c < kNested[level] && m_tables < kTables) table(level + 1);
        }
    }

private:
    void line(int level, const std::string& column, const std::string& tableName,
              const char* type) {
        m_rs.addNew();
        m_rs.setValue("生成", std::string("○"));
        m_rs.setValue("レベル", level);
        m_rs.setValue("タイプ", std::string("ノード"));
        m_rs.setValue("タグ名", quorix::indentation("･･", level) + "e");
        m_rs.setValue("列名", column);
        m_rs.setValue("型", std::string(type));
        m_rs.setValue("表名", tableName);
    }

    quorix::RecordSet& m_rs;
    std::string m_dbType;
    int m_tables = 0;
};

void fill(quorix::DefinitionTable& t, const std::string& dbType = "access") {
    Definition(t.records(), dbType).table(1);
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

// The create command's second pass on @p connectionString; prints the tables created.
int create(const std::string& connectionString, const quorix::LayoutDocument& layout) {
    quorix::Connection connection;
    connection.setConnectionString(connectionString);
    try {
        connection.open();
    } catch (const quorix::ServiceError& e) {
        std::fprintf(stderr, "bench_generation: %s\n", e.description().c_str());
        return 1;
    }
    quorix::Catalog catalog;
    catalog.setActiveConnection(&connection);
    const auto result = quorix::createLayoutTables(layout, connection, catalog);
    for (const auto& e : result.errors) std::fprintf(stderr, "bench_generation: %s\n", e.c_str());
    std::printf("%zu\n", result.createdTables.size());
    return result.ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool my = mode == "sql-my" || mode == "create-my";
    if (argc == 3 && (mode == "sql-pg" || mode == "create-pg" || my)) {
        const std::string dbType = my ? "mysql" : "postgresql";
        const std::string provider = my ? "MariaDB" : "PostgreSQL";
        quorix::DefinitionTable definition;
        fill(definition, dbType);
        auto layout = quorix::buildTableLayout(definition, dbType, "･･");
        if (layout.outcome != quorix::LayoutResult::Outcome::Done) return 1;
        if (mode == "sql-pg" || mode == "sql-my") {
            const auto script = quorix::layoutSql(*layout.layout, provider);
            std::ofstream(argv[2]) << script.text;
            return script.ok ? 0 : 1;
        }
        // The data source in quotes: it holds blanks.
        return create("Provider=" + provider + ";Data Source=\"" + argv[2] + "\"" +
                          (my ? ";User ID=root" : ""),
                      *layout.layout);
    }
    if (argc != 3 || (mode != "sql" && mode != "create")) {
        std::fprintf(
            stderr,
            "usage: bench_generation sql FILE | create DB | sql-pg FILE | create-pg SRC | sql-my "
            "FILE | create-my SRC\n");
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
    auto layout = quorix::buildTableLayout(definition, "access", "･･");
    if (layout.outcome != quorix::LayoutResult::Outcome::Done) return 1;
    return create(std::string("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + argv[2],
                  *layout.layout);
}
