// bench_loading prepare ROWS DIR [DBTYPE]: writes DIR/doc.xml (nested rows, as the XML benchmark
// generates them) and DIR/doc.qxd, its definition as a user would shape it: proposed types,
// nested keys linked, a table name on the first line of every group. quorix-cli loads them;
// the reference imports the same rows from per-table CSV files.
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

}  // namespace

int main(int argc, char** argv) {
    using namespace quorix;
    if ((argc != 4 && argc != 5) || std::string(argv[1]) != "prepare") {
        std::fprintf(stderr, "usage: bench_loading prepare ROWS DIR [DBTYPE]\n");
        return 2;
    }
    const std::string dir = argv[3];
    DefinitionContext context;
    if (argc == 5) context.dbType = argv[4];
    generate(std::atol(argv[2]), dir + "/doc.xml");
    QuietPort port;
    auto tmpl = ReadStructureTemplate(dir + "/doc.xml", "ROWSET", "ROW", port);
    if (!tmpl) {
        std::fprintf(stderr, "bench_loading: %s\n", port.status().c_str());
        return 1;
    }
    auto table = FillDefinitionTable(
        *tmpl, [&](const std::string& t) { return DBDatatype(context.dbType, t); }, "･･",
        typeNamesFor(context.dbType).at(0));
    applyProposals(*table, context.dbType, ProposalScope::All);
    linkNestedKeys(*table, context.dbType);
    nameTables(*table);
    const std::string error = saveDefinitionFile(dir + "/doc.qxd", *table, context);
    if (!error.empty()) {
        std::fprintf(stderr, "bench_loading: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
