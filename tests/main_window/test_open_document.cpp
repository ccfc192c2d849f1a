#include <gtest/gtest.h>

#include "fake_main_port.h"
#include "main_window/main_window_core.h"
#include "services/db/catalog.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::FakeMainPort;
using quorix::test::TempDir;
using quorix::test::testData;

namespace {

struct OpenDocument : ::testing::Test {
    void SetUp() override {
        const std::string path = dir.file("book.mdb");
        Catalog().create("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + path);
        port.dialog = test::connectTo(path);
        ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
    }
    int lines() { return core.definitionTable()->records().recordCount(); }

    TempDir dir;
    FakeMainPort port;
    MainWindowCore core{port};
};

}  // namespace

TEST_F(OpenDocument, LoadsAnXmlFileIntoTheGrid) {
    port.files = {testData("worked_example.xml")};
    core.cmdOpen_Click();
    ASSERT_EQ(port.fileRequests.size(), 1u);
    EXPECT_EQ(port.fileRequests[0].filter, "XML(*.xml)|*.xml|全てのファイル|*.*");
    EXPECT_EQ(port.fileRequests[0].title, "XML文書を開く");
    EXPECT_EQ(port.fileRequests[0].defaultExtension, "xml");
    EXPECT_EQ(port.fileRequests[0].initialFile, "");
    EXPECT_EQ(lines(), 6);
    EXPECT_EQ(port.bound, &core.definitionTable()->records());
    EXPECT_EQ(core.definitionTable()->records().absolutePosition(), 1);
    EXPECT_EQ(port.busyCursor, 0);
    EXPECT_EQ(port.busyCursorMax, 1);
    EXPECT_EQ(core.xmlPath(), testData("worked_example.xml"));

    // A cancel changes nothing: the edits stay.
    core.definitionTable()->records().setValue("列名", std::string("edited"));
    core.cmdOpen_Click();
    EXPECT_EQ(port.fileRequests.back().initialFile, testData("worked_example.xml"));
    EXPECT_EQ(core.definitionTable()->records().text("列名"), "edited");
}

TEST_F(OpenDocument, ExtensionsDecideWhatHappens) {
    const std::string upper = dir.write("data.XML", "<ROWSET><ROW><A/></ROW></ROWSET>");
    const std::string dtd = dir.write("schema.dtd", "<!ELEMENT a ANY>");
    const std::string dotted = dir.write("a.b.xml", "<ROWSET><ROW><A/><B/></ROW></ROWSET>");
    port.files = {upper, dtd, dotted};
    core.cmdOpen_Click();
    EXPECT_EQ(lines(), 1);
    EXPECT_EQ(core.xmlPath(), upper);
    core.cmdOpen_Click();
    EXPECT_EQ(core.xmlPath(), upper);
    core.cmdOpen_Click();
    EXPECT_EQ(lines(), 3);
}

TEST_F(OpenDocument, BadDocumentsReportAndKeepTheLines) {
    core.cmdAppend_Click();
    const std::string broken =
        dir.write("broken.xml", "<ROWSET>\n<ROW>\n<A>1</B>\n</ROW>\n</ROWSET>\n");
    const std::string noRows = dir.write("norows.xml", "<ROWSET><row/></ROWSET>");
    const std::string noRowset = dir.write("norowset.xml", "<rows><ROW/></rows>");
    const std::string empty = dir.write("empty.xml", "");
    port.files = {broken, noRows, noRowset, empty, dir.file("missing.xml")};
    const std::string expected[] = {
        "終了タグが開始タグと一致しません。行3: <A>1</B>",
        "XML文書内に行タグ「ROW」がありません。",
        "XML文書内にルートタグ「ROWSET」がありません。",
        "文書が空か、ルート要素がありません。行1: ",
        "ファイルが見つかりません。",
    };
    int beeps = port.beeps;
    for (const auto& e : expected) {
        core.cmdOpen_Click();
        EXPECT_EQ(port.statusText, e);
        EXPECT_EQ(port.beeps, ++beeps);
        EXPECT_EQ(lines(), 2);
        EXPECT_EQ(port.busyCursor, 0);
    }
}

TEST_F(OpenDocument, TagsFromTheSettings) {
    core.settings().putRowset("商品一覧");
    core.settings().putRow("商品");
    port.files = {dir.write("jp.xml", "<商品一覧><商品><名前/><価格/></商品></商品一覧>")};
    core.cmdOpen_Click();
    ASSERT_EQ(lines(), 3);
    RecordSet& rs = core.definitionTable()->records();
    EXPECT_EQ(rs.text("タグ名"), "商品");
    rs.moveLast();
    EXPECT_EQ(rs.text("タグ名"), "･･価格");
}

TEST_F(OpenDocument, AStoppedReadChangesNothing) {
    port.files = {testData("worked_example.xml")};
    core.cmdOpen_Click();
    ASSERT_EQ(lines(), 6);
    core.definitionTable()->records().setValue("列名", std::string("edited"));
    port.cancelWork = true;
    port.files = {std::string(QUORIX_EXAMPLES) + "/orders.xml"};
    core.cmdOpen_Click();
    EXPECT_EQ(port.backgroundLabel, "XML文書を読み込んでいます...");
    EXPECT_EQ(port.statusText, "XML文書の読み込みを中止しました。前の定義はそのままです。");
    EXPECT_EQ(lines(), 6);
    EXPECT_EQ(core.definitionTable()->records().text("列名"), "edited");
    EXPECT_EQ(core.xmlPath(), testData("worked_example.xml"));
    EXPECT_EQ(port.busyCursor, 0);
}

TEST_F(OpenDocument, GivenFilesOpenByTheirKind) {
    const std::string doc = std::string(QUORIX_EXAMPLES) + "/orders.xml";
    core.OpenGivenFile(doc);
    EXPECT_EQ(lines(), 11);
    EXPECT_EQ(core.xmlPath(), doc);
    const std::string def = dir.file("one.qxd");
    port.files = {def};
    core.definitionTable()->records().setCurrentRow(2);
    core.definitionTable()->records().setValue("列名", std::string("kept"));
    core.mnuSaveDef_Click();
    core.OpenGivenFile(testData("worked_example.xml"));
    EXPECT_EQ(lines(), 6);
    core.OpenGivenFile(def);
    ASSERT_EQ(lines(), 11);
    core.definitionTable()->records().setCurrentRow(2);
    EXPECT_EQ(core.definitionTable()->records().text("列名"), "kept");
    EXPECT_EQ(port.statusText, "定義ファイル「" + def + "」を開きました。");

    // A click on a catalog node shows its properties' page.
    core.TreeView1_NodeClick(const_cast<TreeNode*>(core.browser().root()));
    EXPECT_EQ(port.propertyPageShown, 1);
}
