#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorix {

/// A column of a table to be created.
struct ColumnDefinition {
    std::string name;
    int32_t type = 0;         ///< DataType code
    int32_t definedSize = 0;  ///< 0 = the engine's default
    /// Provider properties set on the column, such as ("AutoIncrement", "true").
    std::vector<std::pair<std::string, std::string>> properties;
    int32_t precision = 0;  ///< of a decimal: its digits (0 = the engine's widest)
    int32_t scale = 0;      ///< of a decimal: its digits after the point
};

/// An index of a table to be created.
struct IndexDefinition {
    std::string name;
    bool primaryKey = false;
    bool unique = false;
    std::vector<std::string> columns;
};

/// A table to be created through the catalog: columns and indexes, built up in order.
struct TableDefinition {
    std::string name;
    std::vector<ColumnDefinition> columns;
    std::vector<IndexDefinition> indexes;

    /// The column of that name, or null.
    ColumnDefinition* column(const std::string& columnName);
};

/// The identifier as every engine writes it: in double quotes, inner quotes doubled.
std::string quoteIdentifier(std::string_view name);

/// Checks what every engine needs of a table to create: a name, columns, indexes over its
/// columns, at most one primary key. Returns the primary key or null; throws ServiceError.
const IndexDefinition* checkTableDefinition(const TableDefinition& table);

/// A column property that is a switch: "true" or "false" in any case; throws ServiceError for
/// any other value.
bool propertySwitch(const ColumnDefinition& column, const std::string& property,
                    const std::string& value);

/// The switches a server engine honours on a column, read from its properties; throws
/// ServiceError for an auto-number on a column that is not an integer and for any other
/// property.
struct ColumnSwitches {
    bool autoIncrement = false;
    bool timeZone = false;
    bool notNull = false;
};
ColumnSwitches columnSwitches(const ColumnDefinition& column);

/// The quoted column names, separated by ", ".
std::string quotedColumnList(const std::vector<std::string>& columns);

/// The standard upsert tail: " ON CONFLICT (key) DO UPDATE SET c = excluded.c, …", or
/// " ON CONFLICT DO NOTHING" when there is nothing to update.
std::string onConflictClause(const std::vector<std::string>& key,
                             const std::vector<std::string>& update);

/// ", CONSTRAINT name PRIMARY KEY (columns)": the key clause of a CREATE TABLE.
std::string primaryKeyClause(const std::string& name, const std::vector<std::string>& columns);

/// "CREATE TABLE" of @p table with one column or constraint a line, indented, as people write
/// it by hand.
std::string createTableStatement(const std::string& table, const std::vector<std::string>& items);

/// "CREATE [UNIQUE] INDEX ..." for every index of the table but its primary key.
std::vector<std::string> createIndexStatements(const TableDefinition& table);

}  // namespace quorix
