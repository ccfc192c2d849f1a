#include "support/test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
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

std::string shell(const std::string& command) {
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) throw std::runtime_error("popen failed");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
    return out;
}

PostgresServer& PostgresServer::instance() {
    static PostgresServer server;
    return server;
}

namespace {

// A watcher of its own session that stops a server and removes its folder once this test
// program is gone, however it ended (a signal, ctest's time limit): what the destructor does
// when the program ends normally.
void stopWhenGone(const std::string& stop, const std::filesystem::path& dir) {
    const std::string watch = "while kill -0 " + std::to_string(getpid()) +
                              " 2>/dev/null; do sleep 1; done; " + stop + "; rm -rf " +
                              shellQuote(dir.string());
    shell("(setsid sh -c " + shellQuote(watch) + " > /dev/null 2>&1 < /dev/null &)");
}

}  // namespace

PostgresServer::PostgresServer() {
    // The newest installed server.
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql"))
        if (std::filesystem::exists(entry.path() / "bin/initdb") &&
            entry.path().string() + "/bin" > m_bin)
            m_bin = entry.path().string() + "/bin";
    if (m_bin.empty()) throw std::runtime_error("no PostgreSQL server installed");
    std::string pattern = (std::filesystem::temp_directory_path() / "quorix-pg-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;
    // The server refuses to run as root: then it runs as the postgres user.
    const bool root = geteuid() == 0;
    const std::string as = root ? "runuser -u postgres -- " : "";
    if (root) shell("chown postgres " + shellQuote(m_dir.string()));
    const std::string data = (m_dir / "data").string();
    const std::string init = shell(as + m_bin + "/initdb -D " + shellQuote(data) +
                                   " -A trust -U postgres -E UTF8 --locale=C --no-sync");
    const std::string start =
        shell(as + m_bin + "/pg_ctl -D " + shellQuote(data) + " -l " +
              shellQuote((m_dir / "log").string()) + " -w -o " +
              shellQuote("-k " + m_dir.string() + " -p 5432 -c listen_addresses='' -c fsync=off") +
              " start");
    if (psql("postgres", "SELECT 1") != "1\n")
        throw std::runtime_error("PostgreSQL did not start:\n" + init + start);
    stopWhenGone(as + m_bin + "/pg_ctl -D " + shellQuote(data) + " -m immediate -w stop",
                 m_dir);
}

PostgresServer::~PostgresServer() {
    const std::string as = geteuid() == 0 ? "runuser -u postgres -- " : "";
    shell(as + m_bin + "/pg_ctl -D " + shellQuote((m_dir / "data").string()) +
          " -m immediate -w stop");
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

std::string PostgresServer::dataSource(const std::string& database) const {
    return "host=" + m_dir.string() + " port=5432 user=postgres dbname=" + database;
}

std::string PostgresServer::psql(const std::string& database, const std::string& sql) const {
    return shell("psql -X -q -At " + shellQuote(dataSource(database)) + " -c " + shellQuote(sql));
}

MariaDbServer& MariaDbServer::instance() {
    static MariaDbServer server;
    return server;
}

MariaDbServer::MariaDbServer() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorix-my-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;
    const std::string dir = shellQuote(m_dir.string());
    const std::string user = geteuid() == 0 ? " --user=root" : "";
    // A temporary folder of its own: servers of tests side by side never share one.
    std::filesystem::create_directories(m_dir / "tmp");
    const std::string install =
        shell("mariadb-install-db --no-defaults" + user + " --datadir=" + dir + "/data --tmpdir=" +
              dir + "/tmp --auth-root-authentication-method=normal --skip-test-db");
    // Small and quick: no binary log, a small buffer pool, no durability on disk.
    shell("(mariadbd --no-defaults" + user + " --datadir=" + dir + "/data --tmpdir=" + dir +
          "/tmp --socket=" + dir +
          "/sock --skip-networking --pid-file=" + dir + "/pid --log-error=" + dir +
          "/log --innodb-buffer-pool-size=64M --innodb-log-file-size=16M "
          "--innodb-flush-log-at-trx-commit=0 --skip-log-bin > /dev/null 2>&1 &)");
    // A loaded machine (tests run side by side) may take a while.
    for (int i = 0; i < 600; ++i) {
        if (sql("", "SELECT 1") == "1\n") {
            stopWhenGone("kill $(cat " + dir + "/pid 2>/dev/null) 2>/dev/null; sleep 3", m_dir);
            return;
        }
        usleep(100'000);
    }
    const std::string log = readFile((m_dir / "log.err").string());
    stop();  // nothing of a server that did not come up stays behind
    throw std::runtime_error("MariaDB did not start:\n" + install + log);
}

void MariaDbServer::stop() {
    const std::string pid = readFile((m_dir / "pid").string());
    if (!pid.empty()) {
        shell("kill " + pid.substr(0, pid.find('\n')));
        for (int i = 0; i < 100 && std::filesystem::exists(m_dir / "pid"); ++i) usleep(100'000);
    }
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

MariaDbServer::~MariaDbServer() {
    stop();
}

std::string MariaDbServer::dataSource(const std::string& database) const {
    return "socket=" + (m_dir / "sock").string() + " database=" + database;
}

std::string MariaDbServer::sql(const std::string& database, const std::string& statements) const {
    return shell(
        "mariadb --no-defaults -u root -N -B --socket=" + shellQuote((m_dir / "sock").string()) +
        " -e " + shellQuote(statements) + (database.empty() ? "" : " " + shellQuote(database)));
}

void MariaDbServer::freshDatabase(const std::string& name) const {
    sql("", "DROP DATABASE IF EXISTS `" + name + "`; CREATE DATABASE `" + name +
                "` CHARACTER SET utf8mb4 COLLATE utf8mb4_bin");
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void PostgresServer::endSessionsAtCommit(const std::string& database) const {
    // A deferred trigger, fired at COMMIT by a row that every CREATE TABLE inserts.
    psql(database,
         "CREATE TABLE quorix_marker (x int);"
         "CREATE FUNCTION quorix_die() RETURNS trigger LANGUAGE plpgsql AS "
         "$$BEGIN PERFORM pg_terminate_backend(pg_backend_pid()); RETURN NULL; END$$;"
         "CREATE CONSTRAINT TRIGGER quorix_die AFTER INSERT ON quorix_marker DEFERRABLE "
         "INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION quorix_die();"
         "CREATE FUNCTION quorix_mark() RETURNS event_trigger LANGUAGE plpgsql AS "
         "$$BEGIN INSERT INTO quorix_marker VALUES (1); END$$;"
         "CREATE EVENT TRIGGER quorix_mark ON ddl_command_end WHEN TAG IN ('CREATE TABLE') "
         "EXECUTE FUNCTION quorix_mark();");
}

void PostgresServer::freshDatabase(const std::string& name) const {
    psql("postgres", "DROP DATABASE IF EXISTS \"" + name + "\"");
    psql("postgres", "CREATE DATABASE \"" + name + "\"");
}

std::string sqlite3Cli(const std::string& dbFile, const std::string& command,
                       const std::string& options) {
    return shell("sqlite3 " + options + " " + shellQuote(dbFile) + " " + shellQuote(command));
}

std::string testData(const std::string& name) {
    return std::string(QUORIX_TEST_DATA) + "/" + name;
}

}  // namespace quorix::test
