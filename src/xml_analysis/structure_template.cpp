#include "xml_analysis/structure_template.h"

namespace quorix {

TemplateNode* TemplateNode::match(const XmlNode& source) {
    std::string name = source.nodeName();
    if (TemplateNode* found = child(name)) return found;
    return addChild(std::move(name), source.dataType());
}

TemplateNode* TemplateNode::child(std::string_view name) const {
    const auto it = m_byName.find(name);
    return it == m_byName.end() ? nullptr : it->second;
}

TemplateNode* TemplateNode::addChild(std::string name, std::optional<std::string> type) {
    auto node = std::make_unique<TemplateNode>();
    node->name = std::move(name);
    node->type = std::move(type);
    node->parent = this;
    TemplateNode* raw = node.get();
    children.push_back(std::move(node));
    m_byName.emplace(raw->name, raw);
    return raw;
}

StructureTemplate::StructureTemplate(std::string rowTag) {
    m_root.name = std::move(rowTag);
}

void StructureTemplate::merge(const XmlNode& row) {
    XmlNode cur = row;
    TemplateNode* tcur = &m_root;
    int depth = 0;
    bool ascended = false;
    do {
        if (!ascended && cur.hasChildNodes()) {
            if (XmlNode e = cur.firstElementChild()) {
                cur = e;
                ++depth;
                tcur = tcur->match(e);
                continue;
            }
        }
        if (depth == 0) return;  // the row has no element child at all
        if (XmlNode s = cur.nextElementSibling()) {
            cur = s;
            tcur = tcur->parent->match(s);
            ascended = false;
        } else {
            cur = cur.parentNode();
            tcur = tcur->parent;
            --depth;
            ascended = true;
        }
    } while (depth >= 1);
}

}  // namespace quorix
