#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "generation/column_types.h"
#include "services/db/engine/service_error.h"
#include "support/fake_port.h"
#include "support/test_support.h"
#include "xml_analysis/xml_loading.h"

using namespace quorix;
using quorix::test::testData;

namespace {

// The template as "name(type)[children]" text, for compact comparisons.
std::string shape(const TemplateNode& n) {
    std::string s = n.name;
    if (n.type) s += "(" + *n.type + ")";
    if (!n.children.empty()) {
        s += "[";
        for (std::size_t i = 0; i < n.children.size(); ++i)
            s += (i ? "," : "") + shape(*n.children[i]);
        s += "]";
    }
    return s;
}

std::string templateOf(const std::string& xml, const std::string& rowset = "ROWSET",
                       const std::string& row = "ROW") {
    XmlDocument doc;
    EXPECT_TRUE(doc.loadXml(xml)) << doc.parseError().reason;
    test::RecordingPort<> port;
    auto t = BuildStructureTemplate(doc, rowset, row, port);
    return t ? shape(t->root()) : "<none>:" + port.statusText;
}

std::vector<std::string> lines(const DefinitionTable& table) {
    std::vector<std::string> out;
    RecordSet& rs = const_cast<DefinitionTable&>(table).records();
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        out.push_back(rs.text(Field::kGenerate) + "|" + rs.text(Field::kLevel) + "|" +
                      rs.text(Field::kTagName) + "|" + rs.text(Field::kType) + "|" +
                      rs.text(Field::kKind) + "|" + rs.text(Field::kColumnName) + "|" +
                      rs.text(Field::kTableName) + "|" +
                      (rs.isNull(Field::kSize) ? "null" : "set"));
    return out;
}

std::unique_ptr<DefinitionTable> fill(const StructureTemplate& t,
                                      const std::string& chooser = "ﾃｷｽﾄ型") {
    return FillDefinitionTable(
        t, [](const std::string& x) { return DBDatatype("access", x); }, "･･", chooser);
}

}  // namespace

TEST(StructureTemplate, WorkedExampleFromAFile) {
    XmlDocument doc;
    ASSERT_TRUE(doc.load(testData("worked_example.xml")));
    test::RecordingPort<> port;
    auto t = BuildStructureTemplate(doc, "ROWSET", "ROW", port);
    ASSERT_TRUE(t);
    EXPECT_EQ(shape(t->root()), "ROW[A,B[C,D],E(int)]");
    EXPECT_EQ(port.beeps, 0);

    auto table = fill(*t);
    EXPECT_EQ(table->records().absolutePosition(), 1);
    EXPECT_EQ(lines(*table), (std::vector<std::string>{
                                 "－|0|ROW|ﾃｷｽﾄ型|ノード|||null",
                                 "○|1|･･A|ﾃｷｽﾄ型|ノード|||null",
                                 "○|1|･･B|ﾃｷｽﾄ型|ノード|||null",
                                 "○|2|････C|ﾃｷｽﾄ型|ノード|||null",
                                 "○|2|････D|ﾃｷｽﾄ型|ノード|||null",
                                 "○|1|･･E|数値型|ノード|||null",
                             }));
}

TEST(StructureTemplate, MergeRules) {
    const std::pair<std::string, std::string> cases[] = {
        // The rowset may be the document element; order of first appearance.
        {"<ROWSET><ROW><A/><B/></ROW><ROW><B/><C/></ROW></ROWSET>", "ROW[A,B,C]"},
        {"<ROWSET><ROW><B/><A/></ROW><ROW><A/><B/></ROW></ROWSET>", "ROW[B,A]"},
        // Only the first occurrence gives the type.
        {"<ROWSET xmlns:dt='urn:schemas-microsoft-com:datatypes'><ROW><A/></ROW>"
         "<ROW><A dt:dt='int'/><B dt:dt='boolean'/></ROW></ROWSET>",
         "ROW[A,B(boolean)]"},
        // A nested row is merged as a path and as a row of its own.
        {"<ROWSET><ROW><A><ROW><X/></ROW></A></ROW></ROWSET>", "ROW[A[ROW[X]],X]"},
        // Text only, comments and processing instructions add nothing.
        {"<ROWSET><ROW>text</ROW><ROW><!--c--><?pi x?>t<A/></ROW></ROWSET>", "ROW[A]"},
        {"<ROWSET><ROW>only text</ROW></ROWSET>", "ROW"},
        // Prefixes stay part of the name.
        {"<d><ROWSET><ROW xmlns:p='u'><p:A/><A/></ROW></ROWSET></d>", "ROW[p:A,A]"},
        {"<ROWSET><ROW><a1><a2><a3><a4><a5><a6><a7><a8><a9><a10/></a9></a8></a7></a6></a5>"
         "</a4></a3></a2></a1></ROW></ROWSET>",
         "ROW[a1[a2[a3[a4[a5[a6[a7[a8[a9[a10]]]]]]]]]]"},
        {"<ROWSET><ROW><A><B/></A><A><C/></A></ROW></ROWSET>", "ROW[A[B,C]]"},
        // Elements inside an internal entity are part of the row.
        {"<!DOCTYPE ROWSET [<!ENTITY e '<inent/>'>]><ROWSET><ROW>&e;<b/></ROW></ROWSET>",
         "ROW[inent,b]"},
    };
    for (const auto& [xml, expected] : cases) EXPECT_EQ(templateOf(xml), expected) << xml;
}

