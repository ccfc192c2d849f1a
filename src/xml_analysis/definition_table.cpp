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

const LineInfo* lineInfo(const RecordSet& records, int row) {
    if (row < 0 || row >= records.recordCount()) return nullptr;
    return dynamic_cast<const LineInfo*>(records.attachmentAt(row).get());
}

std::vector<std::vector<std::string>> evidenceTable(const RecordSet& records) {
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> header{Field::kTagName};
    for (auto& c : evidenceColumns()) header.push_back(std::move(c));
    table.push_back(std::move(header));
    const int tag = records.fieldIndex(Field::kTagName);
    for (int row = 0; row < records.recordCount(); ++row) {
        const LineInfo* info = lineInfo(records, row);
        if (!info || !info->evidence) continue;
        const FieldValue& v = records.valueAt(row, tag);
        const auto* name = std::get_if<std::string>(&v);
        std::vector<std::string> line{name ? *name : std::string()};
        for (auto& c : evidenceCells(*info->evidence)) line.push_back(std::move(c));
        table.push_back(std::move(line));
    }
    return table;
}

std::string indentation(const std::string& indentUnit, int level) {
    std::string text;
    for (int i = 0; i < level; ++i) text += indentUnit;
    return text;
}

}  // namespace quorix
