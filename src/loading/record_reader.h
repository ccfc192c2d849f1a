#pragma once

// The records of a load, from the stream: the reader that turns each row of the document into
// rows of the plan's tables (values checked by type, nested rows keyed, auto-numbers given),
// and the bounded queue of batches it hands to the writer on the other thread. Used by the
// loader only.

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loading/document_loader.h"
#include "loading/load_plan.h"
#include "services/text/text.h"
#include "services/xml/xml_document.h"

namespace quorix::load {

// One element of the row being loaded.
struct Element {
    int trie = -1;  // -1: a path no line takes
    long line = 0, column = 0;
    bool nil = false;
    bool childElements = false;
    std::string text;
    int firstChild = -1, lastChild = -1, next = -1;
};

// Rows on their way from the reader to the database, with where each came from.
struct Batch {
    struct Row {
        int table;  // -1: a row the reader refused, rejects[first]
        long line, column;
        std::size_t first;        // into values
        long long top;            // the document's row it belongs to
        std::size_t numbers = 0;  // into numberStarts, while skipping refused rows
    };
    std::vector<Row> rows;
    std::vector<CellValue> values;
    std::vector<Reject> rejects;
    // While skipping: the auto-numbers each document row began with, one per numbered column.
    std::vector<long long> numberStarts;
};

// A bounded queue of batches between the reading thread and the writing one. Either side may
// close it: the writer when a row is refused, the reader when the document ends or fails.
class BatchQueue {
public:
    static constexpr std::size_t kBatchRows = 2048;
    static constexpr std::size_t kDepth = 4;

    bool push(Batch&& batch) {
        std::unique_lock lock(m_mutex);
        m_space.wait(lock, [&] { return m_closed || m_batches.size() < kDepth; });
        if (m_closed) return false;
        m_batches.push_back(std::move(batch));
        m_ready.notify_one();
        return true;
    }
    std::optional<Batch> pop() {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return m_closed || !m_batches.empty(); });
        if (m_batches.empty()) return std::nullopt;
        Batch b = std::move(m_batches.front());
        m_batches.pop_front();
        m_space.notify_one();
        return b;
    }
    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_ready.notify_all();
        m_space.notify_all();
    }
    // The writer gave up: nothing more is taken, and what waits is dropped.
    void abandon() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_batches.clear();
        m_ready.notify_all();
        m_space.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready, m_space;
    std::deque<Batch> m_batches;
    bool m_closed = false;
};

using quorix::grouped;

inline std::string valueText(const CellValue& v) {
    if (const auto* n = std::get_if<long long>(&v)) return std::to_string(*n);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
    if (const auto* t = std::get_if<std::string>(&v)) return displayText(*t);
    return "NULL";
}

// "doc.xml 行 88 412 列 5: ", how a message names a place in a document.
inline std::string placeText(const std::string& document, long line, long column) {
    return document + " 行 " + grouped(line) + " 列 " + std::to_string(column) + ": ";
}

class Loader : public XmlElementHandler {
public:
    Loader(const LoadRequest& request, std::vector<PlanTable>& tables, PathTrie& trie,
           BatchQueue& queue)
        : m_request(request),
          m_tables(tables),
          m_trie(trie),
          m_queue(queue),
          m_document(displayText(std::filesystem::path(request.documentPath).filename().string())) {
        // The columns whose element sits right below their table's record, by its trie id:
        // one pass over a record's children finds them all.
        m_direct.resize(tables.size());
        for (std::size_t t = 0; t < tables.size(); ++t) {
            Direct& d = m_direct[t];
            const auto& own = tables[t].own;
            for (const PlanColumn& c : own)
                if (c.trie >= 0 && c.chain.size() == 1) {
                    d.base = d.column.empty() ? c.chain[0] : std::min(d.base, c.chain[0]);
                    d.column.assign(1, -1);
                }
            if (d.column.empty()) continue;
            int top = d.base;
            for (const PlanColumn& c : own)
                if (c.trie >= 0 && c.chain.size() == 1) top = std::max(top, c.chain[0]);
            d.column.assign(static_cast<std::size_t>(top - d.base + 1), -1);
            for (std::size_t j = 0; j < own.size(); ++j)
                if (own[j].trie >= 0 && own[j].chain.size() == 1)
                    d.column[static_cast<std::size_t>(own[j].chain[0] - d.base)] = static_cast<int>(j);
        }
    }

