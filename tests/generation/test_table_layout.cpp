#include <gtest/gtest.h>

#include "definition_builder.h"
#include "generation/table_layout.h"

using namespace quorix;
using quorix::test::Def;

namespace {

// The layout as "name{table,level}[children]" text.
std::string shape(const LayoutColumn& c) {
    std::string s;
    if (!c.isRoot()) s = c.name + "{" + c.table.value_or("") + "," + std::to_string(c.level) + "}";
    if (!c.children.empty()) {
        s += "[";
        for (std::size_t i = 0; i < c.children.size(); ++i)
            s += (i ? "," : "") + shape(*c.children[i]);
        s += "]";
    }
    return s;
}

struct Layout {
    LayoutResult result;
    int position = 0;
    std::string text() const { return result.layout ? shape(result.layout->root) : result.message; }
};

Layout layoutOf(const std::vector<Def>& lines, const std::string& dbType = "access") {
    DefinitionTable t;
    test::fillDefinition(t, lines);
    Layout l;
    l.result = buildTableLayout(t, dbType, "･･");
    l.position = t.records().absolutePosition();
    return l;
}

}  // namespace

TEST(TableLayout, WorkedExample) {
    const Layout l = layoutOf({{"－", 0, "ROW", ""},
                               {"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T1"},
                               {"○", 1, "b", ""},
                               {"○", 2, "c", "", "ﾃｷｽﾄ型", {}, "T2"},
                               {"○", 2, "d", ""},
                               {"○", 1, "e", ""}});
    ASSERT_EQ(l.result.outcome, LayoutResult::Outcome::Done) << l.result.message;
    EXPECT_EQ(l.text(), "[a{T1,1},b{T1,1}[c{T2,2},d{T2,2}],e{T1,1}]");
}

TEST(TableLayout, LevelsTableNamesAndColumnNames) {
    // 1, 2, 1, 2: the second descent needs a name of its own.
    Layout l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T1"},
                         {"○", 2, "b", "", "ﾃｷｽﾄ型", {}, "T2"},
                         {"○", 1, "c", ""},
                         {"○", 2, "d", ""}});
    EXPECT_EQ(l.text(), "表名を入力してください。");
    EXPECT_EQ(l.position, 4);
    // 1, 2, 2, 1: the return resumes T1.
    l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T1"},
                  {"○", 2, "b", "", "ﾃｷｽﾄ型", {}, "T2"},
                  {"○", 2, "c", ""},
                  {"○", 1, "d", ""}});
    EXPECT_EQ(l.text(), "[a{T1,1}[b{T2,2},c{T2,2}],d{T1,1}]");
    // Excluded lines change nothing; the first taking part always needs a name.
    l = layoutOf({{"×", 1, "a", "", "ﾃｷｽﾄ型", {}, "T1"}, {"○", 1, "b", ""}});
    EXPECT_EQ(l.text(), "表名を入力してください。");
    EXPECT_EQ(l.position, 2);
    // A named column, a default from the tag, a user line without a name.
    l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"},
                  {"○", 2, "deep", "", "ﾃｷｽﾄ型", {}, "U"},
                  {"", 2, "-----", ""},
                  {"", 2, "-----", "fixed"}});
    EXPECT_EQ(l.text(), "[a{T,1}[deep{U,2},fixed{U,2}]]");
    // A user line that starts a deeper level needs a table name.
    l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"}, {"", 2, "-----", ""}});
    EXPECT_EQ(l.text(), "表名を入力してください。");
    // Shallower than the top of the layout.
    l = layoutOf({{"×", 1, "a", ""},
                  {"○", 2, "b", "", "ﾃｷｽﾄ型", {}, "T"},
                  {"○", 1, "c", "", "ﾃｷｽﾄ型", {}, "T3"}});
    EXPECT_EQ(l.text(),
              "上位レベルのタグを生成しない場合は「設定」－「XML」の文書タグを変えてください。");
    EXPECT_EQ(l.position, 3);
    // A root without children.
    l = layoutOf({{"－", 0, "ROW", ""}, {"×", 1, "a", ""}});
    EXPECT_EQ(l.result.outcome, LayoutResult::Outcome::Done);
    EXPECT_EQ(l.text(), "");
}

TEST(TableLayout, ColumnNameMissingAndLevelsOutOfRange) {
    DefinitionTable t;
    test::fillDefinition(t, {{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"}});
    t.records().moveFirst();
    t.records().setValue(Field::kTagName, std::string("･･"));
    EXPECT_EQ(buildTableLayout(t, "access", "･･").message, "列名を入力してください。");

    t.records().setValue(Field::kTagName, std::string("･･a"));
    t.records().setValue(Field::kLevel, 101);
    const LayoutResult r = buildTableLayout(t, "access", "･･");
    EXPECT_EQ(r.outcome, LayoutResult::Outcome::Failure);
    EXPECT_NE(r.message.find("101"), std::string::npos);
}

TEST(TableLayout, TypesAreMappedOrRefused) {
    Layout l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", std::string("50"), "T"},
                         {"○", 1, "b", "", "ｵｰﾄﾅﾝﾊﾞｰ型"},
                         {"○", 1, "c", "", "ﾃｷｽﾄ型"}});
    ASSERT_TRUE(l.result.layout);
    const auto& cols = l.result.layout->root.children;
    EXPECT_EQ(cols[0]->type, "202");
    EXPECT_EQ(cols[0]->param, "50");
    EXPECT_EQ(cols[1]->type, "3");
    EXPECT_EQ(cols[1]->prop, "AutoIncrement,true");
    EXPECT_EQ(cols[1]->param, std::nullopt);
    EXPECT_EQ(cols[2]->param, std::nullopt);  // null size: no size at all

    for (const char* bad : {"", "-----", "Varchar", "text"}) {
        l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"}, {"○", 1, "b", "", bad}});
        EXPECT_EQ(l.result.outcome, LayoutResult::Outcome::Stop) << bad;
        EXPECT_EQ(l.text(), std::string("型「") + bad + "」は使用できません。");
        EXPECT_EQ(l.position, 2);
    }
    l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", std::string("40000"), "T"}});
    EXPECT_EQ(l.result.outcome, LayoutResult::Outcome::Failure);
    // A user line without a column name still has its size checked, but not its type name.
    l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"}, {"", 1, "-----", "", "ﾃｷｽﾄ型", "40000"}});
    EXPECT_EQ(l.result.outcome, LayoutResult::Outcome::Failure);
    l = layoutOf({{"○", 1, "a", "", "ﾃｷｽﾄ型", {}, "T"}, {"", 1, "-----", "", "", {}}});
    EXPECT_EQ(l.result.outcome, LayoutResult::Outcome::Done);
}
