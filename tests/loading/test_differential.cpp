// The loader against an independent reading: the whole document in memory (the DOM), the
// definition's groups and sources walked directly, for the examples and generated documents.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "generation/table_creation.h"
#include "loading/document_loader.h"
#include "loading/key_links.h"
#include "services/db/postgresql/postgresql_engine.h"
#include "services/xml/xml_document.h"
#include "support/fake_port.h"
#include "support/test_support.h"
#include "xml_analysis/xml_loading.h"

using namespace quorix;
using quorix::test::TempDir;

namespace {

std::vector<std::string> parts(const std::string& path) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < path.size()) {
        const auto slash = path.find('/', start);
        out.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return out;
}

// The elements below @p node along @p names.
std::vector<XmlNode> below(const XmlNode& node, const std::vector<std::string>& names,
                           std::size_t from = 0) {
    if (from == names.size()) return {node};
    std::vector<XmlNode> out;
    for (XmlNode c = node.firstElementChild(); !c.isNull(); c = c.nextElementSibling())
        if (c.nodeName() == names[from])
            for (const XmlNode& n : below(c, names, from + 1)) out.push_back(n);
    return out;
}

// quote() of sqlite3 for a value: NULL or the text in quotes.
std::string quoted(const std::optional<std::string>& v) {
    if (!v) return "NULL";
    std::string s = "'";
    for (char c : *v) s += c == '\'' ? "''" : std::string(1, c);
    return s + "'";
}

std::optional<std::string> valueOf(const XmlNode& e) {
    if (e.getAttribute("xsi:nil") == std::optional<std::string>("true")) return std::nullopt;
    std::string text;
    for (XmlNode c = e.firstChild(); !c.isNull(); c = c.nextSibling())
        if (c.nodeType() == 3 || c.nodeType() == 4) text += c.text();
    if (!e.firstElementChild().isNull() && text.find_first_not_of(" \t\r\n") == std::string::npos)
        return std::nullopt;
    return text;
}

std::string relative(const std::string& path, const std::string& base) {
    return base.empty() ? path : path.size() > base.size() ? path.substr(base.size() + 1) : "";
}

// What each table should hold, by table name: its rows as sqlite3 prints quote() of each column.
struct Expected {
    std::map<std::string, std::string> tables;
    std::map<std::string, long long> numbers;  // the last generated number of each table
    bool quotedNumbers = false;                // the servers print numbers in quotes

    void group(std::span<const std::unique_ptr<LayoutColumn>> group, const XmlNode& record,
               const std::string& recordPath, const std::vector<std::string>& keys) {
        std::string line;
        for (const auto& k : keys) line += k + "|";
        std::vector<std::string> values;
        const std::string& table = *group.front()->table;
        for (const auto& c : group) {
            if (c->prop == std::optional<std::string>("AutoIncrement,true")) {
                const std::string n = std::to_string(++numbers[table]);
                values.push_back(quotedNumbers ? "'" + n + "'" : n);
                continue;
            }
            std::vector<std::string> path =
                c->source ? parts(relative(*c->source, recordPath)) : std::vector<std::string>{};
            // An attribute line: the attribute of the element its path ends at.
            std::optional<std::string> attribute;
            if (!path.empty() && path.back()[0] == '@') {
                attribute = path.back().substr(1);
                path.pop_back();
            }
            const auto found = c->source ? below(record, path) : std::vector<XmlNode>{};
            values.push_back(quoted(found.empty() ? std::nullopt
                                    : attribute  ? found[0].getAttribute(*attribute)
                                                 : valueOf(found[0])));
        }
        for (const auto& v : values) line += v + "|";
        line.back() = '\n';
        tables[table] += line;
        for (std::size_t i = 0; i < group.size(); ++i)
            for (const auto& nestedGroup : groupsOf(*group[i])) {
            const LayoutColumn& c = *group[i];
            // Where the nested lines, and the lines below them, meet.
            std::string nested;
            bool first = true;
            std::vector<const LayoutColumn*> lines;
            for (const auto& n : nestedGroup) lines.push_back(n.get());
            for (std::size_t k = 0; k < lines.size(); ++k)
                for (const auto& m : lines[k]->children) lines.push_back(m.get());
            for (const LayoutColumn* n : lines) {
                if (!n->source) continue;
                if (first) nested = *n->source;
                first = false;
                while (!(nested.empty() || *n->source == nested ||
                         n->source->rfind(nested + "/", 0) == 0))
                    nested = nested.find('/') == std::string::npos
                                 ? ""
                                 : nested.substr(0, nested.rfind('/'));
            }
            std::vector<std::string> inner = keys;
            inner.push_back(values[i]);
            for (const XmlNode& r : below(record, parts(relative(nested, recordPath))))
                this->group(nestedGroup, r, nested, inner);
            }
    }
};

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Where a comparison loads: a new SQLite file, or the tables of a server database.
struct Target {
    std::string dbType = "access";
    std::string textType = "ﾒﾓ型";
};

