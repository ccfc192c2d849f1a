#include <gtest/gtest.h>

#include "definition_file/definition_file.h"
#include "generation/definition_builder.h"
#include "generation/table_creation.h"
#include "loading/document_loader.h"
#include "loading/key_links.h"
#include "services/db/postgresql/postgresql_engine.h"
#include "support/test_support.h"

#include <sys/stat.h>

using namespace quorix;
using quorix::test::Def;
using quorix::test::sqlite3Cli;
using quorix::test::TempDir;

namespace {

// A definition line and the element path its values come from (none: a line added by hand).
struct Line {
    Def def;
    std::optional<std::string> source;
};

std::unique_ptr<LayoutDocument> layoutOf(const std::vector<Line>& lines,
                                         const std::string& dbType = "access") {
    DefinitionTable table;
    std::vector<Def> defs;
    for (const auto& l : lines) defs.push_back(l.def);
    test::fillDefinition(table, defs);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].source) continue;
        auto info = std::make_shared<LineInfo>();
        info->source = lines[i].source;
        table.records().setAttachmentAt(static_cast<int>(i), info);
    }
    LayoutResult r = buildTableLayout(table, dbType, "･･");
    EXPECT_EQ(r.outcome, LayoutResult::Outcome::Done) << r.message;
    return std::move(r.layout);
}

// A book with its authors, linked by the book's first column.
std::vector<Line> books() {
    return {
        {{"－", 0, "ROW", ""}, ""},
        {{"○", 1, "ID", "ID", "ﾃｷｽﾄ型", "4", "BOOK"}, "ID"},
        {{"○", 2, "LAST", "LAST", "ﾃｷｽﾄ型", {}, "AUTHORS"}, "AUTHOR/LAST"},
        {{"○", 2, "FIRST", "FIRST"}, "AUTHOR/FIRST"},
        {{"○", 1, "NAME", "NAME"}, "NAME"},
        {{"○", 1, "NOTE", "NOTE", "ﾒﾓ型"}, "NOTE"},
        {{"○", 1, "QTY", "QTY", "数値型"}, "QTY"},
        {{"×", 1, "AUTHOR", ""}, "AUTHOR"},
    };
}

struct Database {
    TempDir dir;
    std::string path = dir.file("load.mdb");
    Connection connection;
    Catalog catalog;
    Database() {
        Catalog().create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
        connection.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
        connection.open();
        catalog.setActiveConnection(&connection);
    }
    LoadResult load(const LayoutDocument& layout, const std::string& xml, bool create = false,
                    const XmlReadProgress& progress = {}) {
        LoadRequest request;
        request.documentPath = dir.write("doc.xml", xml);
        request.createTables = create;
        return loadDocument(layout, request, connection, catalog, progress);
    }
    std::string query(const std::string& sql) { return sqlite3Cli(path, sql); }
};

// A fresh database on the test server, connected.
struct ServerDatabase {
    test::PostgresServer& server = test::PostgresServer::instance();
    Connection connection;
    Catalog catalog;
    explicit ServerDatabase(const std::string& name) {
        server.freshDatabase(name);
        connection.setConnectionString("Provider=PostgreSQL;Data Source=" +
                                       server.dataSource(name));
        connection.open();
        catalog.setActiveConnection(&connection);
    }
};

}  // namespace

TEST(DocumentLoader, RowsAndNestedRowsExactlyAsWritten) {
    Database db;
    const auto layout = layoutOf(books());
    const LoadResult r = db.load(
        *layout,
        "<?xml version='1.0'?>\n<!DOCTYPE ROWSET [<!ENTITY co 'Sato &#38;amp; Co'>]>\n"
        "<ROWSET xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'>\n"
        "<ROW><ID>007</ID><NAME>&co;</NAME><NOTE><![CDATA[<b>1</b>]]></NOTE><QTY> 3 </QTY>"
        "<AUTHOR><LAST>Abe</LAST><FIRST>Ken</FIRST></AUTHOR><AUTHOR><LAST>Ito</LAST></AUTHOR>"
        "</ROW>\n"
        "<ROW><ID>8</ID><NAME></NAME><NOTE xsi:nil='true'/><QTY></QTY><EXTRA>x</EXTRA></ROW>\n"
        "<ROW><ID>9</ID><NAME>  two  words </NAME><NOTE>\n  <i>x</i>\n</NOTE></ROW>\n"
        "</ROWSET>\n",
        true);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.rows, 3);
    EXPECT_EQ(loadReport(r),
              "5 行を 2 個の表に取り込みました。定義にない要素 2 個は取り込んでいません。");
    // Leading zeros, entities, CDATA and blanks of text kept; empty text apart from null.
    EXPECT_EQ(db.query("SELECT quote(ID), quote(NAME), quote(NOTE), quote(QTY) FROM BOOK ORDER "
                       "BY rowid"),
              "'007'|'Sato & Co'|'<b>1</b>'|3\n"
              "'8'|''|NULL|NULL\n"
              "'9'|'  two  words '|NULL|NULL\n");
    // Both authors, each keyed to its book.
    EXPECT_EQ(db.query("SELECT quote(ID), quote(LAST), quote(FIRST) FROM AUTHORS ORDER BY rowid"),
              "'007'|'Abe'|'Ken'\n'007'|'Ito'|NULL\n");
}

