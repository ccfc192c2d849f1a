#include "exporting/table_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "loading/load_modes.h"
#include "loading/load_plan.h"
#include "services/db/connection.h"
#include "services/db/engine/data_type.h"
#include "services/db/key_pages.h"
#include "services/text/text.h"

namespace quorix {

std::size_t exportPageRows = 5000;

namespace {

struct ExportStop {
    std::string message;
};

// One element of the document's form: the row element is node 0, paths below it follow the
// definition's order.
struct Node {
    std::string name;
    std::vector<int> children;
    int record = -1;       // the table whose rows this element holds, one element a row
    int table = -1;        // with column: the value this element (or attribute) holds
    int column = -1;
};

class Form {
public:
    explicit Form(const std::string& row) { m_nodes.push_back({row, {}, 0, -1, -1}); }
    int insert(const std::vector<std::string>& parts) {
        int at = 0;
        for (const std::string& p : parts) {
            int found = -1;
            for (int c : m_nodes[static_cast<std::size_t>(at)].children)
                if (m_nodes[static_cast<std::size_t>(c)].name == p) found = c;
            if (found < 0) {
                found = static_cast<int>(m_nodes.size());
                m_nodes.push_back({p, {}, -1, -1, -1});
                m_nodes[static_cast<std::size_t>(at)].children.push_back(found);
            }
            at = found;
        }
        return at;
    }
    Node& operator[](int i) { return m_nodes[static_cast<std::size_t>(i)]; }

private:
    std::vector<Node> m_nodes;
};

std::vector<std::string> commonBeginning(const std::vector<std::string>& a,
                                         const std::vector<std::string>& b) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < a.size() && i < b.size() && a[i] == b[i]; ++i) out.push_back(a[i]);
    return out;
}

bool numberedLine(const LayoutColumn& c) {
    return c.prop && c.prop->rfind("AutoIncrement,", 0) == 0;
}

// The form of every table in plan order, as the loader plans them: each line's element, each
// table's record element (the longest common beginning of its lines' and nested lines' paths).
void shapeGroup(std::span<const std::unique_ptr<LayoutColumn>> group, bool top, int& next,
                Form& form) {
    const int table = next++;
    std::optional<std::vector<std::string>> record;
    auto widen = [&](const LayoutColumn& c) {
        if (!c.source || numberedLine(c)) return;
        const auto parts = splitPath(*c.source);
        record = record ? commonBeginning(*record, parts) : parts;
    };
    for (std::size_t j = 0; j < group.size(); ++j) {
        const LayoutColumn& c = *group[j];
        widen(c);
        if (!c.source || numberedLine(c)) continue;
        Node& n = form[form.insert(splitPath(*c.source))];
        n.table = table;
        n.column = static_cast<int>(j);
    }
    for (const LayoutColumn* n : linesBelow(group)) widen(*n);
    if (!top && record) form[form.insert(*record)].record = table;
    for (const auto& own : group)
        for (const auto& inner : groupsOf(*own)) shapeGroup(inner, false, next, form);
}

// Text as element content or an attribute's value; a character XML 1.0 cannot carry stops.
template <typename Where>
void escaped(std::string& out, std::string_view v, bool attribute, const Where& where) {
    for (std::size_t i = 0; i < v.size(); ++i) {
        // Runs of characters that need nothing go in one piece.
        std::size_t plain = i;
        while (plain < v.size() && static_cast<unsigned char>(v[plain]) >= 0x20 && v[plain] != '&' &&
               v[plain] != '<' && v[plain] != '>' && v[plain] != '"')
            ++plain;
        if (plain > i) {
            out.append(v.data() + i, plain - i);
            i = plain;
            if (i == v.size()) break;
        }
        const char c = v[i];
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += attribute ? "&quot;" : "\""; break;
            case '\r': out += "&#13;"; break;  // a parser makes a bare CR a line feed
            case '\t': out += attribute ? "&#9;" : "\t"; break;
            case '\n': out += attribute ? "&#10;" : "\n"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char code[8];
                    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
                    throw ExportStop{where() + "の値に、XML 1.0 では書けない制御文字（" + code +
                                     "）があります。"};
                }
                out += c;
        }
    }
}

