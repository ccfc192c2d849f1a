#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml_analysis/definition_table.h"

namespace quorix {

/// What moving a definition's types into another vocabulary did or would do.
struct TypeTranslation {
    int changed = 0;                    ///< lines whose type was (or would be) replaced
    std::vector<std::string> unmapped;  ///< "TAG（type）" of lines no type of the target holds
    /// "TAG（type → type: what the target cannot hold）" of lines whose values may not all fit.
    std::vector<std::string> narrowed;
};

/// The type of @p dbType's vocabulary that holds what @p typeName of any vocabulary holds, or
/// empty when it has none (or the name is of no vocabulary).
std::string translatedType(std::string_view dbType, std::string_view typeName);
/// The same, reading @p typeName as a type of @p from's vocabulary where it is one: a name two
/// vocabularies share may hold different things ("timestamp").
std::string translatedType(std::string_view from, std::string_view to, std::string_view typeName);

/// Replaces the type of every line that is not in @p dbType's vocabulary by its counterpart
/// there (ﾃｷｽﾄ型 → varchar with the same size, 数値型 → integer, …); lines without one keep
/// their type and are named. Types are read as types of @p from (the definition's vocabulary)
/// where they are. With @p apply false nothing is changed, only counted.
TypeTranslation translateTypes(DefinitionTable& table, std::string_view from,
                               std::string_view dbType, bool apply);

/// "N 行の型を「KEY」の型に置き換えました。" and the lines left alone.
std::string translationReport(const TypeTranslation& translation, std::string_view dbType);

}  // namespace quorix
