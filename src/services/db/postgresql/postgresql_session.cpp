#include "services/db/postgresql/postgresql_session.h"

#include <cstdlib>

#include "services/db/engine/service_error.h"
#include "services/db/engine/table_definition.h"
#include "services/db/postgresql/postgresql_catalog.h"
#include "services/db/postgresql/postgresql_rows.h"
#include "services/db/postgresql/postgresql_types.h"

namespace quorix::postgresql {

namespace {

class PostgresSession : public DatabaseSession {
public:
    explicit PostgresSession(Conn conn) : m_conn(std::move(conn)) {}
    std::string serverVersion() const override {
        const char* v = PQparameterStatus(c(), "server_version");  // "15.10 (Debian 15.10-0+deb12u1)"
        const std::string text = v ? v : "";
        return "PostgreSQL " + text.substr(0, text.find(' '));
    }

    void beginTransaction() override { run(c(), "BEGIN", "トランザクションを開始できません。"); }
    void commitTransaction() override {
        try {
            run(c(), "COMMIT", "トランザクションを確定できません。");
        } catch (const ServiceError& e) {
            // Lost while committing: the server may or may not have committed.
            if (PQstatus(c()) == CONNECTION_BAD)
                throw ServiceError(ErrorNumber::kInDoubt,
                                   "トランザクションの確定中にデータベースとの接続が失われました"
                                   "。確定されたかどうかは分かりません。" +
                                       e.description());
            throw;
        }
    }
    void rollbackTransaction() override {
        // A server whose connection is gone has undone the open transaction itself.
        if (PQstatus(c()) == CONNECTION_BAD) return;
        if (PQtransactionStatus(c()) == PQTRANS_IDLE) return;
        try {
            run(c(), "ROLLBACK", "トランザクションを元に戻せません。");
        } catch (const ServiceError&) {
            // Lost while rolling back: the server undoes an open transaction of a lost session.
            if (PQstatus(c()) == CONNECTION_BAD) return;
            throw;
        }
    }

    CatalogObjectPtr tables() override { return readTables(c()); }
    CatalogObjectPtr tableNames() override { return readTableNames(c()); }
    CatalogObjectPtr tableDetails(const std::string& name) override {
        return readTableDetails(c(), name);
    }
    CatalogObjectPtr views() override { return readCommands(c(), true); }
    CatalogObjectPtr procedures() override { return readCommands(c(), false); }
    CatalogObjectPtr groups() override { return readRoles(c(), false); }
    CatalogObjectPtr users() override { return readRoles(c(), true); }

    void createTable(const TableDefinition& table) override {
        const auto statements = statementsFor(table);
        const std::string what = "表「" + table.name + "」を作成できません。";
        // Everything of one table is created or nothing, inside any open transaction.
        const bool inTransaction = PQtransactionStatus(c()) != PQTRANS_IDLE;
        run(c(), inTransaction ? "SAVEPOINT quorix_create_table" : "BEGIN", what);
        try {
            for (std::size_t i = 0; i < statements.size(); ++i) {
                try {
                    run(c(), statements[i], what);
                } catch (const ServiceError& e) {
                    if (i > 0 || e.number() != ErrorNumber::kTableExists) throw;
                    throw ServiceError(e.number(), "表「" + table.name + "」は既に存在します。");
                }
            }
            run(c(), inTransaction ? "RELEASE quorix_create_table" : "COMMIT", what);
        } catch (const ServiceError&) {
            if (PQstatus(c()) == CONNECTION_OK) {
                Result r(
                    PQexec(c(), inTransaction ? "ROLLBACK TO quorix_create_table" : "ROLLBACK"));
            }
            throw;
        }
    }

    void dropTable(const std::string& name) override {
        // The table as the tree names it: exactly one schema and one name.
        const auto parts = parseShownName(name);
        const std::string what = "表「" + name + "」を削除できません。";
        Result r = parts ? run(c(),
                               "SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = "
                               "c.relnamespace WHERE c.relkind IN ('r', 'p') AND n.nspname = $1 "
                               "AND c.relname = $2 AND n.nspname = ANY (current_schemas(false))",
                               what, {parts->first, parts->second})
                         : Result();
        if (!r || PQntuples(r.get()) == 0)
            throw ServiceError(ErrorNumber::kNoSuchTable, "表「" + name + "」が見つかりません。");
        run(c(),
            "DROP TABLE " + quoteIdentifier(parts->first) + "." + quoteIdentifier(parts->second),
            what);
    }

    std::vector<std::string> tableColumns(const std::string& table) override {
        Result r = run(c(),
                       "SELECT attname FROM pg_attribute WHERE attrelid = to_regclass($1) AND "
                       "attnum > 0 AND NOT attisdropped ORDER BY attnum",
                       "表「" + table + "」の列を読み取れません。", {quoteIdentifier(table)});
        std::vector<std::string> names;
        for (int i = 0; i < PQntuples(r.get()); ++i) names.push_back(value(r.get(), i, 0));
        return names;
    }

