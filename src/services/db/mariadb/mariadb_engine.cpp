#include "services/db/mariadb/mariadb_engine.h"

#include <mysql.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <utility>

#include "services/db/engine/data_type.h"

namespace quorix {

namespace {

constexpr std::size_t kMaxIdentifier = 64;  // characters
constexpr unsigned kServerGone = 2006;      // CR_SERVER_GONE_ERROR
constexpr unsigned kServerLost = 2013;      // CR_SERVER_LOST

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

std::size_t characters(const std::string& s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void checkName(const std::string& name, const char* what) {
    if (characters(name) > kMaxIdentifier)
        throw ServiceError(ErrorNumber::kGeneral,
                           std::string(what) + "「" + name + "」は長すぎます（" +
                               std::to_string(kMaxIdentifier) + "文字まで）。");
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

struct MysqlCloser {
    void operator()(MYSQL* m) const { mysql_close(m); }
};
using Conn = std::unique_ptr<MYSQL, MysqlCloser>;
struct ResultFreer {
    void operator()(MYSQL_RES* r) const { mysql_free_result(r); }
};
using Result = std::unique_ptr<MYSQL_RES, ResultFreer>;

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

std::string literal(MYSQL* m, const std::string& text) {
    std::string out(text.size() * 2 + 3, '\0');
    out[0] = '\'';
    const unsigned long n = mysql_real_escape_string(m, out.data() + 1, text.data(), text.size());
    out.resize(n + 1);
    return out + "'";
}

// The parts of a data source: host, port, database, socket (and a password written into it).
struct DataSource {
    std::string host, port, database, socket, user, password;
};

DataSource parseDataSource(const std::string& text) {
    DataSource d;
    auto set = [&](const std::string& key, const std::string& value) {
        if (key == "host")
            d.host = value;
        else if (key == "port")
            d.port = value;
        else if (key == "database" || key == "dbname")
            d.database = value;
        else if (key == "socket" || key == "unix_socket")
            d.socket = value;
        else if (key == "user")
            d.user = value;
        else if (key == "password")
            d.password = value;
        else
            throw ServiceError(ErrorNumber::kGeneral, "データソースの「" + key +
                                                          "」は使用できません（host、port、"
                                                          "database、socket が使用できます）。");
    };
    for (const char* scheme : {"mariadb://", "mysql://"}) {
        if (text.rfind(scheme, 0) != 0) continue;
        std::string rest = text.substr(std::string(scheme).size());
        if (const auto q = rest.find('?'); q != std::string::npos) {
            std::string query = rest.substr(q + 1);
            rest.erase(q);
            for (std::size_t start = 0; start <= query.size();) {
                const auto end = std::min(query.find('&', start), query.size());
                const std::string part = query.substr(start, end - start);
                if (const auto eq = part.find('='); eq != std::string::npos)
                    set(part.substr(0, eq), part.substr(eq + 1));
                start = end + 1;
            }
        }
        const auto slash = rest.find('/');
        if (slash != std::string::npos) d.database = rest.substr(slash + 1);
        std::string authority = rest.substr(0, slash);
        if (const auto at = authority.rfind('@'); at != std::string::npos) {
            const std::string userInfo = authority.substr(0, at);
            authority.erase(0, at + 1);
            const auto colon = userInfo.find(':');
            d.user = userInfo.substr(0, colon);
            if (colon != std::string::npos) d.password = userInfo.substr(colon + 1);
        }
        if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
            d.port = authority.substr(colon + 1);
            authority.erase(colon);
        }
        d.host = authority;
        return d;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size()) break;
        const auto eq = text.find('=', i);
        if (eq == std::string::npos)
            throw ServiceError(ErrorNumber::kGeneral,
                               "データソースは「host=… port=… database=…」か "
                               "「mariadb://ホスト:ポート/データベース」の形で指定してください。");
        const std::string key = text.substr(i, eq - i);
        std::string value;
        i = eq + 1;
        if (i < text.size() && text[i] == '\'') {  // a quoted value; \' and \\ inside
            for (++i; i < text.size() && text[i] != '\''; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                value += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ' ') value += text[i++];
        }
        set(key, value);
    }
    return d;
}

Conn connect(const ConnectionInfo& info, bool withDatabase) {
    const DataSource d = parseDataSource(info.dataSource);
    if (withDatabase && d.database.empty())
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソースにデータベース名（database=…）を指定してください。");
    Conn m(mysql_init(nullptr));
    if (!m) throw ServiceError(ErrorNumber::kGeneral, "メモリが足りません。");
    mysql_optionsv(m.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const unsigned timeout = 30;
    mysql_optionsv(m.get(), MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    // Rows go with LOAD DATA LOCAL from memory; the session's own handler never reads a file.
    const unsigned localInfile = 1;
    mysql_optionsv(m.get(), MYSQL_OPT_LOCAL_INFILE, &localInfile);
    unsigned port = 0;
    if (!d.port.empty()) {
        try {
            port = static_cast<unsigned>(std::stoul(d.port));
        } catch (const std::exception&) {
            throw ServiceError(ErrorNumber::kGeneral,
                               "ポート「" + d.port + "」は数ではありません。");
        }
    }
    const std::string user = info.user.empty() ? d.user : info.user;
    const std::string password = info.password.empty() ? d.password : info.password;
    if (!mysql_real_connect(m.get(), d.host.empty() ? nullptr : d.host.c_str(),
                            user.empty() ? nullptr : user.c_str(), password.c_str(),
                            withDatabase ? d.database.c_str() : nullptr, port,
                            d.socket.empty() ? nullptr : d.socket.c_str(), 0))
        throw serverError(m.get(), "データベースに接続できません。");
    // Nothing is cut or guessed: a value that does not fit is an error, not a warning.
    run(m.get(),
        "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ZERO_IN_DATE,NO_ZERO_DATE,"
        "ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION', SESSION innodb_lock_wait_timeout = 30",
        "データベースに接続できません。");
    return m;
}

std::string sqlType(const ColumnDefinition& c, bool timeZone) {
    switch (c.type) {
        case adVarWChar:
        case adVarChar:
            return "varchar(" + std::to_string(c.definedSize > 0 ? c.definedSize : 255) + ")";
        case adWChar:
        case adChar:
            return "char(" + std::to_string(c.definedSize > 0 ? c.definedSize : 255) + ")";
        case adLongVarWChar:
        case adLongVarChar:
            return "text";
        case adInteger:
            return "int";
        case adSmallInt:
            return "smallint";
        case adBigInt:
            return "bigint";
        case adNumeric:
        case adDecimal:
            if (c.precision > 0)
                return "decimal(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
            return "decimal(65,30)";  // the widest: no digit of a value is rounded away
        case adDouble:
            return "double";
        case adSingle:
            return "float";
        case adBoolean:
            return "boolean";
        case adDBDate:
            return "date";
        case adDBTimeStamp:
        case adDate:
            return timeZone ? "timestamp(6)" : "datetime(6)";
        case adLongVarBinary:
        case adVarBinary:
        case adBinary:
            return "longblob";
        case adCurrency:
            return "decimal(19,4)";
        default:
            throw ServiceError(ErrorNumber::kNotSupported,
                               "列「" + c.name + "」の型（" + std::to_string(c.type) +
                                   "）はこのデータベースでは使用できません。");
    }
}

// InnoDB keeps a key in at most 3072 bytes, four to a character of utf8mb4, and no text or
// binary column of unbounded length: said before anything is sent.
void checkKeyLength(const TableDefinition& table, const IndexDefinition& key) {
    constexpr long long kLimit = 3072;
    long long bytes = 0;
    for (const std::string& name : key.columns) {
        const auto c = std::find_if(table.columns.begin(), table.columns.end(),
                                    [&](const ColumnDefinition& d) { return d.name == name; });
        if (c == table.columns.end()) continue;
        switch (c->type) {
            case adVarWChar:
            case adVarChar:
            case adWChar:
            case adChar:
                bytes += 4LL * (c->definedSize > 0 ? c->definedSize : 255) + 2;
                break;
            case adLongVarWChar:
            case adLongVarChar:
            case adLongVarBinary:
            case adVarBinary:
            case adBinary:
                throw ServiceError(ErrorNumber::kGeneral,
                                   "表「" + table.name + "」のキーの列「" + name +
                                       "」には長さに限りのない型は使えません。桁数のある型"
                                       "（varchar）にしてください。");
            case adBigInt:
            case adDouble:
            case adDBTimeStamp:
            case adDate:
            case adCurrency:
                bytes += 8;
                break;
            case adNumeric:
            case adDecimal:
                bytes += 30;
                break;
            default:
                bytes += 4;
        }
    }
    if (bytes > kLimit)
        throw ServiceError(ErrorNumber::kGeneral,
                           "表「" + table.name + "」の主キーは長すぎます（" +
                               std::to_string(bytes) + "バイト、" + std::to_string(kLimit) +
                               "バイトまで）。キーになる列の桁数を小さくしてください。");
}

// CREATE TABLE and CREATE INDEX of @p table, its name after @p prefix ("`db`." or empty).
// Keys compare exactly as written: a binary collation without MariaDB's and MySQL 5's padding,
// under which "A" and "A " are the same key.
constexpr const char* kMariaDbCollation = "utf8mb4_nopad_bin";
constexpr const char* kMySqlCollation = "utf8mb4_0900_bin";

std::vector<std::string> statementsFor(const TableDefinition& table, const std::string& prefix,
                                       const std::string& collation = kMariaDbCollation) {
    const IndexDefinition* pk = checkTableDefinition(table);
    checkName(table.name, "表名");
    std::vector<std::string> items;
    std::string autoColumn;
    for (const ColumnDefinition& c : table.columns) {
        checkName(c.name, "列名");
        const ColumnSwitches on = columnSwitches(c);
        std::string& item = items.emplace_back(backticked(c.name) + " " + sqlType(c, on.timeZone));
        if (on.notNull) item += " NOT NULL";
        if (on.autoIncrement) {
            item += " AUTO_INCREMENT";
            autoColumn = c.name;
        }
    }
    if (pk) {
        checkKeyLength(table, *pk);
        items.push_back("PRIMARY KEY (" + backtickedList(pk->columns) + ")");
    }
    // The server wants an auto-numbered column to begin a key.
    if (!autoColumn.empty() && !(pk && pk->columns.front() == autoColumn) &&
        std::none_of(table.indexes.begin(), table.indexes.end(),
                     [&](const IndexDefinition& i) { return i.columns.front() == autoColumn; }))
        items.push_back("KEY (" + backticked(autoColumn) + ")");
    std::string sql = "CREATE TABLE " + prefix + backticked(table.name) + " (";
    for (std::size_t i = 0; i < items.size(); ++i) sql += (i ? ",\n    " : "\n    ") + items[i];
    sql += "\n) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=" + collation;
    std::vector<std::string> statements{sql};
    for (const IndexDefinition& idx : table.indexes) {
        if (idx.primaryKey) continue;
        checkName(idx.name, "索引名");
        statements.push_back(std::string("CREATE ") + (idx.unique ? "UNIQUE " : "") + "INDEX " +
                             backticked(idx.name) + " ON " + prefix + backticked(table.name) +
                             " (" + backtickedList(idx.columns) + ")");
    }
    return statements;
}

// The type code, size and attributes of an information_schema column.
using TypeFacts = ColumnFacts;

TypeFacts typeFacts(const std::string& dataType, const std::string& columnType,
                    const std::string& length, const std::string& precision,
                    const std::string& scale) {
    TypeFacts f;
    auto num = [](const std::string& s) { return s.empty() ? 0LL : std::stoll(s); };
    static const std::map<std::string, std::pair<int32_t, bool>> kTypes = {
        {"varchar", {adVarWChar, false}},
        {"char", {adWChar, true}},
        {"text", {adLongVarWChar, false}},
        {"tinytext", {adLongVarWChar, false}},
        {"mediumtext", {adLongVarWChar, false}},
        {"longtext", {adLongVarWChar, false}},
        {"int", {adInteger, true}},
        {"mediumint", {adInteger, true}},
        {"smallint", {adSmallInt, true}},
        {"bigint", {adBigInt, true}},
        {"decimal", {adNumeric, true}},
        {"double", {adDouble, true}},
        {"float", {adSingle, true}},
        {"date", {adDBDate, true}},
        {"datetime", {adDBTimeStamp, true}},
        {"timestamp", {adDBTimeStamp, true}},
        {"blob", {adLongVarBinary, false}},
        {"longblob", {adLongVarBinary, false}},
        {"mediumblob", {adLongVarBinary, false}},
        {"varbinary", {adVarBinary, false}},
        {"binary", {adBinary, true}},
        {"tinyint", {adTinyInt, true}},
    };
    if (const auto it = kTypes.find(dataType); it != kTypes.end()) {
        f.type = it->second.first;
        f.fixed = it->second.second;
    }
    if (dataType == "tinyint" && columnType.rfind("tinyint(1)", 0) == 0) f.type = adBoolean;
    f.size = num(length);
    f.precision = num(precision);
    f.scale = num(scale);
    return f;
}

// What LOAD DATA LOCAL reads: only rows this program armed, never a file the server names.
struct LocalRows {
    const std::string* text = nullptr;
    std::size_t from = 0, to = 0;
};

int localInit(void** handle, const char*, void* userdata) {
    *handle = userdata;
    return static_cast<LocalRows*>(userdata)->text ? 0 : 1;
}
int localRead(void* handle, char* buffer, unsigned int length) {
    auto* rows = static_cast<LocalRows*>(handle);
    const std::size_t n = std::min<std::size_t>(length, rows->to - rows->from);
    std::copy_n(rows->text->data() + rows->from, n, buffer);
    rows->from += n;
    return static_cast<int>(n);
}
void localEnd(void*) {}
int localError(void*, char* message, unsigned int length) {
    std::snprintf(message, length, "no rows were armed");
    return 2000;  // CR_UNKNOWN_ERROR
}

// Sends one batch of rows at a time on a thread of its own, so that the next batch is made
// while the server takes the last. Whoever uses the connection settles first: waits for the
// batch in flight, and hears of its failure.
class BatchSender {
public:
    BatchSender() = default;
    BatchSender(const BatchSender&) = delete;
    BatchSender& operator=(const BatchSender&) = delete;
    ~BatchSender() { discard(); }

    void submit(std::function<void()> job) {
        settle();
        m_job = std::async(std::launch::async, std::move(job));
    }
    void settle() {
        if (m_job.valid()) m_job.get();
    }
    /// Waits, and forgets what went wrong (the transaction is being undone anyway).
    void discard() noexcept {
        try {
            settle();
        } catch (...) {
        }
    }

private:
    std::future<void> m_job;
};

// Rows into one table: one INSERT each, or gathered and sent with LOAD DATA LOCAL from memory
// (the server's bulk path) or, where the server does not take that, in multi-row INSERTs.
class MariaDbInserter : public RowInserter {
public:
    enum class Mode { Single, MultiInsert, LoadData };

    MariaDbInserter(MYSQL* m, LocalRows& local, BatchSender& sender, std::string target,
                    const std::vector<std::string>& columns, std::string table, Mode mode)
        : m_m(m),
          m_local(local),
          m_sender(sender),
          m_target(std::move(target)),
          m_columnList(backtickedList(columns)),
          m_table(std::move(table)),
          m_columns(columns.size()),
          m_mode(mode) {
        if (m_mode == Mode::LoadData) m_batch.text.reserve(kLoadDataBatch + (64 << 10));
    }
    ~MariaDbInserter() override { m_sender.discard(); }

    void insert(const CellValue* row, std::size_t count, RowTag tag) override {
        if (count != m_columns)
            throw ServiceError(ErrorNumber::kGeneral, "表「" + m_table + "」の列の数が違います。");
        m_batch.starts.push_back(m_batch.text.size());
        m_batch.tags.push_back(tag);
        if (m_mode == Mode::LoadData)
            appendLine(row, count);
        else
            appendTuple(row, count);
        // LOAD DATA takes large batches well; INSERT statements stay within the packet size.
        const bool full = m_mode == Mode::LoadData
                              ? m_batch.text.size() >= kLoadDataBatch
                              : m_batch.tags.size() >= MariaDbEngine::bulkRows ||
                                    m_batch.text.size() >= (std::size_t(4) << 20);
        if (m_mode == Mode::Single || full) send();
    }

    void finish() override {
        send();
        m_sender.settle();
    }

    // LOAD DATA takes batches of this size well; two are alive at once (one in flight).
    static constexpr std::size_t kLoadDataBatch = std::size_t(4) << 20;

private:
    struct Batch {
        std::string text;                 // the rows, as LOAD DATA lines or INSERT tuples
        std::vector<std::size_t> starts;  // where each row begins in text
        std::vector<RowTag> tags;
    };
    using Warning = std::pair<unsigned, std::string>;  // what the server said of a skipped row

    // A row as a line of LOAD DATA's default format: tabs between fields, \N for null.
    void appendLine(const CellValue* row, std::size_t count) {
        std::string& text = m_batch.text;
        for (std::size_t i = 0; i < count; ++i) {
            if (i) text += '\t';
            const CellValue& v = row[i];
            if (std::holds_alternative<std::monostate>(v)) {
                text += "\\N";
            } else if (const auto* n = std::get_if<long long>(&v)) {
                text += std::to_string(*n);
            } else if (const auto* b = std::get_if<bool>(&v)) {
                text += *b ? '1' : '0';
            } else {
                for (char ch : std::get<std::string>(v)) {
                    switch (ch) {
                        case '\\':
                            text += "\\\\";
                            break;
                        case '\t':
                            text += "\\t";
                            break;
                        case '\n':
                            text += "\\n";
                            break;
                        case '\r':
                            text += "\\r";
                            break;
                        case '\0':
                            text += "\\0";
                            break;
                        default:
                            text += ch;
                    }
                }
            }
        }
        text += '\n';
    }

    void appendTuple(const CellValue* row, std::size_t count) {
        std::string& text = m_batch.text;
        text += m_batch.tags.size() > 1 ? ",(" : "(";
        for (std::size_t i = 0; i < count; ++i) {
            if (i) text += ",";
            const CellValue& v = row[i];
            if (std::holds_alternative<std::monostate>(v))
                text += "NULL";
            else if (const auto* n = std::get_if<long long>(&v))
                text += std::to_string(*n);
            else if (const auto* b = std::get_if<bool>(&v))
                text += *b ? "TRUE" : "FALSE";
            else
                text += literal(m_m, std::get<std::string>(v));
        }
        text += ")";
    }

    ServiceError rowError(Warning& warning) const {
        const std::string what = "表「" + m_table + "」に行を追加できません。";
        if (warning.second.empty()) {
            // Nothing a row did: the server ended the transaction, or waited for a lock.
            if (lost(m_m) || endsTransaction(mysql_errno(m_m)))
                return ServiceError(ErrorNumber::kTransactionAborted,
                                    what + "サーバーがトランザクション全体を取り消しました。" +
                                        serverError(m_m, "").description());
            return serverError(m_m, what);
        }
        const auto [code, text] = std::exchange(warning, {});
        return ServiceError(numberFor(code),
                            what + "（" + std::to_string(code) + ": " + text + "）");
    }

    // Sends rows [first, last) of @p b; false when the server refused one of them.
    bool sendRange(const Batch& b, std::size_t first, std::size_t last, Warning& warning) const {
        const std::size_t from = b.starts[first];
        const std::size_t to = last < b.starts.size() ? b.starts[last] : b.text.size();
        if (m_mode == Mode::LoadData) {
            m_local = {&b.text, from, to};
            const std::string sql = "LOAD DATA LOCAL INFILE 'quorix-rows' INTO TABLE " + m_target +
                                    " CHARACTER SET utf8mb4 (" + m_columnList + ")";
            const bool sent = mysql_real_query(m_m, sql.data(), sql.size()) == 0;
            m_local = {};
            if (!sent) return false;
            return taken(last - first, warning);
        }
        // Tuples after the first carry a leading comma.
        const std::size_t skip = b.text[from] == ',' ? 1 : 0;
        std::string sql = "INSERT INTO " + m_target + " (" + m_columnList + ") VALUES ";
        sql.append(b.text, from + skip, to - from - skip);
        if (mysql_real_query(m_m, sql.data(), sql.size()) != 0) return false;
        return taken(last - first, warning);
    }

    // The server may skip a row or bend a value (round a decimal, cut a fraction of a second)
    // with only a warning or a note: for this program every row goes in exactly as given.
    bool taken(std::size_t count, Warning& warning) const {
        if (mysql_affected_rows(m_m) == count && mysql_warning_count(m_m) == 0) return true;
        const auto said = rows(m_m, "SHOW WARNINGS LIMIT 1", "警告を読み取れません。");
        warning = said.empty()
                      ? Warning{0, "一部の行が入りませんでした。"}
                      : Warning{static_cast<unsigned>(std::stoul(said[0][1])), said[0][2]};
        return false;
    }

    // One batch in, or the refused row named (halving the batch to find it).
    void sendBatch(const Batch& b) const {
        Warning warning;
        if (m_mode == Mode::Single) {
            if (!sendRange(b, 0, 1, warning)) throw rowError(warning);
            return;
        }
        run(m_m, "SAVEPOINT quorix_rows", "セーブポイントを作成できません。");
        if (sendRange(b, 0, b.tags.size(), warning)) {
            run(m_m, "RELEASE SAVEPOINT quorix_rows", "セーブポイントを解放できません。");
            return;
        }
        const ServiceError failed = rowError(warning);
        if (failed.number() == ErrorNumber::kTransactionAborted ||
            failed.number() == ErrorNumber::kLockTimeout)
            throw failed;
        // A server that ended the transaction has no savepoint left: no row is to blame.
        if (mysql_real_query(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", 33) != 0)
            throw ServiceError(ErrorNumber::kTransactionAborted,
                               failed.description() +
                                   "サーバーがトランザクション全体を取り消しました。");
        // The shortest refused beginning of the batch ends with the refused row.
        std::size_t good = 0, bad = b.tags.size();
        for (bool first = true; bad - good > 1; first = false) {
            if (!first)
                run(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", "セーブポイントまで戻せません。");
            const std::size_t middle = good + (bad - good) / 2;
            if (sendRange(b, 0, middle, warning)) {
                good = middle;
            } else {
                if (lost(m_m)) throw rowError(warning);
                bad = middle;
            }
            warning = {};
        }
        // The refusal of that row itself, after the rows before it.
        run(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", "セーブポイントまで戻せません。");
        ServiceError error = failed;
        if ((good == 0 || sendRange(b, 0, good, warning)) && !sendRange(b, good, good + 1, warning))
            error = rowError(warning);
        run(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", "セーブポイントまで戻せません。");
        throw RowRefused(error, b.tags[good], m_table);
    }

    void send() {
        if (m_batch.tags.empty()) return;
        auto batch = std::make_shared<Batch>(std::exchange(m_batch, {}));
        // Room for one batch made at once: a string that doubles as it grows would hold twice.
        if (m_mode == Mode::LoadData) m_batch.text.reserve(kLoadDataBatch + (64 << 10));
        if (m_mode == Mode::LoadData) {
            m_sender.submit([this, batch] { sendBatch(*batch); });
        } else {
            m_sender.settle();
            sendBatch(*batch);
        }
    }

    MYSQL* m_m;
    LocalRows& m_local;
    BatchSender& m_sender;
    std::string m_target;
    std::string m_columnList;
    std::string m_table;
    std::size_t m_columns;
    Mode m_mode;
    Batch m_batch;
};

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

    CatalogObjectPtr tables() override;
    CatalogObjectPtr tableNames() override;
    CatalogObjectPtr tableDetails(const std::string& name) override;
    CatalogObjectPtr views() override { return commands(true); }
    CatalogObjectPtr procedures() override { return commands(false); }
    CatalogObjectPtr groups() override { return accounts(true); }
    CatalogObjectPtr users() override { return accounts(false); }

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
                     literal(c(), schemaOf(table)) + " AND TABLE_NAME = " + literal(c(), table) +
                     " ORDER BY ORDINAL_POSITION",
                 "表「" + table + "」の列を読み取れません。");
        std::vector<std::string> names;
        for (const auto& r : found) names.push_back(r[0]);
        return names;
    }

    std::unique_ptr<RowInserter> inserter(const std::string& table,
                                          const std::vector<std::string>& columns) override {
        reopen();
        return std::make_unique<MariaDbInserter>(c(), m_local, m_sender, qualified(table), columns,
                                                 table, MariaDbInserter::Mode::Single);
    }
    std::unique_ptr<RowInserter> bulkInserter(const std::string& table,
                                              const std::vector<std::string>& columns) override {
        reopen();
        return std::make_unique<MariaDbInserter>(
            c(), m_local, m_sender, qualified(table), columns, table,
            m_loadData ? MariaDbInserter::Mode::LoadData : MariaDbInserter::Mode::MultiInsert);
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
        const std::string what = "作業用のデータベースを作成できません。表を一度に作成するには、"
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
                                "AND t.TABLE_NAME = '" + std::string(kStagingMark) +
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
                                           backticked(name) + "." + backticked(kStagingMark) +
                                           " m",
                                       "");
                if (mark.size() != 1 || mark[0][0] != "1" || mark[0][1] != "0") continue;
                run(c(), "DROP DATABASE " + backticked(name), "");
                m_removedStaging.push_back(name);
            } catch (const ServiceError&) {
                // Not ours to judge (no privilege): it stays.
            }
        }
    }

    CatalogObjectPtr commands(bool views);
    CatalogObjectPtr accounts(bool roles);
    CatalogObjectPtr readTables(const std::string* name);
    static CatalogObjectPtr tableObject(const std::vector<std::string>& row);

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
};

CatalogObjectPtr MariaDbSession::tables() {
    return readTables(nullptr);
}

CatalogObjectPtr MariaDbSession::tableNames() {
    auto tables = std::make_shared<CatalogObject>("Tables");
    for (const auto& r : rows(c(),
                              "SELECT TABLE_NAME, CREATE_TIME, UPDATE_TIME FROM "
                              "information_schema.TABLES WHERE TABLE_SCHEMA = " +
                                  literal(c(), m_database) +
                                  " AND TABLE_TYPE = 'BASE TABLE' ORDER BY BINARY TABLE_NAME",
                              "表の一覧を読み取れません。"))
        tables->addMember(tableObject(r));
    return tables;
}

CatalogObjectPtr MariaDbSession::tableDetails(const std::string& name) {
    const auto tables = readTables(&name);
    return tables->members().empty() ? nullptr : tables->members().front();
}

// A table with its own properties, from TABLE_NAME, CREATE_TIME, UPDATE_TIME.
CatalogObjectPtr MariaDbSession::tableObject(const std::vector<std::string>& r) {
    auto t = std::make_shared<CatalogObject>("Table", r[0]);
    t->setProperty("Type", std::string("TABLE"));
    if (r[1].empty())
        t->setPropertyError("DateCreated", kNoDatesKept);
    else
        t->setProperty("DateCreated", r[1]);
    if (r[2].empty())
        t->setPropertyError("DateModified", kNoDatesKept);
    else
        t->setProperty("DateModified", r[2]);
    return t;
}

CatalogObjectPtr MariaDbSession::readTables(const std::string* name) {
    const std::string what = "表の一覧を読み取れません。";
    const std::string schema = literal(c(), m_database);
    const std::string only = name ? " AND TABLE_NAME = " + literal(c(), *name) : std::string();
    const std::string onlyTc = name ? " AND tc.TABLE_NAME = " + literal(c(), *name) : std::string();
    auto tables = std::make_shared<CatalogObject>("Tables");
    std::map<std::string, CatalogObjectPtr> byName;
    std::map<std::string, std::map<std::string, CatalogObjectPtr>> columnsByName;
    for (const auto& r :
         rows(c(),
              "SELECT TABLE_NAME, CREATE_TIME, UPDATE_TIME FROM "
              "information_schema.TABLES WHERE TABLE_SCHEMA = " +
                  schema + only + " AND TABLE_TYPE = 'BASE TABLE' ORDER BY BINARY TABLE_NAME",
              what)) {
        auto t = tableObject(r);
        for (const char* role : {"Columns", "Indexes", "Keys"})
            t->setChild(role, std::make_shared<CatalogObject>(role));
        byName[r[0]] = t;
        tables->addMember(t);
    }
    for (const auto& r : rows(c(),
                              "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, COLUMN_TYPE, "
                              "CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, NUMERIC_SCALE, "
                              "IS_NULLABLE, EXTRA FROM information_schema.COLUMNS WHERE "
                              "TABLE_SCHEMA = " +
                                  schema + only + " ORDER BY BINARY TABLE_NAME, ORDINAL_POSITION",
                              what)) {
        const auto t = byName.find(r[0]);
        if (t == byName.end()) continue;
        ColumnFacts f = typeFacts(r[2], r[3], r[4], r[5], r[6]);
        f.nullable = r[7] == "YES";
        f.autoIncrement = r[8].find("auto_increment") != std::string::npos;
        f.timeZone = r[2] == "timestamp";
        auto col = columnObject(r[1], f);
        columnsByName[r[0]][r[1]] = col;
        t->second->child("Columns")->addMember(col);
    }
    auto member = [&](const std::string& table, const std::string& name, const char* property,
                      PropertyValue v) {
        auto m = std::make_shared<CatalogObject>("Column", name);
        m->setProperty(property, std::move(v));
        const auto& cols = columnsByName[table];
        if (auto it = cols.find(name); it != cols.end()) m->setBase(it->second);
        return m;
    };
    std::map<std::string, CatalogObjectPtr> indexCols;
    for (const auto& r : rows(c(),
                              "SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, COLUMN_NAME, COLLATION "
                              "FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = " +
                                  schema + only +
                                  " ORDER BY TABLE_NAME, INDEX_NAME <> 'PRIMARY', INDEX_NAME, "
                                  "SEQ_IN_INDEX",
                              what)) {
        const auto t = byName.find(r[0]);
        if (t == byName.end()) continue;
        const std::string key = r[0] + '\x1f' + r[1];
        if (!indexCols.count(key)) {
            const bool primary = r[1] == "PRIMARY";
            auto index = std::make_shared<CatalogObject>("Index", r[1]);
            index->setProperty("Clustered", primary);
            index->setProperty("IndexNulls", static_cast<long long>(primary ? adIndexNullsDisallow
                                                                            : adIndexNullsAllow));
            index->setProperty("PrimaryKey", primary);
            index->setProperty("Unique", r[2] == "0");
            auto list = std::make_shared<CatalogObject>("Columns");
            index->setChild("Columns", list);
            t->second->child("Indexes")->addMember(index);
            indexCols[key] = list;
        }
        indexCols[key]->addMember(
            member(r[0], r[3], "SortOrder", static_cast<long long>(r[4] == "D" ? 2 : 1)));
    }
    auto rule = [](const std::string& r) -> long long {
        if (r == "CASCADE") return adRICascade;
        if (r == "SET NULL") return adRISetNull;
        if (r == "SET DEFAULT") return adRISetDefault;
        return adRINone;
    };
    std::map<std::string, CatalogObjectPtr> keyCols;
    for (const auto& r :
         rows(c(),
              "SELECT tc.TABLE_NAME, tc.CONSTRAINT_NAME, tc.CONSTRAINT_TYPE, "
              "coalesce(k.REFERENCED_TABLE_SCHEMA, ''), "
              "coalesce(k.REFERENCED_TABLE_NAME, ''), coalesce(rc.UPDATE_RULE, ''), "
              "coalesce(rc.DELETE_RULE, ''), k.COLUMN_NAME, "
              "coalesce(k.REFERENCED_COLUMN_NAME, '') FROM "
              "information_schema.TABLE_CONSTRAINTS tc JOIN "
              "information_schema.KEY_COLUMN_USAGE k ON k.CONSTRAINT_SCHEMA = "
              "tc.CONSTRAINT_SCHEMA AND k.TABLE_NAME = tc.TABLE_NAME AND "
              "k.CONSTRAINT_NAME = tc.CONSTRAINT_NAME LEFT JOIN "
              "information_schema.REFERENTIAL_CONSTRAINTS rc ON "
              "rc.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA AND rc.TABLE_NAME = "
              "tc.TABLE_NAME AND rc.CONSTRAINT_NAME = tc.CONSTRAINT_NAME WHERE "
              "tc.TABLE_SCHEMA = " +
                  schema + onlyTc +
                  " AND tc.CONSTRAINT_TYPE IN ('PRIMARY KEY', 'UNIQUE', 'FOREIGN "
                  "KEY') ORDER BY tc.TABLE_NAME, tc.CONSTRAINT_TYPE <> 'PRIMARY "
                  "KEY', tc.CONSTRAINT_NAME, k.ORDINAL_POSITION",
              what)) {
        const auto t = byName.find(r[0]);
        if (t == byName.end()) continue;
        const std::string k = r[0] + '\x1f' + r[1];
        if (!keyCols.count(k)) {
            auto key = std::make_shared<CatalogObject>("Key", r[1]);
            key->setProperty("Type", static_cast<long long>(r[2] == "PRIMARY KEY" ? adKeyPrimary
                                                            : r[2] == "UNIQUE"    ? adKeyUnique
                                                                                  : adKeyForeign));
            // A related table of another database is named with it: never confused with ours.
            key->setProperty("RelatedTable",
                             r[3].empty() || r[3] == m_database ? r[4] : r[3] + "." + r[4]);
            key->setProperty("UpdateRule", rule(r[5]));
            key->setProperty("DeleteRule", rule(r[6]));
            auto list = std::make_shared<CatalogObject>("Columns");
            key->setChild("Columns", list);
            t->second->child("Keys")->addMember(key);
            keyCols[k] = list;
        }
        keyCols[k]->addMember(member(r[0], r[7], "RelatedColumn", r[8]));
    }
    return tables;
}

CatalogObjectPtr MariaDbSession::commands(bool views) {
    const std::string schema = literal(c(), m_database);
    const std::string sql =
        views ? "SELECT TABLE_NAME, VIEW_DEFINITION FROM information_schema.VIEWS WHERE "
                "TABLE_SCHEMA = " +
                    schema + " ORDER BY BINARY TABLE_NAME"
              : "SELECT ROUTINE_NAME, coalesce(ROUTINE_DEFINITION, '') FROM "
                "information_schema.ROUTINES WHERE ROUTINE_SCHEMA = " +
                    schema + " ORDER BY BINARY ROUTINE_NAME";
    auto list = std::make_shared<CatalogObject>(views ? "Views" : "Procedures");
    for (const auto& r :
         rows(c(), sql, views ? "ビューを読み取れません。" : "プロシージャを読み取れません。"))
        list->addMember(makeCommandObject(views ? "View" : "Procedure", r[0], r[1]));
    return list;
}

// Accounts ('user'@'host') or roles, where the user may read them; otherwise none.
CatalogObjectPtr MariaDbSession::accounts(bool roles) {
    auto list = std::make_shared<CatalogObject>(roles ? "Groups" : "Users");
    std::vector<std::vector<std::string>> found;
    try {
        found = rows(c(),
                     std::string("SELECT User, Host FROM mysql.user WHERE is_role = ") +
                         (roles ? "'Y'" : "'N'") + " ORDER BY User, Host",
                     "");
    } catch (const ServiceError&) {
        return list;
    }
    for (const auto& r : found) {
        auto o = std::make_shared<CatalogObject>(roles ? "Group" : "User",
                                                 roles ? r[0] : r[0] + "@" + r[1]);
        o->setChild(roles ? "Users" : "Groups",
                    std::make_shared<CatalogObject>(roles ? "Users" : "Groups"));
        list->addMember(o);
    }
    return list;
}

}  // namespace

std::unique_ptr<DatabaseSession> MariaDbEngine::open(const ConnectionInfo& info) {
    return std::make_unique<MariaDbSession>(connect(info, true));
}

std::vector<std::string> MariaDbEngine::createTableStatements(const TableDefinition& table) const {
    return statementsFor(table, "");
}

void MariaDbEngine::createDatabase(const ConnectionInfo& info) {
    const DataSource d = parseDataSource(info.dataSource);
    if (d.database.empty())
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソースにデータベース名（database=…）を指定してください。");
    checkName(d.database, "データベース名");
    Conn m = connect(info, false);
    run(m.get(),
        "CREATE DATABASE " + backticked(d.database) + " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin",
        "データベース「" + d.database + "」を作成できません。");
}

void MariaDbEngine::dropDatabase(const ConnectionInfo& info) {
    const DataSource d = parseDataSource(info.dataSource);
    Conn m = connect(info, false);
    run(m.get(), "DROP DATABASE " + backticked(d.database),
        "データベース「" + d.database + "」を削除できません。");
}

std::string MariaDbEngine::shownDataSource(const std::string& dataSource) const {
    DataSource d;
    try {
        d = parseDataSource(dataSource);
    } catch (const ServiceError&) {
        const auto cut = dataSource.find("password");
        return cut == std::string::npos ? dataSource : dataSource.substr(0, cut);
    }
    if (d.password.empty()) return dataSource;
    // Rebuilt without the password.
    std::string shown;
    for (const auto& [key, value] : {std::pair{"host", d.host},
                                     {"port", d.port},
                                     {"socket", d.socket},
                                     {"user", d.user},
                                     {"database", d.database}})
        if (!value.empty()) shown += (shown.empty() ? "" : " ") + std::string(key) + "=" + value;
    return shown;
}

}  // namespace quorix
