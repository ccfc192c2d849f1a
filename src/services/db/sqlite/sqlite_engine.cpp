#include "services/db/sqlite/sqlite_engine.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/sqlite/sqlite_types.h"

namespace quorix {

namespace {

const char kAutoIncrementTrigger[] = "quorix_ai:";

int32_t numberFor(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ErrorNumber::kPermissionDenied;
        default:
            return ErrorNumber::kGeneral;
    }
}

std::string reasonFor(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_READONLY:
            return "データベースは読み取り専用です。";
        case SQLITE_NOTADB:
            return "データベースファイルではありません。";
        case SQLITE_CANTOPEN:
            return "データベースファイルを開けません。";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "データベースは他のプログラムが使用中です。";
        case SQLITE_FULL:
            return "ディスクがいっぱいです。";
        case SQLITE_CORRUPT:
            return "データベースファイルが壊れています。";
        default:
            return {};
    }
}

[[noreturn]] void fail(sqlite3* db, int rc, const std::string& what) {
    const std::string engineText = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const std::string reason = reasonFor(rc);
    throw ServiceError(numberFor(rc), what + reason + "(" + engineText + ")");
}

// A prepared statement, finalized on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) : m_db(db) {
        const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr);
        if (rc != SQLITE_OK) fail(db, rc, "データベースを読み取れません。");
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& text) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
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

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// Just enough of SQL's lexical rules to read back the constraint names we write.
struct SqlToken {
    std::string text;
    bool identifier = false;  // quoted identifier, never a keyword
    std::size_t end = 0;      // offset just past the token
};

std::vector<SqlToken> tokenize(std::string_view sql) {
    std::vector<SqlToken> tokens;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    auto wordChar = [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; };
    while (i < n) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            i = sql.find('\n', i);
            if (i == std::string_view::npos) i = n;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            i = sql.find("*/", i + 2);
            i = i == std::string_view::npos ? n : i + 2;
        } else if (c == '"' || c == '`' || c == '[' || c == '\'') {
            const char close = c == '[' ? ']' : c;
            std::string text;
            ++i;
            while (i < n) {
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < n && sql[i + 1] == close) {
                        text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += sql[i++];
            }
            tokens.push_back({text, c != '\'', i});
        } else if (wordChar(static_cast<unsigned char>(c))) {
            const std::size_t start = i;
            while (i < n && wordChar(static_cast<unsigned char>(sql[i]))) ++i;
            tokens.push_back({std::string(sql.substr(start, i - start)), false, i});
        } else {
            ++i;
            tokens.push_back({std::string(1, c), false, i});
        }
    }
    return tokens;
}

bool isKeyword(const SqlToken& t, const char* keyword) {
    return !t.identifier && upper(t.text) == keyword;
}

// The name given to the primary key with "CONSTRAINT name PRIMARY KEY", if any.
std::string primaryKeyName(const std::vector<SqlToken>& tokens) {
    for (std::size_t i = 0; i + 3 < tokens.size(); ++i)
        if (isKeyword(tokens[i], "CONSTRAINT") && isKeyword(tokens[i + 2], "PRIMARY") &&
            isKeyword(tokens[i + 3], "KEY"))
            return tokens[i + 1].text;
    return {};
}

bool hasKeyword(const std::vector<SqlToken>& tokens, const char* keyword) {
    return std::any_of(tokens.begin(), tokens.end(),
                       [&](const SqlToken& t) { return isKeyword(t, keyword); });
}

int32_t ruleCode(const std::string& rule) {
    const std::string r = upper(rule);
    if (r == "CASCADE") return adRICascade;
    if (r == "SET NULL") return adRISetNull;
    if (r == "SET DEFAULT") return adRISetDefault;
    return adRINone;
}

const char kNoDates[] = "作成日時と更新日時はこのデータベースには記録されていません。";

CatalogObjectPtr makeColumn(const std::string& name, const SqliteColumnType& t, bool nullable,
                            bool autoIncrement) {
    auto c = std::make_shared<CatalogObject>("Column", name);
    c->setProperty("Type", static_cast<long long>(t.type));
    c->setProperty("DefinedSize", static_cast<long long>(t.definedSize));
    c->setProperty("Attributes", static_cast<long long>((t.fixedLength ? adColFixed : 0) |
                                                        (nullable ? adColNullable : 0)));
    c->setProperty("Precision", static_cast<long long>(t.precision));
    c->setProperty("NumericScale", static_cast<long long>(t.numericScale));
    c->setProperty("AutoIncrement", autoIncrement);
    c->setProperty("Nullable", nullable);
    return c;
}

