#pragma once

#include <string>
#include <vector>

#include "services/db/engine/catalog_object.h"
#include "services/db/engine/table_definition.h"

// Type codes and sizes as the server's SQL types, and the statements that create a table.
namespace quorix::postgresql {

/// Refuses a name longer than the server keeps (it would cut it in silence).
void checkName(const std::string& name, const char* what);

/// The SQL type of a column's type code and size.
std::string sqlType(const ColumnDefinition& c, bool timeZone);

/// CREATE TABLE and CREATE INDEX of @p table.
std::vector<std::string> statementsFor(const TableDefinition& table);

/// The data type code, size, precision and scale of a column type (format_type's name and the
/// type modifier).
ColumnFacts typeFacts(const std::string& typeName, long long typmod);

}  // namespace quorix::postgresql
