#pragma once

// A table read page by page in the order of its key: each page starts past the last row of
// the one before ("a > x OR (a = x AND b > y)"), which every engine answers from the key's
// index however far into the table it is, and which needs no cursor held between pages.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "services/db/engine/database_engine.h"

namespace quorix {

class Connection;

/// The primary key of @p table as the database has it; empty when it has none.
std::vector<std::string> primaryKeyOf(Connection& connection, const std::string& table);

/// Rows sorted by one column before the key (the key going the same way); NULLs last.
struct RowOrder {
    std::string column;  // empty: the key's order alone
    bool descending = false;
};

/// Runs the page reads of several KeyPages on their connection one after another, on a thread
/// of its own: the next page of each is read while the caller works on the one before. While
/// it lives, nothing else may use the connection.
class PageReader {
public:
    explicit PageReader(Connection& connection);
    /// Waits for the read under way; reads not begun are dropped.
    ~PageReader();
    using Job = std::function<std::vector<TextRow>(DatabaseSession&)>;
    std::future<std::vector<TextRow>> post(Job job);

private:
    void loop();

    Connection& m_connection;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<Job, std::promise<std::vector<TextRow>>>> m_jobs;
    bool m_stop = false;
    std::thread m_thread;
};

class KeyPages {
public:
    /// Columns @p select of @p table (after the key's columns that are not among them) in the
    /// order of @p key, @p pageRows at a time; @p where (SQL, may be empty) narrows the rows;
    /// @p order sorts them by a column first. Without a key the rows come in the engine's
    /// order, a page after so many rows.
    KeyPages(Connection& connection, const std::string& table, std::vector<std::string> select,
             std::vector<std::string> key, std::size_t pageRows, std::string where = {},
             RowOrder order = {}, PageReader* reader = nullptr);
    /// With a reader: waits for the page it is reading.
    ~KeyPages();
    KeyPages(const KeyPages&) = delete;
    KeyPages& operator=(const KeyPages&) = delete;

    /// The row at hand, null past the last.
    const TextRow* current() const { return m_at < m_page.size() ? &m_page[m_at] : nullptr; }
    void next();
    /// The columns read, the key's own after those asked for where they were not among them
    /// (a row may hold more values after these: where the page's end is read from).
    const std::vector<std::string>& columns() const { return m_select; }

private:
    // The SQL that reads from the table, and where a page's end is in a row.
    void prepare(DatabaseSession& s, const std::string& table);
    // The page after @p last (null: the first), @p offset rows in.
    std::string pageSql(DatabaseSession& s, const TextRow* last, std::size_t offset) const;
    void fetch();
    // With a reader: takes the page it read, and asks for the one after it.
    void take();
    void askNext();

    Connection& m_connection;
    std::string m_from;
    std::vector<std::string> m_select, m_key;
    std::vector<std::size_t> m_keyAt;  // where each key column's stored value is in a row
    std::size_t m_pageRows;
    std::string m_where;
    RowOrder m_order;
    std::size_t m_orderAt = 0;  // where the order column's stored value is in a row
    std::vector<TextRow> m_page;
    std::size_t m_at = 0;
    std::size_t m_offset = 0;  // rows read so far, for a table without a key
    bool m_last = false;
    PageReader* m_reader = nullptr;
    std::future<std::vector<TextRow>> m_pending;  // the next page, being read
};

}  // namespace quorix
