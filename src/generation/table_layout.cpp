#include "generation/table_layout.h"

#include <algorithm>
#include <array>

#include "generation/column_types.h"
#include "services/text/text.h"

namespace quorix {

namespace {

constexpr int kMaxLevel = 100;

LayoutResult stop(const std::string& message) {
    return {LayoutResult::Outcome::Stop, message, nullptr};
}

LayoutResult failure(const std::string& description) {
    return {LayoutResult::Outcome::Failure, description, nullptr};
}

// Appends @p column as the last child of @p parent and returns it.
LayoutColumn* appendChild(LayoutColumn* parent, std::unique_ptr<LayoutColumn> column) {
    column->parent = parent;
    parent->children.push_back(std::move(column));
    return parent->children.back().get();
}

bool levelIs(const LayoutColumn* c, int level) {
    return !c->isRoot() && c->level == level;
}
bool levelAbove(const LayoutColumn* c, int level) {
    return !c->isRoot() && level < c->level;
}

// The number of characters (code points) of a UTF-8 text.
std::size_t characters(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// @p s without its first @p count characters.
std::string dropCharacters(const std::string& s, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t seen = 0; i < s.size() && seen < count; ++seen) {
        ++i;
        while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    }
    return s.substr(i);
}

// The first line of the group @p c belongs to.
LayoutColumn* firstOfGroup(LayoutColumn* c) {
    const auto& siblings = c->parent->children;
    std::size_t i = 0;
    while (siblings[i].get() != c) ++i;
    while (i > 0 && !siblings[i]->newGroup) --i;
    return siblings[i].get();
}

}  // namespace

namespace {

// "@year" becomes "year" in every table where that name is free, at any depth.
void plainAttributeNames(LayoutColumn& column, std::vector<std::string> enclosing) {
    if (!column.isRoot()) enclosing.push_back(column.name);
    for (const auto& group : groupsOf(column)) {
        std::vector<std::string> names = enclosing;
        for (const auto& c : group) names.push_back(c->name);
        for (const auto& c : group) {
            if (!c->attributeName) continue;
            const std::string plain = c->name.substr(1);
            if (std::count(names.begin(), names.end(), plain) == 0) c->name = plain;
        }
    }
    for (const auto& c : column.children) plainAttributeNames(*c, enclosing);
}

}  // namespace

std::vector<std::span<const std::unique_ptr<LayoutColumn>>> groupsOf(const LayoutColumn& column) {
    std::vector<std::span<const std::unique_ptr<LayoutColumn>>> groups;
    const auto& children = column.children;
    std::size_t begin = 0;
    for (std::size_t i = 1; i <= children.size(); ++i)
        if (i == children.size() || children[i]->newGroup) {
            if (i > begin) groups.emplace_back(children.data() + begin, i - begin);
            begin = i;
        }
    return groups;
}

LayoutResult buildTableLayout(DefinitionTable& table, const std::string& dbType,
                              const std::string& indentUnit) {
    RecordSet& rs = table.records();
    auto layout = std::make_unique<LayoutDocument>();
    int currentLevel = 0;
    std::string currentTableName;
    bool needTableName = true;
    std::array<std::string, kMaxLevel + 1> tableNameByLevel;
    LayoutColumn* current = &layout->root;
    ColumnTypeSpec currentSpec;
    // The shallowest line left out since the last column: it closes every element deeper
    // than itself, so no line below it hangs under a column of theirs.
    int closedBelow = kMaxLevel + 1;

    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        const std::string flag = rs.text(Field::kGenerate);
        if (flag != Flag::kGenerate && !flag.empty()) {
            const FieldValue skipped = rs.value(Field::kLevel);
            if (const auto* l = std::get_if<int32_t>(&skipped); l && *l > 0)
                closedBelow = std::min(closedBelow, static_cast<int>(*l));
            continue;
        }

        const FieldValue levelValue = rs.value(Field::kLevel);
        const int level =
            std::holds_alternative<int32_t>(levelValue) ? std::get<int32_t>(levelValue) : 0;
        if (level < 0 || level > kMaxLevel)
            return failure("レベル「" + std::to_string(level) + "」は0から" +
                           std::to_string(kMaxLevel) + "の範囲でなければなりません。");
        // A line marked to begin with its parent table's key begins a table of its own.
        const bool parentKeyed = level > 1 && rs.text(Field::kKey) == kParentKeyMark;
        if (level > currentLevel || parentKeyed) {
            currentLevel = level;
            needTableName = true;
        } else if (level < currentLevel) {
            currentLevel = level;
            if (!tableNameByLevel[level].empty())
                currentTableName = tableNameByLevel[level];
            else
                needTableName = true;
        }

        const std::string tableName = rs.text(Field::kTableName);
        if (needTableName) {
            currentTableName = tableName;
            if (currentTableName.empty()) return stop("表名を入力してください。");
            tableNameByLevel[currentLevel] = currentTableName;
            needTableName = false;
        } else if (!tableName.empty()) {
            currentTableName = tableName;
        }

        std::string name = rs.text(Field::kColumnName);
        bool attributeName = false;
        if (flag == Flag::kGenerate && name.empty()) {
            const std::string tag = rs.text(Field::kTagName);
            name = dropCharacters(tag, static_cast<std::size_t>(level) * characters(indentUnit));
            if (name.empty()) return stop("列名を入力してください。");
            attributeName = name.size() > 1 && name[0] == '@' &&
                            rs.text(Field::kKind) == kAttributeKind;
        }

        // Every line that takes part has its type mapped, so a size that does not fit stops
        // the command even on a line without a column.
        const std::string typeName = rs.text(Field::kType);
        const std::optional<std::string> size =
            rs.isNull(Field::kSize) ? std::nullopt
                                    : std::optional<std::string>(rs.text(Field::kSize));
        std::optional<ColumnTypeSpec> spec;
        try {
            spec = MapColumnType(dbType, typeName, size);
        } catch (const ColumnTypeError& e) {
            return failure(e.what());
        }
        if (spec) currentSpec = *spec;
        if (name.empty()) continue;
        // A type name without a match is refused: no column silently takes another's type.
        if (!spec) return stop("型「" + typeName + "」は使用できません。");

        auto column = std::make_unique<LayoutColumn>();
        column->name = name;
        column->attributeName = attributeName;
        column->type = currentSpec.typeCode;
        if (!currentSpec.size.empty()) column->param = currentSpec.size;
        if (!currentTableName.empty()) column->table = currentTableName;
        column->level = level;
        if (!currentSpec.property.empty()) column->prop = currentSpec.property;
        column->typeName = typeName;
        if (const LineInfo* info = lineInfo(rs, rs.currentRow())) {
            column->source = info->source;
            column->sourceUnknown = info->sourceUnknown;
        }
        column->definitionRow = rs.currentRow();

        LayoutColumn* c = current;
        while (!c->isRoot() && c->level > closedBelow) c = c->parent;
        closedBelow = kMaxLevel + 1;
        if (parentKeyed) {
            // Under the first line of the nearest group above: the key of the table above.
            LayoutColumn* a = c;
            while (!a->isRoot() && a->level >= level) a = a->parent;
            if (a->isRoot())
                return stop("親の表のキーで結ぶ行の上に、上のレベルの行がありません。");
            column->newGroup = true;
            current = appendChild(firstOfGroup(a), std::move(column));
        } else if (levelIs(c, level)) {
            current = appendChild(c->parent, std::move(column));
        } else if (levelAbove(c, level)) {
            LayoutColumn* a = c;
            while (levelAbove(a, level)) a = a->parent;
            if (!a->isRoot() && level > a->level) {
                current = appendChild(a, std::move(column));
            } else if (a->isRoot()) {
                return stop(
                    "上位レベルのタグを生成しない場合は「設定」－「XML」の文書タグを変えてください"
                    "。");
            } else {
                current = appendChild(a->parent, std::move(column));
            }
        } else {
            current = appendChild(c, std::move(column));
        }
    }
    plainAttributeNames(layout->root, {});
    return {LayoutResult::Outcome::Done, {}, std::move(layout)};
}

}  // namespace quorix
