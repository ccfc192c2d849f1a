#include "services/db/mariadb/mariadb_session.h"

#include <algorithm>
#include <random>
#include <set>
#include <utility>

#include "services/db/mariadb/mariadb_catalog.h"
#include "services/db/mariadb/mariadb_engine.h"
#include "services/db/mariadb/mariadb_rows.h"
#include "services/db/mariadb/mariadb_types.h"

namespace quorix::mariadb {

namespace {

// The table in a staging database that makes it ours: who made it, on which node, when.
constexpr const char* kStagingMark = "quorix_staging_mark";
// A server of a cluster as it names itself: the same text on that server whoever asks.
constexpr const char* kNodeIdentity = "CONCAT(@@hostname, ':', @@port, ':', @@datadir)";

std::string randomHex(std::size_t bytes) {
    std::random_device random;
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned v = random() & 0xFF;
        out += digits[v >> 4];
        out += digits[v & 15];
    }
    return out;
}

class MariaDbSession : public DatabaseSession {
public:
    MariaDbSession(Conn conn) : m_conn(std::move(conn)) {
        mysql_set_local_infile_handler(c(), localInit, localRead, localEnd, localError, &m_local);
        m_database = rows(c(), "SELECT DATABASE()", "データベースに接続できません。").at(0).at(0);
        // The server's bulk path where it takes LOAD DATA LOCAL, multi-row INSERTs otherwise.
        m_loadData =
            rows(c(), "SELECT @@local_infile", "データベースに接続できません。").at(0).at(0) == "1";
        const char* version = mysql_get_server_info(c());
        m_collation = version && std::string_view(version).find("MariaDB") == std::string_view::npos
                          ? kMySqlCollation
                          : kMariaDbCollation;
        removeStaleStaging();
    }
    std::string serverVersion() const override {
        // "10.11.6-MariaDB-0+deb12u1": the maker is named by the server itself.
        const std::string v = mysql_get_server_info(c());
        const bool mariadb = v.find("MariaDB") != std::string::npos;
        return std::string(mariadb ? "MariaDB " : "MySQL ") + v.substr(0, v.find('-'));
    }
    ~MariaDbSession() override {
        m_sender.discard();
        if (!m_staging.empty()) dropStaging();
    }

    std::string openingNote() const override {
        if (m_removedStaging.empty()) return {};
        std::string names;
        for (const auto& n : m_removedStaging) names += "「" + n + "」";
        return "中断された作成の作業用データベース" + names + "を削除しました。";
    }

    void beginTransaction() override {
        run(c(), "START TRANSACTION", "トランザクションを開始できません。");
        m_inTransaction = true;
        m_targetTables.clear();
    }

    void commitTransaction() override {
        m_inTransaction = false;
        m_reopen = false;
        try {
            run(c(), "COMMIT", "トランザクションを確定できません。");
        } catch (const ServiceError& e) {
            if (lost(c())) throw inDoubt(e);
            dropStaging();
            throw;
        }
        if (m_staged.empty()) {
            dropStaging();
            return;
        }
        // All staged tables move into the target in one atomic statement.
        std::string sql = "RENAME TABLE ";
        for (std::size_t i = 0; i < m_staged.size(); ++i)
            sql += (i ? ", " : "") + backticked(m_staging) + "." + backticked(m_staged[i]) +
                   " TO " + backticked(m_database) + "." + backticked(m_staged[i]);
        if (mysql_real_query(c(), sql.data(), sql.size()) != 0) {
            ServiceError e = serverError(c(), "表を作成できません。");
            if (lost(c())) throw inDoubt(e);
            if (mysql_errno(c()) == 1050)
                e = ServiceError(ErrorNumber::kTableExists,
                                 "作成する表のいずれかが既に存在します。" + e.description());
            dropStaging();
            throw e;
        }
        dropStaging();
    }

    void rollbackTransaction() override {
        m_sender.discard();
        m_inTransaction = false;
        m_reopen = false;
        const bool ok = mysql_real_query(c(), "ROLLBACK", 8) == 0;
        dropStaging();
        if (!ok && !lost(c())) throw serverError(c(), "トランザクションを元に戻せません。");
    }

