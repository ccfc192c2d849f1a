#include "loading/table_checks.h"

#include <algorithm>

#include "generation/table_creation.h"
#include "services/db/engine/data_type.h"

namespace quorix {

namespace load {

namespace {

// What kind of value a column of type @p code keeps, for telling whether one can take another.
enum class Kind { Text, Integer, Exact, Floating, Date, Truth, Binary, Other };

Kind kindOf(long long code) {
    switch (code) {
        case adChar:
        case adWChar:
        case adVarChar:
        case adLongVarChar:
        case adVarWChar:
        case adLongVarWChar:
            return Kind::Text;
        case adSmallInt:
        case adInteger:
        case adTinyInt:
        case adUnsignedTinyInt:
        case adBigInt:
            return Kind::Integer;
        case adCurrency:
        case adDecimal:
        case adNumeric:
            return Kind::Exact;
        case adSingle:
        case adDouble:
            return Kind::Floating;
        case adDate:
        case adDBDate:
        case adDBTimeStamp:
            return Kind::Date;
        case adBoolean:
            return Kind::Truth;
        case adBinary:
        case adVarBinary:
        case adLongVarBinary:
            return Kind::Binary;
        default:
            return Kind::Other;
    }
}

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::Integer:
            return "整数";
        case Kind::Exact:
            return "小数";
        case Kind::Floating:
            return "浮動小数点数";
        case Kind::Date:
            return "日付と時刻";
        case Kind::Truth:
            return "Yes/No";
        case Kind::Binary:
            return "バイナリ";
        default:
            return "文字列";
    }
}

// Whether a column that keeps @p kept takes every value of a line of kind @p given.
bool takes(Kind kept, Kind given) {
    if (kept == given || kept == Kind::Text || kept == Kind::Other || given == Kind::Other)
        return true;
    switch (kept) {
        case Kind::Integer:
            return given == Kind::Truth;
        case Kind::Exact:
            return given == Kind::Integer || given == Kind::Truth;
        case Kind::Floating:
            return given == Kind::Integer || given == Kind::Exact;
        default:
            return false;
    }
}

// A column of the table that cannot take the values of its line, named before anything is
// written: the engine would refuse (or, on SQLite, keep as text) every such value.
std::optional<std::string> typeConflict(const PlanTable& t, const TableDefinition& defined,
                                        Connection& connection) {
    const CatalogObjectPtr table =
        connection.run([&](DatabaseSession& s) { return s.tableDetails(t.name); });
    const CatalogObjectPtr columns = table ? table->child("Columns") : nullptr;
    if (!columns) return std::nullopt;
    for (const PlanColumn& own : t.own) {
        const CatalogObjectPtr existing = columns->member(own.name);
        const auto line =
            std::find_if(defined.columns.begin(), defined.columns.end(),
                         [&](const ColumnDefinition& c) { return c.name == own.name; });
        if (!existing || line == defined.columns.end()) continue;
        const PropertyValue type = existing->property("Type");
        const auto* code = std::get_if<long long>(&type);
        if (code && !takes(kindOf(*code), kindOf(line->type)))
            return "表「" + t.name + "」の列「" + own.name + "」は" + kindName(kindOf(*code)) +
                   "の列なので、定義の型「" + own.typeName +
                   "」の値は入りません。表の列か定義の型を合わせてください。";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> checkTables(std::vector<PlanTable>& tables, const LoadRequest& request,
                                       const LayoutDocument& layout, Connection& connection,
                                       std::vector<MissingColumns>& added) {
    const std::vector<TableDefinition> defined = layoutTables(layout);
    for (PlanTable& t : tables) {
        const auto existing =
            connection.run([&](DatabaseSession& s) { return s.tableColumns(t.name); });
        if (existing.empty()) return "表「" + t.name + "」がありません。";
        MissingColumns missing{t.name, {}};
        for (const auto& c : t.columns)
            if (std::find(existing.begin(), existing.end(), c) == existing.end())
                missing.columns.push_back(c);
        if (!missing.columns.empty()) {
            std::string names;
            for (const auto& c : missing.columns) names += "「" + c + "」";
            if (!request.addColumns)
                return "表「" + t.name + "」に列" + names +
                       "がありません。定義の新しい行を列として表に加えるか、定義から外してくだ"
                       "さい。";
            const auto table =
                std::find_if(defined.begin(), defined.end(),
                             [&](const TableDefinition& d) { return d.name == t.name; });
            for (const auto& name : missing.columns) {
                const ColumnDefinition* column = nullptr;
                bool key = false;
                if (table != defined.end()) {
                    for (const ColumnDefinition& c : table->columns)
                        if (c.name == name) column = &c;
                    for (const IndexDefinition& i : table->indexes)
                        if (i.primaryKey)
                            key = std::count(i.columns.begin(), i.columns.end(), name) > 0;
                }
                if (key || !column)
                    return "表「" + t.name + "」のキーの列「" + name +
                           "」は、後から加えられません。表を作り直してください。";
                ColumnDefinition plain = *column;
                plain.properties.clear();  // nullable, no auto-number: rows already there have none
                connection.run([&](DatabaseSession& s) { s.addColumn(t.name, plain); });
            }
            added.push_back(std::move(missing));
        }
        const auto table = std::find_if(defined.begin(), defined.end(),
                                        [&](const TableDefinition& d) { return d.name == t.name; });
        if (table != defined.end())
            if (auto conflict = typeConflict(t, *table, connection)) return conflict;
        for (PlanColumn& c : t.own)
            if (c.autoNumber)
                c.nextNumber =
                    connection
                        .run([&](DatabaseSession& s) { return s.largestValue(t.name, c.name); })
                        .value_or(0) +
                    1;
    }
    return std::nullopt;
}

}  // namespace load

std::vector<MissingColumns> missingColumns(const LayoutDocument& layout, Connection& connection) {
    std::vector<MissingColumns> found;
    for (const TableDefinition& t : layoutTables(layout)) {
        const auto existing =
            connection.run([&](DatabaseSession& s) { return s.tableColumns(t.name); });
        if (existing.empty()) continue;
        MissingColumns missing{t.name, {}};
        for (const ColumnDefinition& c : t.columns)
            if (std::find(existing.begin(), existing.end(), c.name) == existing.end())
                missing.columns.push_back(c.name);
        if (!missing.columns.empty()) found.push_back(std::move(missing));
    }
    return found;
}

}  // namespace quorix
