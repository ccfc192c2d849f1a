#include "services/db/postgresql/postgresql_client.h"

#include <cstdlib>
#include <string_view>

namespace quorix::postgresql {

// One line of text: line breaks and the blanks after them become one space.
std::string trimmedMessage(const char* text) {
    std::string s;
    bool gap = false;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\n' || *p == '\r' || ((*p == ' ' || *p == '\t') && gap)) {
            gap = true;
            continue;
        }
        if (gap && !s.empty()) s += ' ';
        gap = false;
        s += *p;
    }
    return s;
}

// What the server said of a failed statement, in one line: its message and its detail,
// without the context (which names our own statements); libpq's own text when it said nothing.
std::string serverText(const PGresult* r, PGconn* conn) {
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (!primary) return trimmedMessage(PQerrorMessage(conn));
    std::string text = primary;
    if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL))
        text += " " + trimmedMessage(detail);
    return text;
}

// The service's number for a server error, by its SQLSTATE.
int32_t numberFor(const char* state) {
    const std::string s = state ? state : "";
    if (s == "42P07") return ErrorNumber::kTableExists;
    if (s == "42P01") return ErrorNumber::kNoSuchTable;
    if (s == "42P04") return ErrorNumber::kFileExists;
    if (s == "42501") return ErrorNumber::kPermissionDenied;
    if (s == "55P03") return ErrorNumber::kLockTimeout;
    if (s == "23505") return ErrorNumber::kDuplicateKey;
    return ErrorNumber::kGeneral;
}

// Runs @p sql with text parameters; throws ServiceError with @p what and the server's text.
Result run(PGconn* conn, const std::string& sql, const std::string& what,
           const std::vector<std::string>& params) {
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p.c_str());
    Result r(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                          values.empty() ? nullptr : values.data(), nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
    const char* state = r ? PQresultErrorField(r.get(), PG_DIAG_SQLSTATE) : nullptr;
    const std::string reason = serverText(r.get(), conn);
    int32_t number = numberFor(state);
    std::string said = what;
    if (number == ErrorNumber::kLockTimeout)
        said +=
            "他の接続が使用中のため、待ち時間の上限（lock_timeout）まで待っても処理できません"
            "でした。";
    // Two sessions creating the same name: the later one trips over the catalog's own index.
    const char* constraint = r ? PQresultErrorField(r.get(), PG_DIAG_CONSTRAINT_NAME) : nullptr;
    if (state && std::string(state) == "23505" && constraint &&
        (std::string(constraint) == "pg_type_typname_nsp_index" ||
         std::string(constraint) == "pg_class_relname_nsp_index"))
        number = ErrorNumber::kTableExists;
    // The connection ended (the server stopped, the session was ended): nothing the statement did.
    if (PQstatus(conn) == CONNECTION_BAD && number == ErrorNumber::kGeneral) {
        number = ErrorNumber::kTransactionAborted;
        said += "データベースとの接続が失われました。";
    }
    throw ServiceError(number, said + "(" + reason + ")");
}

std::string value(const PGresult* r, int row, int col) {
    return PQgetisnull(r, row, col)
               ? std::string()
               : std::string(PQgetvalue(r, row, col),
                             static_cast<std::size_t>(PQgetlength(r, row, col)));
}
long long number(const PGresult* r, int row, int col) {
    return PQgetisnull(r, row, col) ? 0 : std::atoll(PQgetvalue(r, row, col));
}
bool flag(const PGresult* r, int row, int col) {
    return !PQgetisnull(r, row, col) && PQgetvalue(r, row, col)[0] == 't';
}

// A row refused by the server, or a connection that ended under a row (the server stopped,
// the session was ended): then no row is to blame.
ServiceError rowError(PGconn* conn, const PGresult* r, const std::string& what) {
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const std::string_view code = state ? state : "";
    const std::string text = serverText(r, conn);
    // No result at all: the connection failed under the row (PQstatus may not know it yet).
    if (!r || PQstatus(conn) == CONNECTION_BAD || code.starts_with("57P") || code.starts_with("08"))
        return ServiceError(ErrorNumber::kTransactionAborted,
                            what + "データベースとの接続が失われました。(" + text + ")");
    return ServiceError(numberFor(state), what + "(" + text + ")");
}

}  // namespace quorix::postgresql
