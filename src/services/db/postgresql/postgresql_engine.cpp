#include "services/db/postgresql/postgresql_engine.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"

namespace quorix {

namespace {

// PostgreSQL keeps names up to this many bytes and cuts longer ones in silence.
constexpr std::size_t kMaxIdentifier = 63;

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

// Notices and warnings of the server are not the user's business: never printed.
void quietNotice(void*, const char*) {}

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

struct ResultFreer {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFreer>;

struct ConnFreer {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnFreer>;

// Runs @p sql with text parameters; throws ServiceError with @p what and the server's text.
Result run(PGconn* conn, const std::string& sql, const std::string& what,
           const std::vector<std::string>& params = {}) {
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

// A data source libpq cannot read, as a message may show it: nothing from the first
// "password" on, and no user information of a URI.
std::string unreadableDataSourceShown(std::string s) {
    std::string lower = s;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (const auto p = lower.find("password"); p != std::string::npos) s = s.substr(0, p) + "…";
    if (const auto scheme = s.find("://"); scheme != std::string::npos)
        if (const auto at = s.find('@', scheme); at != std::string::npos)
            s.erase(scheme + 3, at + 1 - (scheme + 3));
    return s;
}

// A value of a libpq connection string, quoted where it needs to be.
std::string conninfoValue(const std::string& v) {
    if (!v.empty() && v.find_first_of(" \t\n\r\f\v'\\") == std::string::npos) return v;
    std::string out = "'";
    for (char ch : v) {
        if (ch == '\'' || ch == '\\') out += '\\';
        out += ch;
    }
    return out + "'";
}

// The parts of a libpq connection string or URI; throws for one libpq cannot read.
std::map<std::string, std::string> conninfoParts(const std::string& dataSource) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(dataSource.c_str(), &error);
    if (!options) {
        const std::string reason = error ? trimmedMessage(error) : "";
        PQfreemem(error);
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソース「" + unreadableDataSourceShown(dataSource) +
                               "」は接続文字列として正しくありません。(" + reason + ")");
    }
    std::map<std::string, std::string> parts;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val) parts[o->keyword] = o->val;
    PQconninfoFree(options);
    return parts;
}

// Connects with the data source, overriding its database with @p database when not empty.
Conn connect(const ConnectionInfo& info, const std::string& database = {}) {
    const auto parts = conninfoParts(info.dataSource);
    std::vector<std::pair<std::string, std::string>> params = {{"dbname", info.dataSource}};
    if (!database.empty()) params.emplace_back("dbname", database);
    if (!info.user.empty()) params.emplace_back("user", info.user);
    if (!info.password.empty()) params.emplace_back("password", info.password);
    // Nothing waits for an unreachable server longer than this, unless the user said so.
    if (!parts.count("connect_timeout")) params.emplace_back("connect_timeout", "10");
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("application_name", "Quorix");
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : params) {
        keys.push_back(k.c_str());
        values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    Conn conn(PQconnectdbParams(keys.data(), values.data(), 1));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string reason =
            conn ? trimmedMessage(PQerrorMessage(conn.get())) : "メモリが不足しています。";
        throw ServiceError(ErrorNumber::kGeneral, "データベースに接続できません。(" + reason + ")");
    }
    PQsetNoticeProcessor(conn.get(), quietNotice, nullptr);
    // A create that waits for another session's lock says so after a while instead of
    // waiting for ever; a limit the server or the data source sets is kept.
    Result limit(PQexec(conn.get(), "SHOW lock_timeout"));
    if (limit && PQresultStatus(limit.get()) == PGRES_TUPLES_OK && PQntuples(limit.get()) == 1 &&
        std::string(PQgetvalue(limit.get(), 0, 0)) == "0")
        Result(PQexec(conn.get(), "SET lock_timeout = '30s'"));
    return conn;
}

// The SQL type of a data type code and size.
std::string sqlType(const ColumnDefinition& c, bool timeZone) {
    switch (c.type) {
        case adVarWChar:
        case adVarChar:
            return c.definedSize > 0 ? "varchar(" + std::to_string(c.definedSize) + ")" : "varchar";
        case adLongVarWChar:
        case adLongVarChar:
            return "text";
        case adInteger:
            return "integer";
        case adSmallInt:
            return "smallint";
        case adBigInt:
            return "bigint";
        case adNumeric:
        case adDecimal:
            if (c.precision > 0)
                return "numeric(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
            return "numeric";
        case adDouble:
            return "double precision";
        case adSingle:
            return "real";
        case adBoolean:
            return "boolean";
        case adDBDate:
            return "date";
        case adDBTimeStamp:
        case adDate:
            return timeZone ? "timestamp with time zone" : "timestamp";
        case adLongVarBinary:
        case adVarBinary:
        case adBinary:
            return "bytea";
        case adCurrency:
            return "numeric(19,4)";
        default:
            throw ServiceError(ErrorNumber::kNotSupported,
                               "列「" + c.name + "」の型（" + std::to_string(c.type) +
                                   "）はこのデータベースでは使用できません。");
    }
}

void checkName(const std::string& name, const char* what) {
    if (name.size() > kMaxIdentifier)
        throw ServiceError(ErrorNumber::kGeneral,
                           std::string(what) + "「" + name + "」は長すぎます（" +
                               std::to_string(kMaxIdentifier) + "バイトまで）。");
}

// One part of a shown name: quoted when it holds a dot or a quote, so that two different
// tables never look the same ("s.t" in public is shown as "s.t" in quotes, t of s as s.t).
std::string shownPart(const std::string& part) {
    if (part.find_first_of(".\"") == std::string::npos && !part.empty()) return part;
    return quoteIdentifier(part);
}

// A table name as shown: schema-qualified outside "public".
std::string shownName(const std::string& schema, const std::string& name) {
    return schema == "public" ? shownPart(name) : shownPart(schema) + "." + shownPart(name);
}

// The schema and name of a shown name; nullopt for a text shownName never gives.
std::optional<std::pair<std::string, std::string>> parseShownName(const std::string& shown) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= shown.size()) {
        std::string part;
        if (i < shown.size() && shown[i] == '"') {
            bool closed = false;
            for (++i; i < shown.size(); ++i) {
                if (shown[i] != '"') {
                    part += shown[i];
                } else if (i + 1 < shown.size() && shown[i + 1] == '"') {
                    part += '"';
                    ++i;
                } else {
                    closed = true;
                    ++i;
                    break;
                }
            }
            if (!closed) return std::nullopt;
        } else {
            const auto dot = shown.find('.', i);
            part = shown.substr(i, dot == std::string::npos ? std::string::npos : dot - i);
            if (part.empty() || part.find('"') != std::string::npos) return std::nullopt;
            i = dot == std::string::npos ? shown.size() : dot;
        }
        parts.push_back(part);
        if (i == shown.size()) break;
        if (shown[i] != '.') return std::nullopt;
        ++i;
    }
    if (parts.size() == 1) return std::make_pair(std::string("public"), parts[0]);
    if (parts.size() == 2 && parts[0] != "public") return std::make_pair(parts[0], parts[1]);
    return std::nullopt;
}

