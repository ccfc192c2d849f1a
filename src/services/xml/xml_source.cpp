#include "services/xml/xml_source.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "services/text/text.h"

namespace quorix {

struct XmlSource::Inflater {
    z_stream z{};
    bool ended = false;  // the last member's end was reached
    ~Inflater() { inflateEnd(&z); }
};

XmlSource::XmlSource() = default;

XmlSource::~XmlSource() {
    if (m_fd >= 0) ::close(m_fd);
}

bool XmlSource::open(const std::string& path) {
    if (path == "-") {
        m_stdin = true;
        m_fd = ::dup(STDIN_FILENO);
        if (m_fd < 0) {
            m_reason = "標準入力を読み込めません。";
            return false;
        }
    } else {
        m_fd = openRegularFile(path, m_reason);
        if (m_fd < 0) return false;
        struct stat info {};
        if (fstat(m_fd, &info) == 0) m_total = static_cast<std::uint64_t>(info.st_size);
    }
    // The first bytes say whether it is compressed, and then how it is encoded.
    char first[4096];
    const long n = readRaw(first, sizeof first);
    if (n < 0) return false;
    m_raw.assign(first, static_cast<std::size_t>(n));
    m_compressed = m_raw.size() >= 2 && static_cast<unsigned char>(m_raw[0]) == 0x1F &&
                   static_cast<unsigned char>(m_raw[1]) == 0x8B;
    if (m_compressed) {
        m_inflater = std::make_unique<Inflater>();
        if (inflateInit2(&m_inflater->z, 16 + MAX_WBITS) != Z_OK) {
            m_reason = "メモリが不足しています。";
            return false;
        }
    }
    char head[1024];
    std::size_t got = 0;
    while (got < sizeof head) {
        const long k = m_compressed
                           ? inflateInto(head + got, sizeof head - got)
                           : static_cast<long>(std::min(sizeof head - got, m_raw.size() - m_rawAt));
        if (k < 0) return false;
        if (k == 0) break;
        if (!m_compressed) {
            std::memcpy(head + got, m_raw.data() + m_rawAt, static_cast<std::size_t>(k));
            m_rawAt += static_cast<std::size_t>(k);
        }
        got += static_cast<std::size_t>(k);
        if (!m_compressed) break;
    }
    m_head.assign(head, got);
    return true;
}

long XmlSource::readRaw(char* buffer, std::size_t length) {
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, length);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_reason = m_stdin ? "標準入力を読み込めません。" : "ファイルを読み込めません。";
            return -1;
        }
        m_done += static_cast<std::uint64_t>(n);
        return static_cast<long>(n);
    }
}

long XmlSource::inflateInto(char* buffer, std::size_t length) {
    z_stream& z = m_inflater->z;
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = static_cast<uInt>(length);
    while (z.avail_out == length) {
        if (z.avail_in == 0) {
            if (m_rawAt == m_raw.size()) {
                char chunk[65536];
                const long n = readRaw(chunk, sizeof chunk);
                if (n < 0) return -1;
                if (n == 0) {
                    if (m_inflater->ended) return 0;
                    m_reason = "圧縮された文書が途中で終わっています。";
                    return -1;
                }
                m_raw.assign(chunk, static_cast<std::size_t>(n));
                m_rawAt = 0;
            }
            z.next_in = reinterpret_cast<Bytef*>(m_raw.data() + m_rawAt);
            z.avail_in = static_cast<uInt>(m_raw.size() - m_rawAt);
        }
        const uInt before = z.avail_in;
        const int rc = inflate(&z, Z_NO_FLUSH);
        m_rawAt += before - z.avail_in;
        if (rc == Z_STREAM_END) {
            // Another member may follow, as gzip writes them when files are joined.
            m_inflater->ended = true;
            if (inflateReset(&z) != Z_OK) return -1;
        } else if (rc == Z_OK || rc == Z_BUF_ERROR) {
            if (z.avail_in > 0 || before > 0) m_inflater->ended = false;
        } else {
            m_reason = std::string("圧縮された文書が壊れています。(") + (z.msg ? z.msg : "") + ")";
            return -1;
        }
    }
    return static_cast<long>(length - z.avail_out);
}

long XmlSource::read(char* buffer, std::size_t length) {
    long n = 0;
    if (m_headAt < m_head.size()) {
        n = static_cast<long>(std::min(length, m_head.size() - m_headAt));
        std::memcpy(buffer, m_head.data() + m_headAt, static_cast<std::size_t>(n));
        m_headAt += static_cast<std::size_t>(n);
    } else if (m_compressed) {
        n = inflateInto(buffer, length);
    } else if (m_rawAt < m_raw.size()) {
        n = static_cast<long>(std::min(length, m_raw.size() - m_rawAt));
        std::memcpy(buffer, m_raw.data() + m_rawAt, static_cast<std::size_t>(n));
        m_rawAt += static_cast<std::size_t>(n);
    } else {
        n = readRaw(buffer, length);
    }
    if (n > 0) m_delivered += static_cast<std::uint64_t>(n);
    if (n > 0 && m_fingerprinting) {
        const auto* bytes = reinterpret_cast<const Bytef*>(buffer);
        m_crc = crc32(m_crc, bytes, static_cast<uInt>(n));
        m_adler = adler32(m_adler, bytes, static_cast<uInt>(n));
    }
    return n;
}

std::string XmlSource::fingerprint() const {
    char text[64];
    std::snprintf(text, sizeof text, "%llx-%08lx-%08lx",
                  static_cast<unsigned long long>(m_delivered), m_crc, m_adler);
    return text;
}

}  // namespace quorix
