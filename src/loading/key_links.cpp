#include "loading/key_links.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <set>

#include "generation/table_layout.h"
#include "services/text/text.h"

namespace quorix {

namespace {

std::string text(const RecordSet& rs, int row, const char* field) {
    const FieldValue& v = rs.valueAt(row, rs.fieldIndex(field));
    return std::holds_alternative<std::string>(v) ? trimBlanks(std::get<std::string>(v))
                                                  : std::string();
}

int levelOf(const RecordSet& rs, int row) {
    const FieldValue& v = rs.valueAt(row, rs.fieldIndex(Field::kLevel));
    return std::holds_alternative<int32_t>(v) ? std::get<int32_t>(v) : 0;
}

bool kept(const RecordSet& rs, int row) {
    const std::string flag = text(rs, row, Field::kGenerate);
    return flag == Flag::kGenerate || flag.empty();
}

std::optional<std::string> sourceOf(const RecordSet& rs, int row) {
    const LineInfo* info = lineInfo(rs, row);
    return info ? info->source : std::nullopt;
}

// The rows below @p row in the definition: those after it with a deeper level.
int endOf(const RecordSet& rs, int row) {
    int end = row + 1;
    while (end < rs.recordCount() && levelOf(rs, end) > levelOf(rs, row)) ++end;
    return end;
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

// A group of lines as the table layout forms it: one table.
struct Group {
    int start, level, parent;
    bool keyedBelow = false;
};

std::vector<Group> groupsIn(const RecordSet& rs) {
    std::vector<Group> groups;
    std::vector<int> open;  // groups by level, innermost last
    for (int row = 1; row < rs.recordCount(); ++row) {
        if (!kept(rs, row)) continue;
        const int level = levelOf(rs, row);
        const bool mark = level > 1 && text(rs, row, Field::kKey) == kParentKeyMark;
        while (!open.empty() &&
               (groups[static_cast<std::size_t>(open.back())].level > level ||
                (mark && groups[static_cast<std::size_t>(open.back())].level == level)))
            open.pop_back();
        if (!open.empty() && groups[static_cast<std::size_t>(open.back())].level == level) continue;
        groups.push_back({row, level, open.empty() ? -1 : open.back()});
        open.push_back(static_cast<int>(groups.size()) - 1);
    }
    return groups;
}

// Where the rows of the group beginning at @p start are: where the sources of its lines, and
// of the lines below them, meet (up to the next group of its level).
std::string recordOf(const RecordSet& rs, int start) {
    const int level = levelOf(rs, start);
    std::optional<std::string> record;
    for (int r = start; r < rs.recordCount(); ++r) {
        const int l = levelOf(rs, r);
        // A shallower line ends the group, kept or not (an excluded wrapper of the next group).
        if (r > start &&
            (l < level || (l == level && kept(rs, r) && text(rs, r, Field::kKey) == kParentKeyMark)))
            break;
        if (const auto s = sourceOf(rs, r); s && kept(rs, r))
            record = record ? commonPath(*record, *s) : *s;
    }
    return record.value_or(std::string());
}

// The name of the element that holds a group's rows: the row tag for the top group.
std::string recordName(const RecordSet& rs, int start) {
    const std::string path = recordOf(rs, start);
    std::string name =
        path.empty() ? text(rs, 0, Field::kTagName) : path.substr(path.rfind('/') + 1);
    if (!name.empty() && name[0] == '@') name.erase(0, 1);
    return name;
}

// The beginning of @p s that takes at most @p bytes in CP932, whole characters only.
std::string cp932Prefix(const std::string& s, std::size_t bytes) {
    std::size_t end = 0;
    while (end < s.size()) {
        std::size_t next = end + 1;
        while (next < s.size() && (static_cast<unsigned char>(s[next]) & 0xC0) == 0x80) ++next;
        if (cp932Length(std::string_view(s).substr(0, next)) > bytes) break;
        end = next;
    }
    return s.substr(0, end);
}

}  // namespace

int nameTables(DefinitionTable& table) {
    RecordSet& rs = table.records();
    const int field = rs.fieldIndex(Field::kTableName);
    const auto groups = groupsIn(rs);
    std::set<std::string> taken;
    const auto folded = [](std::string s) {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    for (const Group& g : groups)
        if (const std::string name = text(rs, g.start, Field::kTableName); !name.empty())
            taken.insert(folded(name));
    int named = 0;
    for (const Group& g : groups) {
        if (!text(rs, g.start, Field::kTableName).empty()) continue;
        // Letters, digits and "_" of any script; the rest become "_".
        std::string base = recordName(rs, g.start);
        for (char& c : base)
            if (static_cast<unsigned char>(c) < 0x80 &&
                !std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        if (base.empty()) base = "T";
        std::string name = cp932Prefix(base, 20);
        for (int k = 2; taken.count(folded(name)); ++k) {
            const std::string suffix = "_" + std::to_string(k);
            name = cp932Prefix(base, 20 - suffix.size()) + suffix;
        }
        taken.insert(folded(name));
        rs.setValueAt(g.start, field, name);
        ++named;
    }
    return named;
}

std::string keyLinkReport(const KeyLinkResult& result) {
    std::string text =
        std::to_string(result.linked) + " 個の入れ子の表を親の表のキーで結びました。";
    if (result.generated > 0)
        text += "番号の列（自動番号）を " + std::to_string(result.generated) + " 個作りました。";
    return text;
}

KeyLinkResult linkNestedKeys(DefinitionTable& table, const std::string& dbType,
                             const std::string& indentUnit) {
    KeyLinkResult result;
    RecordSet& rs = table.records();
    const int flagField = rs.fieldIndex(Field::kGenerate);
    const int levelField = rs.fieldIndex(Field::kLevel);
    const int tagField = rs.fieldIndex(Field::kTagName);
    const int keyField = rs.fieldIndex(Field::kKey);
    const int n = rs.recordCount();

    // The attributes of an element with no children of its own are columns beside it.
    for (int row = 1; row < n; ++row) {
        const int end = endOf(rs, row);
        if (end == row + 1 || !kept(rs, row) || !sourceOf(rs, row)) continue;
        bool attributesOnly = true;
        for (int r = row + 1; r < end && attributesOnly; ++r)
            attributesOnly = text(rs, r, Field::kKind) == kAttributeKind &&
                             levelOf(rs, r) == levelOf(rs, row) + 1;
        if (!attributesOnly) continue;
        for (int r = row + 1; r < end; ++r) {
            const int level = levelOf(rs, row);
            const std::string tag = text(rs, r, Field::kTagName);
            rs.setValueAt(r, levelField, level);
            rs.setValueAt(r, tagField, indentation(indentUnit, level) + tag.substr(tag.find('@')));
        }
    }

    // A line whose element holds the rows of the lines below it is a wrapper: its value links
    // nothing, so it is set to "×" and the group below begins with its parent table's key.
    std::vector<bool> wrapper(static_cast<std::size_t>(n), false);
    for (int row = 1; row < n; ++row) {
        const auto own = sourceOf(rs, row);
        const int end = endOf(rs, row);
        if (!own || end == row + 1) continue;
        std::optional<std::string> record;
        for (int r = row + 1; r < end; ++r)
            if (const auto s = sourceOf(rs, r); s && kept(rs, r))
                record = record ? commonPath(*record, *s) : *s;
        if (!record || !under(*record, *own)) continue;
        wrapper[static_cast<std::size_t>(row)] = true;
        if (text(rs, row, Field::kGenerate) == Flag::kGenerate)
            rs.setValueAt(row, flagField, std::string(Flag::kExclude));
    }
    for (int row = 1; row < n; ++row) {
        if (!wrapper[static_cast<std::size_t>(row)]) continue;
        const int end = endOf(rs, row);
        for (int r = row + 1; r < end; ++r) {
            if (levelOf(rs, r) != levelOf(rs, row) + 1 || !kept(rs, r)) continue;
            if (levelOf(rs, r) > 1 && text(rs, r, Field::kKey) != kParentKeyMark) {
                rs.setValueAt(r, keyField, std::string(kParentKeyMark));
                ++result.linked;
            }
            break;
        }
    }

    // The groups as the layout forms them, and which have keyed groups below them.
    std::vector<Group> groups = groupsIn(rs);
    for (const Group& g : groups)
        if (g.parent >= 0 && text(rs, g.start, Field::kKey) == kParentKeyMark)
            groups[static_cast<std::size_t>(g.parent)].keyedBelow = true;

    // A table of keyed groups, and each keyed group, whose first line is no generated number
    // gets one: the document does not promise that any of its values is unique.
    const std::string number = dbType == "access"       ? "ｵｰﾄﾅﾝﾊﾞｰ型"
                               : dbType == "postgresql" ? "serial"
                               : dbType == "mysql"      ? "int auto_increment"
                                                        : "";
    for (auto g = groups.rbegin(); g != groups.rend(); ++g) {
        // Keyed groups get one too: a record's repeated children may share every value.
        const bool keyed = text(rs, g->start, Field::kKey) == kParentKeyMark;
        if ((!g->keyedBelow && !keyed) || text(rs, g->start, Field::kType) == number) continue;
        if (number.empty()) {
            result.unlinked.push_back("「" + text(rs, g->start, Field::kTagName) +
                                      "」の表に番号の列を作れません（このデータベースの型に"
                                      "自動番号がありません）。キーにする行を先頭にしてください。");
            continue;
        }
        // Named after the table, or the element that holds its rows.
        std::string base = text(rs, g->start, Field::kTableName);
        if (base.empty()) base = recordName(rs, g->start);
        const int at = rs.recordCount();
        rs.addNew();
        rs.setValue(Field::kGenerate, std::string());
        rs.setValue(Field::kLevel, g->level);
        rs.setValue(Field::kKind, std::string(kNodeKind));
        rs.setValue(Field::kTagName, indentation(indentUnit, g->level) + "-----");
        rs.setValue(Field::kColumnName, cp932Prefix(base, 17) + "_ID");
        rs.setValue(Field::kType, number);
        rs.setValue(Field::kTableName, text(rs, g->start, Field::kTableName));
        if (text(rs, g->start, Field::kKey) == kParentKeyMark) {
            rs.setValueAt(at, keyField, std::string(kParentKeyMark));
            rs.setValueAt(g->start, keyField, FieldValue{});
        }
        rs.setValueAt(g->start, rs.fieldIndex(Field::kTableName), std::string());
        moveRows(rs, at, at + 1, g->start - 1);
        ++result.generated;
    }
    return result;
}

}  // namespace quorix
