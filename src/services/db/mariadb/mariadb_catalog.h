#pragma once

#include <mysql.h>

#include <string>

#include "services/db/engine/catalog_object.h"

// The catalog of one database, read from information_schema.
namespace quorix::mariadb {

/// The tables of @p database by name with their dates, nothing more.
CatalogObjectPtr readTableNames(MYSQL* m, const std::string& database);
/// Every table of @p database in full, or only the one named @p name.
CatalogObjectPtr readTables(MYSQL* m, const std::string& database, const std::string* name);
/// Views (or procedures) with their command text.
CatalogObjectPtr readCommands(MYSQL* m, const std::string& database, bool views);
/// Accounts ('user'@'host') or roles, where the user may read them; otherwise none.
CatalogObjectPtr readAccounts(MYSQL* m, bool roles);

}  // namespace quorix::mariadb
