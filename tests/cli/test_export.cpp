// Tables written back out as a document load back to the same tables: on every engine, from
// one engine to another, across pages; what cannot be written is said and leaves no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli_run.h"
#include "engines.h"
#include "exporting/table_export.h"

using namespace quorix;
using quorix::test::cli;
using quorix::test::CliRun;
using quorix::test::Engine;
using quorix::test::TempDir;

namespace {

using quorix::test::example;

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Every row of @p tables as the engine's client prints them, in an order of their own.
std::string contents(const Engine& e, const std::vector<std::string>& tables) {
    std::string all;
    for (const std::string& t : tables) {
        std::istringstream rows(e.query("SELECT * FROM \"" + t + "\""));
        std::vector<std::string> lines;
        for (std::string line; std::getline(rows, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        all += t + ":\n";
        for (const auto& l : lines) all += l + "\n";
    }
    return all;
}

// Values of every kind, attributes, repeated children with and without values of their own,
// NULL and empty text, characters XML escapes.
const char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ROWSET>\n"
    "<ROW code=\"A-1\" kind=\"a&amp;b &quot;q&quot;\"><NAME>株式会社 &lt;山田&gt; 第二営業部</NAME>"
    "<MEMO>line1&#10;line2&#13;\ttab  </MEMO><AMOUNT>12.50</AMOUNT><ON>2026-11-02</ON>"
    "<AT>2026-11-02T09:15:30+09:00</AT><OK>true</OK><TAGS><TAG>x</TAG><TAG>y</TAG></TAGS>"
    "<ITEMS><ITEM no=\"1\"><SKU>P-1</SKU><QTY>3</QTY></ITEM><ITEM no=\"2\"><SKU></SKU><QTY>0</QTY>"
    "</ITEM></ITEMS></ROW>\n"
    "<ROW code=\"A-2\"><NAME></NAME><AMOUNT>-0.05</AMOUNT><OK>false</OK><ITEMS><ITEM no=\"1\">"
    "<QTY>12</QTY></ITEM></ITEMS></ROW>\n"
    "<ROW code=\"A-3\"><NAME>Ünïcödé ＡＢＣ ｶﾀｶﾅ 𠀋</NAME><MEMO> </MEMO><AMOUNT>1000000</AMOUNT>"
    "<ON>2026-12-31</ON><AT>2026-12-31T23:59:59Z</AT><OK>true</OK><TAGS><TAG>z</TAG></TAGS></ROW>\n"
    "<ROW code=\"A-4\"><NAME>four</NAME><AMOUNT>4.1234</AMOUNT><ITEMS><ITEM no=\"1\"><SKU>P-4</SKU>"
    "<QTY>4</QTY></ITEM><ITEM no=\"2\"><SKU>P-5</SKU><QTY>5</QTY></ITEM><ITEM no=\"3\">"
    "<SKU>P-6</SKU><QTY>6</QTY></ITEM></ITEMS></ROW>\n"
    "</ROWSET>\n";

}  // namespace

// On each engine: load, export (a page of two rows, so that every table crosses pages), load
// the document into new tables, and the tables are equal; the second export is the first.
TEST(Export, EveryEngineGetsBackTheTablesItWrote) {
    const std::size_t pages = exportPageRows;
    exportPageRows = 2;
    const auto first = test::engines("quorix_export_a");
    const auto second = test::engines("quorix_export_b");
    const char* types[] = {"access", "postgresql", "mysql"};
    for (std::size_t i = 0; i < first.size(); ++i) {
        SCOPED_TRACE(first[i].name);
        TempDir dir;
        const std::string doc = dir.write("doc.xml", kDocument);
        const std::string qxd = dir.file("doc.qxd");
        ASSERT_EQ(cli({"analyse", doc, "--propose", "--link-keys", "--attributes", "--name-tables",
                       "--db-type", types[i], "-o", qxd})
                      .status,
                  0);
        const CliRun loaded = cli(with({"load", qxd, doc, "--create"}, first[i].target(dir, true)));
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        const std::string out = dir.file("out.xml");
        const CliRun exported = cli(with({"export", qxd, "-o", out}, first[i].target(dir, false)));
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_NE(exported.err.find("3 個の表の 13 行を書き出しました"), std::string::npos)
            << exported.err;
        const CliRun again = cli(with({"load", qxd, out, "--create"}, second[i].target(dir, true)));
        ASSERT_EQ(again.status, 0) << again.err;
        const std::vector<std::string> tables = {"ROW", "TAG", "ITEM"};
        EXPECT_EQ(contents(second[i], tables), contents(first[i], tables));
        EXPECT_NE(contents(first[i], tables).find("line2"), std::string::npos);
        const std::string out2 = dir.file("out2.xml");
        ASSERT_EQ(cli(with({"export", qxd, "-o", out2}, second[i].target(dir, false))).status, 0);
        EXPECT_EQ(test::readFile(out2), test::readFile(out));
    }
    exportPageRows = pages;
}

// Two months of the examples go from SQLite to PostgreSQL to MariaDB and back to SQLite
// through documents, and the last tables are the first.
TEST(Export, TheTablesTravelFromEngineToEngine) {
    TempDir dir;
    const auto chain = test::engines("quorix_travel");
    const auto back = test::engines("quorix_travel_back");
    const std::string qxd = example("sales.qxd");
    ASSERT_EQ(cli(with({"load", qxd, example("sales-2026-11.xml"), "--create"},
                       chain[0].target(dir, true)))
                  .status,
              0);
    const CliRun december = cli(with({"load", qxd, example("sales-2026-12.xml"), "--mode", "update"},
                                     chain[0].target(dir, false)));
    ASSERT_EQ(december.status, 0) << december.err;
    // Each engine writes a date in its own way (a time of midnight, zeros of a fraction): the
    // days are compared.
    auto facts = [](const Engine& e) {
        return e.query("SELECT ORDER_NO, CUSTOMER, substr(ORDERED_ON, 1, 10) FROM SALES ORDER BY 1") +
               e.query("SELECT ORDER_NO, LINE_NO, SKU, PRODUCT, PRICE FROM SALE_LINES ORDER BY 1, 2") +
               e.query("SELECT ORDER_NO, LINE_NO, DELIVERY_NO, substr(SHIPPED_ON, 1, 10), QTY "
                       "FROM DELIVERIES ORDER BY 1, 2, 3");
    };
    const std::string start = facts(chain[0]);
    std::string doc = dir.file("from-sqlite.xml");
    ASSERT_EQ(cli(with({"export", qxd, "-o", doc}, chain[0].target(dir, false))).status, 0);
    for (std::size_t i = 1; i < chain.size(); ++i) {
        SCOPED_TRACE(chain[i].name);
        const CliRun loaded = cli(with({"load", qxd, doc, "--create"}, chain[i].target(dir, true)));
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        doc = dir.file(std::string("from-") + chain[i].name + ".xml");
        const CliRun exported = cli(with({"export", qxd, "-o", doc}, chain[i].target(dir, false)));
        ASSERT_EQ(exported.status, 0) << exported.err;
    }
    const CliRun home = cli(with({"load", qxd, doc, "--create"}, back[0].target(dir, true)));
    ASSERT_EQ(home.status, 0) << home.err;
    EXPECT_EQ(facts(back[0]), start);
    EXPECT_NE(start.find("1003"), std::string::npos) << start;
}

// A missing table, a child row without its parent, a character XML 1.0 cannot carry: said,
// exit 1, and no file (nor a part of one) left. One table alone comes out flat.
TEST(Export, WhatCannotBeWrittenIsSaidAndLeavesNoFile) {
    TempDir dir;
    const auto e = test::engines("quorix_export_bad").front();
    const std::string qxd = example("sales.qxd");
    const std::string out = dir.file("out.xml");
    test::sqlite3Cli(dir.file("quorix_export_bad.db"), "PRAGMA user_version = 1");  // no tables
    const CliRun missing = cli(with({"export", qxd, "-o", out}, e.target(dir, false)));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("表「SALES」がデータベースにありません"), std::string::npos) << missing.err;
    ASSERT_EQ(cli(with({"load", qxd, example("sales-2026-11.xml"), "--create"}, e.target(dir, false)))
                  .status,
              0);

    struct Case {
        const char* name;
        std::string sql, undo, said;
    };
    const Case cases[] = {
        {"orphan", "DELETE FROM SALES WHERE ORDER_NO = 1002",
         "INSERT INTO SALES (ORDER_NO, CUSTOMER) VALUES (1002, 'x')",
         "表「SALE_LINES」の 1 行は、表「SALES」に対応する行がないため"},
        {"control character", "UPDATE SALES SET CUSTOMER = 'a' || char(1) WHERE ORDER_NO = 1001",
         "UPDATE SALES SET CUSTOMER = 'a' WHERE ORDER_NO = 1001",
         "表「SALES」のキー（ORDER_NO=1001）の行の列「CUSTOMER」の値に、XML 1.0 では書けない制御文字（U+0001）があります"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        e.query(c.sql);
        const CliRun refused = cli(with({"export", qxd, "-o", out}, e.target(dir, false)));
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find(c.said), std::string::npos) << refused.err;
        std::vector<std::string> left;
        for (const auto& f : std::filesystem::directory_iterator(dir.file("")))
            if (f.path().filename().string().find("out.xml") != std::string::npos)
                left.push_back(f.path().string());
        EXPECT_TRUE(left.empty()) << left.front();
        e.query(c.undo);
    }

    const CliRun flat = cli(with({"export", qxd, "--table", "SALE_LINES"}, e.target(dir, false)));
    ASSERT_EQ(flat.status, 0) << flat.err;
    EXPECT_NE(flat.out.find("<ROW><ORDER_NO>1001</ORDER_NO><LINE_NO>1</LINE_NO><SKU>P-1001</SKU>"),
              std::string::npos)
        << flat.out;
    EXPECT_EQ(cli(with({"export", qxd, "--table", "NONE"}, e.target(dir, false))).status, 1);
}

// The types proposed on each engine hold the values as they were written: slashed dates come
// back the ISO way, amounts and measures exactly, and the tables say the types chosen.
TEST(Export, ProposedTypesHoldTheDocumentsValuesOnEveryEngine) {
    const char doc[] =
        "<ROWSET><ROW><ID>1</ID><ON>2026/11/02</ON><AT>2026/11/02 9:05</AT><PRICE>198.00</PRICE>"
        "<RATE>3.14159</RATE><BIG>4000000000</BIG></ROW>\n"
        "<ROW><ID>2</ID><ON>2026/1/5</ON><AT>2026-01-05T10:00:00</AT><PRICE>0.05</PRICE>"
        "<RATE>-12.5</RATE><BIG>1</BIG></ROW></ROWSET>\n";
    const auto targets = test::engines("quorix_proposed");
    const char* types[] = {"access", "postgresql", "mysql"};
    const char* declared[] = {"NUMERIC(7,5)", "numeric(7,5)", "decimal(7,5)"};
    for (std::size_t i = 0; i < targets.size(); ++i) {
        SCOPED_TRACE(targets[i].name);
        TempDir dir;
        const std::string xml = dir.write("doc.xml", doc), qxd = dir.file("doc.qxd");
        const CliRun analysed = cli({"analyse", xml, "--propose", "--name-tables", "--db-type", types[i], "-o", qxd});
        ASSERT_EQ(analysed.status, 0);
        EXPECT_NE(analysed.err.find("「ON」「AT」の「2026/11/02」の形の日付は"), std::string::npos) << analysed.err;
        const CliRun loaded = cli(with({"load", qxd, xml, "--create"}, targets[i].target(dir, true)));
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        const CliRun out = cli(with({"export", qxd}, targets[i].target(dir, false)));
        ASSERT_EQ(out.status, 0) << out.err;
        EXPECT_NE(out.out.find("<ROW><ID>1</ID><ON>2026-11-02</ON><AT>2026-11-02T09:05"), std::string::npos) << out.out;
        EXPECT_NE(out.out.find("<PRICE>0.05</PRICE><RATE>-12.5"), std::string::npos) << out.out;  // servers add the scale's zeros
        EXPECT_NE(out.out.find("<RATE>3.14159</RATE><BIG>4000000000</BIG>"), std::string::npos) << out.out;
        const std::string schema =
            i == 0 ? targets[i].query(".schema ROW")
                   : targets[i].query(i == 1 ? "SELECT format_type(atttypid, atttypmod) FROM pg_attribute "
                                               "WHERE attrelid = '\"ROW\"'::regclass AND attname = 'RATE'"
                                             : "SELECT COLUMN_TYPE FROM information_schema.COLUMNS WHERE "
                                               "TABLE_NAME = 'ROW' AND COLUMN_NAME = 'RATE'");
        EXPECT_NE(schema.find(declared[i]), std::string::npos) << schema;
    }
}
