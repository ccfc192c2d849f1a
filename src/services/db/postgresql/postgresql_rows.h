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
/// A temporary table "quorix_work_<number>" with @p columns of @p table in their types and
/// @p key as its primary key, dropped at the end of the transaction.
std::string createWorkTable(PGconn* conn, const std::string& table,
                            const std::vector<std::string>& columns,
                            const std::vector<std::string>& key, int number);
/// Deletes every row: TRUNCATE (undone with the transaction), DELETE where TRUNCATE may not.
long long emptyTable(PGconn* conn, const std::string& table);

std::unique_ptr<RowInserter> makeCopyInserter(PGconn* conn, CopyChannel& channel,
                                              const std::string& table,
                                              const std::vector<std::string>& columns);

}  // namespace quorix::postgresql
