#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "generation/table_layout.h"
#include "services/db/catalog.h"
#include "services/db/connection.h"

namespace quorix {

/// A failure of the second pass that does not come from the database service.
struct LayoutError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The tables of the layout, one per column group, in creation order: enclosing columns
/// first, a primary key named like the table over them and the group's first column.
/// Throws LayoutError for a type or size that is not a number.
std::vector<TableDefinition> layoutTables(const LayoutDocument& layout);

/// The text of the statements that createLayoutTables runs, between "BEGIN;" and "COMMIT;",
/// one statement a line, each ending with ";"; or, when !ok, why they cannot be made.
struct SqlScript {
    bool ok = false;
    std::string text;
};
SqlScript layoutSql(const LayoutDocument& layout, const std::string& provider);

/// How the second pass ended.
struct CreationResult {
    bool ok = false;
    std::vector<std::string> createdTables;  ///< in creation order
    /// On failure: the error descriptions (the service's, or our own).
    std::vector<std::string> errors;
    /// The connection was lost while committing: the tables may or may not exist
    /// (createdTables names them).
    bool outcomeUnknown = false;
    /// Not undone yet: the file engine's journal undoes it when the database is next opened.
    bool undoPending = false;
    /// The rollback itself failed: what is left is not known.
    bool undoFailed = false;
};

/// "表「T」を作成しました。" a line for each table, after a line that names them all when there
/// are several; lines joined by @p newline.
std::string creationReport(const std::vector<std::string>& tables, const std::string& newline);

/// What a failed creation left: that everything was undone, or, when the outcome is not
/// known, which tables to look for.
std::string creationFailureOutcome(const CreationResult& result);

/// Creates one table per column group of the layout inside one transaction of @p connection:
/// enclosing columns first, a primary key named like the table over them and the group's
/// first column. Any failure rolls the whole transaction back; a connection lost while
/// committing is reported as such (outcomeUnknown), never as a rollback.
CreationResult createLayoutTables(const LayoutDocument& layout, Connection& connection,
                                  Catalog& catalog);

}  // namespace quorix
