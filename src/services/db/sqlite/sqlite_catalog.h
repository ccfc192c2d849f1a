#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "services/db/engine/catalog_object.h"

// The catalog, read from SQLite's own account of it: the schema table and the pragma functions.
namespace quorix::sqlite {

/// One token of SQL text.
struct SqlToken {
    enum Kind { Word, Identifier, Literal, Punctuation };
    std::string text;  ///< unquoted
    Kind kind = Word;
    std::size_t begin = 0;  ///< offset of the token's first character
    std::size_t end = 0;    ///< offset just past the token

    /// A bare word equal to @p keyword (given in capitals), case-insensitively. Quoted names
    /// are never keywords.
    bool is(std::string_view keyword) const {
        if (kind != Word || text.size() != keyword.size()) return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != keyword[i]) return false;
        }
        return true;
    }
};

/// SQL's lexical rules: words, quoted names ("", ``, []), string literals, comments.
std::vector<SqlToken> tokenize(std::string_view sql);

/// What a table's catalog is made of, as SQLite's own pragmas report it.
struct RawColumn {
    std::string name;
    std::string declared;  ///< the declared type, as the engine reports it
    bool notNull = false;
    int pk = 0;      ///< 1-based position in the primary key, 0 when not in it
    int hidden = 0;  ///< 0 ordinary, 1 hidden, 2 generated virtual, 3 generated stored
    std::string defaultValue;  ///< the DEFAULT clause's expression, empty when none
    bool operator==(const RawColumn&) const = default;
};

struct RawIndex {
    std::string name;
    bool unique = false;
    std::string origin;  ///< "c" created, "u" unique constraint, "pk" primary key
    std::vector<std::pair<std::string, bool>> columns;  ///< name ("" for an expression), descending
    bool operator==(const RawIndex&) const = default;
};

struct RawForeignKey {
    std::string table;
    std::vector<std::pair<std::string, std::string>> columns;  ///< from, to ("" = the key)
    std::string onUpdate = "NO ACTION";
    std::string onDelete = "NO ACTION";
    bool operator==(const RawForeignKey&) const = default;
};

struct RawTable {
    std::vector<RawColumn> columns;
    std::vector<RawIndex> indexes;           ///< in creation order
    std::vector<RawForeignKey> foreignKeys;  ///< in declaration order
    std::string primaryKeyName;              ///< from "CONSTRAINT name PRIMARY KEY", else empty
    bool autoIncrement = false;              ///< the rowid key was declared AUTOINCREMENT
    bool operator==(const RawTable&) const = default;
};

/// The name of a "CONSTRAINT name PRIMARY KEY" clause in a CREATE TABLE text, else empty.
/// SQLite keeps constraint names nowhere but in that text.
std::string primaryKeyConstraintName(std::string_view createTable);

/// Where one table's entry stands in the schema table and the names of its triggers, as the
/// last listing of names found them.
struct TableHint {
    long long rowid = 0;
    std::vector<std::string> triggers;
};

/// The catalog of one database file, read in a few joined statements over the whole file.
class SqliteCatalog {
public:
    explicit SqliteCatalog(sqlite3* db) : m_db(db) {}

    CatalogObjectPtr tables();
    CatalogObjectPtr tableNames();
    CatalogObjectPtr tableDetails(const std::string& name);
    CatalogObjectPtr views();

private:
    class Reader;
    CatalogObjectPtr buildTable(const std::string& name, const RawTable& raw, Reader& reader);
    long long schemaVersion();

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

}  // namespace quorix::sqlite
