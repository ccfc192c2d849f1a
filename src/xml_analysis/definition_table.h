#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/db/record_set.h"
#include "xml_analysis/evidence.h"

namespace quorix {

/// Names of the definition table's fields, in their order.
namespace Field {
inline constexpr const char* kKey = "キー";
inline constexpr const char* kGenerate = "生成";
inline constexpr const char* kLevel = "レベル";
inline constexpr const char* kKind = "タイプ";
inline constexpr const char* kTagName = "タグ名";
inline constexpr const char* kColumnName = "列名";
inline constexpr const char* kType = "型";
inline constexpr const char* kSize = "桁数";
inline constexpr const char* kTableName = "表名";
}  // namespace Field

/// Generate flag values.
namespace Flag {
inline constexpr const char* kGenerate = "○";
inline constexpr const char* kExclude = "×";
inline constexpr const char* kRowTag = "－";
}  // namespace Flag

/// The line kind every line the program creates holds.
inline constexpr const char* kNodeKind = "ノード";
/// The line kind of an attribute's line; its tag name is "@" and the attribute's name.
inline constexpr const char* kAttributeKind = "属性";

/// One column of the definition grid: its field, width in twips (0 = hidden) and lock.
struct GridColumn {
    const char* field;
    int width;
    bool locked;
};

inline constexpr std::array<GridColumn, 9> kGridColumns = {{
    {Field::kKey, 400, false},  // "親": the table this line begins is keyed by the one above
    {Field::kGenerate, 400, true},
    {Field::kLevel, 0, false},
    {Field::kKind, 0, false},
    {Field::kTagName, 1500, true},
    {Field::kColumnName, 1500, false},
    {Field::kType, 1300, false},
    {Field::kSize, 800, false},
    {Field::kTableName, 1500, false},
}};

/// What a line of the definition knows beside its nine fields: the evidence of the values of
/// its element, and the type and size the program last gave it (so that a hand edit shows).
struct LineInfo : RecordAttachment {
    std::shared_ptr<const Evidence> evidence;  ///< null for a line of the user's
    std::string givenType;
    std::optional<std::string> givenSize;
    long long documentRows = 0;  ///< rows of the document the evidence comes from
    /// Where the line's values are in each row: element names from the row element, joined
    /// by "/" (empty for the row element itself). Null for a line added by hand.
    std::optional<std::string> source;
    /// The line came from a document, but where is not known (an older definition file in
    /// which two lines would share the path their tag names give).
    bool sourceUnknown = false;
};

/// The evidence of every line as a table: "タグ名" and the figures, one row per line that has
/// evidence.
std::vector<std::vector<std::string>> evidenceTable(const RecordSet& records);

/// The line's information, or null.
const LineInfo* lineInfo(const RecordSet& records, int row);

/// The column definition table: one line per element path, on a standalone record set with
/// the nine fields of fixed CP932 widths.
class DefinitionTable {
public:
    DefinitionTable();

    RecordSet& records() { return m_records; }
    const RecordSet& records() const { return m_records; }

private:
    RecordSet m_records;
};

/// The indentation of a tag name at @p level: @p indentUnit repeated level times.
std::string indentation(const std::string& indentUnit, int level);

}  // namespace quorix