// Whether a value of @p type is written otherwise than the engine gives it.
bool rewritten(int32_t type) {
    return type == adBoolean || type == adDate || type == adDBTimeStamp;
}

// A value as the loader reads it back: booleans as true / false, date-times in ISO form.
std::string documentValue(const std::string& v, int32_t type) {
    if (type == adBoolean) {
        if (v == "t" || v == "1" || v == "true") return "true";
        if (v == "f" || v == "0" || v == "false") return "false";
        return v;
    }
    if ((type == adDate || type == adDBTimeStamp) && v.size() > 10) {
        std::string s = v;
        if (s[10] == ' ') s[10] = 'T';
        // A fraction of zeros ("…:00.000000", as MariaDB writes datetime(6)) says nothing.
        if (s.size() > 20 && s[19] == '.') {
            std::size_t end = 20;
            while (end < s.size() && s[end] == '0') ++end;
            if (end == s.size() || s[end] == '+' || s[end] == '-' || s[end] == 'Z') s.erase(19, end - 19);
        }
        // "+09" as PostgreSQL writes a zone: "+09:00".
        const std::size_t n = s.size();
        if (n > 19 && (s[n - 3] == '+' || s[n - 3] == '-') && s.find(':', n - 3) == std::string::npos)
            s += ":00";
        return s;
    }
    return v;
}

// Where the document goes: a temporary file beside the target that takes its name once
// whole, or the caller's stream.
class Output {
public:
    Output(const std::string& path, std::ostream* stream) : m_path(path), m_stream(stream) {
        if (path.empty()) return;
        const std::filesystem::path target(path);
        m_temporary = (target.parent_path().empty() ? std::filesystem::path(".")
                                                    : target.parent_path()) /
                      ("." + target.filename().string() + ".part-XXXXXX");
        std::string name = m_temporary.string();
        m_fd = mkstemp(name.data());
        if (m_fd < 0) fail();
        m_temporary = name;
        fchmod(m_fd, 0644);
    }
    ~Output() {
        if (m_fd >= 0) {
            ::close(m_fd);
            std::filesystem::remove(m_temporary);
        }
    }
    std::string buffer;
    void flush() {
        if (m_stream) {
            m_stream->write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            if (!*m_stream) throw ExportStop{"出力に書き込めません。出力は不完全です。"};
        } else {
            for (std::size_t at = 0; at < buffer.size();) {
                const ssize_t n = ::write(m_fd, buffer.data() + at, buffer.size() - at);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) fail();
                at += static_cast<std::size_t>(n);
            }
        }
        buffer.clear();
    }
    void finish() {
        flush();
        if (m_fd < 0) return;
        if (::fsync(m_fd) != 0) fail();
        const int fd = std::exchange(m_fd, -1);
        if (::close(fd) != 0 || std::rename(m_temporary.c_str(), m_path.c_str()) != 0) {
            const std::string why = std::strerror(errno);
            std::filesystem::remove(m_temporary);
            throw ExportStop{"ファイル「" + displayText(m_path) + "」に書き込めません。(" + why + ")"};
        }
    }

private:
    [[noreturn]] void fail() {
        throw ExportStop{"ファイル「" + displayText(m_path) + "」に書き込めません。(" +
                         std::strerror(errno) + ")"};
    }
    std::string m_path;
    std::ostream* m_stream;
    std::filesystem::path m_temporary;
    int m_fd = -1;
};

// An XML name for a flat export's element; nullopt for a column name that is not one.
bool xmlName(const std::string& name) {
    if (name.empty()) return false;
    const auto first = static_cast<unsigned char>(name[0]);
    if (!(std::isalpha(first) || first == '_' || first >= 0x80)) return false;
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == '_' || c == '-' || c == '.' || c >= 0x80)) return false;
    return name.size() < 3 || (name.compare(0, 3, "xml") != 0 && name.compare(0, 3, "XML") != 0);
}

