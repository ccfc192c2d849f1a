// The second load of a monthly export in each mode, on each engine: the tables hold what the
// first document and then the second should give, counted exactly, or stay as they were.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "cli/cli.h"
#include "services/db/connection.h"
#include "cli_run.h"
#include "engines.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::cli;
using quorix::test::CliRun;
using quorix::test::TempDir;

namespace {

using quorix::test::example;

using test::Engine;
using test::engines;

// quorix-cli load with @p args, then the arguments of the engine's database (made anew
// when @p first).
CliRun loadOn(const Engine& e, TempDir& dir, bool first, std::vector<std::string> args) {
    args.insert(args.begin(), "load");
    for (auto& a : e.target(dir, first)) args.push_back(a);
    return cli(args);
}

// The three tables as the engine's client prints them, in key order.
std::string tables(const Engine& e) {
    return e.query(R"(SELECT "ORDER_NO", "CUSTOMER" FROM "SALES" ORDER BY 1)") + "--\n" +
           e.query(R"(SELECT "ORDER_NO", "LINE_NO", "SKU" FROM "SALE_LINES" ORDER BY 1, 2)") +
           "--\n" +
           e.query(R"(SELECT "ORDER_NO", "LINE_NO", "DELIVERY_NO", "QTY" FROM "DELIVERIES")"
                   " ORDER BY 1, 2, 3");
}

const char kNovember[] =
    "1001|佐藤商事株式会社\n1002|加藤工務店\n--\n"
    "1001|1|P-1001\n1001|2|P-2040\n1002|1|P-0300\n--\n"
    "1001|1|1|3\n1001|1|2|2\n1002|1|1|10\n";

struct Reload {
    const char* mode;
    const char* summary;  // the --summary lines after the header
    const char* tables;   // November's tables, then December's loaded in this mode
};

const Reload kReloads[] = {
    {"skip", "SALES\t1\t0\t1\t0\nSALE_LINES\t1\t0\t1\t0\nDELIVERIES\t1\t0\t1\t0\n",
     "1001|佐藤商事株式会社\n1002|加藤工務店\n1003|株式会社山田建設\n--\n"
     "1001|1|P-1001\n1001|2|P-2040\n1002|1|P-0300\n1003|1|P-7000\n--\n"
     "1001|1|1|3\n1001|1|2|2\n1002|1|1|10\n1003|1|1|1\n"},
    // Order 1001 takes December's values; its lines and their deliveries are December's.
    {"update", "SALES\t1\t1\t0\t0\nSALE_LINES\t2\t0\t0\t2\nDELIVERIES\t2\t0\t0\t2\n",
     "1001|佐藤商事株式会社 大阪支店\n1002|加藤工務店\n1003|株式会社山田建設\n--\n"
     "1001|1|P-1001\n1002|1|P-0300\n1003|1|P-7000\n--\n"
     "1001|1|3|5\n1002|1|1|10\n1003|1|1|1\n"},
    {"replace", "SALES\t2\t0\t0\t2\nSALE_LINES\t2\t0\t0\t3\nDELIVERIES\t2\t0\t0\t3\n",
     "1001|佐藤商事株式会社 大阪支店\n1003|株式会社山田建設\n--\n"
     "1001|1|P-1001\n1003|1|P-7000\n--\n"
     "1001|1|3|5\n1003|1|1|1\n"},
};

// Orders as a document holds them: number → customer and lines, line → SKU and deliveries,
// delivery → quantity.
struct Order {
    std::string customer;
    std::map<int, std::pair<std::string, std::map<int, int>>> lines;
};
using Orders = std::map<int, Order>;

Orders randomOrders(std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* names[] = {"佐藤商事", "A&B Ltd.", "加藤 <本店>", "山田建設", "x"};
    Orders orders;
    for (int n = 1 + pick(6); n-- > 0;) {
        Order& o = orders[1 + pick(8)];  // few numbers: two documents share some
        o.customer = names[pick(5)] + std::to_string(pick(100));
        o.lines.clear();
        for (int l = pick(4); l-- > 0;) {
            auto& line = o.lines[1 + pick(5)];
            line.first = "P-" + std::to_string(pick(1000));
            line.second.clear();
            for (int d = pick(4); d-- > 0;) line.second[1 + pick(6)] = pick(50);
        }
    }
    return orders;
}

std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s)
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    return out;
}

