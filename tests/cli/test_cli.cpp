#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli.h"
#include "definition_file/definition_file.h"
#include "main_window/fake_main_port.h"
#include "main_window/main_window_core.h"
#include "services/db/catalog.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runCli(args, out, err);
    return {status, out.str(), err.str()};
}

std::string newDatabase(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    Catalog().create("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + path);
    return path;
}

const char* kExamples[] = {"orders.xml", "products.xml", "staff_sjis.xml"};

}  // namespace

TEST(Cli, DoesWhatTheWindowDoes) {
    TempDir dir;
    for (const char* example : kExamples) {
        SCOPED_TRACE(example);
        const std::string doc = std::string(QUORIX_EXAMPLES) + "/" + example;
        // The window: open the document, name the first table, show the SQL, create.
        const std::string windowDb = newDatabase(dir, std::string("w_") + example + ".mdb");
        test::FakeMainPort port;
        port.dialog = test::connectTo(windowDb);
        MainWindowCore core(port);
        ASSERT_EQ(core.Form_Load(), MainWindowCore::StartResult::Started);
        port.files = {doc};
        core.cmdOpen_Click();
        RecordSet& rs = core.definitionTable()->records();
        const std::string opened = formatDefinition(*core.definitionTable(), {});

        const CliRun analysed = cli({"analyse", doc});
        ASSERT_EQ(analysed.status, 0) << analysed.err;
        EXPECT_EQ(analysed.out, opened);

        // Every level-changing line gets a table name, in the window and in the file.
        int previous = 0;
        for (int r = 1; r < rs.recordCount(); ++r) {
            const int level = std::get<int32_t>(rs.valueAt(r, 2));
            if (level > previous) {
                rs.setCurrentRow(r);
                rs.setValue("表名", "T" + std::to_string(r));
            }
            previous = level;
        }
        const std::string qxd = dir.file(std::string(example) + ".qxd");
        ASSERT_EQ(saveDefinitionFile(qxd, *core.definitionTable(), {}), "");
        core.mnuShowSql_Click();
        ASSERT_EQ(port.shownSql.size(), 1u) << port.statusText;
        const CliRun sql = cli({"sql", qxd});
        ASSERT_EQ(sql.status, 0) << sql.err;
        EXPECT_EQ(sql.out, port.shownSql[0]);

        core.cmdCreate_Click();
        const std::string cliDb = newDatabase(dir, std::string("c_") + example + ".mdb");
        const CliRun created = cli({"create", qxd, "--data-source", cliDb});
        ASSERT_EQ(created.status, 0) << created.err;
        std::string windowStatus = port.statusText;
        std::erase(windowStatus, '\r');
        EXPECT_EQ(created.out, windowStatus + "\n");
        EXPECT_EQ(sqlite3Cli(cliDb, ".schema"), sqlite3Cli(windowDb, ".schema"));
    }
}

TEST(Cli, BadInputGetsAnExitStatusAndOneLine) {
    TempDir dir;
    const std::string db = newDatabase(dir, "db.mdb");
    const std::string doc = std::string(QUORIX_EXAMPLES) + "/orders.xml";
    const std::string qxd = dir.file("orders.qxd");
    ASSERT_EQ(cli({"analyse", doc, "-o", qxd}).status, 0);
    const std::string named = dir.file("named.qxd");
    {
        auto loaded = loadDefinitionFile(qxd);
        DefinitionFile& f = std::get<DefinitionFile>(loaded);
        f.table->records().setCurrentRow(1);
        f.table->records().setValue("表名", std::string("注文"));
        f.table->records().setCurrentRow(5);
        f.table->records().setValue("表名", std::string("品目"));
        f.table->records().setCurrentRow(6);
        f.table->records().setValue("表名", std::string("明細"));
        ASSERT_EQ(saveDefinitionFile(named, *f.table, f.context), "");
    }
    sqlite3Cli(db, "CREATE TABLE \"明細\"(x INT)");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // the start of the message
    };
    const Case cases[] = {
        {{}, 2, "使い方:"},
        {{"frobnicate", doc}, 2, "quorix-cli: コマンド「frobnicate」はありません。"},
        {{"analyse", doc, "--colour", "x"},
         2,
         "quorix-cli: オプション「--colour」は「analyse」では使用できません。"},
        {{"analyse"}, 2, "quorix-cli: 「analyse」にはファイルを指定してください。"},
        {{"analyse", doc, "--db-type", "oracle"},
         2,
         "quorix-cli: データベースタイプ「oracle」はサポートされていません。"},
        {{"analyse", dir.file("missing.xml")}, 1, "quorix-cli: ファイルが見つかりません。"},
        {{"analyse", doc, "--row", "NOPE"},
         1,
         "quorix-cli: XML文書内に行タグ「NOPE」がありません。"},
        {{"sql", dir.file("missing.qxd")},
         1,
         "quorix-cli: 定義ファイル「" + dir.file("missing.qxd") + "」を読み込めません。"},
        {{"sql", qxd}, 1, "quorix-cli: 表名を入力してください。（2行目の定義）"},
        {{"create", named}, 2, "quorix-cli: 「create」には --data-source を指定してください。"},
        {{"create", named, "--data-source", dir.file("none.mdb")},
         1,
         "quorix-cli: データベースは開けません。"},
        // One table exists: nothing at all is created.
        {{"create", named, "--data-source", db}, 1, "quorix-cli: "},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
        if (c.status == 1) {
            EXPECT_GE(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        }
    }
    EXPECT_EQ(sqlite3Cli(db, ".tables"), "明細\n");
    const CliRun last = cli({"create", named, "--data-source", db});
    EXPECT_NE(last.err.find("全ての処理は元の状態に戻されました。"), std::string::npos);
}

