#include <gtest/gtest.h>

#include "definition_edit/line_edits.h"
#include "support/fake_port.h"

using namespace quorix;

namespace {

class FakeHost : public EditHost {
public:
    test::RecordingPort<> fakePort;
    bool busyFlag = false;
    std::string unit = "･･";
    std::string chooser = "ﾃｷｽﾄ型";
    std::string caption;
    int placements = 0;
    bool busyDuringPlacement = false;

    UserPort& port() override { return fakePort; }
    bool& busy() override { return busyFlag; }
    const std::string& indentUnit() const override { return unit; }
    std::string typeChooserText() const override { return chooser; }
    std::string generateCaption() const override { return caption; }
    void setGenerateCaption(const std::string& c) override { caption = c; }
    void PlaceCellEditors() override {
        ++placements;
        busyDuringPlacement |= busyFlag;
    }
};

struct Line {
    std::string flag;
    int level;
    std::string name;
};

// A table of document lines "name" at their levels, with "キー" numbered k1, k2, ...
void fillTable(DefinitionTable& t, const std::vector<Line>& lines) {
    RecordSet& rs = t.records();
    int k = 0;
    for (const auto& l : lines) {
        rs.addNew();
        rs.setValue(Field::kKey, "k" + std::to_string(++k));
        rs.setValue(Field::kGenerate, l.flag);
        rs.setValue(Field::kLevel, l.level);
        rs.setValue(Field::kKind, std::string(kNodeKind));
        rs.setValue(Field::kTagName, indentation("･･", l.level) + l.name);
        rs.setValue(Field::kType, std::string("ﾃｷｽﾄ型"));
    }
}

// "key:flag:level:tag" per line; "*" marks the current line.
std::string dump(DefinitionTable& t) {
    RecordSet& rs = t.records();
    const int current = rs.currentRow();
    std::string out;
    for (int r = 0; r < rs.recordCount(); ++r) {
        auto text = [&](const char* f) {
            const FieldValue& v = rs.valueAt(r, rs.fieldIndex(f));
            if (auto* s = std::get_if<std::string>(&v)) return *s;
            if (auto* n = std::get_if<int32_t>(&v)) return std::to_string(*n);
            return std::string();
        };
        if (!out.empty()) out += " ";
        out += (r == current ? "*" : "") + text(Field::kKey) + ":" + text(Field::kGenerate) + ":" +
               text(Field::kLevel) + ":" + text(Field::kTagName);
    }
    return out;
}

struct LineEdits : ::testing::Test {
    DefinitionTable table;
    FakeHost host;
    void SetUp() override {
        fillTable(table,
                  {{"－", 0, "ROW"}, {"○", 1, "A"}, {"○", 2, "B"}, {"×", 1, "C"}, {"○", 1, "D"}});
    }
    void at(int row) { table.records().setCurrentRow(row - 1); }
};

}  // namespace

TEST_F(LineEdits, MovesCarryEightFieldsAndLeaveTheKey) {
    at(3);
    table.records().setValue(Field::kColumnName, std::string("colB"));
    MoveLineUp(table, host);
    EXPECT_EQ(dump(table), "k1:－:0:ROW *k2:○:2:････B k3:○:1:･･A k4:×:1:･･C k5:○:1:･･D");
    EXPECT_EQ(table.records().text(Field::kColumnName), "colB");
    table.records().setCurrentRow(2);
    EXPECT_TRUE(table.records().isNull(Field::kColumnName));  // a null moves as null
    EXPECT_TRUE(table.records().isNull(Field::kSize));
    table.records().setCurrentRow(1);
    MoveLineDown(table, host);
    EXPECT_EQ(dump(table), "k1:－:0:ROW k2:○:1:･･A *k3:○:2:････B k4:×:1:･･C k5:○:1:･･D");
    EXPECT_EQ(host.placements, 2);
    EXPECT_FALSE(host.busyDuringPlacement);
    EXPECT_FALSE(host.busyFlag);
}

TEST_F(LineEdits, MovesStopAtTheEndsAndWithoutALine) {
    const std::string before = "k1:－:0:ROW k2:○:1:･･A k3:○:2:････B k4:×:1:･･C k5:○:1:･･D";
    at(1);
    MoveLineUp(table, host);
    EXPECT_EQ(dump(table), "*" + before);
    at(5);
    MoveLineDown(table, host);
    EXPECT_EQ(dump(table), "k1:－:0:ROW k2:○:1:･･A k3:○:2:････B k4:×:1:･･C *k5:○:1:･･D");
    table.records().moveNext();  // after the last line
    for (auto command : {MoveLineUp, MoveLineDown, ShiftLineLeft, ShiftLineRight}) {
        command(table, host);
        EXPECT_EQ(dump(table), before);
    }
    EXPECT_FALSE(host.busyFlag);
}

TEST_F(LineEdits, LevelsOfDocumentAndUserLines) {
    at(1);
    ShiftLineLeft(table, host);  // level 0: no indentation
    EXPECT_EQ(dump(table).rfind("*k1:－:0:ROW ", 0), 0u);
    ShiftLineRight(table, host);  // there is no limit, the row tag too
    EXPECT_EQ(dump(table).rfind("*k1:－:1:･･ROW ", 0), 0u);
    ShiftLineLeft(table, host);  // now held at the first step
    EXPECT_EQ(dump(table).rfind("*k1:－:1:･･ROW ", 0), 0u);

    at(2);
    ShiftLineLeft(table, host);
    EXPECT_NE(dump(table).find("*k2:○:1:･･A"), std::string::npos);
    at(3);
    ShiftLineLeft(table, host);
    EXPECT_NE(dump(table).find("*k3:○:1:･･B"), std::string::npos);
    ShiftLineRight(table, host);
    ShiftLineRight(table, host);
    EXPECT_EQ(table.records().text(Field::kTagName), "･･････B");

    // User lines are held by their level.
    DefinitionTable user;
    FakeHost h;
    AppendLine(user, h);
    ShiftLineLeft(user, h);
    EXPECT_EQ(dump(user), "*::1:･･-----");
    ShiftLineRight(user, h);
    EXPECT_EQ(dump(user), "*::2:････-----");
    ShiftLineLeft(user, h);
    EXPECT_EQ(dump(user), "*::1:･･-----");
}

