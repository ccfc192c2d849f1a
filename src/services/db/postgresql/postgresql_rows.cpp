#include "services/db/postgresql/postgresql_rows.h"

#include <cstdlib>

#include "services/db/engine/service_error.h"
#include "services/db/engine/table_definition.h"
#include "services/db/engine/text_rows.h"
#include "services/db/postgresql/postgresql_client.h"
#include "services/db/postgresql/postgresql_engine.h"

namespace quorix::postgresql {

namespace {

// Rows one at a time through a statement prepared once.
class PostgresInserter : public RowInserter {
public:
    PostgresInserter(PGconn* conn, const std::string& table,
                     const std::vector<std::string>& columns)
        : m_conn(conn),
          m_name("quorix_insert_" + std::to_string(++s_statements)),
          m_what("表「" + table + "」に行を追加できません。") {
        std::string sql = "INSERT INTO " + quoteIdentifier(table) + " (" +
                          quotedColumnList(columns) + ") OVERRIDING SYSTEM VALUE VALUES (";
        for (std::size_t i = 0; i < columns.size(); ++i)
            sql += (i ? ", $" : "$") + std::to_string(i + 1);
        Result r(PQprepare(conn, m_name.c_str(), (sql + ")").c_str(),
                           static_cast<int>(columns.size()), nullptr));
        check(r);
    }
    ~PostgresInserter() override {
        if (PQstatus(m_conn) == CONNECTION_OK)
            Result(PQexec(m_conn, ("DEALLOCATE " + m_name).c_str()));
    }

    void insert(const CellValue* row, std::size_t count, RowTag) override {
        m_text.resize(count);
        m_values.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const CellValue& v = row[i];
            if (std::holds_alternative<std::monostate>(v)) {
                m_values[i] = nullptr;
                continue;
            }
            if (const auto* n = std::get_if<long long>(&v))
                m_text[i] = std::to_string(*n);
            else if (const auto* b = std::get_if<bool>(&v))
                m_text[i] = *b ? "true" : "false";
            else
                m_text[i] = std::get<std::string>(v);
            m_values[i] = m_text[i].c_str();
        }
        Result r(PQexecPrepared(m_conn, m_name.c_str(), static_cast<int>(count), m_values.data(),
                                nullptr, nullptr, 0));
        check(r);
    }

private:
    void check(const Result& r) {
        const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
        throw rowError(m_conn, r.get(), m_what);
    }

    static inline int s_statements = 0;
    PGconn* m_conn;
    std::string m_name;
    std::string m_what;
    std::vector<std::string> m_text;
    std::vector<const char*> m_values;
};

}  // namespace

// Rows as COPY text. The table whose COPY is running streams its rows to the server as they
// come; the other tables gather theirs (up to copyBufferBytes) and, when full, end the running
// COPY and start their own. Every table's rows arrive in the order given. A row the server
// refuses is found again by its line in the COPY that carried it.
class CopyInserter : public RowInserter {
public:
    CopyInserter(PGconn* conn, CopyChannel& channel, const std::string& table,
                 const std::vector<std::string>& columns)
        : m_conn(conn),
          m_channel(channel),
          m_sql("COPY " + quoteIdentifier(table) + " (" + quotedColumnList(columns) +
                ") FROM STDIN"),
          m_table(table),
          m_what("表「" + table + "」に行を追加できません。") {}
    ~CopyInserter() override {
        if (m_channel.current == this) m_channel.current = nullptr;
    }

    void insert(const CellValue* row, std::size_t count, RowTag tag) override {
        appendTextRow(m_pending, row, count, {'t', 'f'});
        m_tags.push_back(tag);
        if (m_channel.current == this) {
            if (m_pending.size() >= kChunk) put();
            // Ends now and then, so that the rows it must be able to name stay few.
            if (m_tags.size() >= kRowsPerCopy) end();
        } else if (m_pending.size() >= PostgresEngine::copyBufferBytes) {
            begin();
        }
    }

    void finish() override {
        if (m_channel.current != this && !m_tags.empty()) begin();
        if (m_channel.current == this) end();
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;
    static constexpr std::size_t kRowsPerCopy = 1 << 18;

    // Ends the running COPY (another table's, or this one's) and starts this table's. Each COPY
    // runs under a savepoint, so that after a refusal the rows other tables hold can still be
    // tried, and the refusal that comes first in the document said.
    void begin() {
        if (m_channel.current) m_channel.current->end();
        run(m_conn, "SAVEPOINT quorix_copy", m_what);
        Result start(PQexec(m_conn, m_sql.c_str()));
        if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN) refused(start.get());
        m_channel.current = this;
        put();
    }

