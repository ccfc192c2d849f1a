#pragma once

#include <string>

#include "services/db/connection.h"
#include "services/db/engine/catalog_object.h"
#include "services/db/engine/table_definition.h"

namespace quorix {

/// The catalog of the database behind its active connection. Failures throw ServiceError and
/// are also left in the active connection's errors().
class Catalog {
public:
    /// The connection is not owned; it must outlive its use here.
    void setActiveConnection(Connection* connection) { m_connection = connection; }
    Connection* activeConnection() const { return m_connection; }

    /// Creates a new, empty database from a connection string; the file must not exist
    /// (ErrorNumber::kFileExists otherwise).
    void create(const std::string& connectionString);

    /// Removes the database of a connection string (a file, or a server's database).
    void dropDatabase(const std::string& connectionString);

    /// The catalog itself as an object of kind "Catalog" (its "ActiveConnection" is the
    /// connection string).
    CatalogObjectPtr object() const;

    CatalogObjectPtr tables();
    /// The tables without their columns, indexes and keys; table() reads one in full.
    CatalogObjectPtr tableNames();
    CatalogObjectPtr table(const std::string& name);
    CatalogObjectPtr views();
    CatalogObjectPtr procedures();
    CatalogObjectPtr groups();
    CatalogObjectPtr users();

    void appendTable(const TableDefinition& table);
    /// The statements appendTable runs for @p table on a database of @p provider; needs no
    /// connection.
    static std::vector<std::string> createTableStatements(const std::string& provider,
                                                          const TableDefinition& table);
    void deleteTable(const std::string& name);

private:
    Connection& connection() const;

    Connection* m_connection = nullptr;
};

}  // namespace quorix
