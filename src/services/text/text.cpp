#include "text.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace quorix {

namespace {

// One iconv conversion descriptor, closed on scope exit.
class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (valid()) iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Length of the UTF-8 sequence that starts with @p lead (1 for a stray byte).
std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

const char kReplacement[] = "\xEF\xBF\xBD";

}  // namespace

std::string trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::size_t cp932Length(std::string_view utf8) {
    // Plain ASCII is by far the most common case: one byte per character.
    bool ascii = true;
    for (unsigned char c : utf8) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) return utf8.size();

    // Opening a converter costs far more than converting a short text: keep one per thread.
    thread_local Iconv cd("CP932", "UTF-8");
    if (!cd.valid()) {
        // Without a converter count every non-ASCII character as two bytes.
        std::size_t n = 0;
        for (std::size_t i = 0; i < utf8.size(); i += utf8SequenceLength(utf8[i]))
            n += static_cast<unsigned char>(utf8[i]) < 0x80 ? 1 : 2;
        return n;
    }
    std::size_t total = 0;
    char out[8];
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t len = std::min(utf8SequenceLength(utf8[i]), utf8.size() - i);
        char* in = const_cast<char*>(utf8.data() + i);
        std::size_t inLeft = len;
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        if (iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
            total += 2;
        } else {
            total += sizeof out - outLeft;
        }
        i += len;
    }
    return total;
}

std::string decodeToUtf8(std::string_view bytes, const std::string& encoding) {
    Iconv cd("UTF-8", encoding.empty() ? "UTF-8" : encoding.c_str());
    Iconv fallback("UTF-8", "UTF-8");
    const Iconv& conv = cd.valid() ? cd : fallback;
    if (!conv.valid()) return std::string(bytes);

    std::string result;
    result.reserve(bytes.size() + bytes.size() / 2);
    std::vector<char> buffer(4096);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* out = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t rc = iconv(conv.get(), &in, &inLeft, &out, &outLeft);
        result.append(buffer.data(), buffer.size() - outLeft);
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // Invalid or truncated input: mark one byte and go on after it.
        result += kReplacement;
        ++in;
        --inLeft;
        iconv(conv.get(), nullptr, nullptr, nullptr, nullptr);
    }
    return result;
}

}  // namespace quorix
