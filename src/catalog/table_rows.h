#pragma once

// A table's rows as the rows view shows them: its columns, how many rows there are, and the
// rows a page at a time in the order of its key, narrowed on the server by a text. Reads
// through a connection of its own: a transaction of the window's is never part of it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services/db/engine/database_engine.h"
#include "services/db/key_pages.h"

namespace quorix {

class Connection;

class TableRows {
public:
    /// Opens @p connectionString and reads the columns and key of @p table; error() says why
    /// when it cannot.
    TableRows(const std::string& connectionString, const std::string& table);
    ~TableRows();

    const std::string& table() const { return m_table; }
    const std::vector<std::string>& columns() const { return m_columns; }
    /// The key the rows come in the order of (empty: the table has none).
    const std::vector<std::string>& key() const { return m_key; }
    /// Rows that have @p text in one of their values, as text (all rows for an empty text);
    /// starts from the first row again.
    void setFilter(const std::string& text);
    /// Rows sorted by @p column first (empty: by the key alone), NULLs last; starts from the
    /// first row again.
    void setOrder(const std::string& column, bool descending);
    /// How many rows the filter lets through.
    long long count();
    /// Up to @p rows rows after those read so far; fewer at the end.
    std::vector<TextRow> more(std::size_t rows);
    bool atEnd() const { return m_end; }
    /// What went wrong with the last call, empty when nothing did.
    const std::string& error() const { return m_error; }

private:
    std::unique_ptr<Connection> m_connection;
    std::string m_table;
    std::vector<std::string> m_columns, m_key;
    std::string m_where;
    RowOrder m_order;
    std::unique_ptr<KeyPages> m_pages;
    bool m_end = false;
    std::string m_error;
};

}  // namespace quorix
