#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorix {

/// The bytes of a document as a streaming read takes them: a regular file, standard input
/// ("-"), either of them gzip-compressed (told by its first bytes, not by its name).
class XmlSource {
public:
    XmlSource();
    ~XmlSource();
    XmlSource(const XmlSource&) = delete;
    XmlSource& operator=(const XmlSource&) = delete;

    /// Opens @p path; false with reason() when it cannot be read.
    bool open(const std::string& path);
    /// Up to @p length bytes of the document into @p buffer; 0 at its end, -1 on failure
    /// (reason() says why).
    long read(char* buffer, std::size_t length);

    /// The first bytes of the document (up to 1 KiB), for telling its encoding.
    std::string_view head() const { return m_head; }
    /// Bytes of the file or stream taken so far, and the file's size (0 when not known).
    std::uint64_t done() const { return m_done; }
    std::uint64_t total() const { return m_total; }
    /// The document's own bytes handed out so far (more than done() when compressed).
    std::uint64_t delivered() const { return m_delivered; }
    /// A plain regular file: its lines can be read again for a message.
    int seekableFd() const { return m_compressed || m_stdin ? -1 : m_fd; }
    const std::string& reason() const { return m_reason; }
    /// Whether read() sums the bytes for fingerprint(); off until asked (it costs a pass).
    void setFingerprinting(bool on) { m_fingerprinting = on; }
    /// Of the document's bytes handed out so far: their number and two checksums, in hex.
    std::string fingerprint() const;

private:
    long readRaw(char* buffer, std::size_t length);
    long inflateInto(char* buffer, std::size_t length);

    struct Inflater;
    int m_fd = -1;
    bool m_fingerprinting = false;
    bool m_stdin = false;
    bool m_compressed = false;
    std::unique_ptr<Inflater> m_inflater;
    std::string m_raw;  // read from the file, not yet taken
    std::size_t m_rawAt = 0;
    std::string m_head;        // the document's first bytes
    std::size_t m_headAt = 0;  // of those, handed out
    std::uint64_t m_done = 0, m_total = 0, m_delivered = 0;
    unsigned long m_crc = 0, m_adler = 1;
    std::string m_reason;
};

}  // namespace quorix
