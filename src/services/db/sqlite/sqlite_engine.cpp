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
#include <unordered_map>
#include <vector>

#include "services/db/engine/currency.h"
#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/sqlite/sqlite_schema.h"
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

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

int32_t ruleCode(const std::string& rule) {
    const std::string r = upper(rule);
    if (r == "CASCADE") return adRICascade;
    if (r == "SET NULL") return adRISetNull;
    if (r == "SET DEFAULT") return adRISetDefault;
    return adRINone;
}

// A table column: its properties are fields, not a list, since a catalog has many columns.
class SqliteColumn : public CatalogObject {
public:
    SqliteColumn(const std::string& name, const SqliteColumnType& type, bool nullable,
                 bool autoIncrement)
        : CatalogObject("Column", name),
          m_type(type),
          m_nullable(nullable),
          m_autoIncrement(autoIncrement) {}

protected:
    std::optional<PropertyValue> fieldProperty(std::string_view name) const override {
        if (name == "Type") return static_cast<long long>(m_type.type);
        if (name == "DefinedSize") return static_cast<long long>(m_type.definedSize);
        if (name == "Attributes")
            return static_cast<long long>((m_type.fixedLength ? adColFixed : 0) |
                                          (m_nullable ? adColNullable : 0));
        if (name == "Precision") return static_cast<long long>(m_type.precision);
        if (name == "NumericScale") return static_cast<long long>(m_type.numericScale);
        if (name == "AutoIncrement") return m_autoIncrement;
        if (name == "Nullable") return m_nullable;
        return std::nullopt;
    }

private:
    SqliteColumnType m_type;
    bool m_nullable;
    bool m_autoIncrement;
};

CatalogObjectPtr makeColumn(const std::string& name, const SqliteColumnType& t, bool nullable,
                            bool autoIncrement) {
    return std::make_shared<SqliteColumn>(name, t, nullable, autoIncrement);
}

// The catalog of every table, read from SQLite's own account of it: the schema table and the
// pragma functions, joined over the whole database in a few statements.
// Where one table's entry stands in the schema table and the names of its triggers, as the
// last listing of names found them.
struct TableHint {
    long long rowid = 0;
    std::vector<std::string> triggers;
};

class SchemaReader {
public:
    /// Every table, or only the table named @p only (found through @p hint when given).
    explicit SchemaReader(sqlite3* db, const std::string* only = nullptr,
                          const TableHint* hint = nullptr)
        : m_db(db) {
        auto trigger = [&](const std::string& table, const std::string& name) {
            const std::string prefix = std::string(kAutoIncrementTrigger) + table + ":";
            if (name.compare(0, prefix.size(), prefix) == 0)
                m_autoColumns[table].insert(name.substr(prefix.size()));
        };
        if (only && hint) {
            // The entry where the listing found it: no pass over the schema table.
            Statement st(
                m_db, "SELECT sql FROM sqlite_schema WHERE rowid = " + std::to_string(hint->rowid) +
                          " AND type = 'table' AND name = ?1");
            st.bind(1, *only);
            if (st.step()) {
                m_tables.emplace_back(*only, st.text(0));
                for (const std::string& name : hint->triggers) trigger(*only, name);
            }
        }
        if (only && m_tables.empty()) {
            // One table: its entry and its triggers in one pass over the schema table.
            Statement st(m_db,
                         "SELECT type, name, tbl_name, sql FROM sqlite_schema WHERE (type = "
                         "'table' AND name = ?1) OR (type = 'trigger' AND tbl_name = ?1)");
            st.bind(1, *only);
            while (st.step()) {
                if (st.text(0) == "table")
                    m_tables.emplace_back(st.text(1), st.text(3));
                else
                    trigger(st.text(2), st.text(1));
            }
        } else if (!only) {
            Statement tables(m_db,
                             "SELECT name, sql FROM sqlite_schema m" + where() + " ORDER BY rowid");
            while (tables.step()) m_tables.emplace_back(tables.text(0), tables.text(1));
            Statement triggers(db,
                               "SELECT tbl_name, name FROM sqlite_schema WHERE type = 'trigger'");
            while (triggers.step()) trigger(triggers.text(0), triggers.text(1));
        }
        if (only && m_tables.empty()) return;
        try {
            read(only);
        } catch (const ServiceError&) {
            // One table whose pragmas fail (a virtual table of a missing module) fails the
            // joined statements: then each table is read alone and a failing one skipped.
            m_raw.clear();
            for (const auto& [name, sql] : m_tables) {
                try {
                    read(&name);
                } catch (const ServiceError&) {
                    m_raw.erase(name);
                }
            }
        }
        for (auto& [name, sql] : m_tables) {
            auto it = m_raw.find(name);
            if (it == m_raw.end()) continue;
            // Constraint names are kept nowhere but in the CREATE text.
            it->second.primaryKeyName = primaryKeyConstraintName(sql);
            it->second.autoIncrement = declaredAutoIncrement(name, it->second);
        }
    }

