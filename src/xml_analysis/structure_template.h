#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/xml/xml_node.h"

namespace quorix {

/// One element path of the merged rows: its name, the data type of its first occurrence and
/// the paths below it in order of first appearance.
struct TemplateNode {
    std::string name;
    std::optional<std::string> type;
    std::vector<std::unique_ptr<TemplateNode>> children;
    TemplateNode* parent = nullptr;

    /// The child of that name, created (with @p source's data type) when there is none.
    TemplateNode* match(const XmlNode& source);
    /// Number of attributes: 1 with a type, else 0.
    int attributeCount() const { return type ? 1 : 0; }
};

/// Every element path below the row elements exactly once: the row tag at the root.
class StructureTemplate {
public:
    explicit StructureTemplate(std::string rowTag);

    /// Merges one row element into the template.
    void merge(const XmlNode& row);

    const TemplateNode& root() const { return m_root; }

private:
    TemplateNode m_root;
};

}  // namespace quorix
