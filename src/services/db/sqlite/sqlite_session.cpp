#include "services/db/sqlite/sqlite_session.h"

#include <charconv>

#include <sys/stat.h>

#include "services/db/engine/currency.h"
#include "services/db/engine/table_definition.h"
#include "services/db/sqlite/sqlite_catalog.h"
#include "services/db/sqlite/sqlite_rows.h"
#include "services/db/sqlite/sqlite_types.h"

namespace quorix::sqlite {

namespace {

class SqliteSession : public DatabaseSession {
public:
    explicit SqliteSession(Database db) : m_db(db.release()) {}
    ~SqliteSession() override { sqlite3_close_v2(m_db); }
    std::string serverVersion() const override { return std::string("SQLite ") + sqlite3_libversion(); }

    void beginTransaction() override { exec("BEGIN", "トランザクションを開始できません。"); }
    void commitTransaction() override {
        const std::string what = "トランザクションを確定できません。";
        const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) return;
        const std::string said = what + reasonFor(rc) + "(" + sqlite3_errmsg(m_db) + ")";
        // A failed commit (a full disk, a folder that became read-only) may leave the file
        // half written with the journal that puts it right: undo now, and say what is true.
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        const char* file = sqlite3_db_filename(m_db, "main");
        const std::string journal = std::string(file ? file : "") + "-journal";
        struct stat st {};
        if (file && *file && ::stat(journal.c_str(), &st) == 0 && st.st_size > 0)
            throw ServiceError(ErrorNumber::kUndoPending,
                               said + "元に戻すための情報がジャーナルファイル「" + journal +
                                   "」に残っています。このファイルは消さずにデータベースと同じ"
                                   "フォルダーに置いたままにしてください。次にデータベースを"
                                   "開いたときに元の状態に戻ります。");
        throw ServiceError(numberFor(rc), said);
    }
    void rollbackTransaction() override {
        if (!sqlite3_get_autocommit(m_db)) exec("ROLLBACK", "トランザクションを元に戻せません。");
    }

    CatalogObjectPtr tables() override { return m_catalog.tables(); }
    CatalogObjectPtr tableNames() override { return m_catalog.tableNames(); }
    CatalogObjectPtr tableDetails(const std::string& name) override {
        return m_catalog.tableDetails(name);
    }
    CatalogObjectPtr views() override { return m_catalog.views(); }
    CatalogObjectPtr procedures() override {
        throw ServiceError(ErrorNumber::kNotSupported,
                           "このデータベースにはプロシージャがありません。");
    }
    CatalogObjectPtr groups() override {
        throw ServiceError(ErrorNumber::kNotSupported,
                           "このデータベースにはグループがありません。");
    }
    CatalogObjectPtr users() override {
        throw ServiceError(ErrorNumber::kNotSupported, "このデータベースにはユーザがありません。");
    }

    void createTable(const TableDefinition& table) override;
    void dropTable(const std::string& name) override;
    std::vector<std::string> tableColumns(const std::string& table) override;
    std::unique_ptr<RowInserter> inserter(const std::string& table,
                                          const std::vector<std::string>& columns) override;
    std::optional<long long> largestValue(const std::string& table,
                                          const std::string& column) override;
    void savepoint(const std::string& name) override {
        exec("SAVEPOINT " + quoteIdentifier(name), "セーブポイントを作成できません。");
    }
    void releaseSavepoint(const std::string& name) override {
        exec("RELEASE " + quoteIdentifier(name), "セーブポイントを解放できません。");
    }
    void rollbackToSavepoint(const std::string& name) override {
        exec("ROLLBACK TO " + quoteIdentifier(name), "セーブポイントまで戻せません。");
    }

