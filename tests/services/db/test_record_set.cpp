#include <gtest/gtest.h>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/record_set.h"

using namespace quorix;

namespace {

RecordSet makeSet() {
    RecordSet rs;
    rs.appendField("生成", adChar, 2, adFldUnspecified);
    rs.appendField("レベル", adInteger, 4, adFldUnspecified);
    rs.appendField("列名", adChar, 20, adFldIsNullable);
    rs.open();
    return rs;
}

void addLine(RecordSet& rs, const char* flag, int level) {
    rs.addNew();
    rs.setValue("生成", std::string(flag));
    rs.setValue("レベル", level);
}

}  // namespace

TEST(RecordSet, CursorWalksLikeATableCursor) {
    RecordSet rs = makeSet();
    EXPECT_TRUE(rs.bof());
    EXPECT_TRUE(rs.eof());
    EXPECT_LE(rs.absolutePosition(), 0);
    EXPECT_THROW(rs.value("生成"), ServiceError);
    EXPECT_THROW(rs.moveNext(), ServiceError);

    addLine(rs, "－", 0);
    addLine(rs, "○", 1);
    addLine(rs, "×", 2);
    EXPECT_EQ(rs.recordCount(), 3);
    EXPECT_EQ(rs.absolutePosition(), 3);  // a new record is current

    rs.moveFirst();
    EXPECT_EQ(rs.text("生成"), "－");
    rs.movePrevious();
    EXPECT_TRUE(rs.bof());
    EXPECT_FALSE(rs.eof());
    EXPECT_LE(rs.absolutePosition(), 0);
    EXPECT_THROW(rs.movePrevious(), ServiceError);
    rs.moveNext();
    EXPECT_EQ(rs.absolutePosition(), 1);
    rs.moveLast();
    EXPECT_EQ(std::get<int32_t>(rs.value("レベル")), 2);
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_LE(rs.absolutePosition(), 0);
    rs.movePrevious();
    EXPECT_EQ(rs.absolutePosition(), 3);
}

TEST(RecordSet, DeleteLeavesTheFollowingRecordCurrent) {
    RecordSet rs = makeSet();
    addLine(rs, "a", 1);
    addLine(rs, "b", 2);
    addLine(rs, "c", 3);
    rs.setCurrentRow(1);
    rs.deleteCurrent();
    EXPECT_EQ(rs.text("生成"), "c");
    rs.deleteCurrent();  // the last one: the new last becomes current
    EXPECT_EQ(rs.text("生成"), "a");
    rs.deleteCurrent();
    EXPECT_EQ(rs.recordCount(), 0);
    EXPECT_TRUE(rs.bof() && rs.eof());
    EXPECT_THROW(rs.deleteCurrent(), ServiceError);
}

TEST(RecordSet, NullsAndIntegers) {
    RecordSet rs = makeSet();
    rs.addNew();
    EXPECT_TRUE(rs.isNull("列名"));
    EXPECT_EQ(rs.text("列名"), "");
    rs.setValue("列名", std::string("  name  "));
    EXPECT_EQ(rs.text("列名"), "name");
    rs.setValue("列名", FieldValue{});
    EXPECT_TRUE(rs.isNull("列名"));
    rs.setValue("レベル", std::string(" 12 "));
    EXPECT_EQ(rs.value("レベル"), FieldValue(12));
    EXPECT_THROW(rs.setValue("レベル", std::string("1x")), ServiceError);
    EXPECT_EQ(rs.value("レベル"), FieldValue(12));
    EXPECT_THROW(rs.value("なし"), ServiceError);
}

TEST(RecordSet, WidthsCountCp932BytesAndRefuseOverlongValues) {
    RecordSet rs = makeSet();
    rs.addNew();
    rs.setValue("生成", std::string("○"));  // two bytes in CP932: fits exactly
    EXPECT_EQ(rs.text("生成"), "○");
    try {
        rs.setValue("生成", std::string("○○"));
        FAIL() << "accepted";
    } catch (const ServiceError& e) {
        EXPECT_EQ(e.description(), "「生成」に入力できるのは2バイトまでです（入力は4バイト）。");
    }
    EXPECT_EQ(rs.text("生成"), "○");  // kept, never cut

    rs.setValue("列名", std::string("ｱｲｳｴｵｶｷｸｹｺｱｲｳｴｵｶｷｸｹｺ"));  // half-width kana: 1 byte each
    EXPECT_THROW(rs.setValue("列名", std::string("ｱｲｳｴｵｶｷｸｹｺｱｲｳｴｵｶｷｸｹｺｻ")), ServiceError);
    rs.setValue("列名", std::string("髙橋①ＡＢＣ１２３４"));  // 10 characters, 20 bytes
    EXPECT_THROW(rs.setValue("列名", std::string("髙橋①ＡＢＣ１２３４5")), ServiceError);
    // A character outside CP932 counts as two bytes and is stored unchanged.
    rs.setValue("列名", std::string("𠮷野家𠮷野家𠮷野家𠮷"));
    EXPECT_EQ(rs.text("列名"), "𠮷野家𠮷野家𠮷野家𠮷");
    EXPECT_THROW(rs.setValue("列名", std::string("𠮷野家𠮷野家𠮷野家𠮷𠮷")), ServiceError);
}

TEST(RecordSet, TellsItsObserverEveryChange) {
    struct Log : RecordSetObserver {
        std::string events;
        void recordSetReset() override { events += "R"; }
        void recordAppended(int r) override { events += "A" + std::to_string(r); }
        void recordRemoved(int r) override { events += "D" + std::to_string(r); }
        void valueChanged(int r, int f) override {
            events += "V" + std::to_string(r) + std::to_string(f);
        }
        void currentChanged(int r) override { events += "C" + std::to_string(r); }
    } log;
    RecordSet rs;
    rs.appendField("a", adChar, 4, adFldUnspecified);
    rs.setObserver(&log);
    rs.open();
    rs.addNew();
    rs.setValue("a", std::string("x"));
    rs.addNew();
    rs.moveFirst();
    rs.deleteCurrent();
    EXPECT_EQ(log.events, "RA0C0V00A1C1C0D0C0");
    EXPECT_THROW(rs.appendField("b", adChar, 1, adFldUnspecified), ServiceError);
}
