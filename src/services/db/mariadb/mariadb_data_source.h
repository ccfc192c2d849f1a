#pragma once

#include <string>

#include "services/db/engine/connection_info.h"
#include "services/db/mariadb/mariadb_client.h"

// The data source: "host=… port=… database=…" (or socket=…) or a mariadb:// URI.
namespace quorix::mariadb {

/// The parts of a data source (and a password written into it).
struct DataSource {
    std::string host, port, database, socket, user, password;
    std::string lockWait = "30";  // seconds a statement waits for another session's lock
};

DataSource parseDataSource(const std::string& text);

/// A connection in strict mode, to the data source's database when @p withDatabase.
Conn connect(const ConnectionInfo& info, bool withDatabase);

/// The data source as a message may show it: without its password.
std::string shownDataSource(const std::string& dataSource);

}  // namespace quorix::mariadb