    long long execute(const std::string& sql, const std::string& what) override {
        exec(sql, what);
        return sqlite3_changes64(m_db);
    }
    std::vector<TextRow> selectText(const std::string& sql, const std::string& what) override {
        Statement st(m_db, sql, what);
        std::vector<TextRow> rows;
        const int columns = sqlite3_column_count(st.get());
        // Currency is kept in units of 1/10 000: shown as the amount.
        std::vector<bool> currency;
        for (int c = 0; c < columns; ++c) {
            const char* declared = sqlite3_column_decltype(st.get(), c);
            currency.push_back(declared && sqliteColumnType(declared).type == adCurrency);
        }
        while (st.step()) {
            TextRow& row = rows.emplace_back();
            row.reserve(static_cast<std::size_t>(columns));
            for (int c = 0; c < columns; ++c) {
                const int type = sqlite3_column_type(st.get(), c);
                if (type == SQLITE_NULL) {
                    row.emplace_back();
                } else if (type == SQLITE_INTEGER && currency[static_cast<std::size_t>(c)]) {
                    row.emplace_back(currencyText(sqlite3_column_int64(st.get(), c)));
                } else if (type == SQLITE_FLOAT) {
                    // The shortest text that reads back as the same double, not 15 digits.
                    char text[32];
                    const auto end = std::to_chars(text, text + sizeof text,
                                                   sqlite3_column_double(st.get(), c))
                                         .ptr;
                    row.emplace_back(std::string(text, end));
                } else {
                    row.emplace_back(st.text(c));
                }
            }
        }
        return rows;
    }
    // An expression has no declared type: currency comes as its units, as it is compared.
    std::string storedValue(const std::string& quoted) const override { return "+" + quoted; }
    long long count(const std::string& sql, const std::string& what) override {
        Statement st(m_db, sql, what);
        return st.step() ? st.integer(0) : 0;
    }
    std::string upsertClause(const std::string&, const std::vector<std::string>& key,
                             const std::vector<std::string>& update) const override {
        return onConflictClause(key, update);
    }
    std::string createWorkTable(const std::string& table, const std::vector<std::string>& columns,
                                const std::vector<std::string>& key) override {
        return sqlite::createWorkTable(m_db, table, columns, key, ++m_workTables);
    }
    void dropWorkTable(const std::string& work) override {
        exec("DROP TABLE IF EXISTS temp." + quoteIdentifier(work), "作業用の表を削除できません。");
    }
    void addColumn(const std::string& table, const ColumnDefinition& column) override {
        exec("ALTER TABLE " + quoteIdentifier(table) + " ADD COLUMN " +
                 quoteIdentifier(column.name) + " " +
                 sqliteDeclaredType(column.type, column.definedSize, column.precision, column.scale),
             "表「" + table + "」に列「" + column.name + "」を加えられません。");
    }
    long long emptyTable(const std::string& table) override {
        return execute("DELETE FROM " + quoteIdentifier(table),
                       "表「" + table + "」の行を削除できません。");
    }

private:
    void exec(const std::string& sql, const std::string& what) { sqlite::exec(m_db, sql, what); }
    bool tableExists(const std::string& name);

    sqlite3* m_db;
    SqliteCatalog m_catalog{m_db};
    int m_workTables = 0;
};

bool SqliteSession::tableExists(const std::string& name) {
    // The engine's own schema lookup: no scan of the schema table, names compared as the
    // engine compares them (without regard to case).
    return sqlite3_table_column_metadata(m_db, nullptr, name.c_str(), nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SqliteSession::createTable(const TableDefinition& table) {
    const std::string& t = table.name;
    const std::vector<std::string> statements = statementsFor(table);
    if (tableExists(t))
        throw ServiceError(ErrorNumber::kTableExists, "表「" + t + "」は既に存在します。");
    const std::string what = "表「" + t + "」を作成できません。";
    // Everything of one table is created or nothing: a savepoint inside any open transaction.
    exec("SAVEPOINT quorix_create_table", what);
    try {
        for (const auto& statement : statements) exec(statement, what);
        exec("RELEASE quorix_create_table", what);
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK TO quorix_create_table; RELEASE quorix_create_table", nullptr,
                     nullptr, nullptr);
        throw;
    }
}

std::vector<std::string> SqliteSession::tableColumns(const std::string& table) {
    Statement st(m_db, "SELECT name FROM pragma_table_info(?)",
                 "表「" + table + "」の列を読み取れません。");
    st.bind(1, table);
    std::vector<std::string> names;
    while (st.step()) names.push_back(st.text(0));
    return names;
}

std::unique_ptr<RowInserter> SqliteSession::inserter(const std::string& table,
                                                     const std::vector<std::string>& columns) {
    return makeInserter(m_db, table, columns);
}

std::optional<long long> SqliteSession::largestValue(const std::string& table,
                                                     const std::string& column) {
    Statement st(m_db, "SELECT max(" + quoteIdentifier(column) + ") FROM " + quoteIdentifier(table),
                 "表「" + table + "」を読み取れません。");
    if (!st.step() || st.isNull(0)) return std::nullopt;
    return st.integer(0);
}

void SqliteSession::dropTable(const std::string& name) {
    {
        Statement st(m_db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
        st.bind(1, name);
        if (!st.step())
            throw ServiceError(ErrorNumber::kNoSuchTable, "表「" + name + "」が見つかりません。");
    }
    exec("DROP TABLE " + quoteIdentifier(name), "表「" + name + "」を削除できません。");
}

}  // namespace

std::unique_ptr<DatabaseSession> openSession(Database db) {
    return std::make_unique<SqliteSession>(std::move(db));
}

}  // namespace quorix::sqlite
