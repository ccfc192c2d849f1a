#include "services/xml/xml_node.h"

#include <libxml/tree.h>

#include <cstring>

namespace quorix {

namespace {

const char* chars(const xmlChar* s) {
    return reinterpret_cast<const char*>(s);
}
const xmlChar* xml(const char* s) {
    return reinterpret_cast<const xmlChar*>(s);
}

bool qualifiedNameIs(const xmlChar* prefix, const xmlChar* local, std::string_view name) {
    if (!local) return false;
    if (!prefix) return name == chars(local);
    const std::size_t p = std::strlen(chars(prefix));
    return name.size() > p && name.compare(0, p, chars(prefix)) == 0 && name[p] == ':' &&
           name.substr(p + 1) == chars(local);
}

std::string qualifiedName(const xmlChar* prefix, const xmlChar* local) {
    std::string name;
    if (prefix) {
        name = chars(prefix);
        name += ':';
    }
    if (local) name += chars(local);
    return name;
}

std::string attributeValue(xmlAttr* attr) {
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(attr));
    std::string text = value ? chars(value) : "";
    xmlFree(value);
    return text;
}

xmlAttr* findAttribute(xmlNode* node, std::string_view name) {
    if (!node || node->type != XML_ELEMENT_NODE) return nullptr;
    for (xmlAttr* a = node->properties; a; a = a->next)
        if (qualifiedNameIs(a->ns ? a->ns->prefix : nullptr, a->name, name)) return a;
    return nullptr;
}

std::optional<std::string> nsAttribute(xmlNode* node, const char* local, const char* ns) {
    xmlChar* value = xmlGetNsProp(node, xml(local), xml(ns));
    if (!value) return std::nullopt;
    std::string text = chars(value);
    xmlFree(value);
    return text;
}

}  // namespace

int XmlNode::nodeType() const {
    return m_node ? static_cast<int>(m_node->type) : 0;
}

std::string XmlNode::nodeName() const {
    if (!m_node) return {};
    switch (m_node->type) {
        case XML_ELEMENT_NODE:
            return qualifiedName(m_node->ns ? m_node->ns->prefix : nullptr, m_node->name);
        case XML_TEXT_NODE:
            return "#text";
        case XML_COMMENT_NODE:
            return "#comment";
        case XML_CDATA_SECTION_NODE:
            return "#cdata-section";
        case XML_DOCUMENT_NODE:
            return "#document";
        default:
            return m_node->name ? chars(m_node->name) : "";
    }
}

bool XmlNode::hasName(std::string_view name) const {
    return m_node && m_node->type == XML_ELEMENT_NODE &&
           qualifiedNameIs(m_node->ns ? m_node->ns->prefix : nullptr, m_node->name, name);
}

bool XmlNode::hasChildNodes() const {
    return m_node && m_node->children;
}

XmlNode XmlNode::firstChild() const {
    return XmlNode(m_node ? m_node->children : nullptr);
}

XmlNode XmlNode::nextSibling() const {
    return XmlNode(m_node ? m_node->next : nullptr);
}

XmlNode XmlNode::parentNode() const {
    return XmlNode(m_node ? m_node->parent : nullptr);
}

XmlNode XmlNode::firstElementChild() const {
    if (!m_node) return {};
    xmlNode* n = m_node->children;
    while (n && n->type != XML_ELEMENT_NODE) n = n->next;
    return XmlNode(n);
}

XmlNode XmlNode::nextElementSibling() const {
    if (!m_node) return {};
    xmlNode* n = m_node->next;
    while (n && n->type != XML_ELEMENT_NODE) n = n->next;
    return XmlNode(n);
}

std::optional<std::string> XmlNode::dataType() const {
    // Attributes the DTD gives by default count too, as the streaming reader sees them.
    if (!m_node || m_node->type != XML_ELEMENT_NODE) return std::nullopt;
    if (auto dt = nsAttribute(m_node, "dt", kDatatypesNs)) return dt;
    if (auto dt = nsAttribute(m_node, "dt", kDatatypesNsOld)) return dt;
    if (auto type = nsAttribute(m_node, "type", kXsiNs)) {
        const auto colon = type->find(':');
        return colon == std::string::npos ? *type : type->substr(colon + 1);
    }
    return std::nullopt;
}

std::string XmlNode::text() const {
    if (!m_node) return {};
    xmlChar* content = xmlNodeGetContent(m_node);
    std::string t = content ? chars(content) : "";
    xmlFree(content);
    return t;
}

std::optional<std::string> XmlNode::getAttribute(const std::string& name) const {
    if (xmlAttr* a = findAttribute(m_node, name)) return attributeValue(a);
    return std::nullopt;
}

void XmlNode::setAttribute(const std::string& name, const std::string& value) {
    if (!m_node || m_node->type != XML_ELEMENT_NODE) return;
    // Without a namespace, so that a ':' in the name never looks one up.
    xmlSetNsProp(m_node, nullptr, xml(name.c_str()), xml(value.c_str()));
}

int XmlNode::attributeCount() const {
    if (!m_node || m_node->type != XML_ELEMENT_NODE) return 0;
    int n = 0;
    for (xmlAttr* a = m_node->properties; a; a = a->next) ++n;
    for (xmlNs* ns = m_node->nsDef; ns; ns = ns->next) ++n;
    return n;
}

XmlNode XmlNode::appendChild(XmlNode child) {
    if (!m_node || !child.m_node) return {};
    xmlUnlinkNode(child.m_node);
    // Linked by hand: xmlAddChild would merge adjacent text nodes and free ours.
    xmlNode* c = child.m_node;
    c->parent = m_node;
    c->prev = m_node->last;
    c->next = nullptr;
    if (m_node->last)
        m_node->last->next = c;
    else
        m_node->children = c;
    m_node->last = c;
    return child;
}

void XmlNode::removeChild(XmlNode child) {
    if (!m_node || !child.m_node || child.m_node->parent != m_node) return;
    xmlUnlinkNode(child.m_node);
    xmlFreeNode(child.m_node);
}

std::vector<XmlNode> XmlNode::getElementsByTagName(std::string_view name) const {
    std::vector<XmlNode> found;
    if (!m_node) return found;
    // Iterative pre-order walk below this node.
    xmlNode* n = m_node->children;
    while (n) {
        if (n->type == XML_ELEMENT_NODE &&
            qualifiedNameIs(n->ns ? n->ns->prefix : nullptr, n->name, name))
            found.emplace_back(n);
        if (n->children && n->type == XML_ELEMENT_NODE) {
            n = n->children;
            continue;
        }
        while (n && !n->next) {
            n = n->parent;
            if (n == m_node) n = nullptr;
        }
        if (n) n = n->next;
    }
    return found;
}

}  // namespace quorix
