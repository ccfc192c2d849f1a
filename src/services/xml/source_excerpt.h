#pragma once

#include <string>

namespace quorix {

/// How the characters of a file are stored, as far as finding its lines needs.
struct TextEncoding {
    std::string name;        ///< iconv name; empty for UTF-8
    int unit = 1;            ///< bytes per code unit: 1, 2 (UTF-16) or 4 (UTF-32)
    bool bigEndian = false;  ///< byte order of 2- and 4-byte units
};

/// The most characters an excerpt shows.
inline constexpr long kExcerptChars = 200;

/// A readable piece of line @p line (1-based) of the file open at @p fd: at most
/// kExcerptChars characters around @p column (1-based; 0 when unknown), decoded to UTF-8,
/// "…" where the line was cut, control characters and undecodable bytes replaced by U+FFFD
/// (a tab by a blank). Reads the file only up to that piece; empty when there is no such line.
std::string sourceExcerpt(int fd, long line, long column, const TextEncoding& encoding);

}  // namespace quorix
