#include "xml_analysis/evidence.h"

#include <charconv>
#include <cstring>

#include "services/text/text.h"

namespace quorix {

namespace {

bool digit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!digit(c)) return false;
    return true;
}

// The number in @p s at [at, at + n), or -1 when those are not all digits.
int number(std::string_view s, std::size_t at, std::size_t n) {
    if (at + n > s.size()) return -1;
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (!digit(s[i])) return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// "YYYY-MM-DD" at the start of @p s, a real day of the calendar.
bool isDate(std::string_view s) {
    if (s.size() < 10 || s[4] != '-' || s[7] != '-') return false;
    const int y = number(s, 0, 4), m = number(s, 5, 2), d = number(s, 8, 2);
    if (y < 1 || m < 1 || m > 12 || d < 1) return false;
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= (m == 2 && !leap ? 28 : kDays[m - 1]);
}

// ISO 8601 "YYYY-MM-DDTHH:MM[:SS[.fff]]" with an optional "Z" or "±HH:MM"; 0 when it is
// none, 1 without a time zone, 2 with one. Only times that exist: 24:00 is midnight exactly,
// zones lie within ±14:00.
int dateTimeKind(std::string_view s) {
    if (!isDate(s) || s.size() < 16 || (s[10] != 'T' && s[10] != ' ')) return 0;
    const int h = number(s, 11, 2), mi = number(s, 14, 2);
    if (s[13] != ':' || h < 0 || h > 24 || mi < 0 || mi > 59) return 0;
    bool nonZero = mi > 0;
    std::size_t i = 16;
    if (i < s.size() && s[i] == ':') {
        const int sec = number(s, i + 1, 2);
        if (sec < 0 || sec > 60) return 0;
        nonZero = nonZero || sec > 0;
        i += 3;
        if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
            std::size_t j = i + 1;
            for (; j < s.size() && digit(s[j]); ++j) nonZero = nonZero || s[j] != '0';
            if (j == i + 1) return 0;
            i = j;
        }
    }
    if (h == 24 && nonZero) return 0;
    if (i == s.size()) return 1;
    if (s[i] == 'Z' && i + 1 == s.size()) return 2;
    if ((s[i] == '+' || s[i] == '-') && i + 6 == s.size() && s[i + 3] == ':') {
        const int zh = number(s, i + 1, 2), zm = number(s, i + 4, 2);
        if (zh >= 0 && zm >= 0 && zm <= 59 && (zh < 14 || (zh == 14 && zm == 0))) return 2;
    }
    return 0;
}


}  // namespace

bool isIsoDate(std::string_view s) {
    return s.size() == 10 && isDate(s);
}

int isoDateTimeKind(std::string_view s) {
    return dateTimeKind(s);
}

std::optional<std::string> isoFromSlashed(std::string_view s) {
    if (s.size() < 8 || s[4] != '/' || number(s, 0, 4) < 0) return std::nullopt;
    std::string iso(s.substr(0, 4));
    std::size_t i = 5;
    // One or two digits, then @p end (or the text's end when @p last).
    const auto part = [&](char end, bool last) {
        std::size_t j = i;
        while (j < s.size() && j < i + 2 && digit(s[j])) ++j;
        if (j == i || (j < s.size() ? s[j] != end && !(last && (s[j] == ' ' || s[j] == 'T')) : !last))
            return false;
        iso += '-';
        if (j - i == 1) iso += '0';
        iso.append(s.substr(i, j - i));
        i = j;
        return true;
    };
    if (!part('/', false) || s[i++] != '/' || !part('\0', true)) return std::nullopt;
    if (i == s.size()) return iso;
    // The time: "H:MM" gets its leading zero, the rest is as ISO writes it.
    iso += s[i++];
    if (i + 1 < s.size() && digit(s[i]) && s[i + 1] == ':') iso += '0';
    iso.append(s.substr(i));
    return iso;
}

