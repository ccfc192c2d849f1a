#include <gtest/gtest.h>

#include "definition_builder.h"
#include "generation/table_creation.h"
#include "support/database_fixture.h"

using namespace quorix;
using quorix::test::Def;
using quorix::test::sqlite3Cli;

namespace {

struct TableCreation : test::DatabaseFixture {
    CreationResult create(const std::vector<Def>& lines) {
        DefinitionTable t;
        test::fillDefinition(t, lines);
        LayoutResult layout = buildTableLayout(t, "access", "･･");
        EXPECT_EQ(layout.outcome, LayoutResult::Outcome::Done) << layout.message;
        if (!layout.layout) return {};
        return createLayoutTables(*layout.layout, connection, catalog);
    }

    // "name type pk" per column, from sqlite3 itself.
    std::string columns(const std::string& table) {
        return sqlite3Cli(path,
                          "SELECT group_concat(name || ' ' || type || ' ' || pk, ', ') FROM "
                          "pragma_table_info('" +
                              table + "')");
    }
};

}  // namespace

TEST_F(TableCreation, WorkedExampleInARealFile) {
    const CreationResult r = create({{"－", 0, "ROW", ""},
                                     {"○", 1, "a", "", "ﾃｷｽﾄ型", std::string("10"), "T1"},
                                     {"○", 1, "b", "", "数値型"},
                                     {"○", 2, "c", "", "ﾃｷｽﾄ型", std::string("20"), "T2"},
                                     {"○", 2, "d", "", "日付/時刻型"},
                                     {"○", 1, "e", "", "ﾒﾓ型"}});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.createdTables, (std::vector<std::string>{"T1", "T2"}));
    EXPECT_EQ(columns("T1"), "a NVARCHAR(10) 1, b INTEGER 0, e NTEXT 0\n");
    EXPECT_EQ(columns("T2"), "b INTEGER 1, c NVARCHAR(20) 2, d DATETIME 0\n");
    EXPECT_NE(sqlite3Cli(path, ".schema T2").find("CONSTRAINT \"T2\" PRIMARY KEY (\"b\", \"c\")"),
              std::string::npos);
}

TEST_F(TableCreation, NestedGroupsInDefinitionOrder) {
    // A two-level nesting and a group under a later column of the top group.
    const CreationResult r = create({{"○", 1, "k", "", "ｵｰﾄﾅﾝﾊﾞｰ型", {}, "Top"},
                                     {"○", 1, "x", ""},
                                     {"○", 2, "m", "", "数値型", {}, "Mid"},
                                     {"○", 3, "n", "", "ﾃｷｽﾄ型", {}, "Deep"},
                                     {"○", 1, "y", ""},
                                     {"○", 2, "z", "", "ﾃｷｽﾄ型", {}, "Late"}});
    ASSERT_TRUE(r.ok) << r.errors.at(0);
    EXPECT_EQ(r.createdTables, (std::vector<std::string>{"Top", "Mid", "Deep", "Late"}));
    EXPECT_EQ(columns("Deep"), "x NVARCHAR(255) 1, m INTEGER 2, n NVARCHAR(255) 3\n");
    EXPECT_EQ(columns("Late"), "y NVARCHAR(255) 1, z NVARCHAR(255) 2\n");
    // The auto-number numbers rows in its own table only.
    EXPECT_EQ(
        sqlite3Cli(path, "INSERT INTO Top(x, y) VALUES ('a','b'),('c','d'); SELECT k FROM Top;"),
        "1\n2\n");
    EXPECT_EQ(
        sqlite3Cli(path, "SELECT sql FROM sqlite_master WHERE name='Mid'").find("AUTOINCREMENT"),
        std::string::npos);
}

TEST_F(TableCreation, NothingToCreateStillCommits) {
    const CreationResult r = create({{"－", 0, "ROW", ""}, {"×", 1, "a", ""}});
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.createdTables.empty());
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "");
}

TEST_F(TableCreation, AnyFailureLeavesTheFileAsItWas) {
    sqlite3Cli(path, "CREATE TABLE Existing(x INT)");
    connection.close();
    connection.open();
    const std::vector<std::vector<Def>> failing = {
        // the same table name twice in one command
        {{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "Dup"}, {"○", 2, "b", "", "ﾃｷｽﾄ型", {}, "Dup"}},
        // a table that already exists, after one that was created
        {{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "New"}, {"○", 2, "b", "", "ﾃｷｽﾄ型", {}, "Existing"}},
        // two columns of one table with the same name
        {{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"}, {"○", 1, "a", ""}},
        {{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"}, {"○", 1, "A", ""}},
    };
    for (const auto& lines : failing) {
        const CreationResult r = create(lines);
        EXPECT_FALSE(r.ok);
        ASSERT_FALSE(r.errors.empty());
        EXPECT_FALSE(r.errors[0].empty());
        EXPECT_TRUE(r.createdTables.empty());
        EXPECT_EQ(sqlite3Cli(path, ".tables"), "Existing\n");
    }
}

TEST_F(TableCreation, NamesAreCreatedExactly) {
    const CreationResult r =
        create({{"○", 1, "a", "名\"; DROP x", "ﾃｷｽﾄ型", {}, "受注 明細"}, {"○", 1, "b", "select"}});
    ASSERT_TRUE(r.ok) << r.errors.at(0);
    EXPECT_EQ(sqlite3Cli(path, "SELECT name FROM pragma_table_info('受注 明細')"),
              "名\"; DROP x\nselect\n");
}