TEST(DocumentLoader, ErrorsNameTheRowAndLeaveNothing) {
    Database db;
    const auto layout = layoutOf(books());
    ASSERT_TRUE(createLayoutTables(*layout, db.connection, db.catalog).ok);
    const std::string good = "<ROW><ID>1</ID><AUTHOR><LAST>A</LAST></AUTHOR></ROW>\n";
    struct Case {
        const char* name;
        std::string rows;
        std::string message;  // expected start; then the rest must end with the undo sentence
    };
    const Case cases[] = {
        {"value", good + "<ROW><ID>2</ID>\n  <QTY>12a</QTY></ROW>\n",
         "doc.xml 行 4 列 7: 表「BOOK」の列「QTY」（数値型）に「12a」は入りません（整数ではありませ"
         "ん）。"},
        {"too long", good + "<ROW><ID>12345</ID></ROW>\n",
         "doc.xml 行 3 列 9: 表「BOOK」の列「ID」（ﾃｷｽﾄ型）に「12345」は入りません（バイト数が4"
         "を超えています（5））。"},
        {"duplicate key", good + "<ROW>\n<ID>1</ID></ROW>\n",
         "doc.xml 行 3 列 5: 文書に表「BOOK」のキー（ID=1）が同じ行が二つあります（もう一つは "
         "doc.xml 行 2 列 5）。"},
        {"repeated line", good + "<ROW><ID>2</ID><NAME>a</NAME>\n<NAME>b</NAME></ROW>\n",
         "doc.xml 行 4 列 6: 表「BOOK」の列「NAME」の要素が一つの行に2個あります。"},
        {"malformed later", good + "<ROW><ID>2</ROW>\n",
         "doc.xml: 終了タグが開始タグと一致しません。行3: <ROW><ID>2</ROW>\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadResult r = db.load(*layout, "<ROWSET>\n" + c.rows + "</ROWSET>\n");
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message.rfind(c.message, 0), 0u) << r.message;
        const std::string undone = "全ての処理は元の状態に戻されました。";
        EXPECT_EQ(r.message.substr(r.message.size() - undone.size()), undone) << r.message;
        EXPECT_EQ(db.query("SELECT (SELECT count(*) FROM BOOK) + (SELECT count(*) FROM AUTHORS)"),
                  "0\n");
    }
    // A cancel leaves nothing either.
    std::string many = "<ROWSET>";
    for (int i = 0; i < 20000; ++i) many += "<ROW><ID>" + std::to_string(i % 9999) + "</ID></ROW>";
    const LoadResult cancelled =
        db.load(*layout, many + "</ROWSET>", false,
                [](std::uint64_t done, std::uint64_t) { return done == 0; });
    EXPECT_EQ(cancelled.message, "取り込みを中止しました。全ての処理は元の状態に戻されました。");
    EXPECT_EQ(db.query("SELECT count(*) FROM BOOK"), "0\n");
    // Tables that are not there, and a key that links nothing, are said before anything is read.
    const auto wrapped = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                   {{"○", 1, "ID", "ID", "ﾃｷｽﾄ型", {}, "B2"}, "ID"},
                                   {{"○", 1, "AUTHOR", "AUTHOR"}, "AUTHOR"},
                                   {{"○", 2, "LAST", "LAST", "ﾃｷｽﾄ型", {}, "A2"}, "AUTHOR/LAST"}});
    EXPECT_EQ(db.load(*wrapped, "<ROWSET/>").message.rfind("表「A2」のキーの列「AUTHOR」は", 0),
              0u);
    const auto missing = layoutOf(
        {{{"－", 0, "ROW", ""}, ""}, {{"○", 1, "ID", "ID", "ﾃｷｽﾄ型", {}, "NOWHERE"}, "ID"}});
    EXPECT_EQ(db.load(*missing, "<ROWSET/>").message,
              "表「NOWHERE」がありません。全ての処理は元の状態に戻されました。");
    // A line of an old definition file whose place is not known is said, never loaded as NULL.
    auto old = parseDefinition(
        "#quorix-definition\t1\n#rowset\tROWSET\n#row\tROW\n#db-type\taccess\n"
        "キー\t生成\tレベル\tタイプ\tタグ名\t列名\t型\t桁数\t表名\n"
        "\\N\t－\t0\tノード\tROW\t\tﾃｷｽﾄ型\t\\N\t\n"
        "\\N\t○\t1\tノード\t･･A\t\tﾃｷｽﾄ型\t\\N\tT\n"
        "\\N\t○\t1\tノード\t･･A\tA2\tﾃｷｽﾄ型\t\\N\t\n");
    auto& file = std::get<DefinitionFile>(old);
    EXPECT_TRUE(lineInfo(file.table->records(), 1)->sourceUnknown);
    EXPECT_NE(formatDefinition(*file.table, file.context).find("#line-source\t2\t\\N\n"),
              std::string::npos);
    LayoutResult ambiguous = buildTableLayout(*file.table, "access", "･･");
    ASSERT_TRUE(ambiguous.layout);
    EXPECT_EQ(
        db.load(*ambiguous.layout, "<ROWSET/>").message.rfind("列「A」（定義の2行目）の値が", 0),
        0u);
}

