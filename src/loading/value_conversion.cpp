#include "loading/value_conversion.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "services/db/engine/currency.h"
#include "services/db/engine/data_type.h"
#include "services/text/text.h"
#include "xml_analysis/evidence.h"

namespace quorix {

namespace {

bool isXmlBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isXmlBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isXmlBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool digits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// [+-]digits within [low, high].
bool integer(std::string_view s, long long low, long long high, long long& out,
             std::string& reason) {
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) body.remove_prefix(1);
    if (!digits(body)) {
        reason = "整数ではありません";
        return false;
    }
    long long v = 0;
    const char* first = s.data() + (!s.empty() && s[0] == '+' ? 1 : 0);
    const auto [end, error] = std::from_chars(first, s.data() + s.size(), v);
    if (error != std::errc() || end != s.data() + s.size() || v < low || v > high) {
        reason = "範囲（" + std::to_string(low) + "～" + std::to_string(high) + "）を超えています";
        return false;
    }
    out = v;
    return true;
}

// [+-](digits[.digits] | .digits); the digits after the point are counted.
bool decimal(std::string_view s, std::size_t& fraction) {
    std::string_view body = s;
    if (!body.empty() && (body[0] == '+' || body[0] == '-')) body.remove_prefix(1);
    const auto point = body.find('.');
    if (point == std::string_view::npos) {
        fraction = 0;
        return digits(body);
    }
    const std::string_view whole = body.substr(0, point), part = body.substr(point + 1);
    // The places that hold something: trailing zeros lose nothing where there are fewer.
    fraction = part.size();
    while (fraction > 0 && part[fraction - 1] == '0') --fraction;
    return (whole.empty() || digits(whole)) && (part.empty() || digits(part)) &&
           !(whole.empty() && part.empty());
}

// Why the time of a valid ISO date-time cannot be taken as written; empty when it can. A comma
// before the fraction is refused everywhere (no engine reads it); on a server, what it would
// round or move to the next minute or day.
std::string timeAlteration(std::string_view v, bool server) {
    if (v.size() < 16) return {};
    const std::size_t point = v.find_first_of(".,", 16);
    if (point != std::string_view::npos && v[point] == ',')
        return "秒の小数点には「.」を使ってください";
    if (!server) return {};
    if (point != std::string_view::npos) {
        std::size_t end = point + 1;
        while (end < v.size() && v[end] >= '0' && v[end] <= '9') ++end;
        if (end - point - 1 > 6) return "秒の小数は6桁までです（丸めずに取り込むため）";
    }
    if (v.substr(11, 2) == "24") return "24時はこのデータベースでは翌日の0時になります";
    if (v.size() >= 19 && v[16] == ':' && v.substr(17, 2) == "60")
        return "60秒（うるう秒）はこのデータベースでは次の分になります";
    return {};
}

}  // namespace

bool isTextType(int32_t type) {
    switch (type) {
        case adVarWChar:
        case adVarChar:
        case adWChar:
        case adChar:
        case adLongVarWChar:
        case adLongVarChar:
        case adGUID:
            return true;
        default:
            return false;
    }
}

std::optional<ColumnRule> columnRule(int32_t typeCode, const std::optional<long long>& size,
                                     const std::string& dbType, bool timeZone,
                                     std::string& reason) {
    ColumnRule rule;
    rule.type = typeCode;
    switch (typeCode) {
        case adBinary:
        case adVarBinary:
        case adLongVarBinary:
            reason = "バイナリの列には文書の値を取り込めません";
            return std::nullopt;
        default:
            break;
    }
    if (typeCode != adLongVarWChar && typeCode != adLongVarChar && size && *size > 0)
        rule.size = size;
    // The servers count characters; the file engine's sizes are CP932 bytes.
    rule.sizeInCharacters = dbType == "postgresql" || dbType == "mysql";
    // A server column without a zone would drop it in silence.
    rule.zoneKept = dbType != "postgresql" || timeZone;
    rule.timesAltered = dbType == "postgresql" || dbType == "mysql";
    return rule;
}

bool textFits(const ColumnRule& rule, std::string_view raw, std::string& reason) {
    if (!rule.size) return true;
    // Neither characters nor CP932 bytes outnumber the UTF-8 bytes.
    if (static_cast<long long>(raw.size()) <= *rule.size) return true;
    std::size_t n = 0;
    if (rule.sizeInCharacters) {
        for (unsigned char c : raw) n += (c & 0xC0) != 0x80;
    } else {
        n = cp932Length(raw);
    }
    if (static_cast<long long>(n) <= *rule.size) return true;
    reason = std::string(rule.sizeInCharacters ? "文字数" : "バイト数") + "が" +
             std::to_string(*rule.size) + "を超えています（" + std::to_string(n) + "）";
    return false;
}

