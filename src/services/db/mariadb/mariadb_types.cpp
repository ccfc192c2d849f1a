#include "services/db/mariadb/mariadb_types.h"

#include <algorithm>
#include <map>
#include <utility>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/mariadb/mariadb_client.h"

namespace quorix::mariadb {

namespace {

constexpr std::size_t kMaxIdentifier = 64;  // characters

std::size_t characters(const std::string& s) {
    return static_cast<std::size_t>(
        std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string sqlType(const ColumnDefinition& c, bool timeZone) {
    switch (c.type) {
        case adVarWChar:
        case adVarChar:
            return "varchar(" + std::to_string(c.definedSize > 0 ? c.definedSize : 255) + ")";
        case adWChar:
        case adChar:
            return "char(" + std::to_string(c.definedSize > 0 ? c.definedSize : 255) + ")";
        case adLongVarWChar:
        case adLongVarChar:
            return "text";
        case adInteger:
            return "int";
        case adSmallInt:
            return "smallint";
        case adBigInt:
            return "bigint";
        case adNumeric:
        case adDecimal:
            if (c.precision > 0)
                return "decimal(" + std::to_string(c.precision) + "," + std::to_string(c.scale) +
                       ")";
            return "decimal(65,30)";  // the widest: no digit of a value is rounded away
        case adDouble:
            return "double";
        case adSingle:
            return "float";
        case adBoolean:
            return "boolean";
        case adDBDate:
            return "date";
        case adDBTimeStamp:
        case adDate:
            return timeZone ? "timestamp(6)" : "datetime(6)";
        case adLongVarBinary:
        case adVarBinary:
        case adBinary:
            return "longblob";
        case adCurrency:
            return "decimal(19,4)";
        default:
            throw ServiceError(ErrorNumber::kNotSupported,
                               "列「" + c.name + "」の型（" + std::to_string(c.type) +
                                   "）はこのデータベースでは使用できません。");
    }
}

// InnoDB keeps a key in at most 3072 bytes, four to a character of utf8mb4, and no text or
// binary column of unbounded length: said before anything is sent.
void checkKeyLength(const TableDefinition& table, const IndexDefinition& key) {
    constexpr long long kLimit = 3072;
    long long bytes = 0;
    for (const std::string& name : key.columns) {
        const auto c = std::find_if(table.columns.begin(), table.columns.end(),
                                    [&](const ColumnDefinition& d) { return d.name == name; });
        if (c == table.columns.end()) continue;
        switch (c->type) {
            case adVarWChar:
            case adVarChar:
            case adWChar:
            case adChar:
                bytes += 4LL * (c->definedSize > 0 ? c->definedSize : 255) + 2;
                break;
            case adLongVarWChar:
            case adLongVarChar:
            case adLongVarBinary:
            case adVarBinary:
            case adBinary:
                throw ServiceError(ErrorNumber::kGeneral,
                                   "表「" + table.name + "」のキーの列「" + name +
                                       "」には長さに限りのない型は使えません。桁数のある型"
                                       "（varchar）にしてください。");
            case adBigInt:
            case adDouble:
            case adDBTimeStamp:
            case adDate:
            case adCurrency:
                bytes += 8;
                break;
            case adNumeric:
            case adDecimal:
                bytes += 30;
                break;
            default:
                bytes += 4;
        }
    }
    if (bytes > kLimit)
        throw ServiceError(ErrorNumber::kGeneral,
                           "表「" + table.name + "」の主キーは長すぎます（" +
                               std::to_string(bytes) + "バイト、" + std::to_string(kLimit) +
                               "バイトまで）。キーになる列の桁数を小さくしてください。");
}

}  // namespace

void checkName(const std::string& name, const char* what) {
    if (characters(name) > kMaxIdentifier)
        throw ServiceError(ErrorNumber::kGeneral,
                           std::string(what) + "「" + name + "」は長すぎます（" +
                               std::to_string(kMaxIdentifier) + "文字まで）。");
}

std::vector<std::string> statementsFor(const TableDefinition& table, const std::string& prefix,
                                       const std::string& collation) {
    const IndexDefinition* pk = checkTableDefinition(table);
    checkName(table.name, "表名");
    std::vector<std::string> items;
    std::string autoColumn;
    for (const ColumnDefinition& c : table.columns) {
        checkName(c.name, "列名");
        const ColumnSwitches on = columnSwitches(c);
        std::string& item = items.emplace_back(backticked(c.name) + " " + sqlType(c, on.timeZone));
        if (on.notNull) item += " NOT NULL";
        if (on.autoIncrement) {
            item += " AUTO_INCREMENT";
            autoColumn = c.name;
        }
    }
    if (pk) {
        checkKeyLength(table, *pk);
        items.push_back("PRIMARY KEY (" + backtickedList(pk->columns) + ")");
    }
    // The server wants an auto-numbered column to begin a key.
    if (!autoColumn.empty() && !(pk && pk->columns.front() == autoColumn) &&
        std::none_of(table.indexes.begin(), table.indexes.end(),
                     [&](const IndexDefinition& i) { return i.columns.front() == autoColumn; }))
        items.push_back("KEY (" + backticked(autoColumn) + ")");
    std::string sql = "CREATE TABLE " + prefix + backticked(table.name) + " (";
    for (std::size_t i = 0; i < items.size(); ++i) sql += (i ? ",\n    " : "\n    ") + items[i];
    sql += "\n) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=" + collation;
    std::vector<std::string> statements{sql};
    for (const IndexDefinition& idx : table.indexes) {
        if (idx.primaryKey) continue;
        checkName(idx.name, "索引名");
        statements.push_back(std::string("CREATE ") + (idx.unique ? "UNIQUE " : "") + "INDEX " +
                             backticked(idx.name) + " ON " + prefix + backticked(table.name) +
                             " (" + backtickedList(idx.columns) + ")");
    }
    return statements;
}

ColumnFacts typeFacts(const std::string& dataType, const std::string& columnType,
                      const std::string& length, const std::string& precision,
                      const std::string& scale) {
    ColumnFacts f;
    auto num = [](const std::string& s) { return s.empty() ? 0LL : std::stoll(s); };
    static const std::map<std::string, std::pair<int32_t, bool>> kTypes = {
        {"varchar", {adVarWChar, false}},
        {"char", {adWChar, true}},
        {"text", {adLongVarWChar, false}},
        {"tinytext", {adLongVarWChar, false}},
        {"mediumtext", {adLongVarWChar, false}},
        {"longtext", {adLongVarWChar, false}},
        {"int", {adInteger, true}},
        {"mediumint", {adInteger, true}},
        {"smallint", {adSmallInt, true}},
        {"bigint", {adBigInt, true}},
        {"decimal", {adNumeric, true}},
        {"double", {adDouble, true}},
        {"float", {adSingle, true}},
        {"date", {adDBDate, true}},
        {"datetime", {adDBTimeStamp, true}},
        {"timestamp", {adDBTimeStamp, true}},
        {"blob", {adLongVarBinary, false}},
        {"longblob", {adLongVarBinary, false}},
        {"mediumblob", {adLongVarBinary, false}},
        {"varbinary", {adVarBinary, false}},
        {"binary", {adBinary, true}},
        {"tinyint", {adTinyInt, true}},
    };
    if (const auto it = kTypes.find(dataType); it != kTypes.end()) {
        f.type = it->second.first;
        f.fixed = it->second.second;
    }
    if (dataType == "tinyint" && columnType.rfind("tinyint(1)", 0) == 0) f.type = adBoolean;
    f.size = num(length);
    f.precision = num(precision);
    f.scale = num(scale);
    return f;
}

}  // namespace quorix::mariadb
