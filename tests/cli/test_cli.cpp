#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "cli_run.h"
#include "definition_file/definition_file.h"
#include "main_window/fake_main_port.h"
#include "main_window/main_window_core.h"
#include "services/db/catalog.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::cli;
using quorix::test::CliRun;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

std::string newDatabase(const TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    Catalog().create("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + path);
    return path;
}

// Names the three tables of a definition made from orders.xml, in its file.
void nameOrderTables(const std::string& qxd) {
    auto loaded = loadDefinitionFile(qxd);
    DefinitionFile& f = std::get<DefinitionFile>(loaded);
    for (const auto& [row, name] : {std::pair{1, "注文"}, {5, "品目"}, {6, "明細"}}) {
        f.table->records().setCurrentRow(row);
        f.table->records().setValue("表名", std::string(name));
    }
    ASSERT_EQ(saveDefinitionFile(qxd, *f.table, f.context), "");
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
        int lines = 1;    // how many lines it takes (-1: not counted)
    };
    const Case cases[] = {
        {{}, 2, "使い方:", -1},
        {{"frobnicate", doc}, 2, "quorix-cli: コマンド「frobnicate」はありません。--help"},
        {{"analyze", doc}, 2, "quorix-cli: コマンド「analyze」はありません。「analyse」のことですか？"},
        {{"analyse", doc, "--colour", "x"}, 2, "quorix-cli: オプション「--colour」はありません。"},
        {{"analyse", doc, "--evidnce"}, 2, "quorix-cli: オプション「--evidnce」はありません。「--evidence」のことですか？"},
        {{"analyse", doc, "--table", "x"},
         2,
         "quorix-cli: オプション「--table」は「analyse」では使用できません。"},
        {{"analyse"}, 2, "quorix-cli: 「analyse」にはファイルを指定してください。"},
        {{"analyse", doc, "--db-type", "oracle"},
         2,
         "quorix-cli: データベースタイプ「oracle」はサポートされていません。使えるのは sqlite（access）、"
         "postgresql（postgres）、mysql（mariadb）"},
        {{"create", named, "--data-source", db, "--new-database"},  // never over an existing one
         1,
         "quorix-cli: データベースを作成できません。"},
        {{"analyse", dir.file("missing.xml")}, 2, "quorix-cli: ファイル「" + dir.file("missing.xml") + "」がありません。"},
        {{"load", named, doc, dir.file("gone.xml"), "--data-source", db},
         2,
         "quorix-cli: ファイル「" + dir.file("gone.xml") + "」がありません。"},
        {{"analyse", doc, "--row", "NOPE"},
         1,
         "quorix-cli: XML文書「" + doc +
             "」を読み込めません。XML文書内に行タグ「NOPE」がありません。"},
        {{"sql", dir.file("missing.qxd")}, 2, "quorix-cli: ファイル「" + dir.file("missing.qxd") + "」がありません。"},
        {{"sql", qxd}, 1, "quorix-cli: 表名を入力してください。（2行目の定義）"},
        {{"create", named}, 2, "quorix-cli: 「create」には --data-source を指定してください。"},
        {{"load", named}, 2, "quorix-cli: 「load」にはファイルを指定してください。"},
        {{"load", named, doc}, 2, "quorix-cli: 「load」には --data-source を指定してください。"},
        {{"create", named, "--data-source", dir.file("none.mdb")},
         2,
         "quorix-cli: データベースは開けません。",
         2},  // and how to make one: --new-database
        // One table exists: nothing at all is created.
        {{"create", named, "--data-source", db}, 1, "quorix-cli: 表「明細」は既に存在します。", 2},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
        if (c.lines >= 0) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.lines) << r.err;
        }
    }
    EXPECT_EQ(sqlite3Cli(db, ".tables"), "明細\n");
    const CliRun last = cli({"create", named, "--data-source", db});
    EXPECT_NE(last.err.find("全ての処理は元の状態に戻されました。"), std::string::npos);
}

