#include "xml_analysis/definition_table.h"

#include "services/db/engine/data_type.h"

namespace quorix {

DefinitionTable::DefinitionTable() {
    m_records.appendField(Field::kKey, adChar, 4, adFldUnspecified);
    m_records.appendField(Field::kGenerate, adChar, 2, adFldUnspecified);
    m_records.appendField(Field::kLevel, adInteger, 4, adFldUnspecified);
    m_records.appendField(Field::kKind, adChar, 10, adFldUnspecified);
    m_records.appendField(Field::kTagName, adChar, 200, adFldUnspecified);
    m_records.appendField(Field::kColumnName, adChar, 20, adFldIsNullable);
    // Wide enough for every type name offered ("日付/時刻型" takes 11 bytes).
    m_records.appendField(Field::kType, adChar, 20, adFldUnspecified);
    m_records.appendField(Field::kSize, adChar, 10, adFldIsNullable);
    m_records.appendField(Field::kTableName, adChar, 20, adFldIsNullable);
    m_records.open();
}

std::string indentation(const std::string& indentUnit, int level) {
    std::string text;
    for (int i = 0; i < level; ++i) text += indentUnit;
    return text;
}

}  // namespace quorix
