#include <gtest/gtest.h>

#include <sstream>

#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "services/db/sqlite/sqlite_catalog.h"
#include "support/test_support.h"

using namespace quorix;
using namespace quorix::sqlite;
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

std::string rule(const std::string& r) {
    if (r == "CASCADE") return "1";
    if (r == "SET NULL") return "2";
    if (r == "SET DEFAULT") return "3";
    return "0";
}

// A table's catalog as text, from SQLite's own pragmas read with the sqlite3 program.
std::string pragmaText(const std::string& db, const std::string& name) {
    std::string s = "columns:";
    for (const auto& r : rows(db, "SELECT name FROM pragma_table_xinfo(" + q(name) + ");"))
        s += " " + r.at(0);
    std::string pkOrder;
    for (const auto& r :
         rows(db, "SELECT name FROM pragma_table_xinfo(" + q(name) + ") WHERE pk > 0 ORDER BY pk;"))
        pkOrder += " " + r.at(0);
    std::string pk, indexes, keys;
    for (const auto& r : rows(db, "SELECT name, \"unique\", origin FROM pragma_index_list(" +
                                      q(name) + ") ORDER BY seq DESC;")) {
        std::string cols;
        for (const auto& c : rows(db, "SELECT name, \"desc\" FROM pragma_index_xinfo(" +
                                          q(r.at(0)) + ") WHERE key = 1 ORDER BY seqno;"))
            cols += " " + c.at(0) + (c.at(1) == "1" ? "-" : "+");
        if (r.at(2) == "pk") {
            pk = cols;
            continue;
        }
        indexes += "\n index " + r.at(0) + (r.at(1) == "1" ? " unique" : "") + ":" + cols;
        if (r.at(2) == "u") keys += "\n unique " + r.at(0) + ":" + cols;
    }
    if (pk.empty() && !pkOrder.empty()) {
        std::istringstream in(pkOrder);
        for (std::string c; in >> c;) pk += " " + c + "+";
    }
    if (!pk.empty()) s += "\n primary:" + pk;
    std::string id;
    for (const auto& r : rows(db,
                              "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete FROM "
                              "pragma_foreign_key_list(" +
                                  q(name) + ") ORDER BY id DESC, seq;")) {
        if (r.at(0) != id) {
            id = r.at(0);
            keys += "\n foreign " + r.at(1) + " " + rule(r.at(4)) + rule(r.at(5)) + ":";
        }
        keys += " " + r.at(2) + ">" + r.at(3);
    }
    return s + indexes + keys;
}

std::string prop(const CatalogObjectPtr& o, const char* name) {
    const PropertyValue v = o->property(name);
    if (const auto* n = std::get_if<long long>(&v)) return std::to_string(*n);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "1" : "0";
    if (const auto* t = std::get_if<std::string>(&v)) return *t;
    return "?";
}

// The same facts as the catalog reports them.
std::string catalogText(const CatalogObjectPtr& table) {
    std::string s = "columns:";
    for (const auto& c : table->child("Columns")->members()) s += " " + c->name();
    std::string primary, indexes, keys;
    for (const auto& i : table->child("Indexes")->members()) {
        std::string cols;
        for (const auto& c : i->child("Columns")->members())
            cols += " " + c->name() + (prop(c, "SortOrder") == "2" ? "-" : "+");
        if (prop(i, "PrimaryKey") == "1")
            primary = "\n primary:" + cols;
        else
            indexes +=
                "\n index " + i->name() + (prop(i, "Unique") == "1" ? " unique" : "") + ":" + cols;
    }
    for (const auto& k : table->child("Keys")->members()) {
        const std::string type = prop(k, "Type");
        if (type == "1") continue;  // the primary key, shown with its index
        std::string cols;
        for (const auto& c : k->child("Columns")->members())
            cols += " " + c->name() + (type == "2" ? ">" + prop(c, "RelatedColumn") : "");
        if (type == "2")
            keys += "\n foreign " + prop(k, "RelatedTable") + " " + prop(k, "UpdateRule") +
                    prop(k, "DeleteRule") + ":" + cols;
        else
            keys += "\n unique " + k->name() + ":";
        if (type != "2") {
            // Unique keys list their columns with their index's order.
            for (const auto& i : table->child("Indexes")->members())
                if (i->name() == k->name())
                    for (const auto& c : i->child("Columns")->members())
                        keys += " " + c->name() + (prop(c, "SortOrder") == "2" ? "-" : "+");
        }
    }
    return s + primary + indexes + keys;
}

}  // namespace

