#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "services/db/engine/catalog_object.h"

namespace quorix {

/// One "name = value" line per property; "name = <description>" when it cannot be read.
std::vector<std::string> ShowProperties(const CatalogObject& object,
                                        const std::vector<std::string>& names);

std::string ColumnAttribute(const CatalogObject& column);
std::string ColumnType(const CatalogObject& column);
std::string IndexNulls(const CatalogObject& index);
std::string RuleEnum(int32_t code);
std::string KeyTypeEnum(int32_t code);
std::string CommandTypeEnum(int32_t code);
/// The symbolic name of a data type code, "<unknown>" for others.
std::string dataTypeName(int32_t code);

/// A column's type, size and nullability in Japanese terms ("型 = 整数（adInteger）").
std::vector<std::string> columnLinesInJapanese(const CatalogObject& column);

/// Which keys of @p table hold @p column ("キー = 主キー", "キー = なし").
std::string keyLineInJapanese(const CatalogObject& table, const std::string& column);

/// The panel's lines for an object, by its kind.
std::vector<std::string> propertyLines(const CatalogObject& object);

}  // namespace quorix
