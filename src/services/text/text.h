#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorix {

/// Removes leading and trailing blanks (U+0020), the only padding the fixed-width fields use.
std::string trimBlanks(std::string_view text);

/// Number of bytes @p utf8 takes in code page 932; a character CP932 cannot encode counts as two.
std::size_t cp932Length(std::string_view utf8);

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