int32_t ruleCode(char action) {
    switch (action) {
        case 'c':
            return adRICascade;
        case 'n':
            return adRISetNull;
        case 'd':
            return adRISetDefault;
        default:
            return adRINone;
    }
}

// The data type code, size, precision and scale of a column type.
using TypeFacts = ColumnFacts;

TypeFacts typeFacts(const std::string& typeName, long long typmod) {
    TypeFacts f;
    if (typeName == "character varying" || typeName == "varchar") {
        f.type = adVarWChar;
        f.size = typmod > 4 ? typmod - 4 : 0;
    } else if (typeName == "character" || typeName == "bpchar") {
        f.type = adWChar;
        f.size = typmod > 4 ? typmod - 4 : 0;
        f.fixed = true;
    } else if (typeName == "text") {
        f.type = adLongVarWChar;
    } else if (typeName == "integer") {
        f.type = adInteger, f.size = 4, f.precision = 10, f.fixed = true;
    } else if (typeName == "smallint") {
        f.type = adSmallInt, f.size = 2, f.precision = 5, f.fixed = true;
    } else if (typeName == "bigint") {
        f.type = adBigInt, f.size = 8, f.precision = 19, f.fixed = true;
    } else if (typeName == "numeric") {
        f.type = adNumeric;
        if (typmod >= 4) {
            f.precision = ((typmod - 4) >> 16) & 0xFFFF;
            f.scale = (typmod - 4) & 0xFFFF;
        }
    } else if (typeName == "double precision") {
        f.type = adDouble, f.size = 8, f.precision = 15, f.fixed = true;
    } else if (typeName == "real") {
        f.type = adSingle, f.size = 4, f.precision = 7, f.fixed = true;
    } else if (typeName == "boolean") {
        f.type = adBoolean, f.size = 1, f.fixed = true;
    } else if (typeName == "date") {
        f.type = adDBDate, f.size = 4, f.fixed = true;
    } else if (typeName == "timestamp without time zone") {
        f.type = adDBTimeStamp, f.size = 8, f.fixed = true;
    } else if (typeName == "timestamp with time zone") {
        f.type = adDBTimeStamp, f.size = 8, f.fixed = true, f.timeZone = true;
    } else if (typeName == "bytea") {
        f.type = adLongVarBinary;
    }
    return f;
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

class PostgresCopyInserter;

// The one COPY that may run on a connection at a time, and whose it is.
struct CopyChannel {
    PostgresCopyInserter* current = nullptr;
};

class PostgresSession : public DatabaseSession {
public:
    explicit PostgresSession(Conn conn) : m_conn(std::move(conn)) {}

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

    CatalogObjectPtr tables() override;
    CatalogObjectPtr tableNames() override;
    CatalogObjectPtr tableDetails(const std::string& name) override;
    CatalogObjectPtr views() override;
    CatalogObjectPtr procedures() override;
    CatalogObjectPtr groups() override { return roles(false); }
    CatalogObjectPtr users() override { return roles(true); }

    void createTable(const TableDefinition& table) override {
        const auto statements = PostgresEngine().createTableStatements(table);
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
                                          const std::vector<std::string>& columns) override;
    std::unique_ptr<RowInserter> bulkInserter(const std::string& table,
                                              const std::vector<std::string>& columns) override;

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

private:
    PGconn* c() const { return m_conn.get(); }
    CatalogObjectPtr roles(bool login);
    /// Every table of the relations query @p relations (oid, schema, name), in full.
    CatalogObjectPtr readTables(const std::string& relations);
    CatalogObjectPtr commands(bool views);

    Conn m_conn;
    CopyChannel m_copy;
};

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

// Rows as COPY text. The table whose COPY is running streams its rows to the server as they
// come; the other tables gather theirs (up to copyBufferBytes) and, when full, end the running
// COPY and start their own. Every table's rows arrive in the order given. A row the server
// refuses is found again by its line in the COPY that carried it.
class PostgresCopyInserter : public RowInserter {
public:
    PostgresCopyInserter(PGconn* conn, CopyChannel& channel, const std::string& table,
                         const std::vector<std::string>& columns)
        : m_conn(conn),
          m_channel(channel),
          m_sql("COPY " + quoteIdentifier(table) + " (" + quotedColumnList(columns) +
                ") FROM STDIN"),
          m_table(table),
          m_what("表「" + table + "」に行を追加できません。") {}
    ~PostgresCopyInserter() override {
        if (m_channel.current == this) m_channel.current = nullptr;
    }

    void insert(const CellValue* row, std::size_t count, RowTag tag) override {
        for (std::size_t i = 0; i < count; ++i) {
            if (i) m_pending += '\t';
            const CellValue& v = row[i];
            if (std::holds_alternative<std::monostate>(v))
                m_pending += "\\N";
            else if (const auto* n = std::get_if<long long>(&v))
                m_pending += std::to_string(*n);
            else if (const auto* b = std::get_if<bool>(&v))
                m_pending += *b ? 't' : 'f';
            else
                escape(std::get<std::string>(v));
        }
        m_pending += '\n';
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

    void escape(const std::string& s) {
        for (char c : s) {
            switch (c) {
                case '\\':
                    m_pending += "\\\\";
                    break;
                case '\t':
                    m_pending += "\\t";
                    break;
                case '\n':
                    m_pending += "\\n";
                    break;
                case '\r':
                    m_pending += "\\r";
                    break;
                default:
                    m_pending += c;
            }
        }
    }

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

std::unique_ptr<RowInserter> PostgresSession::bulkInserter(
    const std::string& table, const std::vector<std::string>& columns) {
    return std::make_unique<PostgresCopyInserter>(c(), m_copy, table, columns);
}

std::unique_ptr<RowInserter> PostgresSession::inserter(const std::string& table,
                                                       const std::vector<std::string>& columns) {
    return std::make_unique<PostgresInserter>(c(), table, columns);
}

const char kRelations[] =
    "SELECT c.oid, n.nspname, c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
    "c.relnamespace WHERE c.relkind IN ('r', 'p') AND n.nspname = ANY (current_schemas(false)) "
    "ORDER BY array_position(current_schemas(false), n.nspname), c.relname";

CatalogObjectPtr PostgresSession::tables() {
    return readTables(kRelations);
}

// The same tables as kRelations, unsorted, with the place of their schema in the search path:
// sorting 100 000 names here is quicker than on the server, which sorts them on disk. Names
// compare byte by byte (the "C" collation of the name type), as in kRelations.
const char kRelationNames[] =
    "SELECT s.pos, n.nspname, c.relname FROM unnest(current_schemas(false)) WITH ORDINALITY "
    "s(nspname, pos) JOIN pg_namespace n ON n.nspname = s.nspname JOIN pg_class c ON "
    "c.relnamespace = n.oid WHERE c.relkind IN ('r', 'p')";

CatalogObjectPtr PostgresSession::tableNames() {
    Result rels = run(c(), kRelationNames, "表の一覧を読み取れません。");
    const PGresult* r = rels.get();
    struct Row {
        long place;
        const char* name;
        int row;
    };
    std::vector<Row> rows(static_cast<std::size_t>(PQntuples(r)));
    for (int i = 0; i < PQntuples(r); ++i)
        rows[static_cast<std::size_t>(i)] = {std::strtol(PQgetvalue(r, i, 0), nullptr, 10),
                                             PQgetvalue(r, i, 2), i};
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        return a.place != b.place ? a.place < b.place : std::strcmp(a.name, b.name) < 0;
    });
    auto tables = std::make_shared<CatalogObject>("Tables");
    tables->reserveMembers(rows.size());
    for (const Row& row : rows)
        tables->addMember(makeTableObject(shownName(value(r, row.row, 1), row.name)));
    return tables;
}

CatalogObjectPtr PostgresSession::tableDetails(const std::string& name) {
    const auto parts = parseShownName(name);
    if (!parts) return nullptr;
    auto literal = [&](const std::string& text) {
        std::unique_ptr<char, decltype(&PQfreemem)> q(
            PQescapeLiteral(c(), text.data(), text.size()), &PQfreemem);
        if (!q) throw ServiceError(ErrorNumber::kGeneral, "表「" + name + "」を読み取れません。");
        return std::string(q.get());
    };
    // The same reading as for every table, of this one alone.
    const std::string one = "SELECT * FROM (" + std::string(kRelations) +
                            ") r WHERE r.nspname = " + literal(parts->first) +
                            " AND r.relname = " + literal(parts->second);
    const auto tables = readTables(one);
    return tables->members().empty() ? nullptr : tables->members().front();
}

// A column of the catalog from row @p i of the column query (relation, name, type, modifier,
// not null, identity).
CatalogObjectPtr columnOf(const PGresult* r, int i) {
    ColumnFacts f = typeFacts(value(r, i, 2), number(r, i, 3));
    f.nullable = !flag(r, i, 4);
    f.autoIncrement = flag(r, i, 5);
    return columnObject(value(r, i, 1), f);
}

CatalogObjectPtr PostgresSession::readTables(const std::string& relations) {
    const std::string what = "表の一覧を読み取れません。";
    Result rels = run(c(), relations, what);
    auto tables = std::make_shared<CatalogObject>("Tables");
    std::map<std::string, CatalogObjectPtr> byOid;
    std::map<std::string, CatalogObjectPtr> columnsOf, indexesOf, keysOf;
    for (int i = 0; i < PQntuples(rels.get()); ++i) {
        auto t = makeTableObject(shownName(value(rels.get(), i, 1), value(rels.get(), i, 2)));
        const std::string oid = value(rels.get(), i, 0);
        byOid[oid] = t;
        for (auto [role, map] : {std::pair{"Columns", &columnsOf}, std::pair{"Indexes", &indexesOf},
                                 std::pair{"Keys", &keysOf}}) {
            auto list = std::make_shared<CatalogObject>(role);
            t->setChild(role, list);
            (*map)[oid] = list;
        }
        tables->addMember(t);
    }
    // Every column of those tables in one query.
    Result cols = run(c(),
                      "SELECT a.attrelid, a.attname, format_type(a.atttypid, NULL), a.atttypmod, "
                      "a.attnotnull, a.attidentity <> '' FROM pg_attribute a WHERE a.attnum > 0 "
                      "AND NOT a.attisdropped AND a.attrelid IN (SELECT oid FROM (" +
                          relations + ") r) ORDER BY a.attrelid, a.attnum",
                      what);
    std::map<std::string, std::map<std::string, CatalogObjectPtr>> columnByName;
    for (int i = 0; i < PQntuples(cols.get()); ++i) {
        const std::string oid = value(cols.get(), i, 0);
        auto col = columnOf(cols.get(), i);
        columnByName[oid][col->name()] = col;
        columnsOf[oid]->addMember(col);
    }
    auto member = [&](const std::string& oid, const std::string& name, const char* property,
                      PropertyValue v) {
        auto m = std::make_shared<CatalogObject>("Column", name);
        m->setProperty(property, std::move(v));
        const auto& byName = columnByName[oid];
        if (auto it = byName.find(name); it != byName.end()) m->setBase(it->second);
        return m;
    };
    // Indexes with their key columns in order and their sort order.
    Result idx =
        run(c(),
            "SELECT i.indrelid, ic.relname, i.indisprimary, i.indisunique, "
            "coalesce(a.attname, ''), (i.indoption[k.ord - 1] & 1) = 1 FROM pg_index i "
            "JOIN pg_class ic ON ic.oid = i.indexrelid CROSS JOIN LATERAL "
            "unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, ord) LEFT JOIN "
            "pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.attnum WHERE "
            "k.ord <= i.indnkeyatts AND i.indrelid IN (SELECT oid FROM (" +
                relations + ") r) ORDER BY i.indrelid, i.indisprimary DESC, ic.relname, k.ord",
            what);
    std::map<std::string, CatalogObjectPtr> indexCols;
    for (int i = 0; i < PQntuples(idx.get()); ++i) {
        const std::string oid = value(idx.get(), i, 0);
        const std::string name = value(idx.get(), i, 1);
        const std::string key = oid + "\x1f" + name;
        if (!indexCols.count(key)) {
            const bool primary = flag(idx.get(), i, 2);
            auto index = std::make_shared<CatalogObject>("Index", name);
            index->setProperty("Clustered", false);
            index->setProperty("IndexNulls", static_cast<long long>(primary ? adIndexNullsDisallow
                                                                            : adIndexNullsAllow));
            index->setProperty("PrimaryKey", primary);
            index->setProperty("Unique", flag(idx.get(), i, 3));
            auto list = std::make_shared<CatalogObject>("Columns");
            index->setChild("Columns", list);
            indexesOf[oid]->addMember(index);
            indexCols[key] = list;
        }
        indexCols[key]->addMember(member(oid, value(idx.get(), i, 4), "SortOrder",
                                         static_cast<long long>(flag(idx.get(), i, 5) ? 2 : 1)));
    }
    // Primary, unique and foreign keys with their columns in order.
    Result keys = run(c(),
                      "SELECT con.conrelid, con.conname, con.contype, CASE WHEN con.contype = 'f' "
                      "THEN (SELECT fn.nspname || E'\\x1f' || fc.relname FROM pg_class fc JOIN "
                      "pg_namespace fn ON fn.oid = fc.relnamespace WHERE fc.oid = con.confrelid) "
                      "ELSE '' END, "
                      "con.confupdtype, con.confdeltype, a.attname, coalesce(fa.attname, '') "
                      "FROM pg_constraint con CROSS JOIN LATERAL unnest(con.conkey) WITH "
                      "ORDINALITY AS k(attnum, ord) JOIN pg_attribute a ON a.attrelid = "
                      "con.conrelid AND a.attnum = k.attnum LEFT JOIN pg_attribute fa ON "
                      "fa.attrelid = con.confrelid AND fa.attnum = con.confkey[k.ord] WHERE "
                      "con.contype IN ('p', 'u', 'f') AND con.conrelid IN (SELECT oid FROM (" +
                          relations +
                          ") r) ORDER BY con.conrelid, con.contype = 'p' DESC, con.conname, k.ord",
                      what);
    std::map<std::string, CatalogObjectPtr> keyCols;
    for (int i = 0; i < PQntuples(keys.get()); ++i) {
        const std::string oid = value(keys.get(), i, 0);
        const std::string name = value(keys.get(), i, 1);
        const char type = value(keys.get(), i, 2)[0];
        const std::string k = oid + "\x1f" + name;
        if (!keyCols.count(k)) {
            auto key = std::make_shared<CatalogObject>("Key", name);
            key->setProperty("Type", static_cast<long long>(type == 'p'   ? adKeyPrimary
                                                            : type == 'u' ? adKeyUnique
                                                                          : adKeyForeign));
            const std::string related = value(keys.get(), i, 3);
            const auto cut = related.find('\x1f');
            key->setProperty("RelatedTable",
                             cut == std::string::npos
                                 ? related
                                 : shownName(related.substr(0, cut), related.substr(cut + 1)));
            key->setProperty("UpdateRule",
                             static_cast<long long>(
                                 type == 'f' ? ruleCode(value(keys.get(), i, 4)[0]) : adRINone));
            key->setProperty("DeleteRule",
                             static_cast<long long>(
                                 type == 'f' ? ruleCode(value(keys.get(), i, 5)[0]) : adRINone));
            auto list = std::make_shared<CatalogObject>("Columns");
            key->setChild("Columns", list);
            keysOf[oid]->addMember(key);
            keyCols[k] = list;
        }
        keyCols[k]->addMember(
            member(oid, value(keys.get(), i, 6), "RelatedColumn", value(keys.get(), i, 7)));
    }
    return tables;
}

// Views (or procedures) with their command text.
CatalogObjectPtr PostgresSession::commands(bool views) {
    const std::string sql =
        views ? "SELECT n.nspname, c.relname, pg_get_viewdef(c.oid) FROM pg_class c JOIN "
                "pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind IN ('v', 'm') AND "
                "n.nspname = ANY (current_schemas(false)) ORDER BY n.nspname, c.relname"
              : "SELECT n.nspname, p.proname || '(' || pg_get_function_identity_arguments(p.oid) "
                "|| ')', p.prosrc FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
                "WHERE p.prokind IN ('f', 'p') AND n.nspname = ANY (current_schemas(false)) "
                "ORDER BY n.nspname, p.proname";
    Result r = run(c(), sql, views ? "ビューを読み取れません。" : "プロシージャを読み取れません。");
    auto list = std::make_shared<CatalogObject>(views ? "Views" : "Procedures");
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        std::string text = value(r.get(), i, 2);
        text.erase(0, text.find_first_not_of(" \n"));
        auto o = makeCommandObject(views ? "View" : "Procedure",
                                   shownName(value(r.get(), i, 0), value(r.get(), i, 1)), text);
        list->addMember(o);
    }
    return list;
}

