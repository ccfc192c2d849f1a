#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _xmlNode;

namespace quorix {

// The namespaces that declare an element's data type.
inline constexpr char kDatatypesNs[] = "urn:schemas-microsoft-com:datatypes";
inline constexpr char kDatatypesNsOld[] = "uuid:C2F41010-65B3-11d1-A29F-00AA00C14882";
inline constexpr char kXsiNs[] = "http://www.w3.org/2001/XMLSchema-instance";

/// A non-owning handle on a node of an XmlDocument; null when default-constructed.
/// Valid as long as its document lives.
class XmlNode {
public:
    enum Type { Element = 1, Attribute = 2, Text = 3, CData = 4, Comment = 8, Document = 9 };

    XmlNode() = default;
    explicit XmlNode(_xmlNode* node) : m_node(node) {}

    bool isNull() const { return m_node == nullptr; }
    explicit operator bool() const { return m_node != nullptr; }
    bool operator==(const XmlNode& other) const { return m_node == other.m_node; }

    int nodeType() const;
    /// The qualified name, prefix included ("dt:x").
    std::string nodeName() const;
    /// Compares the qualified name without building it.
    bool hasName(std::string_view name) const;
    bool hasChildNodes() const;
    XmlNode firstChild() const;
    XmlNode nextSibling() const;
    XmlNode parentNode() const;
    /// First child / following sibling that is an element, or null.
    XmlNode firstElementChild() const;
    XmlNode nextElementSibling() const;

    /// The declared data type: dt:dt of the XML-Data datatypes namespace, else the local part
    /// of xsi:type; nullopt when neither is present.
    std::optional<std::string> dataType() const;

    /// The text content of the node and everything below it.
    std::string text() const;

    std::optional<std::string> getAttribute(const std::string& name) const;
    void setAttribute(const std::string& name, const std::string& value);
    int attributeCount() const;

    /// Appends @p child (which must belong to the same document) as the last child.
    XmlNode appendChild(XmlNode child);
    void removeChild(XmlNode child);

    /// Every descendant element of that exact name, in document order (this node excluded).
    std::vector<XmlNode> getElementsByTagName(std::string_view name) const;

    _xmlNode* raw() const { return m_node; }

private:
    _xmlNode* m_node = nullptr;
};

}  // namespace quorix