    void put() {
        if (m_pending.empty()) return;
        if (PQputCopyData(m_conn, m_pending.data(), static_cast<int>(m_pending.size())) != 1) {
            m_channel.current = nullptr;
            refused(nullptr);
        }
        m_pending.clear();
    }

    void end() {
        put();
        m_channel.current = nullptr;
        PQputCopyEnd(m_conn, nullptr);
        Result result(PQgetResult(m_conn));
        while (Result more{PQgetResult(m_conn)}) {
        }
        if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK) refused(result.get());
        m_tags.clear();
        run(m_conn, "RELEASE SAVEPOINT quorix_copy", m_what);
    }

    // The server's refusal, with the row it names when it names one ("COPY t, line 12").
    [[noreturn]] void refused(const PGresult* r) {
        const ServiceError error = rowError(m_conn, r, m_what);
        if (error.number() == ErrorNumber::kTransactionAborted) throw error;
        const char* context = r ? PQresultErrorField(r, PG_DIAG_CONTEXT) : nullptr;
        const std::string where = context ? context : "";
        // The server names the row as "COPY <table>, line N" in the last line of its context;
        // the table's own name may hold ", line " too.
        const std::string mark = "COPY " + m_table + ", line ";
        const auto at = where.rfind(mark);
        std::vector<RowTag> tags;
        tags.swap(m_tags);
        m_pending.clear();
        if (PQstatus(m_conn) == CONNECTION_OK && PQtransactionStatus(m_conn) == PQTRANS_INERROR)
            Result(PQexec(m_conn, "ROLLBACK TO SAVEPOINT quorix_copy"));
        if (at != std::string::npos && (at == 0 || where[at - 1] == '\n')) {
            const long line = std::atol(where.c_str() + at + mark.size());
            if (line >= 1 && static_cast<std::size_t>(line) <= tags.size())
                throw RowRefused(error, tags[static_cast<std::size_t>(line - 1)], m_table);
        }
        throw error;
    }

    PGconn* m_conn;
    CopyChannel& m_channel;
    std::string m_sql;
    std::string m_table;
    std::string m_what;
    std::string m_pending;
    std::vector<RowTag> m_tags;  // of the rows sent in the running COPY and of those waiting
};

std::unique_ptr<RowInserter> makeInserter(PGconn* conn, const std::string& table,
                                          const std::vector<std::string>& columns) {
    return std::make_unique<PostgresInserter>(conn, table, columns);
}

std::unique_ptr<RowInserter> makeCopyInserter(PGconn* conn, CopyChannel& channel,
                                              const std::string& table,
                                              const std::vector<std::string>& columns) {
    return std::make_unique<CopyInserter>(conn, channel, table, columns);
}

std::string createWorkTable(PGconn* conn, const std::string& table,
                            const std::vector<std::string>& columns,
                            const std::vector<std::string>& key, int number) {
    const std::string what = "表「" + table + "」の作業用の表を作成できません。";
    const std::string work = "quorix_work_" + std::to_string(number);
    run(conn,
        "CREATE TEMP TABLE " + quoteIdentifier(work) + " ON COMMIT DROP AS SELECT " +
            quotedColumnList(columns) + " FROM " + quoteIdentifier(table) + " WITH NO DATA",
        what);
    run(conn,
        "ALTER TABLE " + quoteIdentifier(work) + " ADD PRIMARY KEY (" + quotedColumnList(key) + ")",
        what);
    return work;
}

long long emptyTable(PGconn* conn, const std::string& table) {
    const std::string what = "表「" + table + "」の行を削除できません。";
    const std::string name = quoteIdentifier(table);
    Result counted = run(conn, "SELECT count(*) FROM " + name, what);
    const long long rows = number(counted.get(), 0, 0);
    // TRUNCATE takes the table whole and is undone with the transaction; a table that another
    // refers to, or a user without the right, gets DELETE.
    run(conn, "SAVEPOINT quorix_empty", what);
    Result truncated(PQexec(conn, ("TRUNCATE " + name).c_str()));
    if (truncated && PQresultStatus(truncated.get()) == PGRES_COMMAND_OK) {
        run(conn, "RELEASE quorix_empty", what);
        return rows;
    }
    const char* state = truncated ? PQresultErrorField(truncated.get(), PG_DIAG_SQLSTATE) : "";
    if (numberFor(state) == ErrorNumber::kLockTimeout || PQstatus(conn) != CONNECTION_OK)
        throw rowError(conn, truncated.get(),
                       what +
                           "他の接続が使用中のため、待ち時間の上限（lock_timeout）まで待っても"
                           "処理できませんでした。");
    run(conn, "ROLLBACK TO quorix_empty", what);
    run(conn, "RELEASE quorix_empty", what);
    Result deleted = run(conn, "DELETE FROM " + name, what);
    return std::atoll(PQcmdTuples(deleted.get()));
}

}  // namespace quorix::postgresql