CatalogObjectPtr PostgresSession::views() {
    return commands(true);
}

CatalogObjectPtr PostgresSession::procedures() {
    return commands(false);
}

// Roles that can log in (users) or cannot (groups), each with the other kind it is tied to.
CatalogObjectPtr PostgresSession::roles(bool login) {
    Result r = run(c(),
                   "SELECT r.rolname, coalesce(string_agg(o.rolname, E'\\x1f' ORDER BY o.rolname), "
                   "'') FROM pg_roles r LEFT JOIN pg_auth_members m ON (CASE WHEN $1 THEN "
                   "m.member = r.oid ELSE m.roleid = r.oid END) LEFT JOIN pg_roles o ON o.oid = "
                   "(CASE WHEN $1 THEN m.roleid ELSE m.member END) AND o.rolcanlogin <> $1 WHERE "
                   "r.rolcanlogin = $1 AND r.rolname NOT LIKE 'pg\\_%' GROUP BY r.rolname ORDER "
                   "BY r.rolname",
                   login ? "ユーザを読み取れません。" : "グループを読み取れません。",
                   {login ? "true" : "false"});
    auto list = std::make_shared<CatalogObject>(login ? "Users" : "Groups");
    for (int i = 0; i < PQntuples(r.get()); ++i) {
        auto role = std::make_shared<CatalogObject>(login ? "User" : "Group", value(r.get(), i, 0));
        auto inner = std::make_shared<CatalogObject>(login ? "Groups" : "Users");
        std::string names = value(r.get(), i, 1);
        for (std::size_t start = 0; !names.empty() && start <= names.size();) {
            const auto end = names.find('\x1f', start);
            inner->addMember(std::make_shared<CatalogObject>(login ? "Group" : "User",
                                                             names.substr(start, end - start)));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        role->setChild(login ? "Groups" : "Users", inner);
        list->addMember(role);
    }
    return list;
}

}  // namespace

