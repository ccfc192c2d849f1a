// bench_xml_analysis generate ROWS FILE: writes a ROWSET document whose rows differ and nest.
// bench_xml_analysis generate-wide NAMES FILE: one row with that many distinct child names.
// bench_xml_analysis generate-attributes ROWS FILE: the same values as generate, every one an
// attribute (rows of attributes only, as API exports write them); analyse-attributes reads
// them with attributes as lines.
// bench_xml_analysis analyse FILE: the streaming pass, structure template and definition lines,
// as the open command does; prints the number of lines. analyse-tree: the same through the
// whole document in memory, for comparison.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "generation/column_types.h"
#include "quiet_port.h"
#include "xml_analysis/xml_loading.h"

namespace {

// About 100 bytes a row: nested prices, optional elements, typed values.
int generate(long rows, const char* file) {
    std::ofstream out(file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<ROWSET xmlns:dt=\"urn:schemas-microsoft-com:datatypes\">\n";
    for (long i = 0; i < rows; ++i) {
        out << "<ROW><ID dt:dt=\"int\">" << i << "</ID><NAME>P" << i << "</NAME>";
        if (i % 3 == 0) out << "<CAT>k&amp;t</CAT>";
        out << "<PRICES>";
        for (int p = 0; p < 1 + i % 2; ++p)
            out << "<PRICE><L>" << p << "</L><A>" << (i * 7 + p) % 1000 << "</A>"
                << (p == 1 ? "<CUR>JPY</CUR>" : "") << "</PRICE>";
        out << "</PRICES>";
        if (i % 5 == 0) out << "<NOTE>n" << i << "</NOTE>";
        if (i % 7 == 0) out << "<STOCK><W>" << i % 4 << "</W></STOCK>";
        out << "</ROW>\n";
    }
    out << "</ROWSET>\n";
    return out ? 0 : 1;
}

// The values of generate() as attributes: the row's own, and those of its prices.
int generateAttributes(long rows, const char* file) {
    std::ofstream out(file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ROWSET>\n";
    for (long i = 0; i < rows; ++i) {
        out << "<ROW ID=\"" << i << "\" NAME=\"P" << i << "\"";
        if (i % 3 == 0) out << " CAT=\"k&amp;t\"";
        if (i % 5 == 0) out << " NOTE=\"n" << i << "\"";
        out << ">";
        for (int p = 0; p < 1 + i % 2; ++p)
            out << "<PRICE L=\"" << p << "\" A=\"" << (i * 7 + p) % 1000 << "\""
                << (p == 1 ? " CUR=\"JPY\"" : "") << "/>";
        out << "</ROW>\n";
    }
    out << "</ROWSET>\n";
    return out ? 0 : 1;
}

// One row with @p names distinct child elements: the template must stay linear.
int generateWide(long names, const char* file) {
    std::ofstream out(file);
    out << "<ROWSET><ROW>";
    for (long i = 0; i < names; ++i) out << "<C" << i << ">v</C" << i << ">";
    out << "</ROW></ROWSET>\n";
    return out ? 0 : 1;
}

// The open command's work: one streaming pass into the template, then the definition lines.
int analyse(const char* file, bool tree, bool evidence = true, bool attributes = false) {
    QuietPort port;
    std::unique_ptr<quorix::StructureTemplate> tmpl;
    if (tree) {
        quorix::XmlDocument doc;
        if (!doc.load(file)) {
            std::fprintf(stderr, "%s\n", doc.parseError().reason.c_str());
            return 1;
        }
        tmpl = quorix::BuildStructureTemplate(doc, "ROWSET", "ROW", port);
    } else {
        tmpl = quorix::ReadStructureTemplate(file, "ROWSET", "ROW", port, {}, evidence, attributes);
    }
    if (!tmpl) {
        std::fprintf(stderr, "%s\n", port.status().c_str());
        return 1;
    }
    auto table = quorix::FillDefinitionTable(
        *tmpl, [](const std::string& t) { return quorix::DBDatatype("access", t); }, "･･",
        "ﾃｷｽﾄ型");
    std::printf("%d\n", table->records().recordCount());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 4) return generate(std::atol(argv[2]), argv[3]);
    if (mode == "generate-wide" && argc == 4) return generateWide(std::atol(argv[2]), argv[3]);
    if (mode == "analyse" && argc == 3) return analyse(argv[2], false);
    if (mode == "analyse-tree" && argc == 3) return analyse(argv[2], true);
    if (mode == "analyse-noevidence" && argc == 3) return analyse(argv[2], false, false);
    if (mode == "generate-attributes" && argc == 4)
        return generateAttributes(std::atol(argv[2]), argv[3]);
    if (mode == "analyse-attributes" && argc == 3) return analyse(argv[2], false, true, true);
    std::fprintf(stderr,
                 "usage: bench_xml_analysis generate ROWS FILE | generate-wide NAMES FILE | "
                 "analyse FILE | analyse-noevidence FILE | analyse-tree FILE | "
                 "generate-attributes ROWS FILE | analyse-attributes FILE\n");
    return 2;
}
