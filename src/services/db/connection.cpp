#include "services/db/connection.h"

#include "services/db/mariadb/mariadb_engine.h"
#include "services/db/postgresql/postgresql_engine.h"
#include "services/db/sqlite/sqlite_engine.h"

namespace quorix {

DatabaseEngine& engineForProvider(const std::string& provider) {
    static SqliteEngine sqlite;
    static PostgresEngine postgres;
    static MariaDbEngine mariadb;
    if (provider == "Microsoft.Jet.OLEDB.4.0" || provider == "Microsoft.Jet.OLEDB.3.51")
        return sqlite;
    if (provider == kPostgresProvider) return postgres;
    if (provider == kMariaDbProvider) return mariadb;
    if (provider.empty())
        throw ServiceError(ErrorNumber::kGeneral, "接続文字列にプロバイダが指定されていません。");
    throw ServiceError(ErrorNumber::kGeneral,
                       "プロバイダ「" + provider + "」はサポートされていません。");
}

std::string shownDataSource(const std::string& provider, const std::string& dataSource) {
    try {
        return engineForProvider(provider).shownDataSource(dataSource);
    } catch (const ServiceError&) {
        return dataSource;
    }
}

Connection::Connection() = default;
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::open() {
    m_errors.clear();
    try {
        if (m_session) throw ServiceError(ErrorNumber::kGeneral, "接続は既に開いています。");
        const ConnectionInfo info = parseConnectionString(m_connectionString);
        m_session = engineForProvider(info.provider).open(info);
    } catch (const ServiceError& e) {
        m_errors.push_back(e);
        throw;
    }
}

void Connection::close() {
    m_session.reset();
}

void Connection::beginTrans() {
    run([](DatabaseSession& s) { s.beginTransaction(); });
}

void Connection::commitTrans() {
    run([](DatabaseSession& s) { s.commitTransaction(); });
}

void Connection::rollbackTrans() {
    run([](DatabaseSession& s) { s.rollbackTransaction(); });
}

DatabaseSession& Connection::session() {
    if (!m_session) throw ServiceError(ErrorNumber::kNotOpen, "データベースに接続していません。");
    return *m_session;
}

}  // namespace quorix
