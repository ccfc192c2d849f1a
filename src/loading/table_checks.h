#pragma once

#include <optional>
#include <string>
#include <vector>

#include "loading/document_loader.h"
#include "loading/load_plan.h"

namespace quorix::load {

/// Checks, before any row is read, that every table is there and that each of its columns can
/// take its line's values; adds the columns a table lacks where @p request asks (naming them
/// otherwise, and in @p added when added); finds where the auto-numbers go on. What stops the
/// load, if something does.
std::optional<std::string> checkTables(std::vector<PlanTable>& tables, const LoadRequest& request,
                                       const LayoutDocument& layout, Connection& connection,
                                       std::vector<MissingColumns>& added);

}  // namespace quorix::load
