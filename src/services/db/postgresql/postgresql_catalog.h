#pragma once

#include <libpq-fe.h>

#include <optional>
#include <string>
#include <utility>

#include "services/db/engine/catalog_object.h"

// The catalog of the tables on the search path, read from the server's own catalog.
namespace quorix::postgresql {

/// A table name as shown: schema-qualified outside "public".
std::string shownName(const std::string& schema, const std::string& name);
/// The schema and name of a shown name; nullopt for a text shownName never gives.
std::optional<std::pair<std::string, std::string>> parseShownName(const std::string& shown);

/// Every table by name, nothing more.
CatalogObjectPtr readTableNames(PGconn* conn);
/// Every table in full.
CatalogObjectPtr readTables(PGconn* conn);
/// The table of a shown name in full; null when there is none.
CatalogObjectPtr readTableDetails(PGconn* conn, const std::string& name);
/// Views (or procedures) with their command text.
CatalogObjectPtr readCommands(PGconn* conn, bool views);
/// Roles that can log in (users) or cannot (groups), each with the other kind it is tied to.
CatalogObjectPtr readRoles(PGconn* conn, bool login);

}  // namespace quorix::postgresql