    CatalogObjectPtr tables() override { return readTables(c(), m_database, nullptr); }
    CatalogObjectPtr tableNames() override { return readTableNames(c(), m_database); }
    CatalogObjectPtr tableDetails(const std::string& name) override {
        // A table made in this transaction is in the staging database until the commit.
        const auto tables = readTables(c(), schemaOf(name), &name);
        return tables->members().empty() ? nullptr : tables->members().front();
    }
    CatalogObjectPtr views() override { return readCommands(c(), m_database, true); }
    CatalogObjectPtr procedures() override { return readCommands(c(), m_database, false); }
    CatalogObjectPtr groups() override { return readAccounts(c(), true); }
    CatalogObjectPtr users() override { return readAccounts(c(), false); }

    void createTable(const TableDefinition& table) override {
        const std::string what = "表「" + table.name + "」を作成できません。";
        if (m_inTransaction) {
            // The target's names once per transaction; the RENAME checks again at the end.
            if (m_targetTables.empty()) {
                m_targetTables.insert("");
                for (const auto& r : rows(c(), "SHOW TABLES", what)) m_targetTables.insert(r[0]);
            }
            if (m_targetTables.count(table.name))
                throw ServiceError(ErrorNumber::kTableExists,
                                   "表「" + table.name + "」は既に存在します。");
        } else if (!tableColumns(table.name).empty()) {
            throw ServiceError(ErrorNumber::kTableExists,
                               "表「" + table.name + "」は既に存在します。");
        }
        if (!m_inTransaction) {
            const auto statements = statementsFor(table, "", m_collation);
            try {
                for (const auto& s : statements) run(c(), s, what);
            } catch (const ServiceError&) {
                // The server has no transactional DDL: what was made of the table goes again.
                const std::string drop = "DROP TABLE IF EXISTS " + backticked(table.name);
                mysql_real_query(c(), drop.data(), drop.size());
                throw;
            }
            return;
        }
        const auto statements =
            statementsFor(table, backticked(ensureStaging()) + ".", m_collation);
        for (const auto& s : statements) run(c(), s, what);
        m_staged.push_back(table.name);
        // DDL committed whatever was open: rows that follow open a new transaction first.
        m_reopen = true;
    }

    void dropTable(const std::string& name) override {
        if (tableColumns(name).empty())
            throw ServiceError(ErrorNumber::kNoSuchTable, "表「" + name + "」が見つかりません。");
        run(c(), "DROP TABLE " + backticked(m_database) + "." + backticked(name),
            "表「" + name + "」を削除できません。");
    }

    std::vector<std::string> tableColumns(const std::string& table) override {
        const auto found =
            rows(c(),
                 "SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE "
                 "TABLE_SCHEMA = " +
                     mariadb::literal(c(), schemaOf(table)) + " AND TABLE_NAME = " + mariadb::literal(c(), table) +
                     " ORDER BY ORDINAL_POSITION",
                 "表「" + table + "」の列を読み取れません。");
        std::vector<std::string> names;
        for (const auto& r : found) names.push_back(r[0]);
        return names;
    }

    std::unique_ptr<RowInserter> inserter(const std::string& table,
                                          const std::vector<std::string>& columns) override {
        reopen();
        return makeInserter(c(), m_local, m_sender, qualified(table), columns, table,
                            InsertMode::Single);
    }
    std::unique_ptr<RowInserter> bulkInserter(const std::string& table,
                                              const std::vector<std::string>& columns) override {
        reopen();
        return makeInserter(c(), m_local, m_sender, qualified(table), columns, table,
                            m_loadData ? InsertMode::LoadData : InsertMode::MultiInsert);
    }

    std::optional<long long> largestValue(const std::string& table,
                                          const std::string& column) override {
        const auto r = rows(c(), "SELECT MAX(" + backticked(column) + ") FROM " + qualified(table),
                            "表「" + table + "」を読み取れません。");
        if (r.empty() || r[0][0].empty()) return std::nullopt;
        return std::stoll(r[0][0]);
    }

    void savepoint(const std::string& name) override {
        reopen();
        run(c(), "SAVEPOINT " + backticked(name), "セーブポイントを作成できません。");
    }
    void releaseSavepoint(const std::string& name) override {
        run(c(), "RELEASE SAVEPOINT " + backticked(name), "セーブポイントを解放できません。");
    }
    void rollbackToSavepoint(const std::string& name) override {
        run(c(), "ROLLBACK TO SAVEPOINT " + backticked(name), "セーブポイントまで戻せません。");
    }

