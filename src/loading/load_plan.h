#pragma once

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "generation/table_layout.h"
#include "loading/reject_file.h"
#include "loading/value_conversion.h"
#include "services/db/engine/database_engine.h"

// The plan of a load: which element of a row feeds which column of which table, made from the
// layout and checked before anything is read.
namespace quorix {

/// "A/B/C" as its parts.
std::vector<std::string> splitPath(const std::string& path);

// The element paths the definition knows, from the row element down; node 0 is the row.
class PathTrie {
public:
    PathTrie() : m_nodes(1) {}
    int insert(const std::vector<std::string>& parts) {
        int at = 0;
        for (const auto& p : parts) {
            auto it = m_nodes[at].children.find(p);
            if (it == m_nodes[at].children.end()) {
                if (!p.empty() && p[0] == '@') m_attributes = true;
                const int id = static_cast<int>(m_nodes.size());
                m_nodes[at].children.emplace(p, id);
                m_nodes.push_back({});
                m_nodes.back().parent = at;
                m_nodes.back().depth = m_nodes[at].depth + 1;
                at = id;
            } else {
                at = it->second;
            }
        }
        return at;
    }
    int child(int at, std::string_view name) const {
        if (at < 0) return -1;
        const auto it = m_nodes[static_cast<std::size_t>(at)].children.find(name);
        return it == m_nodes[at].children.end() ? -1 : it->second;
    }
    int parent(int at) const { return m_nodes[at].parent; }
    /// Whether a path ends in an attribute ("@name").
    bool attributes() const { return m_attributes; }
    int depth(int at) const { return m_nodes[at].depth; }
    // The ids from just below @p from down to @p to (empty when they are the same); nullopt
    // when @p to is not below @p from.
    std::optional<std::vector<int>> chain(int from, int to) const {
        std::vector<int> ids;
        for (int at = to; at != from; at = m_nodes[static_cast<std::size_t>(at)].parent) {
            if (at <= 0) return std::nullopt;
            ids.insert(ids.begin(), at);
        }
        return ids;
    }

private:
    struct Node {
        std::map<std::string, int, std::less<>> children;
        int parent = -1;
        int depth = 0;
    };
    std::vector<Node> m_nodes;
    bool m_attributes = false;
};

struct PlanColumn {
    std::string name;
    std::string typeName;
    ColumnRule rule;
    int trie = -1;           // -1: a line added by hand
    std::vector<int> chain;  // from the table's record element to the line's element
    bool autoNumber = false;
    long long nextNumber = 1;
    long long largestGiven = 0;
    bool numbered = false;
    std::vector<int> nested;  // the tables that hang under this column
};

struct PlanTable {
    std::string name;
    std::vector<std::string> columns;  // enclosing columns, then its own
    std::size_t keyCount = 0;          // enclosing columns
    int parent = -1;
    int recordTrie = 0;
    std::vector<int> recordChain;  // from the parent's record element to this one's
    std::vector<PlanColumn> own;
    std::unique_ptr<RowInserter> inserter;
    long long written = 0;
    // Where the rows go first: a work table of the load, or the table itself (empty).
    std::string work;
    std::vector<std::string> primaryKey;  // as the table has it (read for skip and update)
    // Reused for every row: the row, the key its nested rows begin with, their elements.
    std::vector<CellValue> row;
    std::vector<CellValue> key;
    std::vector<int> records;
};

// A stop of the load: the message says what and where.
struct LoadStop {
    LoadStop(std::string text = {}, std::optional<Reject> skip = std::nullopt)
        : message(std::move(text)), reject(std::move(skip)) {}
    std::string message;
    std::optional<Reject> reject;  // for an error that skipping the row would get past
};

/// Every line nested below the lines of @p group, at any depth.
std::vector<const LayoutColumn*> linesBelow(std::span<const std::unique_ptr<LayoutColumn>> group);

// The plan of one group and the groups nested in it, in creation order. A group's rows come
// from the nearest common ancestor of the elements of its lines and of every line nested
// below them.
void planGroup(std::span<const std::unique_ptr<LayoutColumn>> group, int parentTable,
               const std::vector<std::string>& keys, const std::string& dbType, PathTrie& trie,
               std::vector<PlanTable>& tables);

}  // namespace quorix
