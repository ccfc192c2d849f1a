#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "services/db/engine/service_error.h"

// Talking to the library: statements and what its result codes mean.
namespace quorix::sqlite {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

/// The service's number for a result code.
int32_t numberFor(int rc);
/// What a result code means to the user, in a sentence; empty when the library's text says it.
std::string reasonFor(int rc);
/// Throws ServiceError with @p what, the reason and the library's own text.
[[noreturn]] void fail(sqlite3* db, int rc, const std::string& what);
/// Runs statements without results.
void exec(sqlite3* db, const std::string& sql, const std::string& what);

// A prepared statement, finalized on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql,
              const std::string& what = "データベースを読み取れません。")
        : m_db(db) {
        const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK) fail(db, rc, what);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& text) {
        const int rc = sqlite3_bind_text64(m_stmt, index, text.data(), text.size(),
                                           SQLITE_TRANSIENT, SQLITE_UTF8);
        if (rc != SQLITE_OK) fail(m_db, rc, "データベースを読み取れません。");
        return *this;
    }
    bool step() {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        fail(m_db, rc, "データベースを読み取れません。");
    }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    std::string text(int col) const {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, col)))
                 : std::string();
    }
    long long integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    sqlite3* db() const { return m_db; }
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

}  // namespace quorix::sqlite