    bool wantsPlaces() const override { return true; }
    // Values are held until their row is written: one may be as large as libxml2 itself lets
    // a text node be without its "huge" option.
    std::uint64_t valueLimit() const override { return 10'000'000; }
    void place(const XmlElementPlace& where) override { m_place = where; }

    void startElement(std::string_view name, const std::optional<std::string>&) override {
        ++m_depth;
        if (m_stop) return;
        if (!m_rowsetFound) {
            if (name == m_request.rowset) {
                m_rowsetFound = true;
                m_rowsetDepth = m_depth;
            }
            return;
        }
        if (m_rowsetDepth == 0) return;
        if (m_rowDepth == 0) {
            if (name != m_request.row) return;
            m_rowDepth = m_depth;
            m_used = 0;
            m_open.clear();
            newElement(0);
            m_open.push_back(0);
            return;
        }
        const int parent = m_open.back();
        const int trie = m_trie.child(m_elements[static_cast<std::size_t>(parent)].trie, name);
        if (trie < 0) ++m_ignored;
        const int id = newElement(trie);
        Element& p = m_elements[static_cast<std::size_t>(parent)];
        p.childElements = true;
        if (p.lastChild < 0)
            p.firstChild = id;
        else
            m_elements[p.lastChild].next = id;
        p.lastChild = id;
        m_open.push_back(id);
    }

    bool wantsAttributes() const override { return m_trie.attributes(); }
    // An attribute a line takes is an element of its own below its element ("@name"), holding
    // the value; it does not make its element one with children.
    void attribute(std::string_view name, std::string_view value) override {
        if (m_stop || m_rowDepth == 0 || m_open.empty()) return;
        const int parent = m_open.back();
        m_attributeName.assign("@").append(name);
        const int trie =
            m_trie.child(m_elements[static_cast<std::size_t>(parent)].trie, m_attributeName);
        if (trie < 0) return;
        const int id = newElement(trie);
        m_elements[static_cast<std::size_t>(id)].text.assign(value);
        m_elements[static_cast<std::size_t>(id)].nil = false;  // xsi:nil is its element's
        Element& p = m_elements[static_cast<std::size_t>(parent)];
        if (p.lastChild < 0)
            p.firstChild = id;
        else
            m_elements[p.lastChild].next = id;
        p.lastChild = id;
    }

    void characters(std::string_view text) override {
        if (m_stop || m_rowDepth == 0 || m_open.empty()) return;
        Element& e = m_elements[m_open.back()];
        if (e.trie >= 0) e.text.append(text);
    }

    void endElement() override {
        if (!m_stop && m_rowDepth != 0) {
            if (m_depth == m_rowDepth) {
                m_rowDepth = 0;
                ++m_rows;
                const std::size_t rowsMark = m_batch.rows.size();
                const std::size_t valuesMark = m_batch.values.size();
                const std::vector<long long> numbers = nextNumbers();
                if (m_skipping && !numbers.empty()) {
                    m_numbersAt = m_batch.numberStarts.size();
                    m_batch.numberStarts.insert(m_batch.numberStarts.end(), numbers.begin(),
                                                numbers.end());
                }
                try {
                    std::vector<CellValue> none;
                    emit(0, 0, none);
                    if (m_batch.rows.size() >= BatchQueue::kBatchRows) flush();
                } catch (const LoadStop& s) {
                    if (m_skipping && s.reject) {
                        // The row goes with everything nested in it; its numbers are given
                        // to the next row.
                        m_batch.rows.resize(rowsMark);
                        m_batch.values.resize(valuesMark);
                        restoreNumbers(numbers);
                        // Written by the writer, in order with the rows the database refuses.
                        m_batch.rows.push_back(
                            {-1, 0, 0, m_batch.rejects.size(), m_rows, m_numbersAt});
                        m_batch.rejects.push_back(*s.reject);
                    } else {
                        m_stop = s.message;
                    }
                }
            } else {
                m_open.pop_back();
            }
        }
        if (m_depth == m_rowsetDepth) m_rowsetDepth = 0;
        --m_depth;
    }

    // Hands the rows gathered so far to the writer; a writer that gave up stops the read.
    void flush() {
        if (m_batch.rows.empty()) return;
        if (!m_queue.push(std::move(m_batch))) throw LoadStop{};
        m_batch = Batch();
        m_batch.values.reserve(BatchQueue::kBatchRows * 4);
    }

