#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorix {

/// What a type name turns into for one column; each text may be empty.
struct ColumnTypeSpec {
    std::string typeCode;  ///< decimal data type code, e.g. "202"
    std::string size;      ///< decimal defined size, or empty
    std::string property;  ///< "AutoIncrement,true" or empty

    bool operator==(const ColumnTypeSpec&) const = default;
};

/// A size that cannot be converted (it does not fit 16 bits).
class ColumnTypeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The type names offered in the type chooser for a database type key, in list order.
std::vector<std::string> typeNamesFor(std::string_view dbType);

/// The chooser entry selected at start-up for a key, or -1 when none is.
int initialTypeIndex(std::string_view dbType);

/// The type name for an XML data type name under the database type key.
std::string DBDatatype(std::string_view dbType, std::string_view xmlType);

/// The catalog type of a type name and size text (null = no size given), or nullopt when the
/// name matches no entry. Throws ColumnTypeError when the size does not fit 16 bits.
std::optional<ColumnTypeSpec> MapColumnType(std::string_view dbType, std::string_view typeName,
                                            const std::optional<std::string>& sizeText);

/// Whether a line of @p typeName uses its "桁数" on @p dbType (text lengths, a decimal's
/// precision); for the others the column is made the same whatever the size says.
bool typeTakesSize(std::string_view dbType, std::string_view typeName);

/// The locale's numeric test: digits with optional sign, decimal point, thousands
/// separators, exponent and surrounding blanks. Gives the value when it is a number.
std::optional<double> parseNumber(std::string_view text);

}  // namespace quorix
