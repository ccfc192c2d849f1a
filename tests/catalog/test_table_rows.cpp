// A table's rows for the rows view, on every engine: in key order across pages, narrowed on the
// server by a text, NULL apart from empty text, counted.
#include <gtest/gtest.h>

#include <functional>

#include "catalog/table_rows.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::TempDir;

namespace {

struct Server {
    const char* name;
    std::function<std::string(TempDir&)> connectionString;  // a database holding table T
    std::function<void(const std::string&)> sql;
};

std::vector<Server> servers() {
    static std::string file;
    return {
        {"SQLite",
         [](TempDir& dir) {
             file = dir.file("rows.db");
             return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file;
         },
         [](const std::string& sql) { test::sqlite3Cli(file, sql); }},
        {"PostgreSQL",
         [](TempDir&) {
             test::PostgresServer::instance().freshDatabase("quorix_rows");
             return "Provider=PostgreSQL;Data Source=\"" +
                    test::PostgresServer::instance().dataSource("quorix_rows") + "\"";
         },
         [](const std::string& sql) { test::PostgresServer::instance().psql("quorix_rows", sql); }},
        {"MariaDB",
         [](TempDir&) {
             test::MariaDbServer::instance().freshDatabase("quorix_rows");
             return "Provider=MariaDB;Data Source=\"" +
                    test::MariaDbServer::instance().dataSource("quorix_rows") + "\";User ID=root";
         },
         [](const std::string& sql) {
             std::string s = sql;
             for (char& c : s)
                 if (c == '"') c = '`';
             test::MariaDbServer::instance().sql("quorix_rows", s);
         }},
    };
}

std::string shown(const std::vector<TextRow>& rows) {
    std::string out;
    for (const TextRow& r : rows) {
        for (std::size_t c = 0; c < r.size(); ++c) out += (c ? "|" : "") + (r[c] ? *r[c] : "<NULL>");
        out += "\n";
    }
    return out;
}

}  // namespace

TEST(TableRows, PagesByKeyFilterAndNullOnEveryEngine) {
    for (const Server& s : servers()) {
        SCOPED_TRACE(s.name);
        TempDir dir;
        const std::string connection = s.connectionString(dir);
        // A two-column key, its second column descending in text: the order is the key's.
        s.sql("CREATE TABLE \"T\" (\"A\" integer NOT NULL, \"B\" varchar(10) NOT NULL, \"V\" varchar(20), "
              "PRIMARY KEY (\"A\", \"B\"))");
        s.sql("INSERT INTO \"T\" VALUES (2, 'b', 'x''y'), (1, 'z', NULL), (1, 'a', ''), (2, 'a', '50%'), "
              "(3, 'a', 'ok')");
        TableRows rows(connection, "T");
        ASSERT_EQ(rows.error(), "");
        EXPECT_EQ(rows.columns(), (std::vector<std::string>{"A", "B", "V"}));
        EXPECT_EQ(rows.key(), (std::vector<std::string>{"A", "B"}));
        rows.setFilter("");
        EXPECT_EQ(rows.count(), 5);
        std::string all;
        while (!rows.atEnd()) all += shown(rows.more(2));  // pages of two
        EXPECT_EQ(all, "1|a|\n1|z|<NULL>\n2|a|50%\n2|b|x'y\n3|a|ok\n");
        // "%" is a character of the value, not LIKE's.
        rows.setFilter("%");
        EXPECT_EQ(rows.count(), 1);
        EXPECT_EQ(shown(rows.more(10)), "2|a|50%\n");
        rows.setFilter("'");
        EXPECT_EQ(shown(rows.more(10)), "2|b|x'y\n");
        rows.setFilter("3");
        EXPECT_EQ(shown(rows.more(10)), "3|a|ok\n");  // numbers are searched as text too
        // Sorted by a column over pages of two: ties in the key's order (reversed going down),
        // NULLs last both ways.
        rows.setFilter("");
        const auto sorted = [&](const std::string& column, bool descending) {
            rows.setOrder(column, descending);
            std::string out;
            while (!rows.atEnd()) out += shown(rows.more(2));
            return out;
        };
        EXPECT_EQ(sorted("A", true), "3|a|ok\n2|b|x'y\n2|a|50%\n1|z|<NULL>\n1|a|\n");
        EXPECT_EQ(sorted("B", false), "1|a|\n2|a|50%\n3|a|ok\n2|b|x'y\n1|z|<NULL>\n");
        EXPECT_EQ(sorted("V", false), "1|a|\n2|a|50%\n3|a|ok\n2|b|x'y\n1|z|<NULL>\n");
        EXPECT_EQ(sorted("V", true), "2|b|x'y\n3|a|ok\n2|a|50%\n1|a|\n1|z|<NULL>\n");
    }
    TempDir dir;
    // SQLite keeps currency as units: pages end where the stored value does, not the shown one.
    const std::string money = servers().front().connectionString(dir);
    servers().front().sql("CREATE TABLE M (P currency PRIMARY KEY); INSERT INTO M VALUES (90000), (120000), (1234500)");
    TableRows prices(money, "M");
    std::string all;
    while (!prices.atEnd()) all += shown(prices.more(1));
    EXPECT_EQ(all, "9\n12\n123.45\n");
    TableRows gone(servers().front().connectionString(dir), "NONE");
    EXPECT_NE(gone.error(), "");
}