class Exporter {
public:
    Exporter(std::vector<PlanTable>& tables, Form& form, Connection& connection, Output& out,
             const std::function<bool(long long)>& progress)
        : m_tables(tables), m_form(form), m_connection(connection), m_out(out), m_progress(progress) {}

    // Each table's pager, in the order of its key; its link to the table above checked.
    void open(const std::vector<std::size_t>& which) {
        m_pagers.resize(m_tables.size());
        m_written.assign(m_tables.size(), 0);
        std::vector<std::vector<std::string>> keys(m_tables.size());
        for (std::size_t t : which) {
            PlanTable& table = m_tables[t];
            keys[t] = primaryKeyOf(m_connection, table.name);
            if (keys[t].empty())
                throw ExportStop{"表「" + table.name +
                                 "」に主キーがないため、行の順序が決まらず書き出せません。"};
            if (t > 0 && which.size() > 1) linkCheck(table, keys[t]);
        }
        // From here the pages are read on a thread of their own, ahead of the writing.
        m_reader = std::make_unique<PageReader>(m_connection);
        for (std::size_t t : which)
            m_pagers[t] = std::make_unique<KeyPages>(m_connection, m_tables[t].name,
                                                     m_tables[t].columns, keys[t], exportPageRows,
                                                     std::string(), RowOrder{}, m_reader.get());
    }

    // Ends the reading ahead: the connection is the caller's again.
    void close() {
        m_pagers.clear();
        m_reader.reset();
    }

    void nested() {
        long long rows = 0;
        m_out.buffer.reserve(1 << 20);
        for (const TextRow* row; (row = m_pagers[0]->current()); m_pagers[0]->next()) {
            writeElement(0, 0, *row, true);
            m_out.buffer += '\n';
            ++m_written[0];
            if (m_out.buffer.size() >= (1 << 20)) m_out.flush();
            if (m_progress && ++rows % 1000 == 0 && !m_progress(rows))
                throw ExportStop{"書き出しを中止しました。"};
        }
    }

    void flat(std::size_t t, const std::string& rowTag) {
        const PlanTable& table = m_tables[t];
        for (const std::string& c : table.columns)
            if (!xmlName(c))
                throw ExportStop{"表「" + table.name + "」の列「" + c +
                                 "」は XML の要素名にできないため、表だけの形では書き出せません。"};
        for (const TextRow* row; (row = m_pagers[t]->current()); m_pagers[t]->next()) {
            m_out.buffer += "<" + rowTag + ">";
            for (std::size_t k = 0; k < table.columns.size(); ++k) {
                if (!(*row)[k]) continue;
                const int32_t type = k < table.keyCount ? 0 : table.own[k - table.keyCount].rule.type;
                m_out.buffer += "<" + table.columns[k] + ">";
                escaped(m_out.buffer, documentValue(*(*row)[k], type), false,
                        [&] { return where(t, *row, k); });
                m_out.buffer += "</" + table.columns[k] + ">";
            }
            m_out.buffer += "</" + rowTag + ">\n";
            ++m_written[t];
            if (m_out.buffer.size() >= (1 << 20)) m_out.flush();
        }
    }

    long long written(std::size_t t) const { return m_written[t]; }

private:
    // A child's rows follow its parent's only when the parent's key begins with what the
    // child's begins with.
    void linkCheck(const PlanTable& table, const std::vector<std::string>& key) {
        const PlanTable& parent = m_tables[static_cast<std::size_t>(table.parent)];
        const bool childLinked = key.size() >= table.keyCount &&
                                 std::equal(table.columns.begin(),
                                            table.columns.begin() + static_cast<long>(table.keyCount),
                                            key.begin());
        const std::vector<std::string> parentKey = primaryKeyOf(m_connection, parent.name);
        const bool parentLinked =
            parentKey.size() >= table.keyCount &&
            std::equal(table.columns.begin(), table.columns.begin() + static_cast<long>(table.keyCount),
                       parentKey.begin());
        if (!childLinked || !parentLinked)
            throw ExportStop{"表「" + table.name + "」の主キーが表「" + parent.name +
                             "」のキーで始まっていないため、その行の中に書き出せません（「入れ子の"
                             "表をキーで結ぶ」で作った表なら書き出せます）。"};
    }