void Evidence::addValue(std::string_view v, std::size_t bytes, std::size_t chars, bool complete) {
    ++values;
    if (bytes > longestBytes) longestBytes = bytes;
    if (chars > longestChars) longestChars = chars;
    if (v.empty() && complete) {
        ++empty;
        return;
    }
    if (!complete) {
        ++text;
        return;
    }
    if (v == "true" || v == "false") {
        ++boolean;
        return;
    }
    const bool signed_ = v[0] == '+' || v[0] == '-';
    const std::string_view body = signed_ ? v.substr(1) : v;
    if (allDigits(body)) {
        long long n = 0;
        const auto [end, ec] =
            std::from_chars(v.data() + (v[0] == '+' ? 1 : 0), v.data() + v.size(), n);
        if (ec == std::errc() && end == v.data() + v.size()) {
            ++integer;
            if (!minInteger || n < *minInteger) minInteger = n;
            if (!maxInteger || n > *maxInteger) maxInteger = n;
            if (body.size() > 1 && body[0] == '0') leadingZero = true;
            if (signed_) sign = true;
            if ((n == 0 || n == 1) && !signed_ && body.size() == 1) ++zeroOrOne;
            return;
        }
        // Beyond 64 bits: a decimal number without a point.
        ++decimal;
        if (signed_) sign = true;
        integerDigits = std::max(integerDigits, static_cast<long long>(body.size()));
        return;
    }
    const auto point = body.find('.');
    if (point != std::string_view::npos && (point > 0 || body.size() > 1) &&
        (point == 0 || allDigits(body.substr(0, point))) &&
        (point + 1 == body.size() || allDigits(body.substr(point + 1)))) {
        ++decimal;
        if (signed_) sign = true;
        integerDigits = std::max(integerDigits, static_cast<long long>(point));
        fractionDigits = std::max(fractionDigits, static_cast<long long>(body.size() - point - 1));
        return;
    }
    // Dates written with slashes are dates too, noted apart: the load writes them the ISO way.
    const std::optional<std::string> slashed = isoFromSlashed(v);
    const std::string_view iso = slashed ? std::string_view(*slashed) : v;
    if (iso.size() == 10 && isDate(iso)) {
        ++date;
        if (slashed) ++slashDates;
        return;
    }
    switch (dateTimeKind(iso)) {
        case 1:
            ++dateTime;
            break;
        case 2:
            ++dateTimeTz;
            break;
        default:
            ++text;
            return;
    }
    if (slashed) ++slashDates;
}

bool Evidence::allBoolean() const {
    const long long seen = nonEmpty();
    return seen > 0 && boolean + zeroOrOne == seen;
}

void ValueScanner::reset() {
    m_head.clear();
    m_bytes = m_chars = m_pendingBlanks = m_leading = 0;
    m_complete = true;
}

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Characters and CP932 bytes of UTF-8 text, eight ASCII bytes at a time; whether it holds a
// control character (a tab or line break inside the value).
bool countText(std::string_view s, std::size_t& chars, std::size_t& bytes) {
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL, kSpace = 0x2020202020202020ULL;
    bool controls = false;
    const char* p = s.data();
    const char* const end = p + s.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & kHigh) == 0) {
                // A byte below 0x20 borrows through its high bit.
                controls |= ((word - kSpace) & ~word & kHigh) != 0;
                chars += 8;
                bytes += 8;
                p += 8;
                continue;
            }
        }
        const auto lead = static_cast<unsigned char>(*p);
        if (lead < 0x80) {
            controls |= lead < 0x20;
            ++chars;
            ++bytes;
            ++p;
            continue;
        }
        const std::size_t len = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = lead & (0xFF >> (len + 1));
        for (std::size_t k = 1; k < len && p + k < end; ++k)
            c = (c << 6) | (static_cast<unsigned char>(p[k]) & 0x3F);
        ++chars;
        bytes += cp932Bytes(c);
        p += std::min<std::size_t>(len, static_cast<std::size_t>(end - p));
    }
    return controls;
}

}  // namespace