TEST(Cli, AFailedRunLeavesNoNewDatabaseBehind) {
    TempDir dir;
    const std::string qxd = std::string(QUORIX_EXAMPLES) + "/orders.qxd";
    const std::string bad =
        dir.write("bad.xml", "<ROWSET><ROW><ORDER_NO>x</ORDER_NO></ROW></ROWSET>");
    test::PostgresServer& server = test::PostgresServer::instance();
    server.psql("postgres", "DROP DATABASE IF EXISTS quorix_made");
    const std::string file = dir.file("made.mdb");
    const std::vector<std::vector<std::string>> targets = {
        {"--data-source", file},
        {"--db-type", "postgresql", "--data-source", server.dataSource("quorix_made")}};
    for (const auto& target : targets) {
        SCOPED_TRACE(target.back());
        // Twice: the second run must not find a database the first one left.
        for (int run = 0; run < 2; ++run) {
            std::vector<std::string> args = {"load", qxd, bad, "--create", "--new-database"};
            args.insert(args.end(), target.begin(), target.end());
            const CliRun r = cli(args);
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find("新しく作成したデータベースも削除しました。"), std::string::npos)
                << r.err;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(
        server.psql("postgres", "SELECT count(*) FROM pg_database WHERE datname = 'quorix_made'"),
        "0\n");
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

TEST(Cli, ADefinitionMovesToAnotherEngineWithANote) {
    TempDir dir;
    const std::string qxd = dir.file("orders.qxd");
    ASSERT_EQ(cli({"analyse", std::string(QUORIX_EXAMPLES) + "/orders.xml", "-o", qxd}).status, 0);
    nameOrderTables(qxd);
    const CliRun moved = cli({"sql", qxd, "--db-type", "postgresql"});
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_EQ(moved.err, "quorix-cli: 注意: 11 行の型を「postgresql」の型に置き換えました。\n");
    EXPECT_NE(moved.out.find("\"ORDER_NO\" integer"), std::string::npos) << moved.out;
    EXPECT_EQ(moved.out.find("ﾃｷｽﾄ"), std::string::npos);

    // Back from PostgreSQL: a type without a counterpart is named, and the stop says where.
    const std::string pg = dir.file("pg.qxd");
    ASSERT_EQ(cli({"analyse", std::string(QUORIX_EXAMPLES) + "/orders.xml", "--db-type",
                   "postgresql", "-o", pg})
                  .status,
              0);
    nameOrderTables(pg);
    std::string text = test::readFile(pg);
    text.replace(text.find("boolean"), std::string("boolean").size(), "bytea");
    const std::string odd = dir.write("odd.qxd", text);
    const CliRun stopped = cli({"sql", odd, "--db-type", "sqlite"});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_NE(stopped.err.find("「access」に当たる型のない行: PAID（bytea）。"), std::string::npos)
        << stopped.err;
    // To MariaDB: a PostgreSQL timestamp is a datetime there, and what it cannot hold is said.
    const CliRun toMysql = cli({"sql", pg, "--db-type", "mysql"});
    ASSERT_EQ(toMysql.status, 0) << toMysql.err;
    // The names the window shows are taken as well.
    EXPECT_EQ(cli({"sql", pg, "--db-type", "mariadb"}).out, toMysql.out);
    EXPECT_EQ(cli({"sql", pg, "--db-type", "postgres"}).out, cli({"sql", pg}).out);
    EXPECT_NE(toMysql.out.find("`ORDERED_AT` datetime(6)"), std::string::npos) << toMysql.out;
    EXPECT_NE(toMysql.err.find(
                  "ORDERED_AT（timestamp → datetime: 1000年から9999年までの日時だけを持てます）"),
              std::string::npos)
        << toMysql.err;
    const CliRun shown = cli({"sql", pg, "--db-type", "sqlserver"});
    EXPECT_EQ(shown.status, 1);
    EXPECT_EQ(shown.err.find("型「"), std::string::npos) << shown.err;
}

TEST(Cli, CreatesAndLoadsOnMariaDbToo) {
    TempDir dir;
    test::MariaDbServer& server = test::MariaDbServer::instance();
    server.sql("", "DROP DATABASE IF EXISTS quorix_cli");
    const std::string qxd = std::string(QUORIX_EXAMPLES) + "/orders.qxd";
    const std::string doc = std::string(QUORIX_EXAMPLES) + "/orders.xml";
    const std::vector<std::string> target = {
        "--db-type", "mysql", "--data-source", server.dataSource("quorix_cli"), "--user", "root"};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), target.begin(), target.end());
        return cli(args);
    };
    const CliRun created = with({"create", qxd, "--new-database"});
    ASSERT_EQ(created.status, 0) << created.err;
    const CliRun loaded = with({"load", qxd, doc});
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(loaded.out, "4 行を 2 個の表に取り込みました。\n");
    EXPECT_EQ(server.sql("quorix_cli",
                         "SELECT group_concat(ORDER_NO, '/', LINE, '/', SKU, '/', "
                         "coalesce(NOTE, '-') ORDER BY LINE SEPARATOR ' ') FROM ORDER_LINES"),
              "20261201/1/P-1001/- 20261201/2/P-1002/gift wrap\n");
    EXPECT_EQ(server.sql("quorix_cli", "SELECT ORDERED_AT FROM ORDERS WHERE ORDER_NO = 20261201"),
              "2026-12-01 09:30:00.000000\n");

    // A user who may not make the staging database hears why, and nothing is created.
    server.sql("",
               "DROP DATABASE IF EXISTS quorix_ltd; CREATE DATABASE quorix_ltd;"
               "DROP USER IF EXISTS 'limited'@'localhost';"
               "CREATE USER 'limited'@'localhost' IDENTIFIED BY 'pw';"
               "GRANT ALL ON quorix_ltd.* TO 'limited'@'localhost'");
    const CliRun refused = cli({"load", qxd, doc, "--create", "--db-type", "mysql", "--data-source",
                                server.dataSource("quorix_ltd"), "--user", "limited",
                                "--password-file", dir.write("pw", "pw\n")});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("作業用のデータベース"), std::string::npos) << refused.err;
    EXPECT_EQ(server.sql("quorix_ltd", "SHOW TABLES"), "");
}

