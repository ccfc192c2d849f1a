#include <gtest/gtest.h>

#include <filesystem>

#include "catalog/connect_dialog.h"
#include <tuple>

#include "services/db/catalog.h"
#include "services/db/connection.h"
#include "services/db/engine/connection_info.h"
#include "support/fake_port.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

class FakeDialog : public test::RecordingPort<ConnectDialogPort> {
public:
    std::string type, source, user, password;
    std::vector<std::string> entries;
    bool createEnabled = false;
    bool closed = false;

    std::string typeText() const override { return type; }
    void setTypeText(const std::string& t) override { type = t; }
    void addTypeEntry(const std::string& t) override { entries.push_back(t); }
    std::string dataSourceText() const override { return source; }
    void setDataSourceText(const std::string& t) override { source = t; }
    std::string userText() const override { return user; }
    void setUserText(const std::string& t) override { user = t; }
    std::string passwordText() const override { return password; }
    void setPasswordText(const std::string& t) override { password = t; }
    void setCreateEnabled(bool e) override { createEnabled = e; }
    void closeDialog() override { closed = true; }
    std::string host, port_, database, example, defaultPort;
    bool serverShown = false;
    std::string hostText() const override { return host; }
    void setHostText(const std::string& t) override { host = t; }
    std::string portText() const override { return port_; }
    void setPortText(const std::string& t) override { port_ = t; }
    std::string databaseText() const override { return database; }
    void setDatabaseText(const std::string& t) override { database = t; }
    void showServerFields(bool shown, const std::string& p) override {
        serverShown = shown;
        defaultPort = p;
    }
    void setExampleText(const std::string& t) override { example = t; }
};

struct Fixture : ::testing::Test {
    Fixture() : dialog(settings, port) {
        settings.setDefaults();
        settings.putDSN("/old.mdb");
        settings.putUser("u0");
        dialog.Form_Load();
    }
    AppSettings settings;
    FakeDialog port;
    ConnectDialog dialog;
    TempDir dir;
};

const char kUnsupported[] = "Quorix|データベースタイプ「ms access」はサポートされていません。";

}  // namespace

TEST_F(Fixture, OpensWithTheSettings) {
    EXPECT_EQ(port.source, "/old.mdb");
    EXPECT_EQ(port.user, "u0");
    EXPECT_EQ(port.entries,
              (std::vector<std::string>{"MS Access", "PostgreSQL", "MariaDB / MySQL"}));
    EXPECT_EQ(port.type, "MS Access");
    EXPECT_TRUE(port.createEnabled);
}

TEST_F(Fixture, ConnectChecksSourceFirstThenType) {
    port.source = "   ";
    port.type = "ms access";
    dialog.cboDBType_Change();
    EXPECT_FALSE(port.createEnabled);
    dialog.OKButton_Click();
    EXPECT_EQ(port.messages.back(), "データベース接続情報|DSNを入力してください。");
    EXPECT_FALSE(port.closed);

    port.source = " /a.mdb ";
    dialog.OKButton_Click();
    EXPECT_EQ(port.messages.back(), kUnsupported);
    EXPECT_EQ(port.beeps, 1);
    EXPECT_EQ(settings.getDSN(), "/old.mdb");
    EXPECT_FALSE(port.closed);

    port.type = "MS Access";
    port.user = "";
    dialog.OKButton_Click();
    EXPECT_TRUE(port.closed);
    EXPECT_TRUE(settings.getDlgFlg());
    EXPECT_TRUE(settings.getConnStatus());
    EXPECT_EQ(settings.getDSN(), " /a.mdb ");  // stored as typed
    EXPECT_EQ(settings.getUser(), "");
    EXPECT_EQ(settings.getDBType(), "access");
}