// Loads @p xml with a definition made from it (nested keys linked, every column text) and
// compares every table with the independent reading.
void compare(const std::string& path, const std::string& label, const Target& target = {}) {
    SCOPED_TRACE(label);
    test::RecordingPort<> port;
    auto tmpl = ReadStructureTemplate(path, "ROWSET", "ROW", port, {}, true, true);
    ASSERT_TRUE(tmpl) << port.statusText;
    auto table = FillDefinitionTable(
        *tmpl, [&](const std::string&) { return target.textType; }, "･･", target.textType);
    linkNestedKeys(*table, target.dbType);
    nameTables(*table);
    RecordSet& rs = table->records();
    for (int r = 0; r < rs.recordCount(); ++r) {
        rs.setCurrentRow(r);
        // Every line of the document text; the generated numbers stay numbers.
        if (!rs.text(Field::kGenerate).empty()) rs.setValue(Field::kType, target.textType);
    }
    LayoutResult layout = buildTableLayout(*table, target.dbType, "･･");
    ASSERT_EQ(layout.outcome, LayoutResult::Outcome::Done) << layout.message;

    TempDir dir;
    const std::string db = dir.file("d.mdb");
    const bool server = target.dbType == "postgresql";
    const bool mariadb = target.dbType == "mysql";
    test::PostgresServer* pg = server ? &test::PostgresServer::instance() : nullptr;
    Connection connection;
    if (server) {
        pg->psql("quorix_diff", "DROP SCHEMA public CASCADE; CREATE SCHEMA public");
        connection.setConnectionString("Provider=PostgreSQL;Data Source=" +
                                       pg->dataSource("quorix_diff"));
    } else if (mariadb) {
        test::MariaDbServer::instance().freshDatabase("quorix_diff");
        connection.setConnectionString("Provider=MariaDB;Data Source=\"" +
                                       test::MariaDbServer::instance().dataSource("quorix_diff") +
                                       "\";User ID=root");
    } else {
        Catalog().create("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db);
        connection.setConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db);
    }
    connection.open();
    Catalog catalog;
    catalog.setActiveConnection(&connection);
    LoadRequest request;
    request.documentPath = path;
    request.createTables = true;
    request.dbType = target.dbType;
    const LoadResult loaded = loadDocument(*layout.layout, request, connection, catalog);
    ASSERT_TRUE(loaded.ok) << loaded.message;
    connection.close();

    XmlDocument doc;
    ASSERT_TRUE(doc.load(path));
    Expected expected;
    expected.quotedNumbers = server || mariadb;
    for (const XmlNode& row : doc.getElementsByTagName("ROW")) {
        if (row.parentNode().nodeName() != "ROWSET") continue;
        expected.group(groupsOf(layout.layout->root).front(), row, "", {});
    }
    for (const TableDefinition& t : layoutTables(*layout.layout)) {
        if (mariadb) {
            // Rows in key order there: both sides sorted.
            std::string columns;
            for (const auto& c : t.columns) columns += (columns.empty() ? "" : ", ") + ("QUOTE(`" + c.name + "`)");
            const std::string got = test::MariaDbServer::instance().sql(
                "quorix_diff", "SELECT CONCAT_WS('|', " + columns + ") FROM `" + t.name + "`");
            EXPECT_EQ(sortedLines(got), sortedLines(expected.tables[t.name])) << t.name;
            continue;
        }
        // quote() of sqlite3 and quote_nullable() of the server print values alike.
        std::string columns;
        for (const auto& c : t.columns)
            columns += (columns.empty() ? "" : ", ") +
                       (std::string(server ? "quote_nullable" : "quote") + "(\"" + c.name + "\")");
        const std::string select = "SELECT " + columns + " FROM \"" + t.name + "\"";
        EXPECT_EQ(server ? pg->psql("quorix_diff", select + " ORDER BY ctid")
                         : test::sqlite3Cli(db, select + " ORDER BY rowid"),
                  expected.tables[t.name])
            << t.name;
    }
}

