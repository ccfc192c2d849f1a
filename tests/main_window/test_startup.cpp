#include <gtest/gtest.h>

#include <filesystem>

#include "fake_main_port.h"
#include "main_window/main_window_core.h"
#include "services/db/catalog.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::connectTo;
using quorix::test::FakeMainPort;
using quorix::test::TempDir;

namespace {

std::string newDatabase(const TempDir& dir, const std::string& name = "book.mdb") {
    const std::string path = dir.file(name);
    Catalog().create("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + path);
    return path;
}

}  // namespace

TEST(StartUp, ConnectsAndPreparesTheWindow) {
    TempDir dir;
    const std::string path = newDatabase(dir);
    FakeMainPort port;
    port.dialog = connectTo(path);
    MainWindowCore core(port);
    ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
    EXPECT_EQ(port.title, "Quorix(" + path + ")");
    EXPECT_EQ(core.connectionString(), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
    EXPECT_TRUE(core.connection().isOpen());
    EXPECT_EQ(core.catalog().activeConnection(), &core.connection());
    // The catalog is read off the window's thread, then the tree is shown.
    EXPECT_EQ(port.backgroundLabel, "データベースの構成を読み取っています...");
    EXPECT_EQ(port.treeBuilds, 1);
    EXPECT_EQ(port.typeChoices.size(), 9u);
    EXPECT_EQ(port.chooserText, "ﾃｷｽﾄ型");
    ASSERT_TRUE(core.definitionTable());
    EXPECT_EQ(port.bound, &core.definitionTable()->records());
    // Exactly the one line of the append command.
    RecordSet& rs = core.definitionTable()->records();
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.text("タグ名"), "･･-----");
    EXPECT_EQ(rs.text("型"), "ﾃｷｽﾄ型");
    EXPECT_EQ(port.rowHeight, 330 - 22);
    EXPECT_EQ(port.editors.generateButton.width, 400 - 22);
    EXPECT_EQ(port.editors.typeChooser.width, 1300 - 22);
    EXPECT_EQ(port.statusText, "");

    core.Form_Unload();
    EXPECT_FALSE(core.connection().isOpen());
    EXPECT_EQ(core.definitionTable(), nullptr);
    EXPECT_EQ(port.bound, nullptr);
}

TEST(StartUp, CancelThenNoAsksAgainWithAnEmptySource) {
    TempDir dir;
    const std::string path = newDatabase(dir);
    FakeMainPort port;
    std::vector<std::string> seen;
    port.dialog = [&](AppSettings& s, int showing) {
        seen.push_back(s.getDSN());
        if (showing < 3) {
            s.putDlgFlg(false);
            return;
        }
        connectTo(path)(s, showing);
    };
    port.answers = {false, false};
    MainWindowCore core(port);
    EXPECT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(seen[0], "");
    EXPECT_EQ(seen[1], "");
    EXPECT_EQ(seen[2], "");
    ASSERT_EQ(port.questions.size(), 2u);
    EXPECT_EQ(port.questions[0], "プログラムの終了|プログラムを終了しますか？");
}

TEST(StartUp, CancelThenYesEndsWithoutOpeningAnything) {
    FakeMainPort port;
    port.answers = {true};
    MainWindowCore core(port);
    EXPECT_EQ(core.Form_Load(), MainWindowCore::StartResult::Quit);
    EXPECT_EQ(port.dialogShown, 1);
    EXPECT_FALSE(core.connection().isOpen());
    EXPECT_EQ(core.definitionTable(), nullptr);
    EXPECT_EQ(port.title, "");
}

TEST(StartUp, ADatabaseThatCannotBeOpenedEndsWithAMessage) {
    TempDir dir;
    const std::string missing = dir.file("missing.mdb");
    const std::string text = dir.write("text.mdb", "plain text");
    for (const std::string& path : {missing, text}) {
        FakeMainPort port;
        port.dialog = connectTo(path);
        MainWindowCore core(port);
        EXPECT_EQ(core.Form_Load(), MainWindowCore::StartResult::Failed);
        EXPECT_EQ(port.beeps, 1);
        EXPECT_EQ(port.statusText, "データベースは開けません。");
        ASSERT_EQ(port.messages.size(), 1u);
        EXPECT_EQ(port.messages[0].rfind("Quorix|データベースは開けません。\r\n", 0), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(StartUp, AConfirmedReconnectTakesEffectOrKeepsTheOldDatabase) {
    TempDir dir;
    const std::string first = newDatabase(dir, "a.mdb");
    const std::string second = newDatabase(dir, "b.mdb");
    const std::string broken = dir.write("broken.mdb", "plain text");
    FakeMainPort port;
    port.dialog = connectTo(first);
    MainWindowCore core(port);
    ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);

    // A database that cannot be opened: a message, and the program stays where it was.
    port.dialog = connectTo(broken);
    core.mnuConnect_Click();
    EXPECT_EQ(port.openDataSource, first);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].rfind("Quorix|データベースは開けません。\r\n", 0), 0u);
    EXPECT_EQ(core.settings().getDSN(), first);
    EXPECT_EQ(port.title, "Quorix(" + first + ")");
    EXPECT_EQ(core.connectionString(), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + first);

    // A good one: title, connection, catalog and tree all move to it.
    test::sqlite3Cli(second, "CREATE TABLE only_in_b(x INT)");
    port.statusText = "old";
    port.dialog = connectTo(second);
    core.mnuConnect_Click();
    EXPECT_EQ(port.statusText, "");
    EXPECT_EQ(port.title, "Quorix(" + second + ")");
    EXPECT_EQ(core.connectionString(), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + second);
    EXPECT_TRUE(core.connection().isOpen());
    EXPECT_EQ(core.catalog().tables()->members().size(), 1u);
    const TreeNode* tablesNode = core.browser().root()->children.at(0).get();
    ASSERT_EQ(tablesNode->children.size(), 1u);
    EXPECT_EQ(tablesNode->children[0]->text, "only_in_b");
    EXPECT_EQ(port.openDataSource, first);
}

TEST(StartUp, NewReplacesTheTableWithOneFreshLine) {
    TempDir dir;
    FakeMainPort port;
    port.dialog = connectTo(newDatabase(dir));
    MainWindowCore core(port);
    ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
    core.cmdAppend_Click();
    core.cmdAppend_Click();
    EXPECT_EQ(core.definitionTable()->records().recordCount(), 3);
    core.mnuNew_Click();
    EXPECT_EQ(core.definitionTable()->records().recordCount(), 1);
    core.mnuExit_Click();
    EXPECT_TRUE(port.closed);
}

TEST(StartUp, RemembersTheConnectionAndTagsButNeverThePassword) {
    TempDir dir;
    const std::string path = newDatabase(dir);
    FakeMainPort port;
    port.dialog = [&](AppSettings& s, int) {
        connectTo(path)(s, 1);
        s.putUser("taro");
        s.putPassword("secret");
    };
    {
        MainWindowCore core(port);
        ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
        ASSERT_TRUE(port.stored);
        EXPECT_EQ(port.stored->getDSN(), path);
        EXPECT_EQ(port.stored->getUser(), "taro");
        EXPECT_EQ(port.stored->getPassword(), "");
        // Changed tags are remembered too.
        port.xmlDialog = [](AppSettings& s) { s.putRowset("DATA"); };
        core.mnuXML_Click();
        EXPECT_EQ(port.stored->getRowset(), "DATA");
    }
    // The next run's dialog starts from what was remembered.
    std::string seen;
    port.dialog = [&](AppSettings& s, int) {
        seen = s.getDSN() + "|" + s.getUser() + "|" + s.getPassword() + "|" + s.getRowset();
        connectTo(path)(s, 1);
    };
    MainWindowCore next(port);
    ASSERT_EQ(next.Form_Load(), MainWindowCore::StartResult::Started);
    EXPECT_EQ(seen, path + "|taro||DATA");
}