    std::string quotedTable(const std::string& table) const override { return qualified(table); }
    std::string quotedName(const std::string& name) const override { return backticked(name); }
    long long execute(const std::string& sql, const std::string& what) override {
        reopen();
        run(c(), sql, what);
        return static_cast<long long>(mysql_affected_rows(c()));
    }
    void beginSnapshot() override {
        run(c(), "START TRANSACTION WITH CONSISTENT SNAPSHOT, READ ONLY",
            "トランザクションを開始できません。");
        m_inTransaction = true;
        m_targetTables.clear();
    }
    std::string asText(const std::string& expr) const override {
        return "CAST(" + expr + " AS CHAR)";
    }
    std::string literal(const std::string& text) const override {
        return mariadb::literal(c(), text);
    }
    std::vector<TextRow> selectText(const std::string& sql, const std::string& what) override {
        reopen();
        return textRows(c(), sql, what);
    }
    long long count(const std::string& sql, const std::string& what) override {
        reopen();
        const auto r = rows(c(), sql, what);
        return r.empty() || r[0].empty() || r[0][0].empty() ? 0 : std::stoll(r[0][0]);
    }
    std::string upsertClause(const std::string& table, const std::vector<std::string>& key,
                             const std::vector<std::string>& update) const override {
        // The table's own column on the left: the rows' source has columns of the same names.
        const std::vector<std::string>& set = update.empty() ? key : update;
        std::string sql = " ON DUPLICATE KEY UPDATE ";
        for (std::size_t i = 0; i < set.size(); ++i)
            sql += (i ? ", " : "") + qualified(table) + "." + backticked(set[i]) + " = VALUES(" +
                   backticked(set[i]) + ")";
        return sql;
    }
    std::string createWorkTable(const std::string& table, const std::vector<std::string>& columns,
                                const std::vector<std::string>& key) override {
        reopen();
        return mariadb::createWorkTable(c(), m_database, qualified(table), table, columns, key,
                                        ++m_workTables);
    }
    void dropWorkTable(const std::string& work) override {
        run(c(), "DROP TEMPORARY TABLE IF EXISTS " + qualified(work),
            "作業用の表を削除できません。");
    }
    long long deleteMatching(const std::string& table, const std::string& source,
                             const std::vector<std::string>& key) override {
        // A join: the server's DELETE … IN (subquery) reads the whole table.
        std::string on;
        for (const std::string& k : key)
            on += (on.empty() ? "" : " AND ") + std::string("t.") + backticked(k) + " = s." +
                  backticked(k);
        return execute(
            "DELETE t FROM " + qualified(table) + " t JOIN " + qualified(source) + " s ON " + on,
            "表「" + table + "」の行を削除できません。");
    }
    void addColumn(const std::string& table, const ColumnDefinition& column) override {
        throw ServiceError(
            ErrorNumber::kNotSupported,
            "表「" + table + "」に列「" + column.name +
                "」を加えられません。MariaDB / MySQL では列を加えるとそれまでの処理"
                "が確定してしまうため、取り込みと同じトランザクションでは加えません。"
                "先に列を加えてから取り込んでください。");
    }
    long long emptyTable(const std::string& table) override {
        // TRUNCATE would commit what came before: DELETE stays inside the transaction.
        return execute("DELETE FROM " + qualified(table),
                       "表「" + table + "」の行を削除できません。");
    }

private:
    // The connection, once the batch in flight (if any) is in.
    MYSQL* c() const {
        m_sender.settle();
        return m_conn.get();
    }

    void reopen() {
        if (!std::exchange(m_reopen, false)) return;
        run(c(), "START TRANSACTION", "トランザクションを開始できません。");
    }

    static ServiceError inDoubt(const ServiceError& e) {
        return ServiceError(ErrorNumber::kInDoubt,
                            "トランザクションの確定中にデータベースとの接続が失われました。"
                            "確定されたかどうかは分かりません。" +
                                e.description());
    }

    bool staged(const std::string& table) const {
        return std::find(m_staged.begin(), m_staged.end(), table) != m_staged.end();
    }
    std::string schemaOf(const std::string& table) const {
        return staged(table) ? m_staging : m_database;
    }
    std::string qualified(const std::string& table) const {
        return backticked(schemaOf(table)) + "." + backticked(table);
    }