// A definition written before groups could be keyed by their parent keeps its meaning: its
// nested group hangs under the line before its wrappers, and the SQL is as it always was.
TEST(Cli, AnOlderDefinitionGivesTheSameSqlByteForByte) {
    const CliRun sql = cli({"sql", std::string(QUORIX_EXAMPLES) + "/orders.qxd"});
    ASSERT_EQ(sql.status, 0) << sql.err;
    EXPECT_EQ(sql.out,
              "BEGIN;\n"
              "CREATE TABLE \"ORDERS\" (\n"
              "    \"ORDER_NO\" INTEGER NOT NULL,\n"
              "    \"ORDERED_AT\" DATETIME,\n"
              "    \"CUSTOMER\" NVARCHAR(255),\n"
              "    \"PAID\" BIT,\n"
              "    CONSTRAINT \"ORDERS\" PRIMARY KEY (\"ORDER_NO\")\n"
              ");\n"
              "CREATE TABLE \"ORDER_LINES\" (\n"
              "    \"ORDER_NO\" INTEGER NOT NULL,\n"
              "    \"LINE\" INTEGER NOT NULL,\n"
              "    \"SKU\" NVARCHAR(255),\n"
              "    \"QTY\" INTEGER,\n"
              "    \"NOTE\" NVARCHAR(255),\n"
              "    CONSTRAINT \"ORDER_LINES\" PRIMARY KEY (\"ORDER_NO\", \"LINE\")\n"
              ");\n"
              "COMMIT;\n");
}