TEST_F(Fixture, CreateChecksTypeFirstThenSource) {
    port.type = "ms access";
    port.source = "";
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(port.messages.back(), kUnsupported);
    port.type = "MS Access";
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(port.messages.back(), "Quorix|データソースを入力してください。\r\n(例：test.mdb)");
    EXPECT_FALSE(port.closed);
}

TEST_F(Fixture, CreatesTheDatabaseAtTheTrimmedPathAndConnects) {
    // A name that reads like more keys is one name.
    const std::string odd = dir.file("a;Data Source=other.mdb");
    port.source = odd;
    dialog.cmdCreateDB_Click();
    EXPECT_TRUE(std::filesystem::exists(odd));
    EXPECT_FALSE(std::filesystem::exists("other.mdb"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("a")));
    port.closed = false;

    const std::string path = dir.file("新規 データ.mdb");
    port.source = "  " + path + " ";
    dialog.cmdCreateDB_Click();
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(sqlite3Cli(path, "PRAGMA integrity_check"), "ok\n");
    EXPECT_EQ(port.statusText, "データベースを作成しました。");
    EXPECT_TRUE(port.closed);
    EXPECT_EQ(settings.getDSN(), "  " + path + " ");
}

TEST_F(Fixture, ReplacesAnExistingFileOnlyAfterYes) {
    const std::string path = dir.write("old.mdb", "not a database");
    port.source = path;
    port.answers = {false};
    dialog.cmdCreateDB_Click();
    ASSERT_EQ(port.questions.size(), 1u);
    EXPECT_EQ(port.questions[0],
              "データベースの削除|データベース" + path + "は既に存在します。\r\n削除しますか？");
    EXPECT_EQ(std::filesystem::file_size(path), 14u);
    EXPECT_FALSE(port.closed);

    port.answers = {true};
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(sqlite3Cli(path, "PRAGMA integrity_check"), "ok\n");
    EXPECT_TRUE(port.closed);
}

TEST_F(Fixture, ReportsWhatCannotBeDeletedOrCreated) {
    // A folder where the file should be cannot be deleted.
    const std::string folder = dir.file("folder.mdb");
    std::filesystem::create_directory(folder);
    port.source = folder;
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(port.messages.back(), "Quorix|データベース「" + folder + "」は削除できません。");
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    port.source = dir.file("missing/x.mdb");
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(port.statusText.rfind("-2147467259: ", 0), 0u) << port.statusText;
    EXPECT_EQ(port.beeps, 1);
    EXPECT_FALSE(port.closed);
}

TEST_F(Fixture, NeverReplacesTheDatabaseTheProgramHasOpen) {
    const std::string open = dir.write("open.mdb", "the open database");
    std::filesystem::create_directory(dir.file("sub"));
    // The same file under another spelling: through "..", and through a link.
    const std::string link = dir.file("link.mdb");
    std::filesystem::create_symlink(open, link);
    ConnectDialog guarded(settings, port, open);
    for (const std::string& typed : {open, dir.file("sub/../open.mdb"), link}) {
        port.source = " " + typed;
        port.answers = {true};
        guarded.cmdCreateDB_Click();
        EXPECT_EQ(port.messages.back(), "Quorix|データベース「" + typed + "」は削除できません。");
        EXPECT_TRUE(port.questions.empty());
        EXPECT_EQ(std::filesystem::file_size(open), 17u);
        EXPECT_FALSE(port.closed);
    }
}

TEST_F(Fixture, BrowseAndCancel) {
    port.files = {std::optional<std::string>("  /picked.mdb "), std::nullopt};
    dialog.cmdDSN_Click();
    EXPECT_EQ(port.source, "/picked.mdb");
    ASSERT_EQ(port.fileRequests.size(), 1u);
    EXPECT_EQ(port.fileRequests[0].filter, "MS Access(*.mdb)|*.mdb|全てのファイル|*.*");
    EXPECT_EQ(port.fileRequests[0].title, "データベースファイルを開く");
    EXPECT_EQ(port.fileRequests[0].defaultExtension, "mdb");
    dialog.cmdDSN_Click();  // cancelled: what was typed stays
    EXPECT_EQ(port.source, "/picked.mdb");

    settings.putDlgFlg(true);
    dialog.CancelButton_Click();
    EXPECT_FALSE(settings.getDlgFlg());
    EXPECT_FALSE(settings.getConnStatus());
    EXPECT_EQ(settings.getDSN(), "/old.mdb");
    EXPECT_TRUE(port.closed);
}

