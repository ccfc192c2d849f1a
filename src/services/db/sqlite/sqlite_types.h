#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "services/db/engine/table_definition.h"

// Type codes and sizes as declared column types, and the statements that create a table.
namespace quorix::sqlite {

/// Triggers that number a column which SQLite cannot auto-number itself are named this, the
/// table and the column (":" between).
inline constexpr const char kAutoIncrementTrigger[] = "quorix_ai:";

/// What a declared SQLite column type stands for in the service's type codes.
struct SqliteColumnType {
    int32_t type = 0;
    int32_t definedSize = 0;
    bool fixedLength = false;
    int32_t precision = 0;
    int32_t numericScale = 0;
};

/// The declared type for a type code and size (0 = default size), a decimal's precision and
/// scale written in it. Throws ServiceError for a code the engine cannot store.
std::string sqliteDeclaredType(int32_t type, int32_t definedSize, int32_t precision = 0,
                               int32_t scale = 0);

/// Reads back a declared type: ours exactly, any other by SQLite's affinity rules.
SqliteColumnType sqliteColumnType(std::string_view declared);

/// Whether the code is one of the integer types (the only ones that can auto-number).
bool isIntegerType(int32_t type);

/// The statements that create @p table, in order; refuses what the engine cannot create.
std::vector<std::string> statementsFor(const TableDefinition& table);

}  // namespace quorix::sqlite
