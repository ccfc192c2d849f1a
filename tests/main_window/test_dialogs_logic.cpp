#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fake_main_port.h"
#include "main_window/dialogs_logic.h"
#include "main_window/main_window_core.h"
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

TEST(Guide, OpensTheInstalledGuideOrSaysWhyNot) {
    TempDir dir;
    const std::string bin = (dir.path() / "prefix" / "bin").string();
    std::filesystem::create_directories(bin);
    const std::string viewer = makeTool(dir, "tools", "xdg-open", true);
    const char* oldPath = std::getenv("PATH");
    const std::string restore = oldPath ? oldPath : "";
    ::setenv("PATH", dir.file("tools").c_str(), 1);

    test::FakeMainPort port;
    port.programFolder = bin;
    MainWindowCore core(port);
    core.mnuGuide_Click();  // not installed: the place it was looked for is named
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_NE(
        port.messages[0].find((dir.path() / "prefix/share/doc/quorix/guide/index.html").string()),
        std::string::npos)
        << port.messages[0];
    EXPECT_TRUE(port.viewed.empty());

    const auto guide = dir.path() / "prefix/share/doc/quorix/guide/index.html";
    std::filesystem::create_directories(guide.parent_path());
    std::ofstream(guide) << "<html></html>";
    core.mnuGuide_Click();
    EXPECT_EQ(port.viewed, std::vector<std::string>{viewer + " " + guide.string()});
    EXPECT_EQ(port.status(), "使い方の案内を開いています: " + guide.string());
    core.guideNotOpened(guide.string());  // the viewer found nothing set for the file
    EXPECT_EQ(port.messages.back(), "Quorix|" + GuideTexts::noViewer(guide.string()));

    ::setenv("PATH", dir.file("none").c_str(), 1);  // no viewer at all
    core.mnuGuide_Click();
    EXPECT_EQ(port.viewed.size(), 1u);
    EXPECT_EQ(port.messages.size(), 3u);
    EXPECT_EQ(port.messages.back(), port.messages[1]);
    ::setenv("PATH", restore.c_str(), 1);
}