TEST(StructureTemplate, MissingTags) {
    EXPECT_EQ(templateOf("<rowset><ROW/></rowset>"),
              "<none>:XML文書内にルートタグ「ROWSET」がありません。");
    EXPECT_EQ(templateOf("<ROWSET><row><A/></row></ROWSET>"),
              "<none>:XML文書内に行タグ「ROW」がありません。");
    // The rowset element itself is not one of its rows.
    EXPECT_EQ(templateOf("<ROW><A/></ROW>", "ROW", "ROW"),
              "<none>:XML文書内に行タグ「ROW」がありません。");
    EXPECT_EQ(templateOf("<data><ROWSET/><ROWSET><ROW><A/></ROW></ROWSET></data>"),
              "<none>:XML文書内に行タグ「ROW」がありません。");
}

TEST(DefinitionRows, TypesAndChooserText) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.loadXml("<ROWSET xmlns:dt='urn:schemas-microsoft-com:datatypes'><ROW>"
                    "<A dt:dt='dateTime'/><B dt:dt='r8'/><C/><D dt:dt='i4'/></ROW></ROWSET>"));
    test::RecordingPort<> port;
    auto t = BuildStructureTemplate(doc, "ROWSET", "ROW", port);
    auto table = fill(*t, "数値型");
    auto l = lines(*table);
    ASSERT_EQ(l.size(), 5u);
    EXPECT_EQ(l[0], "－|0|ROW|数値型|ノード|||null");
    EXPECT_EQ(l[1], "○|1|･･A|日付/時刻型|ノード|||null");
    EXPECT_EQ(l[2], "○|1|･･B|ﾃｷｽﾄ型|ノード|||null");
    EXPECT_EQ(l[3], "○|1|･･C|数値型|ノード|||null");
    EXPECT_EQ(l[4], "○|1|･･D|数値型|ノード|||null");
}

TEST(DefinitionRows, ATagNameThatDoesNotFitIsRefusedNotCut) {
    const std::string longName(199, 'x');
    XmlDocument doc;
    ASSERT_TRUE(doc.loadXml("<ROWSET><ROW><" + longName + "/></ROW></ROWSET>"));
    test::RecordingPort<> port;
    auto t = BuildStructureTemplate(doc, "ROWSET", "ROW", port);
    EXPECT_THROW(fill(*t), ServiceError);
}

TEST(StructureTemplate, WideRowsKeepEveryNameOnceInOrder) {
    // Many distinct names, each repeated once in a second row in reverse order.
    const int n = 20000;
    std::string xml = "<ROWSET><ROW>";
    for (int i = 0; i < n; ++i) xml += "<C" + std::to_string(i) + "/>";
    xml += "</ROW><ROW>";
    for (int i = n; i-- > 0;)
        xml += "<C" + std::to_string(i) + "><D/></C" + std::to_string(i) + ">";
    xml += "</ROW></ROWSET>";
    XmlDocument doc;
    ASSERT_TRUE(doc.loadXml(xml));
    test::RecordingPort<> port;
    auto t = BuildStructureTemplate(doc, "ROWSET", "ROW", port);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->root().children.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(t->root().children[123]->name, "C123");
    EXPECT_EQ(shape(*t->root().children[n - 1]), "C" + std::to_string(n - 1) + "[D]");
    auto table = FillDefinitionTable(
        *t, [](const std::string& x) { return x; }, "･･", "ﾃｷｽﾄ型");
    const auto all = lines(*table);
    ASSERT_EQ(all.size(), static_cast<std::size_t>(2 * n + 1));
    EXPECT_EQ(all[1].rfind("○|1|･･C0|", 0), 0u) << all[1];
    EXPECT_EQ(all[2].rfind("○|2|････D|", 0), 0u) << all[2];
    EXPECT_EQ(all[3].rfind("○|1|･･C1|", 0), 0u) << all[3];
}

