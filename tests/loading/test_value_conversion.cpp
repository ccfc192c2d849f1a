#include <gtest/gtest.h>

#include "loading/value_conversion.h"
#include "services/db/engine/data_type.h"

using namespace quorix;

TEST(ValueConversion, EachTypeAtItsLimits) {
    struct Case {
        int32_t type;
        std::optional<long long> size;
        const char* db;
        std::string raw;
        std::string expected;  // the value as text, "NULL", or "!" and the start of the reason
    };
    const Case cases[] = {
        // Text is kept exactly: blanks, leading zeros; the size counts CP932 bytes or characters.
        {adVarWChar, 5, "access", " 007 ", " 007 "},
        {adVarWChar, 4, "access", "ｱｲｳｴ", "ｱｲｳｴ"},
        {adVarWChar, 4, "access", "漢字漢", "!バイト数が4を超えています（6）"},
        {adVarWChar, 3, "postgresql", "漢字漢", "漢字漢"},
        {adVarWChar, 3, "postgresql", "漢字漢字", "!文字数が3を超えています（4）"},
        {adVarWChar, 3, "mysql", "日本語", "日本語"},
        {adLongVarWChar, 3, "access", std::string(100000, 'x'), std::string(100000, 'x')},
        // Integers with their ranges, blanks around them removed.
        {adInteger, {}, "access", " 2147483647\n", "2147483647"},
        {adInteger, {}, "access", "-2147483648", "-2147483648"},
        {adInteger, {}, "access", "2147483648", "!範囲（-2147483648～2147483647）を超えています"},
        {adInteger, {}, "access", "12a", "!整数ではありません"},
        {adInteger, {}, "access", "1.0", "!整数ではありません"},
        {adInteger, {}, "access", "007", "7"},
        {adSmallInt, {}, "access", "32768", "!範囲"},
        {adUnsignedTinyInt, {}, "access", "-1", "!範囲"},
        {adBigInt, {}, "postgresql", "9223372036854775807", "9223372036854775807"},
        {adBigInt, {}, "postgresql", "9223372036854775808", "!範囲"},
        // Decimals and money: never rounded.
        {adNumeric, {}, "postgresql", "-12.500", "-12.500"},
        {adNumeric, {}, "postgresql", "1e3", "!10進数ではありません"},
        {adCurrency, {}, "access", "12.3456", "12.3456"},
        {adCurrency, {}, "access", "12.34567", "!小数点以下は4桁までです"},
        {adCurrency, {}, "access", "1234567890123456", "!通貨型の範囲"},
        {adCurrency, {}, "access", "922337203685477.5807", "922337203685477.5807"},
        {adCurrency, {}, "access", "-922337203685477.5808", "-922337203685477.5808"},
        {adCurrency, {}, "access", "922337203685477.5808", "!通貨型の範囲"},
        {adDouble, {}, "postgresql", "1.5e300", "1.5e300"},
        {adDouble, {}, "postgresql", "1e999", "!範囲を超えています"},
        {adDouble, {}, "postgresql", "nan", "!数値ではありません"},
        {adSingle, {}, "postgresql", "1e39", "!範囲を超えています"},
        {adDouble, {}, "postgresql", "1e-310", "1e-310"},
        {adDouble, {}, "postgresql", "1e-400", "!範囲を超えています"},
        {adSingle, {}, "postgresql", "1e-46", "!範囲を超えています"},
        // Truth values.
        {adBoolean, {}, "access", "true", "true"},
        {adBoolean, {}, "access", " 0 ", "false"},
        {adBoolean, {}, "access", "yes", "!true、false、1、0"},
        // Dates and date-times that exist; a zone only where the column keeps it.
        {adDBDate, {}, "postgresql", "2024-02-29", "2024-02-29"},
        {adDBDate, {}, "postgresql", "2023-02-29", "!日付"},
        // Written with slashes: the same day, the ISO way.
        {adDBDate, {}, "postgresql", "2026/1/5", "2026-01-05"},
        {adDBDate, {}, "postgresql", "2023/2/29", "!日付"},
        {adDBDate, {}, "postgresql", "2026/1/5/", "!日付"},
        {adDate, {}, "access", "2026/11/02 9:05", "2026-11-02 09:05"},
        {adDate, {}, "access", "2026/11/02T10:00:00", "2026-11-02T10:00:00"},
        {adDate, {}, "access", "2026/11/02 25:00", "!日付"},
        {adDate, {}, "access", "2026-12-07T10:00:00+09:00", "2026-12-07T10:00:00+09:00"},
        {adDate, {}, "access", "2026-12-07", "2026-12-07"},
        {adDate, {}, "access", "2026-12-07T24:30", "!日付・日時"},
        {adDBTimeStamp, {}, "postgresql", "2026-12-07T10:00:00Z", "!時差のある日時"},
        // Times a server would round or move are refused there; a comma fraction everywhere.
        {adDate, {}, "postgresql", "2026-12-07T09:30:00.999999", "2026-12-07T09:30:00.999999"},
        {adDate, {}, "postgresql", "2026-12-07T09:30:00.9999999", "!秒の小数は6桁まで"},
        {adDate, {}, "mysql", "2026-12-31T23:59:60", "!60秒"},
        {adDate, {}, "postgresql", "2026-12-31T24:00:00", "!24時"},
        {adDate, {}, "access", "2026-12-31T24:00:00", "2026-12-31T24:00:00"},
        {adDate, {}, "access", "2026-12-07T09:30:00,5", "!秒の小数点"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.db + " " + c.raw.substr(0, 40));
        std::string why;
        const auto rule = columnRule(c.type, c.size, c.db, false, why);
        ASSERT_TRUE(rule) << why;
        CellValue v;
        std::string reason;
        const bool ok = convertValue(*rule, c.raw, v, reason);
        if (c.expected[0] == '!') {
            EXPECT_FALSE(ok);
            EXPECT_EQ(reason.rfind(c.expected.substr(1), 0), 0u) << reason;
            continue;
        }
        ASSERT_TRUE(ok) << reason;
        std::string text;
        if (const auto* n = std::get_if<long long>(&v)) text = std::to_string(*n);
        if (const auto* b = std::get_if<bool>(&v)) text = *b ? "true" : "false";
        if (const auto* s = std::get_if<std::string>(&v)) text = *s;
        EXPECT_EQ(text, c.expected);
    }
    // A decimal with its precision and scale: what the server would round is refused.
    {
        std::string why;
        CellValue v;
        ColumnRule decimal = *columnRule(adNumeric, {}, "postgresql", false, why);
        decimal.precision = 6;
        decimal.scale = 2;
        for (const auto& [raw, ok] : std::vector<std::pair<const char*, bool>>{
                 {"1234.56", true}, {"-0001234.5", true}, {"1234.567", false}, {"12345.6", false}})
            EXPECT_EQ(convertValue(decimal, raw, v, why), ok) << raw << " " << why;
    }
    // A zone is kept where the server's column has one; binary columns take no document values.
    std::string why;
    CellValue v;
    EXPECT_TRUE(convertValue(*columnRule(adDBTimeStamp, {}, "postgresql", true, why),
                             "2026-12-07T10:00:00Z", v, why));
    EXPECT_FALSE(columnRule(adLongVarBinary, {}, "postgresql", false, why));
}
