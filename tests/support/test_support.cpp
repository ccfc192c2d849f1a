#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace quorix::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorix-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::write(const std::string& name, const std::string& bytes) const {
    const std::string p = file(name);
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
}

namespace {
std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}
}  // namespace

std::string sqlite3Cli(const std::string& dbFile, const std::string& command,
                       const std::string& options) {
    const std::string cmd =
        "sqlite3 " + options + " " + shellQuote(dbFile) + " " + shellQuote(command) + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("popen failed");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    return out;
}

std::string testData(const std::string& name) {
    return std::string(QUORIX_TEST_DATA) + "/" + name;
}

}  // namespace quorix::test