TEST(SqliteCatalog, AwkwardSchemasReadAsTheEngineReportsThem) {
    TempDir dir;
    const std::string db = dir.file("schema.db");
    const char* schema = R"(
CREATE TABLE "T1" ("a" NVARCHAR(50) NOT NULL, "b" INTEGER, CONSTRAINT "T1" PRIMARY KEY ("a"));
CREATE TABLE "A1" ("id" INTEGER CONSTRAINT "A1" PRIMARY KEY AUTOINCREMENT, "name" NVARCHAR(20));
CREATE TABLE parent(id INTEGER PRIMARY KEY, name TEXT UNIQUE, code INT, sub INT, UNIQUE(code, sub));
CREATE TABLE child(id INT, pid INT REFERENCES parent(id) ON DELETE CASCADE, note VARCHAR(30));
CREATE INDEX child_note ON child(note DESC);
CREATE UNIQUE INDEX child_two ON child(id, pid);
CREATE INDEX child_expr ON child(lower(note), id);
CREATE TABLE gen(a INT, b INT GENERATED ALWAYS AS (a*2) STORED, c INT AS (a+1));
CREATE TABLE wr(k TEXT PRIMARY KEY, v BLOB) WITHOUT ROWID;
CREATE TABLE "we""ird [name]"("col ""1""" TEXT, [br(acket] INT, `back` REAL);
CREATE TABLE cm(a INT, -- a comment, with a comma
  b /* and ( another */ TEXT);
CREATE TABLE fk2(x INT, y INT, CONSTRAINT named_fk FOREIGN KEY (x, y) REFERENCES parent(code, sub)
  ON UPDATE SET NULL ON DELETE SET DEFAULT);
CREATE TABLE f1(a TEXT, PRIMARY KEY(a DESC), UNIQUE(a));
CREATE TABLE u2(A, UNIQUE(A), UNIQUE(a));
CREATE TABLE q(a "TEXT", c "VARCHAR"(10));
CREATE TABLE old(a INT);
ALTER TABLE old ADD COLUMN b TEXT DEFAULT 'x';
ALTER TABLE old RENAME TO renamed;
ALTER TABLE renamed RENAME COLUMN a TO aa;
CREATE VIEW vw AS SELECT * FROM parent;
PRAGMA writable_schema = ON;
INSERT INTO sqlite_schema VALUES('table', 'vt', 'vt', 0, 'CREATE VIRTUAL TABLE vt USING nosuchmodule(x)');
PRAGMA writable_schema = OFF;
)";
    ASSERT_EQ(sqlite3Cli(db, schema), "");

    Connection connection;
    connection.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db);
    connection.open();
    Catalog catalog;
    catalog.setActiveConnection(&connection);
    const CatalogObjectPtr tables = catalog.tables();
    std::vector<std::string> names;
    for (const auto& t : tables->members()) names.push_back(t->name());
    // The table of the missing module is skipped alone.
    EXPECT_EQ(names, (std::vector<std::string>{"T1", "A1", "parent", "child", "gen", "wr",
                                               "we\"ird [name]", "cm", "fk2", "f1", "u2", "q",
                                               "renamed"}));
    for (const auto& t : tables->members()) {
        SCOPED_TRACE(t->name());
        EXPECT_EQ(catalogText(t), pragmaText(db, t->name()));
    }
    // What only the CREATE text knows: the key's constraint name.
    EXPECT_EQ(tables->member("T1")->child("Indexes")->members().at(0)->name(), "T1");
    EXPECT_EQ(prop(tables->member("A1")->child("Columns")->member("id"), "AutoIncrement"), "1");
    // Types as the engine reports them, unquoted.
    const auto qColumns = tables->member("q")->child("Columns");
    EXPECT_EQ(prop(qColumns->member("a"), "Type"),
              prop(tables->member("cm")->child("Columns")->member("b"), "Type"));
    EXPECT_EQ(catalog.views()->members().size(), 1u);
}

TEST(SqliteSchema, TokensAndTheKeysConstraintName) {
    const auto t = tokenize("CREATE TABLE \"a\"\"b\" ([c d] -- note\n, 'x''y' /* c */ `e`)");
    std::vector<std::string> texts;
    for (const auto& k : t) texts.push_back(k.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"CREATE", "TABLE", "a\"b", "(", "c d", ",", "x'y",
                                               "e", ")"}));
    EXPECT_TRUE(t[0].is("CREATE"));
    EXPECT_FALSE(t[2].is("A\"B"));
    EXPECT_EQ(t[6].kind, SqlToken::Literal);
    EXPECT_EQ(t[4].kind, SqlToken::Identifier);
    EXPECT_EQ(primaryKeyConstraintName("CREATE TABLE t(a, CONSTRAINT \"my key\" PRIMARY KEY (a))"),
              "my key");
    EXPECT_EQ(primaryKeyConstraintName("CREATE TABLE t(a PRIMARY KEY, 'CONSTRAINT x PRIMARY KEY')"),
              "");
}
