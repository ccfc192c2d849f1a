#include "loading/reject_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "services/text/text.h"

namespace quorix {

std::string RejectFile::open(const std::string& path, const std::vector<std::string>& inputs) {
    const std::string shown = "「" + displayText(path) + "」";
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0) {
        if (!S_ISREG(target.st_mode))
            return "エラーの行を書くファイル" + shown + "は通常のファイルではありません。";
        for (const auto& input : inputs) {
            struct stat in {};
            if (::stat(input.c_str(), &in) == 0 && in.st_dev == target.st_dev &&
                in.st_ino == target.st_ino)
                return "エラーの行を書くファイル" + shown + "は「" + displayText(input) +
                       "」と同じファイルです。別のファイルを指定してください。";
        }
    }
    const std::filesystem::path where(path);
    m_path = path;
    m_temporary = (where.parent_path() / ("." + where.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(m_temporary.data());
    if (fd < 0 || !(m_file = ::fdopen(fd, "w"))) {
        if (fd >= 0) ::close(fd);
        m_temporary.clear();
        return "ファイル" + shown + "に書き込めません。(" + std::strerror(errno) + ")";
    }
    ::fchmod(fd, 0644);
    std::fputs("位置\t表\t列\t値\t理由\n", m_file);
    return {};
}

RejectFile::~RejectFile() {
    if (m_file) std::fclose(m_file);
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void RejectFile::write(const Reject& r) {
    ++m_count;
    std::fprintf(m_file, "%s\t%s\t%s\t%s\t%s\n", r.place.c_str(), displayText(r.table).c_str(),
                 displayText(r.column).c_str(), displayText(r.value).c_str(), r.reason.c_str());
}

bool RejectFile::close() {
    const bool ok =
        std::fflush(m_file) == 0 && !std::ferror(m_file) && ::fsync(fileno(m_file)) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok && closed;
}

std::string RejectFile::place() {
    if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
        std::string kept = m_temporary;
        m_temporary.clear();
        return kept;
    }
    m_temporary.clear();
    return m_path;
}

}  // namespace quorix
