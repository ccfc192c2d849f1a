#pragma once

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/db/engine/database_engine.h"
#include "services/db/engine/service_error.h"

// Talking to the server: the client library's holders, statements and what its errors mean.
namespace quorix::mariadb {

struct MysqlCloser {
    void operator()(MYSQL* m) const { mysql_close(m); }
};
using Conn = std::unique_ptr<MYSQL, MysqlCloser>;
struct ResultFreer {
    void operator()(MYSQL_RES* r) const { mysql_free_result(r); }
};
using Result = std::unique_ptr<MYSQL_RES, ResultFreer>;

/// A name in backticks, backticks inside doubled.
std::string backticked(std::string_view name);
std::string backtickedList(const std::vector<std::string>& names);
/// A string literal of the connection's character set.
std::string literal(MYSQL* m, const std::string& text);

/// The service's number for a server error code.
int32_t numberFor(unsigned code);
/// The connection is gone (the server stopped, the session was killed).
bool lost(MYSQL* m);
/// Errors after which the server has undone the whole transaction.
bool endsTransaction(unsigned code);
/// The server's error; a lost connection or an ended transaction is nothing a row did.
ServiceError serverError(MYSQL* m, const std::string& what);

/// Runs a statement; the rows when it has any.
Result run(MYSQL* m, const std::string& sql, const std::string& what);
/// Runs a query and reads every row as text (NULL as empty).
/// The rows of a query, a NULL as nullopt.
std::vector<TextRow> textRows(MYSQL* m, const std::string& sql, const std::string& what);
std::vector<std::vector<std::string>> rows(MYSQL* m, const std::string& sql,
                                           const std::string& what);

}  // namespace quorix::mariadb
