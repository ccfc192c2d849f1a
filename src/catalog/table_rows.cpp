#include "catalog/table_rows.h"

#include "services/db/connection.h"
#include "services/db/key_pages.h"

namespace quorix {

TableRows::TableRows(const std::string& connectionString, const std::string& table)
    : m_connection(std::make_unique<Connection>()), m_table(table) {
    try {
        m_connection->setConnectionString(connectionString);
        m_connection->open();
        m_columns = m_connection->run([&](DatabaseSession& s) { return s.tableColumns(table); });
        if (m_columns.empty()) m_error = "表「" + table + "」がありません。";
        m_key = primaryKeyOf(*m_connection, table);
    } catch (const ServiceError& e) {
        m_error = e.description();
        m_end = true;
    }
}

TableRows::~TableRows() = default;

void TableRows::setFilter(const std::string& text) {
    m_pages.reset();
    m_end = false;
    m_where.clear();
    if (text.empty() || !m_connection->isOpen()) return;
    // "!" escapes LIKE's own characters: a backslash means different things to the engines.
    std::string pattern = "%";
    for (char c : text) {
        if (c == '%' || c == '_' || c == '!') pattern += '!';
        pattern += c;
    }
    pattern += '%';
    m_where = m_connection->run([&](DatabaseSession& s) {
        std::string where;
        for (const std::string& c : m_columns)
            where += (where.empty() ? "" : " OR ") + s.asText(s.quotedName(c)) + " LIKE " +
                     s.literal(pattern) + " ESCAPE '!'";
        return where;
    });
}

void TableRows::setOrder(const std::string& column, bool descending) {
    m_pages.reset();
    m_end = false;
    m_order = {column, descending};
}

long long TableRows::count() {
    m_error.clear();
    try {
        return m_connection->run([&](DatabaseSession& s) {
            return s.count("SELECT count(*) FROM " + s.quotedTable(m_table) +
                               (m_where.empty() ? "" : " WHERE " + m_where),
                           "表の行を数えられません。");
        });
    } catch (const ServiceError& e) {
        m_error = e.description();
        return 0;
    }
}

std::vector<TextRow> TableRows::more(std::size_t rows) {
    m_error.clear();
    std::vector<TextRow> out;
    if (m_end) return out;
    try {
        if (!m_pages)
            m_pages = std::make_unique<KeyPages>(*m_connection, m_table, m_columns, m_key, rows,
                                                 m_where, m_order);
        while (out.size() < rows) {
            const TextRow* row = m_pages->current();
            if (!row) {
                m_end = true;
                break;
            }
            out.emplace_back(row->begin(), row->begin() + static_cast<long>(m_columns.size()));
            m_pages->next();
        }
    } catch (const ServiceError& e) {
        m_error = e.description();
        m_end = true;
    }
    return out;
}

}  // namespace quorix
