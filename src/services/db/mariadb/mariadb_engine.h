#pragma once

#include "services/db/engine/database_engine.h"

namespace quorix {

/// The MariaDB / MySQL engine over MariaDB Connector/C. The data source is
/// "host=… port=… database=…" (or socket=…) or a mariadb://host:port/db URI; user and
/// password come from their own fields. DDL commits on its own on these servers, so tables
/// created inside a transaction are made in a staging database of this session and moved
/// into the target database with one RENAME TABLE at the commit: all of them or none.
class MariaDbEngine : public DatabaseEngine {
public:
    std::unique_ptr<DatabaseSession> open(const ConnectionInfo& info) override;
    /// Creates the database named by the data source; kFileExists when it exists.
    void createDatabase(const ConnectionInfo& info) override;
    void dropDatabase(const ConnectionInfo& info) override;
    std::vector<std::string> createTableStatements(const TableDefinition& table) const override;
    std::string shownDataSource(const std::string& dataSource) const override;

    /// Rows a bulk inserter gathers into one INSERT statement at most.
    static inline std::size_t bulkRows = 1000;
};

/// The provider name of this engine in a connection string.
inline constexpr const char* kMariaDbProvider = "MariaDB";

/// The staging databases of this program start with this; the creating connection's id
/// follows, so that a leftover of a crashed session can be told from a live one.
inline constexpr const char* kStagingPrefix = "quorix_staging_";

}  // namespace quorix