std::string document(const Orders& orders) {
    std::string x = "<ROWSET>\n";
    for (const auto& [no, o] : orders) {
        x += "<ROW><ORDER_NO>" + std::to_string(no) + "</ORDER_NO><LINES>";
        for (const auto& [l, line] : o.lines) {
            x += "<LINE><LINE_NO>" + std::to_string(l) + "</LINE_NO><DELIVERIES>";
            for (const auto& [d, qty] : line.second)
                x += "<DELIVERY><DELIVERY_NO>" + std::to_string(d) +
                     "</DELIVERY_NO><SHIPPED_ON>2026-12-01</SHIPPED_ON><QTY>" +
                     std::to_string(qty) + "</QTY></DELIVERY>";
            x += "</DELIVERIES><SKU>" + line.first + "</SKU><PRICE>12.50</PRICE></LINE>";
        }
        x += "</LINES><CUSTOMER>" + escaped(o.customer) +
             "</CUSTOMER><ORDERED_ON>2026-11-30</ORDERED_ON></ROW>\n";
    }
    return x + "</ROWSET>\n";
}

// The three tables as tables() prints them.
std::string dump(const Orders& orders) {
    std::string sales, lines, deliveries;
    for (const auto& [no, o] : orders) {
        const std::string n = std::to_string(no) + "|";
        sales += n + o.customer + "\n";
        for (const auto& [l, line] : o.lines) {
            lines += n + std::to_string(l) + "|" + line.first + "\n";
            for (const auto& [d, qty] : line.second)
                deliveries += n + std::to_string(l) + "|" + std::to_string(d) + "|" +
                              std::to_string(qty) + "\n";
        }
    }
    return sales + "--\n" + lines + "--\n" + deliveries;
}

// What A then B should leave in @p mode, worked out on the orders themselves.
Orders afterwards(Orders a, const Orders& b, const std::string& mode) {
    if (mode == "replace") return b;
    for (const auto& [no, o] : b)
        if (mode == "update" || !a.count(no)) a[no] = o;
    return a;
}

}  // namespace

TEST(LoadModes, TheSecondLoadInEachModeOnEveryEngine) {
    for (const Engine& e : engines()) {
        SCOPED_TRACE(e.name);
        TempDir dir;
        auto load = [&](const std::string& doc, std::vector<std::string> more, bool first) {
            more.insert(more.begin(), {example("sales.qxd"), doc});
            if (first) more.push_back("--create");
            return loadOn(e, dir, first, more);
        };
        auto november = [&] {
            const CliRun first = load(example("sales-2026-11.xml"), {}, true);
            ASSERT_EQ(first.status, 0) << first.err;
            ASSERT_EQ(tables(e), kNovember);
        };
        const std::string december = example("sales-2026-12.xml");
        for (const Reload& r : kReloads) {
            SCOPED_TRACE(r.mode);
            november();
            const CliRun again = load(december, {"--mode", r.mode, "--summary"}, false);
            ASSERT_EQ(again.status, 0) << again.err;
            EXPECT_EQ(again.out,
                      std::string("table\tinserted\tupdated\tskipped\tdeleted\n") + r.summary);
            EXPECT_EQ(tables(e), r.tables);
        }

        // Today's way stops at the first row that is there, and nothing changes.
        november();
        const CliRun refused = load(december, {}, false);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("1001"), std::string::npos) << refused.err;
        EXPECT_EQ(tables(e), kNovember);

        // A replace or an update that fails in the last row leaves every table as it was.
        std::string broken = test::readFile(december);
        broken.replace(broken.rfind("<QTY>1</QTY>"), 12, "<QTY>一</QTY>");
        const std::string bad = dir.write("broken.xml", broken);
        for (const char* mode : {"replace", "update", "skip"}) {
            const CliRun failed = load(bad, {"--mode", mode}, false);
            EXPECT_EQ(failed.status, 1) << mode;
            EXPECT_NE(failed.err.find("QTY"), std::string::npos) << failed.err;
            EXPECT_EQ(tables(e), kNovember) << mode;
        }
        // A document with one key twice is refused in every mode, naming both rows.
        std::string twice = test::readFile(december);
        const auto row = twice.find("<ROW>");
        twice.insert(twice.find("</ROWSET>"), twice.substr(row, twice.find("</ROW>") + 6 - row));
        const std::string doubled = dir.write("twice.xml", twice);
        for (const char* mode : {"update", "skip", "replace"}) {
            const CliRun failed = load(doubled, {"--mode", mode}, false);
            EXPECT_EQ(failed.status, 1) << mode;
            EXPECT_NE(failed.err.find("文書に表「SALES」のキー（ORDER_NO=1001）"), std::string::npos)
                << failed.err;
            EXPECT_NE(failed.err.find("が同じ行が二つあります（もう一つは twice.xml 行 4 列 "),
                      std::string::npos)
                << failed.err;
            EXPECT_EQ(tables(e), kNovember) << mode;
        }
    }
}