    std::unique_ptr<RowInserter> inserter(const std::string& table,
                                          const std::vector<std::string>& columns) override {
        return makeInserter(c(), table, columns);
    }
    std::unique_ptr<RowInserter> bulkInserter(const std::string& table,
                                              const std::vector<std::string>& columns) override {
        return makeCopyInserter(c(), m_copy, table, columns);
    }

    std::optional<long long> largestValue(const std::string& table,
                                          const std::string& column) override {
        Result r = run(
            c(),
            "SELECT max(" + quoteIdentifier(column) + ")::bigint FROM " + quoteIdentifier(table),
            "表「" + table + "」を読み取れません。");
        if (PQntuples(r.get()) != 1 || PQgetisnull(r.get(), 0, 0)) return std::nullopt;
        return number(r.get(), 0, 0);
    }

    void savepoint(const std::string& name) override {
        run(c(), "SAVEPOINT " + quoteIdentifier(name), "セーブポイントを作成できません。");
    }
    void releaseSavepoint(const std::string& name) override {
        run(c(), "RELEASE " + quoteIdentifier(name), "セーブポイントを解放できません。");
    }
    void rollbackToSavepoint(const std::string& name) override {
        run(c(), "ROLLBACK TO " + quoteIdentifier(name), "セーブポイントまで戻せません。");
    }

    void numbersGiven(const std::string& table, const std::string& column,
                      long long largest) override {
        // An identity column's sequence moves past the numbers given, so that later inserts
        // by other programs do not collide.
        run(c(),
            "SELECT setval(s, greatest($2::bigint, (SELECT last_value FROM pg_sequences WHERE "
            "format('%I.%I', schemaname, sequencename)::regclass = s::regclass))) FROM "
            "pg_get_serial_sequence($1, $3) s WHERE s IS NOT NULL",
            "表「" + table + "」の自動番号を進められません。",
            {quoteIdentifier(table), std::to_string(largest), column});
    }

    long long execute(const std::string& sql, const std::string& what) override {
        Result r = run(c(), sql, what);
        return std::atoll(PQcmdTuples(r.get()));
    }
    bool rowValueRanges() const override { return true; }
    void beginSnapshot() override {
        run(c(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY",
            "トランザクションを開始できません。");
    }
    std::vector<TextRow> selectText(const std::string& sql, const std::string& what) override {
        Result r = run(c(), sql, what);
        std::vector<TextRow> rows(static_cast<std::size_t>(PQntuples(r.get())));
        const int columns = PQnfields(r.get());
        for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
            TextRow& row = rows[static_cast<std::size_t>(i)];
            row.reserve(static_cast<std::size_t>(columns));
            for (int k = 0; k < columns; ++k)
                if (PQgetisnull(r.get(), i, k))
                    row.emplace_back();
                else
                    row.emplace_back(std::string(PQgetvalue(r.get(), i, k),
                                                 static_cast<std::size_t>(PQgetlength(r.get(), i, k))));
        }
        return rows;
    }
    long long count(const std::string& sql, const std::string& what) override {
        Result r = run(c(), sql, what);
        return PQntuples(r.get()) == 1 ? number(r.get(), 0, 0) : 0;
    }
    std::string upsertClause(const std::string&, const std::vector<std::string>& key,
                             const std::vector<std::string>& update) const override {
        return onConflictClause(key, update);
    }
    std::string createWorkTable(const std::string& table, const std::vector<std::string>& columns,
                                const std::vector<std::string>& key) override {
        return postgresql::createWorkTable(c(), table, columns, key, ++m_workTables);
    }
    void dropWorkTable(const std::string& work) override {
        run(c(), "DROP TABLE IF EXISTS pg_temp." + quoteIdentifier(work),
            "作業用の表を削除できません。");
    }
    std::optional<std::pair<long long, long long>> countedUpsert(const std::string& sql,
                                                                 const std::string& what) override {
        // A row the statement inserted has no deleting transaction; an updated one has ours.
        Result r = run(c(),
                       "WITH u AS (" + sql +
                           " RETURNING xmax = 0 AS inserted) SELECT count(*) FILTER (WHERE "
                           "inserted), count(*) FROM u",
                       what);
        return std::make_pair(number(r.get(), 0, 0), number(r.get(), 0, 1));
    }
    void addColumn(const std::string& table, const ColumnDefinition& column) override {
        run(c(),
            "ALTER TABLE " + quoteIdentifier(table) + " ADD COLUMN " +
                quoteIdentifier(column.name) + " " +
                sqlType(column, columnSwitches(column).timeZone),
            "表「" + table + "」に列「" + column.name + "」を加えられません。");
    }
    long long emptyTable(const std::string& table) override {
        return postgresql::emptyTable(c(), table);
    }

private:
    PGconn* c() const { return m_conn.get(); }

    Conn m_conn;
    CopyChannel m_copy;
    int m_workTables = 0;
};

}  // namespace

std::unique_ptr<DatabaseSession> openSession(Conn conn) {
    return std::make_unique<PostgresSession>(std::move(conn));
}

}  // namespace quorix::postgresql
