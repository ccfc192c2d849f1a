#pragma once

#include <string>
#include <vector>

#include "services/db/engine/catalog_object.h"
#include "services/db/engine/table_definition.h"

// Type codes and sizes as the server's SQL types, and the statements that create a table.
namespace quorix::mariadb {

// Keys compare exactly as written: a binary collation without MariaDB's and MySQL 5's padding,
// under which "A" and "A " are the same key.
inline constexpr const char* kMariaDbCollation = "utf8mb4_nopad_bin";
inline constexpr const char* kMySqlCollation = "utf8mb4_0900_bin";

/// Refuses a name longer than the server keeps; @p what says what it names ("表名").
void checkName(const std::string& name, const char* what);

/// CREATE TABLE and CREATE INDEX of @p table, its name after @p prefix ("`db`." or empty).
std::vector<std::string> statementsFor(const TableDefinition& table, const std::string& prefix,
                                       const std::string& collation = kMariaDbCollation);

/// The type code, size and attributes of an information_schema column.
ColumnFacts typeFacts(const std::string& dataType, const std::string& columnType,
                      const std::string& length, const std::string& precision,
                      const std::string& scale);

}  // namespace quorix::mariadb