    void setSkipping() { m_skipping = true; }
    bool stopped() const { return m_stop.has_value(); }
    const std::string& stopMessage() const { return *m_stop; }
    bool rowsetFound() const { return m_rowsetFound; }
    long long rows() const { return m_rows; }
    long long ignored() const { return m_ignored; }

private:
    std::vector<long long> nextNumbers() const {
        std::vector<long long> numbers;
        for (const PlanTable& t : m_tables)
            for (const PlanColumn& c : t.own)
                if (c.autoNumber) numbers.push_back(c.nextNumber);
        return numbers;
    }
    void restoreNumbers(const std::vector<long long>& numbers) {
        std::size_t i = 0;
        for (PlanTable& t : m_tables)
            for (PlanColumn& c : t.own)
                if (c.autoNumber) c.nextNumber = numbers[i++];
    }

    // The next element of the row, its text's storage kept from earlier rows.
    int newElement(int trie) {
        if (m_used == m_elements.size()) m_elements.emplace_back();
        Element& e = m_elements[m_used];
        e.trie = trie;
        e.line = m_place.line;
        e.column = m_place.column;
        e.nil = m_place.nil;
        e.childElements = false;
        e.text.clear();
        e.firstChild = e.lastChild = e.next = -1;
        return static_cast<int>(m_used++);
    }

    // Writes one row of table @p t from its record element @p at, then the rows nested in it.
    void emit(int t, int at, const std::vector<CellValue>& enclosing) {
        PlanTable& table = m_tables[static_cast<std::size_t>(t)];
        std::vector<CellValue>& row = table.row;
        row.assign(enclosing.begin(), enclosing.end());
        const Element& record = m_elements[static_cast<std::size_t>(at)];
        Direct& direct = m_direct[static_cast<std::size_t>(t)];
        if (!direct.column.empty()) {
            direct.found.assign(table.own.size() * 3, -1);  // first, second, count
            for (int ch = record.firstChild; ch >= 0;
                 ch = m_elements[static_cast<std::size_t>(ch)].next) {
                const auto k = static_cast<std::size_t>(m_elements[static_cast<std::size_t>(ch)].trie -
                                                        direct.base);
                if (k >= direct.column.size() || direct.column[k] < 0) continue;
                int* f = &direct.found[static_cast<std::size_t>(direct.column[k]) * 3];
                if (f[0] < 0)
                    f[0] = ch, f[2] = 1;
                else if (++f[2] == 2)
                    f[1] = ch;
            }
        }
        for (std::size_t j = 0; j < table.own.size(); ++j) {
            PlanColumn& c = table.own[j];
            CellValue v;
            if (c.autoNumber) {
                v = c.nextNumber;
                c.largestGiven = c.nextNumber++;
                c.numbered = true;
            } else if (c.trie >= 0) {
                m_found.clear();
                if (c.chain.size() == 1 && !direct.column.empty()) {
                    const int* f = &direct.found[j * 3];
                    if (f[0] >= 0) m_found.push_back(f[0]);
                    if (f[1] >= 0) m_found.resize(static_cast<std::size_t>(f[2]), f[1]);
                } else {
                    find(at, c.chain, 0, m_found);
                }
                if (m_found.size() > 1)
                    stop(
                        m_elements[static_cast<std::size_t>(m_found[1])],
                        "表「" + table.name + "」の列「" + c.name + "」の要素が一つの行に" +
                            std::to_string(m_found.size()) +
                            "個あります。一つの値にまとめたり、省いたりはしません",
                        Reject{{},
                               table.name,
                               c.name,
                               {},
                               "要素が一つの行に" + std::to_string(m_found.size()) + "個あります"});
                if (m_found.size() == 1) v = value(table, c, m_found[0]);
            }
            row.push_back(std::move(v));
        }
        // A key column without a value: the row could not be told apart or linked.
        for (std::size_t k = 0; k <= table.keyCount && k < row.size(); ++k)
            if (std::holds_alternative<std::monostate>(row[k]))
                stop(record,
                     "表「" + table.name + "」のキーの列「" + table.columns[k] +
                         "」に値がありません（要素がないか、空です）",
                     Reject{{},
                            table.name,
                            table.columns[k],
                            {},
                            "キーの列「" + table.columns[k] + "」に値がありません"});
        const std::size_t first = m_batch.values.size();
        m_batch.rows.push_back({t, record.line, record.column, first, m_rows, m_numbersAt});
        m_batch.values.insert(m_batch.values.end(), std::make_move_iterator(row.begin()),
                              std::make_move_iterator(row.end()));
        for (std::size_t i = 0; i < table.own.size(); ++i)
            for (const int nested : table.own[i].nested) {
                PlanTable& inner = m_tables[static_cast<std::size_t>(nested)];
                std::vector<CellValue>& key = inner.key;
                const auto values = m_batch.values.begin() + static_cast<long>(first);
                key.assign(values, values + static_cast<long>(table.keyCount));
                key.push_back(values[static_cast<long>(table.keyCount + i)]);
                std::vector<int>& records = inner.records;
                records.clear();
                find(at, inner.recordChain, 0, records);
                for (int r : records) emit(nested, r, key);
            }
    }

