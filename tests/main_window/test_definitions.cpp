#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "definition_file/definition_file.h"
#include "fake_main_port.h"
#include "main_window/main_window_core.h"
#include "services/db/catalog.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::FakeMainPort;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

struct Definitions : ::testing::Test {
    void SetUp() override {
        dbPath = dir.file("book.mdb");
        Catalog().create("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + dbPath);
        port.dialog = test::connectTo(dbPath);
        ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
        port.files = {std::string(QUORIX_EXAMPLES) + "/products.xml"};
        core.cmdOpen_Click();
        RecordSet& rs = records();
        ASSERT_EQ(rs.recordCount(), 12);
        for (const auto& [row, name] : {std::pair{1, "製品"}, {5, "価格表"}, {6, "価格"}}) {
            rs.setCurrentRow(row);
            rs.setValue("表名", std::string(name));
        }
        rs.setCurrentRow(2);
        rs.setValue("桁数", std::string("10"));
    }
    RecordSet& records() { return core.definitionTable()->records(); }
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        RecordSet& rs = records();
        for (int r = 0; r < rs.recordCount(); ++r)
            for (int f = 0; f < 9; ++f) {
                const FieldValue& v = rs.valueAt(r, f);
                out.push_back(std::holds_alternative<std::monostate>(v) ? "<null>"
                              : std::holds_alternative<int32_t>(v)
                                  ? std::to_string(std::get<int32_t>(v))
                                  : std::get<std::string>(v));
            }
        return out;
    }

    TempDir dir;
    std::string dbPath;
    FakeMainPort port;
    MainWindowCore core{port};
};

}  // namespace

TEST_F(Definitions, SavedOpenedAndAskedBeforeReplacing) {
    const auto before = texts();
    const std::string path = dir.file("products");  // the extension is added
    port.files = {path};
    core.mnuSaveDef_Click();
    EXPECT_EQ(port.fileRequests.back().filter, "定義ファイル(*.qxd)|*.qxd|全てのファイル|*.*");
    EXPECT_TRUE(port.fileRequests.back().save);
    EXPECT_EQ(port.statusText, "定義ファイル「" + path + ".qxd」を保存しました。");

    // Replacing asks; No keeps the file as it was.
    records().setCurrentRow(3);
    records().setValue("列名", std::string("changed"));
    port.files = {path + ".qxd"};
    port.answers = {false};
    core.mnuSaveDef_Click();
    ASSERT_EQ(port.questions.size(), 1u);
    EXPECT_EQ(port.questions[0],
              "定義の保存|定義ファイル「" + path + ".qxd」は既に存在します。\r\n置き換えますか？");

    port.files = {path + ".qxd"};
    core.mnuLoadDef_Click();
    EXPECT_EQ(texts(), before);
    EXPECT_EQ(port.statusText, "定義ファイル「" + path + ".qxd」を開きました。");
    EXPECT_EQ(port.bound, &records());

    // A damaged file replaces nothing.
    const std::string broken = dir.write("broken.qxd", "#quorix-definition\t9\n");
    port.files = {broken};
    core.mnuLoadDef_Click();
    EXPECT_EQ(port.statusText.rfind("定義ファイル「" + broken + "」の1行目: ", 0), 0u)
        << port.statusText;
    EXPECT_EQ(texts(), before);

    // Ctrl+S: to the definition's own file, without asking.
    records().setCurrentRow(3);
    records().setValue("列名", std::string("again"));
    const std::size_t asked = port.fileRequests.size();
    core.mnuSaveDefAgain_Click();
    EXPECT_EQ(port.fileRequests.size(), asked);
    EXPECT_EQ(port.statusText, "定義ファイル「" + path + ".qxd」を保存しました。");
    EXPECT_NE(test::readFile(path + ".qxd").find("\tagain\t"), std::string::npos);
}

