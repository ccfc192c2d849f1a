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

void RowMerger::begin(TemplateNode* root, long long row, bool collect) {
    m_row = row;
    m_collect = collect;
    if (m_frames.empty()) m_frames.resize(8);
    m_frames[0].node = root;
    m_frames[0].childElements = false;
    m_depth = 1;
    root->evidence.rows++;
    root->evidence.occurrences++;
}

void RowMerger::start(std::string_view name, const std::optional<std::string>& dataType) {
    Frame& parent = m_frames[m_depth - 1];
    parent.childElements = true;
    TemplateNode* node = parent.node->child(name);
    if (!node) node = parent.node->addChild(std::string(name), dataType);
    if (m_depth == m_frames.size()) m_frames.resize(m_frames.size() * 2);
    Frame& f = m_frames[m_depth++];
    f.node = node;
    f.childElements = false;
    if (!m_collect) return;
    f.value.reset();
    Evidence& e = node->evidence;
    ++e.occurrences;
    if (node->lastRow != m_row) {
        node->lastRow = m_row;
        ++e.rows;
    }
}

void RowMerger::text(std::string_view text) {
    if (m_collect && m_depth > 1) m_frames[m_depth - 1].value.append(text);
}

void RowMerger::attribute(std::string_view name, std::string_view value) {
    TemplateNode* element = m_frames[m_depth - 1].node;
    m_attributeName.assign("@").append(name);
    TemplateNode* node = element->child(m_attributeName);
    if (!node) {
        node = element->addChild(m_attributeName, std::nullopt);
        node->attribute = true;
    }
    if (!m_collect) return;
    Evidence& e = node->evidence;
    ++e.occurrences;
    if (node->lastRow != m_row) {
        node->lastRow = m_row;
        ++e.rows;
    }
    m_attribute.reset();
    m_attribute.append(value);
    m_attribute.addTo(e);
}

bool RowMerger::end() {
    if (m_depth <= 1) return false;
    const Frame& f = m_frames[--m_depth];
    // A value: an element without children, or one with text of its own.
    if (m_collect && (!f.childElements || f.value.hasText())) f.value.addTo(f.node->evidence);
    return true;
}

StreamingMerge::StreamingMerge(std::string rowsetTag, std::string rowTag, bool collectEvidence,
                               bool attributes)
    : m_rowsetTag(std::move(rowsetTag)),
      m_rowTag(std::move(rowTag)),
      m_collect(collectEvidence),
      m_attributes(attributes),
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
            m_merger.begin(root(), m_rows++, m_collect);
            ++m_outerRows;
        }
        return;
    }
    m_merger.start(name, dataType);
    if (name == m_rowTag) m_recording = true;
    if (m_recording) m_events.push_back({Event::Start, std::string(name), dataType});
}

void StreamingMerge::characters(std::string_view text) {
    if (m_rowDepth == 0) return;
    m_merger.text(text);
    if (m_recording && m_collect) m_events.push_back({Event::Text, std::string(text), {}});
}

void StreamingMerge::attribute(std::string_view name, std::string_view value) {
    if (m_rowDepth == 0) return;
    if (!m_attributes) {
        m_attributesLeft.emplace(m_merger.current(), name);
        return;
    }
    m_merger.attribute(name, value);
    if (m_recording)
        m_events.push_back({Event::Attribute, std::string(name), std::string(value)});
}

void StreamingMerge::endElement() {
    if (m_rowDepth != 0) {
        if (m_depth == m_rowDepth) {
            m_merger.end();
            mergeNestedRows();
            m_rowDepth = 0;
        } else {
            m_merger.end();
            if (m_recording) m_events.push_back({Event::End, {}, {}});
        }
    }
    if (m_depth == m_rowsetDepth) m_rowsetDepth = 0;
    --m_depth;
}

// Each nested row, in document order, merged on its own as a row of the rowset.
void StreamingMerge::mergeNestedRows() {
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        if (m_events[i].kind != Event::Start || m_events[i].name != m_rowTag) continue;
        RowMerger nested;
        nested.begin(root(), m_rows++, m_collect);
        for (std::size_t j = i + 1; j < m_events.size(); ++j) {
            const Event& e = m_events[j];
            if (e.kind == Event::Start) {
                nested.start(e.name, e.type);
            } else if (e.kind == Event::Text) {
                nested.text(e.name);
            } else if (e.kind == Event::Attribute) {
                nested.attribute(e.name, *e.type);
            } else if (!nested.end()) {
                break;
            }
        }
    }
    m_events.clear();
    m_recording = false;
}

}  // namespace quorix
