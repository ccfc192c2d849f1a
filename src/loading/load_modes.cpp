#include "loading/load_modes.h"

#include <algorithm>

#include "loading/load_plan.h"
#include "services/db/connection.h"
#include "services/db/engine/data_type.h"

namespace quorix {

namespace {

struct ModeName {
    LoadMode mode;
    const char* name;
    const char* caption;
};

constexpr ModeName kModes[] = {
    {LoadMode::Insert, "insert", "追加（同じキーの行があれば止める）"},
    {LoadMode::Skip, "skip", "既にある行は飛ばす"},
    {LoadMode::Update, "update", "既にある行を更新する"},
    {LoadMode::Replace, "replace", "表の中身を入れ替える"},
};

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : "、") + n;
    return out;
}

// Why @p mode cannot match the document's rows with the rows of @p t, if it cannot.
std::optional<std::string> keyProblem(LoadMode mode, const std::vector<PlanTable>& tables,
                                      const PlanTable& t) {
    const std::string how = std::string("取り込み方法「") + loadModeCaption(mode) + "」では";
    if (t.primaryKey.empty())
        return "表「" + t.name + "」には主キーがないので、" + how +
               "既にある行と照らし合わせられません。表に主キーを付けるか、取り込み方法を「" +
               loadModeCaption(LoadMode::Insert) + "」か「" + loadModeCaption(LoadMode::Replace) +
               "」にしてください。";
    for (const std::string& k : t.primaryKey) {
        if (std::find(t.columns.begin(), t.columns.end(), k) == t.columns.end())
            return "表「" + t.name + "」の主キーの列「" + k + "」は定義にないので、" + how +
                   "既にある行と照らし合わせられません。";
        for (const PlanColumn& c : t.own)
            if (c.autoNumber && c.name == k && t.parent < 0)
                return "表「" + t.name + "」のキーの列「" + k + "」は自動番号なので、" + how +
                       "文書の行を既にある行と照らし合わせられません。表の最初の行を、文書の"
                       "行ごとに違う値の要素（注文番号など）にしてください。";
    }
    if (t.parent < 0) return std::nullopt;
    // The rows nested in a document row are found by the key of the top table they begin with.
    const PlanTable& top = tables.front();
    const bool linked = t.columns.size() >= top.primaryKey.size() &&
                        std::equal(top.primaryKey.begin(), top.primaryKey.end(), t.columns.begin());
    if (!linked)
        return "表「" + t.name + "」の行は表「" + top.name + "」のキー（" + joined(top.primaryKey) +
               "）で始まっていないので、" + how +
               "入れ子の行を親の行と一緒に扱えません。入れ子の表の行を、親の表のキーの行の下に"
               "置いてください。";
    return std::nullopt;
}

// Statements over the session's tables, in its dialect.
class Statements {
public:
    explicit Statements(DatabaseSession& s) : s(s) {}

    // "a.k = b.k AND …" over @p columns.
    std::string match(const std::string& a, const std::string& b,
                      const std::vector<std::string>& columns) const {
        std::string sql;
        for (const std::string& c : columns)
            sql += (sql.empty() ? "" : " AND ") + a + "." + s.quotedName(c) + " = " + b + "." +
                   s.quotedName(c);
        return sql;
    }
    std::string list(const std::vector<std::string>& columns, const std::string& prefix) const {
        std::string sql;
        for (const std::string& c : columns)
            sql += (sql.empty() ? "" : ", ") + prefix + s.quotedName(c);
        return sql;
    }
    // Rows of @p from whose @p key columns equal those of a row of @p in.
    std::string whereIn(const std::string& from, const std::string& in,
                        const std::vector<std::string>& key, bool present) const {
        return std::string(present ? " WHERE EXISTS" : " WHERE NOT EXISTS") + " (SELECT 1 FROM " +
               s.quotedTable(in) + " i WHERE " + match("i", from, key) + ")";
    }
    long long rows(const std::string& table) const {
        return s.count("SELECT count(*) FROM " + s.quotedTable(table), what(table));
    }
    long long present(const PlanTable& t) const {
        return s.count("SELECT count(*) FROM " + s.quotedTable(t.work) + " w" +
                           whereIn("w", t.name, t.primaryKey, true),
                       what(t.name));
    }
    std::string insertHead(const PlanTable& t) const {
        return "INSERT INTO " + s.quotedTable(t.name) + " (" + list(t.columns, "") + ") SELECT " +
               list(t.columns, "w.") + " FROM " + s.quotedTable(t.work) + " w";
    }
    long long insertNew(const PlanTable& t) const {
        return s.execute(insertHead(t) + whereIn("w", t.name, t.primaryKey, false), what(t.name));
    }
    long long insertAll(const PlanTable& t) const { return s.execute(insertHead(t), what(t.name)); }
    // The rows of the work table into the table, those whose key is there taking the new
    // values; how many were inserted and how many updated.
    std::pair<long long, long long> upsert(const PlanTable& t) const {
        std::vector<std::string> values;
        for (const std::string& c : t.columns)
            if (std::find(t.primaryKey.begin(), t.primaryKey.end(), c) == t.primaryKey.end())
                values.push_back(c);
        const std::string sql =
            insertHead(t) + " WHERE 1 = 1" + s.upsertClause(t.name, t.primaryKey, values);
        if (const auto counted = s.countedUpsert(sql, what(t.name)))
            return {counted->first, counted->second - counted->first};
        const long long there = present(t);
        s.execute(sql, what(t.name));
        return {rows(t.work) - there, there};
    }
    static std::string what(const std::string& table) {
        return "表「" + table + "」に文書の行を反映できません。";
    }

private:
    DatabaseSession& s;
};

}  // namespace