std::vector<std::string> PostgresEngine::createTableStatements(const TableDefinition& table) const {
    const std::string& t = table.name;
    const IndexDefinition* pk = checkTableDefinition(table);
    checkName(t, "表名");
    for (const auto& idx : table.indexes) checkName(idx.name, "索引名");
    std::vector<std::string> items;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const ColumnDefinition& c = table.columns[i];
        checkName(c.name, "列名");
        const ColumnSwitches on = columnSwitches(c);
        std::string& item =
            items.emplace_back(quoteIdentifier(c.name) + " " + sqlType(c, on.timeZone));
        if (on.autoIncrement) item += " GENERATED BY DEFAULT AS IDENTITY";
        if (on.notNull) item += " NOT NULL";
    }
    if (pk) {
        // Index names share the table names' namespace: the server names the key as it names
        // its own ("table_pkey", shortened to fit and made unique within the schema).
        items.push_back("PRIMARY KEY (" + quotedColumnList(pk->columns) + ")");
    }
    std::vector<std::string> statements{createTableStatement(t, items)};
    for (auto& s : createIndexStatements(table)) statements.push_back(std::move(s));
    return statements;
}

std::unique_ptr<DatabaseSession> PostgresEngine::open(const ConnectionInfo& info) {
    if (info.dataSource.empty())
        throw ServiceError(ErrorNumber::kGeneral, "データソースが指定されていません。");
    return std::make_unique<PostgresSession>(connect(info));
}

