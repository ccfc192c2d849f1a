#include "services/db/engine/table_definition.h"

#include <algorithm>
#include <cctype>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"

namespace quorix {

ColumnDefinition* TableDefinition::column(const std::string& columnName) {
    for (auto& c : columns)
        if (c.name == columnName) return &c;
    return nullptr;
}

std::string quoteIdentifier(std::string_view name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + '"';
}

const IndexDefinition* checkTableDefinition(const TableDefinition& table) {
    const std::string& t = table.name;
    if (t.empty()) throw ServiceError(ErrorNumber::kGeneral, "表名が指定されていません。");
    if (table.columns.empty())
        throw ServiceError(ErrorNumber::kGeneral, "表「" + t + "」に列がありません。");
    const IndexDefinition* pk = nullptr;
    for (const auto& idx : table.indexes) {
        if (idx.columns.empty())
            throw ServiceError(ErrorNumber::kGeneral, "索引「" + idx.name + "」に列がありません。");
        for (const auto& c : idx.columns)
            if (std::none_of(table.columns.begin(), table.columns.end(),
                             [&](const ColumnDefinition& d) { return d.name == c; }))
                throw ServiceError(
                    ErrorNumber::kBadColumn,
                    "索引「" + idx.name + "」の列「" + c + "」が表「" + t + "」にありません。");
        if (idx.primaryKey) {
            if (pk)
                throw ServiceError(ErrorNumber::kGeneral,
                                   "表「" + t + "」に主キーが二つ指定されています。");
            pk = &idx;
        }
    }
    return pk;
}

bool propertySwitch(const ColumnDefinition& column, const std::string& property,
                    const std::string& value) {
    std::string v = value;
    std::transform(v.begin(), v.end(), v.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (v != "TRUE" && v != "FALSE")
        throw ServiceError(ErrorNumber::kGeneral, "列「" + column.name + "」のプロパティ「" +
                                                      property + "」に値「" + value +
                                                      "」は使用できません。");
    return v == "TRUE";
}

std::string quotedColumnList(const std::vector<std::string>& columns) {
    std::string s;
    for (std::size_t i = 0; i < columns.size(); ++i)
        s += (i ? ", " : "") + quoteIdentifier(columns[i]);
    return s;
}

std::string primaryKeyClause(const std::string& name, const std::vector<std::string>& columns) {
    return "CONSTRAINT " + quoteIdentifier(name) + " PRIMARY KEY (" + quotedColumnList(columns) +
           ")";
}

std::string createTableStatement(const std::string& table, const std::vector<std::string>& items) {
    std::string sql = "CREATE TABLE " + quoteIdentifier(table) + " (";
    for (std::size_t i = 0; i < items.size(); ++i) sql += (i ? ",\n    " : "\n    ") + items[i];
    return sql + "\n)";
}

std::vector<std::string> createIndexStatements(const TableDefinition& table) {
    std::vector<std::string> statements;
    for (const auto& idx : table.indexes) {
        if (idx.primaryKey) continue;
        statements.push_back(std::string("CREATE ") + (idx.unique ? "UNIQUE " : "") + "INDEX " +
                             quoteIdentifier(idx.name) + " ON " + quoteIdentifier(table.name) +
                             " (" + quotedColumnList(idx.columns) + ")");
    }
    return statements;
}

ColumnSwitches columnSwitches(const ColumnDefinition& c) {
    ColumnSwitches switches;
    for (const auto& [prop, v] : c.properties) {
        const bool on = propertySwitch(c, prop, v);
        if (prop == "AutoIncrement") {
            if (on && c.type != adInteger && c.type != adBigInt && c.type != adSmallInt)
                throw ServiceError(
                    ErrorNumber::kGeneral,
                    "オートナンバーは整数型の列にしか設定できません（列「" + c.name + "」）。");
            switches.autoIncrement = on;
        } else if (prop == "TimeZone") {
            switches.timeZone = on;
        } else if (prop == "Nullable") {
            switches.notNull = !on;
        } else {
            throw ServiceError(
                ErrorNumber::kNotSupported,
                "列のプロパティ「" + prop + "」はこのデータベースでは使用できません。");
        }
    }
    return switches;
}

std::string onConflictClause(const std::vector<std::string>& key,
                             const std::vector<std::string>& update) {
    if (update.empty()) return " ON CONFLICT DO NOTHING";
    std::string sql = " ON CONFLICT (" + quotedColumnList(key) + ") DO UPDATE SET ";
    for (std::size_t i = 0; i < update.size(); ++i)
        sql += (i ? ", " : "") + quoteIdentifier(update[i]) + " = excluded." +
               quoteIdentifier(update[i]);
    return sql;
}

}  // namespace quorix