TEST(DocumentLoader, AutoNumbersContinueAndNestedRowsCarryThem) {
    Database db;
    const auto layout = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                  {{"○", 1, "", "NO", "ｵｰﾄﾅﾝﾊﾞｰ型", {}, "T"}, {}},
                                  {{"○", 2, "TAG", "TAG", "ﾃｷｽﾄ型", {}, "TAGS"}, "TAG"},
                                  {{"○", 1, "NAME", "NAME"}, "NAME"}});
    const std::string doc =
        "<ROWSET><ROW><NAME>a</NAME><TAG>x</TAG><TAG>y</TAG></ROW>"
        "<ROW><NAME>b</NAME><TAG>z</TAG></ROW></ROWSET>";
    ASSERT_TRUE(db.load(*layout, doc, true).ok);
    const LoadResult again = db.load(*layout, doc);
    ASSERT_TRUE(again.ok) << again.message;
    EXPECT_EQ(db.query("SELECT group_concat(NO || NAME, ' ') FROM T"), "1a 2b 3a 4b\n");
    EXPECT_EQ(db.query("SELECT group_concat(NO || TAG, ' ') FROM TAGS"), "1x 1y 2z 3x 3y 4z\n");
    // Rows the database refuses go to the reject file and give their numbers back, the last
    // one too: the next load goes on from the last number kept.
    LoadRequest request;
    request.documentPath = db.dir.write(
        "doc.xml", "<ROWSET><ROW><NAME>c</NAME><TAG>p</TAG><TAG>p</TAG></ROW>"
                   "<ROW><NAME>d</NAME><TAG>q</TAG></ROW>"
                   "<ROW><NAME>e</NAME><TAG>r</TAG><TAG>r</TAG></ROW></ROWSET>");
    request.rejectPath = db.dir.file("rejects.tsv");
    const LoadResult skipped = loadDocument(*layout, request, db.connection, db.catalog);
    ASSERT_TRUE(skipped.ok) << skipped.message;
    EXPECT_EQ(skipped.skipped, 2);
    ASSERT_TRUE(db.load(*layout, "<ROWSET><ROW><NAME>f</NAME></ROW></ROWSET>").ok);
    EXPECT_EQ(db.query("SELECT group_concat(NO || NAME, ' ') FROM T WHERE NO > 4"), "5d 6f\n");
    EXPECT_EQ(db.query("SELECT group_concat(NO || TAG, ' ') FROM TAGS WHERE NO > 4"), "5q\n");
}

TEST(DocumentLoader, LoadsIntoAPostgreSQLServerToo) {
    ServerDatabase db("quorix_load");
    test::PostgresServer& server = db.server;
    Connection& connection = db.connection;
    Catalog& catalog = db.catalog;
    const auto layout = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                  {{"○", 1, "", "NO", "serial", {}, "T"}, {}},
                                  {{"○", 2, "TAG", "TAG", "varchar", "2", "TAGS"}, "TAG"},
                                  {{"○", 1, "AT", "AT", "timestamptz"}, "AT"},
                                  {{"○", 1, "OK", "OK", "boolean"}, "OK"}},
                                 "postgresql");
    TempDir dir;
    LoadRequest request;
    request.dbType = "postgresql";
    request.createTables = true;
    request.documentPath =
        dir.write("d.xml",
                  "<ROWSET><ROW><AT>2026-12-07T10:00:00+09:00</AT><OK>1</OK><TAG>漢字</TAG></ROW>"
                  "<ROW><OK>false</OK><TAG>x</TAG><TAG>y</TAG></ROW></ROWSET>");
    const LoadResult r = loadDocument(*layout, request, connection, catalog);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(server.psql("quorix_load",
                          "SET TIME ZONE 'UTC'; SELECT \"NO\", \"AT\", \"OK\" "
                          "FROM \"T\" ORDER BY 1"),
              "1|2026-12-07 01:00:00+00|t\n2||f\n");
    EXPECT_EQ(server.psql("quorix_load",
                          "SELECT string_agg(\"NO\" || \"TAG\", ' ' ORDER BY "
                          "\"NO\", \"TAG\") FROM \"TAGS\""),
              "1漢字 2x 2y\n");
    // Later inserts by other programs number after the rows loaded.
    EXPECT_EQ(server.psql("quorix_load", "INSERT INTO \"T\" DEFAULT VALUES RETURNING \"NO\""),
              "3\n");
}

