#pragma once

#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

#include "services/db/engine/database_engine.h"

// Rows into a table: one at a time through a prepared statement, or as COPY text (the bulk path).
namespace quorix::postgresql {

class CopyInserter;

/// The one COPY that may run on a connection at a time, and whose it is.
struct CopyChannel {
    CopyInserter* current = nullptr;
};

std::unique_ptr<RowInserter> makeInserter(PGconn* conn, const std::string& table,
                                          const std::vector<std::string>& columns);
std::unique_ptr<RowInserter> makeCopyInserter(PGconn* conn, CopyChannel& channel,
                                              const std::string& table,
                                              const std::vector<std::string>& columns);

}  // namespace quorix::postgresql