    /// The tables in creation order, with their SQL text.
    const std::vector<std::pair<std::string, std::string>>& tables() const { return m_tables; }
    /// The table's catalog, or null when it could not be read.
    const RawTable* table(const std::string& name) const {
        const auto it = m_raw.find(name);
        return it == m_raw.end() ? nullptr : &it->second;
    }
    const std::set<std::string>& emulatedAutoColumns(const std::string& table) const {
        static const std::set<std::string> kNone;
        const auto it = m_autoColumns.find(table);
        return it == m_autoColumns.end() ? kNone : it->second;
    }
    /// Declared types already read: most tables repeat a few.
    const SqliteColumnType& typeOf(const std::string& declared) {
        auto it = m_types.find(declared);
        if (it == m_types.end()) it = m_types.emplace(declared, sqliteColumnType(declared)).first;
        return it->second;
    }

private:
    static std::string where() {
        return " WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";
    }

    // Reads every table, or only *only; throws when a pragma fails.
    void read(const std::string* only) {
        // One table needs no pass over the schema table: the pragmas take its name.
        const std::string m = only ? "(SELECT ?1 AS name, 0 AS rowid) m" : "sqlite_schema m";
        const std::string filter = only ? " WHERE 1" : where();
        auto run = [&](const std::string& sql, auto row) {
            Statement st(m_db, sql);
            if (only) st.bind(1, *only);
            while (st.step()) row(st, m_raw[st.text(0)]);
        };
        run("SELECT m.name, p.name, p.type, p.\"notnull\", p.pk, p.hidden FROM " + m +
                " JOIN pragma_table_xinfo(m.name) p" + filter + " ORDER BY m.rowid, p.cid",
            [](Statement& st, RawTable& t) {
                t.columns.push_back({st.text(1), st.text(2), st.integer(3) != 0,
                                     static_cast<int>(st.integer(4)),
                                     static_cast<int>(st.integer(5))});
            });
        run("SELECT m.name, il.name, il.\"unique\", il.origin, ix.name, ix.\"desc\" FROM " + m +
                " JOIN pragma_index_list(m.name) il JOIN pragma_index_xinfo(il.name) ix" + filter +
                " AND ix.key = 1 ORDER BY m.rowid, il.seq DESC, ix.seqno",
            [](Statement& st, RawTable& t) {
                const std::string index = st.text(1);
                if (t.indexes.empty() || t.indexes.back().name != index)
                    t.indexes.push_back({index, st.integer(2) != 0, st.text(3), {}});
                t.indexes.back().columns.emplace_back(st.text(4), st.integer(5) != 0);
            });
        long long currentId = -1;
        std::string currentTable;
        run("SELECT m.name, fk.id, fk.\"table\", fk.\"from\", fk.\"to\", fk.on_update, "
            "fk.on_delete FROM " +
                m + " JOIN pragma_foreign_key_list(m.name) fk" + filter +
                " ORDER BY m.rowid, fk.id DESC, fk.seq",
            [&](Statement& st, RawTable& t) {
                if (st.integer(1) != currentId || st.text(0) != currentTable) {
                    currentId = st.integer(1);
                    currentTable = st.text(0);
                    t.foreignKeys.push_back({st.text(2), {}, st.text(5), st.text(6)});
                }
                t.foreignKeys.back().columns.emplace_back(st.text(3), st.text(4));
            });
        // A table without columns in the answer still exists.
        if (only)
            m_raw[*only];
        else
            for (const auto& entry : m_tables) m_raw[entry.first];
    }

    // SQLite's own AUTOINCREMENT, on a single INTEGER key column.
    bool declaredAutoIncrement(const std::string& table, const RawTable& raw) const {
        const RawColumn* key = nullptr;
        for (const RawColumn& c : raw.columns) {
            if (c.pk == 0) continue;
            if (key) return false;
            key = &c;
        }
        if (!key) return false;
        int autoinc = 0;
        return sqlite3_table_column_metadata(m_db, nullptr, table.c_str(), key->name.c_str(),
                                             nullptr, nullptr, nullptr, nullptr,
                                             &autoinc) == SQLITE_OK &&
               autoinc != 0;
    }

