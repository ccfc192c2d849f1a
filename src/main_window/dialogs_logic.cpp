#include "main_window/dialogs_logic.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "services/text/text.h"

namespace quorix {

bool XmlTagDialog::OKButton_Click(const std::string& rowset, const std::string& row) {
    if (trimBlanks(rowset).empty()) {
        m_port.showMessage("基準タグ名を入力してください。", kAppTitle, MessageIcon::None);
        return false;
    }
    if (trimBlanks(row).empty()) {
        m_port.showMessage("行タグ名を入力してください。", kAppTitle, MessageIcon::None);
        return false;
    }
    m_settings.putRowset(rowset);
    m_settings.putRow(row);
    return true;
}

std::optional<std::string> findProgram(std::span<const char* const> programs,
                                       const std::string& searchPath) {
    for (const char* tool : programs) {
        std::size_t start = 0;
        while (start <= searchPath.size()) {
            const auto colon = searchPath.find(':', start);
            // An empty entry of PATH stands for the current folder.
            const std::filesystem::path dir =
                colon == start ? std::filesystem::path(".")
                               : std::filesystem::path(searchPath.substr(start, colon - start));
            const std::string candidate = (dir / tool).string();
            struct stat st {};
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
    }
    return std::nullopt;
}

std::optional<std::string> findGuide(const std::string& programDir) {
    std::error_code error;
    const std::filesystem::path guide = std::filesystem::weakly_canonical(
        std::filesystem::path(programDir) / kGuideFromProgramDir, error);
    if (error || !std::filesystem::is_regular_file(guide, error)) return std::nullopt;
    return guide.string();
}

void StartSysInfo(const std::string& searchPath, ProgramStarter& starter, UserPort& port) {
    const auto tool = findSystemInfoTool(searchPath);
    if (!tool || !starter.startDetached(*tool))
        port.showMessage(AboutTexts::kNoSystemInfo, kAppTitle, MessageIcon::None);
}

}  // namespace quorix
