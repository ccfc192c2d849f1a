#include "xml_analysis/xml_loading.h"

namespace quorix {

std::string fileExtension(const std::string& fileName) {
    const auto dot = fileName.rfind('.');
    return dot == std::string::npos ? std::string() : fileName.substr(dot + 1);
}

std::string parseErrorText(const XmlParseError& error) {
    // A file that cannot be read at all has no line to point at.
    if (error.line <= 0) return error.reason;
    std::string text = error.reason;
    text.append("行").append(std::to_string(error.line)).append(": ").append(error.srcText);
    return text;
}

std::unique_ptr<StructureTemplate> BuildStructureTemplate(const XmlDocument& document,
                                                          const std::string& rowset,
                                                          const std::string& row, UserPort& port) {
    const auto rowsets = document.getElementsByTagName(rowset);
    if (rowsets.empty()) {
        port.beep();
        port.setStatus("XML文書内にルートタグ「" + rowset + "」がありません。");
        return nullptr;
    }
    const auto rows = rowsets.front().getElementsByTagName(row);
    if (rows.empty()) {
        port.beep();
        port.setStatus("XML文書内に行タグ「" + row + "」がありません。");
        return nullptr;
    }
    auto tmpl = std::make_unique<StructureTemplate>(row);
    for (const XmlNode& r : rows) tmpl->merge(r);
    return tmpl;
}

std::unique_ptr<DefinitionTable> FillDefinitionTable(const StructureTemplate& tmpl,
                                                     const XmlTypeMapper& mapType,
                                                     const std::string& indentUnit,
                                                     const std::string& chooserText) {
    auto table = std::make_unique<DefinitionTable>();
    RecordSet& rs = table->records();
    // Pre-order walk without recursion: deep documents cannot exhaust the stack.
    const TemplateNode* node = &tmpl.root();
    int level = 0;
    while (node) {
        rs.addNew();
        rs.setValue(Field::kGenerate, std::string(level == 0 ? Flag::kRowTag : Flag::kGenerate));
        rs.setValue(Field::kLevel, level);
        rs.setValue(Field::kKind, std::string(kNodeKind));
        rs.setValue(Field::kTagName, indentation(indentUnit, level) + node->name);
        rs.setValue(Field::kColumnName, std::string());
        rs.setValue(Field::kType, node->attributeCount() == 0 ? chooserText : mapType(*node->type));
        rs.setValue(Field::kTableName, std::string());

        if (!node->children.empty()) {
            node = node->children.front().get();
            ++level;
            continue;
        }
        // Climb until an ancestor has a next sibling.
        while (node && node != &tmpl.root()) {
            const TemplateNode* parent = node->parent;
            auto it = parent->children.begin();
            while (it->get() != node) ++it;
            if (++it != parent->children.end()) {
                node = it->get();
                break;
            }
            node = parent;
            --level;
        }
        if (node == &tmpl.root()) node = nullptr;
    }
    rs.moveFirst();
    return table;
}

}  // namespace quorix