TEST_F(Fixture, CreatesAndReplacesServerDatabases) {
    test::PostgresServer& server = test::PostgresServer::instance();
    server.psql("postgres", "DROP DATABASE IF EXISTS quorix_dialog");
    port.type = "PostgreSQL";
    port.user = "postgres";
    dialog.cboDBType_Change();
    EXPECT_TRUE(port.createEnabled);
    port.source = server.dataSource("quorix_dialog");
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(port.statusText, "データベースを作成しました。");
    EXPECT_TRUE(port.closed);
    EXPECT_EQ(settings.getDBType(), "postgresql");
    const auto exists = [&] {
        return server.psql("postgres",
                           "SELECT count(*) FROM pg_database WHERE datname = 'quorix_dialog'");
    };
    EXPECT_EQ(exists(), "1\n");

    // It exists: the question; Yes drops and creates it again.
    server.psql("quorix_dialog", "CREATE TABLE old (a int)");
    port.closed = false;
    port.answers = {true};
    dialog.cmdCreateDB_Click();
    ASSERT_EQ(port.questions.size(), 1u);
    EXPECT_EQ(
        server.psql("quorix_dialog", "SELECT count(*) FROM pg_tables WHERE tablename = 'old'"),
        "0\n");

    // In use by someone: the server refuses, and says why.
    Connection busy;
    busy.setConnectionString("Provider=PostgreSQL;Data Source=" + port.source);
    busy.open();
    port.closed = false;
    port.answers = {true};
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(port.messages.back(), "Quorix|データベース「" + port.source + "」は削除できません。");
    EXPECT_NE(port.statusText.find("quorix_dialog"), std::string::npos) << port.statusText;
    EXPECT_FALSE(port.closed);
    busy.close();
    EXPECT_EQ(exists(), "1\n");
}

TEST_F(Fixture, CreatesADatabaseOnMariaDb) {
    test::MariaDbServer& server = test::MariaDbServer::instance();
    server.sql("", "DROP DATABASE IF EXISTS quorix_dialog");
    port.type = "MariaDB / MySQL";
    port.user = "root";
    dialog.cboDBType_Change();
    EXPECT_TRUE(port.createEnabled);
    port.source = server.dataSource("quorix_dialog");
    dialog.cmdCreateDB_Click();
    EXPECT_EQ(port.statusText, "データベースを作成しました。");
    EXPECT_EQ(settings.getDBType(), "mysql");
    server.sql("quorix_dialog", "CREATE TABLE old (a int)");
    port.answers = {true};  // it exists: Yes drops and creates it again
    dialog.cmdCreateDB_Click();
    ASSERT_EQ(port.questions.size(), 1u);
    EXPECT_EQ(server.sql("quorix_dialog", "SHOW TABLES"), "");
}

