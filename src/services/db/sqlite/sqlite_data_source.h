#pragma once

#include <string>

#include "services/db/sqlite/sqlite_client.h"

// The data source: the path of one database file.
namespace quorix::sqlite {

/// The database file at @p path for reading and writing, foreign keys on; throws for a missing
/// file or one that is not a database.
Database openDatabaseFile(const std::string& path);

/// Makes a new empty database file; an existing file is never touched (kFileExists).
void createDatabaseFile(const std::string& path);

/// Deletes the database file.
void removeDatabaseFile(const std::string& path);

}  // namespace quorix::sqlite
