#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "services/db/key_pages.h"

namespace quorix {

class Connection;
struct PlanTable;

/// What a load does with a row whose key is in its table already.
enum class LoadMode {
    Insert,   ///< refuses it: the load stops at that row
    Skip,     ///< leaves the table's row, with everything nested in it, as it is
    Update,   ///< gives the row the document's values and replaces the rows nested in it
    Replace,  ///< empties the definition's tables first, all in the load's transaction
};

/// "insert", "skip", "update", "replace"; nullopt for anything else.
std::optional<LoadMode> parseLoadMode(std::string_view name);
const char* loadModeName(LoadMode mode);
/// The mode as the window and messages name it.
const char* loadModeCaption(LoadMode mode);

/// What a load did to one table.
struct TableCounts {
    std::string table;
    long long inserted = 0, updated = 0, skipped = 0, deleted = 0;
};

namespace load {

using quorix::primaryKeyOf;

/// Gets the tables ready for @p mode before any row is read: a replace empties them, skip and
/// update check each key and make the work tables the rows go to first. What stops the load,
/// if something does.
std::optional<std::string> prepareMode(LoadMode mode, std::vector<PlanTable>& tables,
                                       Connection& connection, std::vector<TableCounts>& counts);

/// Once a document's rows are in: moves the work tables' rows into the tables by @p mode,
/// counts, and empties the work tables when @p more documents follow (skip and update only).
void mergeDocument(LoadMode mode, std::vector<PlanTable>& tables, Connection& connection,
                   std::vector<TableCounts>& counts, bool more);

/// Once every document is in: the counts of insert and replace, the work tables gone.
void finishMode(LoadMode mode, std::vector<PlanTable>& tables, Connection& connection,
                std::vector<TableCounts>& counts);

}  // namespace load

}  // namespace quorix
