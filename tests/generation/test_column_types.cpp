#include <gtest/gtest.h>

#include "generation/column_types.h"
#include "generation/type_translation.h"

using namespace quorix;

TEST(TypeVocabulary, ListsAndInitialEntries) {
    EXPECT_EQ(typeNamesFor("access"),
              (std::vector<std::string>{"ﾃｷｽﾄ型", "ﾒﾓ型", "数値型", "日付/時刻型", "通貨型",
                                        "ｵｰﾄﾅﾝﾊﾞｰ型", "Yes/No型", "倍精度浮動小数点型", "10進型"}));
    EXPECT_EQ(typeNamesFor("ole3.51").size(), 7u);
    EXPECT_EQ(typeNamesFor("ole3.51")[5], "Yes/No型");
    EXPECT_EQ(typeNamesFor("oracle")[initialTypeIndex("oracle")], "VARCHAR2");
    EXPECT_EQ(typeNamesFor("sqlserver")[initialTypeIndex("sqlserver")], "Varchar");
    EXPECT_EQ(typeNamesFor("sqlserver").size(), 14u);
    EXPECT_EQ(initialTypeIndex("access"), 0);
    EXPECT_TRUE(typeNamesFor("Access").empty());
    EXPECT_EQ(initialTypeIndex("db2"), -1);
}

TEST(TypeVocabulary, DBDatatype) {
    const std::pair<const char*, const char*> cases[] = {
        {"string", "ﾃｷｽﾄ型"},
        {"int", "数値型"},
        {"fixed", "数値型"},
        {"boolean", "Yes/No型"},
        {"dateTime.tz", "日付/時刻型"},
        {"time", "日付/時刻型"},
        {"i1_byte", "数値型"},
        {"r8,float", "数値型"},
        {"ui4", "数値型"},
        {"r8", "ﾃｷｽﾄ型"},
        {"i1", "ﾃｷｽﾄ型"},
        {"float", "ﾃｷｽﾄ型"},
        {"fixed.14.4", "ﾃｷｽﾄ型"},
        {"", "ﾃｷｽﾄ型"},
        {"Int", "ﾃｷｽﾄ型"},
        {" int", "ﾃｷｽﾄ型"},
    };
    for (const auto& [xml, name] : cases) EXPECT_EQ(DBDatatype("access", xml), name) << xml;
    EXPECT_EQ(DBDatatype("ole3.51", "int"), "");
    EXPECT_EQ(DBDatatype("oracle", "string"), "");
}

TEST(TypeVocabulary, MapColumnTypeForJet) {
    using S = ColumnTypeSpec;
    const std::optional<std::string> null;
    auto txt = [](const char* s) { return std::optional<std::string>(s); };
    struct Case {
        const char* db;
        const char* name;
        std::optional<std::string> size;
        S expected;
    };
    const Case cases[] = {
        {"access", "ﾃｷｽﾄ型", txt("50"), {"202", "50", ""}},
        {"access", "ﾃｷｽﾄ型", null, {"202", "", ""}},
        {"access", "ﾃｷｽﾄ型", txt(""), {"202", "255", ""}},
        {"access", "ﾃｷｽﾄ型", txt("12        "), {"202", "12", ""}},
        {"access", "ﾃｷｽﾄ型", txt("10,2"), {"202", "10", ""}},
        {"access", "ﾃｷｽﾄ型", txt("1,000"), {"202", "1", ""}},
        {"access", "ﾃｷｽﾄ型", txt("0"), {"202", "255", ""}},
        {"access", "ﾃｷｽﾄ型", txt("-5"), {"202", "255", ""}},
        {"access", "ﾃｷｽﾄ型", txt("abc"), {"202", "255", ""}},
        {"access", "ﾃｷｽﾄ型", txt("2.5"), {"202", "2", ""}},  // halves to even
        {"access", "ﾃｷｽﾄ型", txt("3.5"), {"202", "4", ""}},
        {"access", "ﾃｷｽﾄ型", txt("0.5"), {"202", "255", ""}},
        {"access", "ﾃｷｽﾄ型", txt("32767"), {"202", "32767", ""}},
        {"access", "ﾃｷｽﾄ型", txt("1e2"), {"202", "100", ""}},
        {"access", "数値型    ", txt("50"), {"3", "", ""}},
        {"access", "日付/時刻型", null, {"7", "", ""}},
        {"ole3.51", "日付/時刻型", null, {"135", "", ""}},
        {"ole3.51", "ﾃｷｽﾄ型", txt("20"), {"200", "20", ""}},
        {"ole3.51", "ﾒﾓ型", null, {"201", "", ""}},
        {"access", "ｵｰﾄﾅﾝﾊﾞｰ型", null, {"3", "", "AutoIncrement,true"}},
        {"ole3.51", "ｵｰﾄﾅﾝﾊﾞｰ型", null, {"3", "", "AutoIncrement,true"}},
        {"access", "通貨型", null, {"6", "", ""}},
        {"access", "Yes/No型", null, {"11", "", ""}},
        {"oracle", "VARCHAR2", txt("x"), {"200", "10", ""}},
        {"oracle", "NUMBER", null, {"131", "", ""}},
        {"sqlserver", "nvarchar", null, {"200", "10", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.db) + " " + c.name + " " + c.size.value_or("<null>"));
        auto spec = MapColumnType(c.db, c.name, c.size);
        ASSERT_TRUE(spec.has_value());
        EXPECT_EQ(*spec, c.expected);
    }
}