// A document with attributes and two repeated children per record: the definition straight
// from analyse loads as it is, on every engine, with generated keys going on across loads.
TEST(Cli, ADefinitionStraightFromAnalyseLoadsOnEveryEngine) {
    TempDir dir;
    const std::string doc = std::string(QUORIX_EXAMPLES) + "/library.xml";
    test::PostgresServer::instance().freshDatabase("quorix_library");
    test::MariaDbServer::instance().freshDatabase("quorix_library");
    const struct {
        std::string dbType, source, query;
    } engines[] = {
        {"access", dir.file("library.db"), "sqlite3"},
        {"postgresql", test::PostgresServer::instance().dataSource("quorix_library"), "psql"},
        {"mysql", test::MariaDbServer::instance().dataSource("quorix_library"), "mariadb"},
    };
    for (const auto& e : engines) {
        SCOPED_TRACE(e.dbType);
        const std::string qxd = dir.file(e.dbType + ".qxd");
        const CliRun analysed = cli({"analyse", doc, "--attributes", "--link-keys", "--name-tables",
                                     "--propose", "--db-type", e.dbType, "-o", qxd});
        ASSERT_EQ(analysed.status, 0) << analysed.err;
        EXPECT_NE(analysed.err.find("2 個の入れ子の表を親の表のキーで結びました。"),
                  std::string::npos)
            << analysed.err;
        for (int load = 0; load < 2; ++load) {
            std::vector<std::string> args = {"load", qxd, doc, "--data-source", e.source};
            if (load == 0) args.push_back("--create");
            if (load == 0 && e.dbType == "access") args.push_back("--new-database");
            if (e.dbType == "mysql") args.insert(args.end(), {"--user", "root"});
            const CliRun loaded = cli(args);
            ASSERT_EQ(loaded.status, 0) << loaded.err;
            EXPECT_EQ(loaded.out, "7 行を 3 個の表に取り込みました。\n");
        }
        std::string sql =
            "SELECT a.\"ROW_ID\", r.id, a.\"AUTHOR_ID\", a.role, a.\"NAME\" FROM \"AUTHOR\" a "
            "JOIN \"ROW\" r ON r.\"ROW_ID\" = a.\"ROW_ID\" WHERE r.\"ROW_ID\" > 2 ORDER BY 3";
        if (e.dbType == "mysql") std::replace(sql.begin(), sql.end(), '"', '`');
        const std::string got = e.dbType == "access" ? test::sqlite3Cli(e.source, sql)
                                : e.dbType == "postgresql"
                                    ? test::PostgresServer::instance().psql("quorix_library", sql)
                                    : test::MariaDbServer::instance().sql("quorix_library", sql);
        // The second load's book 1 is number 3; its authors 4 and 5; each row in its place.
        std::string expected =
            "3|B-1001|4|著|佐藤 花子\n3|B-1001|5|監修|鈴木 一郎\n4|B-1002|6|author|Jane Doe\n";
        if (e.dbType == "mysql") std::replace(expected.begin(), expected.end(), '|', '\t');
        EXPECT_EQ(got, expected);
    }
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
    nameOrderTables(qxd);
    const CliRun sql = cli({"sql", qxd});
    EXPECT_NE(sql.out.find("CREATE TABLE \"注文\" (\n    \"ORDER_NO\" integer,\n"),
              std::string::npos)
        << sql.out;
    const CliRun created = cli({"create", qxd, "--data-source", server.dataSource("quorix_cli")});
    ASSERT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(server.psql("quorix_cli",
                          "SELECT string_agg(tablename, ',' ORDER BY tablename) "
                          "FROM pg_tables WHERE schemaname = 'public'"),
              "品目,明細,注文\n");

    // A password or user name cannot rewrite where the tables go, or who connects.
    server.freshDatabase("quorix_cli");
    const std::string local = dir.file("x.db");
    const std::string password =
        dir.write("pw", "secret;Data Source=" + local + ";Provider=Microsoft.Jet.OLEDB.4.0\n");
    const CliRun injected = cli({"create", qxd, "--data-source", server.dataSource("quorix_cli"),
                                 "--db-type", "postgresql", "--password-file", password});
    EXPECT_EQ(injected.status, 0) << injected.err;
    EXPECT_FALSE(std::filesystem::exists(local));
    EXPECT_EQ(server.psql("quorix_cli",
                          "SELECT count(*) FROM pg_tables WHERE schemaname = "
                          "'public'"),
              "3\n");
    const CliRun asOther = cli({"create", qxd, "--data-source", server.dataSource("quorix_cli"),
                                "--user", "nobody;User ID=postgres"});
    EXPECT_EQ(asOther.status, 1);
    EXPECT_NE(asOther.err.find("nobody;User ID=postgres"), std::string::npos) << asOther.err;

    // The connection lost at COMMIT: not known, never "undone".
    server.freshDatabase("quorix_cli");
    server.endSessionsAtCommit("quorix_cli");
    const CliRun lost = cli({"create", qxd, "--data-source", server.dataSource("quorix_cli")});
    EXPECT_EQ(lost.status, 1);
    EXPECT_NE(lost.err.find(
                  "作成が確定されたかどうかは分かりません。データベースに表「注文」「品目」「明細」"
                  "があるかどうかを確認してください。"),
              std::string::npos)
        << lost.err;
    EXPECT_EQ(lost.err.find("元の状態に戻されました"), std::string::npos) << lost.err;
}