namespace {

std::string databaseName(const ConnectionInfo& info) {
    const auto parts = conninfoParts(info.dataSource);
    const auto it = parts.find("dbname");
    if (it == parts.end() || it->second.empty())
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソース「" + PostgresEngine().shownDataSource(info.dataSource) +
                               "」にデータベース名（dbname）がありません。");
    return it->second;
}

}  // namespace

void PostgresEngine::createDatabase(const ConnectionInfo& info) {
    const std::string name = databaseName(info);
    checkName(name, "データベース名");
    Conn conn = connect(info, "postgres");
    Result exists = run(conn.get(), "SELECT 1 FROM pg_database WHERE datname = $1",
                        "データベース「" + name + "」を作成できません。", {name});
    if (PQntuples(exists.get()) > 0)
        throw ServiceError(ErrorNumber::kFileExists,
                           "データベース「" + name + "」は既に存在します。");
    run(conn.get(), "CREATE DATABASE " + quoteIdentifier(name),
        "データベース「" + name + "」を作成できません。");
}

namespace {

// True when libpq reads a password in @p dataSource (or cannot read it at all).
bool holdsPassword(const std::string& dataSource) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(dataSource.c_str(), &error);
    if (!options) {
        PQfreemem(error);
        return true;
    }
    bool found = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        found = found || (o->val && std::string(o->keyword) == "password");
    PQconninfoFree(options);
    return found;
}

