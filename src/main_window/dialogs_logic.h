#pragma once

#include <optional>
#include <span>
#include <string>

#include "app/app_settings.h"
#include "app/user_port.h"

namespace quorix {

/// The rules of the XML tag dialog dlgXML: both tags must be given; they are stored as typed.
class XmlTagDialog {
public:
    XmlTagDialog(AppSettings& settings, UserPort& port) : m_settings(settings), m_port(port) {}

    /// The texts the two fields open with.
    std::string rowsetText() const { return m_settings.getRowset(); }
    std::string rowText() const { return m_settings.getRow(); }

    /// True when the tags were stored and the dialog closes.
    bool OKButton_Click(const std::string& rowset, const std::string& row);

private:
    AppSettings& m_settings;
    UserPort& m_port;
};

/// The about box's texts.
struct AboutTexts {
    static constexpr const char* kCaption = "Quorixのﾊﾞｰｼﾞｮﾝ情報";
    static constexpr const char* kTitle = "Quorix(フリーソフト)\r\n";
    static constexpr const char* kVersion = "ﾊﾞｰｼﾞｮﾝ 1.0.0";
    static constexpr const char* kDescription =
        "QuorixはXMLからデータベースオブジェクトを作成するユティリティ。";
    static constexpr const char* kDisclaimer =
        "本ソフトウェアは無保証です。作成する表は必ずバックアップのあるデータベースでお試しください"
        "。\r\n"
        "ご意見・不具合のご報告は配布元の問題報告窓口までお寄せください。";
    static constexpr const char* kNoSystemInfo = "現時点ではｼｽﾃﾑ情報を使用できません";
};

/// Programs that show system information, in the order they are looked for.
inline constexpr const char* kSystemInfoTools[] = {
    "hardinfo2",         "hardinfo", "kinfocenter",        "gnome-system-monitor",
    "xfce4-taskmanager", "lxtask",   "mate-system-monitor"};

/// The first of @p programs found as an executable file on @p searchPath (a PATH value),
/// trying each program through the whole path before the next, or nullopt.
std::optional<std::string> findProgram(std::span<const char* const> programs,
                                       const std::string& searchPath);

/// The first system information tool found on @p searchPath, or nullopt.
inline std::optional<std::string> findSystemInfoTool(const std::string& searchPath) {
    return findProgram(kSystemInfoTools, searchPath);
}

/// The Japanese guide as installed beside the program: <prefix>/share/doc/quorix/guide/index.html
/// for a program in <prefix>/bin (the build tree has the same shape).
inline constexpr const char* kGuideFromProgramDir = "../share/doc/quorix/guide/index.html";

/// The guide that belongs to the program in @p programDir, or nullopt when it is not there.
std::optional<std::string> findGuide(const std::string& programDir);

/// What opens a file in the desktop's browser or viewer.
inline constexpr const char* kViewerPrograms[] = {"xdg-open"};

/// The messages of "使い方(&U)".
struct GuideTexts {
    static std::string notInstalled(const std::string& expected) {
        return "使い方の案内が見つかりません。\r\n" + expected +
               " にあるはずですが、プログラムと一緒にインストールされていないようです。";
    }
    static std::string noViewer(const std::string& guide) {
        return "使い方の案内を開くブラウザーまたはビューアーが設定されていません。\r\n"
               "次のファイルをブラウザーで開いてください:\r\n" +
               guide;
    }
    static std::string opening(const std::string& guide) {
        return "使い方の案内を開いています: " + guide;
    }
};

/// Starts a program detached; false when it could not be started.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual bool startDetached(const std::string& program) = 0;
};

/// Finds and starts the system information tool; the message when there is none or it
/// fails to start.
void StartSysInfo(const std::string& searchPath, ProgramStarter& starter, UserPort& port);

}  // namespace quorix
