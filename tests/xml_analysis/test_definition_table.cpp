#include <gtest/gtest.h>

#include "services/db/engine/data_type.h"
#include "xml_analysis/definition_table.h"
#include "xml_analysis/grid_geometry.h"

using namespace quorix;

TEST(DefinitionTable, FieldsKindsWidthsAndNullability) {
    DefinitionTable table;
    const auto& f = table.records().fields();
    ASSERT_EQ(f.size(), 9u);
    struct Expect {
        const char* name;
        int32_t type, size;
        bool nullable;
    };
    const Expect expected[] = {{"キー", adChar, 4, false},      {"生成", adChar, 2, false},
                               {"レベル", adInteger, 4, false}, {"タイプ", adChar, 10, false},
                               {"タグ名", adChar, 200, false},  {"列名", adChar, 20, true},
                               {"型", adChar, 20, false},       {"桁数", adChar, 10, true},
                               {"表名", adChar, 20, true}};
    for (std::size_t i = 0; i < f.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(f[i].name, expected[i].name);
        EXPECT_EQ(f[i].name, kGridColumns[i].field);
        EXPECT_EQ(f[i].type, expected[i].type);
        if (f[i].type == adChar) {
            EXPECT_EQ(f[i].definedSize, expected[i].size);
        }
        EXPECT_EQ(f[i].attributes == adFldIsNullable, expected[i].nullable);
    }
    // Every type name the chooser offers fits "型".
    table.records().addNew();
    for (const char* name : {"日付/時刻型", "ｵｰﾄﾅﾝﾊﾞｰ型", "Smalldatetime"})
        EXPECT_NO_THROW(table.records().setValue(Field::kType, std::string(name))) << name;
    EXPECT_EQ(indentation("･･", 3), "･･････");
    EXPECT_EQ(indentation("･･", 0), "");
}

TEST(DefinitionTable, InitialEditorLayout) {
    GridGeometry g;
    g.left = 240;
    g.top = 1440;
    g.columnLefts = {0, 240, 0, 0, 640, 2140, 3640, 4940, 5740};
    g.columnWidths = {0, 400, 0, 0, 1500, 1500, 1300, 800, 1500};
    g.firstRowTop = 270;
    const InitialEditorLayout l = initialEditorLayout(g, 330);
    EXPECT_EQ(l.rowHeight, 308);
    EXPECT_EQ(l.generateButton, (TwipsRect{240 + 240 + 11, 1440 + 270 + 11, 378, 319}));
    EXPECT_EQ(l.typeChooser, (TwipsRect{240 + 3640 + 11, 1440 + 270 + 11, 1278, 330}));
}
