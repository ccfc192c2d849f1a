#include <gtest/gtest.h>

#include <filesystem>

#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "services/db/engine/connection_info.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {
const std::string kJet4 = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
const std::string kJet351 = "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=";
}  // namespace

TEST(ConnectionString, SplitsTheKnownKeys) {
    struct Case {
        std::string text, provider, source, user, password;
    };
    const Case cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Book.mdb", "Microsoft.Jet.OLEDB.4.0",
         "C:\\Book.mdb", "", ""},
        {"Provider=;Data Source=/tmp/a.mdb;User ID=admin", "", "/tmp/a.mdb", "admin", ""},
        {"Provider=p;Data Source=x;User ID=u;Password=p=w;d", "p", "x", "u", "p=w;d"},
        // A ';' that does not start a known key belongs to the value.
        {"Provider=p;Data Source=/tmp/a;b.mdb;User ID= ", "p", "/tmp/a;b.mdb", " ", ""},
        {"", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ConnectionInfo info = parseConnectionString(c.text);
        EXPECT_EQ(info.provider, c.provider);
        EXPECT_EQ(info.dataSource, c.source);
        EXPECT_EQ(info.user, c.user);
        EXPECT_EQ(info.password, c.password);
    }
}

TEST(Connection, RefusesWhatIsNotADatabaseAndCreatesNothing) {
    TempDir dir;
    const std::string text = dir.write("text.mdb", "this is not a database at all, just text\n");
    const std::string empty = dir.write("empty.mdb", "");
    const std::string cases[] = {
        kJet4 + dir.file("missing.mdb"),
        kJet4 + text,
        kJet4 + empty,
        kJet4 + dir.path().string(),
        kJet4,
        "Provider=sqloledb;Data Source=" + dir.file("x.mdb"),
        "Provider=;Data Source=" + dir.file("x.mdb"),
    };
    for (const auto& cs : cases) {
        SCOPED_TRACE(cs);
        Connection c;
        c.setConnectionString(cs);
        EXPECT_THROW(c.open(), ServiceError);
        EXPECT_FALSE(c.isOpen());
        ASSERT_EQ(c.errors().size(), 1u);
        EXPECT_FALSE(c.errors()[0].description().empty());
        EXPECT_NE(c.errors()[0].number(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.mdb")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.mdb")));
    EXPECT_EQ(std::filesystem::file_size(empty), 0u);
    EXPECT_EQ(std::filesystem::file_size(text), 41u);
}

TEST(Catalog, CreatesAValidEmptyDatabaseOnlyWhereNoneExists) {
    TempDir dir;
    const std::string path = dir.file("新しい データ.mdb");
    Catalog catalog;
    catalog.create(kJet351 + path);
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(sqlite3Cli(path, "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "");

    // An existing file: the documented number, and the file is left alone.
    const std::string other = dir.write("other.mdb", "keep me");
    try {
        catalog.create(kJet351 + other);
        FAIL() << "no error";
    } catch (const ServiceError& e) {
        EXPECT_EQ(e.number(), static_cast<int32_t>(0x80040E17));
        EXPECT_EQ(e.number(), -2147217897);
    }
    EXPECT_EQ(std::filesystem::file_size(other), 7u);

    try {
        catalog.create(kJet351 + dir.file("no/such/folder/x.mdb"));
        FAIL() << "no error";
    } catch (const ServiceError& e) {
        EXPECT_NE(e.number(), static_cast<int32_t>(0x80040E17));
        EXPECT_NE(e.description().find("作成できません"), std::string::npos);
    }

    Connection c;
    c.setConnectionString(kJet4 + path);
    EXPECT_NO_THROW(c.open());
    EXPECT_TRUE(c.isOpen());
}

TEST(Connection, TransactionsUndoDdl) {
    TempDir dir;
    const std::string path = dir.file("t.mdb");
    Catalog catalog;
    catalog.create(kJet4 + path);
    Connection c;
    c.setConnectionString(kJet4 + path);
    c.open();
    catalog.setActiveConnection(&c);

    TableDefinition t1{"T1", {{"a", 202, 50, {}}}, {{"T1", true, false, {"a"}}}};
    TableDefinition t2{"T2", {{"b", 3, 0, {}}}, {}};
    c.beginTrans();
    catalog.appendTable(t1);
    catalog.appendTable(t2);
    c.rollbackTrans();
    EXPECT_EQ(sqlite3Cli(path, ".schema"), "");
    EXPECT_TRUE(catalog.tables()->members().empty());

    c.beginTrans();
    catalog.appendTable(t1);
    c.commitTrans();
    EXPECT_NE(sqlite3Cli(path, ".schema").find("\"T1\" (\n    \"a\" NVARCHAR(50)"),
              std::string::npos);

    // A failure inside the transaction, then the roll back, leaves what was committed before.
    c.beginTrans();
    catalog.appendTable(t2);
    EXPECT_THROW(catalog.appendTable(t1), ServiceError);
    ASSERT_EQ(c.errors().size(), 1u);
    EXPECT_EQ(c.errors()[0].description(), "表「T1」は既に存在します。");
    c.rollbackTrans();
    EXPECT_EQ(sqlite3Cli(path, ".tables"), "T1\n");
}