TEST_F(Definitions, TheShownSqlIsWhatCreationRuns) {
    records().setCurrentRow(4);
    core.mnuShowSql_Click();
    ASSERT_EQ(port.shownSql.size(), 1u) << port.statusText;
    EXPECT_EQ(records().currentRow(), 4);  // the cursor stays where it was
    const std::string& sql = port.shownSql[0];
    EXPECT_EQ(sql.rfind("BEGIN;\n", 0), 0u);
    // Run as shown by the engine's own tool on an empty database ...
    const std::string other = dir.file("other.mdb");
    Catalog().create("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + other);
    EXPECT_EQ(sqlite3Cli(other, sql), "");
    // ... it gives the schema that creation gives.
    core.cmdCreate_Click();
    ASSERT_NE(port.statusText.find("表「価格」を作成しました。"), std::string::npos);
    EXPECT_EQ(sqlite3Cli(other, ".schema"), sqlite3Cli(dbPath, ".schema"));
    EXPECT_NE(sqlite3Cli(dbPath, ".schema").find("\"価格\" (\n    \"PRICES\""), std::string::npos);

    // A definition that stops creation shows the stop instead.
    records().setCurrentRow(1);
    records().setValue("表名", std::string());
    port.shownSql.clear();
    core.mnuShowSql_Click();
    EXPECT_TRUE(port.shownSql.empty());
    EXPECT_EQ(port.statusText, "表名を入力してください。");
}

TEST(LoadData, TheWindowLinksKeysCreatesAndLoads) {
    TempDir dir;
    const std::string db = dir.file("orders.mdb");
    Catalog().create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db);
    FakeMainPort port;
    port.dialog = test::connectTo(db);
    MainWindowCore core(port);
    ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
    const std::string orders = std::string(QUORIX_EXAMPLES) + "/orders.xml";
    port.files = {orders};
    core.cmdOpen_Click();
    core.mnuLinkKeys_Click();
    EXPECT_EQ(port.statusText,
              "1 個の入れ子の表を親の表のキーで結びました。番号の列（自動番号）を 2 個作りました。");
    core.mnuNameTables_Click();
    EXPECT_EQ(port.statusText, "2 個の表に名前を付けました。");
    port.files = {orders};
    port.answers = {true};  // create the tables first
    core.mnuLoadData_Click();
    EXPECT_EQ(port.statusText, "4 行を 2 個の表に取り込みました。");
    EXPECT_EQ(sqlite3Cli(db, "SELECT group_concat(ROW_ID || ':' || ORDER_NO, ' ') FROM ROW"),
              "1:20261201 2:20261202\n");
    EXPECT_EQ(sqlite3Cli(db,
                         "SELECT group_concat(ROW_ID || ':' || ITEM_ID || ':' || SKU, ' ') "
                         "FROM ITEM"),
              "1:1:P-1001 1:2:P-1002\n");
    EXPECT_EQ(core.browser().root()->children.at(0)->children.size(), 2u);  // the tree shows them
    // Again into the same tables, where another program made the order numbers unique: the
    // first one taken stops the load, nothing more is written.
    sqlite3Cli(db, "CREATE UNIQUE INDEX one_order ON ROW(ORDER_NO)");
    port.files = {orders};
    core.mnuLoadData_Click();
    EXPECT_NE(port.statusText.find("全ての処理は元の状態に戻されました。"), std::string::npos)
        << port.statusText;
    EXPECT_EQ(sqlite3Cli(db, "SELECT count(*) FROM ROW"), "2\n");
    // Skipping rows with errors: each is listed in the file chosen, the rest is loaded, the
    // numbers going on from the last one kept.
    sqlite3Cli(db, "DELETE FROM ITEM WHERE ROW_ID = 2; DELETE FROM ROW WHERE ORDER_NO = 20261202");
    port.files = {orders, dir.file("rejects.tsv")};
    core.mnuLoadDataSkipping_Click();
    EXPECT_EQ(port.statusText,
              "1 行を 2 個の表に取り込みました。エラーのある 1 行は取り込まずに「" +
                  dir.file("rejects.tsv") + "」に書きました。");
    EXPECT_EQ(sqlite3Cli(db, "SELECT group_concat(ROW_ID || ':' || ORDER_NO, ' ') FROM ROW"),
              "1:20261201 2:20261202\n");

    // A line that a row held twice is warned of before anything starts.
    const std::string twice =
        dir.write("twice.xml", "<ROWSET><ROW><ID>1</ID><TAG>a</TAG><TAG>b</TAG></ROW></ROWSET>");
    port.files = {twice};
    core.cmdOpen_Click();
    RecordSet& lines = core.definitionTable()->records();  // a new definition
    lines.setCurrentRow(1);
    lines.setValue("表名", std::string("TWICE"));
    port.questions.clear();
    port.answers = {false};
    core.mnuLoadData_Click();
    ASSERT_EQ(port.questions.size(), 1u);
    EXPECT_NE(port.questions[0].find("列「TAG」の要素が2回以上ある行"), std::string::npos)
        << port.questions[0];
    EXPECT_EQ(sqlite3Cli(db, "SELECT count(*) FROM sqlite_master WHERE name = 'TWICE'"), "0\n");
}

