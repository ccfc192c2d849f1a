// bench_loading prepare ROWS DIR [DBTYPE]: writes DIR/doc.xml (nested rows, as the XML benchmark
// generates them) and DIR/doc.qxd, its definition as a user would shape it: proposed types,
// nested keys linked, a table name on the first line of every group. quorix-cli loads them;
// the reference imports the same rows from per-table CSV files.
// bench_loading typed ROWS DIR DBTYPE flat|nested: DIR/doc.xml of rows of every kind of value
// (and three nested items each), and DIR/doc.qxd as above.
// bench_loading reload ROWS DIR [DBTYPE]: DIR/a.xml, ROWS orders of three lines each, and
// DIR/b.xml, ROWS orders of which the second half of a.xml's (with other values) and as many
// new ones; DIR/doc.qxd keys the orders by their number and the lines by order and line.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "definition_file/definition_file.h"
#include "generation/column_types.h"
#include "generation/type_proposal.h"
#include "loading/key_links.h"
#include "quiet_port.h"
#include "xml_analysis/xml_loading.h"

namespace {

void generate(long rows, const std::string& file) {
    std::ofstream out(file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ROWSET>\n";
    for (long i = 0; i < rows; ++i) {
        out << "<ROW><ID>" << i << "</ID><NAME>P" << i << "</NAME>";
        if (i % 3 == 0) out << "<CAT>k&amp;t</CAT>";
        out << "<PRICES>";
        for (int p = 0; p < 1 + i % 5; ++p)
            out << "<PRICE><L>" << p << "</L><A>" << (i * 7 + p) % 1000 << "</A>"
                << (p == 1 ? "<CUR>JPY</CUR>" : "") << "</PRICE>";
        out << "</PRICES>";
        if (i % 5 == 0) out << "<NOTE>n" << i << "</NOTE>";
        out << "</ROW>\n";
    }
    out << "</ROWSET>\n";
}

// Orders [first, first + count) with three lines each; @p edition changes the values.
void generateOrders(long first, long count, int edition, const std::string& file) {
    static const char* const customers[] = {"佐藤商事株式会社", "加藤工務店", "株式会社山田建設",
                                            "Suzuki Trading Co., Ltd.", "有限会社たなか"};
    static const char* const products[] = {"ステンレスボルト M6×20", "化粧板 910×1820",
                                           "木ねじ 3.8×25（100本入）", "電動ドリル 18V",
                                           "Hex key set, 9 pieces"};
    std::ofstream out(file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ROWSET>\n";
    char buffer[64];
    for (long i = first; i < first + count; ++i) {
        out << "<ROW><ORDER_NO>" << 100000 + i << "</ORDER_NO><LINES>";
        for (int l = 1; l <= 3; ++l) {
            const long v = i * 7 + l + edition;
            std::snprintf(buffer, sizeof buffer, "%ld.%02ld", 10 + v % 9000, v % 100);
            out << "<LINE><LINE_NO>" << l << "</LINE_NO><SKU>P-" << 1000 + v % 8000
                << "</SKU><PRODUCT>" << products[v % 5] << "</PRODUCT><QTY>" << 1 + v % 40
                << "</QTY><PRICE>" << buffer << "</PRICE><SHIPPED_ON>2026-"
                << (edition ? "12" : "11") << "-" << 10 + v % 18 << "</SHIPPED_ON></LINE>";
        }
        out << "</LINES><CUSTOMER>" << customers[(i + edition) % 5]
            << "</CUSTOMER><ORDERED_ON>2026-11-" << 10 + i % 18 << "T09:" << 10 + i % 50
            << ":00</ORDERED_ON><NOTE>" << (edition ? "十二月の訂正分。" : "十一月の注文分。")
            << "お届けは平日の午前中を希望。"
            << "</NOTE></ROW>\n";
    }
    out << "</ROWSET>\n";
}

// Rows whose values look like an export's: integers, decimals of 2 and 4 places, dates,
// date-times with a zone, booleans, short codes, Japanese names and long text; @p nested adds
// three item rows to each.
void generateTyped(long rows, bool nested, const std::string& file) {
    static const char* const names[] = {"株式会社山田建設 第二営業部", "佐藤商事株式会社",
                                        "有限会社たなか（東京支店）", "Suzuki Trading Co., Ltd.",
                                        "加藤工務店 本社・資材課"};
    static const char* const items[] = {"ステンレスボルト M6×20", "化粧板 910×1820",
                                        "木ねじ 3.8×25（100本入）", "電動ドリル 18V",
                                        "Hex key set, 9 pieces"};
    const std::string memo =
        "納品は平日の午前中、正門の守衛所で受付を済ませてから搬入してください。"
        "Delivery on weekdays before noon; check in at the main gate first. 伝票は二部。";
    std::FILE* out = std::fopen(file.c_str(), "w");
    if (!out) return;
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ROWSET>\n", out);
    for (long i = 0; i < rows; ++i) {
        const long v = i * 7919 % 1000003;
        std::fprintf(out,
                     "<ROW><ID>%ld</ID><CODE>C-%06ld</CODE><AMOUNT>%ld.%02ld</AMOUNT>"
                     "<RATE>0.%04ld</RATE><ORDERED_ON>2026-%02ld-%02ld</ORDERED_ON>"
                     "<UPDATED_AT>2026-%02ld-%02ldT%02ld:%02ld:%02ld+09:00</UPDATED_AT>"
                     "<ACTIVE>%s</ACTIVE><NAME>%s</NAME><MEMO>%s%ld</MEMO>",
                     i + 1, v % 1000000, v % 100000, v % 100, v % 10000, 1 + v % 12, 1 + v % 28,
                     1 + i % 12, 1 + i % 28, i % 24, i % 60, v % 60, v % 3 ? "true" : "false",
                     names[v % 5], memo.c_str(), v);
        if (nested) {
            std::fputs("<ITEMS>", out);
            for (int l = 1; l <= 3; ++l)
                std::fprintf(out,
                             "<ITEM><LINE_NO>%d</LINE_NO><SKU>P-%04ld</SKU><PRODUCT>%s</PRODUCT>"
                             "<QTY>%ld</QTY><PRICE>%ld.%02ld</PRICE>"
                             "<SHIP_ON>2026-12-%02ld</SHIP_ON></ITEM>",
                             l, (v + l) % 10000, items[(v + l) % 5], 1 + (v + l) % 40,
                             10 + (v * l) % 9000, (v + l) % 100, 1 + (v + l) % 28);
            std::fputs("</ITEMS>", out);
        }
        std::fputs("</ROW>\n", out);
    }
    std::fputs("</ROWSET>\n", out);
    std::fclose(out);
}

// Writes DIR/doc.qxd: the definition of @p document with proposed types, shaped by @p shape;
// the exit status.
int writeDefinition(const std::string& dir, const std::string& document,
                    const quorix::DefinitionContext& context,
                    const std::function<void(quorix::DefinitionTable&)>& shape) {
    using namespace quorix;
    QuietPort port;
    auto tmpl = ReadStructureTemplate(document, "ROWSET", "ROW", port);
    if (!tmpl) {
        std::fprintf(stderr, "bench_loading: %s\n", port.status().c_str());
        return 1;
    }
    auto table = FillDefinitionTable(
        *tmpl, [&](const std::string& t) { return DBDatatype(context.dbType, t); }, "･･",
        typeNamesFor(context.dbType).at(0));
    applyProposals(*table, context.dbType, ProposalScope::All);
    shape(*table);
    const std::string error = saveDefinitionFile(dir + "/doc.qxd", *table, context);
    if (!error.empty()) {
        std::fprintf(stderr, "bench_loading: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

// The orders as a user shapes them for reloading: the wrappers excluded, the orders keyed by
// their number and the lines by order and line number.
void shapeForReloading(quorix::DefinitionTable& table) {
    using namespace quorix;
    RecordSet& rs = table.records();
    for (int r = 0; r < rs.recordCount(); ++r) {
        rs.setCurrentRow(r);
        std::string tag = rs.text(Field::kTagName);
        tag.erase(0, tag.find_first_not_of("･"));
        if (tag == "LINES" || tag == "LINE")
            rs.setValue(Field::kGenerate, std::string(Flag::kExclude));
        if (tag == "ORDER_NO") rs.setValue(Field::kTableName, std::string("ORDERS"));
        if (tag == "LINE_NO") rs.setValue(Field::kTableName, std::string("ORDER_LINES"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quorix;
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc < 4 || argc > 6 ||
        (command != "prepare" && command != "reload" && command != "typed")) {
        std::fprintf(stderr,
                     "usage: bench_loading prepare|reload ROWS DIR [DBTYPE]\n"
                     "       bench_loading typed ROWS DIR DBTYPE flat|nested\n");
        return 2;
    }
    const std::string dir = argv[3];
    DefinitionContext context;
    if (argc >= 5) context.dbType = argv[4];
    if (command == "typed") {
        const bool nested = argc == 6 && std::string(argv[5]) == "nested";
        generateTyped(std::atol(argv[2]), nested, dir + "/doc.xml");
        return writeDefinition(dir, dir + "/doc.xml", context, [&](DefinitionTable& table) {
            linkNestedKeys(table, context.dbType);
            nameTables(table);
        });
    }
    if (command == "reload") {
        const long rows = std::atol(argv[2]);
        generateOrders(0, rows, 0, dir + "/a.xml");
        generateOrders(rows / 2, rows, 1, dir + "/b.xml");
        return writeDefinition(dir, dir + "/a.xml", context, shapeForReloading);
    }
    generate(std::atol(argv[2]), dir + "/doc.xml");
    return writeDefinition(dir, dir + "/doc.xml", context, [&](DefinitionTable& table) {
        linkNestedKeys(table, context.dbType);
        nameTables(table);
    });
}
