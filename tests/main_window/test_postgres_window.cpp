#include <gtest/gtest.h>

#include "fake_main_port.h"
#include "main_window/main_window_core.h"
#include "services/db/catalog.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::FakeMainPort;
using quorix::test::PostgresServer;

namespace {

// Opens products.xml, names its three tables and creates them on the connected database.
std::string createProducts(MainWindowCore& core, FakeMainPort& port) {
    port.files = {std::string(QUORIX_EXAMPLES) + "/products.xml"};
    core.cmdOpen_Click();
    RecordSet& rs = core.definitionTable()->records();
    for (const auto& [row, name] : {std::pair{1, "製品"}, {5, "価格表"}, {6, "価格"}}) {
        rs.setCurrentRow(row);
        rs.setValue("表名", std::string(name));
    }
    core.cmdCreate_Click();
    return port.statusText;
}

}  // namespace

TEST(PostgresWindow, CreatesTheSameLayoutAsTheFileDatabase) {
    PostgresServer& server = PostgresServer::instance();
    server.freshDatabase("quorix_window");
    FakeMainPort port;
    port.dialog = [&](AppSettings& s, int) {
        s.putDBType("postgresql");
        s.putDSN(server.dataSource("quorix_window") + " password=secret");
        s.putDlgFlg(true);
    };
    MainWindowCore core(port);
    ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started) << port.statusText;
    EXPECT_EQ(port.title, "Quorix(" + server.dataSource("quorix_window") + ")");
    EXPECT_EQ(port.typeChoices.front(), "varchar");
    EXPECT_EQ(port.chooserText, "varchar");
    EXPECT_EQ(
        createProducts(core, port),
        "3 個の表「製品」「価格表」「価格」を作成しました。\r\n"
        "表「製品」を作成しました。\r\n表「価格表」を作成しました。\r\n表「価格」を作成しました。");
    // Keys: the enclosing columns, then the group's first column.
    EXPECT_EQ(server.psql("quorix_window",
                          "SELECT string_agg(a.attname, ',' ORDER BY k.ord) FROM pg_constraint c "
                          "CROSS JOIN LATERAL unnest(c.conkey) WITH ORDINALITY k(n, ord) JOIN "
                          "pg_attribute a ON a.attrelid = c.conrelid AND a.attnum = k.n WHERE "
                          "c.contype = 'p' AND c.conrelid = '\"価格\"'::regclass"),
              "PRICES,PRICE,LIST\n");
    // The tree shows them.
    const TreeNode* tables = core.browser().root()->children.at(0).get();
    EXPECT_EQ(tables->text, "表");
    ASSERT_EQ(tables->children.size(), 3u);

    // Again: the names exist, the whole command is undone, the database is as it was.
    const std::string again = createProducts(core, port);
    EXPECT_NE(again.find("全ての処理は元の状態に戻されました。"), std::string::npos) << again;
    EXPECT_EQ(
        server.psql("quorix_window", "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"),
        "3\n");
}

TEST(MariaDbWindow, OpensADefinitionOfAnotherEngineCreatesAndLoads) {
    test::MariaDbServer& server = test::MariaDbServer::instance();
    server.freshDatabase("quorix_window");
    FakeMainPort port;
    port.dialog = [&](AppSettings& s, int) {
        s.putDBType("mysql");
        s.putDSN(server.dataSource("quorix_window"));
        s.putUser("root");
        s.putDlgFlg(true);
    };
    MainWindowCore core(port);
    ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started) << port.statusText;
    EXPECT_EQ(port.typeChoices.back(), "int auto_increment");
    // examples/orders.qxd was made for SQLite: its types move over after a question.
    port.answers = {true};
    core.LoadDefinitionFile(std::string(QUORIX_EXAMPLES) + "/orders.qxd");
    EXPECT_NE(port.statusText.find("11 行の型を「mysql」の型に置き換えました。"), std::string::npos)
        << port.statusText;
    port.files = {std::string(QUORIX_EXAMPLES) + "/orders.xml"};
    port.answers = {true};  // create the tables first
    core.mnuLoadData_Click();
    EXPECT_EQ(port.statusText, "4 行を 2 個の表に取り込みました。");
    EXPECT_EQ(server.sql("quorix_window", "SELECT count(*) FROM ORDER_LINES"), "2\n");
    const TreeNode* tables = core.browser().root()->children.at(0).get();
    ASSERT_EQ(tables->children.size(), 2u);
    EXPECT_EQ(tables->children[0]->text, "ORDERS");
}
