#include "loading/load_plan.h"

#include "services/db/engine/data_type.h"

namespace quorix {

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        const auto slash = path.find('/', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? slash : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

namespace {

std::optional<long long> sizeOf(const LayoutColumn& c) {
    if (!c.param || c.param->empty()) return std::nullopt;
    try {
        return std::stoll(*c.param);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The longest common beginning of two trie paths.
int commonAncestor(const PathTrie& trie, int a, int b) {
    while (trie.depth(a) > trie.depth(b)) a = trie.parent(a);
    while (trie.depth(b) > trie.depth(a)) b = trie.parent(b);
    while (a != b) {
        a = trie.parent(a);
        b = trie.parent(b);
    }
    return a;
}

}  // namespace

std::vector<const LayoutColumn*> linesBelow(std::span<const std::unique_ptr<LayoutColumn>> group) {
    std::vector<const LayoutColumn*> found, open;
    for (const auto& own : group)
        for (const auto& n : own->children) open.push_back(n.get());
    while (!open.empty()) {
        const LayoutColumn* n = open.back();
        open.pop_back();
        found.push_back(n);
        for (const auto& m : n->children) open.push_back(m.get());
    }
    return found;
}

// The plan of one group and the groups nested in it, in creation order. A group's rows come
// from the nearest common ancestor of the elements of its lines and of every line nested
// below them.
void planGroup(std::span<const std::unique_ptr<LayoutColumn>> group, int parentTable,
               const std::vector<std::string>& keys, const std::string& dbType, PathTrie& trie,
               std::vector<PlanTable>& tables) {
    const int index = static_cast<int>(tables.size());
    tables.emplace_back();
    {
        PlanTable& t = tables.back();
        t.name = group.front()->table.value_or(std::string());
        t.columns = keys;
        t.keyCount = keys.size();
        t.parent = parentTable;
    }
    int record = -1;
    for (const auto& own : group) {
        PlanColumn c;
        c.name = own->name;
        c.typeName = own->typeName;
        c.autoNumber = own->prop && own->prop->rfind("AutoIncrement,", 0) == 0 &&
                       own->prop->substr(14) == "true";
        std::string reason;
        int32_t code = 0;
        try {
            code = std::stoi(own->type);
        } catch (const std::exception&) {
            code = 0;
        }
        const bool zone = own->prop && *own->prop == "TimeZone,true";
        auto rule = columnRule(code, sizeOf(*own), dbType, zone, reason);
        if (!rule)
            throw LoadStop{"表「" + tables[static_cast<std::size_t>(index)].name + "」の列「" +
                           c.name + "」（" + c.typeName + "）: " + reason + "。"};
        c.rule = *rule;
        if ((code == adNumeric || code == adDecimal) && own->param && !own->param->empty()) {
            const auto comma = own->param->find(',');
            c.rule.precision = std::atoi(own->param->c_str());
            c.rule.scale =
                comma == std::string::npos ? 0 : std::atoi(own->param->c_str() + comma + 1);
        }
        if (own->sourceUnknown && !c.autoNumber)
            throw LoadStop{
                "列「" + c.name + "」（定義の" + std::to_string(own->definitionRow + 1) +
                "行目）の値が文書のどの要素から来るかが分かりません。古い版の定義ファイル"
                "で、同じ道筋になる行が複数あります。XML文書を開いて定義を作り直してくだ"
                "さい。"};
        if (own->source && !c.autoNumber) {
            c.trie = trie.insert(splitPath(*own->source));
            record = record < 0 ? c.trie : commonAncestor(trie, record, c.trie);
        }
        tables[static_cast<std::size_t>(index)].columns.push_back(c.name);
        tables[static_cast<std::size_t>(index)].own.push_back(std::move(c));
    }
    // The group's rows hold the rows nested in them too: the lines below count as its own.
    for (const LayoutColumn* n : linesBelow(group)) {
        const bool numbered = n->prop && n->prop->rfind("AutoIncrement,", 0) == 0;
        if (!n->source || numbered) continue;
        const int at = trie.insert(splitPath(*n->source));
        record = record < 0 ? at : commonAncestor(trie, record, at);
    }
    PlanTable& t = tables[static_cast<std::size_t>(index)];
    if (parentTable < 0) {
        t.recordTrie = 0;  // the row element
    } else {
        if (record < 0)
            throw LoadStop{"表「" + t.name +
                           "」の列は、どれも文書のどの要素から値を取るかが分かりません。"};
        t.recordTrie = record;
        const PlanTable& p = tables[static_cast<std::size_t>(parentTable)];
        auto chain = trie.chain(p.recordTrie, t.recordTrie);
        if (!chain)
            throw LoadStop{"表「" + t.name + "」の行の要素は、表「" + p.name +
                           "」の行の要素の中にありません。定義の行の位置を確かめてください。"};
        t.recordChain = *chain;
    }
    for (PlanColumn& c : t.own)
        if (c.trie >= 0) {
            auto chain = trie.chain(t.recordTrie, c.trie);
            c.chain = chain ? *chain : std::vector<int>{};
        }
    for (std::size_t i = 0; i < group.size(); ++i)
        for (const auto& inner : groupsOf(*group[i])) {
            const LayoutColumn& own = *group[i];
            std::vector<std::string> nestedKeys = tables[static_cast<std::size_t>(index)].columns;
            nestedKeys.resize(keys.size());
            nestedKeys.push_back(own.name);
            const int nested = static_cast<int>(tables.size());
            tables[static_cast<std::size_t>(index)].own[i].nested.push_back(nested);
            planGroup(inner, index, nestedKeys, dbType, trie, tables);
            // A key that links nothing: the line the group hangs under holds its rows.
            const PlanColumn& link = tables[static_cast<std::size_t>(index)].own[i];
            const PlanTable& n = tables[static_cast<std::size_t>(nested)];
            if (link.trie >= 0 && trie.chain(link.trie, n.recordTrie))
                throw LoadStop{
                    "表「" + n.name + "」のキーの列「" + link.name +
                    "」は子の要素を持つ要素の行で、表「" +
                    tables[static_cast<std::size_t>(index)].name +
                    "」の行と結び付く値がありません。表「" + n.name +
                    "」の行を親の表の最初の行の下に移し、「" + link.name +
                    "」の行を「×」にしてください（「入れ子の表をキーで結ぶ」でもできます）。"};
        }
}

}  // namespace quorix
