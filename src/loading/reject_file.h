#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quorix {

/// One refused value or row, as the reject file lists it.
struct Reject {
    std::string place, table, column, value, reason;
};

/// The reject file: one line per skipped row, in the document's order. It is written beside
/// its place and put there only when the load has been committed, so that a failed load
/// leaves an earlier reject file as it was.
class RejectFile {
public:
    /// Empty when the file can be written; otherwise why not. It is never one of @p inputs
    /// (the same file under any name), and only a regular file.
    std::string open(const std::string& path, const std::vector<std::string>& inputs);
    ~RejectFile();
    void write(const Reject& r);
    long long count() const { return m_count; }
    /// False when something could not be written.
    bool close();
    /// After the commit: the file takes its place. Where it cannot, it stays where it was
    /// written, and that is the path returned.
    std::string place();

private:
    std::FILE* m_file = nullptr;
    std::string m_path, m_temporary;
    long long m_count = 0;
};

}  // namespace quorix