// The statements that read one table's catalog, prepared once for all tables, and the
// emulated auto-number columns of every table.
struct TableReader {
    explicit TableReader(sqlite3* db)
        : tableInfo(db, "SELECT name, type, \"notnull\", pk FROM pragma_table_info(?1)"),
          indexList(db, "SELECT name, \"unique\", origin FROM pragma_index_list(?1) ORDER BY seq DESC"),
          indexInfo(db, "SELECT name, \"desc\" FROM pragma_index_xinfo(?1) WHERE key = 1 ORDER BY seqno"),
          foreignKeys(db, "SELECT id, \"table\", \"from\", \"to\", on_update, on_delete FROM "
                          "pragma_foreign_key_list(?1) ORDER BY id DESC, seq") {
        Statement triggers(db, "SELECT tbl_name, name FROM sqlite_master WHERE type = 'trigger'");
        while (triggers.step()) {
            const std::string table = triggers.text(0);
            const std::string prefix = std::string(kAutoIncrementTrigger) + table + ":";
            const std::string name = triggers.text(1);
            if (name.compare(0, prefix.size(), prefix) == 0)
                autoColumns[table].insert(name.substr(prefix.size()));
        }
    }
    Statement& use(Statement& st, const std::string& name) {
        st.reset();
        st.bind(1, name);
        return st;
    }

    Statement tableInfo, indexList, indexInfo, foreignKeys;
    std::map<std::string, std::set<std::string>> autoColumns;
};

class SqliteSession : public DatabaseSession {
public:
    explicit SqliteSession(sqlite3* db) : m_db(db) {}
    ~SqliteSession() override { sqlite3_close_v2(m_db); }

    void beginTransaction() override { exec("BEGIN", "トランザクションを開始できません。"); }
    void commitTransaction() override { exec("COMMIT", "トランザクションを確定できません。"); }
    void rollbackTransaction() override {
        if (!sqlite3_get_autocommit(m_db))
            exec("ROLLBACK", "トランザクションを元に戻せません。");
    }

    CatalogObjectPtr tables() override;
    CatalogObjectPtr views() override;
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

private:
    void exec(const std::string& sql, const std::string& what) {
        char* err = nullptr;
        const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err);
        sqlite3_free(err);
        if (rc != SQLITE_OK) fail(m_db, rc, what);
    }
    bool tableExists(const std::string& name);
    CatalogObjectPtr readTable(const std::string& name, const std::string& sql, TableReader& reader);

    sqlite3* m_db;
};

bool SqliteSession::tableExists(const std::string& name) {
    Statement st(m_db,
                 "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 "
                 "COLLATE NOCASE");
    st.bind(1, name);
    return st.step();
}

