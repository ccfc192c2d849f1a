#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "services/xml/xml_document.h"
#include "services/xml/xml_node.h"
#include "xml_analysis/evidence.h"

namespace quorix {

/// One element path of the merged rows: its name, the data type of its first occurrence and
/// the paths below it in order of first appearance.
struct TemplateNode {
    std::string name;
    std::optional<std::string> type;
    std::vector<std::unique_ptr<TemplateNode>> children;
    TemplateNode* parent = nullptr;
    /// An attribute of the parent element; its name then begins with "@".
    bool attribute = false;
    /// What the rows said about this element (a streaming read collects it).
    Evidence evidence;
    long long lastRow = -1;  ///< the last row that counted in evidence.rows

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

/// Merges one row at a time into a template from its element events, collecting the
/// evidence of its values.
class RowMerger {
public:
    /// Begins a row: @p row tells rows apart in the evidence.
    void begin(TemplateNode* root, long long row, bool collect);
    void start(std::string_view name, const std::optional<std::string>& dataType);
    void text(std::string_view text);
    /// An attribute of the element last started (its line named "@" + @p name).
    void attribute(std::string_view name, std::string_view value);
    /// Ends an element; false when it was the row itself.
    bool end();
    /// The template node of the element last started.
    const TemplateNode* current() const { return m_frames[m_depth - 1].node; }

private:
    struct Frame {
        TemplateNode* node = nullptr;
        bool childElements = false;
        ValueScanner value;
    };
    std::vector<Frame> m_frames;  // reused from row to row
    std::size_t m_depth = 0;      // frames in use, the row's own included
    long long m_row = 0;
    bool m_collect = true;
    ValueScanner m_attribute;
    std::string m_attributeName;
};

/// Merges the rows of a document as its elements stream past, into the same template that
/// merging each row element of the whole document gives: the rowset is the first element with
/// the rowset tag, rows are its descendants with the row tag, and a row nested in another is
/// merged again on its own after the enclosing row. With @p collectEvidence, every element
/// also learns what its values are. With @p attributes, the attributes of the elements of a
/// row are paths of their own ("@name" below their element); without, they are only counted.
/// Memory is bounded by the template and the largest row.
class StreamingMerge : public XmlElementHandler {
public:
    StreamingMerge(std::string rowsetTag, std::string rowTag, bool collectEvidence = true,
                   bool attributes = false);

    void startElement(std::string_view name, const std::optional<std::string>& dataType) override;
    void endElement() override;
    void characters(std::string_view text) override;
    bool wantsAttributes() const override { return true; }
    void attribute(std::string_view name, std::string_view value) override;

    bool rowsetFound() const { return m_rowsetFound; }
    bool rowFound() const { return m_rows > 0; }
    /// Attribute paths seen but not made into template paths (attributes off).
    std::size_t attributesLeft() const { return m_attributesLeft.size(); }
    /// The merged template; the merge is done with it.
    std::unique_ptr<StructureTemplate> take() { return std::move(m_template); }

private:
    struct Event {
        enum Kind { Start, Text, End, Attribute } kind;
        std::string name;  // the element's or attribute's name, or the text
        std::optional<std::string> type;  // an element's data type, an attribute's value
    };
    void mergeNestedRows();
    TemplateNode* root() { return const_cast<TemplateNode*>(&m_template->root()); }

    std::string m_rowsetTag;
    std::string m_rowTag;
    bool m_collect;
    bool m_attributes;
    std::set<std::pair<const TemplateNode*, std::string>> m_attributesLeft;
    std::unique_ptr<StructureTemplate> m_template;
    RowMerger m_merger;
    long m_depth = 0;
    long m_rowsetDepth = 0;  // 0: not inside the rowset
    long m_rowDepth = 0;     // 0: not inside a row
    bool m_rowsetFound = false;
    long long m_rows = 0;  // rows merged, nested ones included
    long long m_outerRows = 0;
    bool m_recording = false;  // a nested row began: its events wait for the enclosing row's end
    std::vector<Event> m_events;
};

}  // namespace quorix