namespace {

// The template of a file by the streaming pass, or the status it reported.
std::string streamed(const std::string& path) {
    test::RecordingPort<> port;
    auto t = ReadStructureTemplate(path, "ROWSET", "ROW", port);
    return t ? shape(t->root()) : "<none>:" + port.statusText;
}

// The same through the whole document in memory.
std::string fromTree(const std::string& path) {
    XmlDocument doc;
    if (!doc.load(path)) return "<none>:" + parseErrorText(doc.parseError());
    test::RecordingPort<> port;
    auto t = BuildStructureTemplate(doc, "ROWSET", "ROW", port);
    return t ? shape(t->root()) : "<none>:" + port.statusText;
}

// A random document: nesting, optional and repeated elements, nested rows, declared types,
// prefixes, text, comments, a rowset that may not be the root.
std::string randomDocument(std::mt19937& rng) {
    const char* names[] = {"A", "B", "C", "ROW", "p:D", "ROWSET", "E"};
    const char* types[] = {"int", "string", "dateTime", "boolean"};
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::string out = "<?xml version='1.0'?>\n";
    const bool wrapped = pick(3) == 0;
    if (wrapped) out += "<doc><A><ROW><X/></ROW></A>";
    out +=
        "<ROWSET xmlns:dt='urn:schemas-microsoft-com:datatypes' xmlns:p='urn:p' "
        "xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'>";
    std::function<void(int)> element = [&](int depth) {
        const std::string name = names[pick(depth == 0 ? 1 : 7) + (depth == 0 ? 3 : 0)];
        out += "<" + name;
        if (pick(3) == 0)
            out += std::string(" dt:dt='") + types[pick(4)] + "'";
        else if (pick(6) == 0)
            out += std::string(" xsi:type='xs:") + types[pick(4)] + "'";
        out += ">";
        const int children = depth < 5 ? pick(4) : 0;
        for (int i = 0; i < children; ++i) {
            if (pick(5) == 0) out += pick(2) ? "text" : "<!--c-->";
            element(depth + 1);
        }
        out += "</" + name + ">";
    };
    const int rows = 1 + pick(4);
    for (int r = 0; r < rows; ++r) element(0);
    out += "</ROWSET>";
    if (wrapped) out += "<ROWSET><ROW><Z/></ROW></ROWSET></doc>";
    return out;
}

}  // namespace

TEST(StreamingMerge, GivesTheTemplateOfTheWholeDocument) {
    std::vector<std::string> files;
    for (const char* f : {"orders.xml", "products.xml", "staff_sjis.xml"})
        files.push_back(std::string(QUORIX_EXAMPLES) + "/" + f);
    for (const char* f : {"euc_jp.xml", "latin1.xml", "shift_jis.xml", "shift_jis_broken.xml",
                          "utf16_bom.xml", "worked_example.xml"})
        files.push_back(testData(f));
    for (const auto& f : files) EXPECT_EQ(streamed(f), fromTree(f)) << f;

    test::TempDir dir;
    std::mt19937 rng(20261207);
    const std::pair<const char*, std::string> special[] = {
        {"nested", "<ROWSET><ROW><A><ROW><X/></ROW></A><B/></ROW></ROWSET>"},
        {"twice nested", "<ROWSET><ROW><ROW><ROW><Y/></ROW><X/></ROW><B/></ROW></ROWSET>"},
        {"entity",
         "<!DOCTYPE ROWSET [<!ENTITY e '<inent/>'>]><ROWSET><ROW>&e;<b/>&e;</ROW>"
         "<ROW>&e;</ROW></ROWSET>"},
        {"no rowset", "<a><ROW/></a>"},
        {"no row", "<ROWSET><A/></ROWSET>"},
        {"cut", "<ROWSET><ROW><A>1</A></ROW><ROW><B>"},
        {"type by DTD default",
         "<!DOCTYPE ROWSET [<!ATTLIST A dt:dt CDATA 'int'>]><ROWSET "
         "xmlns:dt='urn:schemas-microsoft-com:datatypes'><ROW><A>1</A></ROW></ROWSET>"},
    };
    for (const auto& [name, xml] : special) {
        const std::string path = dir.write("special.xml", xml);
        EXPECT_EQ(streamed(path), fromTree(path)) << name;
    }
    for (int i = 0; i < 2000; ++i) {
        const std::string xml = randomDocument(rng);
        const std::string path = dir.write("random.xml", xml);
        ASSERT_EQ(streamed(path), fromTree(path)) << xml;
    }
}

