#pragma once

// A table read page by page in the order of its key: each page starts past the last row of
// the one before ("a > x OR (a = x AND b > y)"), which every engine answers from the key's
// index however far into the table it is, and which needs no cursor held between pages.

#include <string>
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

class KeyPages {
public:
    /// Columns @p select of @p table (after the key's columns that are not among them) in the
    /// order of @p key, @p pageRows at a time; @p where (SQL, may be empty) narrows the rows;
    /// @p order sorts them by a column first. Without a key the rows come in the engine's
    /// order, a page after so many rows.
    KeyPages(Connection& connection, const std::string& table, std::vector<std::string> select,
             std::vector<std::string> key, std::size_t pageRows, std::string where = {},
             RowOrder order = {});

    /// The row at hand, null past the last.
    const TextRow* current() const { return m_at < m_page.size() ? &m_page[m_at] : nullptr; }
    void next();
    /// The columns read, the key's own after those asked for where they were not among them
    /// (a row may hold more values after these: where the page's end is read from).
    const std::vector<std::string>& columns() const { return m_select; }

private:
    void fetch();

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
};

}  // namespace quorix
