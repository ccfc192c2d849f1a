#pragma once

#include <optional>
#include <string>
#include <vector>

#include "xml_analysis/definition_table.h"

namespace quorix::test {

/// One definition line for a test: flag, level, element name, column name, type, size, table.
struct Def {
    std::string flag;
    int level;
    std::string tag;
    std::string column;
    std::string type = "ﾃｷｽﾄ型";
    std::optional<std::string> size;
    std::string table;
};

inline void fillDefinition(DefinitionTable& t, const std::vector<Def>& lines) {
    RecordSet& rs = t.records();
    for (const auto& d : lines) {
        rs.addNew();
        rs.setValue(Field::kGenerate, d.flag);
        rs.setValue(Field::kLevel, d.level);
        rs.setValue(Field::kKind, std::string(kNodeKind));
        rs.setValue(Field::kTagName, indentation("･･", d.level) + d.tag);
        rs.setValue(Field::kColumnName, d.column);
        rs.setValue(Field::kType, d.type);
        if (d.size) rs.setValue(Field::kSize, *d.size);
        rs.setValue(Field::kTableName, d.table);
    }
}

}  // namespace quorix::test
