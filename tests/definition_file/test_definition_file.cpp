#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
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

std::unique_ptr<DefinitionTable> analysed(const std::string& path, bool attributes = false) {
    test::RecordingPort<> port;
    auto tmpl = ReadStructureTemplate(path, "ROWSET", "ROW", port, {}, true, attributes);
    EXPECT_TRUE(tmpl) << port.statusText;
    return FillDefinitionTable(
        *tmpl, [](const std::string& t) { return DBDatatype("access", t); }, "･･", "ﾃｷｽﾄ型");
}

}  // namespace

TEST(DefinitionFile, SavedAndOpenedAgainFieldByField) {
    TempDir dir;
    // A file with attribute lines is of the newer version; one without stays as it was.
    const std::string attributes =
        dir.write("attributes.xml", "<ROWSET><ROW id='1'><P u='x'>2</P></ROW></ROWSET>");
    // Dates written with slashes keep that figure too.
    const std::string slashes = dir.write(
        "slashes.xml", "<ROWSET><ROW><D>2026/11/02</D><E>x</E></ROW><ROW><D>2026-1-1</D></ROW></ROWSET>");
    for (const std::string example : {"orders.xml", "products.xml", "staff_sjis.xml", "", "/"}) {
        SCOPED_TRACE(example);
        auto table = example.empty()  ? analysed(attributes, true)
                     : example == "/" ? analysed(slashes)
                                      : analysed(std::string(QUORIX_EXAMPLES) + "/" + example);
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
        EXPECT_EQ(test::readFile(path).substr(0, 21),
                  example.empty() ? "#quorix-definition\t4\n" : "#quorix-definition\t3\n");
        if (example == "/") {
            EXPECT_EQ(lineInfo(file->table->records(), 1)->evidence->slashDates, 1);
        }
        // The evidence and what the program typed come back with their lines.
        for (int row = 0; row < rs.recordCount(); ++row) {
            const LineInfo* a = lineInfo(rs, row);
            const LineInfo* b = lineInfo(file->table->records(), row);
            ASSERT_EQ(!a, !b) << row;
            if (!a) continue;
            EXPECT_EQ(a->givenType, b->givenType);
            EXPECT_EQ(a->givenSize, b->givenSize);
            EXPECT_EQ(a->documentRows, b->documentRows);
            EXPECT_EQ(a->source, b->source);
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
        {"#quorix-definition\t5\n",
         "1行目: 定義ファイルの版「5」はこのプログラムより新しいため読み込めません。"},
        {head + line + "\n#line-info\t2\t1\tx\t\\N",
         "7行目: 「#line-info」の項目の数が正しくありません。"},
        {"#quorix-definition\tx\n", "1行目: 定義ファイルの版「x」が正しくありません。"},
        {"#quorix-definition\t1\n#rowset\tR\n", "3行目: 「#row」の行がありません。"},
        {head + "x\tx\t1\n", "6行目: 項目の数が9ではありません（3個）。"},
        {head + "x\tx\t1\tx\t" + std::string(201, 'a') + "\t\\N\tx\t\\N\t\\N\n",
         "6行目: 「タグ名」に入力できるのは200バイトまでです（入力は201バイト）。"},
        {head + "x\tx\tone\tx\tx\t\\N\tx\t\\N\t\\N\n",
         "6行目: 「レベル」の値「one」は整数ではありません。"},
        {head + line + "\n" + "x\tx\t1\tx\t\xff\t\\N\tx\t\\N\t\\N\n",
         "7行目: UTF-8として正しくない文字があります。"},
        {head + "x\tx\t1\tx\tx\t\\q\tx\t\\N\t\\N\n", "6行目: 「列名」の値が正しくありません。"},
        // Strict UTF-8: surrogates, overlong forms, lead bytes past U+10FFFF; and no NUL.
        {head + "x\tx\t1\tx\t\xED\xA0\x80\t\\N\tx\t\\N\t\\N\n", "6行目: UTF-8として正しくない"},
        {head + "x\tx\t1\tx\t\xE0\x80\xAF\t\\N\tx\t\\N\t\\N\n", "6行目: UTF-8として正しくない"},
        {head + "x\tx\t1\tx\t\xF5\x80\x80\x80\t\\N\tx\t\\N\t\\N\n", "6行目: UTF-8として正しくない"},
        {head + "x\tx\t1\tx\ta" + std::string(1, '\0') + "b\t\\N\tx\t\\N\t\\N\n",
         "6行目: NUL文字があります。"},
        {head + line + "\n#line-info\t2" + std::string(23, '\t'),
         "7行目: 「#line-info」の行番号「2」がありません。"},
        // An echoed value is cut to 200 characters.
        {"#quorix-definition\t" + std::string(100000, 'v') + "\n",
         "1行目: 定義ファイルの版「" + std::string(200, 'v') + "…」が正しくありません。"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        auto result = parseDefinition(text);
        ASSERT_TRUE(std::holds_alternative<std::string>(result));
        EXPECT_EQ(std::get<std::string>(result).rfind(message, 0), 0u)
            << std::get<std::string>(result);
    }
    EXPECT_TRUE(std::holds_alternative<DefinitionFile>(parseDefinition(head + line + "\n")));
    // A byte order mark, as editors on Windows write it, is read past.
    EXPECT_TRUE(
        std::holds_alternative<DefinitionFile>(parseDefinition("\xEF\xBB\xBF" + head + line)));
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
    // A write that fails half way (a file size limit stands in for a full disk): the old file
    // stays, with its permissions, and no temporary file is left.
    ASSERT_EQ(chmod(path.c_str(), 0604), 0);
    table.records().addNew();
    table.records().setValue(Field::kTagName, std::string(100, 'x'));
    {
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit small = before;
        small.rlim_cur = 64;
        signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const std::string failed = saveDefinitionFile(path, table, {});
        setrlimit(RLIMIT_FSIZE, &before);
        signal(SIGXFSZ, SIG_DFL);
        EXPECT_EQ(failed.rfind("定義ファイル「" + path + "」を保存できません。", 0), 0u) << failed;
    }
    EXPECT_EQ(test::readFile(path), "old content");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
    ASSERT_EQ(saveDefinitionFile(path, table, {}), "");
    std::ifstream in(path);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "#quorix-definition\t3");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);  // no temporary file left behind
}