namespace {

// A decimal's digits against the column's precision and scale: the server would round what
// does not fit, so it is refused instead.
bool withinPrecision(const ColumnRule& rule, std::string_view v, std::size_t fraction,
                     std::string& reason) {
    if (rule.precision <= 0) return true;
    const std::string_view body = v.substr(v[0] == '+' || v[0] == '-' ? 1 : 0);
    const std::string_view whole = body.substr(0, body.find('.'));
    const std::size_t first = whole.find_first_not_of('0');
    const std::size_t digitsBefore = first == std::string_view::npos ? 0 : whole.size() - first;
    if (fraction > static_cast<std::size_t>(rule.scale)) {
        reason = "小数部は" + std::to_string(rule.scale) + "桁までです";
        return false;
    }
    if (digitsBefore > static_cast<std::size_t>(rule.precision - rule.scale)) {
        reason = "整数部は" + std::to_string(rule.precision - rule.scale) + "桁までです";
        return false;
    }
    return true;
}

// A floating value of double or single precision, kept as written when it is one.
bool floating(const ColumnRule& rule, std::string_view v, CellValue& out, std::string& reason) {
    const std::string text(v);
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(text.c_str(), &end);
    const bool number = !text.empty() && end == text.c_str() + text.size() &&
                        text.find_first_of("xXnN") == std::string::npos;
    // Underflow is an error only where the value would become zero: subnormal
    // numbers are kept.
    const bool lost = errno == ERANGE && (d == 0 || !std::isfinite(d) || std::fabs(d) >= 1.0);
    const bool singleLost = rule.type == adSingle &&
                            (std::fabs(d) > std::numeric_limits<float>::max() ||
                             (d != 0 && std::fabs(d) < std::numeric_limits<float>::denorm_min()));
    if (!number || lost || !std::isfinite(d) || singleLost) {
        reason = number ? "範囲を超えています" : "数値ではありません";
        return false;
    }
    out = text;
    return true;
}

}  // namespace

bool convertValue(const ColumnRule& rule, std::string_view raw, CellValue& out,
                  std::string& reason) {
    if (isTextType(rule.type)) {
        if (!textFits(rule, raw, reason)) return false;
        out = std::string(raw);
        return true;
    }
    std::string_view v = trimmed(raw);
    long long n = 0;
    std::size_t fraction = 0;
    switch (rule.type) {
        case adTinyInt:
            if (!integer(v, -128, 127, n, reason)) return false;
            out = n;
            return true;
        case adUnsignedTinyInt:
            if (!integer(v, 0, 255, n, reason)) return false;
            out = n;
            return true;
        case adSmallInt:
            if (!integer(v, -32768, 32767, n, reason)) return false;
            out = n;
            return true;
        case adInteger:
            if (!integer(v, std::numeric_limits<int32_t>::min(),
                         std::numeric_limits<int32_t>::max(), n, reason))
                return false;
            out = n;
            return true;
        case adBigInt:
            if (!integer(v, std::numeric_limits<long long>::min(),
                         std::numeric_limits<long long>::max(), n, reason))
                return false;
            out = n;
            return true;
        case adBoolean:
            if (v == "true" || v == "1") {
                out = true;
            } else if (v == "false" || v == "0") {
                out = false;
            } else {
                reason = "true、false、1、0 のどれでもありません";
                return false;
            }
            return true;
        case adNumeric:
        case adDecimal:
            if (!decimal(v, fraction)) {
                reason = "10進数ではありません";
                return false;
            }
            if (!withinPrecision(rule, v, fraction, reason)) return false;
            out = std::string(v);
            return true;
        case adCurrency: {
            if (!decimal(v, fraction)) {
                reason = "10進数ではありません";
                return false;
            }
            if (fraction > 4) {
                reason = "小数点以下は4桁までです";
                return false;
            }
            if (!currencyUnits(v)) {
                reason =
                    "通貨型の範囲（-922337203685477.5808～922337203685477.5807）を超えています";
                return false;
            }
            out = std::string(v);
            return true;
        }
        case adDouble:
        case adSingle:
            return floating(rule, v, out, reason);
        case adDBDate: {
            // "2026/11/02" is the same day, written the ISO way.
            const std::optional<std::string> slashed = isoFromSlashed(v);
            if (!isIsoDate(slashed ? *slashed : v)) {
                reason = "日付（YYYY-MM-DD）ではありません";
                return false;
            }
            out = slashed ? *slashed : std::string(v);
            return true;
        }
        case adDate:
        case adDBTimeStamp: {
            const std::optional<std::string> slashed = isoFromSlashed(v);
            if (slashed) v = *slashed;
            const int kind = isIsoDate(v) ? 1 : isoDateTimeKind(v);
            if (kind == 0) {
                reason = "日付・日時（YYYY-MM-DDTHH:MM:SS）ではありません";
                return false;
            }
            if (kind == 2 && !rule.zoneKept) {
                reason = "時差のある日時は時差を持たない列には入りません";
                return false;
            }
            if (kind != 1 || v.size() > 10)
                if (std::string why = timeAlteration(v, rule.timesAltered); !why.empty()) {
                    reason = why;
                    return false;
                }
            out = std::string(v);
            return true;
        }
        default:
            out = std::string(v);
            return true;
    }
}

}  // namespace quorix
