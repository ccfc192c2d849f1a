#pragma once

#include <filesystem>
#include <string>

namespace quorix::test {

/// A fresh folder below the system temp folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    /// Writes @p bytes to a file of that name and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path m_path;
};

/// Runs the sqlite3 program on @p dbFile with @p command (".schema", an SQL statement) and
/// returns what it printed (standard output and error).
/// @p options go before the file name ("-ascii", for example).
std::string sqlite3Cli(const std::string& dbFile, const std::string& command,
                       const std::string& options = {});

/// Path of a file in the test data folder.
std::string testData(const std::string& name);

}  // namespace quorix::test
