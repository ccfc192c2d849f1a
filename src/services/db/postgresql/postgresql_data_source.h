#pragma once

#include <string>

#include "services/db/engine/connection_info.h"
#include "services/db/postgresql/postgresql_client.h"

// The data source: a libpq connection string or URI; user and password go to libpq as they are.
namespace quorix::postgresql {

/// Connects with the data source, overriding its database with @p database when not empty.
Conn connect(const ConnectionInfo& info, const std::string& database = {});

/// The database the data source names (dbname); throws when it names none.
std::string databaseName(const ConnectionInfo& info);

/// The data source without its password: rebuilt by libpq's own reading when it holds one, as
/// written otherwise.
std::string shownDataSource(const std::string& dataSource);

}  // namespace quorix::postgresql
