#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorix {

/// A currency amount written as [+-]digits[.digits] (at most four after the point) in units
/// of 1/10 000, as the type holds it: -922337203685477.5808 to 922337203685477.5807.
/// nullopt for anything else, or an amount out of that range.
std::optional<long long> currencyUnits(std::string_view text);

/// Units of 1/10 000 as the amount they are, without trailing zeros: 385000 is "38.5".
std::string currencyText(long long units);

}  // namespace quorix
