#pragma once

// A key met twice: the database names only the later row; the earlier one is found by
// reading the documents again, on the failure's path alone.

#include <optional>
#include <string>
#include <vector>

#include "loading/document_loader.h"

namespace quorix::load {

// The row the database refused for a key it already held.
struct KeyClash {
    std::size_t table = 0;
    std::size_t document = 0;  // of the load's documents
    long line = 0, column = 0;
};

// What the plan's numbering began with before the first row was read.
struct NumberStarts {
    std::vector<long long> next;  // per auto-numbered column, in plan order
    std::vector<std::vector<std::string>> keys;  // per table: its primary key as read, if it was
};

// The message naming both rows when an earlier row of the documents holds the clashing row's
// key; nullopt when none does (the key was one the table already had).
std::optional<std::string> keyTwinMessage(const LayoutDocument& layout, const LoadRequest& request,
                                          const std::vector<std::string>& documents,
                                          const NumberStarts& starts, const KeyClash& clash);

}  // namespace quorix::load
