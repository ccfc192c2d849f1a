#include "loading/key_links.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "services/text/text.h"

namespace quorix {

namespace {

// A generated line and the lines nested under it, as the layout hangs them.
struct Node {
    int row = -1;
    int level = 0;
    std::optional<std::string> source;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
};

std::string text(const RecordSet& rs, int row, const char* field) {
    const FieldValue& v = rs.valueAt(row, rs.fieldIndex(field));
    return std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : std::string();
}

int levelOf(const RecordSet& rs, int row) {
    const FieldValue& v = rs.valueAt(row, rs.fieldIndex(Field::kLevel));
    return std::holds_alternative<int32_t>(v) ? std::get<int32_t>(v) : 0;
}

// The generated lines of the definition, hung as the table layout hangs them.
std::unique_ptr<Node> tree(const RecordSet& rs) {
    auto root = std::make_unique<Node>();
    Node* current = root.get();
    for (int row = 0; row < rs.recordCount(); ++row) {
        const std::string flag = trimBlanks(text(rs, row, Field::kGenerate));
        if (flag != Flag::kGenerate && !flag.empty()) continue;
        auto node = std::make_unique<Node>();
        node->row = row;
        node->level = levelOf(rs, row);
        if (const LineInfo* info = lineInfo(rs, row)) node->source = info->source;
        Node* parent = current;
        const auto above = [&](Node* n) { return n->parent && node->level < n->level; };
        if (current->parent && current->level == node->level) {
            parent = current->parent;
        } else if (above(current)) {
            Node* a = current;
            while (above(a)) a = a->parent;
            parent = a->parent && node->level > a->level ? a : (a->parent ? a->parent : a);
        }
        node->parent = parent;
        parent->children.push_back(std::move(node));
        current = parent->children.back().get();
    }
    return root;
}

bool under(const std::string& path, const std::string& ancestor) {
    return ancestor.empty() || path == ancestor ||
           (path.size() > ancestor.size() && path.compare(0, ancestor.size(), ancestor) == 0 &&
            path[ancestor.size()] == '/');
}

std::string commonPath(const std::string& a, const std::string& b) {
    std::string path = a;
    while (!under(b, path)) {
        const auto slash = path.rfind('/');
        path = slash == std::string::npos ? "" : path.substr(0, slash);
    }
    return path;
}

// The first wrapper line from the outermost in, or null.
const Node* firstWrapper(const Node& n) {
    if (n.parent && !n.children.empty() && n.source) {
        // The group's rows: where its lines and every line below them meet.
        std::optional<std::string> record;
        std::vector<const Node*> lines;
        for (const auto& c : n.children) lines.push_back(c.get());
        while (!lines.empty()) {
            const Node* c = lines.back();
            lines.pop_back();
            for (const auto& d : c->children) lines.push_back(d.get());
            if (c->source) record = record ? commonPath(*record, *c->source) : *c->source;
        }
        if (record && under(*record, *n.source)) return &n;
    }
    for (const auto& c : n.children)
        if (const Node* w = firstWrapper(*c)) return w;
    return nullptr;
}

// Moves rows [from, to) to just after row @p after (which is before them).
void moveRows(RecordSet& rs, int from, int to, int after) {
    std::vector<int> order;
    for (int r = 0; r <= after; ++r) order.push_back(r);
    for (int r = from; r < to; ++r) order.push_back(r);
    for (int r = after + 1; r < from; ++r) order.push_back(r);
    for (int r = to; r < rs.recordCount(); ++r) order.push_back(r);
    const int fields = static_cast<int>(rs.fields().size());
    std::vector<std::vector<FieldValue>> values;
    std::vector<RecordAttachmentPtr> attachments;
    for (int r : order) {
        values.emplace_back();
        for (int f = 0; f < fields; ++f) values.back().push_back(rs.valueAt(r, f));
        attachments.push_back(rs.attachmentAt(r));
    }
    for (int r = 0; r < rs.recordCount(); ++r) {
        for (int f = 0; f < fields; ++f) rs.setValueAt(r, f, values[r][f]);
        rs.setAttachmentAt(r, attachments[r]);
    }
}

}  // namespace

KeyLinkResult linkNestedKeys(DefinitionTable& table) {
    KeyLinkResult result;
    RecordSet& rs = table.records();
    const int flag = rs.fieldIndex(Field::kGenerate);
    for (int guard = 0; guard < rs.recordCount(); ++guard) {
        const auto root = tree(rs);
        const Node* wrapper = firstWrapper(*root);
        if (!wrapper) break;
        const Node& first = *wrapper->parent->children.front();
        const std::string name = trimBlanks(text(rs, wrapper->row, Field::kTagName));
        // A chain of wrappers (ITEMS/ITEM) holds one nested group: counted at its last link.
        const bool holdsTheGroup = std::any_of(wrapper->children.begin(), wrapper->children.end(),
                                               [](const auto& c) { return c->children.empty(); });
        if (&first == wrapper ? wrapper->parent->children.size() > 1 : !first.children.empty()) {
            result.unlinked.push_back("「" + name +
                                      "」の下の行は自動では移せません。手で移してください。");
            break;
        }
        if (&first != wrapper) {
            int end = wrapper->row + 1;
            while (end < rs.recordCount() && levelOf(rs, end) > wrapper->level) ++end;
            const int firstRow = first.row;
            const int wrapperRow = wrapper->row;
            moveRows(rs, wrapperRow, end, firstRow);
            rs.setValueAt(firstRow + 1, flag, std::string(Flag::kExclude));
        } else {
            rs.setValueAt(wrapper->row, flag, std::string(Flag::kExclude));
        }
        if (holdsTheGroup) ++result.linked;
    }
    return result;
}

}  // namespace quorix