TEST_F(LineEdits, ShiftRightPastTheFieldWidthKeepsTheNameWhole) {
    at(2);
    for (int i = 0; i < 120; ++i) ShiftLineRight(table, host);
    const std::string name = table.records().text(Field::kTagName);
    EXPECT_EQ(name, indentation("･･", 99) + "A");  // the last step that fits 200 bytes
    EXPECT_EQ(table.records().value(Field::kLevel), FieldValue(121));
    EXPECT_NE(host.fakePort.statusText.find("200バイト"), std::string::npos);
}

TEST_F(LineEdits, InsertAndAppendPositions) {
    at(3);
    InsertLine(table, host);
    // "キー" stays with its position: the new line takes k3 and the last line gets none.
    EXPECT_EQ(dump(table),
              "k1:－:0:ROW k2:○:1:･･A *k3::1:･･----- k4:○:2:････B k5:×:1:･･C :○:1:･･D");
    RecordSet& rs = table.records();
    EXPECT_EQ(rs.text(Field::kKind), "ノード");
    EXPECT_EQ(rs.text(Field::kType), "ﾃｷｽﾄ型");
    EXPECT_TRUE(rs.isNull(Field::kSize));
    EXPECT_FALSE(rs.isNull(Field::kColumnName));

    DefinitionTable t2;
    fillTable(t2, {{"－", 0, "R"}, {"○", 1, "A"}, {"○", 1, "B"}, {"○", 1, "C"}, {"○", 1, "D"}});
    t2.records().setCurrentRow(2);
    AppendLine(t2, host);
    EXPECT_EQ(dump(t2), "k1:－:0:R k2:○:1:･･A k3:○:1:･･B *k4::1:･･----- k5:○:1:･･C :○:1:･･D");
    t2.records().moveLast();
    AppendLine(t2, host);
    EXPECT_EQ(t2.records().absolutePosition(), 7);
    t2.records().moveFirst();
    InsertLine(t2, host);
    EXPECT_EQ(t2.records().absolutePosition(), 1);
    EXPECT_EQ(t2.records().text(Field::kTagName), "･･-----");

    DefinitionTable empty;
    host.chooser = "";
    InsertLine(empty, host);
    EXPECT_EQ(dump(empty), "*::1:･･-----");
    EXPECT_EQ(empty.records().text(Field::kType), "");
}

TEST_F(LineEdits, DeleteOnlyUserLinesAndNeverEmpty) {
    at(2);
    DeleteLine(table, host);
    EXPECT_EQ(host.fakePort.statusText,
              "表の列は削除できません。生成列を「×」に設定すると列は生成されません。");
    EXPECT_EQ(table.records().recordCount(), 5);
    at(3);
    AppendLine(table, host);  // a user line at 4
    DeleteLine(table, host);
    EXPECT_EQ(table.records().recordCount(), 5);
    EXPECT_EQ(host.fakePort.statusText, "");
    // The deleted line takes its "キー" with it; the following line becomes current.
    EXPECT_EQ(dump(table), "k1:－:0:ROW k2:○:1:･･A k3:○:2:････B *k5:×:1:･･C :○:1:･･D");

    DefinitionTable one;
    AppendLine(one, host);
    one.records().setValue(Field::kColumnName, std::string("x"));
    DeleteLine(one, host);
    EXPECT_EQ(one.records().recordCount(), 1);
    EXPECT_EQ(one.records().text(Field::kColumnName), "");

    const int placed = host.placements;
    table.records().moveLast();
    table.records().moveNext();
    DeleteLine(table, host);
    EXPECT_EQ(host.placements, placed);  // nothing, not even the placement
}

TEST_F(LineEdits, GenerateFlagAndType) {
    at(2);
    host.caption = "○";
    ToggleGenerateFlag(table, host);
    EXPECT_EQ(table.records().text(Field::kGenerate), "×");
    EXPECT_EQ(host.caption, "×");
    ToggleGenerateFlag(table, host);
    EXPECT_EQ(table.records().text(Field::kGenerate), "○");

    at(1);
    host.caption = "－";
    ToggleGenerateFlag(table, host);
    EXPECT_EQ(host.fakePort.statusText, "固定タグです。");
    EXPECT_EQ(host.fakePort.beeps, 1);
    EXPECT_EQ(table.records().text(Field::kGenerate), "－");

    AppendLine(table, host);
    host.caption = "";
    ToggleGenerateFlag(table, host);
    EXPECT_EQ(host.fakePort.statusText,
              "固定タグは必ず生成されます。生成しない場合は「削除」してください。");
    EXPECT_EQ(table.records().text(Field::kGenerate), "");

    host.chooser = "数値型";
    SetLineType(table, host);
    EXPECT_EQ(table.records().text(Field::kType), "数値型");
    host.chooser = "   ";
    SetLineType(table, host);
    EXPECT_EQ(table.records().text(Field::kType), "数値型");
}