    std::string where(std::size_t t, const TextRow& row, std::size_t column) const {
        const PlanTable& table = m_tables[t];
        std::string key;
        for (std::size_t k = 0; k <= table.keyCount && k < table.columns.size(); ++k)
            key += (k ? "、" : "") + table.columns[k] + "=" + (row[k] ? displayText(*row[k]) : "NULL");
        return "表「" + table.name + "」のキー（" + key + "）の行の列「" + table.columns[column] + "」";
    }

    // Writes own column @p j of table @p t in @p row as the document does; false for NULL.
    bool writeValue(std::size_t t, const TextRow& row, int j, bool attribute) {
        const PlanTable& table = m_tables[t];
        const std::size_t k = table.keyCount + static_cast<std::size_t>(j);
        if (!row[k]) return false;
        const int32_t type = table.own[static_cast<std::size_t>(j)].rule.type;
        const auto where = [&] { return this->where(t, row, k); };
        if (rewritten(type))
            escaped(m_out.buffer, documentValue(*row[k], type), attribute, where);
        else
            escaped(m_out.buffer, *row[k], attribute, where);
        return true;
    }

    // Element @p n of table @p t's row; false (nothing written) when it holds nothing.
    bool writeElement(int n, std::size_t t, const TextRow& row, bool always) {
        std::string& out = m_out.buffer;
        const std::size_t start = out.size();
        const Node& node = m_form[n];
        out += '<';
        out += node.name;
        bool content = false;
        for (int c : node.children) {
            const Node& a = m_form[c];
            if (a.name[0] != '@' || a.table != static_cast<int>(t)) continue;
            const std::size_t before = out.size();
            out += ' ';
            out.append(a.name, 1);
            out += "=\"";
            if (!writeValue(t, row, a.column, true)) {
                out.resize(before);
                continue;
            }
            out += '"';
            content = true;
        }
        out += '>';
        const std::size_t inside = out.size();
        if (node.table == static_cast<int>(t) && writeValue(t, row, node.column, false))
            content = true;
        for (int c : node.children) {
            const Node& child = m_form[c];
            if (child.name[0] == '@') continue;
            if (child.record >= 0 && child.record != static_cast<int>(t))
                writeRows(static_cast<std::size_t>(child.record), c, row);
            else
                writeElement(c, t, row, false);
        }
        if (out.size() == inside && !content && !always) {
            out.resize(start);
            return false;
        }
        out += "</";
        out += node.name;
        out += '>';
        return true;
    }

    // The rows of child table @p u whose key begins with that of @p parentRow.
    void writeRows(std::size_t u, int n, const TextRow& parentRow) {
        KeyPages* pager = m_pagers[u].get();
        if (!pager) return;
        const PlanTable& table = m_tables[u];
        const PlanTable& parent = m_tables[static_cast<std::size_t>(table.parent)];
        // The parent's columns the child's key begins with: its enclosing ones, then the line
        // the child hangs under.
        std::vector<std::size_t> from(parent.keyCount);
        for (std::size_t k = 0; k < parent.keyCount; ++k) from[k] = k;
        for (std::size_t i = 0; i < parent.own.size(); ++i)
            if (std::count(parent.own[i].nested.begin(), parent.own[i].nested.end(), static_cast<int>(u)))
                from.push_back(parent.keyCount + i);
        for (const TextRow* row; (row = pager->current()); pager->next()) {
            for (std::size_t k = 0; k < from.size(); ++k)
                if ((*row)[k] != parentRow[from[k]]) return;
            writeElement(n, u, *row, true);
            ++m_written[u];
        }
    }

    std::vector<PlanTable>& m_tables;
    Form& m_form;
    Connection& m_connection;
    Output& m_out;
    const std::function<bool(long long)>& m_progress;
    std::unique_ptr<PageReader> m_reader;  // outlives the pagers, which wait for their reads
    std::vector<std::unique_ptr<KeyPages>> m_pagers;
    std::vector<long long> m_written;
};

}  // namespace

