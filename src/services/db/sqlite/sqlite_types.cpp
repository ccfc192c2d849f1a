#include "services/db/sqlite/sqlite_types.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"

namespace quorix::sqlite {

namespace {

struct TypeEntry {
    int32_t type;
    const char* declared;  // our declared name
    bool sized;            // takes "(n)"
    int32_t size;          // defined size, or default size when sized
    bool fixed;
    int32_t precision;
};

// One entry per code; the first entry of a code is the name we write.
constexpr TypeEntry kTypes[] = {
    {adSmallInt, "SMALLINT", false, 2, true, 5},
    {adInteger, "INTEGER", false, 4, true, 10},
    {adSingle, "FLOAT4", false, 4, true, 7},
    {adDouble, "DOUBLE", false, 8, true, 15},
    {adCurrency, "CURRENCY", false, 8, true, 19},
    {adDate, "DATETIME", false, 8, true, 0},
    {adBoolean, "BIT", false, 2, true, 0},
    {adDecimal, "DECIMAL", false, 16, true, 18},
    {adTinyInt, "TINYINT", false, 1, true, 3},
    {adUnsignedTinyInt, "BYTE", false, 1, true, 3},
    {adBigInt, "BIGINT", false, 8, true, 19},
    {adGUID, "GUID", false, 16, true, 0},
    {adBinary, "BINARY", true, 255, true, 0},
    {adChar, "CHAR", true, 255, true, 0},
    {adWChar, "NCHAR", true, 255, true, 0},
    {adNumeric, "NUMERIC", false, 19, true, 18},
    {adDBTimeStamp, "TIMESTAMP", false, 16, true, 0},
    {adVarChar, "VARCHAR", true, 255, false, 0},
    {adLongVarChar, "TEXT", false, 0, false, 0},
    {adVarWChar, "NVARCHAR", true, 255, false, 0},
    {adLongVarWChar, "NTEXT", false, 0, false, 0},
    {adVarBinary, "VARBINARY", true, 255, false, 0},
    {adLongVarBinary, "BLOB", false, 0, false, 0},
};

// Other names real files use, read as one of our codes.
struct Synonym {
    const char* name;
    int32_t type;
};
constexpr Synonym kSynonyms[] = {
    {"INT", adInteger},
    {"LONG", adInteger},
    {"COUNTER", adInteger},
    {"AUTOINCREMENT", adInteger},
    {"BOOLEAN", adBoolean},
    {"YESNO", adBoolean},
    {"LOGICAL", adBoolean},
    {"MONEY", adCurrency},
    {"DATE", adDate},
    {"REAL", adDouble},
    {"FLOAT", adDouble},
    {"DOUBLE PRECISION", adDouble},
    {"SINGLE", adSingle},
    {"CHARACTER", adChar},
    {"NATIONAL CHARACTER", adWChar},
    {"VARYING CHARACTER", adVarChar},
    {"CHARACTER VARYING", adVarChar},
    {"NATIONAL VARYING CHARACTER", adVarWChar},
    {"NVARCHAR2", adVarWChar},
    {"VARCHAR2", adVarChar},
    {"MEMO", adLongVarWChar},
    {"LONGTEXT", adLongVarWChar},
    {"CLOB", adLongVarChar},
    {"LONGBINARY", adLongVarBinary},
    {"IMAGE", adLongVarBinary},
    {"UNIQUEIDENTIFIER", adGUID},
    {"DATETIME2", adDBTimeStamp},
};

const TypeEntry* entryFor(int32_t type) {
    for (const auto& e : kTypes)
        if (e.type == type) return &e;
    return nullptr;
}

std::string upper(std::string_view s) {
    std::string u(s);
    std::transform(u.begin(), u.end(), u.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return u;
}

std::string trimmed(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1));
}

}  // namespace

std::string sqliteDeclaredType(int32_t type, int32_t definedSize, int32_t precision, int32_t scale) {
    const TypeEntry* e = entryFor(type);
    if (!e)
        throw ServiceError(ErrorNumber::kBadColumn, "型コード " + std::to_string(type) +
                                                        " はこのデータベースでは使用できません。");
    if (definedSize < 0)
        throw ServiceError(ErrorNumber::kBadColumn,
                           "列の長さ " + std::to_string(definedSize) + " は使用できません。");
    // Read back as it was given (the values stay what SQLite makes of numbers).
    if ((type == adNumeric || type == adDecimal) && precision > 0)
        return std::string(e->declared) + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    if (!e->sized) return e->declared;
    return std::string(e->declared) + "(" +
           std::to_string(definedSize > 0 ? definedSize : e->size) + ")";
}

