#include <gtest/gtest.h>

#include "catalog/property_panel.h"

using namespace quorix;

TEST(PropertyPanel, Formatters) {
    CatalogObject column("Column", "c");
    const std::pair<long long, const char*> attributes[] = {
        {0, ""}, {1, "adColFixed"}, {2, "adColNullable"}, {3, "adColFixed Or adColNullable"}};
    for (const auto& [bits, text] : attributes) {
        column.setProperty("Attributes", bits);
        EXPECT_EQ(ColumnAttribute(column), text);
    }
    CatalogObject index("Index", "i");
    const std::pair<long long, const char*> nulls[] = {
        {0, "adIndexNullsAllow"},
        {1, "adIndexNullsDisallow"},
        {5, "adIndexNullsDisallow Or adIndexNullsIgnoreAny"},
        {7, "adIndexNullsDisallow Or adIndexNullsIgnore Or adIndexNullsIgnoreAny"}};
    for (const auto& [bits, text] : nulls) {
        index.setProperty("IndexNulls", bits);
        EXPECT_EQ(IndexNulls(index), text);
    }
    for (const auto& [code, text] :
         std::vector<std::pair<long long, const char*>>{{202, "adVarWChar"},
                                                        {0, "adEmpty"},
                                                        {135, "adDBTimeStamp"},
                                                        {8192 + 202, "<unknown>"},
                                                        {1, "<unknown>"}}) {
        column.setProperty("Type", code);
        EXPECT_EQ(ColumnType(column), text);
    }
    EXPECT_EQ(RuleEnum(3), "adRISetDefault");
    EXPECT_EQ(RuleEnum(4), "<unknown>");
    EXPECT_EQ(KeyTypeEnum(2), "adKeyForeign");
    EXPECT_EQ(CommandTypeEnum(512), "adCmdTableDirect");
    EXPECT_EQ(CommandTypeEnum(-1), "<unknown>");

    column.setProperty("Type", 202LL);
    column.setProperty("DefinedSize", 40LL);
    column.setProperty("Attributes", 2LL);
    EXPECT_EQ(columnLinesInJapanese(column),
              (std::vector<std::string>{"型 = 文字列（adVarWChar）", "桁数 = 40", "NULLを許可 = はい",
                                        "既定値 = なし"}));
    column.setProperty("Type", 20LL);
    column.setProperty("DefinedSize", 0LL);
    column.setProperty("Attributes", 0LL);
    column.setProperty("Default", std::string("0"));
    EXPECT_EQ(columnLinesInJapanese(column),
              (std::vector<std::string>{"型 = 整数（adBigInt）", "NULLを許可 = いいえ", "既定値 = 0"}));

    CatalogObject bare("Column", "x");
    EXPECT_EQ(ColumnAttribute(bare),
              "<プロパティ「Attributes」はこのデータベースでは取得できません。>");
    EXPECT_EQ(ColumnType(bare), "<プロパティ「Type」はこのデータベースでは取得できません。>");
}

TEST(PropertyPanel, LinesByKind) {
    CatalogObject key("Key", "K");
    key.setProperty("Type", 1LL);
    key.setProperty("RelatedTable", std::string());
    EXPECT_EQ(
        propertyLines(key),
        (std::vector<std::string>{
            "DeleteRule = <プロパティ「DeleteRule」はこのデータベースでは取得できません。>",
            "Name = K", "RelatedTable = ", "Type = adKeyPrimary",
            "UpdateRule = <プロパティ「UpdateRule」はこのデータベースでは取得できません。>"}));
    CatalogObject group("Group", "g");
    EXPECT_EQ(propertyLines(group), std::vector<std::string>{"Name = g"});
    CatalogObject other("Something", "s");
    EXPECT_TRUE(propertyLines(other).empty());
}
