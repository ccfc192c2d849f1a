#include "services/db/engine/currency.h"

#include <limits>

namespace quorix {

std::optional<long long> currencyUnits(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    std::string_view part =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    // Zeros past the fourth place change nothing: 36.000000 is 36 exactly.
    while (part.size() > 4 && part.back() == '0') part.remove_suffix(1);
    if ((whole.empty() && part.empty()) || part.size() > 4) return std::nullopt;
    // Magnitudes up to 2^63 fit unsigned; the sign decides which end of the range it may reach.
    unsigned long long units = 0;
    constexpr unsigned long long kLimit = 9223372036854775808ULL;
    auto add = [&](char c) {
        if (c < '0' || c > '9') return false;
        if (units > (kLimit - static_cast<unsigned>(c - '0')) / 10) return false;
        units = units * 10 + static_cast<unsigned>(c - '0');
        return true;
    };
    for (char c : whole)
        if (!add(c)) return std::nullopt;
    for (std::size_t i = 0; i < 4; ++i)
        if (!add(i < part.size() ? part[i] : '0')) return std::nullopt;
    if (negative) {
        if (units == kLimit) return std::numeric_limits<long long>::min();
        return -static_cast<long long>(units);
    }
    if (units == kLimit) return std::nullopt;
    return static_cast<long long>(units);
}

std::string currencyText(long long units) {
    const bool negative = units < 0;
    // Through unsigned: the smallest amount has no positive counterpart.
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(units) : static_cast<unsigned long long>(units);
    std::string text = std::to_string(magnitude / 10000);
    std::string fraction = std::to_string(magnitude % 10000);
    fraction.insert(0, 4 - fraction.size(), '0');
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return (negative ? "-" : "") + text;
}

}  // namespace quorix
