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

/// The whole content of a file (empty when it cannot be read).
std::string readFile(const std::string& path);

/// Runs the sqlite3 program on @p dbFile with @p command (".schema", an SQL statement) and
/// returns what it printed (standard output and error).
/// @p options go before the file name ("-ascii", for example).
std::string sqlite3Cli(const std::string& dbFile, const std::string& command,
                       const std::string& options = {});

/// A PostgreSQL server of the test run's own: a fresh cluster in a temporary folder,
/// listening only on a Unix socket there, trust authentication. Started on first use and
/// stopped and removed when the test program ends.
class PostgresServer {
public:
    static PostgresServer& instance();
    ~PostgresServer();

    /// A libpq connection string for @p database on this server (user "postgres").
    std::string dataSource(const std::string& database) const;
    /// Runs psql on @p database with @p sql; returns what it printed (unaligned, tuples only).
    std::string psql(const std::string& database, const std::string& sql) const;
    /// A new, empty database of that name (dropped first if it exists).
    void freshDatabase(const std::string& name) const;
    /// Makes every session that creates a table in @p database lose its connection at COMMIT
    /// (its own server process ends), so that the commit's outcome is unknown to the client.
    void endSessionsAtCommit(const std::string& database) const;

private:
    PostgresServer();
    std::filesystem::path m_dir;
    std::string m_bin;
};

/// A MariaDB server of the test run's own on a socket in a temporary folder, started on first
/// use and stopped at exit.
class MariaDbServer {
public:
    static MariaDbServer& instance();
    ~MariaDbServer();

    /// A data source for @p database on this server (user "root", no password).
    std::string dataSource(const std::string& database) const;
    /// Runs the mariadb client on @p database with @p sql; returns what it printed (tab
    /// separated, no headers).
    std::string sql(const std::string& database, const std::string& statements) const;
    /// A new, empty database of that name (dropped first if it exists).
    void freshDatabase(const std::string& name) const;

private:
    MariaDbServer();
    void stop();
    std::filesystem::path m_dir;
};

/// Runs a shell command; returns what it printed (standard output and error).
std::string shell(const std::string& command);
std::string shellQuote(const std::string& s);

/// Path of a file in the test data folder.
std::string testData(const std::string& name);

}  // namespace quorix::test
