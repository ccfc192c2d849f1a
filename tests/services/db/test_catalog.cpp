#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "services/db/catalog.h"
#include "services/db/engine/data_type.h"
#include "support/database_fixture.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

// A new database file with the catalog bound to an open connection on it.
class CatalogTest : public test::DatabaseFixture {
protected:
    CatalogObjectPtr table(const std::string& name) {
        auto t = catalog.tables()->member(name);
        EXPECT_TRUE(t) << name;
        return t;
    }
};

long long intProperty(const CatalogObjectPtr& o, const char* name) {
    return std::get<long long>(o->property(name));
}

}  // namespace

TEST_F(CatalogTest, ColumnsReadBackWithTheirTypeCodeAndSize) {
    struct Col {
        int32_t type, size, expectSize;
    };
    const Col cols[] = {{202, 50, 50}, {203, 0, 0}, {3, 0, 4},    {7, 0, 8},
                        {135, 0, 16},  {6, 0, 8},   {11, 0, 2},   {200, 10, 10},
                        {201, 0, 0},   {129, 5, 5}, {131, 0, 19}, {202, 0, 255}};
    TableDefinition t{"Types", {}, {}};
    for (std::size_t i = 0; i < std::size(cols); ++i)
        t.columns.push_back({"c" + std::to_string(i), cols[i].type, cols[i].size, {}});
    catalog.appendTable(t);
    auto columns = table("Types")->child("Columns");
    ASSERT_EQ(columns->members().size(), std::size(cols));
    for (std::size_t i = 0; i < std::size(cols); ++i) {
        SCOPED_TRACE(i);
        const auto& c = columns->members()[i];
        EXPECT_EQ(c->name(), "c" + std::to_string(i));
        EXPECT_EQ(intProperty(c, "Type"), cols[i].type);
        EXPECT_EQ(intProperty(c, "DefinedSize"), cols[i].expectSize);
        EXPECT_EQ(intProperty(c, "Attributes") & adColNullable, adColNullable);
    }
    EXPECT_NE(sqlite3Cli(path, ".schema Types").find("\"c0\" NVARCHAR(50)"), std::string::npos);
    EXPECT_EQ(columns->property("Count"), PropertyValue(12LL));
    EXPECT_THROW(columns->members()[0]->property("SortOrder"), ServiceError);
    EXPECT_THROW(table("Types")->property("DateCreated"), ServiceError);
}

TEST_F(CatalogTest, PrimaryKeyIsAnIndexAndAKeyNamedLikeTheTable) {
    catalog.appendTable({"T2",
                         {{"b", 202, 50, {}}, {"c", 202, 50, {}}, {"d", 3, 0, {}}},
                         {{"T2", true, false, {"b", "c"}}}});
    auto t = table("T2");
    auto indexes = t->child("Indexes");
    ASSERT_EQ(indexes->members().size(), 1u);
    auto pk = indexes->members()[0];
    EXPECT_EQ(pk->name(), "T2");
    EXPECT_EQ(pk->property("PrimaryKey"), PropertyValue(true));
    EXPECT_EQ(pk->property("Unique"), PropertyValue(true));
    EXPECT_EQ(intProperty(pk, "IndexNulls"), adIndexNullsDisallow);
    auto cols = pk->child("Columns")->members();
    ASSERT_EQ(cols.size(), 2u);
    EXPECT_EQ(cols[0]->name(), "b");
    EXPECT_EQ(cols[1]->name(), "c");
    auto keys = t->child("Keys")->members();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(intProperty(keys[0], "Type"), adKeyPrimary);
    // Key columns are not nullable; the others are.
    auto columns = t->child("Columns")->members();
    EXPECT_EQ(intProperty(columns[0], "Attributes") & adColNullable, 0);
    EXPECT_EQ(intProperty(columns[2], "Attributes") & adColNullable, adColNullable);
    // sqlite3 itself sees the key.
    EXPECT_NE(sqlite3Cli(path, ".schema T2").find("PRIMARY KEY (\"b\", \"c\")"), std::string::npos);
    EXPECT_NE(
        sqlite3Cli(path, "INSERT INTO T2 VALUES ('x','y',1); INSERT INTO T2 VALUES ('x','y',2);")
            .find("UNIQUE constraint failed"),
        std::string::npos);
}