TEST(TypeVocabulary, NamesWithoutAMatchAndSizesThatDoNotFit) {
    for (const char* name : {"", "-----", "Text", "VARCHAR2", "ﾃｷｽﾄ"})
        EXPECT_FALSE(MapColumnType("access", name, std::nullopt)) << name;
    EXPECT_FALSE(MapColumnType("sqlserver", "Varchar", std::nullopt));
    EXPECT_FALSE(MapColumnType("oracle", "BLOB", std::nullopt));
    EXPECT_FALSE(MapColumnType("mysql", "ﾃｷｽﾄ型", std::nullopt));
    EXPECT_THROW(MapColumnType("access", "ﾃｷｽﾄ型", std::string("40000")), ColumnTypeError);
    EXPECT_THROW(MapColumnType("access", "ﾃｷｽﾄ型", std::string("32767.5")), ColumnTypeError);
    EXPECT_THROW(MapColumnType("access", "ﾃｷｽﾄ型", std::string("-40000")), ColumnTypeError);
    // Only the text type takes a size, so a huge size elsewhere is ignored.
    EXPECT_NO_THROW(MapColumnType("access", "数値型", std::string("40000")));
}

TEST(TypeVocabulary, NumericTest) {
    EXPECT_EQ(parseNumber(" 1,234.5 "), 1234.5);
    EXPECT_EQ(parseNumber("-7"), -7);
    EXPECT_EQ(parseNumber("+.5"), 0.5);
    for (const char* bad : {"", " ", "abc", "1x", ",1", "1e", "--1", "1 2"})
        EXPECT_FALSE(parseNumber(bad)) << bad;
}

