#pragma once

#include <memory>

#include "services/db/engine/database_engine.h"
#include "services/db/sqlite/sqlite_client.h"

// A session on one file: transactions and savepoints, tables created whole, a failed commit
// said as it is.
namespace quorix::sqlite {

std::unique_ptr<DatabaseSession> openSession(Database db);

}  // namespace quorix::sqlite
