#include <gtest/gtest.h>

#include <sstream>

#include "services/db/sqlite/sqlite_schema.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

std::vector<std::vector<std::string>> rows(const std::string& db, const std::string& sql) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(sqlite3Cli(db, sql, "-ascii"));
    std::string record;
    while (std::getline(in, record, '\x1e')) {
        std::vector<std::string> fields;
        std::string field;
        std::istringstream r(record);
        while (std::getline(r, field, '\x1f')) fields.push_back(field);
        if (!record.empty() && record.back() == '\x1f') fields.emplace_back();
        out.push_back(fields);
    }
    return out;
}

std::string q(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

// The table's catalog as SQLite's own pragmas give it, read with the sqlite3 program.
RawTable pragmaTable(const std::string& db, const std::string& name) {
    RawTable raw;
    for (const auto& r :
         rows(db, "SELECT name, type, \"notnull\", pk FROM pragma_table_info(" + q(name) + ");"))
        raw.columns.push_back({r.at(0), r.at(1), r.at(2) == "1", std::stoi(r.at(3))});
    for (const auto& r : rows(db, "SELECT name, \"unique\", origin FROM pragma_index_list(" +
                                      q(name) + ") ORDER BY seq DESC;")) {
        RawIndex index{r.at(0), r.at(1) == "1", r.at(2), {}};
        for (const auto& c : rows(db, "SELECT name, \"desc\" FROM pragma_index_xinfo(" +
                                          q(r.at(0)) + ") WHERE key = 1 ORDER BY seqno;"))
            index.columns.emplace_back(c.at(0), c.at(1) == "1");
        raw.indexes.push_back(index);
    }
    std::string id;
    for (const auto& r : rows(db,
                              "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete FROM "
                              "pragma_foreign_key_list(" +
                                  q(name) + ") ORDER BY id DESC, seq;")) {
        if (r.at(0) != id) {
            id = r.at(0);
            raw.foreignKeys.push_back({r.at(1), {}, r.at(4), r.at(5)});
        }
        raw.foreignKeys.back().columns.emplace_back(r.at(2), r.size() > 3 ? r.at(3) : "");
    }
    return raw;
}

}  // namespace

TEST(SqliteSchema, ReadingTheSchemaTextAgreesWithThePragmas) {
    TempDir dir;
    const std::string db = dir.file("schema.db");
    const char* schema[] = {
        R"(CREATE TABLE "T1" ("a" NVARCHAR(50) NOT NULL, "b" INTEGER, CONSTRAINT "T1" PRIMARY KEY ("a")))",
        R"(CREATE TABLE "A1" ("id" INTEGER CONSTRAINT "A1" PRIMARY KEY AUTOINCREMENT, "name" NVARCHAR(20)))",
        R"(CREATE TABLE parent(id INTEGER PRIMARY KEY, name TEXT UNIQUE))",
        R"(CREATE TABLE child(id INT, pid INT REFERENCES parent(id) ON DELETE CASCADE, note VARCHAR(30)))",
        R"(CREATE INDEX child_note ON child(note DESC))",
        R"(CREATE UNIQUE INDEX child_two ON child(id, pid))",
        R"(CREATE TABLE t(a, b DEFAULT 'x', c NUMERIC( 10, 2 ) CHECK (c > 0), UNIQUE (a, b),
             FOREIGN KEY (a, b) REFERENCES p2(x, y) ON UPDATE SET NULL MATCH FULL, PRIMARY KEY (c DESC)))",
        R"(CREATE TABLE [my table]("col 1" double precision, "x""y" text COLLATE NOCASE default -1.5 not null))",
        R"(CREATE TABLE u(a INTEGER PRIMARY KEY DESC, b))",
        R"(CREATE TABLE v(a UNIQUE, b, PRIMARY KEY (b)))",
        R"(CREATE TABLE m(a REFERENCES p(x), b, c, FOREIGN KEY (b) REFERENCES q, FOREIGN KEY (c) REFERENCES r(z) DEFERRABLE INITIALLY DEFERRED))",
        R"(CREATE TABLE g(a INT, b INT GENERATED ALWAYS AS (a * 2)))",
        R"(CREATE TABLE "売上 明細"("伝票番号" INTEGER NOT NULL, "行" SMALLINT, CONSTRAINT "売上 明細" PRIMARY KEY ("伝票番号", "行")))",
    };
    std::string script;
    for (const char* s : schema) script += std::string(s) + ";\n";
    ASSERT_EQ(sqlite3Cli(db, script), "");

    int compared = 0;
    const std::vector<std::string> mustParse = {"T1",       "A1", "parent", "child", "t",
                                                "my table", "u",  "v",      "m",     "売上 明細"};
    for (const auto& row : rows(db,
                                "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name "
                                "NOT LIKE 'sqlite_%';")) {
        const std::string& name = row.at(0);
        SCOPED_TRACE(name);
        std::vector<CreatedIndex> created;
        for (const auto& i : rows(db,
                                  "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND "
                                  "sql IS NOT NULL AND tbl_name = " +
                                      q(name) + " ORDER BY rowid;"))
            created.push_back({i.at(0), i.at(1)});
        const auto parsed = parseTableSchema(name, row.at(1), created);
        if (std::find(mustParse.begin(), mustParse.end(), name) != mustParse.end()) {
            ASSERT_TRUE(parsed);
        }
        if (!parsed) continue;
        ++compared;
        const RawTable expected = pragmaTable(db, name);
        EXPECT_EQ(parsed->columns, expected.columns);
        EXPECT_EQ(parsed->indexes, expected.indexes);
        EXPECT_EQ(parsed->foreignKeys, expected.foreignKeys);
    }
    EXPECT_EQ(compared, 10);
    EXPECT_EQ(pragmaTable(db, "child").indexes.size(), 2u);
    EXPECT_EQ(pragmaTable(db, "m").foreignKeys.size(), 3u);
    EXPECT_EQ(pragmaTable(db, "my table").columns.at(0).declared, "double precision");
    EXPECT_EQ(parseTableSchema("g", "CREATE TABLE g(a INT, b INT GENERATED ALWAYS AS (a * 2))", {}),
              std::nullopt);
    EXPECT_EQ(parseTableSchema("x", "CREATE TABLE x AS SELECT 1", {}), std::nullopt);
}

TEST(SqliteSchema, Tokens) {
    const auto t = tokenize("CREATE TABLE \"a\"\"b\" ([c d] -- note\n, 'x''y' /* c */ `e`)");
    std::vector<std::string> texts;
    for (const auto& k : t) texts.push_back(k.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"CREATE", "TABLE", "a\"b", "(", "c d", ",", "x'y",
                                               "e", ")"}));
    EXPECT_TRUE(t[0].is("CREATE"));
    EXPECT_FALSE(t[2].is("A\"B"));
    EXPECT_EQ(t[6].kind, SqlToken::Literal);
    EXPECT_EQ(t[4].kind, SqlToken::Identifier);
}
