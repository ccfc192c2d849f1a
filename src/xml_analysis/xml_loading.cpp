#include "xml_analysis/xml_loading.h"

#include <utility>
#include <vector>

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

std::unique_ptr<StructureTemplate> ReadStructureTemplate(const std::string& path,
                                                         const std::string& rowset,
                                                         const std::string& row, UserPort& port,
                                                         const XmlReadProgress& progress,
                                                         bool collectEvidence, bool attributes,
                                                         std::size_t* attributesLeft) {
    StreamingMerge merge(rowset, row, collectEvidence, attributes);
    XmlParseError error;
    if (!streamXmlFile(path, merge, error, progress)) {
        // An error after many rows leaves nothing of them behind.
        if (error.errorCode != kXmlReadCancelled) port.beep();
        port.setStatus(parseErrorText(error));
        return nullptr;
    }
    if (!merge.rowsetFound()) {
        port.beep();
        port.setStatus("XML文書内にルートタグ「" + rowset + "」がありません。");
        return nullptr;
    }
    if (!merge.rowFound()) {
        port.beep();
        port.setStatus("XML文書内に行タグ「" + row + "」がありません。");
        return nullptr;
    }
    if (attributesLeft) *attributesLeft = merge.attributesLeft();
    return merge.take();
}

std::unique_ptr<DefinitionTable> FillDefinitionTable(const StructureTemplate& tmpl,
                                                     const XmlTypeMapper& mapType,
                                                     const std::string& indentUnit,
                                                     const std::string& chooserText) {
    auto table = std::make_unique<DefinitionTable>();
    RecordSet& rs = table->records();
    // Pre-order walk without recursion: deep documents cannot exhaust the stack. Each entry
    // holds a node and the index of its next child to visit.
    std::vector<std::pair<const TemplateNode*, std::size_t>> stack{{&tmpl.root(), 0}};
    std::vector<std::string> paths{""};  // the source path of each node on the stack
    auto writeLine = [&](const TemplateNode& node, int level, const std::string& path) {
        rs.addNew();
        rs.setValue(Field::kGenerate, std::string(level == 0 ? Flag::kRowTag : Flag::kGenerate));
        rs.setValue(Field::kLevel, level);
        rs.setValue(Field::kKind, std::string(node.attribute ? kAttributeKind : kNodeKind));
        rs.setValue(Field::kTagName, indentation(indentUnit, level) + node.name);
        rs.setValue(Field::kColumnName, std::string());
        rs.setValue(Field::kType, node.attributeCount() == 0 ? chooserText : mapType(*node.type));
        rs.setValue(Field::kTableName, std::string());
        auto info = std::make_shared<LineInfo>();
        if (node.evidence.occurrences > 0)
            info->evidence = std::make_shared<const Evidence>(node.evidence);
        info->givenType = rs.text(Field::kType);
        info->documentRows = tmpl.root().evidence.rows;
        info->source = path;
        rs.setAttachmentAt(rs.currentRow(), std::move(info));
    };
    writeLine(tmpl.root(), 0, paths.back());
    while (!stack.empty()) {
        auto& [node, next] = stack.back();
        if (next == node->children.size()) {
            stack.pop_back();
            paths.pop_back();
            continue;
        }
        const TemplateNode* child = node->children[next++].get();
        const std::string path =
            paths.back().empty() ? child->name : paths.back() + "/" + child->name;
        writeLine(*child, static_cast<int>(stack.size()), path);
        stack.emplace_back(child, 0);
        paths.push_back(path);
    }
    rs.moveFirst();
    return table;
}

}  // namespace quorix
