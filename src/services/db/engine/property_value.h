#pragma once

#include <string>
#include <variant>

namespace quorix {

/// A property value of a catalog object; monostate is the null value.
using PropertyValue = std::variant<std::monostate, bool, long long, double, std::string>;

/// The default text form: text unchanged, numbers in decimal, booleans "True"/"False",
/// null as empty text.
std::string propertyText(const PropertyValue& value);

}  // namespace quorix
