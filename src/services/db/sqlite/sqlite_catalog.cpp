#include "services/db/sqlite/sqlite_catalog.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/sqlite/sqlite_client.h"
#include "services/db/sqlite/sqlite_types.h"

namespace quorix::sqlite {

namespace {

bool wordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

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

}  // namespace

std::vector<SqlToken> tokenize(std::string_view sql) {
    std::vector<SqlToken> tokens;
    tokens.reserve(sql.size() / 4 + 8);
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        const std::size_t start = i;
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
            tokens.push_back(
                {text, c == '\'' ? SqlToken::Literal : SqlToken::Identifier, start, i});
        } else if (wordChar(static_cast<unsigned char>(c))) {
            while (i < n && wordChar(static_cast<unsigned char>(sql[i]))) ++i;
            tokens.push_back({std::string(sql.substr(start, i - start)), SqlToken::Word, start, i});
        } else {
            ++i;
            tokens.push_back({std::string(1, c), SqlToken::Punctuation, start, i});
        }
    }
    return tokens;
}

std::string primaryKeyConstraintName(std::string_view createTable) {
    const std::vector<SqlToken> t = tokenize(createTable);
    for (std::size_t i = 0; i + 3 < t.size(); ++i)
        if (t[i].is("CONSTRAINT") && t[i + 2].is("PRIMARY") && t[i + 3].is("KEY"))
            return t[i + 1].text;
    return {};
}

// The catalog of every table, read from SQLite's own account of it: the schema table and the
// pragma functions, joined over the whole database in a few statements.
class SqliteCatalog::Reader {
public:
    /// Every table, or only the table named @p only (found through @p hint when given).
    explicit Reader(sqlite3* db, const std::string* only = nullptr, const TableHint* hint = nullptr)
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
        run("SELECT m.name, p.name, p.type, p.\"notnull\", p.pk, p.hidden, "
            "ifnull(p.dflt_value, '') FROM " + m +
                " JOIN pragma_table_xinfo(m.name) p" + filter + " ORDER BY m.rowid, p.cid",
            [](Statement& st, RawTable& t) {
                t.columns.push_back({st.text(1), st.text(2), st.integer(3) != 0,
                                     static_cast<int>(st.integer(4)),
                                     static_cast<int>(st.integer(5)), st.text(6)});
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

long long SqliteCatalog::schemaVersion() {
    Statement st(m_db, "PRAGMA schema_version");
    return st.step() ? st.integer(0) : -1;
}

CatalogObjectPtr SqliteCatalog::tableNames() {
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

CatalogObjectPtr SqliteCatalog::tableDetails(const std::string& name) {
    const TableHint* hint = nullptr;
    if (m_listing && m_listing->schemaVersion == schemaVersion()) {
        const auto it = m_listing->tables.find(name);
        if (it != m_listing->tables.end() && it->second.rowid != 0) hint = &it->second;
    }
    Reader reader(m_db, &name, hint);
    const RawTable* raw = reader.table(name);
    return raw ? buildTable(name, *raw, reader) : nullptr;
}

CatalogObjectPtr SqliteCatalog::tables() {
    auto tables = std::make_shared<CatalogObject>("Tables");
    Reader reader(m_db);
    for (const auto& entry : reader.tables())
        if (const RawTable* raw = reader.table(entry.first))
            tables->addMember(buildTable(entry.first, *raw, reader));
    return tables;
}

CatalogObjectPtr SqliteCatalog::buildTable(const std::string& name, const RawTable& raw,
                                           Reader& reader) {
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
        CatalogObjectPtr column = makeColumn(c.name, t, nullable, autoInc);
        if (!c.defaultValue.empty()) column->setProperty("Default", c.defaultValue);
        columns->addMember(std::move(column));
        if (c.pk > 0) pkColumns.emplace_back(c.pk, c.name);
    }
    std::sort(pkColumns.begin(), pkColumns.end());
    table->setChild("Columns", columns);

    auto indexes = std::make_shared<CatalogObject>("Indexes");
    auto keys = std::make_shared<CatalogObject>("Keys");
    // An index's or key's column: the table column's properties and one of its own.
    auto memberColumn = [&](const std::string& col, const char* property, PropertyValue value) {
        return memberColumnObject(col, property, std::move(value), columns->member(col));
    };
    auto keyColumn = [&](const std::string& col, const std::string& related) {
        return memberColumn(col, "RelatedColumn", related);
    };
    auto indexColumn = [&](const std::string& col, bool desc) {
        return memberColumn(col, "SortOrder", static_cast<long long>(desc ? 2 : 1));
    };
    auto makeKey = [&](const std::string& keyName, int32_t type, const std::string& related,
                       int32_t onUpdate, int32_t onDelete) {
        return addKeyObject(*keys, keyName, type, related, onUpdate, onDelete);
    };
    auto makeIndex = [&](const std::string& indexName, bool primary, bool unique) {
        return addIndexObject(*indexes, indexName, primary, unique, false);
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

CatalogObjectPtr SqliteCatalog::views() {
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

}  // namespace quorix::sqlite