    // The elements below @p at along @p chain (trie ids, one per level).
    void find(int at, const std::vector<int>& chain, std::size_t k, std::vector<int>& out) const {
        if (k == chain.size()) {
            out.push_back(at);
            return;
        }
        for (int c = m_elements[static_cast<std::size_t>(at)].firstChild; c >= 0;
             c = m_elements[static_cast<std::size_t>(c)].next)
            if (m_elements[static_cast<std::size_t>(c)].trie == chain[k])
                find(c, chain, k + 1, out);
    }

    CellValue value(const PlanTable& table, const PlanColumn& c, int at) {
        const Element& e = m_elements[static_cast<std::size_t>(at)];
        if (e.nil) return {};
        const bool blank = e.text.find_first_not_of(" \t\r\n") == std::string::npos;
        // An element that only holds others has no value of its own.
        if (e.childElements && blank) return {};
        // Text beside child elements: the value would be part of what the document says.
        if (e.childElements)
            stop(e,
                 "表「" + table.name + "」の列「" + c.name +
                     "」の要素は文字と子の要素が混在しています。文字の一部だけを値にすることは"
                     "しません",
                 Reject{{}, table.name, c.name, e.text, "文字と子の要素が混在しています"});
        if (!isTextType(c.rule.type) && blank) return {};
        CellValue v;
        std::string reason;
        // Text is taken over as it is, not copied: a value may be megabytes long.
        if (isTextType(c.rule.type) && textFits(c.rule, e.text, reason))
            return CellValue(std::move(m_elements[static_cast<std::size_t>(at)].text));
        if (!reason.empty() || !convertValue(c.rule, e.text, v, reason))
            stop(
                e,
                "表「" + table.name + "」の列「" + c.name + "」（" + c.typeName + "）に「" +
                    displayText(e.text) + "」は入りません（" + reason + "）",
                Reject{
                    {}, table.name, c.name, e.text, c.typeName + "に入りません（" + reason + "）"});
        return v;
    }

    [[noreturn]] void stop(const Element& where, const std::string& what,
                           std::optional<Reject> reject = std::nullopt) {
        const std::string at = place(where.line, where.column);
        if (reject) reject->place = at.substr(0, at.size() - 2);
        throw LoadStop{at + what + "。", std::move(reject)};
    }

public:
    std::string place(long line, long column) const { return placeText(m_document, line, column); }
    const std::string& documentName() const { return m_document; }

private:
    const LoadRequest& m_request;
    std::vector<PlanTable>& m_tables;
    PathTrie& m_trie;
    BatchQueue& m_queue;
    Batch m_batch;
    bool m_skipping = false;
    std::string m_document;
    XmlElementPlace m_place;
    int m_depth = 0;
    bool m_rowsetFound = false;
    int m_rowsetDepth = 0;
    int m_rowDepth = 0;
    std::vector<Element> m_elements;  // of the current row: the first m_used
    std::size_t m_used = 0;
    std::vector<int> m_open;
    std::vector<int> m_found;
    struct Direct {
        int base = 0;
        std::vector<int> column;  // by trie id less base: the own column, or -1
        std::vector<int> found;   // per own column: its first and second element, their count
    };
    std::vector<Direct> m_direct;
    long long m_rows = 0;
    std::size_t m_numbersAt = 0;
    std::string m_attributeName;
    long long m_ignored = 0;
    std::optional<std::string> m_stop;
};

}  // namespace quorix::load
