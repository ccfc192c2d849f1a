#include "services/db/mariadb/mariadb_engine.h"

#include "services/db/mariadb/mariadb_client.h"
#include "services/db/mariadb/mariadb_data_source.h"
#include "services/db/mariadb/mariadb_session.h"
#include "services/db/mariadb/mariadb_types.h"

namespace quorix {

using namespace mariadb;

std::unique_ptr<DatabaseSession> MariaDbEngine::open(const ConnectionInfo& info) {
    return openSession(connect(info, true));
}

std::vector<std::string> MariaDbEngine::createTableStatements(const TableDefinition& table) const {
    return statementsFor(table, "");
}

void MariaDbEngine::createDatabase(const ConnectionInfo& info) {
    const DataSource d = parseDataSource(info.dataSource);
    if (d.database.empty())
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソースにデータベース名（database=…）を指定してください。");
    checkName(d.database, "データベース名");
    Conn m = connect(info, false);
    run(m.get(),
        "CREATE DATABASE " + backticked(d.database) + " CHARACTER SET utf8mb4 COLLATE utf8mb4_bin",
        "データベース「" + d.database + "」を作成できません。");
}

void MariaDbEngine::dropDatabase(const ConnectionInfo& info) {
    const DataSource d = parseDataSource(info.dataSource);
    Conn m = connect(info, false);
    run(m.get(), "DROP DATABASE " + backticked(d.database),
        "データベース「" + d.database + "」を削除できません。");
}

std::string MariaDbEngine::shownDataSource(const std::string& dataSource) const {
    return mariadb::shownDataSource(dataSource);
}

}  // namespace quorix
