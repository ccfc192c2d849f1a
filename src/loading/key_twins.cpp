#include "loading/key_twins.h"

#include <algorithm>
#include <thread>

#include "loading/record_reader.h"
#include "xml_analysis/xml_loading.h"

namespace quorix::load {

namespace {

// The cells of @p t's key in @p row: its primary key where it was read, else the enclosing
// columns and the first of its own.
std::vector<std::size_t> keyCells(const PlanTable& t, const std::vector<std::string>& key) {
    std::vector<std::size_t> cells;
    for (const std::string& name : key) {
        const auto at = std::find(t.columns.begin(), t.columns.end(), name);
        if (at != t.columns.end()) cells.push_back(static_cast<std::size_t>(at - t.columns.begin()));
    }
    if (cells.empty())
        for (std::size_t k = 0; k <= t.keyCount && k < t.columns.size(); ++k) cells.push_back(k);
    return cells;
}

// Reads @p path and hands each row of table @p table to @p seen (its cells, line, column)
// until @p seen says to stop; whether it did.
template <typename Seen>
bool scan(const std::string& path, const LoadRequest& request, std::vector<PlanTable>& tables,
          PathTrie& trie, std::size_t table, std::string& placeName, Seen&& seen) {
    LoadRequest one = request;
    one.documentPath = path;
    BatchQueue queue;
    Loader loader(one, tables, trie, queue);
    placeName = loader.documentName();
    std::thread reader([&] {
        XmlParseError error;
        try {
            streamXmlFile(path, loader, error, {}, nullptr);
            loader.flush();
        } catch (...) {
        }
        queue.close();
    });
    bool found = false;
    while (auto batch = queue.pop()) {
        for (const Batch::Row& r : batch->rows)
            if (r.table == static_cast<int>(table) &&
                seen(batch->values.data() + r.first, r.line, r.column)) {
                found = true;
                break;
            }
        if (found) {
            queue.abandon();
            break;
        }
    }
    reader.join();
    return found;
}

}  // namespace

std::optional<std::string> keyTwinMessage(const LayoutDocument& layout, const LoadRequest& request,
                                          const std::vector<std::string>& documents,
                                          const NumberStarts& starts, const KeyClash& clash) {
    // A plan of its own, numbered as the load began, so that every row reads as it did.
    auto fresh = [&](std::vector<PlanTable>& tables, PathTrie& trie) {
        tables.clear();
        trie = PathTrie();
        planGroup(groupsOf(layout.root).front(), -1, {}, request.dbType, trie, tables);
        std::size_t i = 0;
        for (PlanTable& t : tables)
            for (PlanColumn& c : t.own)
                if (c.autoNumber && i < starts.next.size()) c.nextNumber = starts.next[i++];
    };
    std::vector<PlanTable> tables;
    PathTrie trie;
    fresh(tables, trie);
    if (clash.table >= tables.size() || clash.document >= documents.size()) return std::nullopt;
    const std::vector<std::size_t> cells = keyCells(
        tables[clash.table],
        clash.table < starts.keys.size() ? starts.keys[clash.table] : std::vector<std::string>{});
    auto sameKey = [&](const CellValue* a, const std::vector<CellValue>& b) {
        for (std::size_t k = 0; k < cells.size(); ++k)
            if (!(a[cells[k]] == b[k])) return false;
        return true;
    };

    // The refused row's key, read where the database named it.
    std::vector<CellValue> key;
    std::string name;
    for (std::size_t d = 0; d <= clash.document && key.empty(); ++d)
        scan(documents[d], request, tables, trie, clash.table, name,
             [&](const CellValue* row, long line, long column) {
                 if (d != clash.document || line != clash.line || column != clash.column)
                     return false;
                 for (std::size_t c : cells) key.push_back(row[c]);
                 return true;
             });
    if (key.empty()) return std::nullopt;

    // The first row of the documents with that key.
    fresh(tables, trie);
    std::optional<std::string> twin;
    for (std::size_t d = 0; d <= clash.document; ++d) {
        long twinLine = 0, twinColumn = 0;
        bool itself = false;
        const bool found = scan(documents[d], request, tables, trie, clash.table, name,
                                [&](const CellValue* row, long line, long column) {
                                    if (!sameKey(row, key)) return false;
                                    itself = d == clash.document && line == clash.line &&
                                             column == clash.column;
                                    twinLine = line;
                                    twinColumn = column;
                                    return true;
                                });
        if (!found) continue;
        if (itself) return std::nullopt;
        twin = placeText(name, twinLine, twinColumn);
        twin->resize(twin->size() - 2);
        break;
    }
    if (!twin) return std::nullopt;

    const PlanTable& t = tables[clash.table];
    std::string keyText;
    for (std::size_t k = 0; k < cells.size(); ++k)
        keyText += (k ? "、" : "") + t.columns[cells[k]] + "=" + valueText(key[k]);
    const std::string clashName = displayText(
        std::filesystem::path(documents[clash.document]).filename().string());
    return placeText(clashName, clash.line, clash.column) + "文書に表「" + t.name + "」のキー（" + keyText +
           "）が同じ行が二つあります（もう一つは " + *twin + "）。";
}

}  // namespace quorix::load
