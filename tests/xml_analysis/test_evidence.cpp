#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

#include "services/text/text.h"
#include "support/fake_port.h"
#include "support/test_support.h"
#include "xml_analysis/xml_loading.h"

using namespace quorix;

namespace {

const TemplateNode& node(const StructureTemplate& t, const std::string& name) {
    for (const auto& c : t.root().children)
        if (c->name == name) return *c;
    throw std::runtime_error("no " + name);
}

}  // namespace

TEST(Evidence, FiguresFromEveryRow) {
    // A generated document whose true figures the test counts as it writes them.
    std::mt19937 rng(7);
    const int rows = 3000;
    std::string xml = "<ROWSET>\n";
    long long present = 0, minN = 1 << 30, maxN = -(1 << 30);
    std::size_t longest = 0;
    for (int r = 0; r < rows; ++r) {
        xml += "<ROW>";
        const long long n = static_cast<long long>(rng() % 200000) - 100000;
        minN = std::min(minN, n);
        maxN = std::max(maxN, n);
        xml += "<N> " + std::to_string(n) + " </N>";
        if (r % 3 == 0) {  // present in a third of the rows, twice in each
            ++present;
            xml += "<OPT>a</OPT><OPT>b</OPT>";
        }
        // CP932 text: half-width katakana is one byte, kanji two.
        std::string name = "ｶﾀｶﾅ";
        for (int k = 0; k < r % 7; ++k) name += "漢";
        longest = std::max(longest, cp932Length(name));
        xml += "<NAME>" + name + "</NAME>";
        xml += "<CODE>" + std::string(r % 10 == 0 ? "007" : "12") + "</CODE>";
        xml += "<MIX>" +
               std::string(r % 4 == 0   ? "1.25"
                           : r % 4 == 1 ? "2026-12-07"
                           : r % 4 == 2 ? ""
                                        : "x") +
               "</MIX>";
        xml += "<FLAG>" + std::string(r % 2 ? "true" : "0") + "</FLAG>";
        xml += "<WHEN>2026-12-07T10:00:00" + std::string(r % 2 ? "Z" : "") + "</WHEN>";
        xml += "<BIG>123456789012345678901234567890</BIG>";
        xml += "<P>own text<Q>1</Q></P><C><Q>2</Q></C>";
        xml += "</ROW>\n";
    }
    xml += "</ROWSET>";
    test::TempDir dir;
    test::RecordingPort<> port;
    auto t = ReadStructureTemplate(dir.write("e.xml", xml), "ROWSET", "ROW", port);
    ASSERT_TRUE(t) << port.statusText;
    EXPECT_EQ(t->root().evidence.rows, rows);

    const Evidence& n = node(*t, "N").evidence;
    EXPECT_EQ(n.rows, rows);
    EXPECT_EQ(n.integer, rows);
    EXPECT_EQ(*n.minInteger, minN);
    EXPECT_EQ(*n.maxInteger, maxN);
    EXPECT_TRUE(n.sign);
    EXPECT_FALSE(n.leadingZero);

    const Evidence& opt = node(*t, "OPT").evidence;
    EXPECT_EQ(opt.rows, present);
    EXPECT_EQ(opt.occurrences, 2 * present);
    EXPECT_EQ(opt.text, 2 * present);

    const Evidence& name = node(*t, "NAME").evidence;
    EXPECT_EQ(name.longestBytes, longest);
    EXPECT_EQ(name.longestChars, 4u + 6u);
    EXPECT_EQ(name.text, rows);

    EXPECT_TRUE(node(*t, "CODE").evidence.leadingZero);

    const Evidence& mix = node(*t, "MIX").evidence;
    EXPECT_EQ(mix.decimal, rows / 4);
    EXPECT_EQ(mix.date, rows / 4);
    EXPECT_EQ(mix.empty, rows / 4);
    EXPECT_EQ(mix.text, rows / 4);
    EXPECT_EQ(mix.integerDigits, 1);
    EXPECT_EQ(mix.fractionDigits, 2);

    const Evidence& flag = node(*t, "FLAG").evidence;
    EXPECT_EQ(flag.boolean, rows / 2);
    EXPECT_EQ(flag.zeroOrOne, rows / 2);
    EXPECT_TRUE(flag.allBoolean());

    const Evidence& when = node(*t, "WHEN").evidence;
    EXPECT_EQ(when.dateTime, rows / 2);
    EXPECT_EQ(when.dateTimeTz, rows / 2);

    // Beyond 64 bits: a decimal, never an error.
    EXPECT_EQ(node(*t, "BIG").evidence.decimal, rows);
    // Mixed content counts its own text; a pure container has no values.
    EXPECT_EQ(node(*t, "P").evidence.text, rows);
    EXPECT_EQ(node(*t, "P").evidence.longestChars, 8u);
    EXPECT_EQ(node(*t, "C").evidence.values, 0);
}

