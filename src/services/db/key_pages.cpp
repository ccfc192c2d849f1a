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


PageReader::PageReader(Connection& connection)
    : m_connection(connection), m_thread([this] { loop(); }) {}

PageReader::~PageReader() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

std::future<std::vector<TextRow>> PageReader::post(Job job) {
    std::promise<std::vector<TextRow>> promise;
    auto future = promise.get_future();
    {
        std::lock_guard lock(m_mutex);
        m_jobs.emplace_back(std::move(job), std::move(promise));
    }
    m_wake.notify_one();
    return future;
}

void PageReader::loop() {
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_stop) return;
        auto [job, promise] = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        try {
            promise.set_value(m_connection.run(job));
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
    }
}

KeyPages::KeyPages(Connection& connection, const std::string& table,
                   std::vector<std::string> select, std::vector<std::string> key,
                   std::size_t pageRows, std::string where, RowOrder order, PageReader* reader)
    : m_connection(connection),
      m_select(std::move(select)),
      m_key(std::move(key)),
      m_pageRows(std::max<std::size_t>(pageRows, 1)),
      m_where(std::move(where)),
      m_order(std::move(order)),
      m_reader(reader) {
    for (const std::string& k : m_key)
        if (std::find(m_select.begin(), m_select.end(), k) == m_select.end()) m_select.push_back(k);
    if (!m_order.column.empty() &&
        std::find(m_select.begin(), m_select.end(), m_order.column) == m_select.end())
        m_select.push_back(m_order.column);
    if (m_reader) {
        // Everything that touches the connection happens on the reader's thread.
        m_pending = m_reader->post([this, table](DatabaseSession& s) {
            prepare(s, table);
            return s.selectText(pageSql(s, nullptr, 0), "表の行を読み取れません。");
        });
        take();
        return;
    }
    m_connection.run([&](DatabaseSession& s) { prepare(s, table); });
    fetch();
}

KeyPages::~KeyPages() {
    if (m_pending.valid()) m_pending.wait();
}

void KeyPages::prepare(DatabaseSession& s, const std::string& table) {
    std::string sql;
    for (const std::string& c : m_select) sql += (sql.empty() ? "SELECT " : ", ") + s.quotedName(c);
    // A page's end is read as the column is stored; where the engine shows it otherwise,
    // that value comes again after the columns.
    std::size_t extra = m_select.size();
    const auto at = [&](const std::string& c) {
        const std::string stored = s.storedValue(s.quotedName(c));
        if (stored == s.quotedName(c))
            return static_cast<std::size_t>(std::find(m_select.begin(), m_select.end(), c) -
                                            m_select.begin());
        sql += ", " + stored;
        return extra++;
    };
    for (const std::string& k : m_key) m_keyAt.push_back(at(k));
    if (!m_order.column.empty()) m_orderAt = at(m_order.column);
    m_from = sql + " FROM " + s.quotedTable(table);
}

void KeyPages::next() {
    if (++m_at < m_page.size() || m_last) return;
    if (m_reader)
        take();
    else
        fetch();
}

void KeyPages::take() {
    m_page = m_pending.get();
    m_at = 0;
    m_offset += m_page.size();
    m_last = m_page.size() < m_pageRows;
    if (!m_last) askNext();
}

void KeyPages::askNext() {
    m_pending = m_reader->post([this, last = m_page.back(), offset = m_offset](DatabaseSession& s) {
        return s.selectText(pageSql(s, &last, offset), "表の行を読み取れません。");
    });
}

void KeyPages::fetch() {
    const TextRow* last = m_page.empty() ? nullptr : &m_page.back();
    m_page = m_connection.run([&](DatabaseSession& s) {
        return s.selectText(pageSql(s, last, m_offset), "表の行を読み取れません。");
    });
    m_at = 0;
    m_offset += m_page.size();
    m_last = m_page.size() < m_pageRows;
}

std::string KeyPages::pageSql(DatabaseSession& s, const TextRow* last, std::size_t offset) const {
    // Sorted down, the key goes down too: the same order read from the other end.
    const bool down = m_order.descending;
    const char* further = down ? " < " : " > ";
    std::string past;  // the rows after the last one read, by key
    if (last && !m_key.empty() && s.rowValueRanges()) {
        std::string names, values;
        for (std::size_t k = 0; k < m_key.size(); ++k) {
            names += (k ? ", " : "") + s.quotedName(m_key[k]);
            values += (k ? ", " : "") + s.literal(*(*last)[m_keyAt[k]]);
        }
        past = "(" + names + ")" + further + "(" + values + ")";
    } else if (last && !m_key.empty()) {
        for (std::size_t k = 0; k < m_key.size(); ++k) {
            past += past.empty() ? "(" : " OR (";
            for (std::size_t e = 0; e < k; ++e)
                past += s.quotedName(m_key[e]) + " = " + s.literal(*(*last)[m_keyAt[e]]) + " AND ";
            past += s.quotedName(m_key[k]) + further + s.literal(*(*last)[m_keyAt[k]]) + ")";
        }
    }
    std::string order;
    // By the key's first column the key's own order serves, read from its index.
    if (!m_order.column.empty() && (m_key.empty() || m_order.column != m_key.front())) {
        const std::string c = s.quotedName(m_order.column);
        // A key's columns hold no NULL: without the NULLs' term the engine may use an index.
        const bool keyColumn = std::find(m_key.begin(), m_key.end(), m_order.column) != m_key.end();
        order = " ORDER BY " + (keyColumn ? "" : "CASE WHEN " + c + " IS NULL THEN 1 ELSE 0 END, ") +
                c + (down ? " DESC" : "");
        // Past the last row: further along the column, or level with it and past by key;
        // the NULLs come after every value.
        if (!past.empty()) {
            const std::optional<std::string>& v = (*last)[m_orderAt];
            const std::string nulls = keyColumn ? "" : " OR " + c + " IS NULL";
            past = v ? "(" + c + further + s.literal(*v) + ") OR (" + c + " = " + s.literal(*v) +
                           " AND (" + past + "))" + nulls
                     : c + " IS NULL AND (" + past + ")";
        }
    }
    for (const std::string& k : m_key)
        order += (order.empty() ? " ORDER BY " : ", ") + s.quotedName(k) + (down ? " DESC" : "");
    std::string where;
    if (!m_where.empty()) where = "(" + m_where + ")";
    if (!past.empty()) where += (where.empty() ? "(" : " AND (") + past + ")";
    std::string limit = " LIMIT " + std::to_string(m_pageRows);
    if (m_key.empty()) limit += " OFFSET " + std::to_string(offset);
    return m_from + (where.empty() ? "" : " WHERE " + where) + order + limit;
}

}  // namespace quorix