ExportResult exportTables(const LayoutDocument& layout, const ExportRequest& request,
                          Connection& connection, std::ostream* out,
                          const std::function<bool(long long)>& progress) {
    ExportResult result;
    std::vector<PlanTable> tables;
    PathTrie trie;
    Form form(request.row);
    try {
        if (layout.root.children.empty()) throw LoadStop{"書き出す列がありません。"};
        const auto groups = groupsOf(layout.root);
        planGroup(groups.front(), -1, {}, request.dbType, trie, tables);
        // Elements in the definition's order first, then what each holds.
        std::vector<const LayoutColumn*> lines, open{&layout.root};
        while (!open.empty()) {
            const LayoutColumn* c = open.back();
            open.pop_back();
            if (!c->isRoot()) lines.push_back(c);
            for (const auto& child : c->children) open.push_back(child.get());
        }
        std::sort(lines.begin(), lines.end(), [](const LayoutColumn* a, const LayoutColumn* b) {
            return a->definitionRow < b->definitionRow;
        });
        for (const LayoutColumn* c : lines)
            if (c->source && !numberedLine(*c)) form.insert(splitPath(*c->source));
        int next = 0;
        shapeGroup(groups.front(), true, next, form);
    } catch (const LoadStop& s) {
        result.message = s.message;
        return result;
    }
    std::vector<std::size_t> which;
    for (std::size_t t = 0; t < tables.size(); ++t)
        if (request.table.empty() || tables[t].name == request.table) which.push_back(t);
    if (which.empty()) {
        result.message = "表「" + request.table + "」は定義にありません。";
        return result;
    }
    bool begun = false;
    try {
        for (std::size_t t : which)
            if (connection.run([&](DatabaseSession& s) { return s.tableColumns(tables[t].name); })
                    .empty())
                throw ExportStop{"表「" + tables[t].name + "」がデータベースにありません。"};
        connection.run([](DatabaseSession& s) { s.beginSnapshot(); });
        begun = true;
        Output output(request.outputPath, out);
        output.buffer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + request.rowset + ">\n";
        Exporter exporter(tables, form, connection, output, progress);
        exporter.open(which);
        if (request.table.empty())
            exporter.nested();
        else
            exporter.flat(which.front(), request.row);
        exporter.close();
        output.buffer += "</" + request.rowset + ">\n";
        // Every row has its place: a child row whose parent row is missing was not written.
        for (std::size_t t : which) {
            const long long there = connection.run([&](DatabaseSession& s) {
                return s.count("SELECT count(*) FROM " + s.quotedTable(tables[t].name),
                               "表の行を数えられません。");
            });
            const long long missing = there - exporter.written(t);
            if (missing > 0)
                throw ExportStop{
                    "表「" + tables[t].name + "」の " + grouped(missing) + " 行は、表「" +
                    tables[static_cast<std::size_t>(std::max(tables[t].parent, 0))].name +
                    "」に対応する行がないため、文書のどこにも置けません。書き出しをやめました。"};
            result.rows.emplace_back(tables[t].name, exporter.written(t));
        }
        output.finish();
        connection.run([](DatabaseSession& s) { s.rollbackTransaction(); });
        result.ok = true;
    } catch (const ExportStop& s) {
        result.message = s.message;
    } catch (const ServiceError& e) {
        result.message = e.description();
    }
    if (!result.ok) {
        result.rows.clear();
        if (begun) try {
                connection.run([](DatabaseSession& s) { s.rollbackTransaction(); });
            } catch (const ServiceError&) {
            }
    }
    return result;
}

std::string exportReport(const ExportResult& result) {
    long long rows = 0;
    for (const auto& [table, n] : result.rows) rows += n;
    return std::to_string(result.rows.size()) + " 個の表の " + grouped(rows) +
           " 行を書き出しました。";
}

}  // namespace quorix