// Every nested group is keyed to its parent's record: wrappers go, the group's first line is
// marked 親, tables with keyed groups and the keyed groups get a generated number first, the
// attributes of a leaf move beside it; nothing moves and every line keeps its source.
TEST(KeyLinks, EveryNestedGroupIsKeyedToItsParentsRecord) {
    struct Case {
        const char* name;
        std::vector<Line> lines;
        std::string expected;  // key mark, flag, level and tag of every line, in order
        int linked, generated;
    };
    const Case cases[] = {
        {"a chain of wrappers and a second child",
         {{{"－", 0, "ROW", ""}, ""},
          {{"○", 1, "NO", ""}, "NO"},
          {{"○", 1, "ITEMS", ""}, "ITEMS"},
          {{"○", 2, "ITEM", ""}, "ITEMS/ITEM"},
          {{"○", 3, "LINE", ""}, "ITEMS/ITEM/LINE"},
          {{"○", 3, "SKU", ""}, "ITEMS/ITEM/SKU"},
          {{"○", 1, "PAY", ""}, "PAY"},
          {{"○", 2, "SUM", ""}, "PAY/SUM"},
          {{"○", 1, "PRICE", ""}, "PRICE"},
          {{"○", 2, "@cur", ""}, "PRICE/@cur"}},
         "1･･----- ○1NO ×1ITEMS ×2ITEM 親 3･･････----- ○3LINE ○3SKU ×1PAY 親 2････----- ○2SUM "
         "○1PRICE ○1･･@cur",
         2, 3},
        {"nothing nested",
         {{{"－", 0, "ROW", ""}, ""}, {{"○", 1, "NO", ""}, "NO"}, {{"○", 1, "AT", ""}, "AT"}},
         "○1NO ○1AT",
         0, 0},
        // A group hung under a line by hand keeps the meaning it has.
        {"linked by hand",
         {{{"－", 0, "ROW", ""}, ""},
          {{"○", 1, "NO", ""}, "NO"},
          {{"○", 2, "LINE", ""}, "ITEMS/ITEM/LINE"},
          {{"○", 1, "AT", ""}, "AT"}},
         "○1NO ○2LINE ○1AT",
         0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DefinitionTable table;
        std::vector<Def> defs;
        for (const auto& l : c.lines) defs.push_back(l.def);
        test::fillDefinition(table, defs);
        RecordSet& rs = table.records();
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            auto info = std::make_shared<LineInfo>();
            info->source = c.lines[i].source;
            rs.setAttachmentAt(static_cast<int>(i), info);
            if (std::string(c.lines[i].def.tag).find('@') != std::string::npos)
                rs.setValueAt(static_cast<int>(i), rs.fieldIndex("タイプ"), std::string("属性"));
        }
        const KeyLinkResult r = linkNestedKeys(table, "access");
        EXPECT_EQ(r.linked, c.linked);
        EXPECT_EQ(r.generated, c.generated);
        EXPECT_TRUE(r.unlinked.empty());
        std::string got;
        for (int row = 1; row < rs.recordCount(); ++row) {
            const std::string tag = std::get<std::string>(rs.valueAt(row, rs.fieldIndex("タグ名")));
            const FieldValue& key = rs.valueAt(row, rs.fieldIndex("キー"));
            const std::string flag = std::get<std::string>(rs.valueAt(row, rs.fieldIndex("生成")));
            got += (got.empty() ? "" : " ") +
                   (std::holds_alternative<std::string>(key) ? std::get<std::string>(key) + " " : "") +
                   flag + std::to_string(std::get<int32_t>(rs.valueAt(row, rs.fieldIndex("レベル")))) +
                   (flag.empty() || tag.find('@') != std::string::npos ? tag : tag.substr(tag.rfind("･") + 3));
            if (flag.empty())
                EXPECT_EQ(rs.valueAt(row, rs.fieldIndex("型")), FieldValue(std::string("ｵｰﾄﾅﾝﾊﾞｰ型")));
        }
        EXPECT_EQ(got, c.expected);
        // The sources stay with their lines; the generated lines have none.
        for (int row = 0; row < rs.recordCount(); ++row)
            EXPECT_EQ(lineInfo(rs, row) != nullptr,
                      !std::get<std::string>(rs.valueAt(row, rs.fieldIndex("生成"))).empty());
    }
}

