#pragma once

#include <memory>

#include "services/db/engine/database_engine.h"
#include "services/db/postgresql/postgresql_client.h"

// A session: transactions and savepoints, tables created whole, identity sequences moved on.
namespace quorix::postgresql {

std::unique_ptr<DatabaseSession> openSession(Conn conn);

}  // namespace quorix::postgresql
