#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "services/xml/xml_node.h"
#include "services/xml/xml_parse_error.h"

struct _xmlDoc;
struct _xmlParserCtxt;

namespace quorix {

/// Thrown by document operations that cannot be carried out (an invalid element name).
class XmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// An in-memory XML document over libxml2. Loading never touches the network, never loads
/// external entities or DTDs and refuses entity expansion without bound.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument&&) noexcept;
    XmlDocument& operator=(XmlDocument&&) noexcept;

    /// Parses the file at @p path, replacing the content. Returns false on failure;
    /// parseError() then tells why. Never throws for bad input.
    bool load(const std::string& path);
    /// Parses @p text (for tests and scratch use).
    bool loadXml(std::string_view text);

    const XmlParseError& parseError() const { return m_error; }

    XmlNode documentElement() const;
    /// Makes @p element the document element (the document must have none yet).
    void setDocumentElement(XmlNode element);
    /// A new element owned by this document, not yet in the tree. Throws XmlError for a name
    /// that is not a valid XML name.
    XmlNode createElement(const std::string& name);
    /// Every element of that name in document order, the document element included.
    std::vector<XmlNode> getElementsByTagName(std::string_view name) const;

private:
    void reset(_xmlDoc* doc);
    bool parseFd(int fd, const std::string& path, const std::string& encodingOverride);
    void setError(const void* firstError, _xmlParserCtxt* ctxt);

    struct Freer {
        void operator()(_xmlDoc* doc) const;
    };
    std::unique_ptr<_xmlDoc, Freer> m_doc;
    XmlParseError m_error;
};

}  // namespace quorix