TEST_F(CatalogTest, AutoIncrementNumbersRowsWhereverTheColumnStands) {
    const std::vector<std::pair<std::string, std::string>> autoOn = {{"AutoIncrement", "true"}};
    // The key column itself.
    catalog.appendTable(
        {"A1", {{"id", 3, 0, autoOn}, {"name", 202, 20, {}}}, {{"A1", true, false, {"id"}}}});
    // Not the first column, not in the key.
    catalog.appendTable(
        {"A2", {{"k", 202, 10, {}}, {"n", 3, 0, autoOn}}, {{"A2", true, false, {"k"}}}});
    // Part of a composite key, as a nested table's own first column.
    catalog.appendTable(
        {"A3", {{"p", 3, 0, {}}, {"n", 3, 0, autoOn}}, {{"A3", true, false, {"p", "n"}}}});
    // No key at all.
    catalog.appendTable({"A4", {{"x", 202, 10, {}}, {"n", 3, 0, autoOn}}, {}});

    EXPECT_EQ(sqlite3Cli(path, "INSERT INTO A1(name) VALUES ('a'),('b'),('c'); SELECT id FROM A1;"),
              "1\n2\n3\n");
    EXPECT_EQ(sqlite3Cli(path,
                         "INSERT INTO A2(k) VALUES ('a'); INSERT INTO A2(k) VALUES ('b');"
                         "INSERT INTO A2(k) VALUES ('c'); SELECT n FROM A2 ORDER BY k;"),
              "1\n2\n3\n");
    EXPECT_EQ(sqlite3Cli(path,
                         "INSERT INTO A3(p) VALUES (7); INSERT INTO A3(p) VALUES (7);"
                         "SELECT p, n FROM A3;"),
              "7|1\n7|2\n");
    EXPECT_EQ(sqlite3Cli(path,
                         "INSERT INTO A4(x) VALUES ('a'); INSERT INTO A4(x) VALUES ('b');"
                         "SELECT n FROM A4;"),
              "1\n2\n");
    for (const char* t : {"A1", "A2", "A3", "A4"}) {
        SCOPED_TRACE(t);
        auto cols = table(t)->child("Columns")->members();
        auto col = cols[std::string(t) == "A1" ? 0 : 1];
        EXPECT_EQ(col->property("AutoIncrement"), PropertyValue(true));
        EXPECT_EQ(intProperty(col, "Type"), adInteger);
    }
    EXPECT_EQ(table("A1")->child("Indexes")->members().at(0)->name(), "A1");
}

TEST_F(CatalogTest, ColumnPropertiesAreAppliedOrRefusedNeverDropped) {
    struct Case {
        ColumnDefinition column;
        const char* message;
    };
    const Case cases[] = {
        {{"t", 202, 10, {{"AutoIncrement", "true"}}}, "整数型"},
        {{"t", 3, 0, {{"Description", "x"}}}, "使用できません"},
        {{"t", 3, 0, {{"AutoIncrement", "maybe"}}}, "使用できません"},
        {{"t", 9999, 0, {}}, "型コード 9999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            catalog.appendTable({"P", {c.column}, {}});
            FAIL() << "accepted";
        } catch (const ServiceError& e) {
            EXPECT_NE(e.description().find(c.message), std::string::npos) << e.description();
        }
        ASSERT_EQ(connection.errors().size(), 1u);
    }
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "");
}

TEST_F(CatalogTest, NamesAreCreatedExactlyAndNothingElseRuns) {
    const std::string names[] = {
        "x\"; DROP TABLE keep; --", "with blank", "売上;明細", "select", "a'b", "表"};
    catalog.appendTable({"keep", {{"k", 3, 0, {}}}, {}});
    for (const auto& n : names)
        catalog.appendTable({n, {{n, 202, 20, {}}, {"order", 3, 0, {}}}, {{n, true, false, {n}}}});
    auto tables = catalog.tables();
    ASSERT_EQ(tables->members().size(), std::size(names) + 1);
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        auto t = table(n);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->child("Columns")->members()[0]->name(), n);
        EXPECT_EQ(t->child("Indexes")->members()[0]->name(), n);
    }
    EXPECT_EQ(
        sqlite3Cli(path, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='keep'"),
        "1\n");
    EXPECT_EQ(sqlite3Cli(path, "SELECT count(*) FROM \"売上;明細\""), "0\n");
}

