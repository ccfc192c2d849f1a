#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

/// Where an element's start tag ends in the file, and whether it says xsi:nil="true".
struct XmlElementPlace {
    long line = 0;
    long column = 0;
    bool nil = false;
};

/// What a streaming read reports, element by element, in document order.
class XmlElementHandler {
public:
    virtual ~XmlElementHandler() = default;
    /// True for a handler that wants place() before every startElement (it costs a little).
    virtual bool wantsPlaces() const { return false; }
    virtual void place(const XmlElementPlace& /*where*/) {}
    /// @p name as written (prefix included); @p dataType as XmlNode::dataType gives it.
    virtual void startElement(std::string_view name,
                              const std::optional<std::string>& dataType) = 0;
    virtual void endElement() = 0;
    /// True for a handler that wants the attributes of each element.
    virtual bool wantsAttributes() const { return false; }
    /// After startElement, each attribute that holds data, in document order: @p name as
    /// written (prefix included), @p value with its entities expanded. Namespace declarations,
    /// xsi:* and the data-type attributes are machinery, not data, and never come here.
    virtual void attribute(std::string_view /*name*/, std::string_view /*value*/) {}
    /// The most text one element may bring (its whole value, entities expanded) for a handler
    /// that holds values; 0 for one that reads past them.
    virtual std::uint64_t valueLimit() const { return 0; }
    /// Text (or CDATA) of the element last started, in pieces of UTF-8.
    virtual void characters(std::string_view /*text*/) {}
};

/// Told how many of the file's bytes were read; returns false to stop the read.
using XmlReadProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

/// XmlParseError::errorCode of a read that its progress callback stopped.
inline constexpr long kXmlReadCancelled = -1;

/// Reads the file at @p path once, with the same safety and the same error texts as
/// XmlDocument::load, and reports its elements to @p handler without building a tree: memory
/// does not grow with the document. Returns false on failure, with @p error telling why.
/// @p fingerprint, when given, gets a text that two documents of the same content (after
/// decompressing) share and others almost never do.
bool streamXmlFile(const std::string& path, XmlElementHandler& handler, XmlParseError& error,
                   const XmlReadProgress& progress = {}, std::string* fingerprint = nullptr);

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
