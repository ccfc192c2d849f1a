#include <gtest/gtest.h>

#include "generation/type_proposal.h"
#include "support/fake_port.h"
#include "support/test_support.h"
#include "xml_analysis/xml_loading.h"

using namespace quorix;

namespace {

Evidence of(std::initializer_list<std::string_view> values) {
    Evidence e;
    for (auto v : values) {
        ValueScanner s;
        s.append(v);
        s.addTo(e);
    }
    return e;
}

std::string text(const std::optional<TypeProposal>& p) {
    return p ? p->type + (p->size ? "(" + *p->size + ")" : "") : "none";
}

}  // namespace

TEST(TypeProposal, TheNarrowestTypeThatHoldsEveryValue) {
    struct Case {
        std::initializer_list<std::string_view> values;
        const char* access;
        const char* postgresql;
        const char* mysql;
    };
    const Case cases[] = {
        {{"1", "98765", "-3"}, "数値型", "integer", "int"},
        {{"1", "4000000000"}, "10進型(10,0)", "bigint", "bigint"},
        {{"007", "12"}, "ﾃｷｽﾄ型(3)", "varchar(3)", "varchar(3)"},  // leading zeros are codes
        {{"1.5", "2"}, "通貨型", "numeric(2,1)", "decimal(2,1)"},
        {{"198.00", "0.05", "12"}, "通貨型", "numeric(5,2)", "decimal(5,2)"},
        {{"3.14159", "-12.5"}, "10進型(7,5)", "numeric(7,5)", "decimal(7,5)"},
        {{"0.1234567890123456789"}, "ﾃｷｽﾄ型(21)", "numeric(20,19)", "decimal(20,19)"},
        {{"0.1234567890123456789012345678901"}, "ﾃｷｽﾄ型(33)", "numeric(32,31)", "double"},
        {{"true", "false", ""}, "Yes/No型", "boolean", "boolean"},
        {{"0", "1", "1"}, "Yes/No型", "boolean", "boolean"},
        {{"0", "1", "2"}, "数値型", "integer", "int"},
        {{"2026-12-07", "2026-01-01"}, "日付/時刻型", "date", "date"},
        {{"2026/11/02", "2026/1/5"}, "日付/時刻型", "date", "date"},  // the slashed form too
        {{"2026/13/02"}, "ﾃｷｽﾄ型(10)", "varchar(10)", "varchar(10)"},  // no such month
        {{"2026-12-07", "2026-12-07T10:00", "2026/12/07 9:30"}, "日付/時刻型", "timestamp", "datetime"},
        {{"2026-12-07T10:00Z"}, "日付/時刻型", "timestamptz", "varchar(17)"},
        {{"ｶﾀｶﾅ漢字", "a"}, "ﾃｷｽﾄ型(8)", "varchar(6)", "varchar(6)"},
        {{"", ""}, "none", "none", "none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(*c.values.begin());
        const Evidence e = of(c.values);
        EXPECT_EQ(text(proposeColumnType("access", e)), c.access);
        EXPECT_EQ(text(proposeColumnType("postgresql", e)), c.postgresql);
        EXPECT_EQ(text(proposeColumnType("mysql", e)), c.mysql);
    }
    EXPECT_EQ(of({"2026/11/02", "2026-11-03", "2026/1/2 9:05"}).slashDates, 2);
    // Long text: a memo, beyond 255 bytes.
    const std::string longText(300, 'x');
    EXPECT_EQ(text(proposeColumnType("access", of({longText}))), "ﾒﾓ型");
}

TEST(TypeProposal, HandEditedLinesAreKeptUnlessAllAreChosen) {
    test::TempDir dir;
    test::RecordingPort<> port;
    auto tmpl =
        ReadStructureTemplate(dir.write("d.xml",
                                        "<ROWSET><ROW><A>1</A><B>x</B><C>2026-12-07</C></ROW>"
                                        "<ROW><A>22</A><B>yyy</B><C>2026-12-08</C></ROW></ROWSET>"),
                              "ROWSET", "ROW", port);
    ASSERT_TRUE(tmpl);
    auto table = FillDefinitionTable(
        *tmpl, [](const std::string& t) { return t; }, "･･", "ﾃｷｽﾄ型");
    RecordSet& rs = table->records();
    rs.setCurrentRow(2);  // B, by hand
    rs.setValue(Field::kType, std::string("ﾒﾓ型"));
    rs.setCurrentRow(1);  // A: only its size, by hand
    rs.setValue(Field::kSize, std::string("4"));
    EXPECT_EQ(handEditedLines(*table, "access"), 2);
    ProposalCount n = applyProposals(*table, "access", ProposalScope::Untouched);
    EXPECT_EQ(n.changed, 1);  // C; A and B left alone
    EXPECT_EQ(n.kept, 2);
    auto line = [&](int row) {
        rs.setCurrentRow(row);
        return rs.text(Field::kType) + "|" + rs.text(Field::kSize);
    };
    EXPECT_EQ(line(1), "ﾃｷｽﾄ型|4");
    EXPECT_EQ(line(2), "ﾒﾓ型|");
    EXPECT_EQ(line(3), "日付/時刻型|");
    // Proposals are not hand edits: proposing again changes nothing and asks nothing new.
    EXPECT_EQ(handEditedLines(*table, "access"), 2);
    n = applyProposals(*table, "access", ProposalScope::All);
    EXPECT_EQ(n.changed, 2);
    EXPECT_EQ(line(1), "数値型|");
    EXPECT_EQ(line(2), "ﾃｷｽﾄ型|3");
    EXPECT_EQ(handEditedLines(*table, "access"), 0);
    // The row tag line and lines without values get nothing ...
    EXPECT_EQ(line(0), "ﾃｷｽﾄ型|");
    // ... unless their type is of another vocabulary: then the text type of this one.
    rs.addNew();
    rs.setValue(Field::kGenerate, std::string(Flag::kGenerate));
    rs.setValue(Field::kType, std::string("bytea"));
    rs.setValue(Field::kSize, std::string("9"));
    EXPECT_EQ(applyProposals(*table, "access", ProposalScope::Untouched).changed, 1);
    EXPECT_EQ(line(4), "ﾃｷｽﾄ型|");
}