TEST(DefinitionFile, FilesOfEveryVersionOpenAndSaveAlike) {
    // Files as earlier versions of the program wrote them, kept literally: a change made alike
    // in writing and reading must not break what people have saved.
    const std::string v1 =
        "#quorix-definition\t1\n#rowset\tR\n#row\tW\n#db-type\taccess\n"
        "キー\t生成\tレベル\tタイプ\tタグ名\t列名\t型\t桁数\t表名\n"
        "\\N\t○\t1\tノード\t･･A\t\tﾃｷｽﾄ型\t\\N\tT\n";
    const std::string names = "キー\t生成\tレベル\tタイプ\tタグ名\t列名\t型\t桁数\t表名\n";
    const std::string v2 =
        "#quorix-definition\t2\n#rowset\tR\\\\S\n#row\tW\n#db-type\tpostgresql\n" + names +
        "\\N\t－\t0\tノード\tW\t\tvarchar\t\\N\t\n"
        "\\N\t○\t1\tノード\t･･A\t\\#c\ta\\tb\t12\tT\n"
        "#line-info\t2\t3\tnumeric\t\\N\t3\t4\t4\t6\t5\t0\t1\t3\t0\t0\t0\t0\t0\t-7\t"
        "99\t1\t1\t0\t2147483648\t4294967296\n";
    auto one = parseDefinition(v1);
    auto* file1 = std::get_if<DefinitionFile>(&one);
    ASSERT_TRUE(file1) << std::get<std::string>(one);
    EXPECT_EQ(file1->context.rowset, "R");
    EXPECT_EQ(dump(*file1->table),
              (std::vector<std::string>{"<null>|'○'|1|'ノード'|'･･A'|''|'ﾃｷｽﾄ型'|<null>|'T'|"}));
    EXPECT_EQ(lineInfo(file1->table->records(), 0), nullptr);

    auto two = parseDefinition(v2);
    auto* file2 = std::get_if<DefinitionFile>(&two);
    ASSERT_TRUE(file2) << std::get<std::string>(two);
    EXPECT_EQ(file2->context.rowset, "R\\S");
    EXPECT_EQ(file2->context.dbType, "postgresql");
    EXPECT_EQ(dump(*file2->table)[1], "<null>|'○'|1|'ノード'|'･･A'|'#c'|'a\tb'|'12'|'T'|");
    const LineInfo* info = lineInfo(file2->table->records(), 1);
    ASSERT_TRUE(info && info->evidence);
    EXPECT_EQ(info->documentRows, 3);
    EXPECT_EQ(info->givenType, "numeric");
    EXPECT_EQ(info->evidence->minInteger, -7);
    EXPECT_EQ(info->evidence->integerDigits, 2147483648LL);
    EXPECT_EQ(info->evidence->fractionDigits, 4294967296LL);
    // Saved again, the file is the same byte for byte (numbers keep their width), in the
    // current version, with the line's source read from its tag name.
    std::string v3 = v2;
    v3.replace(v3.find("\t2\n"), 3, "\t3\n");
    EXPECT_EQ(formatDefinition(*file2->table, file2->context), v3 + "#line-source\t2\tA\n");
}

TEST(DefinitionFile, SavesKeepLinksOwnersAndModesAndLeaveNoTemporaries) {
    TempDir dir;
    DefinitionTable table;
    const std::string real = dir.write("real.qxd", "old");
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(chown(real.c_str(), 1, 2), 0);  // the tests run as root
    const std::string link = dir.file("link.qxd");
    std::filesystem::create_symlink("real.qxd", link);
    // What a killed save left (a process that no longer exists), and a live one's.
    const std::string stale = dir.write(".real.qxd.quorix-999999999-abcdef", "x");
    const std::string live =
        dir.write(".real.qxd.quorix-" + std::to_string(getpid()) + "-abcdef", "x");
    ASSERT_EQ(saveDefinitionFile(link, table, {}), "");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(real), formatDefinition(table, {}));
    struct stat st {};
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, 2u);
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(live));
    // A new file takes 0666 less the umask.
    const mode_t mask = umask(027);
    ASSERT_EQ(saveDefinitionFile(dir.file("new.qxd"), table, {}), "");
    umask(mask);
    ASSERT_EQ(stat(dir.file("new.qxd").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
