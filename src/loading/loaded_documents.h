#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorix {

class Connection;
struct PlanTable;

/// The table of the program's own, made only when asked (remember), in which each load notes
/// the documents it took: their content's fingerprint and tables, name, time and rows.
inline constexpr const char* kLoadedDocuments = "quorix_loaded_documents";

namespace load {

/// Makes the table when it is not there, before the load's transaction (some engines commit a
/// CREATE TABLE at once; an empty table of notes is all a failed load can leave).
void ensureLoadedDocuments(Connection& connection);

/// Notes @p document (of @p fingerprint, @p rows rows) as loaded into @p tables, inside the
/// load's transaction; the note for the user when the same content went into the same tables
/// before.
std::optional<std::string> rememberDocument(Connection& connection, const std::string& document,
                                            const std::string& fingerprint,
                                            const std::vector<PlanTable>& tables, long long rows);

}  // namespace load

}  // namespace quorix
