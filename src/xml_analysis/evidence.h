#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorix {

/// What every row of a document says about one element of its template: how often it
/// occurs, how long its values are and of which kinds. Its size does not grow with the
/// document.
/// "YYYY-MM-DD", a real day of the calendar.
bool isIsoDate(std::string_view s);
/// ISO 8601 "YYYY-MM-DDTHH:MM[:SS[.fff]]" with an optional "Z" or "±HH:MM" (a blank may stand
/// for the "T"), a time that exists: 0 when it is none, 1 without a time zone, 2 with one.
int isoDateTimeKind(std::string_view s);

/// "YYYY/M/D" (one or two digits of month and day) with an optional time after a blank or
/// "T", written the ISO way ("2026/1/2 9:05" → "2026-01-02 09:05"); nullopt for anything else.
/// Whether the day and time exist is for the ISO checks to say.
std::optional<std::string> isoFromSlashed(std::string_view s);

struct Evidence {
    long long rows = 0;         ///< rows in which the element occurs
    long long occurrences = 0;  ///< all its occurrences
    long long values = 0;       ///< occurrences with a value: no child elements, or text of its own
    std::size_t longestBytes = 0;  ///< longest value in CP932 bytes, as "桁数" counts them
    std::size_t longestChars = 0;  ///< the same in characters

    // Kinds of the values, each value counted once.
    long long empty = 0;
    long long integer = 0;  ///< within 64 bits
    long long decimal = 0;  ///< with a point, or an integer beyond 64 bits
    long long boolean = 0;  ///< "true" or "false"
    long long date = 0;
    long long dateTime = 0;    ///< without a time zone
    long long dateTimeTz = 0;  ///< with one
    long long text = 0;
    long long slashDates = 0;  ///< of the dates and date-times, those written "YYYY/MM/DD"

    std::optional<long long> minInteger, maxInteger;
    bool leadingZero = false;     ///< an integer written with a leading zero ("007")
    bool sign = false;            ///< a number written with "+" or "-"
    long long zeroOrOne = 0;      ///< integers that are 0 or 1: booleans when nothing else was seen
    long long integerDigits = 0;  ///< the most digits before the point of a decimal
    long long fractionDigits = 0;  ///< the most digits after it

    /// Adds one value, blanks around it already removed, @p bytes and @p chars long; only
    /// its first part may be given when it is long (@p complete false): it is then text.
    void addValue(std::string_view value, std::size_t bytes, std::size_t chars, bool complete);

    /// True when every value seen is "true", "false", 0 or 1 (and there is one).
    bool allBoolean() const;
    long long nonEmpty() const { return values - empty; }

    bool operator==(const Evidence&) const = default;
};

/// CP932 bytes of one character, as "桁数" counts them: 1 for ASCII, half-width katakana and
/// the two characters CP932 writes in one byte (U+00A5, U+203E), 2 for every other character
/// (also those CP932 cannot encode).
inline std::size_t cp932Bytes(char32_t c) {
    return c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F) || c == 0xA5 || c == 0x203E ? 1 : 2;
}

/// Collects one value as its text arrives in pieces: its kind is told without the blanks around
/// it, its length counted exactly with them (a text column keeps them), and only its beginning
/// kept (enough to tell its kind).
class ValueScanner {
public:
    static constexpr std::size_t kKept = 512;

    void append(std::string_view utf8);
    void reset();
    /// Adds the value to @p evidence.
    void addTo(Evidence& evidence) const;
    bool hasText() const { return m_chars > 0; }

private:
    std::string m_head;
    std::size_t m_bytes = 0, m_chars = 0, m_pendingBlanks = 0, m_leading = 0;
    bool m_complete = true;
};

/// The names of the figures evidenceCells gives, in order.
std::vector<std::string> evidenceColumns();
/// The figures of one element as texts (empty where a figure does not apply).
std::vector<std::string> evidenceCells(const Evidence& e);

/// "出現 9 987 / 10 000 行・最長 24 バイト・整数 9 987（1〜98 765）": one line for a tooltip.
std::string evidenceSummary(const Evidence& e, long long totalRows);

}  // namespace quorix
