#pragma once

#include "services/db/engine/database_engine.h"

namespace quorix {

/// The server engine over libpq. The data source is a libpq connection string or URI; user
/// and password go to libpq as they are.
class PostgresEngine : public DatabaseEngine {
public:
    std::unique_ptr<DatabaseSession> open(const ConnectionInfo& info) override;
    /// Creates the database named by the data source's dbname, connected to the server's
    /// maintenance database "postgres"; kFileExists when it exists.
    void createDatabase(const ConnectionInfo& info) override;
    std::vector<std::string> createTableStatements(const TableDefinition& table) const override;

    /// The data source without its password: rebuilt by libpq's own reading when it holds
    /// one, as written otherwise.
    std::string shownDataSource(const std::string& dataSource) const override;

    /// How many bytes of COPY text a table gathers before they are sent (tests make it small
    /// to switch tables often).
    static inline std::size_t copyBufferBytes = std::size_t(256) << 10;

    /// Drops the database named by the data source's dbname.
    void dropDatabase(const ConnectionInfo& info) override;
};

/// The provider name of the server engine in a connection string.
inline constexpr const char* kPostgresProvider = "PostgreSQL";

}  // namespace quorix
