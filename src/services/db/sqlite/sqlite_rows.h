#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "services/db/engine/database_engine.h"

// Rows into a table through one prepared INSERT: the library's own fastest path.
namespace quorix::sqlite {

std::unique_ptr<RowInserter> makeInserter(sqlite3* db, const std::string& table,
                                          const std::vector<std::string>& columns);

/// A temporary table "quorix_work_<number>" with @p columns as @p table declares them (so that
/// currency goes in as it does into the table) and @p key as its primary key.
std::string createWorkTable(sqlite3* db, const std::string& table,
                            const std::vector<std::string>& columns,
                            const std::vector<std::string>& key, int number);

}  // namespace quorix::sqlite
