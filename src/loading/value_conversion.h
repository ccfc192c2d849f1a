#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "services/db/engine/database_engine.h"

namespace quorix {

/// What a column takes, as the loader checks it before the engine sees a value.
struct ColumnRule {
    int32_t type = 0;               ///< data type code
    std::optional<long long> size;  ///< the most a text may hold
    bool sizeInCharacters = false;  ///< size counts characters (else CP932 bytes)
    bool zoneKept = true;           ///< a date-time's zone is kept (else refused)
    int precision = 0;              ///< a decimal's digits (0: any)
    int scale = 0;                  ///< a decimal's digits after the point
    /// A server that would alter a time it cannot hold as written (more than six fraction
    /// digits, second 60, 24:00) instead of refusing it.
    bool timesAltered = false;
};

/// The rule for a column of @p typeCode and @p size (the definition's "桁数") on @p dbType;
/// nullopt with a reason when values of that type cannot be loaded.
std::optional<ColumnRule> columnRule(int32_t typeCode, const std::optional<long long>& size,
                                     const std::string& dbType, bool timeZone, std::string& reason);

/// True for the types whose values are text, kept exactly as written.
bool isTextType(int32_t type);

/// Whether text fits a text column's size; false with a Japanese reason.
bool textFits(const ColumnRule& rule, std::string_view raw, std::string& reason);

/// Converts an element's value to the column's type. Text is kept exactly; other types are
/// read after surrounding blanks are removed. Returns false with a Japanese reason.
bool convertValue(const ColumnRule& rule, std::string_view raw, CellValue& out,
                  std::string& reason);

}  // namespace quorix