TEST(Evidence, KindsOfSingleValues) {
    struct Case {
        const char* value;
        const char* kind;
    };
    const Case cases[] = {
        {"0", "integer"},
        {"-12", "integer"},
        {"+7", "integer"},
        {"9223372036854775807", "integer"},
        {"9223372036854775808", "decimal"},
        {"1.5", "decimal"},
        {".5", "decimal"},
        {"-3.", "decimal"},
        {".", "text"},
        {"1e5", "text"},
        {"true", "boolean"},
        {"TRUE", "text"},
        {"2024-02-29", "date"},
        {"2023-02-29", "text"},
        {"2026-13-01", "text"},
        {"2026-12-07T10:00", "dateTime"},
        {"2026-12-07T10:00:00.123+09:00", "dateTimeTz"},
        {"2026-12-07T25:00", "text"},
        {"2020-01-01T24:00:00", "dateTime"},
        {"2020-01-01T24:59", "text"},
        {"2020-01-01T24:00:00.001", "text"},
        {"2021-02-30T10:00", "text"},
        {"2020-01-01T10:00+14:00", "dateTimeTz"},
        {"2020-01-01T10:00+99:99", "text"},
        {"2020-01-01T10:00-14:01", "text"},
        {"", "empty"},
        {"12 34", "text"},
    };
    for (const auto& c : cases) {
        Evidence e;
        e.addValue(c.value, std::string_view(c.value).size(), std::string_view(c.value).size(),
                   true);
        const std::pair<const char*, long long> kinds[] = {
            {"integer", e.integer}, {"decimal", e.decimal},   {"boolean", e.boolean},
            {"date", e.date},       {"dateTime", e.dateTime}, {"dateTimeTz", e.dateTimeTz},
            {"empty", e.empty},     {"text", e.text}};
        for (const auto& [kind, count] : kinds)
            EXPECT_EQ(count, std::string(kind) == c.kind ? 1 : 0) << c.value << " " << kind;
    }
    // The byte count agrees with the definition's own CP932 measure.
    for (const char* s :
         {"ｱｲｳ", "漢字", "a\xC2\xA5", "\xE2\x80\xBE", "\xE2\x91\xA0", "\xF0\x9F\x98\x80"}) {
        ValueScanner v;
        v.append(s);
        Evidence e;
        v.addTo(e);
        EXPECT_EQ(e.longestBytes, cp932Length(s)) << s;
    }
}

// The byte widths that sizes are checked by are the converter's own, for every code point.
TEST(Cp932Length, AgreesWithTheConverterOnEveryCodePoint) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string text;
    std::size_t expected = 0;
    for (char32_t c = 1; c < 0x110000; ++c) {
        if (c >= 0xD800 && c < 0xE000) continue;
        std::string u;
        if (c < 0x80) {
            u += static_cast<char>(c);
        } else {
            const int len = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            u += static_cast<char>((0xF00 >> len) | (c >> (6 * (len - 1))));
            for (int k = len - 2; k >= 0; --k)
                u += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
        }
        char out[8];
        char* in = u.data();
        std::size_t inLeft = u.size(), outLeft = sizeof out;
        char* at = out;
        std::size_t bytes = 2;  // what it cannot convert counts two
        if (iconv(cd, &in, &inLeft, &at, &outLeft) != static_cast<std::size_t>(-1))
            bytes = sizeof out - outLeft;
        else
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        ASSERT_EQ(cp932Length(u), bytes) << "U+" << std::hex << static_cast<unsigned>(c);
        if (c % 97 == 0) text += u, expected += bytes;
    }
    iconv_close(cd);
    EXPECT_EQ(cp932Length(text), expected);  // and strung together
}
