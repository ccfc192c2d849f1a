#include "services/db/sqlite/sqlite_rows.h"

#include <map>
#include <set>

#include "services/db/engine/currency.h"
#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/engine/table_definition.h"
#include "services/db/sqlite/sqlite_client.h"
#include "services/db/sqlite/sqlite_types.h"

namespace quorix::sqlite {

namespace {

class SqliteInserter : public RowInserter {
public:
    SqliteInserter(sqlite3* db, const std::string& table, const std::vector<std::string>& columns)
        : m_what("表「" + table + "」に行を追加できません。"),
          m_statement(db,
                      "INSERT INTO " + quoteIdentifier(table) + " (" + quotedColumnList(columns) +
                          ") VALUES (" + placeholders(columns.size()) + ")",
                      m_what) {
        // Currency is kept as whole units of 1/10 000, so that all its digits stay exact.
        Statement types(db, "SELECT name, type FROM pragma_table_info(?)", m_what);
        types.bind(1, table);
        std::set<std::string> currency;
        while (types.step())
            if (sqliteColumnType(types.text(1)).type == adCurrency) currency.insert(types.text(0));
        for (const auto& c : columns) m_currency.push_back(currency.count(c) > 0);
    }

    void insert(const CellValue* row, std::size_t count, RowTag) override {
        sqlite3_stmt* s = m_statement.get();
        sqlite3* db = m_statement.db();
        for (std::size_t i = 0; i < count; ++i) {
            const int at = static_cast<int>(i + 1);
            int rc = SQLITE_OK;
            const bool currency = i < m_currency.size() && m_currency[i];
            if (const auto* n = std::get_if<long long>(&row[i]); n && !currency) {
                rc = sqlite3_bind_int64(s, at, *n);
            } else if (const auto* b = std::get_if<bool>(&row[i])) {
                rc = sqlite3_bind_int(s, at, *b ? 1 : 0);
            } else if (n || std::holds_alternative<std::string>(row[i])) {
                const std::string* t = std::get_if<std::string>(&row[i]);
                if (currency) {
                    const std::string written = t ? *t : std::to_string(*n);
                    const auto units = currencyUnits(written);
                    if (!units)
                        throw ServiceError(
                            ErrorNumber::kGeneral,
                            m_what + "「" + written + "」は通貨型の値ではありません。");
                    rc = sqlite3_bind_int64(s, at, *units);
                } else {
                    rc = sqlite3_bind_text64(s, at, t->data(), t->size(), SQLITE_STATIC,
                                             SQLITE_UTF8);
                }
            } else {
                rc = sqlite3_bind_null(s, at);
            }
            // A value the engine cannot take (over its length limit) is never stored as NULL.
            if (rc != SQLITE_OK) {
                sqlite3_reset(s);
                sqlite3_clear_bindings(s);
                if (rc == SQLITE_TOOBIG)
                    throw ServiceError(
                        ErrorNumber::kGeneral,
                        m_what + "値が長すぎます（" +
                            std::to_string(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, -1)) +
                            " バイトまで）。");
                fail(db, rc, m_what);
            }
        }
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc == SQLITE_DONE) return;
        const int extended = sqlite3_extended_errcode(db);
        if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_UNIQUE)
            throw ServiceError(ErrorNumber::kDuplicateKey, m_what + "(" + sqlite3_errmsg(db) + ")");
        if ((rc & 0xFF) == SQLITE_TOOBIG)
            throw ServiceError(ErrorNumber::kGeneral, m_what + "行が長すぎます。(" +
                                                          std::string(sqlite3_errmsg(db)) + ")");
        fail(db, rc, m_what);
    }

private:
    static std::string placeholders(std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += i ? ", ?" : "?";
        return s;
    }
    std::string m_what;
    Statement m_statement;
    std::vector<bool> m_currency;
};

}  // namespace

std::unique_ptr<RowInserter> makeInserter(sqlite3* db, const std::string& table,
                                          const std::vector<std::string>& columns) {
    return std::make_unique<SqliteInserter>(db, table, columns);
}

std::string createWorkTable(sqlite3* db, const std::string& table,
                            const std::vector<std::string>& columns,
                            const std::vector<std::string>& key, int number) {
    const std::string what = "表「" + table + "」の作業用の表を作成できません。";
    Statement types(db, "SELECT name, type FROM pragma_table_info(?, 'main')", what);
    types.bind(1, table);
    std::map<std::string, std::string> declared;
    while (types.step()) declared[types.text(0)] = types.text(1);
    const std::string work = "quorix_work_" + std::to_string(number);
    std::string sql = "CREATE TEMP TABLE " + quoteIdentifier(work) + " (";
    for (const std::string& c : columns) sql += quoteIdentifier(c) + " " + declared[c] + ", ";
    // One b-tree in key order, as the rows come: a rowid table would keep a second for the key.
    exec(db, sql + "PRIMARY KEY (" + quotedColumnList(key) + ")) WITHOUT ROWID", what);
    return work;
}

}  // namespace quorix::sqlite