TEST(Cli, OutputsAreCheckedAndInputsBounded) {
    TempDir dir;
    const std::string doc = std::string(QUORIX_EXAMPLES) + "/orders.xml";
    const std::string qxd = dir.file("o.qxd");
    ASSERT_EQ(cli({"analyse", doc, "-o", qxd}).status, 0);
    nameOrderTables(qxd);
    // Standard output on a full disk: a failure, never a success with a cut file.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"analyse", doc},
                                                 {"analyse", doc, "--evidence"},
                                                 {"sql", qxd},
                                                 {"--help"}}) {
        std::ofstream full("/dev/full");
        std::ostringstream err;
        EXPECT_EQ(runCli(args, full, err), 1) << args[0];
        EXPECT_NE(err.str().find("標準出力に書き込めません。"), std::string::npos) << err.str();
    }
    // --evidence writes where -o says.
    const std::string evidence = dir.file("e.tsv");
    const CliRun written = cli({"analyse", doc, "--evidence", "-o", evidence});
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(cli({"analyse", doc, "--evidence"}).out, test::readFile(evidence));
    // Only regular files of a sensible size are read, and a path that is not UTF-8 is shown
    // escaped.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = dir.write("big", std::string(5000, 'x'));
    const std::string sparse = dir.file("sparse.qxd");
    ASSERT_EQ(truncate(dir.write("sparse.qxd", "").c_str(), (off_t(256) << 20) + 1), 0);
    const std::string odd = dir.file("a\xFF\x01.qxd");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const auto create = [&](const std::string& passwordFile) {
        return std::vector<std::string>{
            "create", qxd, "--data-source", dir.file("x.mdb"), "--password-file", passwordFile};
    };
    const Case cases[] = {
        {{"sql", fifo}, 1, "通常のファイルではないため読み込めません。"},
        {{"sql", dir.path().string()}, 1, "フォルダーです。"},
        {{"sql", sparse}, 1, "ファイルが大きすぎます（上限 256 MiB）。"},
        {{"sql", odd}, 2, "ファイル「" + dir.file("a\\xFF\\x01.qxd") + "」がありません。"},
        {create(fifo), 2, "通常のファイルではないため読み込めません。"},
        {create("/dev/zero"), 2, "通常のファイルではないため読み込めません。"},
        {create(big), 2, "ファイルが大きすぎます（上限 4 KiB）。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1]);
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // A version, and "sqlite" as another name for "access".
    const CliRun version = cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quorix-cli ", 0), 0u);
    EXPECT_EQ(cli({"analyse", doc, "--db-type", "sqlite"}).out, cli({"analyse", doc}).out);
    // Every database type is listed.
    const std::string help = cli({"--help"}).out;
    for (const char* key : {"access", "ole3.51", "postgresql"})
        EXPECT_NE(help.find(key), std::string::npos) << key;
}
