#include "services/db/mariadb/mariadb_client.h"

namespace quorix::mariadb {

namespace {

constexpr unsigned kServerGone = 2006;  // CR_SERVER_GONE_ERROR
constexpr unsigned kServerLost = 2013;  // CR_SERVER_LOST

}  // namespace

std::string backticked(std::string_view name) {
    std::string q = "`";
    for (char ch : name) {
        if (ch == '`') q += '`';
        q += ch;
    }
    return q + "`";
}

std::string backtickedList(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + backticked(n);
    return out;
}

int32_t numberFor(unsigned code) {
    switch (code) {
        case 1050:
            return ErrorNumber::kTableExists;  // ER_TABLE_EXISTS_ERROR
        case 1051:                             // ER_BAD_TABLE_ERROR
        case 1146:
            return ErrorNumber::kNoSuchTable;  // ER_NO_SUCH_TABLE
        case 1007:
            return ErrorNumber::kFileExists;  // ER_DB_CREATE_EXISTS
        case 1044:                            // ER_DBACCESS_DENIED_ERROR
        case 1045:                            // ER_ACCESS_DENIED_ERROR
        case 1142:                            // ER_TABLEACCESS_DENIED_ERROR
        case 1227:
            return ErrorNumber::kPermissionDenied;
        case 1205:
            return ErrorNumber::kLockTimeout;  // ER_LOCK_WAIT_TIMEOUT
        case 1062:
            return ErrorNumber::kDuplicateKey;  // ER_DUP_ENTRY
        default:
            return ErrorNumber::kGeneral;
    }
}

bool lost(MYSQL* m) {
    const unsigned code = mysql_errno(m);
    return code == kServerGone || code == kServerLost;
}

// Errors after which the server has undone the whole transaction.
bool endsTransaction(unsigned code) {
    return code == 1213      // ER_LOCK_DEADLOCK (also a conflict with another Galera node)
           || code == 1180   // ER_ERROR_DURING_COMMIT (a Galera write set refused)
           || code == 1927;  // ER_CONNECTION_KILLED
}

// The server's error; a lost connection or an ended transaction is nothing a row did.
ServiceError serverError(MYSQL* m, const std::string& what) {
    const unsigned code = mysql_errno(m);
    std::string text = what;
    if (code == 1205) text += "他の接続が使用中のため、待ちきれませんでした。";
    int32_t number = numberFor(code);
    if (number == ErrorNumber::kGeneral && (lost(m) || endsTransaction(code)))
        number = ErrorNumber::kTransactionAborted;
    return ServiceError(number, text + "（" + std::to_string(code) + ": " + mysql_error(m) + "）");
}

// Runs a statement; the rows when it has any.
Result run(MYSQL* m, const std::string& sql, const std::string& what) {
    if (mysql_real_query(m, sql.data(), sql.size()) != 0) throw serverError(m, what);
    Result r(mysql_store_result(m));
    if (!r && mysql_field_count(m) != 0) throw serverError(m, what);
    return r;
}

std::vector<std::vector<std::string>> rows(MYSQL* m, const std::string& sql,
                                           const std::string& what) {
    Result r = run(m, sql, what);
    std::vector<std::vector<std::string>> out;
    if (!r) return out;
    const unsigned fields = mysql_num_fields(r.get());
    while (MYSQL_ROW row = mysql_fetch_row(r.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(r.get());
        auto& line = out.emplace_back();
        for (unsigned i = 0; i < fields; ++i)
            line.push_back(row[i] ? std::string(row[i], lengths[i]) : std::string());
    }
    return out;
}

std::vector<TextRow> textRows(MYSQL* m, const std::string& sql, const std::string& what) {
    Result r = run(m, sql, what);
    std::vector<TextRow> out;
    if (!r) return out;
    const unsigned fields = mysql_num_fields(r.get());
    while (MYSQL_ROW row = mysql_fetch_row(r.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(r.get());
        TextRow& line = out.emplace_back();
        line.reserve(fields);
        for (unsigned i = 0; i < fields; ++i)
            if (row[i])
                line.emplace_back(std::string(row[i], lengths[i]));
            else
                line.emplace_back();
    }
    return out;
}

std::string literal(MYSQL* m, const std::string& text) {
    std::string out(text.size() * 2 + 3, '\0');
    out[0] = '\'';
    const unsigned long n = mysql_real_escape_string(m, out.data() + 1, text.data(), text.size());
    out.resize(n + 1);
    return out + "'";
}

}  // namespace quorix::mariadb