CatalogObjectPtr SqliteSession::tables() {
    auto tables = std::make_shared<CatalogObject>("Tables");
    Statement st(m_db,
                 "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                 "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid");
    TableReader reader(m_db);
    while (st.step()) tables->addMember(readTable(st.text(0), st.text(1), reader));
    return tables;
}

CatalogObjectPtr SqliteSession::readTable(const std::string& name, const std::string& sql,
                                          TableReader& reader) {
    auto table = std::make_shared<CatalogObject>("Table", name);
    table->setProperty("Type", std::string("TABLE"));
    table->setPropertyError("DateCreated", kNoDates);
    table->setPropertyError("DateModified", kNoDates);
    const auto tokens = tokenize(sql);
    const bool rowidAutoIncrement = hasKeyword(tokens, "AUTOINCREMENT");

    const std::set<std::string>& emulatedAuto = reader.autoColumns[name];

    // Columns, and the primary key columns in key order.
    auto columns = std::make_shared<CatalogObject>("Columns");
    std::vector<std::pair<long long, std::string>> pkColumns;
    std::map<std::string, SqliteColumnType> types;
    {
        Statement& st = reader.use(reader.tableInfo, name);
        std::vector<std::tuple<std::string, std::string, bool, long long>> rows;
        while (st.step()) rows.emplace_back(st.text(0), st.text(1), st.integer(2) != 0, st.integer(3));
        const long long pkCount = std::count_if(rows.begin(), rows.end(),
                                                [](const auto& r) { return std::get<3>(r) > 0; });
        for (const auto& [colName, declared, notNull, pk] : rows) {
            const SqliteColumnType t = sqliteColumnType(declared);
            types[colName] = t;
            const bool rowidAlias = pk > 0 && pkCount == 1 && upper(declared) == "INTEGER";
            const bool autoInc = (rowidAlias && rowidAutoIncrement) || emulatedAuto.count(colName);
            const bool nullable = !notNull && !rowidAlias && pk == 0;
            columns->addMember(makeColumn(colName, t, nullable, autoInc));
            if (pk > 0) pkColumns.emplace_back(pk, colName);
        }
    }
    std::sort(pkColumns.begin(), pkColumns.end());
    table->setChild("Columns", columns);

    auto indexes = std::make_shared<CatalogObject>("Indexes");
    auto keys = std::make_shared<CatalogObject>("Keys");
    auto keyColumn = [&](const std::string& col, const std::string& related) {
        auto c = makeColumn(col, types.count(col) ? types[col] : SqliteColumnType{}, false, false);
        c->setProperty("RelatedColumn", related);
        return c;
    };
    auto indexColumn = [&](const std::string& col, bool desc) {
        auto c = makeColumn(col, types.count(col) ? types[col] : SqliteColumnType{}, false, false);
        c->setProperty("SortOrder", static_cast<long long>(desc ? 2 : 1));
        return c;
    };

    if (!pkColumns.empty()) {
        std::string pkName = primaryKeyName(tokens);
        if (pkName.empty()) pkName = "PrimaryKey";
        auto index = std::make_shared<CatalogObject>("Index", pkName);
        auto key = std::make_shared<CatalogObject>("Key", pkName);
        auto indexCols = std::make_shared<CatalogObject>("Columns");
        auto keyCols = std::make_shared<CatalogObject>("Columns");
        for (const auto& [pos, col] : pkColumns) {
            indexCols->addMember(indexColumn(col, false));
            keyCols->addMember(keyColumn(col, std::string()));
        }
        index->setProperty("Clustered", false);
        index->setProperty("IndexNulls", static_cast<long long>(adIndexNullsDisallow));
        index->setProperty("PrimaryKey", true);
        index->setProperty("Unique", true);
        index->setChild("Columns", indexCols);
        indexes->addMember(index);
        key->setProperty("Type", static_cast<long long>(adKeyPrimary));
        key->setProperty("RelatedTable", std::string());
        key->setProperty("DeleteRule", static_cast<long long>(adRINone));
        key->setProperty("UpdateRule", static_cast<long long>(adRINone));
        key->setChild("Columns", keyCols);
        keys->addMember(key);
    }

    {
        Statement& list = reader.use(reader.indexList, name);
        std::vector<std::tuple<std::string, bool, std::string>> rows;
        while (list.step()) rows.emplace_back(list.text(0), list.integer(1) != 0, list.text(2));
        for (const auto& [indexName, unique, origin] : rows) {
            if (origin == "pk") continue;
            Statement& info = reader.use(reader.indexInfo, indexName);
            auto index = std::make_shared<CatalogObject>("Index", indexName);
            auto cols = std::make_shared<CatalogObject>("Columns");
            std::vector<std::string> colNames;
            while (info.step()) {
                cols->addMember(indexColumn(info.text(0), info.integer(1) != 0));
                colNames.push_back(info.text(0));
            }
            index->setProperty("Clustered", false);
            index->setProperty("IndexNulls", static_cast<long long>(adIndexNullsAllow));
            index->setProperty("PrimaryKey", false);
            index->setProperty("Unique", unique);
            index->setChild("Columns", cols);
            indexes->addMember(index);
            if (origin == "u") {
                auto key = std::make_shared<CatalogObject>("Key", indexName);
                auto keyCols = std::make_shared<CatalogObject>("Columns");
                for (const auto& c : colNames) keyCols->addMember(keyColumn(c, std::string()));
                key->setProperty("Type", static_cast<long long>(adKeyUnique));
                key->setProperty("RelatedTable", std::string());
                key->setProperty("DeleteRule", static_cast<long long>(adRINone));
                key->setProperty("UpdateRule", static_cast<long long>(adRINone));
                key->setChild("Columns", keyCols);
                keys->addMember(key);
            }
        }
    }

    {
        Statement& st = reader.use(reader.foreignKeys, name);
        long long currentId = -1;
        CatalogObjectPtr key, keyCols;
        int number = 0;
        while (st.step()) {
            if (st.integer(0) != currentId) {
                currentId = st.integer(0);
                key = std::make_shared<CatalogObject>(
                    "Key", name + "_FK" + std::to_string(++number));
                keyCols = std::make_shared<CatalogObject>("Columns");
                key->setProperty("Type", static_cast<long long>(adKeyForeign));
                key->setProperty("RelatedTable", st.text(1));
                key->setProperty("UpdateRule", static_cast<long long>(ruleCode(st.text(4))));
                key->setProperty("DeleteRule", static_cast<long long>(ruleCode(st.text(5))));
                key->setChild("Columns", keyCols);
                keys->addMember(key);
            }
            keyCols->addMember(keyColumn(st.text(2), st.text(3)));
        }
    }
    table->setChild("Indexes", indexes);
    table->setChild("Keys", keys);
    return table;
}

CatalogObjectPtr SqliteSession::views() {
    auto views = std::make_shared<CatalogObject>("Views");
    Statement st(m_db, "SELECT name, sql FROM sqlite_master WHERE type = 'view' ORDER BY rowid");
    while (st.step()) {
        auto view = std::make_shared<CatalogObject>("View", st.text(0));
        view->setPropertyError("DateCreated", kNoDates);
        view->setPropertyError("DateModified", kNoDates);
        auto command = std::make_shared<CatalogObject>("Command", std::string());
        // The command is what follows the first AS of "CREATE VIEW name AS ...".
        const std::string sql = st.text(1);
        std::string text = sql;
        for (const auto& t : tokenize(sql)) {
            if (isKeyword(t, "AS")) {
                text = sql.substr(t.end);
                text.erase(0, text.find_first_not_of(" \t\r\n"));
                break;
            }
        }
        command->setProperty("CommandText", text);
        command->setProperty("CommandTimeout", 30LL);
        command->setProperty("Prepared", false);
        command->setProperty("State", 0LL);
        command->setProperty("CommandType", static_cast<long long>(adCmdText));
        command->setChild("Parameters", std::make_shared<CatalogObject>("Parameters"));
        view->setChild("Command", command);
        views->addMember(view);
    }
    return views;
}

void SqliteSession::createTable(const TableDefinition& table) {
    const std::string& t = table.name;
    if (t.empty()) throw ServiceError(ErrorNumber::kGeneral, "表名が指定されていません。");
    if (table.columns.empty())
        throw ServiceError(ErrorNumber::kGeneral, "表「" + t + "」に列がありません。");
    if (tableExists(t))
        throw ServiceError(ErrorNumber::kTableExists, "表「" + t + "」は既に存在します。");

    const IndexDefinition* pk = nullptr;
    for (const auto& idx : table.indexes) {
        if (idx.columns.empty())
            throw ServiceError(ErrorNumber::kGeneral, "索引「" + idx.name + "」に列がありません。");
        for (const auto& c : idx.columns)
            if (std::none_of(table.columns.begin(), table.columns.end(),
                             [&](const ColumnDefinition& d) { return d.name == c; }))
                throw ServiceError(ErrorNumber::kBadColumn,
                                   "索引「" + idx.name + "」の列「" + c + "」が表「" + t + "」にありません。");
        if (idx.primaryKey) {
            if (pk)
                throw ServiceError(ErrorNumber::kGeneral,
                                   "表「" + t + "」に主キーが二つ指定されています。");
            pk = &idx;
        }
    }

    // Column properties: every one is applied or refused, never dropped.
    std::set<std::string> autoColumns;
    std::set<std::string> notNullColumns;
    for (const auto& c : table.columns) {
        for (const auto& [prop, value] : c.properties) {
            const std::string v = upper(value);
            if (v != "TRUE" && v != "FALSE")
                throw ServiceError(ErrorNumber::kGeneral, "列「" + c.name + "」のプロパティ「" + prop +
                                                              "」に値「" + value + "」は使用できません。");
            const bool on = v == "TRUE";
            if (prop == "AutoIncrement") {
                if (on && !isIntegerType(c.type))
                    throw ServiceError(ErrorNumber::kGeneral,
                                       "オートナンバーは整数型の列にしか設定できません（列「" + c.name + "」）。");
                if (on) autoColumns.insert(c.name); else autoColumns.erase(c.name);
            } else if (prop == "Nullable") {
                if (!on) notNullColumns.insert(c.name); else notNullColumns.erase(c.name);
            } else {
                throw ServiceError(ErrorNumber::kNotSupported,
                                   "列のプロパティ「" + prop + "」はこのデータベースでは使用できません。");
            }
        }
    }

    // A single integer key column that auto-numbers becomes SQLite's own AUTOINCREMENT key.
    std::string rowidColumn;
    if (pk && pk->columns.size() == 1 && autoColumns.count(pk->columns[0])) {
        const ColumnDefinition* c = nullptr;
        for (const auto& d : table.columns)
            if (d.name == pk->columns[0]) c = &d;
        if (c->type == adInteger) rowidColumn = c->name;
    }

    std::string sql = "CREATE TABLE " + quoteIdentifier(t) + " (";
    bool first = true;
    for (const auto& c : table.columns) {
        if (!first) sql += ", ";
        first = false;
        sql += quoteIdentifier(c.name) + " " + sqliteDeclaredType(c.type, c.definedSize);
        if (c.name == rowidColumn) {
            sql += " CONSTRAINT " + quoteIdentifier(pk->name) + " PRIMARY KEY AUTOINCREMENT";
            continue;
        }
        const bool inKey = pk && std::find(pk->columns.begin(), pk->columns.end(), c.name) !=
                                     pk->columns.end();
        // An emulated auto-number must accept the empty insert that the trigger then fills.
        if ((inKey && !autoColumns.count(c.name)) || notNullColumns.count(c.name))
            sql += " NOT NULL";
    }
    if (pk && rowidColumn.empty()) {
        sql += ", CONSTRAINT " + quoteIdentifier(pk->name) + " PRIMARY KEY (";
        for (std::size_t i = 0; i < pk->columns.size(); ++i)
            sql += (i ? ", " : "") + quoteIdentifier(pk->columns[i]);
        sql += ")";
    }
    sql += ")";

    const std::string what = "表「" + t + "」を作成できません。";
    // Everything of one table is created or nothing: a savepoint inside any open transaction.
    exec("SAVEPOINT quorix_create_table", what);
    try {
        exec(sql, what);
        for (const auto& idx : table.indexes) {
            if (idx.primaryKey) continue;
            std::string s = std::string("CREATE ") + (idx.unique ? "UNIQUE " : "") + "INDEX " +
                            quoteIdentifier(idx.name) + " ON " + quoteIdentifier(t) + " (";
            for (std::size_t i = 0; i < idx.columns.size(); ++i)
                s += (i ? ", " : "") + quoteIdentifier(idx.columns[i]);
            exec(s + ")", "索引「" + idx.name + "」を作成できません。");
        }
        for (const auto& col : autoColumns) {
            if (col == rowidColumn) continue;
            const std::string q = quoteIdentifier(col);
            exec("CREATE TRIGGER " + quoteIdentifier(kAutoIncrementTrigger + t + ":" + col) +
                     " AFTER INSERT ON " + quoteIdentifier(t) + " FOR EACH ROW WHEN NEW." + q +
                     " IS NULL BEGIN UPDATE " + quoteIdentifier(t) + " SET " + q +
                     " = (SELECT IFNULL(MAX(" + q + "), 0) + 1 FROM " + quoteIdentifier(t) +
                     ") WHERE rowid = NEW.rowid; END",
                 what);
        }
        exec("RELEASE quorix_create_table", what);
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK TO quorix_create_table; RELEASE quorix_create_table", nullptr,
                     nullptr, nullptr);
        throw;
    }
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

std::unique_ptr<DatabaseSession> SqliteEngine::open(const ConnectionInfo& info) {
    const std::string& path = info.dataSource;
    if (path.empty())
        throw ServiceError(ErrorNumber::kGeneral, "データソースが指定されていません。");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw ServiceError(ErrorNumber::kGeneral,
                           "データベースファイル「" + path + "」が見つかりません。");
    if (!S_ISREG(st.st_mode) || st.st_size == 0)
        throw ServiceError(ErrorNumber::kGeneral,
                           "「" + path + "」はデータベースファイルではありません。");
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw ServiceError(ErrorNumber::kGeneral,
                           "データベース「" + path + "」を開けません。(" + text + ")");
    }
    auto session = std::make_unique<SqliteSession>(db);
    sqlite3_busy_timeout(db, 2000);
    rc = sqlite3_exec(db, "PRAGMA foreign_keys = ON; SELECT count(*) FROM sqlite_master", nullptr,
                      nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(db, rc, "データベース「" + path + "」を開けません。");
    return session;
}

void SqliteEngine::createDatabase(const ConnectionInfo& info) {
    const std::string& path = info.dataSource;
    if (path.empty())
        throw ServiceError(ErrorNumber::kGeneral, "データソースが指定されていません。");
    // O_EXCL: an existing file is never touched, even one that appears meanwhile.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            throw ServiceError(ErrorNumber::kFileExists,
                               "データベース「" + path + "」は既に存在します。");
        throw ServiceError(ErrorNumber::kGeneral, "データベース「" + path + "」を作成できません。(" +
                                                      std::strerror(errno) + ")");
    }
    ::close(fd);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        // Writing the header makes the file a valid database rather than an empty file.
        rc = sqlite3_exec(db, "PRAGMA application_id = 1364349004; PRAGMA user_version = 1",
                          nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        ::unlink(path.c_str());
        throw ServiceError(ErrorNumber::kGeneral,
                           "データベース「" + path + "」を作成できません。(" + text + ")");
    }
    sqlite3_close_v2(db);
}

}  // namespace quorix