TEST(Cli, EvidenceAndProposals) {
    TempDir dir;
    const std::string doc = dir.write("d.xml",
                                      "<ROWSET><ROW><ID>1</ID><NAME>ｶﾅ漢</NAME></ROW>"
                                      "<ROW><ID>20</ID></ROW></ROWSET>");
    const CliRun evidence = cli({"analyse", doc, "--evidence"});
    ASSERT_EQ(evidence.status, 0) << evidence.err;
    EXPECT_EQ(evidence.out.substr(0, evidence.out.find('\n')),
              "タグ名\t出現行\t出現回数\t最長(バイト)\t最長(文字)\t空\t整数\t最小\t最大\t"
              "先頭0\t小数\t整数部桁\t小数部桁\t真偽\t日付\t日時\t日時(TZ)\tテキスト");
    EXPECT_NE(evidence.out.find("\n･･ID\t2\t2\t2\t2\t0\t2\t1\t20\t"), std::string::npos)
        << evidence.out;
    EXPECT_NE(evidence.out.find("\n･･NAME\t1\t1\t4\t3\t"), std::string::npos) << evidence.out;

    const CliRun proposed = cli({"analyse", doc, "--propose"});
    ASSERT_EQ(proposed.status, 0) << proposed.err;
    auto parsed = parseDefinition(proposed.out);
    auto& file = std::get<DefinitionFile>(parsed);
    RecordSet& rs = file.table->records();
    rs.setCurrentRow(1);
    EXPECT_EQ(rs.text("型"), "数値型");
    rs.setCurrentRow(2);
    EXPECT_EQ(rs.text("型") + "(" + rs.text("桁数") + ")", "ﾃｷｽﾄ型(4)");
    // The file keeps the evidence.
    ASSERT_TRUE(lineInfo(rs, 2) && lineInfo(rs, 2)->evidence);
    EXPECT_EQ(lineInfo(rs, 2)->evidence->longestBytes, 4u);
}

TEST(Cli, CreatesOnAPostgreSQLServerToo) {
    TempDir dir;
    test::PostgresServer& server = test::PostgresServer::instance();
    server.freshDatabase("quorix_cli");
    const std::string qxd = dir.file("orders.qxd");
    ASSERT_EQ(cli({"analyse", std::string(QUORIX_EXAMPLES) + "/orders.xml", "--db-type",
                   "postgresql", "--propose", "-o", qxd})
                  .status,
              0);
    auto loaded = loadDefinitionFile(qxd);
    DefinitionFile& f = std::get<DefinitionFile>(loaded);
    for (const auto& [row, name] : {std::pair{1, "注文"}, {5, "品目"}, {6, "明細"}}) {
        f.table->records().setCurrentRow(row);
        f.table->records().setValue("表名", std::string(name));
    }
    ASSERT_EQ(saveDefinitionFile(qxd, *f.table, f.context), "");
    const CliRun sql = cli({"sql", qxd});
    EXPECT_NE(sql.out.find("CREATE TABLE \"注文\" (\"ORDER_NO\" integer"), std::string::npos)
        << sql.out;
    const CliRun created =
        cli({"create", qxd, "--data-source", server.dataSource("quorix_cli")});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(server.psql("quorix_cli", "SELECT string_agg(tablename, ',' ORDER BY tablename) "
                                        "FROM pg_tables WHERE schemaname = 'public'"),
              "品目,明細,注文\n");
}
