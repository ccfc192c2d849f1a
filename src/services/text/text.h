#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorix {

/// Removes leading and trailing blanks (U+0020), the only padding the fixed-width fields use.
std::string trimBlanks(std::string_view text);

/// Number of bytes @p utf8 takes in code page 932; a character CP932 cannot encode counts as two.
std::size_t cp932Length(std::string_view utf8);

/// A count as the messages write it: digits in groups of three, a space between ("1 234 567").
std::string grouped(long long n);

/// Decodes @p bytes from @p encoding (an iconv name) to UTF-8. Undecodable bytes become U+FFFD,
/// so the result is always valid UTF-8. An unknown encoding is treated as UTF-8.
std::string decodeToUtf8(std::string_view bytes, const std::string& encoding);

/// Decodes text that arrives in pieces, as decodeToUtf8 does for the whole: a character split
/// between two pieces is decoded whole.
class Utf8Decoder {
public:
    explicit Utf8Decoder(const std::string& encoding);
    ~Utf8Decoder();
    Utf8Decoder(const Utf8Decoder&) = delete;
    Utf8Decoder& operator=(const Utf8Decoder&) = delete;

    /// Appends the UTF-8 of @p bytes to @p out; an incomplete character at the end waits
    /// for the next piece.
    void feed(std::string_view bytes, std::string& out);
    /// Ends the text: a character left incomplete becomes U+FFFD.
    void finish(std::string& out);

private:
    void* m_cd;
    std::string m_pending;
};

}  // namespace quorix

namespace quorix {

/// Offset of the first byte of @p text that is not strict UTF-8 (overlong forms, surrogates
/// and code points above U+10FFFF are refused); npos when the whole text is.
std::size_t invalidUtf8At(std::string_view text);

/// The most characters a message echoes of a value, a path or a line.
inline constexpr std::size_t kEchoChars = 200;

/// @p text as a message may repeat it: bytes that are not UTF-8 and control characters shown
/// as "\xNN" (a control character beyond ASCII as "\u0085"), at most @p maxChars characters,
/// "…" where it was cut.
std::string displayText(std::string_view text, std::size_t maxChars = kEchoChars);

/// Opens @p path for reading when it is a regular file, without ever waiting on a FIFO or a
/// device. Returns the descriptor, or -1 with a Japanese reason in @p reason.
int openRegularFile(const std::string& path, std::string& reason);

/// Reads a whole regular file of at most @p limit bytes; nullopt with a Japanese reason in
/// @p reason (the limit is named when the file is larger).
std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit,
                                           std::string& reason);

}  // namespace quorix
