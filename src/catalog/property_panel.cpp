#include "catalog/property_panel.h"

#include <functional>

#include "services/db/engine/service_error.h"

namespace quorix {

namespace {

// Reads a numeric property; throws ServiceError when it cannot be read.
int32_t code(const CatalogObject& o, const char* name) {
    const PropertyValue v = o.property(name);
    if (const auto* n = std::get_if<long long>(&v)) return static_cast<int32_t>(*n);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
    throw ServiceError(ErrorNumber::kGeneral,
                       std::string("「") + name + "」は数値ではありません。");
}

// The formatter's text, or "<description>" when the property cannot be read.
std::string guarded(const std::function<std::string()>& format) {
    try {
        return format();
    } catch (const ServiceError& e) {
        return "<" + e.description() + ">";
    }
}

std::string joined(const std::string& text) {
    return text.size() > 4 ? text.substr(4) : std::string();
}

}  // namespace

std::vector<std::string> ShowProperties(const CatalogObject& object,
                                        const std::vector<std::string>& names) {
    std::vector<std::string> lines;
    for (const auto& name : names)
        lines.push_back(name + " = " +
                        guarded([&] { return propertyText(object.property(name)); }));
    return lines;
}

std::string ColumnAttribute(const CatalogObject& column) {
    return guarded([&] {
        const int32_t a = code(column, "Attributes");
        std::string text;
        if (a & 0x1) text += " Or adColFixed";
        if (a & 0x2) text += " Or adColNullable";
        return joined(text);
    });
}

std::string IndexNulls(const CatalogObject& index) {
    return guarded([&] {
        const int32_t n = code(index, "IndexNulls");
        std::string text;
        if (n & 0x1) text += " Or adIndexNullsDisallow";
        if (n & 0x2) text += " Or adIndexNullsIgnore";
        if (n & 0x4) text += " Or adIndexNullsIgnoreAny";
        return text.empty() ? std::string("adIndexNullsAllow") : joined(text);
    });
}

std::string dataTypeName(int32_t value) {
    switch (value) {
        case 0:
            return "adEmpty";
        case 2:
            return "adSmallInt";
        case 3:
            return "adInteger";
        case 4:
            return "adSingle";
        case 5:
            return "adDouble";
        case 6:
            return "adCurrency";
        case 7:
            return "adDate";
        case 8:
            return "adBSTR";
        case 9:
            return "adIDispatch";
        case 10:
            return "adError";
        case 11:
            return "adBoolean";
        case 12:
            return "adVariant";
        case 13:
            return "adIUnknown";
        case 14:
            return "adDecimal";
        case 16:
            return "adTinyInt";
        case 17:
            return "adUnsignedTinyInt";
        case 18:
            return "adUnsignedSmallInt";
        case 19:
            return "adUnsignedInt";
        case 20:
            return "adBigInt";
        case 21:
            return "adUnsignedBigInt";
        case 64:
            return "adFileTime";
        case 72:
            return "adGUID";
        case 128:
            return "adBinary";
        case 129:
            return "adChar";
        case 130:
            return "adWChar";
        case 131:
            return "adNumeric";
        case 132:
            return "adUserDefined";
        case 133:
            return "adDBDate";
        case 134:
            return "adDBTime";
        case 135:
            return "adDBTimeStamp";
        case 136:
            return "adChapter";
        case 138:
            return "adPropVariant";
        case 139:
            return "adVarNumeric";
        case 200:
            return "adVarChar";
        case 201:
            return "adLongVarChar";
        case 202:
            return "adVarWChar";
        case 203:
            return "adLongVarWChar";
        case 204:
            return "adVarBinary";
        case 205:
            return "adLongVarBinary";
        default:
            return "<unknown>";
    }
}

std::string ColumnType(const CatalogObject& column) {
    return guarded([&] { return dataTypeName(code(column, "Type")); });
}

std::string RuleEnum(int32_t c) {
    switch (c) {
        case 0:
            return "adRINone";
        case 1:
            return "adRICascade";
        case 2:
            return "adRISetNull";
        case 3:
            return "adRISetDefault";
        default:
            return "<unknown>";
    }
}

std::string KeyTypeEnum(int32_t c) {
    switch (c) {
        case 1:
            return "adKeyPrimary";
        case 2:
            return "adKeyForeign";
        case 3:
            return "adKeyUnique";
        default:
            return "<unknown>";
    }
}

std::string CommandTypeEnum(int32_t c) {
    switch (c) {
        case 1:
            return "adCmdText";
        case 2:
            return "adCmdTable";
        case 4:
            return "adCmdStoredProc";
        case 8:
            return "adCmdUnknown";
        case 256:
            return "adCmdFile";
        case 512:
            return "adCmdTableDirect";
        default:
            return "<unknown>";
    }
}

std::vector<std::string> columnLinesInJapanese(const CatalogObject& column) {
    std::vector<std::string> lines;
    const PropertyValue type = column.property("Type");
    if (const auto* t = std::get_if<long long>(&type)) {
        const char* kind = nullptr;
        switch (*t) {
            case adVarWChar: case adWChar: case adVarChar: case adChar: kind = "文字列"; break;
            case adLongVarWChar: case adLongVarChar: kind = "長い文字列"; break;
            case adSmallInt: case adInteger: case adTinyInt: case adUnsignedTinyInt: case adBigInt:
                kind = "整数"; break;
            case adSingle: case adDouble: kind = "浮動小数点数"; break;
            case adNumeric: case adDecimal: kind = "10進数"; break;
            case adCurrency: kind = "通貨"; break;
            case adBoolean: kind = "真偽値（Yes/No）"; break;
            case adDBDate: kind = "日付"; break;
            case adDate: case adDBTimeStamp: kind = "日付と時刻"; break;
            case adBinary: case adVarBinary: case adLongVarBinary: kind = "バイナリ"; break;
            case adGUID: kind = "GUID"; break;
            default: break;
        }
        lines.push_back(std::string("型 = ") + (kind ? kind : "その他") + "（" +
                        dataTypeName(static_cast<int32_t>(*t)) + "）");
    }
    const PropertyValue size = column.property("DefinedSize");
    if (const auto* n = std::get_if<long long>(&size); n && *n > 0)
        lines.push_back("桁数 = " + std::to_string(*n));
    const PropertyValue attributes = column.property("Attributes");
    if (const auto* a = std::get_if<long long>(&attributes))
        lines.push_back(std::string("NULLを許可 = ") + ((*a & adColNullable) ? "はい" : "いいえ"));
    std::string shown = "なし";
    try {
        const PropertyValue d = column.property("Default");
        if (const auto* text = std::get_if<std::string>(&d)) shown = *text;
    } catch (const ServiceError&) {
        // No default recorded: none.
    }
    lines.push_back("既定値 = " + shown);
    return lines;
}

std::string keyLineInJapanese(const CatalogObject& table, const std::string& column) {
    std::vector<std::string> roles;
    try {
        for (const CatalogObjectPtr& k : table.child("Keys")->members()) {
            const PropertyValue type = k->property("Type");
            const auto* code = std::get_if<long long>(&type);
            const auto& columns = k->child("Columns")->members();
            for (std::size_t i = 0; i < columns.size(); ++i) {
                if (columns[i]->name() != column || !code) continue;
                if (*code == adKeyPrimary)
                    roles.push_back(columns.size() == 1 ? "主キー"
                                                        : "主キー（" + std::to_string(columns.size()) +
                                                              " 列の " + std::to_string(i + 1) + " 番目）");
                else if (*code == adKeyForeign) {
                    const PropertyValue related = k->property("RelatedTable");
                    const auto* name = std::get_if<std::string>(&related);
                    roles.push_back("外部キー（表「" + (name ? *name : std::string("?")) + "」）");
                } else if (*code == adKeyUnique) {
                    roles.push_back("一意キー");
                }
            }
        }
    } catch (const ServiceError&) {
        return "キー = <取得できません>";
    }
    std::string line = "キー = ";
    for (std::size_t i = 0; i < roles.size(); ++i) line += (i ? "、" : "") + roles[i];
    return roles.empty() ? line + "なし" : line;
}

std::vector<std::string> propertyLines(const CatalogObject& o) {
    const std::string& kind = o.kind();
    auto list = [&](std::vector<std::string>& lines, const std::vector<std::string>& names) {
        auto more = ShowProperties(o, names);
        lines.insert(lines.end(), more.begin(), more.end());
    };
    auto codeText = [&](const char* name, std::string (*format)(int32_t)) {
        return guarded([&] { return format(code(o, name)); });
    };
    std::vector<std::string> lines;
    if (kind == "Catalog") {
        list(lines, {"ActiveConnection"});
    } else if (kind == "Tables" || kind == "Columns" || kind == "Indexes" || kind == "Keys" ||
               kind == "Views" || kind == "Procedures" || kind == "Users" || kind == "Groups" ||
               kind == "Parameters") {
        list(lines, {"Count"});
    } else if (kind == "Table") {
        list(lines, {"DateCreated", "DateModified", "Type"});
    } else if (kind == "Column") {
        lines.push_back("Attribute = " + ColumnAttribute(o));
        list(lines,
             {"DefinedSize", "Name", "NumericScale", "Precision", "RelatedColumn", "SortOrder"});
        lines.push_back("Type = " + ColumnType(o));
        // The same in the user's words, after the engine's own.
        const auto japanese = columnLinesInJapanese(o);
        lines.insert(lines.end(), japanese.begin(), japanese.end());
    } else if (kind == "Index") {
        list(lines, {"Clustered"});
        lines.push_back("IndexNulls = " + IndexNulls(o));
        list(lines, {"Name", "PrimaryKey", "Unique"});
    } else if (kind == "Key") {
        lines.push_back("DeleteRule = " + codeText("DeleteRule", RuleEnum));
        list(lines, {"Name", "RelatedTable"});
        lines.push_back("Type = " + codeText("Type", KeyTypeEnum));
        lines.push_back("UpdateRule = " + codeText("UpdateRule", RuleEnum));
    } else if (kind == "View" || kind == "Procedure") {
        list(lines, {"DateCreated", "DateModified", "Name"});
    } else if (kind == "Group" || kind == "User") {
        list(lines, {"Name"});
    } else if (kind == "Command") {
        list(lines, {"Name", "CommandText", "CommandTimeout", "Prepared", "State"});
        lines.push_back("CommandType = " + codeText("CommandType", CommandTypeEnum));
    } else if (kind == "Parameter") {
        list(lines,
             {"Name", "Type", "Attributes", "Direction", "NumericScale", "Precision", "Size"});
    }
    return lines;
}

}  // namespace quorix