// A month's export loaded again with the chosen mode: remembered, asked before a replace, and
// what it did to each table shown.
TEST(LoadData, TheChosenModeReloadsAMonthAndSaysWhatItDid) {
    TempDir dir;
    const std::string db = dir.file("sales.mdb");
    Catalog().create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db);
    FakeMainPort port;
    port.dialog = test::connectTo(db);
    MainWindowCore core(port);
    ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
    const std::string examples = QUORIX_EXAMPLES;
    core.LoadDefinitionFile(examples + "/sales.qxd");
    port.files = {examples + "/sales-2026-11.xml"};
    port.answers = {true};  // create the tables first
    core.mnuLoadData_Click();
    ASSERT_EQ(port.statusText, "8 行を 3 個の表に取り込みました。");
    // The result stays in view: per table, with the time it took.
    EXPECT_EQ(port.loadSummary, (std::vector<std::vector<std::string>>{
                                    {"表", "追加"}, {"SALES", "2"}, {"SALE_LINES", "3"}, {"DELIVERIES", "3"}}));
    EXPECT_EQ(port.loadHeading.rfind("8 行を 3 個の表に取り込みました。\r\n所要時間 ", 0), 0u) << port.loadHeading;
    EXPECT_NE(port.loadHeading.find(" 行/秒）。"), std::string::npos) << port.loadHeading;

    core.mnuLoadMode_Click("update");
    ASSERT_TRUE(port.stored);
    EXPECT_EQ(port.stored->getLoadMode(), "update");
    port.files = {examples + "/sales-2026-12.xml"};
    core.mnuLoadData_Click();
    EXPECT_EQ(port.statusText,
              "文書の 2 行を 3 個の表に取り込みました（既にある行を更新する）。追加 5 行、更新 1 "
              "行、削除 4 行。");
    const std::vector<std::vector<std::string>> summary = {
        {"表", "追加", "更新", "既にあって飛ばした", "削除"},
        {"SALES", "1", "1", "0", "0"},
        {"SALE_LINES", "2", "0", "0", "2"},
        {"DELIVERIES", "2", "0", "0", "2"}};
    EXPECT_EQ(port.loadSummary, summary);
    EXPECT_EQ(sqlite3Cli(db, "SELECT group_concat(d, ' ') FROM (SELECT ORDER_NO || '/' || "
                             "DELIVERY_NO AS d FROM DELIVERIES ORDER BY ORDER_NO)"),
              "1001/3 1002/1 1003/1\n");

    // A replace says what it will delete, and a "no" changes nothing.
    core.mnuLoadMode_Click("replace");
    port.questions.clear();
    port.answers = {false};
    port.files = {examples + "/sales-2026-11.xml"};
    core.mnuLoadData_Click();
    ASSERT_EQ(port.questions.size(), 1u);
    EXPECT_NE(port.questions[0].find("表「SALES」「SALE_LINES」「DELIVERIES」の行を全て削除"),
              std::string::npos)
        << port.questions[0];
    EXPECT_EQ(sqlite3Cli(db, "SELECT count(*) FROM SALES"), "3\n");

    // Two months chosen together go in one load, in the order of their names.
    core.mnuLoadMode_Click("update");
    port.severalFiles = {examples + "/sales-2026-12.xml", examples + "/sales-2026-11.xml"};
    core.mnuLoadData_Click();
    EXPECT_EQ(port.statusText,
              "文書の 4 行を 3 個の表に取り込みました（既にある行を更新する）。追加 10 行、更新 4 "
              "行、削除 10 行。");
    EXPECT_EQ(sqlite3Cli(db, "SELECT group_concat(d, ' ') FROM (SELECT ORDER_NO || '/' || "
                             "DELIVERY_NO AS d FROM DELIVERIES ORDER BY ORDER_NO)"),
              "1001/3 1002/1 1003/1\n");

    // Noting the documents is asked for once and kept; the same month again is then noted.
    core.mnuRememberDocuments_Click();
    EXPECT_TRUE(port.stored->getRemember());
    for (int time = 0; time < 2; ++time) {
        port.files = {examples + "/sales-2026-12.xml"};
        core.mnuLoadData_Click();
    }
    EXPECT_NE(port.statusText.find("同じ内容"), std::string::npos) << port.statusText;
    EXPECT_EQ(sqlite3Cli(db, "SELECT count(*) FROM quorix_loaded_documents"), "1\n");  // one per content

    // The tables written out again as a document of the definition's form.
    const std::string back = dir.file("back.xml");
    port.files = {back};
    core.mnuExportXML_Click();
    EXPECT_EQ(port.statusText.rfind("3 個の表の ", 0), 0u) << port.statusText;
    EXPECT_NE(test::readFile(back).find("<ROW><ORDER_NO>1003</ORDER_NO><LINES><LINE><LINE_NO>1"),
              std::string::npos)
        << test::readFile(back);
}