TEST_F(CatalogTest, DeletesTablesByName) {
    catalog.appendTable({"T1", {{"a", 3, 0, {}}}, {}});
    catalog.appendTable({"T2", {{"a", 3, 0, {}}}, {}});
    catalog.deleteTable("T1");
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "T2\n");
    try {
        catalog.deleteTable("T1");
        FAIL();
    } catch (const ServiceError& e) {
        EXPECT_EQ(e.description(), "表「T1」が見つかりません。");
    }
    EXPECT_EQ(connection.errors().size(), 1u);
}

TEST_F(CatalogTest, ReadsForeignKeysIndexesAndViewsWrittenByOtherPrograms) {
    connection.close();
    sqlite3Cli(path,
               "CREATE TABLE parent(id INTEGER PRIMARY KEY, name TEXT UNIQUE);"
               "CREATE TABLE child(id INT, pid INT REFERENCES parent(id) ON DELETE CASCADE,"
               " note VARCHAR(30));"
               "CREATE INDEX child_note ON child(note DESC);"
               "CREATE VIEW v AS SELECT name FROM parent;");
    connection.open();
    auto child = table("child");
    auto keys = child->child("Keys")->members();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(intProperty(keys[0], "Type"), adKeyForeign);
    EXPECT_EQ(keys[0]->property("RelatedTable"), PropertyValue(std::string("parent")));
    EXPECT_EQ(intProperty(keys[0], "DeleteRule"), adRICascade);
    EXPECT_EQ(intProperty(keys[0], "UpdateRule"), adRINone);
    auto fkCol = keys[0]->child("Columns")->members().at(0);
    EXPECT_EQ(fkCol->name(), "pid");
    EXPECT_EQ(fkCol->property("RelatedColumn"), PropertyValue(std::string("id")));

    auto idx = child->child("Indexes")->members();
    ASSERT_EQ(idx.size(), 1u);
    EXPECT_EQ(idx[0]->name(), "child_note");
    EXPECT_EQ(idx[0]->property("PrimaryKey"), PropertyValue(false));
    EXPECT_EQ(intProperty(idx[0]->child("Columns")->members().at(0), "SortOrder"), 2);

    auto parentIdx = table("parent")->child("Indexes")->members();
    ASSERT_EQ(parentIdx.size(), 2u);  // the INTEGER PRIMARY KEY and the UNIQUE constraint
    EXPECT_EQ(parentIdx[0]->property("PrimaryKey"), PropertyValue(true));
    EXPECT_EQ(parentIdx[1]->property("Unique"), PropertyValue(true));

    auto views = catalog.views()->members();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0]->name(), "v");
    auto command = views[0]->child("Command");
    EXPECT_EQ(command->property("CommandText"),
              PropertyValue(std::string("SELECT name FROM parent")));
    EXPECT_EQ(command->child("Parameters")->property("Count"), PropertyValue(0LL));

    EXPECT_THROW(catalog.procedures(), ServiceError);
    EXPECT_THROW(catalog.groups(), ServiceError);
    EXPECT_THROW(catalog.users(), ServiceError);
    EXPECT_EQ(catalog.object()->property("ActiveConnection"),
              PropertyValue(connection.connectionString()));
}

TEST_F(CatalogTest, ReadOnlyDatabaseOpensButRefusesChanges) {
    connection.close();
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    // File modes do not bind root: the check runs in a child that has given root up.
    const auto check = [this] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(2);
        Connection c;
        c.setConnectionString(connection.connectionString());
        c.open();
        Catalog readOnly;
        readOnly.setActiveConnection(&c);
        try {
            readOnly.appendTable({"T", {{"a", 3, 0, {}}}, {}});
        } catch (const ServiceError&) {
            const bool said =
                c.errors().at(0).description().find("読み取り専用") != std::string::npos;
            std::_Exit(said ? 0 : 3);
        }
        std::_Exit(4);
    };
    EXPECT_EXIT(check(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "");
}