TEST(DocumentLoader, RowsWithErrorsCanBeSkippedIntoARejectFile) {
    Database db;
    const auto layout = layoutOf(books());
    LoadRequest request;
    request.documentPath = db.dir.write(
        "doc.xml",
        "<ROWSET>\n"
        "<ROW><ID>1</ID><AUTHOR><LAST>A</LAST></AUTHOR></ROW>\n"
        "<ROW><ID>2</ID><AUTHOR><LAST>B</LAST></AUTHOR><QTY>x</QTY></ROW>\n"
        "<ROW><ID>3</ID><AUTHOR><LAST>C</LAST></AUTHOR><AUTHOR><LAST>C</LAST></AUTHOR></ROW>\n"
        "<ROW><ID>4</ID><AUTHOR><LAST>D</LAST></AUTHOR></ROW>\n"
        "</ROWSET>\n");
    request.createTables = true;
    request.rejectPath = db.dir.file("rejects.tsv");
    const LoadResult r = loadDocument(*layout, request, db.connection, db.catalog);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(loadReport(r), "4 行を 2 個の表に取り込みました。エラーのある 2 行は取り込まずに「" +
                                 request.rejectPath + "」に書きました。");
    // The rows with an error went with their nested rows; the others are all there.
    EXPECT_EQ(db.query("SELECT group_concat(ID, ' ') FROM BOOK"), "1 4\n");
    EXPECT_EQ(db.query("SELECT group_concat(ID || LAST, ' ') FROM AUTHORS"), "1A 4D\n");
    EXPECT_EQ(test::readFile(request.rejectPath),
              "位置\t表\t列\t値\t理由\n"
              "doc.xml 行 3 列 51\tBOOK\tQTY\tx\t数値型に入りません（整数ではありません）\n"
              "doc.xml 行 4 列 54\tAUTHORS\tID\tID=3、LAST=C\t表「AUTHORS」のキー（ID=3、LAST=C）"
              "の行は既にあります\n");
}

TEST(DocumentLoader, AServerTakesRowsThroughCopyAndSaysWhatBecameOfThem) {
    ServerDatabase db("quorix_copy");
    test::PostgresServer& server = db.server;
    Connection& connection = db.connection;
    Catalog& catalog = db.catalog;
    const auto layout = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                  {{"○", 1, "ID", "ID", "integer", {}, "T"}, "ID"},
                                  {{"○", 1, "V", "V", "text"}, "V"}},
                                 "postgresql");
    TempDir dir;
    auto load = [&](const std::string& rows, bool create = false) {
        LoadRequest request;
        request.dbType = "postgresql";
        request.createTables = create;
        request.documentPath = dir.write("doc.xml", "<ROWSET>\n" + rows + "</ROWSET>\n");
        return loadDocument(*layout, request, connection, catalog);
    };
    const auto psql = [&](const std::string& sql) { return server.psql("quorix_copy", sql); };
    // Every character COPY treats specially arrives as written, "\N" as text too.
    const LoadResult escaped = load(
        "<ROW><ID>1</ID><V>a\\N</V></ROW>\n<ROW><ID>2</ID><V>t&#9;n&#10;r&#13;b\\\\</V></ROW>\n"
        "<ROW><ID>3</ID><V></V></ROW>\n<ROW><ID>4</ID></ROW>\n",
        true);
    ASSERT_TRUE(escaped.ok) << escaped.message;
    EXPECT_EQ(psql("SELECT string_agg(coalesce(replace(replace(replace(replace(\"V\", E'\\\\', "
                   "'[bs]'), E'\\t', '[tab]'), E'\\n', '[nl]'), E'\\r', '[cr]'), '<null>'), ' ' "
                   "ORDER BY \"ID\") FROM \"T\""),
              "a[bs]N t[tab]n[nl]r[cr]b[bs][bs]  <null>\n");
    // A row the server refuses is named by its place in the document, whatever the buffer.
    const std::size_t before = PostgresEngine::copyBufferBytes;
    for (std::size_t buffer : {std::size_t(16), before}) {
        PostgresEngine::copyBufferBytes = buffer;
        const LoadResult refused =
            load("<ROW><ID>10</ID></ROW>\n<ROW><ID>11</ID></ROW>\n<ROW>\n<ID>3</ID></ROW>\n");
        EXPECT_EQ(
            refused.message.rfind("doc.xml 行 4 列 5: 表「T」に同じキーの行が既にあります。", 0),
            0u)
            << refused.message;
        EXPECT_EQ(psql("SELECT count(*) FROM \"T\""), "4\n");
    }
    PostgresEngine::copyBufferBytes = before;
    // The server process ends in the middle of a load: nothing was committed, and it says so.
    psql(
        "CREATE FUNCTION quit() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN PERFORM "
        "pg_terminate_backend(pg_backend_pid()); RETURN NULL; END$$;"
        "CREATE TRIGGER quit AFTER INSERT ON \"T\" FOR EACH ROW EXECUTE FUNCTION quit()");
    const LoadResult lost = load("<ROW><ID>20</ID></ROW>\n");
    EXPECT_FALSE(lost.ok);
    EXPECT_FALSE(lost.outcomeUnknown);
    EXPECT_NE(lost.message.find("全ての処理は元の状態に戻されました。"), std::string::npos)
        << lost.message;
    psql("DROP TRIGGER quit ON \"T\"; DROP TABLE \"T\"");
    EXPECT_EQ(psql("SELECT count(*) FROM pg_class WHERE relname = 'T'"), "0\n");
    // Lost while committing: the outcome is not known, and never called undone.
    connection.close();
    connection.open();
    server.endSessionsAtCommit("quorix_copy");
    const LoadResult unknown = load("<ROW><ID>1</ID></ROW>\n", true);
    EXPECT_FALSE(unknown.ok);
    EXPECT_TRUE(unknown.outcomeUnknown);
    EXPECT_NE(unknown.message.find("取り込みが確定されたかどうかは分かりません。"),
              std::string::npos)
        << unknown.message;
    EXPECT_EQ(unknown.message.find("元の状態に戻されました"), std::string::npos) << unknown.message;
}

