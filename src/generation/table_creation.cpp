#include "generation/table_creation.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "generation/column_types.h"

namespace quorix {

namespace {

// Single precision, then the nearest 32-bit integer.
int32_t toInt32(const std::string& text, const std::string& what) {
    const auto number = parseNumber(text);
    if (!number) throw LayoutError(what + "「" + text + "」は数値ではありません。");
    const double rounded = std::nearbyint(static_cast<double>(static_cast<float>(*number)));
    if (rounded < std::numeric_limits<int32_t>::min() ||
        rounded > std::numeric_limits<int32_t>::max())
        throw LayoutError(what + "「" + text + "」が大きすぎます。");
    return static_cast<int32_t>(rounded);
}

ColumnDefinition columnOf(const LayoutColumn& c) {
    ColumnDefinition d;
    d.name = c.name;
    d.type = toInt32(c.type, "列「" + c.name + "」の型");
    const bool decimal = d.type == 131 || d.type == 14;  // adNumeric, adDecimal
    if (decimal && c.param && !c.param->empty()) {
        // "precision,scale", as the type chooser wrote it.
        const auto comma = c.param->find(',');
        d.precision = toInt32(c.param->substr(0, comma), "列「" + c.name + "」の桁数");
        if (comma != std::string::npos)
            d.scale = toInt32(c.param->substr(comma + 1), "列「" + c.name + "」の桁数");
        return d;
    }
    d.definedSize =
        c.param && !c.param->empty() ? toInt32(*c.param, "列「" + c.name + "」の桁数") : 0;
    return d;
}

void applyProperty(ColumnDefinition& d, const LayoutColumn& c) {
    if (!c.prop) return;
    const auto comma = c.prop->find(',');
    if (comma == std::string::npos) return;
    d.properties.emplace_back(c.prop->substr(0, comma), c.prop->substr(comma + 1));
}

// The table of @p group (lines under @p parent), then the groups nested in it, in order.
void collectGroup(const LayoutColumn& parent, std::span<const std::unique_ptr<LayoutColumn>> group,
                  std::vector<TableDefinition>& tables) {
    const LayoutColumn& first = *group.front();
    TableDefinition table;
    IndexDefinition key;
    key.primaryKey = true;
    std::vector<const LayoutColumn*> enclosing;
    for (const LayoutColumn* c = &parent; !c->isRoot(); c = c->parent)
        enclosing.insert(enclosing.begin(), c);
    for (const LayoutColumn* c : enclosing) {
        key.columns.push_back(c->name);
        table.columns.push_back(columnOf(*c));
    }
    key.columns.push_back(first.name);
    for (const auto& own : group) {
        ColumnDefinition d = columnOf(*own);
        applyProperty(d, *own);
        table.columns.push_back(std::move(d));
    }
    table.name = first.table.value_or(std::string());
    key.name = table.name;
    table.indexes.push_back(key);
    tables.push_back(std::move(table));
    for (const auto& own : group)
        for (const auto& nested : groupsOf(*own)) collectGroup(*own, nested, tables);
}

}  // namespace

std::vector<TableDefinition> layoutTables(const LayoutDocument& layout) {
    std::vector<TableDefinition> tables;
    for (const auto& group : groupsOf(layout.root)) collectGroup(layout.root, group, tables);
    return tables;
}

SqlScript layoutSql(const LayoutDocument& layout, const std::string& provider) {
    SqlScript script;
    try {
        script.text = "BEGIN;\n";
        for (const TableDefinition& table : layoutTables(layout))
            for (const std::string& statement : Catalog::createTableStatements(provider, table))
                script.text += statement + ";\n";
        script.text += "COMMIT;\n";
        script.ok = true;
    } catch (const ServiceError& e) {
        script.text = e.description();
    } catch (const LayoutError& e) {
        script.text = e.what();
    }
    return script;
}

CreationResult createLayoutTables(const LayoutDocument& layout, Connection& connection,
                                  Catalog& catalog) {
    CreationResult result;
    bool begun = false;
    try {
        connection.beginTrans();
        begun = true;
        for (const TableDefinition& table : layoutTables(layout)) {
            catalog.appendTable(table);
            result.createdTables.push_back(table.name);
        }
        connection.commitTrans();
        result.ok = true;
        return result;
    } catch (const ServiceError&) {
        for (const auto& e : connection.errors()) {
            result.errors.push_back(e.description());
            if (e.number() == ErrorNumber::kInDoubt) result.outcomeUnknown = true;
            if (e.number() == ErrorNumber::kUndoPending) result.undoPending = true;
        }
    } catch (const LayoutError& e) {
        result.errors.push_back(e.what());
    }
    if (result.errors.empty()) result.errors.push_back("表を作成できません。");
    if (result.outcomeUnknown) return result;  // nothing left to roll back, nothing known
    if (begun && !result.undoPending) {
        try {
            connection.rollbackTrans();
        } catch (const ServiceError& e) {
            result.errors.push_back(e.description());
            result.undoFailed = true;
        }
    }
    result.createdTables.clear();
    return result;
}

namespace {

// "「A」「B」…", the first ten names and how many more.
std::string namedTables(const std::vector<std::string>& tables) {
    constexpr std::size_t kNamed = 10;
    std::string names;
    for (std::size_t i = 0; i < tables.size() && i < kNamed; ++i) names += "「" + tables[i] + "」";
    if (tables.size() > kNamed) names += "ほか" + std::to_string(tables.size() - kNamed) + "個の表";
    return names;
}

}  // namespace

std::string creationReport(const std::vector<std::string>& tables, const std::string& newline) {
    std::string lines;
    for (const auto& name : tables)
        lines += (lines.empty() ? "" : newline) + ("表「" + name + "」を作成しました。");
    if (tables.size() < 2) return lines;
    // The first line is what a status line shows: with several tables it names them all.
    return std::to_string(tables.size()) + " 個の表" + namedTables(tables) + "を作成しました。" +
           newline + lines;
}

std::string creationFailureOutcome(const CreationResult& result) {
    if (result.undoPending) return "表は、次にデータベースを開いたときに元の状態に戻ります。";
    if (result.undoFailed)
        return "元の状態に戻せたかどうかは分かりません。データベースを確認してください。";
    if (!result.outcomeUnknown) return "全ての処理は元の状態に戻されました。";
    return "作成が確定されたかどうかは分かりません。データベースに表" +
           namedTables(result.createdTables) + "があるかどうかを確認してください。";
}

}  // namespace quorix