SqliteColumnType sqliteColumnType(std::string_view declared) {
    const std::string text = upper(trimmed(declared));
    const auto paren = text.find('(');
    const std::string base = trimmed(std::string_view(text).substr(0, paren));
    int32_t arg = 0;
    if (paren != std::string::npos) arg = std::atoi(text.c_str() + paren + 1);

    int32_t type = -1;
    for (const auto& e : kTypes)
        if (base == e.declared) type = e.type;
    if (type < 0)
        for (const auto& s : kSynonyms)
            if (base == s.name) type = s.type;
    if (type < 0) {
        // SQLite's own affinity rules for everything else.
        if (base.find("INT") != std::string::npos)
            type = adInteger;
        else if (base.find("CHAR") != std::string::npos || base.find("CLOB") != std::string::npos ||
                 base.find("TEXT") != std::string::npos)
            type = adLongVarWChar;
        else if (base.empty() || base.find("BLOB") != std::string::npos)
            type = adLongVarBinary;
        else if (base.find("REAL") != std::string::npos || base.find("FLOA") != std::string::npos ||
                 base.find("DOUB") != std::string::npos)
            type = adDouble;
        else
            type = adNumeric;
    }
    const TypeEntry* e = entryFor(type);
    SqliteColumnType result;
    result.type = type;
    result.fixedLength = e->fixed;
    result.precision = e->precision;
    result.definedSize = e->sized ? (arg > 0 ? arg : e->size) : e->size;
    if ((type == adNumeric || type == adDecimal) && arg > 0) {
        result.precision = arg;
        const auto comma = text.find(',', paren);
        result.numericScale = comma == std::string::npos ? 0 : std::atoi(text.c_str() + comma + 1);
    }
    return result;
}

bool isIntegerType(int32_t type) {
    return type == adInteger || type == adSmallInt || type == adTinyInt ||
           type == adUnsignedTinyInt || type == adBigInt;
}

std::vector<std::string> statementsFor(const TableDefinition& table) {
    const std::string& t = table.name;
    const IndexDefinition* pk = checkTableDefinition(table);

    // Column properties: every one is applied or refused, never dropped.
    std::set<std::string> autoColumns;
    std::set<std::string> notNullColumns;
    for (const auto& c : table.columns) {
        for (const auto& [prop, value] : c.properties) {
            const bool on = propertySwitch(c, prop, value);
            if (prop == "AutoIncrement") {
                if (on && !isIntegerType(c.type))
                    throw ServiceError(
                        ErrorNumber::kGeneral,
                        "オートナンバーは整数型の列にしか設定できません（列「" + c.name + "」）。");
                if (on)
                    autoColumns.insert(c.name);
                else
                    autoColumns.erase(c.name);
            } else if (prop == "Nullable") {
                if (!on)
                    notNullColumns.insert(c.name);
                else
                    notNullColumns.erase(c.name);
            } else {
                throw ServiceError(
                    ErrorNumber::kNotSupported,
                    "列のプロパティ「" + prop + "」はこのデータベースでは使用できません。");
            }
        }
    }

    // A single integer key column that auto-numbers becomes SQLite's own AUTOINCREMENT key.
    std::string rowidColumn;
    if (pk && pk->columns.size() == 1 && autoColumns.count(pk->columns[0])) {
        const ColumnDefinition* c = nullptr;
        for (const auto& d : table.columns)
            if (d.name == pk->columns[0]) c = &d;
        if (c->type == adInteger) rowidColumn = c->name;
    }

    std::vector<std::string> items;
    for (const auto& c : table.columns) {
        std::string& item = items.emplace_back(quoteIdentifier(c.name) + " " +
                                               sqliteDeclaredType(c.type, c.definedSize, c.precision, c.scale));
        if (c.name == rowidColumn) {
            item += " CONSTRAINT " + quoteIdentifier(pk->name) + " PRIMARY KEY AUTOINCREMENT";
            continue;
        }
        const bool inKey =
            pk && std::find(pk->columns.begin(), pk->columns.end(), c.name) != pk->columns.end();
        // An emulated auto-number must accept the empty insert that the trigger then fills.
        if ((inKey && !autoColumns.count(c.name)) || notNullColumns.count(c.name))
            item += " NOT NULL";
    }
    if (pk && rowidColumn.empty()) items.push_back(primaryKeyClause(pk->name, pk->columns));

    std::vector<std::string> statements{createTableStatement(t, items)};
    for (auto& s : createIndexStatements(table)) statements.push_back(std::move(s));
    for (const auto& col : autoColumns) {
        if (col == rowidColumn) continue;
        const std::string q = quoteIdentifier(col);
        statements.push_back(
            "CREATE TRIGGER " + quoteIdentifier(kAutoIncrementTrigger + t + ":" + col) +
            " AFTER INSERT ON " + quoteIdentifier(t) + " FOR EACH ROW WHEN NEW." + q +
            " IS NULL BEGIN UPDATE " + quoteIdentifier(t) + " SET " + q + " = (SELECT IFNULL(MAX(" +
            q + "), 0) + 1 FROM " + quoteIdentifier(t) + ") WHERE rowid = NEW.rowid; END");
    }
    return statements;
}

}  // namespace quorix::sqlite
