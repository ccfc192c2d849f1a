#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "services/xml/xml_document.h"
#include "support/test_support.h"

using namespace quorix;
using quorix::test::TempDir;
using quorix::test::testData;

namespace {

long maxRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

}  // namespace

struct EncodingCase {
    const char* file;
    const char* tag;
};

class XmlEncodings : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(XmlEncodings, LoadsAndDecodesTagNames) {
    XmlDocument doc;
    ASSERT_TRUE(doc.load(testData(GetParam().file))) << doc.parseError().reason;
    EXPECT_EQ(doc.parseError().errorCode, 0);
    EXPECT_EQ(doc.documentElement().nodeName(), "ROWSET");
    auto rows = doc.getElementsByTagName("ROW");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].firstElementChild().nodeName(), GetParam().tag);
    EXPECT_FALSE(rows[0].firstElementChild().text().empty());
}

INSTANTIATE_TEST_SUITE_P(Files, XmlEncodings,
                         ::testing::Values(EncodingCase{"shift_jis.xml", "商品名"},
                                           EncodingCase{"euc_jp.xml", "商品名"},
                                           EncodingCase{"utf16_bom.xml", "商品名"},
                                           EncodingCase{"latin1.xml", "Café"}));

TEST(XmlDocument, ShiftJisIsReadAsCp932) {
    // "①" and "髙" exist only in CP932, not in strict Shift_JIS.
    XmlDocument doc;
    ASSERT_TRUE(doc.load(testData("shift_jis.xml"))) << doc.parseError().reason;
    auto names = doc.getElementsByTagName("商品名");
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].text(), "丸数字①と髙橋");
}