    sqlite3* m_db;
    std::vector<std::pair<std::string, std::string>> m_tables;
    std::map<std::string, RawTable> m_raw;
    std::map<std::string, std::set<std::string>> m_autoColumns;
    std::map<std::string, SqliteColumnType, std::less<>> m_types;
};

// The statements that create @p table, in order; refuses what the engine cannot create.
std::vector<std::string> renderCreateTable(const TableDefinition& table) {
    const std::string& t = table.name;
    const IndexDefinition* pk = checkTableDefinition(table);

    // Column properties: every one is applied or refused, never dropped.
    std::set<std::string> autoColumns;
    std::set<std::string> notNullColumns;
    for (const auto& c : table.columns) {
        for (const auto& [prop, value] : c.properties) {
            const bool on = propertySwitch(c, prop, value);
            if (prop == "AutoIncrement") {
                if (on && !isIntegerType(c.type))
                    throw ServiceError(
                        ErrorNumber::kGeneral,
                        "オートナンバーは整数型の列にしか設定できません（列「" + c.name + "」）。");
                if (on)
                    autoColumns.insert(c.name);
                else
                    autoColumns.erase(c.name);
            } else if (prop == "Nullable") {
                if (!on)
                    notNullColumns.insert(c.name);
                else
                    notNullColumns.erase(c.name);
            } else {
                throw ServiceError(
                    ErrorNumber::kNotSupported,
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

    std::vector<std::string> items;
    for (const auto& c : table.columns) {
        std::string& item = items.emplace_back(quoteIdentifier(c.name) + " " +
                                               sqliteDeclaredType(c.type, c.definedSize));
        if (c.name == rowidColumn) {
            item += " CONSTRAINT " + quoteIdentifier(pk->name) + " PRIMARY KEY AUTOINCREMENT";
            continue;
        }
        const bool inKey =
            pk && std::find(pk->columns.begin(), pk->columns.end(), c.name) != pk->columns.end();
        // An emulated auto-number must accept the empty insert that the trigger then fills.
        if ((inKey && !autoColumns.count(c.name)) || notNullColumns.count(c.name))
            item += " NOT NULL";
    }
    if (pk && rowidColumn.empty()) items.push_back(primaryKeyClause(pk->name, pk->columns));

    std::vector<std::string> statements{createTableStatement(t, items)};
    for (auto& s : createIndexStatements(table)) statements.push_back(std::move(s));
    for (const auto& col : autoColumns) {
        if (col == rowidColumn) continue;
        const std::string q = quoteIdentifier(col);
        statements.push_back(
            "CREATE TRIGGER " + quoteIdentifier(kAutoIncrementTrigger + t + ":" + col) +
            " AFTER INSERT ON " + quoteIdentifier(t) + " FOR EACH ROW WHEN NEW." + q +
            " IS NULL BEGIN UPDATE " + quoteIdentifier(t) + " SET " + q + " = (SELECT IFNULL(MAX(" +
            q + "), 0) + 1 FROM " + quoteIdentifier(t) + ") WHERE rowid = NEW.rowid; END");
    }
    return statements;
}

class SqliteSession : public DatabaseSession {
public:
    explicit SqliteSession(sqlite3* db) : m_db(db) {}
    ~SqliteSession() override { sqlite3_close_v2(m_db); }

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

    CatalogObjectPtr tables() override;
    CatalogObjectPtr tableNames() override;
    CatalogObjectPtr tableDetails(const std::string& name) override;
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

private:
    void exec(const std::string& sql, const std::string& what) {
        char* err = nullptr;
        const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err);
        sqlite3_free(err);
        if (rc != SQLITE_OK) fail(m_db, rc, what);
    }
    bool tableExists(const std::string& name);
    CatalogObjectPtr buildTable(const std::string& name, const RawTable& raw, SchemaReader& reader);
    long long schemaVersion() {
        Statement st(m_db, "PRAGMA schema_version");
        return st.step() ? st.integer(0) : -1;
    }

    // What the last listing of names learnt about every table, so that opening one reads it
    // without a pass over the schema table (300 000 entries for 100 000 tables); good while
    // the schema's version is the same.
    struct NameListing {
        long long schemaVersion = -1;
        std::unordered_map<std::string, TableHint> tables;
    };
    std::optional<NameListing> m_listing;
    sqlite3* m_db;
};

bool SqliteSession::tableExists(const std::string& name) {
    // The engine's own schema lookup: no scan of the schema table, names compared as the
    // engine compares them (without regard to case).
    return sqlite3_table_column_metadata(m_db, nullptr, name.c_str(), nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr) == SQLITE_OK;
}

CatalogObjectPtr SqliteSession::tableNames() {
    auto tables = std::make_shared<CatalogObject>("Tables");
    NameListing listing;
    listing.schemaVersion = schemaVersion();
    Statement st(m_db,
                 "SELECT rowid, type, name, tbl_name, type = 'table' AND name NOT LIKE "
                 "'sqlite\\_%' ESCAPE '\\' FROM sqlite_schema WHERE type IN ('table', 'trigger') "
                 "ORDER BY rowid");
    while (st.step()) {
        if (st.text(1) == "trigger") {
            listing.tables[st.text(3)].triggers.push_back(st.text(2));
        } else if (st.integer(4)) {
            std::string name = st.text(2);
            listing.tables[name].rowid = st.integer(0);
            tables->addMember(makeTableObject(name));
        }
    }
    m_listing = std::move(listing);
    return tables;
}

CatalogObjectPtr SqliteSession::tableDetails(const std::string& name) {
    const TableHint* hint = nullptr;
    if (m_listing && m_listing->schemaVersion == schemaVersion()) {
        const auto it = m_listing->tables.find(name);
        if (it != m_listing->tables.end() && it->second.rowid != 0) hint = &it->second;
    }
    SchemaReader reader(m_db, &name, hint);
    const RawTable* raw = reader.table(name);
    return raw ? buildTable(name, *raw, reader) : nullptr;
}

CatalogObjectPtr SqliteSession::tables() {
    auto tables = std::make_shared<CatalogObject>("Tables");
    SchemaReader reader(m_db);
    for (const auto& entry : reader.tables())
        if (const RawTable* raw = reader.table(entry.first))
            tables->addMember(buildTable(entry.first, *raw, reader));
    return tables;
}

CatalogObjectPtr SqliteSession::buildTable(const std::string& name, const RawTable& raw,
                                           SchemaReader& reader) {
    const std::set<std::string>& emulatedAuto = reader.emulatedAutoColumns(name);
    auto table = makeTableObject(name);

    // Columns, and the primary key columns in key order.
    auto columns = std::make_shared<CatalogObject>("Columns");
    std::vector<std::pair<int, std::string>> pkColumns;
    const long long pkCount = std::count_if(raw.columns.begin(), raw.columns.end(),
                                            [](const RawColumn& c) { return c.pk > 0; });
    for (const RawColumn& c : raw.columns) {
        const SqliteColumnType& t = reader.typeOf(c.declared);
        const bool rowidAlias = c.pk > 0 && pkCount == 1 && upper(c.declared) == "INTEGER";
        const bool autoInc = (rowidAlias && raw.autoIncrement) || emulatedAuto.count(c.name);
        const bool nullable = !c.notNull && !rowidAlias && c.pk == 0;
        columns->addMember(makeColumn(c.name, t, nullable, autoInc));
        if (c.pk > 0) pkColumns.emplace_back(c.pk, c.name);
    }
    std::sort(pkColumns.begin(), pkColumns.end());
    table->setChild("Columns", columns);

    auto indexes = std::make_shared<CatalogObject>("Indexes");
    auto keys = std::make_shared<CatalogObject>("Keys");
    // An index's or key's column: the table column's properties and one of its own.
    auto memberColumn = [&](const std::string& col, const char* property, PropertyValue value) {
        auto c = std::make_shared<CatalogObject>("Column", col);
        c->setProperty(property, std::move(value));
        c->setBase(columns->member(col));
        return c;
    };
    auto keyColumn = [&](const std::string& col, const std::string& related) {
        return memberColumn(col, "RelatedColumn", related);
    };
    auto indexColumn = [&](const std::string& col, bool desc) {
        return memberColumn(col, "SortOrder", static_cast<long long>(desc ? 2 : 1));
    };
    auto makeKey = [&](const std::string& keyName, int32_t type, const std::string& related,
                       int32_t onUpdate, int32_t onDelete) {
        auto key = std::make_shared<CatalogObject>("Key", keyName);
        key->setProperty("Type", static_cast<long long>(type));
        key->setProperty("RelatedTable", related);
        key->setProperty("UpdateRule", static_cast<long long>(onUpdate));
        key->setProperty("DeleteRule", static_cast<long long>(onDelete));
        auto cols = std::make_shared<CatalogObject>("Columns");
        key->setChild("Columns", cols);
        keys->addMember(key);
        return cols;
    };
    auto makeIndex = [&](const std::string& indexName, bool primary, bool unique) {
        auto index = std::make_shared<CatalogObject>("Index", indexName);
        index->setProperty("Clustered", false);
        index->setProperty("IndexNulls", static_cast<long long>(primary ? adIndexNullsDisallow
                                                                        : adIndexNullsAllow));
        index->setProperty("PrimaryKey", primary);
        index->setProperty("Unique", unique);
        auto cols = std::make_shared<CatalogObject>("Columns");
        index->setChild("Columns", cols);
        indexes->addMember(index);
        return cols;
    };

    if (!pkColumns.empty()) {
        const std::string pkName = raw.primaryKeyName.empty() ? "PrimaryKey" : raw.primaryKeyName;
        auto indexCols = makeIndex(pkName, true, true);
        auto keyCols = makeKey(pkName, adKeyPrimary, std::string(), adRINone, adRINone);
        // The key's own index knows each column's sort order; a rowid key has none.
        const auto pkIndex = std::find_if(raw.indexes.begin(), raw.indexes.end(),
                                          [](const RawIndex& i) { return i.origin == "pk"; });
        for (const auto& [pos, col] : pkColumns) {
            bool desc = false;
            if (pkIndex != raw.indexes.end())
                for (const auto& [indexed, d] : pkIndex->columns)
                    if (indexed == col) desc = d;
            indexCols->addMember(indexColumn(col, desc));
            keyCols->addMember(keyColumn(col, std::string()));
        }
    }
    for (const RawIndex& index : raw.indexes) {
        if (index.origin == "pk") continue;
        auto cols = makeIndex(index.name, false, index.unique);
        for (const auto& [col, desc] : index.columns) cols->addMember(indexColumn(col, desc));
        if (index.origin == "u") {
            auto keyCols = makeKey(index.name, adKeyUnique, std::string(), adRINone, adRINone);
            for (const auto& c : index.columns)
                keyCols->addMember(keyColumn(c.first, std::string()));
        }
    }
    int number = 0;
    for (const RawForeignKey& fk : raw.foreignKeys) {
        auto cols = makeKey(name + "_FK" + std::to_string(++number), adKeyForeign, fk.table,
                            ruleCode(fk.onUpdate), ruleCode(fk.onDelete));
        for (const auto& [from, to] : fk.columns) cols->addMember(keyColumn(from, to));
    }
    table->setChild("Indexes", indexes);
    table->setChild("Keys", keys);
    return table;
}

CatalogObjectPtr SqliteSession::views() {
    auto views = std::make_shared<CatalogObject>("Views");
    Statement st(m_db, "SELECT name, sql FROM sqlite_schema WHERE type = 'view' ORDER BY rowid");
    while (st.step()) {
        // The command is what follows the first AS of "CREATE VIEW name AS ...".
        const std::string sql = st.text(1);
        std::string text = sql;
        for (const auto& t : tokenize(sql)) {
            if (t.is("AS")) {
                text = sql.substr(t.end);
                text.erase(0, text.find_first_not_of(" \t\r\n"));
                break;
            }
        }
        auto view = makeCommandObject("View", st.text(0), text);
        views->addMember(view);
    }
    return views;
}

void SqliteSession::createTable(const TableDefinition& table) {
    const std::string& t = table.name;
    const std::vector<std::string> statements = renderCreateTable(table);
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
                        throw ServiceError(ErrorNumber::kGeneral,
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
                    throw ServiceError(ErrorNumber::kGeneral,
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
    return std::make_unique<SqliteInserter>(m_db, table, columns);
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

void SqliteEngine::dropDatabase(const ConnectionInfo& info) {
    if (::unlink(info.dataSource.c_str()) != 0)
        throw ServiceError(ErrorNumber::kGeneral, "データベース「" + info.dataSource +
                                                      "」は削除できません。(" +
                                                      std::strerror(errno) + ")");
}

std::vector<std::string> SqliteEngine::createTableStatements(const TableDefinition& table) const {
    return renderCreateTable(table);
}

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
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        throw ServiceError(ErrorNumber::kGeneral,
                           "データベース「" + path + "」を開けません。(" + text + ")");
    }
    auto session = std::make_unique<SqliteSession>(db);
    sqlite3_busy_timeout(db, 2000);
    // Reading the header proves a database without parsing its schema, which for 100 000
    // tables takes SQLite minutes: that is paid when the schema is first needed.
    rc = sqlite3_exec(db, "PRAGMA foreign_keys = ON; PRAGMA schema_version", nullptr, nullptr,
                      nullptr);
    if (rc != SQLITE_OK) fail(db, rc, "データベース「" + path + "」を開けません。");
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
        throw ServiceError(
            ErrorNumber::kGeneral,
            "データベース「" + path + "」を作成できません。(" + std::strerror(errno) + ")");
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
