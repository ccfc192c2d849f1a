#include "xml_analysis/structure_template.h"

namespace quorix {

TemplateNode* TemplateNode::match(const XmlNode& source) {
    for (const auto& child : children)
        if (source.hasName(child->name)) return child.get();
    auto node = std::make_unique<TemplateNode>();
    node->name = source.nodeName();
    node->type = source.dataType();
    node->parent = this;
    children.push_back(std::move(node));
    return children.back().get();
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