// A replace that meets rows another session holds waits as long as the data source says,
// then says why it stopped; the tables stay as they were.
TEST(LoadModes, AReplaceWaitingForAnotherSessionSaysSo) {
    const std::vector<Engine> all = engines();
    struct Server {
        const Engine& engine;
        std::string provider, shortWait;
    };
    const Server servers[] = {
        {all[1], "Provider=PostgreSQL;Data Source=\"" +
                     test::PostgresServer::instance().dataSource("quorix_modes") + "\"",
         " options='-c lock_timeout=300'"},
        {all[2], "Provider=MariaDB;Data Source=\"" +
                     test::MariaDbServer::instance().dataSource("quorix_modes") + "\";User ID=root",
         " lock_wait_timeout=1"},
    };
    for (const Server& server : servers) {
        SCOPED_TRACE(server.engine.name);
        TempDir dir;
        const std::string november = example("sales-2026-11.xml");
        ASSERT_EQ(loadOn(server.engine, dir, true, {example("sales.qxd"), november, "--create"}).status,
                  0);
        Connection holder;
        holder.setConnectionString(server.provider);
        holder.open();
        holder.beginTrans();
        holder.run([](DatabaseSession& s) {
            return s.execute("UPDATE " + s.quotedTable("DELIVERIES") + " SET " + s.quotedName("QTY") +
                                 " = " + s.quotedName("QTY"),
                             "");
        });
        std::vector<std::string> args = server.engine.target(dir, false);
        for (std::size_t i = 0; i + 1 < args.size(); ++i)
            if (args[i] == "--data-source") args[i + 1] += server.shortWait;
        args.insert(args.begin(), {"load", example("sales.qxd"), example("sales-2026-12.xml"),
                                   "--mode", "replace"});
        const CliRun waited = cli(args);
        holder.rollbackTrans();
        EXPECT_EQ(waited.status, 1);
        EXPECT_NE(waited.err.find("他の接続が使用中のため"), std::string::npos) << waited.err;
        EXPECT_NE(waited.err.find("元の状態に戻されました"), std::string::npos) << waited.err;
        EXPECT_EQ(tables(server.engine), kNovember);
    }
}

