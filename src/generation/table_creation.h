#pragma once

#include <string>
#include <vector>

#include "generation/table_layout.h"
#include "services/db/catalog.h"
#include "services/db/connection.h"

namespace quorix {

/// How the second pass ended.
struct CreationResult {
    bool ok = false;
    std::vector<std::string> createdTables;  ///< in creation order
    /// On failure: the error descriptions (the service's, or our own).
    std::vector<std::string> errors;
};

/// Creates one table per column group of the layout inside one transaction of @p connection:
/// enclosing columns first, a primary key named like the table over them and the group's
/// first column. Any failure rolls the whole transaction back.
CreationResult createLayoutTables(const LayoutDocument& layout, Connection& connection,
                                  Catalog& catalog);

}  // namespace quorix
