#pragma once

#include <cstdint>
#include <string>
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

}  // namespace quorix