TEST(XmlDocument, ParseErrorsCarryJapaneseReasonLineAndSourceText) {
    TempDir dir;
    struct Case {
        std::string content;
        long line;
        std::string reason;
        std::string src;
    };
    const Case cases[] = {
        {"<ROWSET>\n<ROW>\n<A>x</B>\n</ROW>\n</ROWSET>\n", 3, "終了タグが開始タグと一致しません。",
         "<A>x</B>"},
        {"<ROWSET>\n<ROW>\n", 3, "", ""},
        {"", 1, "文書が空か、ルート要素がありません。", ""},
        {"<a>&undefined;</a>\n", 1, "宣言されていないエンティティが参照されています。",
         "<a>&undefined;</a>"},
        {"<a>\x01</a>", 1, "使用できない文字が含まれています。", "<a>\uFFFD</a>"},
        {"<?xml version=\"1.0\" encoding=\"X-NO-SUCH\"?><a/>", 1,
         "サポートされていない文字コードです。",
         "<?xml version=\"1.0\" encoding=\"X-NO-SUCH\"?><a/>"},
        {"<a></a>\n<b></b>\n", 2, "ルート要素の後に余分な内容があります。", "<b></b>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const std::string path = dir.write("bad.xml", c.content);
        XmlDocument doc;
        EXPECT_FALSE(doc.load(path));
        const XmlParseError& e = doc.parseError();
        EXPECT_NE(e.errorCode, 0);
        EXPECT_FALSE(e.reason.empty());
        if (!c.reason.empty()) {
            EXPECT_EQ(e.reason, c.reason);
        }
        EXPECT_EQ(e.line, c.line);
        EXPECT_EQ(e.srcText, c.src);
        EXPECT_TRUE(doc.documentElement().isNull());
    }
}

TEST(XmlDocument, PrematureEndIsReportedInJapanese) {
    TempDir dir;
    XmlDocument doc;
    EXPECT_FALSE(doc.load(dir.write("cut.xml", "<ROWSET>\n<ROW>\n<A>1</A>\n")));
    EXPECT_NE(doc.parseError().reason.find("途中で終わって"), std::string::npos)
        << doc.parseError().reason;
}

TEST(XmlDocument, SourceTextOfShiftJisErrorIsDecoded) {
    XmlDocument doc;
    EXPECT_FALSE(doc.load(testData("shift_jis_broken.xml")));
    EXPECT_EQ(doc.parseError().line, 4);
    EXPECT_EQ(doc.parseError().srcText, "  <ROW><価格>1</ROW>");
}

TEST(XmlDocument, UnreadableInputsGiveAnErrorRecord) {
    TempDir dir;
    XmlDocument doc;
    EXPECT_FALSE(doc.load(dir.file("missing.xml")));
    EXPECT_EQ(doc.parseError().reason, "ファイルが見つかりません。");
    EXPECT_FALSE(doc.load(dir.path().string()));
    EXPECT_EQ(doc.parseError().reason, "フォルダーです。ファイルを指定してください。");
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
    EXPECT_FALSE(doc.load(dir.write("binary.xml", binary)));
    EXPECT_NE(doc.parseError().errorCode, 0);
    EXPECT_FALSE(doc.parseError().reason.empty());
}

TEST(XmlDocument, NeverReadsExternalEntitiesOrDtds) {
    TempDir dir;
    const std::string secret = dir.write("secret.txt", "TOPSECRET");
    const std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [<!ENTITY x SYSTEM \"file://" +
                            secret + "\">]>\n<r><a>&x;</a></r>\n";
    XmlDocument doc;
    // Whether the document loads or not, the file's content appears nowhere.
    const std::string seen = doc.load(dir.write("xxe.xml", xml))
                                 ? doc.getElementsByTagName("a").at(0).text()
                                 : doc.parseError().reason + doc.parseError().srcText;
    EXPECT_EQ(seen.find("TOPSECRET"), std::string::npos) << seen;
    const std::string dtd =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/x.dtd\">\n<r/>";
    XmlDocument doc2;
    EXPECT_TRUE(doc2.load(dir.write("dtd.xml", dtd))) << doc2.parseError().reason;
}

TEST(XmlDocument, RefusesBillionLaughs) {
    TempDir dir;
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        xml += "<!ENTITY lol" + std::to_string(i) + " \"";
        const std::string prev = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
        for (int k = 0; k < 10; ++k) xml += "&" + prev + ";";
        xml += "\">\n";
    }
    xml += "]>\n<lolz>&lol9;</lolz>\n";
    const long before = maxRssKb();
    XmlDocument doc;
    EXPECT_FALSE(doc.load(dir.write("lol.xml", xml)));
    EXPECT_LT(maxRssKb() - before, 200 * 1024);
}

TEST(XmlDocument, ErrorTextsAreShortReadableAndJapanese) {
    TempDir dir;
    const std::string ellipsis = "\u2026";
    auto utf16le = [](const std::string& ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii) out += std::string{c, '\0'};
        return out;
    };
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "<a>";
    std::string binary = "<r>";
    for (int i = 0; i < 6000; ++i) binary += static_cast<char>((i * 7919) & 0xFF);
    struct Case {
        const char* name;
        std::string bytes;
        std::string reason;  // empty: any Japanese reason
        std::string src;     // empty: only the bounds are checked
    };
    const Case cases[] = {
        // One huge line with its error at the end: a piece around the error, marked as cut.
        {"long line", "<r>" + std::string(3'000'000, 'x') + "</q>",
         "終了タグが開始タグと一致しません。", ellipsis + std::string(50, 'x')},
        {"long line start", "<r></q>" + std::string(500, 'x') + "\n<a/>", "",
         "<r></q>" + std::string(193, 'x') + ellipsis},
        {"utf-16", utf16le("<r>\n<a>x</b>\n</r>\n"), "終了タグが開始タグと一致しません。",
         "<a>x</b>"},
        {"tab and cr", "<r>\n\t<a>x</b>\r\n</r>", "", " <a>x</b>"},
        {"c1 control", "<r>\n<a>\xC2\x85x\xC2\x9F</b>\n</r>", "", "<a>\uFFFDx\uFFFD</b>"},
        {"deep", deep, "要素の入れ子が深すぎます。", ""},
        {"binary", binary, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XmlDocument doc;
        EXPECT_FALSE(doc.load(dir.write("bad.xml", c.bytes)));
        const XmlParseError& e = doc.parseError();
        if (!c.reason.empty()) {
            EXPECT_EQ(e.reason, c.reason);
        }
        // Every reason is Japanese: it begins with a character outside ASCII.
        ASSERT_FALSE(e.reason.empty());
        EXPECT_GE(static_cast<unsigned char>(e.reason[0]), 0x80) << e.reason;
        // A long line's piece around the error: its start as given, the error's end at its end.
        if (c.src.rfind(ellipsis, 0) == 0) {
            EXPECT_EQ(e.srcText.rfind(c.src, 0), 0u) << e.srcText;
            EXPECT_EQ(e.srcText.substr(e.srcText.size() - 5), "x</q>");
        } else if (!c.src.empty()) {
            EXPECT_EQ(e.srcText, c.src);
        }
        EXPECT_LE(e.srcText.size(), 202u * 4);
        for (unsigned char ch : e.srcText) EXPECT_TRUE(ch >= 0x20 && ch != 0x7F) << int(ch);
    }
}

TEST(XmlDocument, ReadsOnlyRegularFiles) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.xml");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    XmlDocument doc;
    EXPECT_FALSE(doc.load(fifo));  // returns at once: nothing ever writes to the pipe
    EXPECT_EQ(doc.parseError().reason, "通常のファイルではないため読み込めません。");
}

