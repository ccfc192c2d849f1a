#include "generation/column_types.h"

#include <cctype>
#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "services/text/text.h"

namespace quorix {

namespace {

// New names go after the old ones: a position in a list stays what it was.
const std::vector<std::string> kAccess = {"ﾃｷｽﾄ型",   "ﾒﾓ型",       "数値型",
                                          "日付/時刻型", "通貨型",     "ｵｰﾄﾅﾝﾊﾞｰ型",
                                          "Yes/No型", "倍精度浮動小数点型", "10進型"};
const std::vector<std::string> kJet351 = {"ﾃｷｽﾄ型", "ﾒﾓ型",     "数値型",  "日付/時刻型",
                                          "通貨型", "Yes/No型", "倍精度浮動小数点型"};
const std::vector<std::string> kOracle = {"BLOB", "CHAR",   "CLOB",    "DATE",
                                          "LONG", "NUMBER", "VARCHAR2"};
const std::vector<std::string> kSqlServer = {
    "Bit",  "Char",          "Datetime", "Float",      "Image", "int",     "Money",
    "Real", "Smalldatetime", "Smallint", "Smallmoney", "text",  "Tinyint", "Varchar"};

const std::vector<std::string> kPostgres = {
    "varchar", "text", "integer",   "bigint",      "numeric", "double precision",
    "boolean", "date", "timestamp", "timestamptz", "bytea",   "serial"};

const std::vector<std::string> kMysql = {"varchar",  "text",      "int",     "bigint",
                                         "decimal",  "double",    "boolean", "date",
                                         "datetime", "timestamp", "blob",    "int auto_increment"};

// A type name of a server vocabulary, its type code and its column property.
struct PgEntry {
    const char* name;
    const char* code;
    const char* property;
};

struct JetEntry {
    const char* name;
    const char* accessCode;
    const char* jet351Code;
    const char* property;
};

const JetEntry kJetMapping[] = {
    {"ﾃｷｽﾄ型", "202", "200", ""}, {"ﾒﾓ型", "203", "201", ""},
    {"数値型", "3", "3", ""},     {"日付/時刻型", "7", "135", ""},
    {"通貨型", "6", "6", ""},     {"ｵｰﾄﾅﾝﾊﾞｰ型", "3", "3", "AutoIncrement,true"},
    {"Yes/No型", "11", "11", ""},
    {"倍精度浮動小数点型", "5", "5", ""},
    {"10進型", "131", nullptr, ""},  // the older engine has no decimal type
};

// Single precision, then the nearest 16-bit integer with halves to even.
std::string sizeFromNumber(double value, const std::string& original, const char* fallback) {
    const float single = static_cast<float>(value);
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(static_cast<double>(single));
    std::fesetround(saved);
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        throw ColumnTypeError("桁数「" + original + "」が大きすぎます（32767まで）。");
    if (rounded < 1) return fallback;
    return std::to_string(static_cast<int>(rounded));
}

std::string sizeRule(const std::optional<std::string>& sizeText, const char* fallback) {
    if (!sizeText) return {};
    const std::string s = trimBlanks(*sizeText);
    const auto comma = s.find(',');
    if (comma != std::string::npos) {
        if (auto n = parseNumber(std::string_view(s).substr(0, comma)))
            return sizeFromNumber(*n, s, fallback);
    }
    if (auto n = parseNumber(s)) return sizeFromNumber(*n, s, fallback);
    return fallback;
}

// The entry of a server vocabulary that @p name names; varchar takes a size (255 by default).
// A decimal's "桁数": its precision, or its precision and scale ("10,2"); empty for none.
std::string decimalSize(const std::optional<std::string>& sizeText, int maxPrecision,
                        int maxScale) {
    if (!sizeText) return {};
    const std::string s = trimBlanks(*sizeText);
    if (s.empty()) return {};
    const auto comma = s.find(',');
    auto whole = [](std::string_view t) -> std::optional<int> {
        const std::string v = trimBlanks(t);
        if (v.empty() || v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        return std::stoi(v);
    };
    const auto precision = whole(std::string_view(s).substr(0, comma));
    const auto scale = comma == std::string::npos ? std::optional<int>(0)
                                                  : whole(std::string_view(s).substr(comma + 1));
    if (!precision || !scale || *precision < 1 || *precision > maxPrecision || *scale > *precision ||
        *scale > maxScale)
        throw ColumnTypeError("桁数「" + s + "」は「全体の桁数」か「全体の桁数,小数部の桁数」で" +
                              "書いてください（全体は" + std::to_string(maxPrecision) +
                              "桁まで、小数部は" + std::to_string(maxScale) + "桁まで）。");
    return std::to_string(*precision) + "," + std::to_string(*scale);
}

template <std::size_t N>
std::optional<ColumnTypeSpec> serverType(const PgEntry (&entries)[N], const std::string& name,
                                         const std::optional<std::string>& sizeText) {
    for (const auto& e : entries) {
        if (name != e.name) continue;
        ColumnTypeSpec spec{e.code, {}, e.property};
        if (name == "varchar") spec.size = sizeRule(sizeText, "255");
        if (name == "numeric") spec.size = decimalSize(sizeText, 1000, 1000);
        if (name == "decimal") spec.size = decimalSize(sizeText, 65, 30);
        return spec;
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') ++i;
    std::size_t end = n;
    while (end > i && text[end - 1] == ' ') --end;
    std::string digits;
    if (i < end && (text[i] == '+' || text[i] == '-')) digits += text[i++];
    bool any = false;
    // Integer part: digits with thousands separators between them.
    while (i < end && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == ',')) {
        if (text[i] == ',') {
            if (!any) return std::nullopt;
        } else {
            digits += text[i];
            any = true;
        }
        ++i;
    }
    if (i < end && text[i] == '.') {
        digits += text[i++];
        while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
            digits += text[i++];
            any = true;
        }
    }
    if (!any) return std::nullopt;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        digits += text[i++];
        if (i < end && (text[i] == '+' || text[i] == '-')) digits += text[i++];
        bool exp = false;
        while (i < end && std::isdigit(static_cast<unsigned char>(text[i]))) {
            digits += text[i++];
            exp = true;
        }
        if (!exp) return std::nullopt;
    }
    if (i != end) return std::nullopt;
    return std::strtod(digits.c_str(), nullptr);
}

std::vector<std::string> typeNamesFor(std::string_view dbType) {
    if (dbType == "access") return kAccess;
    if (dbType == "ole3.51") return kJet351;
    if (dbType == "oracle") return kOracle;
    if (dbType == "sqlserver") return kSqlServer;
    if (dbType == "postgresql") return kPostgres;
    if (dbType == "mysql") return kMysql;
    return {};
}

int initialTypeIndex(std::string_view dbType) {
    if (dbType == "access" || dbType == "ole3.51" || dbType == "postgresql" || dbType == "mysql")
        return 0;
    if (dbType == "oracle") return 6;
    if (dbType == "sqlserver") return 13;
    return -1;
}

std::string DBDatatype(std::string_view dbType, std::string_view xmlType) {
    if (dbType == "postgresql") {
        static const std::pair<const char*, const char*> kPg[] = {
            {"string", "varchar"},
            {"number", "numeric"},
            {"fixed", "numeric"},
            {"int", "integer"},
            {"i1_byte", "integer"},
            {"i2", "integer"},
            {"i4", "integer"},
            {"ui2", "integer"},
            {"ui4", "integer"},
            {"r4", "double precision"},
            {"r8,float", "double precision"},
            {"boolean", "boolean"},
            {"date", "date"},
            {"dateTime", "timestamp"},
            {"time", "timestamp"},
            {"dateTime.tz", "timestamptz"},
            {"time.tz", "timestamptz"},
        };
        for (const auto& [xml, name] : kPg)
            if (xmlType == xml) return name;
        return "varchar";
    }
    if (dbType == "mysql") {
        static const std::pair<const char*, const char*> kMy[] = {
            {"string", "varchar"},  {"number", "decimal"},
            {"fixed", "decimal"},   {"int", "int"},
            {"i1_byte", "int"},     {"i2", "int"},
            {"i4", "int"},          {"ui2", "int"},
            {"ui4", "bigint"},      {"r4", "double"},
            {"r8,float", "double"}, {"boolean", "boolean"},
            {"date", "date"},       {"dateTime", "datetime"},
            {"time", "datetime"},   {"dateTime.tz", "varchar"},
            {"time.tz", "varchar"},
        };
        for (const auto& [xml, name] : kMy)
            if (xmlType == xml) return name;
        return "varchar";
    }
    if (dbType != "access") return {};
    struct Entry {
        const char* xml;
        const char* name;
    };
    static const Entry kMap[] = {
        {"string", "ﾃｷｽﾄ型"},
        {"number", "数値型"},
        {"int", "数値型"},
        {"fixed", "数値型"},
        {"boolean", "Yes/No型"},
        {"dateTime", "日付/時刻型"},
        {"dateTime.tz", "日付/時刻型"},
        {"date", "日付/時刻型"},
        {"time", "日付/時刻型"},
        {"time.tz", "日付/時刻型"},
        {"i1_byte", "数値型"},
        {"i2", "数値型"},
        {"i4", "数値型"},
        {"ui2", "数値型"},
        {"ui4", "数値型"},
        {"r4", "数値型"},
        {"r8,float", "数値型"},
    };
    for (const auto& e : kMap)
        if (xmlType == e.xml) return e.name;
    return "ﾃｷｽﾄ型";
}

std::optional<ColumnTypeSpec> MapColumnType(std::string_view dbType, std::string_view typeName,
                                            const std::optional<std::string>& sizeText) {
    const std::string name = trimBlanks(typeName);
    if (dbType == "access" || dbType == "ole3.51") {
        const bool access = dbType == "access";
        for (const auto& e : kJetMapping) {
            if (name != e.name || (!access && !e.jet351Code)) continue;
            ColumnTypeSpec spec;
            spec.typeCode = access ? e.accessCode : e.jet351Code;
            spec.property = e.property;
            if (name == "ﾃｷｽﾄ型") spec.size = sizeRule(sizeText, "255");
            // Numbers of more digits lose the last ones in this engine's files.
            if (name == "10進型") spec.size = decimalSize(sizeText, 15, 15);
            return spec;
        }
        return std::nullopt;
    }
    if (dbType == "oracle") {
        if (name == "CHAR") return ColumnTypeSpec{"129", {}, {}};
        if (name == "DATE") return ColumnTypeSpec{"135", {}, {}};
        if (name == "NUMBER") return ColumnTypeSpec{"131", {}, {}};
        if (name == "VARCHAR2") return ColumnTypeSpec{"200", sizeRule(sizeText, "10"), {}};
        return std::nullopt;
    }
    if (dbType == "postgresql") {
        static const PgEntry kPg[] = {
            {"varchar", "202", ""},   {"text", "203", ""},
            {"integer", "3", ""},     {"bigint", "20", ""},
            {"numeric", "131", ""},   {"double precision", "5", ""},
            {"boolean", "11", ""},    {"date", "133", ""},
            {"timestamp", "135", ""}, {"timestamptz", "135", "TimeZone,true"},
            {"bytea", "205", ""},     {"serial", "3", "AutoIncrement,true"},
        };
        return serverType(kPg, name, sizeText);
    }
    if (dbType == "mysql") {
        static const PgEntry kMy[] = {
            {"varchar", "202", ""},  {"text", "203", ""},
            {"int", "3", ""},        {"bigint", "20", ""},
            {"decimal", "131", ""},  {"double", "5", ""},
            {"boolean", "11", ""},   {"date", "133", ""},
            {"datetime", "135", ""}, {"timestamp", "135", "TimeZone,true"},
            {"blob", "205", ""},     {"int auto_increment", "3", "AutoIncrement,true"},
        };
        return serverType(kMy, name, sizeText);
    }
    if (dbType == "sqlserver") {
        for (const auto& n : kSqlServer)
            if (n == name) return std::nullopt;
        return ColumnTypeSpec{"200", "10", {}};
    }
    return std::nullopt;
}

bool typeTakesSize(std::string_view dbType, std::string_view typeName) {
    const std::string name = trimBlanks(typeName);
    if (dbType == "access" || dbType == "ole3.51") return name == "ﾃｷｽﾄ型" || name == "10進型";
    if (dbType == "oracle") return name == "VARCHAR2";
    if (dbType == "postgresql") return name == "varchar" || name == "numeric";
    if (dbType == "mysql") return name == "varchar" || name == "decimal";
    if (dbType == "sqlserver") return false;  // its columns are made with fixed sizes
    return true;
}

}  // namespace quorix
