#pragma once

// The definition's tables written back out as one document of the definition's form: a row
// element per row of the top table, each child table's rows inside the row they are keyed to,
// elements and attributes where the lines say, values as the loader reads them back. Read in
// one snapshot, page by page in key order, so that memory stays bounded.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "generation/table_layout.h"

namespace quorix {

class Connection;

struct ExportRequest {
    std::string rowset = "ROWSET";
    std::string row = "ROW";
    std::string dbType;
    /// The file written (whole, or not at all); empty: the stream given to exportTables.
    std::string outputPath;
    /// One table alone, flat: a row element per row, an element per column.
    std::string table;
};

struct ExportResult {
    bool ok = false;
    std::string message;
    std::vector<std::pair<std::string, long long>> rows;  // per table written
};

/// Rows per page read from a table (tests make it small to cross pages).
extern std::size_t exportPageRows;

/// Writes the tables of @p layout from @p connection; @p out when no file is asked for.
/// @p progress gets the top table's rows written so far and may return false to stop.
ExportResult exportTables(const LayoutDocument& layout, const ExportRequest& request,
                          Connection& connection, std::ostream* out = nullptr,
                          const std::function<bool(long long)>& progress = {});

/// "3 個の表の 1,234 行を書き出しました。" and the like.
std::string exportReport(const ExportResult& result);

}  // namespace quorix
