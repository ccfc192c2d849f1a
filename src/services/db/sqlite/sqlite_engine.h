#pragma once

#include "services/db/engine/database_engine.h"

namespace quorix {

/// The embedded file engine: every database is one SQLite file at the data source path.
class SqliteEngine : public DatabaseEngine {
public:
    std::unique_ptr<DatabaseSession> open(const ConnectionInfo& info) override;
    void createDatabase(const ConnectionInfo& info) override;
    /// Deletes the database file.
    void dropDatabase(const ConnectionInfo& info) override;
    std::vector<std::string> createTableStatements(const TableDefinition& table) const override;
};

}  // namespace quorix