TEST(StreamingMerge, AStopLeavesNothingAndSaysSo) {
    test::TempDir dir;
    std::string xml = "<ROWSET>";
    for (int i = 0; i < 20000; ++i) xml += "<ROW><A>1</A></ROW>";
    const std::string path = dir.write("big.xml", xml + "</ROWSET>");
    test::RecordingPort<> port;
    std::uint64_t seen = 0;
    auto t = ReadStructureTemplate(path, "ROWSET", "ROW", port,
                                   [&](std::uint64_t done, std::uint64_t total) {
                                       EXPECT_EQ(total, xml.size() + 9);
                                       seen = done;
                                       return done == 0;
                                   });
    EXPECT_FALSE(t);
    EXPECT_GT(seen, 0u);
    EXPECT_EQ(port.statusText, "XML文書の読み込みを中止しました。");
    EXPECT_EQ(port.beeps, 0);
}

TEST(StreamingMerge, TextOfAnySizeIsReadPast) {
    // Beyond libxml2's limit for a text node held in memory.
    test::TempDir dir;
    const std::string big = std::string(12'000'000, 'x');
    EXPECT_EQ(streamed(dir.write("text.xml", "<ROWSET><ROW><A>" + big + "</A><B/></ROW></ROWSET>")),
              "ROW[A,B]");
    // A CDATA section is held whole by the parser: past its limit, a Japanese refusal.
    const std::string status = streamed(
        dir.write("cdata.xml", "<ROWSET><ROW><A><![CDATA[" + big + "]]></A></ROW></ROWSET>"));
    EXPECT_EQ(status.rfind("<none>:テキストが長すぎます。行1: ", 0), 0u) << status.substr(0, 80);
}

// Attributes are lines below their element when asked for, counted when not; the machinery of
// XML (namespace declarations, xsi:*, data types) never is a line.
TEST(StreamingMerge, AttributesBecomeLinesOnlyWhenAsked) {
    test::TempDir dir;
    const std::string path = dir.write(
        "a.xml",
        "<ROWSET xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
        "xmlns:dt='urn:schemas-microsoft-com:datatypes'>"
        "<ROW id='1' xmlns:p='urn:p' p:q='x'><id>e</id><N dt:dt='int' xsi:nil='false' u='a'>5</N>"
        "<ROW id='9' w='nested'/></ROW>"
        "<ROW w='2' id='3'><N u='b &amp; c'>6</N></ROW></ROWSET>");
    for (const bool asked : {false, true}) {
        SCOPED_TRACE(asked);
        test::RecordingPort<> port;
        std::size_t left = 0;
        auto t = ReadStructureTemplate(path, "ROWSET", "ROW", port, {}, true, asked, &left);
        ASSERT_TRUE(t) << port.statusText;
        if (!asked) {
            EXPECT_EQ(shape(t->root()), "ROW[id,N(int),ROW]");
            EXPECT_EQ(left, 6u);  // ROW's id, p:q and w, N's u, the nested row element's id and w
            continue;
        }
        EXPECT_EQ(shape(t->root()), "ROW[@id,@p:q,id,N(int)[@u],ROW[@id,@w],@w]");
        EXPECT_EQ(left, 0u);
        const auto table = fill(*t);
        EXPECT_EQ(lines(*table)[1], "○|1|･･@id|ﾃｷｽﾄ型|属性|||null");
        EXPECT_EQ(lines(*table)[5], "○|2|････@u|ﾃｷｽﾄ型|属性|||null");
        // Every row that had it, the nested row included, counts in its evidence.
        const Evidence& id = t->root().children[0]->evidence;
        EXPECT_EQ(id.rows, 3);
        EXPECT_EQ(t->root().children[3]->children[0]->evidence.longestBytes, 5u);  // "b & c"
    }
}
