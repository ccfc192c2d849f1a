#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "definition_file/definition_file.h"
#include "generation/column_types.h"
#include "support/fake_port.h"
#include "support/test_support.h"
#include "xml_analysis/xml_loading.h"

using namespace quorix;
using quorix::test::TempDir;

namespace {

// Every field of every line, with nulls told apart from empty texts.
std::vector<std::string> dump(const DefinitionTable& table) {
    std::vector<std::string> out;
    const RecordSet& rs = table.records();
    for (int row = 0; row < rs.recordCount(); ++row) {
        std::string line;
        for (int f = 0; f < static_cast<int>(rs.fields().size()); ++f) {
            const FieldValue& v = rs.valueAt(row, f);
            if (std::holds_alternative<std::monostate>(v))
                line += "<null>";
            else if (const auto* n = std::get_if<int32_t>(&v))
                line += std::to_string(*n);
            else
                line += "'" + std::get<std::string>(v) + "'";
            line += "|";
        }
        out.push_back(line);
    }
    return out;
}

std::unique_ptr<DefinitionTable> analysed(const std::string& path) {
    test::RecordingPort<> port;
    auto tmpl = ReadStructureTemplate(path, "ROWSET", "ROW", port);
    EXPECT_TRUE(tmpl) << port.statusText;
    return FillDefinitionTable(
        *tmpl, [](const std::string& t) { return DBDatatype("access", t); }, "･･", "ﾃｷｽﾄ型");
}

}  // namespace

TEST(DefinitionFile, SavedAndOpenedAgainFieldByField) {
    TempDir dir;
    for (const char* example : {"orders.xml", "products.xml", "staff_sjis.xml"}) {
        SCOPED_TRACE(example);
        auto table = analysed(std::string(QUORIX_EXAMPLES) + "/" + example);
        RecordSet& rs = table->records();
        // Hand edits: an empty text, a null, texts with the characters the format escapes.
        rs.setCurrentRow(1);
        rs.setValue(Field::kColumnName, std::string());
        rs.setValue(Field::kSize, FieldValue{});
        rs.setValue(Field::kTableName, std::string("a\tb\\c"));
        rs.setValue(Field::kColumnName, std::string("#x"));
        rs.setCurrentRow(2);
        rs.setValue(Field::kSize, std::string("10"));
        const DefinitionContext context{"DATA", "REC", "access"};
        const std::string path = dir.file("def.qxd");
        ASSERT_EQ(saveDefinitionFile(path, *table, context), "");
        auto loaded = loadDefinitionFile(path);
        auto* file = std::get_if<DefinitionFile>(&loaded);
        ASSERT_TRUE(file) << std::get<std::string>(loaded);
        EXPECT_EQ(dump(*file->table), dump(*table));
        // The evidence and what the program typed come back with their lines.
        for (int row = 0; row < rs.recordCount(); ++row) {
            const LineInfo* a = lineInfo(rs, row);
            const LineInfo* b = lineInfo(file->table->records(), row);
            ASSERT_EQ(!a, !b) << row;
            if (!a) continue;
            EXPECT_EQ(a->givenType, b->givenType);
            EXPECT_EQ(a->givenSize, b->givenSize);
            EXPECT_EQ(a->documentRows, b->documentRows);
            ASSERT_EQ(!a->evidence, !b->evidence);
            if (a->evidence) {
                EXPECT_EQ(*a->evidence, *b->evidence) << row;
            }
        }
        EXPECT_EQ(file->context.rowset, "DATA");
        EXPECT_EQ(file->context.row, "REC");
        EXPECT_EQ(file->context.dbType, "access");
        EXPECT_EQ(file->table->records().absolutePosition(), 1);
    }
}

TEST(DefinitionFile, DamagedFilesNameTheirLine) {
    DefinitionTable table;
    table.records().addNew();
    for (const char* f :
         {Field::kKey, Field::kGenerate, Field::kKind, Field::kTagName, Field::kType})
        table.records().setValue(f, std::string("x"));
    table.records().setValue(Field::kLevel, 1);
    const std::string good = formatDefinition(table, {});
    const std::string head = good.substr(0, good.find("x\t"));
    const std::string line = "x\tx\t1\tx\tx\t\\N\tx\t\\N\t\\N";
    const std::pair<std::string, std::string> cases[] = {
        {"", "定義ファイルが空です。"},
        {"hello\n", "1行目: Quorixの定義ファイルではありません。"},
        {"#quorix-definition\t3\n",
         "1行目: 定義ファイルの版「3」はこのプログラムより新しいため読み込めません。"},
        {head + line + "\n#line-info\t2\t1\tx\t\\N",
         "7行目: 「#line-info」の項目の数が正しくありません。"},
        {"#quorix-definition\tx\n", "1行目: 定義ファイルの版「x」が正しくありません。"},
        {"#quorix-definition\t1\n#rowset\tR\n", "3行目: 「#row」の行がありません。"},
        {head + "x\tx\t1\n", "6行目: 項目の数が9ではありません（3個）。"},
        {head + "x\tx\t1\tx\t" + std::string(201, 'a') + "\t\\N\tx\t\\N\t\\N\n", "6行目: "},
        {head + "x\tx\tone\tx\tx\t\\N\tx\t\\N\t\\N\n",
         "6行目: 「レベル」の値「one」は整数ではありません。"},
        {head + line + "\n" + "x\tx\t1\tx\t\xff\t\\N\tx\t\\N\t\\N\n",
         "7行目: UTF-8として正しくない文字があります。"},
        {head + "x\tx\t1\tx\tx\t\\q\tx\t\\N\t\\N\n", "6行目: 「列名」の値が正しくありません。"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        auto result = parseDefinition(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(result));
        EXPECT_EQ(std::get<std::string>(result).rfind(message, 0), 0u)
            << std::get<std::string>(result);
    }
    EXPECT_TRUE(std::holds_alternative<DefinitionFile>(parseDefinition(head + line + "\n")));
}

TEST(DefinitionFile, AFailedSaveLeavesTheOldFile) {
    TempDir dir;
    const std::string path = dir.write("old.qxd", "old content");
    DefinitionTable table;
    // A folder that cannot take the temporary file: nothing is written, the old file stays.
    const std::string folder = dir.file("ro");
    std::filesystem::create_directory(folder);
    const std::string message = saveDefinitionFile(folder + "/missing/x.qxd", table, {});
    EXPECT_EQ(message.rfind("定義ファイル「" + folder + "/missing/x.qxd」を保存できません。", 0),
              0u)
        << message;
    ASSERT_EQ(saveDefinitionFile(path, table, {}), "");
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "#quorix-definition\t2");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);  // no temporary file left behind
}

TEST(DefinitionFile, VersionOneFilesStillOpen) {
    const std::string v1 =
        "#quorix-definition\t1\n#rowset\tR\n#row\tW\n#db-type\taccess\n"
        "キー\t生成\tレベル\tタイプ\tタグ名\t列名\t型\t桁数\t表名\n"
        "\\N\t○\t1\tノード\t･･A\t\tﾃｷｽﾄ型\t\\N\tT\n";
    auto result = parseDefinition(v1);
    auto* file = std::get_if<DefinitionFile>(&result);
    ASSERT_TRUE(file) << std::get<std::string>(result);
    EXPECT_EQ(file->context.rowset, "R");
    EXPECT_EQ(file->table->records().recordCount(), 1);
    EXPECT_EQ(lineInfo(file->table->records(), 0), nullptr);
}
