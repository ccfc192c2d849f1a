#include "services/db/key_pages.h"

#include <algorithm>

#include "services/db/connection.h"
#include "services/db/engine/data_type.h"

namespace quorix {

std::vector<std::string> primaryKeyOf(Connection& connection, const std::string& table) {
    const CatalogObjectPtr t =
        connection.run([&](DatabaseSession& s) { return s.tableDetails(table); });
    std::vector<std::string> key;
    const CatalogObjectPtr keys = t ? t->child("Keys") : nullptr;
    if (!keys) return key;
    for (const CatalogObjectPtr& k : keys->members()) {
        const PropertyValue type = k->property("Type");
        const auto* code = std::get_if<long long>(&type);
        if (!code || *code != adKeyPrimary) continue;
        if (const CatalogObjectPtr cols = k->child("Columns"))
            for (const CatalogObjectPtr& c : cols->members()) key.push_back(c->name());
    }
    return key;
}


KeyPages::KeyPages(Connection& connection, const std::string& table,
                   std::vector<std::string> select, std::vector<std::string> key,
                   std::size_t pageRows, std::string where)
    : m_connection(connection),
      m_select(std::move(select)),
      m_key(std::move(key)),
      m_pageRows(std::max<std::size_t>(pageRows, 1)),
      m_where(std::move(where)) {
    for (const std::string& k : m_key) {
        auto it = std::find(m_select.begin(), m_select.end(), k);
        if (it == m_select.end()) it = m_select.insert(m_select.end(), k);
        m_keyAt.push_back(static_cast<std::size_t>(it - m_select.begin()));
    }
    m_from = m_connection.run([&](DatabaseSession& s) {
        std::string sql;
        for (const std::string& c : m_select)
            sql += (sql.empty() ? "SELECT " : ", ") + s.quotedName(c);
        return sql + " FROM " + s.quotedTable(table);
    });
    fetch();
}

void KeyPages::next() {
    if (++m_at < m_page.size() || m_last) return;
    fetch();
}

void KeyPages::fetch() {
    const std::string sql = m_connection.run([&](DatabaseSession& s) {
        std::string past;
        if (!m_page.empty() && !m_key.empty() && s.rowValueRanges()) {
            const TextRow& last = m_page.back();
            std::string names, values;
            for (std::size_t k = 0; k < m_key.size(); ++k) {
                names += (k ? ", " : "") + s.quotedName(m_key[k]);
                values += (k ? ", " : "") + s.literal(*last[m_keyAt[k]]);
            }
            past = "(" + names + ") > (" + values + ")";
        } else if (!m_page.empty() && !m_key.empty()) {
            const TextRow& last = m_page.back();
            for (std::size_t k = 0; k < m_key.size(); ++k) {
                past += past.empty() ? "(" : " OR (";
                for (std::size_t e = 0; e < k; ++e)
                    past += s.quotedName(m_key[e]) + " = " + s.literal(*last[m_keyAt[e]]) + " AND ";
                past += s.quotedName(m_key[k]) + " > " + s.literal(*last[m_keyAt[k]]) + ")";
            }
        }
        std::string where;
        if (!m_where.empty()) where = "(" + m_where + ")";
        if (!past.empty()) where += (where.empty() ? "(" : " AND (") + past + ")";
        std::string order;
        for (const std::string& k : m_key)
            order += (order.empty() ? " ORDER BY " : ", ") + s.quotedName(k);
        std::string limit = " LIMIT " + std::to_string(m_pageRows);
        if (m_key.empty()) limit += " OFFSET " + std::to_string(m_offset);
        return m_from + (where.empty() ? "" : " WHERE " + where) + order + limit;
    });
    m_page = m_connection.run(
        [&](DatabaseSession& s) { return s.selectText(sql, "表の行を読み取れません。"); });
    m_at = 0;
    m_offset += m_page.size();
    m_last = m_page.size() < m_pageRows;
}

}  // namespace quorix
