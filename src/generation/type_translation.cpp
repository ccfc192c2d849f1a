#include "generation/type_translation.h"

#include <algorithm>
#include <memory>

#include "generation/column_types.h"
#include "services/text/text.h"

namespace quorix {

namespace {

// What a type holds, whatever the vocabulary calls it.
enum class Kind {
    Text,
    FixedText,
    LongText,
    Integer,
    BigInteger,
    Decimal,
    Currency,
    Double,
    Boolean,
    Date,
    DateTime,
    DateTimeZone,
    Binary,
    AutoNumber,
};

struct Entry {
    const char* dbType;
    const char* name;
    Kind kind;
};

// Per vocabulary, its names and what each holds. A name's first entry is what it holds when
// it is translated; a kind's first entry is the name it gets. A kind missing from a
// vocabulary has no counterpart there: no type is widened or narrowed silently.
constexpr Entry kEntries[] = {
    {"access", "ﾃｷｽﾄ型", Kind::Text},
    {"access", "ﾃｷｽﾄ型", Kind::FixedText},
    {"access", "ﾒﾓ型", Kind::LongText},
    {"access", "数値型", Kind::Integer},
    {"access", "日付/時刻型", Kind::DateTime},
    {"access", "日付/時刻型", Kind::Date},
    {"access", "通貨型", Kind::Currency},
    {"access", "ｵｰﾄﾅﾝﾊﾞｰ型", Kind::AutoNumber},
    {"access", "Yes/No型", Kind::Boolean},
    {"access", "10進型", Kind::Decimal},
    {"access", "倍精度浮動小数点型", Kind::Double},
    {"ole3.51", "ﾃｷｽﾄ型", Kind::Text},
    {"ole3.51", "ﾃｷｽﾄ型", Kind::FixedText},
    {"ole3.51", "ﾒﾓ型", Kind::LongText},
    {"ole3.51", "数値型", Kind::Integer},
    {"ole3.51", "日付/時刻型", Kind::DateTime},
    {"ole3.51", "日付/時刻型", Kind::Date},
    {"ole3.51", "通貨型", Kind::Currency},
    {"ole3.51", "Yes/No型", Kind::Boolean},
    {"ole3.51", "倍精度浮動小数点型", Kind::Double},
    {"postgresql", "varchar", Kind::Text},
    {"postgresql", "varchar", Kind::FixedText},
    {"postgresql", "text", Kind::LongText},
    {"postgresql", "integer", Kind::Integer},
    {"postgresql", "bigint", Kind::BigInteger},
    {"postgresql", "numeric", Kind::Decimal},
    {"postgresql", "numeric", Kind::Currency},
    {"postgresql", "double precision", Kind::Double},
    {"postgresql", "boolean", Kind::Boolean},
    {"postgresql", "date", Kind::Date},
    {"postgresql", "timestamp", Kind::DateTime},
    {"postgresql", "timestamptz", Kind::DateTimeZone},
    {"postgresql", "bytea", Kind::Binary},
    {"postgresql", "serial", Kind::AutoNumber},
    {"mysql", "varchar", Kind::Text},
    {"mysql", "varchar", Kind::FixedText},
    {"mysql", "text", Kind::LongText},
    {"mysql", "int", Kind::Integer},
    {"mysql", "bigint", Kind::BigInteger},
    {"mysql", "decimal", Kind::Decimal},
    {"mysql", "decimal", Kind::Currency},
    {"mysql", "double", Kind::Double},
    {"mysql", "boolean", Kind::Boolean},
    {"mysql", "date", Kind::Date},
    {"mysql", "datetime", Kind::DateTime},
    {"mysql", "timestamp", Kind::DateTimeZone},
    {"mysql", "blob", Kind::Binary},
    {"mysql", "int auto_increment", Kind::AutoNumber},
    {"oracle", "VARCHAR2", Kind::Text},
    {"oracle", "CHAR", Kind::FixedText},
    {"oracle", "CLOB", Kind::LongText},
    {"oracle", "NUMBER", Kind::Decimal},
    {"oracle", "NUMBER", Kind::Integer},
    {"oracle", "NUMBER", Kind::BigInteger},
    {"oracle", "NUMBER", Kind::Currency},
    {"oracle", "DATE", Kind::DateTime},
    {"oracle", "DATE", Kind::Date},
    {"oracle", "BLOB", Kind::Binary},
    {"sqlserver", "Varchar", Kind::Text},
    {"sqlserver", "Char", Kind::FixedText},
    {"sqlserver", "text", Kind::LongText},
    {"sqlserver", "int", Kind::Integer},
    {"sqlserver", "Smallint", Kind::Integer},
    {"sqlserver", "Tinyint", Kind::Integer},
    {"sqlserver", "Float", Kind::Double},
    {"sqlserver", "Real", Kind::Double},
    {"sqlserver", "Money", Kind::Currency},
    {"sqlserver", "Smallmoney", Kind::Currency},
    {"sqlserver", "Bit", Kind::Boolean},
    {"sqlserver", "Datetime", Kind::DateTime},
    {"sqlserver", "Datetime", Kind::Date},
    {"sqlserver", "Smalldatetime", Kind::DateTime},
    {"sqlserver", "Image", Kind::Binary},
};

bool inVocabulary(std::string_view dbType, const std::string& name) {
    const auto names = typeNamesFor(dbType);
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string fieldText(const RecordSet& rs, int row, const char* field) {
    const FieldValue& v = rs.valueAt(row, rs.fieldIndex(field));
    const auto* s = std::get_if<std::string>(&v);
    return s ? trimBlanks(*s) : std::string();
}

}  // namespace

std::string translatedType(std::string_view dbType, std::string_view typeName) {
    return translatedType({}, dbType, typeName);
}

namespace {

// What a type of @p from's vocabulary holds (any vocabulary's first reading when @p from has
// no such name); null for a name of no vocabulary.
const Entry* meaningOf(std::string_view from, const std::string& name) {
    for (const Entry& e : kEntries)
        if (from == e.dbType && name == e.name) return &e;
    for (const Entry& e : kEntries)
        if (name == e.name) return &e;
    return nullptr;
}

// What the target's type cannot hold that the source's could; empty when nothing.
std::string narrowing(Kind kind, std::string_view to, const std::string& target) {
    if (to != "mysql") return {};
    switch (kind) {
        case Kind::Date:
        case Kind::DateTime:
            return "1000年から9999年までの日時だけを持てます";
        case Kind::DateTimeZone:
            return "1970年から2038年までの日時だけを持てます";
        case Kind::LongText:
            return target == "text" ? "65,535 バイトまでの文字列だけを持てます" : "";
        case Kind::Decimal:
            return "整数部35桁、小数部30桁までの数だけを持てます";
        default:
            return {};
    }
}

}  // namespace

std::string translatedType(std::string_view from, std::string_view to, std::string_view typeName) {
    const std::string name = trimBlanks(typeName);
    const bool fromKnown = !from.empty() && inVocabulary(from, name);
    if (!fromKnown && inVocabulary(to, name)) return name;
    const Entry* source = meaningOf(fromKnown ? from : std::string_view(), name);
    if (!source) return {};
    for (const Entry& e : kEntries)
        if (to == e.dbType && e.kind == source->kind) return e.name;
    return {};
}

TypeTranslation translateTypes(DefinitionTable& table, std::string_view from, std::string_view dbType,
                               bool apply) {
    TypeTranslation result;
    RecordSet& rs = table.records();
    const int typeField = rs.fieldIndex(Field::kType);
    for (int row = 0; row < rs.recordCount(); ++row) {
        const std::string type = fieldText(rs, row, Field::kType);
        if (type.empty()) continue;
        const bool fromKnown = !from.empty() && from != dbType && inVocabulary(from, type);
        if (!fromKnown && inVocabulary(dbType, type)) continue;
        const std::string target = translatedType(fromKnown ? from : std::string_view(), dbType, type);
        std::string tag = fieldText(rs, row, Field::kTagName);
        while (tag.starts_with("･")) tag.erase(0, std::string_view("･").size());  // indent
        if (target.empty()) {
            result.unmapped.push_back(tag + "（" + type + "）");
            continue;
        }
        if (const Entry* meaning = meaningOf(fromKnown ? from : std::string_view(), type))
            if (const std::string note = narrowing(meaning->kind, dbType, target); !note.empty())
                result.narrowed.push_back(tag + "（" + type + " → " + target + ": " + note + "）");
        if (target == type) continue;
        ++result.changed;
        if (!apply) continue;
        rs.setValueAt(row, typeField, target);
        // The program's own type moves along, so that the line does not look hand-edited.
        if (const LineInfo* info = lineInfo(rs, row)) {
            auto moved = std::make_shared<LineInfo>(*info);
            if (const std::string given =
                    translatedType(fromKnown ? from : std::string_view(), dbType, info->givenType);
                !given.empty())
                moved->givenType = given;
            rs.setAttachmentAt(row, std::move(moved));
        }
    }
    return result;
}

std::string translationReport(const TypeTranslation& translation, std::string_view dbType) {
    std::string text;
    if (translation.changed > 0)
        text = std::to_string(translation.changed) + " 行の型を「" + std::string(dbType) +
               "」の型に置き換えました。";
    if (!translation.unmapped.empty()) {
        text += "「" + std::string(dbType) + "」に当たる型のない行: ";
        for (std::size_t i = 0; i < translation.unmapped.size(); ++i)
            text += (i ? "、" : "") + translation.unmapped[i];
        text += "。型を選んでください。";
    }
    if (!translation.narrowed.empty()) {
        text += "値の範囲が狭くなる行: ";
        for (std::size_t i = 0; i < translation.narrowed.size(); ++i)
            text += (i ? "、" : "") + translation.narrowed[i];
        text += "。";
    }
    return text;
}

}  // namespace quorix
