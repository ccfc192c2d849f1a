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

}  // namespace quorix::sqlite