TEST(DocumentLoader, CurrencyIsKeptToItsLastDigitOnTheFileEngine) {
    Database db;
    const auto layout = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                  {{"○", 1, "ID", "ID", "数値型", {}, "T"}, "ID"},
                                  {{"○", 1, "C", "C", "通貨型"}, "C"}});
    std::string rows;
    int id = 0;
    for (const char* c : {"123456789012345.6789", "0.1000", "922337203685477.5807",
                          "-922337203685477.5808", "12"})
        rows += "<ROW><ID>" + std::to_string(++id) + "</ID><C>" + c + "</C></ROW>";
    const LoadResult r = db.load(*layout, "<ROWSET>" + rows + "</ROWSET>", true);
    ASSERT_TRUE(r.ok) << r.message;
    // Whole units of 1/10 000, as the type is defined; the catalog still says currency.
    EXPECT_EQ(db.query("SELECT typeof(C), C FROM T ORDER BY ID"),
              "integer|1234567890123456789\ninteger|1000\ninteger|9223372036854775807\n"
              "integer|-9223372036854775808\ninteger|120000\n");
    EXPECT_EQ(db.query("SELECT type FROM pragma_table_info('T') WHERE name = 'C'"), "CURRENCY\n");
}

TEST(DocumentLoader, DocumentsThatWouldLoadPartOfTheirTextAreRefused) {
    Database db;
    const auto layout = layoutOf(books());
    ASSERT_TRUE(createLayoutTables(*layout, db.connection, db.catalog).ok);
    const std::string bomb = "<!DOCTYPE ROWSET [<!ENTITY e '" + std::string(50000, 'x') + "'>]>";
    std::string manyRefs, oneValue;
    for (int i = 0; i < 400; ++i) manyRefs += "<ROW><ID>" + std::to_string(i) + "</ID><NAME>&e;</NAME></ROW>";
    for (int i = 0; i < 250; ++i) oneValue += "&e;";
    struct Case {
        const char* name;
        std::string document;
        std::string message;  // a part of the message
    };
    const Case cases[] = {
        {"no rows", "<ROWSET><SUMMARY><ID>1</ID></SUMMARY></ROWSET>",
         "XML文書内に行タグ「ROW」の要素がありません。"},
        {"none of the elements", "<ROWSET><ROW><X>1</X></ROW></ROWSET>",
         "表「BOOK」のキーの列「ID」に値がありません"},
        {"key of a nested row", "<ROWSET><ROW><AUTHOR><LAST>A</LAST></AUTHOR></ROW></ROWSET>",
         "表「BOOK」のキーの列「ID」に値がありません"},
        {"mixed content", "<ROWSET><ROW><ID>1</ID><NAME>Hello <B>world</B>!</NAME></ROW></ROWSET>",
         "列「NAME」の要素は文字と子の要素が混在しています"},
        {"external entity",
         "<!DOCTYPE ROWSET [<!ENTITY ext SYSTEM 'secret.txt'>]>"
         "<ROWSET><ROW><ID>1</ID><NAME>before &ext; after</NAME></ROW></ROWSET>",
         "外部エンティティ「ext」は読み込みません"},
        {"entity of an unread DTD",
         "<!DOCTYPE ROWSET SYSTEM 'rows.dtd'><ROWSET><ROW><ID>1</ID><NAME>a &u; b</NAME></ROW>"
         "</ROWSET>",
         "エンティティ「u」の内容が分かりません"},
        {"expansion", bomb + "<ROWSET>" + manyRefs + "</ROWSET>",
         "エンティティの展開で文書が大きくなりすぎます"},
        {"one value", bomb + "<ROWSET><ROW><ID>1</ID><NOTE>" + oneValue + "</NOTE></ROW></ROWSET>",
         "一つの値は 10,000,000 バイトまでです"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadResult r = db.load(*layout, c.document);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
        EXPECT_EQ(db.query("SELECT (SELECT count(*) FROM BOOK) + (SELECT count(*) FROM AUTHORS)"),
                  "0\n");
    }
}

TEST(DocumentLoader, TheRejectFileIsNeverAnInputAndAFailedLoadKeepsTheOldOne) {
    Database db;
    const auto layout = layoutOf(books());
    ASSERT_TRUE(createLayoutTables(*layout, db.connection, db.catalog).ok);
    const std::string good =
        "<ROWSET>\n<ROW><ID>1</ID><QTY>x</QTY></ROW>\n<ROW><ID>2</ID></ROW>\n</ROWSET>\n";
    auto load = [&](const std::string& reject, const std::string& document) {
        LoadRequest request;
        request.documentPath = db.dir.write("doc.xml", document);
        request.rejectPath = reject;
        request.inputs = {db.dir.file("def.qxd"), db.path};
        return loadDocument(*layout, request, db.connection, db.catalog);
    };
    const std::string definition = db.dir.write("def.qxd", "the definition\n");
    ::mkfifo(db.dir.file("fifo").c_str(), 0600);
    struct Case {
        std::string reject;
        std::string message;
    };
    const Case refused[] = {
        {db.dir.file("doc.xml"), "」と同じファイルです。"},
        {definition, "」と同じファイルです。"},
        {db.path, "」と同じファイルです。"},
        {db.dir.file("fifo"), "」は通常のファイルではありません。"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.reject);
        const LoadResult r = load(c.reject, good);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
    }
    EXPECT_EQ(test::readFile(definition), "the definition\n");
    EXPECT_EQ(test::readFile(db.dir.file("doc.xml")), good);
    EXPECT_EQ(db.query("SELECT count(*) FROM BOOK"), "0\n");
    // A load that fails leaves the earlier reject file as it was, and no file beside it.
    const std::string rejects = db.dir.write("rejects.tsv", "earlier\n");
    const LoadResult failed = load(rejects, "<ROWSET><ROW><ID>1</ID></ROW><ROW><ID>2</ROW></ROWSET>");
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(test::readFile(rejects), "earlier\n");
    // Rows the reader refuses and rows the database refuses are listed in the document's order.
    const LoadResult r = load(rejects,
                              "<ROWSET>\n<ROW><ID>2</ID></ROW>\n<ROW><ID>2</ID></ROW>\n"
                              "<ROW><ID>3</ID><QTY>x</QTY></ROW>\n</ROWSET>\n");
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.rejectPath, rejects);
    const std::string list = test::readFile(rejects);
    EXPECT_LT(list.find("行 3"), list.find("行 4")) << list;
    EXPECT_EQ(test::shell("ls -A " + test::shellQuote(db.dir.path().string())),
              "def.qxd\ndoc.xml\nfifo\nload.mdb\nrejects.tsv\n");
}