std::optional<LoadMode> parseLoadMode(std::string_view name) {
    for (const ModeName& m : kModes)
        if (name == m.name) return m.mode;
    return std::nullopt;
}

const char* loadModeName(LoadMode mode) {
    for (const ModeName& m : kModes)
        if (m.mode == mode) return m.name;
    return "";
}

const char* loadModeCaption(LoadMode mode) {
    for (const ModeName& m : kModes)
        if (m.mode == mode) return m.caption;
    return "";
}

namespace load {



std::optional<std::string> prepareMode(LoadMode mode, std::vector<PlanTable>& tables,
                                       Connection& connection, std::vector<TableCounts>& counts) {
    counts.clear();
    for (const PlanTable& t : tables) counts.push_back({t.name});
    if (mode == LoadMode::Insert) return std::nullopt;
    if (mode == LoadMode::Replace) {
        // Nested tables first: a table is never left with rows whose parent went.
        for (std::size_t i = tables.size(); i-- > 0;)
            counts[i].deleted =
                connection.run([&](DatabaseSession& s) { return s.emptyTable(tables[i].name); });
        return std::nullopt;
    }
    for (PlanTable& t : tables) t.primaryKey = primaryKeyOf(connection, t.name);
    for (const PlanTable& t : tables)
        if (auto problem = keyProblem(mode, tables, t)) return problem;
    for (PlanTable& t : tables)
        t.work = connection.run(
            [&](DatabaseSession& s) { return s.createWorkTable(t.name, t.columns, t.primaryKey); });
    return std::nullopt;
}

void mergeDocument(LoadMode mode, std::vector<PlanTable>& tables, Connection& connection,
                   std::vector<TableCounts>& counts, bool more) {
    if (mode != LoadMode::Skip && mode != LoadMode::Update) return;
    connection.run([&](DatabaseSession& s) {
        const Statements sql(s);
        const PlanTable& top = tables.front();
        if (mode == LoadMode::Skip) {
            // The rows nested in a document row whose key is there go with it, unread.
            for (std::size_t i = 1; i < tables.size(); ++i)
                counts[i].skipped += s.deleteMatching(tables[i].work, top.name, top.primaryKey);
            for (std::size_t i = 0; i < tables.size(); ++i) {
                const long long there = sql.present(tables[i]);
                counts[i].inserted += sql.insertNew(tables[i]);
                counts[i].skipped += there;
            }
        } else {
            // The rows nested in an updated row are replaced by the document's, at every depth.
            for (std::size_t i = 1; i < tables.size(); ++i)
                counts[i].deleted += s.deleteMatching(tables[i].name, top.work, top.primaryKey);
            const auto [inserted, updated] = sql.upsert(top);
            counts[0].inserted += inserted;
            counts[0].updated += updated;
            for (std::size_t i = 1; i < tables.size(); ++i)
                counts[i].inserted += sql.insertAll(tables[i]);
        }
        // The next document's rows meet these in the tables, not in the work tables.
        if (more)
            for (const PlanTable& t : tables)
                s.execute("DELETE FROM " + s.quotedTable(t.work), Statements::what(t.name));
    });
}

void finishMode(LoadMode mode, std::vector<PlanTable>& tables, Connection& connection,
                std::vector<TableCounts>& counts) {
    if (mode == LoadMode::Insert || mode == LoadMode::Replace) {
        for (std::size_t i = 0; i < tables.size(); ++i) counts[i].inserted = tables[i].written;
        return;
    }
    connection.run([&](DatabaseSession& s) {
        for (PlanTable& t : tables) s.dropWorkTable(std::exchange(t.work, {}));
    });
}

}  // namespace load

}  // namespace quorix