TEST_F(Definitions, EveryChangeIsUndoneAndRedoneExactly) {
    core.DataGrid1_AfterColUpdate();  // the fixture's edits are one step
    auto saved = [&] {
        const std::string path = dir.file("state.qxd");
        EXPECT_EQ(saveDefinitionFile(path, *core.definitionTable(), {}), "");
        return test::readFile(path);
    };
    const std::string other = dir.write(
        "other.xml", "<ROWSET><ROW><A>1</A><B><C>x</C></B></ROW><ROW><A>2</A></ROW></ROWSET>");
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"cell edit",
         [&] {
             records().setCurrentRow(3);
             core.PlaceCellEditors();  // as a move in the grid does
             records().setValueAt(3, 5, std::string("EDITED"));
             core.DataGrid1_AfterColUpdate();
         }},
        {"生成", [&] { core.cmdGen1_Click(); }},
        {"down", [&] { core.cmdDown_Click(); }},
        {"right", [&] { core.cmdRight_Click(); }},
        {"insert", [&] { core.cmdInsert_Click(); }},
        {"delete", [&] { core.cmdDelete_Click(); }},  // the inserted line
        {"propose", [&] { core.mnuProposeTypes_Click(); }},
        {"open document",
         [&] {
             port.files = {other};
             core.cmdOpen_Click();
         }},
        {"append", [&] { core.cmdAppend_Click(); }},
        {"new", [&] { core.mnuNew_Click(); }},
    };
    std::vector<std::string> states = {saved()};
    for (const auto& [name, change] : changes) {
        change();
        states.push_back(saved());
        EXPECT_NE(states.back(), states[states.size() - 2]) << name << " changed nothing";
        EXPECT_TRUE(port.canUndo) << name;
    }
    for (std::size_t i = changes.size(); i > 0; --i) {
        core.mnuUndo_Click();
        EXPECT_EQ(saved(), states[i - 1]) << "undo of " << changes[i - 1].first;
    }
    EXPECT_EQ(port.bound, &records());
    for (std::size_t i = 1; i <= changes.size(); ++i) {
        core.mnuRedo_Click();
        EXPECT_EQ(saved(), states[i]) << "redo of " << changes[i - 1].first;
    }
    EXPECT_FALSE(port.canRedo);
}