std::string randomDocument(std::mt19937& rng) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const char* values[] = {"", "007", "a&amp;b", " sp ", "漢字", "x", "&lt;t&gt;", "0"};
    auto value = [&] { return std::string(values[pick(8)]) + std::to_string(pick(1000)); };
    std::string out = "<ROWSET xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'>\n";
    const int rows = 1 + pick(6);
    for (int r = 0; r < rows; ++r) {
        // Attributes beside elements; one named as an element is, told apart by "@".
        // The row's first line is its attribute id, its key; v comes and goes.
        out += "<ROW id='" + std::to_string(r) + (pick(2) ? "' v='" + value() : std::string()) +
               "'>";
        out += "<K>" + std::to_string(r) + "</K>";
        if (pick(3)) out += "<A>" + value() + "</A>";
        if (pick(4) == 0)
            out += "<B/>";
        else if (pick(4) == 0)
            out += "<B xsi:nil='true'/>";
        out += "<W>";
        for (int x = pick(4); x-- > 0;) {
            // The first line of X's table is its attribute P, so every X has it.
            out += "<X P='" + value() + (pick(3) ? "' n='" + value() : std::string()) + "'>";
            out += "<P>" + value() + "</P>";
            if (pick(2)) out += "<Q><![CDATA[" + value() + "]]></Q>";
            for (int y = pick(3); y-- > 0;) out += "<Y><Z>" + value() + "</Z></Y>";
            out += "</X>";
        }
        out += "</W>";
        // A second repeated child of the row: a second table keyed to it.
        for (int z = pick(3); z-- > 0;) out += "<S><T>" + value() + "</T><U>" + value() + "</U></S>";
        out += "</ROW>\n";
    }
    return out + "</ROWSET>\n";
}

}  // namespace

TEST(LoadingDifferential, AServerHoldsWhatTheDocumentSaysToo) {
    test::PostgresServer::instance().freshDatabase("quorix_diff");
    // Tiny COPY buffers: the tables take turns on the one connection all the time.
    const std::size_t before = PostgresEngine::copyBufferBytes;
    PostgresEngine::copyBufferBytes = 64;
    const Target server{"postgresql", "text"};
    for (const char* example : {"orders.xml", "products.xml", "staff_sjis.xml"})
        compare(std::string(QUORIX_EXAMPLES) + "/" + example, example, server);
    TempDir dir;
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) {
        const std::string xml = randomDocument(rng);
        compare(dir.write("random.xml", xml), xml, server);
        if (HasFailure()) break;
    }
    PostgresEngine::copyBufferBytes = before;
    // MariaDB's bulk path, in batches of a few rows so that each table sends many.
    const Target mariadb{"mysql", "varchar"};
    for (const char* example : {"orders.xml", "products.xml"})
        compare(std::string(QUORIX_EXAMPLES) + "/" + example, example, mariadb);
    std::mt19937 again(11);
    for (int i = 0; i < 15 && !HasFailure(); ++i)
        compare(dir.write("random.xml", randomDocument(again)), "mariadb random", mariadb);
}

TEST(LoadingDifferential, TablesHoldWhatTheDocumentSays) {
    for (const char* example : {"orders.xml", "products.xml", "staff_sjis.xml"})
        compare(std::string(QUORIX_EXAMPLES) + "/" + example, example);
    TempDir dir;
    std::mt19937 rng(20261207);
    for (int i = 0; i < 300; ++i) {
        const std::string xml = randomDocument(rng);
        compare(dir.write("random.xml", xml), xml);
        if (HasFailure()) break;
    }
}
