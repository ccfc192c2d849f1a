#include "services/db/sqlite/sqlite_engine.h"

#include "services/db/sqlite/sqlite_data_source.h"
#include "services/db/sqlite/sqlite_session.h"
#include "services/db/sqlite/sqlite_types.h"

namespace quorix {

void SqliteEngine::dropDatabase(const ConnectionInfo& info) {
    sqlite::removeDatabaseFile(info.dataSource);
}

std::vector<std::string> SqliteEngine::createTableStatements(const TableDefinition& table) const {
    return sqlite::statementsFor(table);
}

std::unique_ptr<DatabaseSession> SqliteEngine::open(const ConnectionInfo& info) {
    return sqlite::openSession(sqlite::openDatabaseFile(info.dataSource));
}

void SqliteEngine::createDatabase(const ConnectionInfo& info) {
    sqlite::createDatabaseFile(info.dataSource);
}

}  // namespace quorix