TEST(ServerSource, FieldsAndDataSourceReadEachOtherBack) {
    struct Case {
        const char* type;
        ServerSource fields;
        const char* text;  // the data source written from them
    };
    const Case cases[] = {
        {"postgresql", {"db.example.jp", "5433", "sales", {}}, "host=db.example.jp port=5433 dbname=sales"},
        {"mysql", {"db.example.jp", "", "sales", {}}, "host=db.example.jp database=sales"},
        {"postgresql", {"::1", "", "売上 2026", {}}, "host=::1 dbname='売上 2026'"},
        {"mysql", {"", "", "o'neil\\x;y", {}}, "database='o\\'neil\\\\x;y'"},
        {"postgresql", {"h", "", "", {{"sslmode", "require"}, {"user", ""}}}, "host=h sslmode=require user=''"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(serverSourceText(c.type, c.fields), c.text);
        const auto back = parseServerSource(c.type, c.text);
        ASSERT_TRUE(back);
        EXPECT_EQ(std::tie(back->host, back->port, back->database, back->others),
                  std::tie(c.fields.host, c.fields.port, c.fields.database, c.fields.others));
        // Inside a connection string too, ';' and quotes included.
        const std::string whole = formatConnectionString({"PostgreSQL", c.text, "u", "p;w"});
        EXPECT_EQ(parseConnectionString(whole).dataSource, c.text);
    }
    EXPECT_FALSE(parseServerSource("postgresql", "postgresql://h/db"));
    EXPECT_EQ(parseServerSource("postgresql", "database=x")->others.size(), 1u);  // not PostgreSQL's key
}

TEST_F(Fixture, AServerTypeShowsItsFieldsAndWritesTheDataSourceFromThem) {
    EXPECT_FALSE(port.serverShown);
    EXPECT_NE(port.example.find(".mdb"), std::string::npos);
    port.type = ConnectDialog::kMariaDbType;
    port.source = "socket=/run/my.sock database=old lock_wait_timeout=5";
    dialog.cboDBType_Change();
    EXPECT_TRUE(port.serverShown);
    EXPECT_EQ(port.defaultPort, "3306");
    EXPECT_EQ(port.database, "old");
    EXPECT_EQ(port.example, "例：host=db.example.jp port=3306 database=sales");
    port.host = " db1 ";
    port.database = "new db";
    dialog.serverFieldEdited();
    // What the fields do not show stays, after them.
    EXPECT_EQ(port.source, "host=db1 database='new db' socket=/run/my.sock lock_wait_timeout=5");
    port.source = "host=db2 port=3307";
    dialog.dataSourceEdited();
    EXPECT_EQ(std::tie(port.host, port.port_, port.database), std::make_tuple("db2", "3307", ""));
}

TEST(ConnectionTest, SaysTheServersVersionOrWhyNot) {
    TempDir dir;
    const std::string file = dir.file("t.mdb");
    Catalog().create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file);
    test::PostgresServer::instance().freshDatabase("quorix_conntest");
    test::MariaDbServer::instance().freshDatabase("quorix_conntest");
    struct Case {
        const char* type;
        std::string source, user;
        const char* said;  // the start of the status line
    };
    const Case cases[] = {
        {ConnectDialog::kSupportedType, file, "", "接続できました（SQLite 3."},
        {ConnectDialog::kSupportedType, dir.file("none.mdb"), "", "接続できません。"},
        {ConnectDialog::kPostgresType, test::PostgresServer::instance().dataSource("quorix_conntest"), "",
         "接続できました（PostgreSQL "},
        {ConnectDialog::kPostgresType, test::PostgresServer::instance().dataSource("no_such_db"), "",
         "接続できません。"},
        {ConnectDialog::kMariaDbType, test::MariaDbServer::instance().dataSource("quorix_conntest"), "root",
         "接続できました（MariaDB 1"},
        {ConnectDialog::kMariaDbType, "host=127.0.0.1 port=1 database=x", "root", "接続できません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        AppSettings settings;
        settings.setDefaults();
        FakeDialog port;
        ConnectDialog dialog(settings, port);
        dialog.Form_Load();
        port.type = c.type;
        port.source = c.source;
        port.user = c.user;
        dialog.cboDBType_Change();
        dialog.cmdTestConnection_Click();
        EXPECT_EQ(port.statusText.rfind(c.said, 0), 0u) << port.statusText;
        EXPECT_FALSE(port.closed);
        EXPECT_FALSE(settings.getConnStatus());  // a test connects nothing for the program
    }
}
