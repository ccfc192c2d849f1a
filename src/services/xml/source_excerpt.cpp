#include "services/xml/source_excerpt.h"

#include <unistd.h>

#include <vector>

#include "services/text/text.h"

namespace quorix {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";
const char kEllipsis[] = "\xE2\x80\xA6";

// True when the code unit at @p p is a line feed.
bool isLineFeed(const unsigned char* p, const TextEncoding& e) {
    switch (e.unit) {
        case 2:
            return e.bigEndian ? (p[0] == 0 && p[1] == '\n') : (p[0] == '\n' && p[1] == 0);
        case 4:
            return e.bigEndian ? (p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == '\n')
                               : (p[0] == '\n' && p[1] == 0 && p[2] == 0 && p[3] == 0);
        default:
            return p[0] == '\n';
    }
}

// Collects the characters of one line that fall into the excerpt.
class Window {
public:
    explicit Window(long column)
        : m_from(column > kExcerptChars / 2 ? column - 1 - kExcerptChars / 2 : 0) {}

    // Takes decoded UTF-8; false once the excerpt is full and more of the line follows.
    bool take(const std::string& utf8) {
        for (std::size_t i = 0; i < utf8.size();) {
            const unsigned char lead = static_cast<unsigned char>(utf8[i]);
            const std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            const std::string c = utf8.substr(i, len);
            i += len;
            if (m_first && c == "\xEF\xBB\xBF") continue;  // a byte order mark
            m_first = false;
            if (m_index >= m_from + kExcerptChars) {
                m_cutEnd = true;
                return false;
            }
            if (m_index++ < m_from) continue;
            m_kept.push_back(readable(c, lead));
        }
        return true;
    }

    std::string text() {
        // The line's own line end is not part of it.
        if (!m_cutEnd && !m_kept.empty() && m_kept.back() == kReplacement && m_lastWasCr)
            m_kept.pop_back();
        std::string s = m_from > 0 ? kEllipsis : "";
        for (const auto& c : m_kept) s += c;
        if (m_cutEnd) s += kEllipsis;
        return s;
    }

private:
    std::string readable(const std::string& c, unsigned char lead) {
        m_lastWasCr = c == "\r";
        if (c == "\t") return " ";
        const bool c0 = lead < 0x20 || lead == 0x7F;
        const bool c1 = c.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(c[1]) < 0xA0;
        return c0 || c1 ? kReplacement : c;
    }

    long m_from;
    long m_index = 0;
    bool m_first = true;
    bool m_cutEnd = false;
    bool m_lastWasCr = false;
    std::vector<std::string> m_kept;
};

}  // namespace

std::string sourceExcerpt(int fd, long line, long column, const TextEncoding& encoding) {
    if (line < 1) return {};
    const std::size_t unit = encoding.unit == 2 || encoding.unit == 4 ? encoding.unit : 1;
    // Whole units per read, so that a unit never straddles two reads.
    std::vector<unsigned char> buffer(65536);
    off_t pos = 0;
    long current = 1;
    Utf8Decoder decoder(encoding.name);
    Window window(column);
    std::string decoded;
    for (;;) {
        const ssize_t n = pread(fd, buffer.data(), buffer.size(), pos);
        if (n <= 0) break;
        const std::size_t size = static_cast<std::size_t>(n) / unit * unit;
        if (size == 0) break;
        std::size_t start = 0;
        std::size_t i = 0;
        bool lineEnded = false;
        for (; i < size; i += unit) {
            if (!isLineFeed(buffer.data() + i, encoding)) continue;
            if (current == line) {
                lineEnded = true;
                break;
            }
            if (++current == line) start = i + unit;
        }
        if (current == line) {
            decoded.clear();
            const std::size_t end = lineEnded ? i : size;
            decoder.feed(
                std::string_view(reinterpret_cast<const char*>(buffer.data()) + start, end - start),
                decoded);
            if (lineEnded) decoder.finish(decoded);
            if (!window.take(decoded) || lineEnded) return window.text();
        }
        pos += static_cast<off_t>(size);
    }
    if (current < line) return {};
    decoded.clear();
    decoder.finish(decoded);
    window.take(decoded);
    return window.text();
}

}  // namespace quorix
