#pragma once

#include <memory>
#include <string>
#include <vector>

#include "services/db/engine/database_engine.h"
#include "services/db/engine/service_error.h"

namespace quorix {

/// The engine behind a provider name; throws ServiceError for a provider no engine serves.
DatabaseEngine& engineForProvider(const std::string& provider);

/// The data source of @p provider as it may be shown or remembered: without a password
/// written into it. A file path, and the data source of an unknown provider, stay as they are.
std::string shownDataSource(const std::string& provider, const std::string& dataSource);

/// A connection to one database, chosen by the provider of its connection string.
/// Every failing call throws ServiceError and leaves it in errors() until the next call.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(Connection&&) noexcept;
    /// Closes the session held before taking the other's.
    Connection& operator=(Connection&&) noexcept;

    void setConnectionString(const std::string& text) { m_connectionString = text; }
    const std::string& connectionString() const { return m_connectionString; }

    void open();
    void close();
    bool isOpen() const { return m_session != nullptr; }

    void beginTrans();
    void commitTrans();
    void rollbackTrans();

    /// The errors of the last failed call; empty after a call that succeeded.
    const std::vector<ServiceError>& errors() const { return m_errors; }

    /// Runs @p call against the open database, recording its failure in errors().
    template <typename Call>
    auto run(Call&& call) -> decltype(call(std::declval<DatabaseSession&>())) {
        m_errors.clear();
        try {
            return call(session());
        } catch (const ServiceError& e) {
            m_errors.push_back(e);
            throw;
        }
    }

private:
    DatabaseSession& session();

    std::string m_connectionString;
    std::unique_ptr<DatabaseSession> m_session;
    std::vector<ServiceError> m_errors;
};

}  // namespace quorix
