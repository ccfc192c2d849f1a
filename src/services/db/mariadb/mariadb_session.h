#pragma once

#include <memory>

#include "services/db/engine/database_engine.h"
#include "services/db/mariadb/mariadb_client.h"

// A session: transactions, the tables made in a staging database and moved at the commit.
namespace quorix::mariadb {

std::unique_ptr<DatabaseSession> openSession(Conn conn);

}  // namespace quorix::mariadb