TEST(LoadModes, KeysThatCannotMatchAreRefusedBeforeReading) {
    TempDir dir;
    const std::string db = dir.file("nokey.db");
    // The tables of the definition, made by hand without a primary key on the orders.
    test::sqlite3Cli(db,
                     "CREATE TABLE SALES (ORDER_NO INTEGER, CUSTOMER TEXT, ORDERED_ON TEXT);"
                     "CREATE TABLE SALE_LINES (ORDER_NO INTEGER, LINE_NO INTEGER, SKU TEXT, "
                     "PRODUCT TEXT, PRICE TEXT, PRIMARY KEY (ORDER_NO, LINE_NO));"
                     "CREATE TABLE DELIVERIES (ORDER_NO INTEGER, LINE_NO INTEGER, DELIVERY_NO "
                     "INTEGER, SHIPPED_ON TEXT, QTY INTEGER, PRIMARY KEY (ORDER_NO, LINE_NO, "
                     "DELIVERY_NO))");
    const CliRun refused = cli({"load", example("sales.qxd"), example("sales-2026-12.xml"),
                                "--data-source", db, "--mode", "update"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("表「SALES」には主キーがない"), std::string::npos) << refused.err;
    EXPECT_EQ(test::sqlite3Cli(db, "SELECT count(*) FROM SALE_LINES"), "0\n");

    // A column whose type cannot take its line's values is named before anything is read.
    const std::string dated = dir.file("dated.db");
    test::sqlite3Cli(
        dated,
        "CREATE TABLE SALES (ORDER_NO INTEGER PRIMARY KEY, CUSTOMER TEXT, ORDERED_ON "
        "TEXT); CREATE TABLE SALE_LINES (ORDER_NO INTEGER, LINE_NO INTEGER, SKU TEXT, "
        "PRODUCT TEXT, PRICE TEXT, PRIMARY KEY (ORDER_NO, LINE_NO)); CREATE TABLE "
        "DELIVERIES (ORDER_NO INTEGER, LINE_NO INTEGER, DELIVERY_NO INTEGER, "
        "SHIPPED_ON TEXT, QTY DATETIME, PRIMARY KEY (ORDER_NO, LINE_NO, DELIVERY_NO))");
    const CliRun typed =
        cli({"load", example("sales.qxd"), example("sales-2026-12.xml"), "--data-source", dated});
    EXPECT_EQ(typed.status, 1);
    EXPECT_NE(typed.err.find("表「DELIVERIES」の列「QTY」は日付と時刻の列なので、定義の型「数値型」"
                             "の値は入りません"),
              std::string::npos)
        << typed.err;
    EXPECT_EQ(test::sqlite3Cli(dated, "SELECT count(*) FROM SALES"), "0\n");

    const CliRun unknown = cli({"load", example("sales.qxd"), example("sales-2026-12.xml"),
                                "--data-source", db, "--mode", "merge"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("取り込み方法「merge」はありません"), std::string::npos);
}

// Random documents A and B, loaded one after the other in each mode: the tables hold what the
// orders themselves say A then B should give.
TEST(LoadModes, ASecondLoadHoldsWhatAThenBShouldGive) {
    std::mt19937 rng(20261208);
    for (const Engine& e : engines()) {
        SCOPED_TRACE(e.name);
        TempDir dir;
        const int pairs = std::string(e.name) == "SQLite" ? 40 : 6;
        for (int i = 0; i < pairs && !HasFailure(); ++i) {
            const Orders a = randomOrders(rng), b = randomOrders(rng);
            const std::string docA = dir.write("a.xml", document(a));
            const std::string docB = dir.write("b.xml", document(b));
            for (const char* mode : {"skip", "update", "replace"}) {
                SCOPED_TRACE(document(a) + "then " + mode + "\n" + document(b));
                const CliRun loadedA =
                    loadOn(e, dir, true, {example("sales.qxd"), docA, "--create"});
                ASSERT_EQ(loadedA.status, 0) << loadedA.err;
                const CliRun loadedB =
                    loadOn(e, dir, false, {example("sales.qxd"), docB, "--mode", mode});
                ASSERT_EQ(loadedB.status, 0) << loadedB.err;
                EXPECT_EQ(tables(e), dump(afterwards(a, b, mode)));
            }
        }
    }
}

// Several documents in one load, in the order given, a folder's by name, one of them
// compressed: later documents update what earlier ones loaded; an error in the last leaves
// nothing of any; standard input is a document too.
TEST(LoadModes, SeveralDocumentsAFolderCompressedAndStandardInput) {
    for (const Engine& e : engines()) {
        SCOPED_TRACE(e.name);
        TempDir dir;
        const std::string months = dir.file("months");
        std::filesystem::create_directory(months);
        std::filesystem::copy_file(example("sales-2026-11.xml"), months + "/sales-2026-11.xml");
        test::shell("gzip -c " + test::shellQuote(example("sales-2026-12.xml")) + " > " +
                    test::shellQuote(months + "/sales-2026-12.xml.gz"));
        auto load = [&](std::vector<std::string> args, bool first) {
            args.insert(args.begin(), example("sales.qxd"));
            return loadOn(e, dir, first, args);
        };
        const CliRun both = load({months, "--create", "--mode", "update", "--summary"}, true);
        ASSERT_EQ(both.status, 0) << both.err;
        EXPECT_EQ(both.out,
                  "table\tinserted\tupdated\tskipped\tdeleted\nSALES\t3\t1\t0\t0\n"
                  "SALE_LINES\t5\t0\t0\t2\nDELIVERIES\t5\t0\t0\t2\n");
        EXPECT_NE(both.err.find("sales-2026-12.xml.gz: 2 行"), std::string::npos) << both.err;
        EXPECT_EQ(tables(e), kReloads[1].tables);  // November, then December as an update

        // November again and a damaged document after it: nothing of either stays.
        const std::string whole = test::readFile(months + "/sales-2026-12.xml.gz");
        const std::string cut = dir.write("cut.xml.gz", whole.substr(0, whole.size() / 2));
        const CliRun failed = load({example("sales-2026-11.xml"), cut, "--mode", "replace"}, false);
        EXPECT_EQ(failed.status, 1);
        EXPECT_NE(failed.err.find("cut.xml.gz: 圧縮された文書が途中で終わっています"),
                  std::string::npos)
            << failed.err;
        EXPECT_EQ(tables(e), kReloads[1].tables);
        // The same month twice in one load: the key's first row is named in the first copy.
        const std::string copy = dir.write("again.xml", test::readFile(example("sales-2026-11.xml")));
        const CliRun twice = load({example("sales-2026-11.xml"), copy, "--mode", "replace"}, false);
        EXPECT_EQ(twice.status, 1);
        EXPECT_NE(twice.err.find("again.xml 行 4 列 7: 文書に表「SALES」のキー（ORDER_NO=1001）が"
                                 "同じ行が二つあります（もう一つは sales-2026-11.xml 行 4 列 7）"),
                  std::string::npos)
            << twice.err;
        EXPECT_EQ(tables(e), kReloads[1].tables);
    }
    // Standard input, here a file in its place.
    TempDir dir;
    const std::string db = dir.file("stdin.db");
    const int saved = dup(STDIN_FILENO);
    const int file = open(example("sales-2026-11.xml").c_str(), O_RDONLY);
    dup2(file, STDIN_FILENO);
    const CliRun piped =
        cli({"load", example("sales.qxd"), "-", "--data-source", db, "--new-database", "--create"});
    dup2(saved, STDIN_FILENO);
    close(file);
    close(saved);
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(test::sqlite3Cli(db, "SELECT count(*) FROM DELIVERIES"), "3\n");
    EXPECT_EQ(cli({"load", example("sales.qxd"), "-", "-", "--data-source", db}).status, 2);
}

// A new element of this month's export becomes a new column when asked, in the load's
// transaction: without the switch the load names it, a failed load adds nothing.
TEST(LoadModes, NewLinesBecomeNewColumnsWhenAsked) {
    TempDir dir;
    std::string definition = test::readFile(example("sales.qxd"));
    definition.insert(definition.find("#line-info"),
                      "\\N\t○\t1\tノード\t･･DISCOUNT\t\t数値型\t\\N\t\n");
    definition += "#line-source\t16\tDISCOUNT\n";
    const std::string qxd = dir.write("discount.qxd", definition);
    std::string december = test::readFile(example("sales-2026-12.xml"));
    december.insert(december.rfind("</ROW>"), "<DISCOUNT>5</DISCOUNT>");
    const std::string doc = dir.write("discount.xml", december);
    std::string broken = december;
    broken.replace(broken.rfind("<QTY>1</QTY>"), 12, "<QTY>一</QTY>");
    const std::string bad = dir.write("broken.xml", broken);
    for (const Engine& e : engines()) {
        SCOPED_TRACE(e.name);
        auto load = [&](const std::string& def, const std::string& xml,
                        std::vector<std::string> more, bool first) {
            more.insert(more.begin(), {def, xml});
            return loadOn(e, dir, first, more);
        };
        ASSERT_EQ(
            load(example("sales.qxd"), example("sales-2026-11.xml"), {"--create"}, true).status, 0);
        const std::string discount = R"(SELECT "ORDER_NO", "DISCOUNT" FROM "SALES" ORDER BY 1)";
        const CliRun named = load(qxd, doc, {"--mode", "update"}, false);
        EXPECT_EQ(named.status, 1);
        EXPECT_NE(named.err.find("表「SALES」に列「DISCOUNT」がありません"), std::string::npos)
            << named.err;
        const CliRun failed = load(qxd, bad, {"--mode", "update", "--add-columns"}, false);
        EXPECT_EQ(failed.status, 1);
        EXPECT_EQ(tables(e), kNovember);
        const CliRun added = load(qxd, doc, {"--mode", "update", "--add-columns"}, false);
        if (std::string(e.name) == "MariaDB") {
            // Its ALTER TABLE would commit what came before: refused, nothing changed.
            EXPECT_EQ(added.status, 1);
            EXPECT_NE(added.err.find("先に列を加えてから"), std::string::npos) << added.err;
            EXPECT_EQ(tables(e), kNovember);
            continue;
        }
        ASSERT_EQ(added.status, 0) << added.err;
        EXPECT_NE(added.out.find("表「SALES」に列「DISCOUNT」を加えました。"), std::string::npos)
            << added.out;
        EXPECT_EQ(tables(e), kReloads[1].tables);
        EXPECT_EQ(e.query(discount), "1001|\n1002|\n1003|5\n");
    }
}

// Asked to, a load notes its documents in a table of its own and says when the same content
// went into the same tables before; unasked, it writes nothing of the kind.
TEST(LoadModes, TheSameDocumentTwiceIsNotedWhenAsked) {
    for (const Engine& e : engines()) {
        SCOPED_TRACE(e.name);
        TempDir dir;
        auto load = [&](const std::string& doc, std::vector<std::string> more, bool first) {
            more.insert(more.begin(), {example("sales.qxd"), doc});
            return loadOn(e, dir, first, more);
        };
        const std::string noted = "と同じ内容の文書を、";
        const std::string november = example("sales-2026-11.xml");
        ASSERT_EQ(load(november, {"--create"}, true).status, 0);
        const CliRun first = load(november, {"--mode", "skip", "--remember"}, false);
        ASSERT_EQ(first.status, 0) << first.err;
        EXPECT_EQ(first.out.find(noted), std::string::npos) << first.out;
        const CliRun december =
            load(example("sales-2026-12.xml"), {"--mode", "update", "--remember"}, false);
        ASSERT_EQ(december.status, 0) << december.err;
        EXPECT_EQ(december.out.find(noted), std::string::npos) << december.out;
        const CliRun again = load(november, {"--mode", "update", "--remember"}, false);
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_NE(again.out.find("「sales-2026-11.xml」" + noted), std::string::npos) << again.out;
        EXPECT_EQ(
            e.query(R"(SELECT "document", "rows_read" FROM "quorix_loaded_documents" ORDER BY 1)"),
            "sales-2026-11.xml|2\nsales-2026-12.xml|2\n");
    }
    TempDir dir;
    const std::string db = dir.file("plain.db");
    ASSERT_EQ(cli({"load", example("sales.qxd"), example("sales-2026-11.xml"), "--data-source", db,
                   "--new-database", "--create"})
                  .status,
              0);
    EXPECT_EQ(test::sqlite3Cli(db, "SELECT count(*) FROM sqlite_master WHERE name LIKE 'quorix%'"),
              "0\n");
}