TEST(SqliteEngine, AValueOverTheEnginesLimitIsRefusedNeverStoredAsNull) {
    Database db;
    db.query("CREATE TABLE T (A TEXT)");
    db.connection.close();
    db.connection.open();
    std::vector<CellValue> row(1);
    row[0].emplace<std::string>(1'000'000'001, 'x');
    try {
        db.connection.run([&](DatabaseSession& s) { s.inserter("T", {"A"})->insert(row); });
        ADD_FAILURE() << "taken";
    } catch (const ServiceError& e) {
        EXPECT_NE(e.description().find("値が長すぎます"), std::string::npos) << e.description();
    }
    EXPECT_EQ(db.query("SELECT count(*) FROM T"), "0\n");
}

// Two tables taking turns on COPY: a refusal names its own table and document row, whatever
// the tables are called, and comes before a value error later in the document.
TEST(DocumentLoader, ACopyRefusalNamesItsOwnTableAndRow) {
    ServerDatabase db("quorix_turns");
    const auto layout = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                  {{"○", 1, "ID", "ID", "integer", {}, "T, line 1"}, "ID"},
                                  {{"○", 2, "N", "N", "integer", {}, "C, line 2"}, "C/N"},
                                  {{"○", 1, "V", "V", "integer"}, "V"}},
                                 "postgresql");
    TempDir dir;
    auto load = [&](const std::string& rows, bool create) {
        LoadRequest request;
        request.dbType = "postgresql";
        request.createTables = create;
        request.documentPath = dir.write("doc.xml", "<ROWSET>\n" + rows + "</ROWSET>\n");
        return loadDocument(*layout, request, db.connection, db.catalog);
    };
    const std::size_t before = PostgresEngine::copyBufferBytes;
    PostgresEngine::copyBufferBytes = 16;
    std::string rows;
    for (int i = 1; i <= 30; ++i)
        rows += "<ROW><ID>" + std::to_string(i) + "</ID><C><N>1</N></C><C>\n<N>" +
                (i == 20 ? "1" : "2") + "</N></C></ROW>\n";
    const LoadResult refused = load(rows + "<ROW><ID>31</ID><V>x</V></ROW>\n", true);
    PostgresEngine::copyBufferBytes = before;
    EXPECT_EQ(refused.message.rfind("doc.xml 行 41 列 3: 文書に表「C, line 2」のキー（ID=20、N=1）が"
                                    "同じ行が二つあります（もう一つは doc.xml 行 40 列 22）。",
                                    0),
              0u)
        << refused.message;
    EXPECT_EQ(refused.message.find('\n'), std::string::npos) << refused.message;  // one line
    EXPECT_EQ(db.server.psql("quorix_turns", "SELECT count(*) FROM pg_class WHERE relname LIKE '%line%'"),
              "0\n");
}

