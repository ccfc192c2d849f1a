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

StreamingMerge::StreamingMerge(std::string rowsetTag, std::string rowTag)
    : m_rowsetTag(std::move(rowsetTag)),
      m_rowTag(std::move(rowTag)),
      m_template(std::make_unique<StructureTemplate>(m_rowTag)) {}

void StreamingMerge::startElement(std::string_view name,
                                  const std::optional<std::string>& dataType) {
    ++m_depth;
    if (!m_rowsetFound) {
        if (name == m_rowsetTag) {
            m_rowsetFound = true;
            m_rowsetDepth = m_depth;
        }
        return;
    }
    if (m_rowsetDepth == 0) return;  // after the rowset
    if (m_rowDepth == 0) {
        if (name == m_rowTag) {
            m_rowDepth = m_depth;
            m_cursor = const_cast<TemplateNode*>(&m_template->root());
            ++m_rows;
        }
        return;
    }
    TemplateNode* next = m_cursor->child(name);
    m_cursor = next ? next : m_cursor->addChild(std::string(name), dataType);
    if (name == m_rowTag) m_recording = true;
    if (m_recording) m_events.push_back({std::string(name), dataType});
}

void StreamingMerge::endElement() {
    if (m_rowDepth != 0) {
        if (m_depth == m_rowDepth) {
            mergeNestedRows();
            m_rowDepth = 0;
        } else {
            m_cursor = m_cursor->parent;
            if (m_recording) m_events.push_back({});
        }
    }
    if (m_depth == m_rowsetDepth) m_rowsetDepth = 0;
    --m_depth;
}

// Each nested row, in document order, merged on its own as a row of the rowset.
void StreamingMerge::mergeNestedRows() {
    TemplateNode* root = const_cast<TemplateNode*>(&m_template->root());
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        if (m_events[i].name != m_rowTag) continue;
        TemplateNode* cursor = root;
        long level = 0;
        for (std::size_t j = i + 1; j < m_events.size(); ++j) {
            const Event& e = m_events[j];
            if (e.name.empty()) {
                if (level-- == 0) break;
                cursor = cursor->parent;
                continue;
            }
            TemplateNode* next = cursor->child(e.name);
            cursor = next ? next : cursor->addChild(e.name, e.type);
            ++level;
        }
    }
    m_events.clear();
    m_recording = false;
}

}  // namespace quorix
