#include "services/db/catalog.h"

namespace quorix {

void Catalog::create(const std::string& connectionString) {
    const ConnectionInfo info = parseConnectionString(connectionString);
    engineForProvider(info.provider).createDatabase(info);
}

void Catalog::dropDatabase(const std::string& connectionString) {
    const ConnectionInfo info = parseConnectionString(connectionString);
    engineForProvider(info.provider).dropDatabase(info);
}

CatalogObjectPtr Catalog::object() const {
    auto catalog = std::make_shared<CatalogObject>("Catalog");
    if (m_connection)
        catalog->setProperty("ActiveConnection", m_connection->connectionString());
    else
        catalog->setPropertyError("ActiveConnection", "データベースに接続していません。");
    return catalog;
}

Connection& Catalog::connection() const {
    if (!m_connection)
        throw ServiceError(ErrorNumber::kNotOpen, "カタログに接続が設定されていません。");
    return *m_connection;
}

CatalogObjectPtr Catalog::tables() {
    return connection().run([](DatabaseSession& s) { return s.tables(); });
}

CatalogObjectPtr Catalog::tableNames() {
    return connection().run([](DatabaseSession& s) { return s.tableNames(); });
}

CatalogObjectPtr Catalog::table(const std::string& name) {
    return connection().run([&](DatabaseSession& s) { return s.tableDetails(name); });
}

CatalogObjectPtr Catalog::views() {
    return connection().run([](DatabaseSession& s) { return s.views(); });
}

CatalogObjectPtr Catalog::procedures() {
    return connection().run([](DatabaseSession& s) { return s.procedures(); });
}

CatalogObjectPtr Catalog::groups() {
    return connection().run([](DatabaseSession& s) { return s.groups(); });
}

CatalogObjectPtr Catalog::users() {
    return connection().run([](DatabaseSession& s) { return s.users(); });
}

void Catalog::appendTable(const TableDefinition& table) {
    connection().run([&](DatabaseSession& s) { s.createTable(table); });
}

std::vector<std::string> Catalog::createTableStatements(const std::string& provider,
                                                        const TableDefinition& table) {
    return engineForProvider(provider).createTableStatements(table);
}

void Catalog::deleteTable(const std::string& name) {
    connection().run([&](DatabaseSession& s) { s.dropTable(name); });
}

}  // namespace quorix