void ValueScanner::append(std::string_view s) {
    std::size_t first = 0;
    if (m_chars == 0)
        while (first < s.size() && blank(s[first])) ++first;
    m_leading += first;
    std::size_t last = s.size();
    while (last > first && blank(s[last - 1])) --last;
    if (last == first) {  // blanks only: they count if something follows them
        if (m_chars > 0) m_pendingBlanks += s.size() - first;
        return;
    }
    // Blanks inside the value belong to it, kept as spaces.
    const std::string_view text = s.substr(first, last - first);
    m_bytes += m_pendingBlanks;
    m_chars += m_pendingBlanks;
    const bool controls = countText(text, m_chars, m_bytes);
    if (m_complete) {
        const std::size_t room = kKept - std::min(kKept, m_head.size());
        if (m_pendingBlanks + text.size() <= room) {
            const std::size_t at = m_head.size();
            m_head.append(m_pendingBlanks, ' ').append(text);
            if (controls)
                for (std::size_t i = at; i < m_head.size(); ++i)
                    if (blank(m_head[i])) m_head[i] = ' ';
        } else {
            m_complete = false;  // the beginning is enough to tell a value's kind
        }
    }
    m_pendingBlanks = s.size() - last;
}

void ValueScanner::addTo(Evidence& evidence) const {
    // A text column keeps the blanks around a value: its length counts them.
    const std::size_t around = m_leading + m_pendingBlanks;
    evidence.addValue(m_head, m_bytes + around, m_chars + around, m_complete);
}

std::vector<std::string> evidenceColumns() {
    return {"出現行", "出現回数", "最長(バイト)", "最長(文字)", "空",       "整数",
            "最小",   "最大",     "先頭0",        "小数",       "整数部桁", "小数部桁",
            "真偽",   "日付",     "日時",         "日時(TZ)",   "テキスト"};
}

std::vector<std::string> evidenceCells(const Evidence& e) {
    auto n = [](long long v) { return std::to_string(v); };
    return {n(e.rows),
            n(e.occurrences),
            e.values ? n(static_cast<long long>(e.longestBytes)) : "",
            e.values ? n(static_cast<long long>(e.longestChars)) : "",
            n(e.empty),
            n(e.integer),
            e.minInteger ? n(*e.minInteger) : "",
            e.maxInteger ? n(*e.maxInteger) : "",
            e.leadingZero ? "あり" : "",
            n(e.decimal),
            e.decimal ? n(e.integerDigits) : "",
            e.decimal ? n(e.fractionDigits) : "",
            n(e.boolean + (e.allBoolean() ? e.zeroOrOne : 0)),
            n(e.date),
            n(e.dateTime),
            n(e.dateTimeTz),
            n(e.text)};
}

std::string evidenceSummary(const Evidence& e, long long totalRows) {
    std::string s = "出現 " + grouped(e.rows) + " / " + grouped(totalRows) + " 行";
    if (e.occurrences != e.rows) s += "（" + grouped(e.occurrences) + " 回）";
    if (e.values == 0) return s;
    s += "・最長 " + grouped(static_cast<long long>(e.longestBytes)) + " バイト";
    auto kind = [&](const char* name, long long n, const std::string& detail = {}) {
        if (n > 0) s += std::string("・") + name + " " + grouped(n) + detail;
    };
    std::string range;
    if (e.minInteger)
        range = "（" + grouped(*e.minInteger) + "〜" + grouped(*e.maxInteger) +
                (e.leadingZero ? "、先頭0あり" : "") + "）";
    kind("整数", e.integer, range);
    kind("小数", e.decimal,
         "（整数部 " + std::to_string(e.integerDigits) + " 桁・小数部 " +
             std::to_string(e.fractionDigits) + " 桁）");
    kind("真偽", e.boolean);
    kind("日付", e.date);
    kind("日時", e.dateTime);
    kind("日時(TZ)", e.dateTimeTz);
    if (e.slashDates > 0) s += "（うち「YYYY/MM/DD」の形 " + grouped(e.slashDates) + "）";
    kind("テキスト", e.text);
    kind("空", e.empty);
    return s;
}

}  // namespace quorix