// Each engine holds rows per table before sending them: a refusal found in one table must not
// hide an earlier one another table still holds.
TEST(DocumentLoader, TheFirstRefusalInTheDocumentIsTheOneSaidOnEveryEngine) {
    std::string rows = "<ROW><ID>1</ID><C><N>1</N></C><C><N>1</N></C></ROW>\n";  // line 2: C twice
    for (int i = 2; i <= 30; ++i)
        rows += "<ROW><ID>" + std::to_string(i) + "</ID><C><N>1</N></C></ROW>\n";
    rows += "<ROW><ID>5</ID></ROW>\n";  // line 32: T twice
    test::MariaDbServer::instance().freshDatabase("quorix_first");
    const struct {
        const char* dbType;
        const char* type;
        std::string source;
    } engines[] = {
        {"access", "数値型", ""},
        {"postgresql", "integer",
         "Provider=PostgreSQL;Data Source=" + test::PostgresServer::instance().dataSource("quorix_first")},
        {"mysql", "int",
         "Provider=MariaDB;Data Source=\"" + test::MariaDbServer::instance().dataSource("quorix_first") +
             "\";User ID=root"},
    };
    for (const auto& e : engines) {
        SCOPED_TRACE(e.dbType);
        const auto layout = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                      {{"○", 1, "ID", "ID", e.type, {}, "T"}, "ID"},
                                      {{"○", 2, "N", "N", e.type, {}, "C"}, "C/N"}},
                                     e.dbType);
        Database file;
        Connection server;
        Catalog catalog;
        if (!e.source.empty()) {
            if (std::string(e.dbType) == "postgresql")
                test::PostgresServer::instance().freshDatabase("quorix_first");
            server.setConnectionString(e.source);
            server.open();
            catalog.setActiveConnection(&server);
        }
        LoadRequest request;
        request.dbType = e.dbType;
        request.createTables = true;
        request.documentPath = file.dir.write("doc.xml", "<ROWSET>\n" + rows + "</ROWSET>\n");
        const LoadResult result = e.source.empty()
                                      ? loadDocument(*layout, request, file.connection, file.catalog)
                                      : loadDocument(*layout, request, server, catalog);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.message.rfind("doc.xml 行 2 ", 0), 0u) << result.message;
        EXPECT_NE(result.message.find("表「C」"), std::string::npos) << result.message;
    }
}

// A commit the live server refuses (a deferred unique constraint) was undone, and says so.
TEST(DocumentLoader, ACommitRefusedByALiveServerIsUndoneNotUnknown) {
    ServerDatabase db("quorix_deferred");
    const auto layout = layoutOf({{{"－", 0, "ROW", ""}, ""},
                                  {{"○", 1, "ID", "ID", "integer", {}, "T"}, "ID"},
                                  {{"○", 1, "V", "V", "integer"}, "V"}},
                                 "postgresql");
    ASSERT_TRUE(createLayoutTables(*layout, db.connection, db.catalog).ok);
    db.server.psql("quorix_deferred", "ALTER TABLE \"T\" ADD CONSTRAINT once UNIQUE (\"V\") "
                                      "DEFERRABLE INITIALLY DEFERRED");
    TempDir dir;
    LoadRequest request;
    request.dbType = "postgresql";
    request.documentPath = dir.write(
        "doc.xml", "<ROWSET><ROW><ID>1</ID><V>7</V></ROW><ROW><ID>2</ID><V>7</V></ROW></ROWSET>");
    const LoadResult r = loadDocument(*layout, request, db.connection, db.catalog);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.outcomeUnknown);
    EXPECT_NE(r.message.find("全ての処理は元の状態に戻されました。"), std::string::npos) << r.message;
    EXPECT_EQ(db.server.psql("quorix_deferred", "SELECT count(*) FROM \"T\""), "0\n");
}
