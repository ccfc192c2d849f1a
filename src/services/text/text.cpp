#include "text.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string grouped(long long n) {
    const std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return (n < 0 ? "-" : "") + out;
}

namespace {

// The code point of the UTF-8 sequence of @p len bytes at @p p (a broken one as U+FFFD).
char32_t codePoint(const unsigned char* p, std::size_t len) {
    if (len == 1) return p[0];
    char32_t c = p[0] & (0xFF >> (len + 1));
    for (std::size_t k = 1; k < len; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (p[k] & 0x3F);
    }
    return c;
}

}  // namespace

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

    // CP932 keeps ASCII and the halfwidth katakana in one byte and every other character it
    // has in two; one it does not have counts two as well. Only the few code points whose
    // width depends on the converter's table are asked of it; opening a converter costs far
    // more than converting a short text, so one is kept per thread.
    std::size_t total = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        // Most characters are told by their first byte: ASCII is one, and so are kana, kanji
        // and the other characters led by C3–DF or E1–EE but E2 two, whatever follows.
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            ++total;
            ++i;
            continue;
        }
        if (lead >= 0xC3 && lead <= 0xDF && i + 2 <= utf8.size()) {
            total += 2;
            i += 2;
            continue;
        }
        if (lead >= 0xE1 && lead <= 0xEE && lead != 0xE2 && i + 3 <= utf8.size()) {
            total += 2;
            i += 3;
            continue;
        }
        const std::size_t len = std::min(utf8SequenceLength(utf8[i]), utf8.size() - i);
        const char32_t c = codePoint(reinterpret_cast<const unsigned char*>(utf8.data() + i), len);
        if (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F)) {
            total += 1;
        } else if (c == 0x80 || c == 0xA0 || c == 0xA5 || c == 0x203E ||
                   (c >= 0xF8F0 && c <= 0xF8F3) || (c >= 0xE0000 && c <= 0xE007F)) {
            thread_local Iconv cd("CP932", "UTF-8");
            char* in = const_cast<char*>(utf8.data() + i);
            std::size_t inLeft = len;
            char out[8];
            char* outPtr = out;
            std::size_t outLeft = sizeof out;
            if (!cd.valid() ||
                iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
                if (cd.valid()) iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
                total += 2;
            } else {
                total += sizeof out - outLeft;
            }
        } else {
            total += 2;
        }
        i += len;
    }
    return total;
}

std::string decodeToUtf8(std::string_view bytes, const std::string& encoding) {
    std::string result;
    result.reserve(bytes.size() + bytes.size() / 2);
    Utf8Decoder decoder(encoding);
    decoder.feed(bytes, result);
    decoder.finish(result);
    return result;
}

Utf8Decoder::Utf8Decoder(const std::string& encoding) {
    iconv_t cd = iconv_open("UTF-8", encoding.empty() ? "UTF-8" : encoding.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "UTF-8");
    m_cd = cd;
}

Utf8Decoder::~Utf8Decoder() {
    if (m_cd != reinterpret_cast<void*>(-1)) iconv_close(static_cast<iconv_t>(m_cd));
}

void Utf8Decoder::feed(std::string_view bytes, std::string& out) {
    if (m_cd == reinterpret_cast<void*>(-1)) {
        out.append(bytes);
        return;
    }
    const auto cd = static_cast<iconv_t>(m_cd);
    m_pending.append(bytes);
    char buffer[4096];
    char* in = m_pending.data();
    std::size_t inLeft = m_pending.size();
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        if (errno == EINVAL) break;  // incomplete: wait for the next piece
        // Invalid input: mark one byte and go on after it.
        out += kReplacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    m_pending.erase(0, m_pending.size() - inLeft);
}

void Utf8Decoder::finish(std::string& out) {
    // A character that never completed: mark its first byte and decode what follows it.
    while (!m_pending.empty()) {
        const std::string rest = m_pending.substr(1);
        m_pending.clear();
        out += kReplacement;
        if (m_cd != reinterpret_cast<void*>(-1))
            iconv(static_cast<iconv_t>(m_cd), nullptr, nullptr, nullptr, nullptr);
        feed(rest, out);
    }
}

}  // namespace quorix

namespace quorix {

namespace {

// Length of the well-formed UTF-8 character at the start of @p s, or 0 when it is not one.
std::size_t strictSequence(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;   // overlong
        if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;   // overlong
        if (c == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < n || b(1) < low || b(1) > high) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if ((b(k) & 0xC0) != 0x80) return 0;
    return n;
}

// "256 MiB", "4 KiB", "100 バイト".
std::string sizeText(std::size_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " バイト";
}

std::string hexByte(unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("\\x") + digits[c >> 4] + digits[c & 15];
}

}  // namespace

std::size_t invalidUtf8At(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = strictSequence(text.substr(i));
        if (n == 0) return i;
        i += n;
    }
    return std::string_view::npos;
}

std::string displayText(std::string_view text, std::size_t maxChars) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++chars) {
        if (chars == maxChars) return out + "\xE2\x80\xA6";
        const std::size_t n = strictSequence(text.substr(i));
        const auto c = static_cast<unsigned char>(text[i]);
        if (n == 0 || c < 0x20 || c == 0x7F) {
            out += hexByte(c);
            ++i;
            continue;
        }
        if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            out += "\\u00" + hexByte(static_cast<unsigned char>(text[i + 1])).substr(2);
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

int openRegularFile(const std::string& path, std::string& reason) {
    // Without blocking: opening a FIFO for reading would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = errno == ENOENT ? "ファイルが見つかりません。" : "ファイルを読み込めません。";
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        reason = S_ISDIR(st.st_mode) ? "フォルダーです。ファイルを指定してください。"
                                     : "通常のファイルではないため読み込めません。";
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<std::string> readRegularFile(const std::string& path, std::size_t limit,
                                           std::string& reason) {
    const int fd = openRegularFile(path, reason);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            reason = "ファイルを読み込めません。";
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        // Checked while reading: the file may grow after it was opened.
        if (text.size() + static_cast<std::size_t>(n) > limit) {
            reason = "ファイルが大きすぎます（上限 " + sizeText(limit) + "）。";
            ::close(fd);
            return std::nullopt;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

}  // namespace quorix