TEST(XmlDocument, ExpandsInternalEntitiesOnly) {
    TempDir dir;
    const std::string secret = dir.write("secret.txt", "<secret/>");
    XmlDocument doc;
    ASSERT_TRUE(doc.load(
        dir.write("e.xml", "<!DOCTYPE R [<!ENTITY e \"<inent/>\"><!ENTITY x SYSTEM \"file://" +
                               secret + "\">]><R><ROW>&e;&x;<b/></ROW></R>")));
    EXPECT_EQ(doc.getElementsByTagName("inent").size(), 1u);
    EXPECT_EQ(doc.getElementsByTagName("secret").size(), 0u);
    EXPECT_EQ(doc.getElementsByTagName("b").size(), 1u);
}

TEST(XmlDocument, TagNameSearchIsExactAndIncludesTheRoot) {
    XmlDocument doc;
    ASSERT_TRUE(doc.loadXml("<ROW><row/><ROW><x:ROW xmlns:x='u'/></ROW><a><ROW/></a></ROW>"));
    EXPECT_EQ(doc.getElementsByTagName("ROW").size(), 3u);
    EXPECT_EQ(doc.documentElement().getElementsByTagName("ROW").size(), 2u);
    EXPECT_EQ(doc.getElementsByTagName("x:ROW").size(), 1u);
    EXPECT_EQ(doc.getElementsByTagName("x:ROW")[0].nodeName(), "x:ROW");
    EXPECT_EQ(doc.getElementsByTagName("row").size(), 1u);
    EXPECT_TRUE(doc.getElementsByTagName("Row").empty());
}

TEST(XmlDocument, DeclaredDataTypes) {
    XmlDocument doc;
    ASSERT_TRUE(
        doc.loadXml("<r xmlns:dt='urn:schemas-microsoft-com:datatypes'"
                    " xmlns:o='uuid:C2F41010-65B3-11d1-A29F-00AA00C14882'"
                    " xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'>"
                    "<a dt:dt='int'/><b o:dt='dateTime.tz'/><c xsi:type='xs:boolean'/><d "
                    "type='int'/><e/></r>"));
    auto child = [&](const char* n) { return doc.getElementsByTagName(n).at(0); };
    EXPECT_EQ(child("a").dataType(), "int");
    EXPECT_EQ(child("b").dataType(), "dateTime.tz");
    EXPECT_EQ(child("c").dataType(), "boolean");
    EXPECT_EQ(child("d").dataType(), std::nullopt);
    EXPECT_EQ(child("e").dataType(), std::nullopt);
    EXPECT_EQ(child("a").attributeCount(), 1);
    EXPECT_EQ(child("e").attributeCount(), 0);
}

TEST(XmlDocument, BuildsScratchDocuments) {
    XmlDocument doc;
    XmlNode root = doc.createElement("root");
    doc.setDocumentElement(root);
    XmlNode a = root.appendChild(doc.createElement("列名"));
    XmlNode b = root.appendChild(doc.createElement("b"));
    a.setAttribute("type", "202");
    a.setAttribute("type", "3");
    EXPECT_EQ(a.getAttribute("type"), "3");
    EXPECT_EQ(a.getAttribute("param"), std::nullopt);
    EXPECT_EQ(root.firstChild(), a);
    EXPECT_EQ(a.nextSibling(), b);
    EXPECT_EQ(b.parentNode(), root);
    EXPECT_EQ(root.parentNode().nodeType(), XmlNode::Document);
    root.removeChild(a);
    EXPECT_EQ(root.firstChild(), b);
    EXPECT_THROW(doc.createElement("a b"), XmlError);
    EXPECT_THROW(doc.createElement("1abc"), XmlError);
    EXPECT_THROW(doc.createElement(""), XmlError);
}