// A "key=value ..." data source without its password, everything else kept as written (read
// as libpq reads it); nullopt for a URI.
std::optional<std::string> keyValueWithoutPassword(const std::string& s) {
    if (s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0) return std::nullopt;
    auto blank = [&](std::size_t i) { return std::isspace(static_cast<unsigned char>(s[i])); };
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && blank(i)) ++i;
        if (i == s.size()) break;
        const std::size_t start = i;
        while (i < s.size() && s[i] != '=' && !blank(i)) ++i;
        const std::string key = s.substr(start, i - start);
        while (i < s.size() && blank(i)) ++i;
        if (i == s.size() || s[i] != '=') return std::nullopt;
        ++i;
        while (i < s.size() && blank(i)) ++i;
        if (i < s.size() && s[i] == '\'') {
            for (++i; i < s.size() && s[i] != '\''; ++i)
                if (s[i] == '\\') ++i;
            if (i >= s.size()) return std::nullopt;
            ++i;
        } else {
            for (; i < s.size() && !blank(i); ++i)
                if (s[i] == '\\') ++i;
            i = std::min(i, s.size());
        }
        if (key != "password") out += (out.empty() ? "" : " ") + s.substr(start, i - start);
    }
    return out;
}

}  // namespace

std::string PostgresEngine::shownDataSource(const std::string& dataSource) const {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(dataSource.c_str(), &error);
    if (!options) {
        PQfreemem(error);
        return unreadableDataSourceShown(dataSource);
    }
    bool password = false;
    std::string rebuilt;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val) continue;
        if (std::string(o->keyword) == "password") {
            password = true;
            continue;
        }
        rebuilt +=
            (rebuilt.empty() ? "" : " ") + std::string(o->keyword) + "=" + conninfoValue(o->val);
    }
    PQconninfoFree(options);
    // Without a password the text stays as the user wrote it; with one, as much of it as can.
    if (!password) return dataSource;
    const auto kept = keyValueWithoutPassword(dataSource);
    return kept && !holdsPassword(*kept) ? *kept : rebuilt;
}

void PostgresEngine::dropDatabase(const ConnectionInfo& info) {
    const std::string name = databaseName(info);
    Conn conn = connect(info, "postgres");
    run(conn.get(), "DROP DATABASE " + quoteIdentifier(name),
        "データベース「" + name + "」は削除できません。");
}

}  // namespace quorix
