#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept {
            return std::hash<std::string_view>{}(s);
        }
    };
    // Children by name, so that wide rows stay linear.
    std::unordered_map<std::string, TemplateNode*, Hash, std::equal_to<>> m_byName;

public:

    /// The child of that name, created (with @p source's data type) when there is none.
    TemplateNode* match(const XmlNode& source);
    /// The child named @p name, or null.
    TemplateNode* child(std::string_view name) const;
    /// Appends a child; the name must be new among the children.
    TemplateNode* addChild(std::string name, std::optional<std::string> type);
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