    // The staging database of this session, made on first use. Its name is random, so that
    // sessions on different nodes of a cluster never meet; a table in it says whose it is.
    const std::string& ensureStaging() {
        if (!m_staging.empty()) return m_staging;
        const std::string what =
            "作業用のデータベースを作成できません。表を一度に作成するには、"
            "データベースを作成する権限が必要です。";
        try {
            for (int attempt = 0;; ++attempt) {
                const std::string name = kStagingPrefix + randomHex(12);
                const std::string create = "CREATE DATABASE " + backticked(name) +
                                           " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin";
                if (mysql_real_query(c(), create.data(), create.size()) != 0) {
                    // Somebody else's database of that name is never touched.
                    if (mysql_errno(c()) == 1007 && attempt < 3) continue;
                    throw serverError(c(), what);
                }
                m_staging = name;
                run(c(),
                    "CREATE TABLE " + backticked(name) + "." + backticked(kStagingMark) +
                        " (owner varchar(400) NOT NULL, node varchar(2000) NOT NULL, "
                        "connection_id bigint NOT NULL, created_at datetime(6) NOT NULL) "
                        "ENGINE=InnoDB",
                    what);
                run(c(),
                    "INSERT INTO " + backticked(name) + "." + backticked(kStagingMark) +
                        " SELECT CURRENT_USER(), " + std::string(kNodeIdentity) +
                        ", CONNECTION_ID(), UTC_TIMESTAMP(6)",
                    what);
                return m_staging;
            }
        } catch (const ServiceError&) {
            if (!m_staging.empty()) dropStaging();
            run(c(), "START TRANSACTION", "トランザクションを開始できません。");
            throw;
        }
    }

    void dropStaging() {
        m_staged.clear();
        if (m_staging.empty()) return;
        const std::string sql = "DROP DATABASE IF EXISTS " + backticked(m_staging);
        mysql_real_query(c(), sql.data(), sql.size());
        m_staging.clear();
    }

    // Staging databases left by a session that ended without removing its own (a crash).
    // Only a database with our mark is judged, only by the node its session was on (only that
    // node knows its sessions) and only by the same user (who sees all of their own sessions);
    // everything else is left alone.
    void removeStaleStaging() {
        const auto found = rows(c(),
                                "SELECT s.SCHEMA_NAME FROM information_schema.SCHEMATA s JOIN "
                                "information_schema.TABLES t ON t.TABLE_SCHEMA = s.SCHEMA_NAME "
                                "AND t.TABLE_NAME = '" +
                                    std::string(kStagingMark) +
                                    "' WHERE s.SCHEMA_NAME LIKE 'quorix\\_staging\\_%'",
                                "データベースの一覧を読み取れません。");
        for (const auto& r : found) {
            const std::string& name = r[0];
            try {
                const auto mark = rows(c(),
                                       "SELECT node = " + std::string(kNodeIdentity) +
                                           " AND owner = CURRENT_USER(), (SELECT COUNT(*) FROM "
                                           "information_schema.PROCESSLIST p WHERE p.ID = "
                                           "m.connection_id) FROM " +
                                           backticked(name) + "." + backticked(kStagingMark) + " m",
                                       "");
                if (mark.size() != 1 || mark[0][0] != "1" || mark[0][1] != "0") continue;
                run(c(), "DROP DATABASE " + backticked(name), "");
                m_removedStaging.push_back(name);
            } catch (const ServiceError&) {
                // Not ours to judge (no privilege): it stays.
            }
        }
    }

    Conn m_conn;
    LocalRows m_local;
    mutable BatchSender m_sender;  // gone before the connection and m_local
    bool m_loadData = false;
    std::string m_collation;
    std::string m_database;
    bool m_inTransaction = false;
    bool m_reopen = false;  // a DDL statement ended the transaction's first part
    std::string m_staging;
    std::vector<std::string> m_staged;
    std::set<std::string> m_targetTables;  // read at the transaction's first create
    std::vector<std::string> m_removedStaging;
    int m_workTables = 0;
};

}  // namespace

std::unique_ptr<DatabaseSession> openSession(Conn conn) {
    return std::make_unique<MariaDbSession>(std::move(conn));
}

}  // namespace quorix::mariadb
