#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "main_window/dialogs_logic.h"
#include "support/fake_port.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::TempDir;

TEST(XmlTagDialog, RefusesBlankTagsAndStoresThemUntrimmed) {
    AppSettings settings;
    settings.setDefaults();
    test::RecordingPort<> port;
    XmlTagDialog dialog(settings, port);
    EXPECT_EQ(dialog.rowsetText(), "ROWSET");
    EXPECT_FALSE(dialog.OKButton_Click("   ", ""));
    EXPECT_EQ(port.messages, std::vector<std::string>{"Quorix|基準タグ名を入力してください。"});
    EXPECT_FALSE(dialog.OKButton_Click("DATA", " "));
    EXPECT_EQ(port.messages.back(), "Quorix|行タグ名を入力してください。");
    EXPECT_EQ(settings.getRowset(), "ROWSET");
    EXPECT_TRUE(dialog.OKButton_Click("DATA ", " REC"));
    EXPECT_EQ(settings.getRowset(), "DATA ");
    EXPECT_EQ(settings.getRow(), " REC");
}

namespace {

struct Starter : ProgramStarter {
    std::vector<std::string> started;
    bool succeed = true;
    bool startDetached(const std::string& program) override {
        started.push_back(program);
        return succeed;
    }
};

std::string makeTool(const TempDir& dir, const std::string& sub, const std::string& name,
                     bool exec) {
    std::filesystem::create_directories(dir.path() / sub);
    const std::string path = (dir.path() / sub / name).string();
    std::ofstream(path) << "#!/bin/sh\n";
    chmod(path.c_str(), exec ? 0755 : 0644);
    return path;
}

}  // namespace

TEST(SystemInformation, SearchesThePathInOrder) {
    TempDir dir;
    makeTool(dir, "a", "gnome-system-monitor", false);  // not executable
    const std::string monitor = makeTool(dir, "b", "gnome-system-monitor", true);
    const std::string path = dir.file("a") + ":" + dir.file("b") + ":" + dir.file("none");
    EXPECT_EQ(findSystemInfoTool(path), monitor);
    const std::string hardinfo = makeTool(dir, "c", "hardinfo", true);
    EXPECT_EQ(findSystemInfoTool(path + ":" + dir.file("c")), hardinfo);  // preferred tool first
    EXPECT_EQ(findSystemInfoTool(dir.file("none")), std::nullopt);

    test::RecordingPort<> port;
    Starter starter;
    StartSysInfo(path, starter, port);
    EXPECT_EQ(starter.started, std::vector<std::string>{monitor});
    EXPECT_TRUE(port.messages.empty());
    starter.succeed = false;
    StartSysInfo(path, starter, port);
    EXPECT_EQ(port.messages, std::vector<std::string>{"Quorix|現時点ではｼｽﾃﾑ情報を使用できません"});
    StartSysInfo(dir.file("none"), starter, port);
    EXPECT_EQ(port.messages.size(), 2u);
}