TEST(TypeVocabulary, PostgreSQL) {
    EXPECT_EQ(typeNamesFor("postgresql"),
              (std::vector<std::string>{"varchar", "text", "integer", "bigint", "numeric",
                                        "double precision", "boolean", "date", "timestamp",
                                        "timestamptz", "bytea", "serial"}));
    EXPECT_EQ(initialTypeIndex("postgresql"), 0);
    const std::pair<const char*, const char*> xml[] = {{"string", "varchar"},
                                                       {"number", "numeric"},
                                                       {"fixed", "numeric"},
                                                       {"int", "integer"},
                                                       {"ui4", "integer"},
                                                       {"r4", "double precision"},
                                                       {"r8,float", "double precision"},
                                                       {"boolean", "boolean"},
                                                       {"date", "date"},
                                                       {"dateTime", "timestamp"},
                                                       {"time", "timestamp"},
                                                       {"dateTime.tz", "timestamptz"},
                                                       {"time.tz", "timestamptz"},
                                                       {"uuid", "varchar"},
                                                       {"", "varchar"}};
    for (const auto& [x, name] : xml) EXPECT_EQ(DBDatatype("postgresql", x), name) << x;
    struct Case {
        const char* name;
        std::optional<std::string> size;
        ColumnTypeSpec spec;
    };
    const Case cases[] = {
        {"varchar", std::string("40"), {"202", "40", ""}},
        {"varchar", std::nullopt, {"202", "", ""}},
        {"text", std::string("40"), {"203", "", ""}},
        {"integer", {}, {"3", "", ""}},
        {"bigint", {}, {"20", "", ""}},
        {"numeric", {}, {"131", "", ""}},
        {"double precision", {}, {"5", "", ""}},
        {"boolean", {}, {"11", "", ""}},
        {"date", {}, {"133", "", ""}},
        {"timestamp", {}, {"135", "", ""}},
        {"timestamptz", {}, {"135", "", "TimeZone,true"}},
        {"bytea", {}, {"205", "", ""}},
        {"serial", {}, {"3", "", "AutoIncrement,true"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MapColumnType("postgresql", c.name, c.size), c.spec) << c.name;
    EXPECT_EQ(MapColumnType("postgresql", "ﾃｷｽﾄ型", std::nullopt), std::nullopt);
}

TEST(TypeVocabulary, TypesMoveBetweenEnginesOnlyWhereNothingIsLost) {
    const struct {
        const char* to;
        const char* from;
        const char* expected;  // "" = no counterpart
    } cases[] = {
        {"postgresql", "ﾃｷｽﾄ型", "varchar"},
        {"postgresql", "ﾒﾓ型", "text"},
        {"postgresql", "数値型", "integer"},
        {"postgresql", "日付/時刻型", "timestamp"},
        {"postgresql", "通貨型", "numeric"},
        {"postgresql", "ｵｰﾄﾅﾝﾊﾞｰ型", "serial"},
        {"postgresql", "Yes/No型", "boolean"},
        {"postgresql", "VARCHAR2", "varchar"},
        {"postgresql", "varchar", "varchar"},
        {"access", "varchar", "ﾃｷｽﾄ型"},
        {"access", "date", "日付/時刻型"},
        {"access", "serial", "ｵｰﾄﾅﾝﾊﾞｰ型"},
        {"access", "bigint", ""},
        {"access", "numeric", "10進型"},
        {"ole3.51", "numeric", ""},  // the older engine has no decimal type
        {"access", "timestamptz", ""},
        {"access", "bytea", ""},
        {"ole3.51", "serial", ""},
        {"oracle", "ﾃｷｽﾄ型", "VARCHAR2"},
        {"postgresql", "nonsense", ""},
        {"access", " text ", "ﾒﾓ型"},
        {"mysql", "ｵｰﾄﾅﾝﾊﾞｰ型", "int auto_increment"},
        {"mysql", "timestamptz", "timestamp"},
        {"mysql", "double precision", "double"},
        {"postgresql", "blob", "bytea"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(translatedType(c.to, c.from), c.expected) << c.from << " → " << c.to;
    // A name two vocabularies share is read as the source's: what it holds decides.
    const struct {
        const char* source;
        const char* to;
        const char* name;
        const char* expected;
    } shared[] = {
        {"postgresql", "mysql", "timestamp", "datetime"},
        {"mysql", "postgresql", "timestamp", "timestamptz"},
        {"postgresql", "mysql", "timestamptz", "timestamp"},
        {"postgresql", "access", "double precision", "倍精度浮動小数点型"},
        {"mysql", "access", "double", "倍精度浮動小数点型"},
        {"mysql", "mysql", "timestamp", "timestamp"},
    };
    for (const auto& c : shared)
        EXPECT_EQ(translatedType(c.source, c.to, c.name), c.expected)
            << c.source << " " << c.name << " → " << c.to;
}

TEST(TypeVocabulary, MariaDb) {
    EXPECT_EQ(typeNamesFor("mysql").size(), 12u);
    EXPECT_EQ(DBDatatype("mysql", "dateTime"), "datetime");
    EXPECT_EQ(DBDatatype("mysql", "ui4"), "bigint");  // an unsigned 32-bit value needs 64 bits
    EXPECT_EQ(MapColumnType("mysql", "varchar", std::nullopt), (ColumnTypeSpec{"202", "", ""}));
    EXPECT_EQ(MapColumnType("mysql", "varchar", std::string("30")),
              (ColumnTypeSpec{"202", "30", ""}));
    EXPECT_EQ(MapColumnType("mysql", "int auto_increment", std::nullopt),
              (ColumnTypeSpec{"3", "", "AutoIncrement,true"}));
    EXPECT_EQ(MapColumnType("mysql", "timestamp", std::nullopt),
              (ColumnTypeSpec{"135", "", "TimeZone,true"}));
    EXPECT_EQ(MapColumnType("mysql", "integer", std::nullopt), std::nullopt);
    // A decimal's "桁数" is its precision and scale, given to the SQL; a wrong one is said.
    EXPECT_EQ(MapColumnType("mysql", "decimal", std::string("10, 2")),
              (ColumnTypeSpec{"131", "10,2", ""}));
    EXPECT_EQ(MapColumnType("postgresql", "numeric", std::string("12")),
              (ColumnTypeSpec{"131", "12,0", ""}));
    EXPECT_THROW(MapColumnType("mysql", "decimal", std::string("70,2")), ColumnTypeError);
    EXPECT_THROW(MapColumnType("postgresql", "numeric", std::string("2,5")), ColumnTypeError);
}

// The grid greys a size exactly where the column is made the same whatever the size says.
TEST(TypeVocabulary, ASizeIsUsedExactlyWhereItChangesTheColumn) {
    for (const char* db : {"access", "ole3.51", "oracle", "sqlserver", "postgresql", "mysql"}) {
        for (const std::string& name : typeNamesFor(db)) {
            const auto without = MapColumnType(db, name, std::nullopt);
            const auto with = MapColumnType(db, name, std::string("7"));
            const bool changes = with.has_value() && without.has_value() && with != without;
            EXPECT_EQ(typeTakesSize(db, name), changes) << db << " " << name;
        }
    }
}
