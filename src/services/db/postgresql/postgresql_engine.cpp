#include "services/db/postgresql/postgresql_engine.h"

#include "services/db/engine/service_error.h"
#include "services/db/engine/table_definition.h"
#include "services/db/postgresql/postgresql_client.h"
#include "services/db/postgresql/postgresql_data_source.h"
#include "services/db/postgresql/postgresql_session.h"
#include "services/db/postgresql/postgresql_types.h"

namespace quorix {

using namespace postgresql;

std::vector<std::string> PostgresEngine::createTableStatements(const TableDefinition& table) const {
    return statementsFor(table);
}

std::unique_ptr<DatabaseSession> PostgresEngine::open(const ConnectionInfo& info) {
    if (info.dataSource.empty())
        throw ServiceError(ErrorNumber::kGeneral, "データソースが指定されていません。");
    return openSession(connect(info));
}

void PostgresEngine::createDatabase(const ConnectionInfo& info) {
    const std::string name = databaseName(info);
    checkName(name, "データベース名");
    Conn conn = connect(info, "postgres");
    Result exists = run(conn.get(), "SELECT 1 FROM pg_database WHERE datname = $1",
                        "データベース「" + name + "」を作成できません。", {name});
    if (PQntuples(exists.get()) > 0)
        throw ServiceError(ErrorNumber::kFileExists,
                           "データベース「" + name + "」は既に存在します。");
    run(conn.get(), "CREATE DATABASE " + quoteIdentifier(name),
        "データベース「" + name + "」を作成できません。");
}

std::string PostgresEngine::shownDataSource(const std::string& dataSource) const {
    return postgresql::shownDataSource(dataSource);
}

void PostgresEngine::dropDatabase(const ConnectionInfo& info) {
    const std::string name = databaseName(info);
    Conn conn = connect(info, "postgres");
    run(conn.get(), "DROP DATABASE " + quoteIdentifier(name),
        "データベース「" + name + "」は削除できません。");
}

}  // namespace quorix
