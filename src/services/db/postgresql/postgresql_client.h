#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "services/db/engine/service_error.h"

// Talking to the server: libpq's holders, statements and what its errors mean.
namespace quorix::postgresql {

struct ResultFreer {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFreer>;

struct ConnFreer {
    void operator()(PGconn* c) const { PQfinish(c); }
};
using Conn = std::unique_ptr<PGconn, ConnFreer>;

/// One line of text: line breaks and the blanks after them become one space.
std::string trimmedMessage(const char* text);
/// What the server said of a failed statement, in one line: its message and its detail,
/// without the context (which names our own statements); libpq's own text when it said nothing.
std::string serverText(const PGresult* r, PGconn* conn);
/// The service's number for a server error, by its SQLSTATE.
int32_t numberFor(const char* state);

/// Runs @p sql with text parameters; throws ServiceError with @p what and the server's text.
Result run(PGconn* conn, const std::string& sql, const std::string& what,
           const std::vector<std::string>& params = {});

/// A row refused by the server, or a connection that ended under a row (the server stopped,
/// the session was ended): then no row is to blame.
ServiceError rowError(PGconn* conn, const PGresult* r, const std::string& what);

/// A field as text (NULL as empty), as a number (NULL as 0), as a boolean.
std::string value(const PGresult* r, int row, int col);
long long number(const PGresult* r, int row, int col);
bool flag(const PGresult* r, int row, int col);

}  // namespace quorix::postgresql