TEST_F(Definitions, UnsavedChangesAreAskedForOnlyWhenThereAreAny) {
    const std::string base = "Quorix(" + dbPath + ") - products.xml";
    EXPECT_EQ(port.title, base);  // the fixture's edits are not told to the window yet
    core.DataGrid1_AfterColUpdate();
    EXPECT_EQ(port.title, base + "*");

    // キャンセル keeps everything; はい saves first (here to a new file), then goes on.
    const auto before = texts();
    port.saveAnswer = MainWindowPort::SaveAnswer::Cancel;
    core.mnuNew_Click();
    EXPECT_FALSE(core.Form_QueryUnload());
    EXPECT_EQ(port.saveQuestions, 2);
    EXPECT_EQ(texts(), before);
    port.saveAnswer = MainWindowPort::SaveAnswer::Save;
    port.files = {};  // the save dialog is cancelled: nothing is replaced
    core.mnuNew_Click();
    EXPECT_EQ(texts(), before);
    const std::string path = dir.file("kept.qxd");
    port.files = {path};
    core.mnuNew_Click();
    EXPECT_EQ(port.saveQuestions, 4);
    EXPECT_EQ(records().recordCount(), 1);
    EXPECT_EQ(port.title, "Quorix(" + dbPath + ")");
    EXPECT_NE(test::readFile(path).find("\t価格表\n"), std::string::npos);

    // Unchanged: no question anywhere.
    core.mnuNew_Click();
    port.files = {path};
    core.mnuLoadDef_Click();
    EXPECT_EQ(port.title, "Quorix(" + dbPath + ") - kept.qxd");
    EXPECT_TRUE(core.Form_QueryUnload());
    EXPECT_EQ(port.saveQuestions, 4);
    // A step back from the opened file is a change again; いいえ lets it go.
    core.mnuUndo_Click();
    EXPECT_EQ(port.title, "Quorix(" + dbPath + ")*");
    port.saveAnswer = MainWindowPort::SaveAnswer::Discard;
    EXPECT_TRUE(core.Form_QueryUnload());
    EXPECT_EQ(port.saveQuestions, 5);
    EXPECT_EQ(port.usedFiles.back(), path);
}

TEST_F(Definitions, ADefinitionOfAnotherEngineIsMovedAfterAQuestion) {
    const auto before = texts();
    const std::string path = dir.file("pg.qxd");
    ASSERT_EQ(saveDefinitionFile(path, *core.definitionTable(), {}), "");
    // The same definition as PostgreSQL would have it, one type without a counterpart here.
    std::string text = test::readFile(path);
    for (const auto& [from, to] : {std::pair{"access", "postgresql"},
                                   {"ﾃｷｽﾄ型", "varchar"},
                                   {"数値型", "integer"},
                                   {"日付/時刻型", "timestamp"},
                                   {"Yes/No型", "bytea"}})
        for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at))
            text.replace(at, std::string(from).size(), to);
    dir.write("pg.qxd", text);

    port.answers = {false};  // No: the file's types stay, with the old note
    port.files = {path};
    core.mnuLoadDef_Click();
    ASSERT_EQ(port.questions.size(), 1u);
    EXPECT_EQ(port.questions[0],
              "Quorix|この定義の型はデータベースタイプ「postgresql」のものです。\r\n11 "
              "行の型を「access」の型に置き換えますか？");
    records().setCurrentRow(1);
    EXPECT_EQ(records().text("型"), "varchar");

    port.answers = {true};
    port.files = {path};
    core.mnuLoadDef_Click();
    EXPECT_EQ(port.statusText, "定義ファイル「" + path +
                                   "」を開きました。\r\n11 行の型を「access」の型に置き換えました。"
                                   "「access」に当たる型のない行: IN_STOCK（bytea）。型を選んで"
                                   "ください。");
    auto moved = texts();
    std::replace(moved.begin(), moved.end(), std::string("bytea"), std::string("Yes/No型"));
    EXPECT_EQ(moved, before);
    EXPECT_EQ(port.title.back(), '*');  // moved, not yet saved
    core.mnuUndo_Click();               // back to the file as it is
    records().setCurrentRow(1);
    EXPECT_EQ(records().text("型"), "varchar");
}
