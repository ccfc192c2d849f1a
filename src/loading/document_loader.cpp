#include "loading/document_loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "generation/table_creation.h"
#include "loading/load_plan.h"
#include "loading/reject_file.h"
#include "loading/value_conversion.h"
#include "services/db/engine/data_type.h"
#include "services/text/text.h"
#include "xml_analysis/evidence.h"
#include "xml_analysis/xml_loading.h"

namespace quorix {

namespace {

const char kUndone[] = "全ての処理は元の状態に戻されました。";

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

std::string grouped(long long n) {
    std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return out;
}

std::string valueText(const CellValue& v) {
    if (const auto* n = std::get_if<long long>(&v)) return std::to_string(*n);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
    if (const auto* t = std::get_if<std::string>(&v)) return displayText(*t);
    return "NULL";
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
        for (PlanColumn& c : table.own) {
            CellValue v;
            if (c.autoNumber) {
                v = c.nextNumber;
                c.largestGiven = c.nextNumber++;
                c.numbered = true;
            } else if (c.trie >= 0) {
                m_found.clear();
                find(at, c.chain, 0, m_found);
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
    // "doc.xml 行 88 412 列 5: ", how a message names a place in the document.
    std::string place(long line, long column) const {
        return m_document + " 行 " + grouped(line) + " 列 " + std::to_string(column) + ": ";
    }

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
    long long m_rows = 0;
    std::size_t m_numbersAt = 0;
    std::string m_attributeName;
    long long m_ignored = 0;
    std::optional<std::string> m_stop;
};

// A row's place in the document as the engine keeps it: the line above 24 bits, the column.
RowTag tagOf(long line, long column) {
    return (static_cast<RowTag>(line) << 24) | std::min<long>(column, 0xFFFFFF);
}

// The message for a row the engine refused after it was given.
std::string refusal(const Loader& loader, const PlanTable& t, const RowRefused& e) {
    const std::string& table = e.table().empty() ? t.name : e.table();
    const std::string same = e.number() == ErrorNumber::kDuplicateKey
                                 ? "表「" + table + "」に同じキーの行が既にあります。"
                                 : "";
    return loader.place(static_cast<long>(e.tag() >> 24), static_cast<long>(e.tag() & 0xFFFFFF)) +
           same + e.description();
}

// While refused rows are skipped: the auto-numbers a document row the database refused had
// taken are given back, so that the rows after it carry the numbers they would have had
// without it (in their own columns and in the key columns of their nested rows).
class NumbersGivenBack {
public:
    explicit NumbersGivenBack(const std::vector<PlanTable>& tables) {
        for (std::size_t t = 0; t < tables.size(); ++t) {
            const PlanTable& table = tables[t];
            std::vector<int> of(table.columns.size(), -1);
            if (table.parent >= 0) {
                const PlanTable& parent = tables[static_cast<std::size_t>(table.parent)];
                const std::vector<int>& above = m_counter[static_cast<std::size_t>(table.parent)];
                std::copy_n(above.begin(), parent.keyCount, of.begin());
                for (std::size_t i = 0; i < parent.own.size(); ++i)
                    if (std::count(parent.own[i].nested.begin(), parent.own[i].nested.end(),
                                   static_cast<int>(t)))
                        of[parent.keyCount] = above[parent.keyCount + i];
            }
            for (std::size_t j = 0; j < table.own.size(); ++j)
                if (table.own[j].autoNumber) of[table.keyCount + j] = m_count++;
            m_counter.push_back(std::move(of));
        }
        m_shift.assign(static_cast<std::size_t>(m_count), 0);
    }
    bool any() const { return m_count > 0; }
    // A document row begins with @p starts: the refused one before it gives its numbers back.
    void begin(const long long* starts) {
        for (std::size_t g = 0; g < m_refused.size(); ++g) m_shift[g] += starts[g] - m_refused[g];
        m_refused.clear();
    }
    void refused(const long long* starts) { m_refused.assign(starts, starts + m_count); }
    void apply(std::size_t table, CellValue* row) const {
        const std::vector<int>& of = m_counter[table];
        for (std::size_t k = 0; k < of.size(); ++k)
            if (of[k] >= 0)
                if (auto* n = std::get_if<long long>(&row[k]))
                    *n -= m_shift[static_cast<std::size_t>(of[k])];
    }
    // The largest number kept in an own column, when the reader's next number was @p next.
    long long largest(const PlanTable& table, std::size_t t, std::size_t own,
                      long long next) const {
        const auto g = static_cast<std::size_t>(m_counter[t][table.keyCount + own]);
        return next - 1 - m_shift[g] - (m_refused.empty() ? 0 : next - m_refused[g]);
    }

private:
    std::vector<std::vector<int>> m_counter;  // per table and column: its counter, or -1
    std::vector<long long> m_shift;           // numbers given back so far, per counter
    std::vector<long long> m_refused;         // the starts of a refused row not yet followed
    int m_count = 0;
};

// The first refusal in document order. The engines hold rows per table before they send them,
// so a refusal found in one table may come after one the others still hold: those are sent
// too, and the earliest wins. A table is left alone once the transaction is gone.
std::string firstRefusal(const Loader& loader, std::vector<PlanTable>& tables, const PlanTable& at,
                         std::optional<RowRefused> found) {
    const PlanTable* owner = &at;
    for (PlanTable& t : tables) {
        if (found && t.name == found->table()) continue;
        try {
            t.inserter->finish();
        } catch (const RowRefused& e) {
            if (!found || e.tag() < found->tag()) found = e, owner = &t;
        } catch (const ServiceError&) {
            break;
        }
    }
    return found ? refusal(loader, *owner, *found) : std::string();
}

// Writes the rows the reader hands over, in document order. While skipping, each row of the
// document is written under a savepoint, so that a row the database refuses goes with the
// rows nested in it, into the reject file, and gives its auto-numbers back.
class RowWriter {
public:
    RowWriter(std::vector<PlanTable>& tables, const Loader& loader, Connection& connection,
              RejectFile& rejects, bool skipping)
        : tables(tables),
          loader(loader),
          connection(connection),
          rejects(rejects),
          skipping(skipping),
          given(tables),
          giveBack(skipping && given.any()) {}

    // The rows of @p batch; the refusal that ends the load, if one does.
    std::optional<std::string> write(Batch& batch) {
        std::optional<std::string> refused;
        for (std::size_t i = 0; i < batch.rows.size() && !refused; ++i) {
            const Batch::Row& r = batch.rows[i];
            if (r.table < 0) {
                rejects.write(batch.rejects[r.first]);
                continue;
            }
            PlanTable& t = tables[static_cast<std::size_t>(r.table)];
            CellValue* row = batch.values.data() + r.first;
            try {
                if (skipping && r.top != currentTop) {
                    if (currentTop >= 0 && !topRefused)
                        connection.run([&](DatabaseSession& s) { s.releaseSavepoint(mark); });
                    connection.run([&](DatabaseSession& s) { s.savepoint(mark); });
                    currentTop = r.top;
                    topRefused = false;
                    if (giveBack) given.begin(&batch.numberStarts[r.numbers]);
                }
                if (topRefused) continue;
                if (giveBack) given.apply(static_cast<std::size_t>(r.table), row);
                t.inserter->insert(row, t.columns.size(), tagOf(r.line, r.column));
                ++t.written;
            } catch (const RowRefused& e) {
                refused = firstRefusal(loader, tables, t, e);
            } catch (const ServiceError& e) {
                // Nothing a row did: the server ended the transaction or waited for a lock.
                if (e.number() == ErrorNumber::kTransactionAborted ||
                    e.number() == ErrorNumber::kLockTimeout) {
                    refused = e.description();
                    continue;
                }
                std::string key;
                for (std::size_t k = 0; k < t.columns.size() && k <= t.keyCount; ++k)
                    key += (k ? "、" : "") + t.columns[k] + "=" + valueText(row[k]);
                const std::string what =
                    e.number() == ErrorNumber::kDuplicateKey
                        ? "表「" + t.name + "」のキー（" + key + "）の行は既にあります"
                        : e.description();
                const std::string at = loader.place(r.line, r.column);
                if (!skipping || r.top != currentTop) {
                    refused = at + what;
                    if (refused->size() < 3 || refused->compare(refused->size() - 3, 3, "。") != 0)
                        *refused += "。";
                    continue;
                }
                try {
                    connection.run([&](DatabaseSession& s) {
                        s.rollbackToSavepoint(mark);
                        s.releaseSavepoint(mark);
                    });
                } catch (const ServiceError& again) {
                    refused = again.description();
                    continue;
                }
                topRefused = true;
                if (giveBack) given.refused(&batch.numberStarts[r.numbers]);
                // The rows of this document row written so far are undone with it.
                for (std::size_t k = i; k-- > 0 && batch.rows[k].top == r.top;)
                    --tables[static_cast<std::size_t>(batch.rows[k].table)].written;
                rejects.write({at.substr(0, at.size() - 2), t.name, t.columns[0], key, what});
            }
        }
        return refused;
    }

    // After the last row: its savepoint goes; a failure then ends the load.
    std::optional<std::string> finish() {
        if (!skipping || currentTop < 0 || topRefused) return std::nullopt;
        try {
            connection.run([&](DatabaseSession& s) { s.releaseSavepoint(mark); });
        } catch (const ServiceError& e) {
            return e.description();
        }
        return std::nullopt;
    }

    // The largest number kept in own column @p j of table @p ti.
    long long largest(const PlanTable& t, std::size_t ti, std::size_t j,
                      const PlanColumn& c) const {
        return giveBack ? given.largest(t, ti, j, c.nextNumber) : c.largestGiven;
    }

private:
    const std::string mark = "quorix_row";
    std::vector<PlanTable>& tables;
    const Loader& loader;
    Connection& connection;
    RejectFile& rejects;
    const bool skipping;
    NumbersGivenBack given;
    const bool giveBack;
    long long currentTop = -1;
    bool topRefused = false;
};

// Checks that every table and column is there, finds where the auto-numbers go on, and opens
// each table's path: row by row where a refused row is to be skipped, else the bulk path.
// What is missing, if something is.
std::optional<std::string> openTables(std::vector<PlanTable>& tables, const LoadRequest& request,
                                      Connection& connection) {
    for (PlanTable& t : tables) {
        const auto existing =
            connection.run([&](DatabaseSession& s) { return s.tableColumns(t.name); });
        if (existing.empty()) return "表「" + t.name + "」がありません。";
        for (const auto& c : t.columns)
            if (std::find(existing.begin(), existing.end(), c) == existing.end())
                return "表「" + t.name + "」に列「" + c + "」がありません。";
        for (PlanColumn& c : t.own)
            if (c.autoNumber)
                c.nextNumber =
                    connection
                        .run([&](DatabaseSession& s) { return s.largestValue(t.name, c.name); })
                        .value_or(0) +
                    1;
        // Row by row where a refused row is to be skipped; else the engine's bulk path.
        t.inserter = connection.run([&](DatabaseSession& s) {
            return request.rejectPath.empty() ? s.bulkInserter(t.name, t.columns)
                                              : s.inserter(t.name, t.columns);
        });
    }
    return std::nullopt;
}

// A load that failed: undone, or said to be unknown or not undone where that is so.
LoadResult failedLoad(const std::string& text, Connection& connection, bool begun) {
    LoadResult result;
    bool inDoubt = false;
    for (const auto& e : connection.errors())
        inDoubt = inDoubt || e.number() == ErrorNumber::kInDoubt;
    if (inDoubt) {
        result.outcomeUnknown = true;
        result.message = text +
                         "取り込みが確定されたかどうかは分かりません。データベースの表を確認して"
                         "ください。";
        return result;
    }
    if (begun) {
        try {
            connection.rollbackTrans();
        } catch (const ServiceError& e) {
            result.message = text + e.description() +
                             "取り込みの途中の行が残っていないか、データベースを確認してください。";
            return result;
        }
    }
    result.message = text + kUndone;
    return result;
}

// What went wrong with the document once it was read, if anything: a stop (or a refusal of
// the rows before it, which came earlier), a parse error, no rowset, no rows.
std::optional<std::string> readOutcome(const Loader& loader, std::vector<PlanTable>& tables,
                                       const LoadRequest& request, bool read,
                                       const XmlParseError& error) {
    if (loader.stopped() && !loader.stopMessage().empty()) {
        const std::string earlier = firstRefusal(loader, tables, tables.front(), std::nullopt);
        return earlier.empty() ? loader.stopMessage() : earlier;
    }
    if (!read) {
        if (error.errorCode == kXmlReadCancelled) return std::string("取り込みを中止しました。");
        return displayText(std::filesystem::path(request.documentPath).filename().string()) + ": " +
               parseErrorText(error) + "\r\n";
    }
    if (!loader.rowsetFound())
        return "XML文書内にルートタグ「" + request.rowset + "」がありません。";
    if (loader.rows() == 0) return "XML文書内に行タグ「" + request.row + "」の要素がありません。";
    return std::nullopt;
}

// Sends what every table still holds and moves each identity past the numbers given; the
// refusal or failure that stops the load, if one does.
std::optional<std::string> finishTables(const Loader& loader, std::vector<PlanTable>& tables,
                                        const RowWriter& writer, Connection& connection) {
    for (PlanTable& t : tables) {
        try {
            t.inserter->finish();
        } catch (const RowRefused& e) {
            return firstRefusal(loader, tables, t, e);
        } catch (const ServiceError& e) {
            return e.description();
        }
    }
    try {
        for (std::size_t ti = 0; ti < tables.size(); ++ti) {
            PlanTable& t = tables[ti];
            for (std::size_t j = 0; j < t.own.size(); ++j) {
                const PlanColumn& c = t.own[j];
                if (!c.numbered) continue;
                const long long largest = writer.largest(t, ti, j, c);
                connection.run(
                    [&](DatabaseSession& s) { s.numbersGiven(t.name, c.name, largest); });
            }
            t.inserter.reset();
        }
    } catch (const ServiceError& e) {
        return e.description();
    }
    return std::nullopt;
}

}  // namespace

LoadResult loadDocument(const LayoutDocument& layout, const LoadRequest& request,
                        Connection& connection, Catalog& catalog, const XmlReadProgress& progress) {
    LoadResult result;
    std::vector<PlanTable> tables;
    PathTrie trie;
    try {
        if (layout.root.children.empty()) throw LoadStop{"取り込む列がありません。"};
        planGroup(groupsOf(layout.root).front(), -1, {}, request.dbType, trie, tables);
    } catch (const LoadStop& s) {
        result.message = s.message;
        return result;
    }

    // The reject file is checked before anything else happens: it must never be an input.
    RejectFile rejects;
    const bool skipping = !request.rejectPath.empty();
    if (skipping) {
        std::vector<std::string> inputs = request.inputs;
        inputs.insert(inputs.begin(), request.documentPath);
        if (std::string why = rejects.open(request.rejectPath, inputs); !why.empty()) {
            result.message = why;
            return result;
        }
    }
    bool begun = false;
    auto fail = [&](const std::string& message) {
        for (auto& t : tables) t.inserter.reset();
        return failedLoad(message, connection, begun);
    };
    try {
        connection.beginTrans();
        begun = true;
        if (request.createTables)
            for (const TableDefinition& t : layoutTables(layout)) catalog.appendTable(t);
        if (auto missing = openTables(tables, request, connection)) return fail(*missing);
    } catch (const ServiceError& e) {
        return fail(e.description());
    } catch (const LayoutError& e) {
        return fail(e.what());
    }

    // The document is read on a thread of its own while this one writes what it read.
    BatchQueue queue;
    Loader loader(request, tables, trie, queue);
    if (skipping) loader.setSkipping();
    RowWriter writer(tables, loader, connection, rejects, skipping);
    XmlParseError error;
    bool read = false;
    std::string readerFailure;
    std::thread reader([&] {
        const XmlReadProgress watch = [&](std::uint64_t done, std::uint64_t total) {
            if (loader.stopped()) return false;
            return !progress || progress(done, total);
        };
        try {
            read = streamXmlFile(request.documentPath, loader, error, watch);
            // The rows before a stop are written too, so that the first refusal in the
            // document's order is the one reported.
            loader.flush();
        } catch (const LoadStop&) {
        } catch (const std::exception& e) {
            readerFailure = std::string("XML文書を読み込めません。(") + e.what() + ")";
        }
        queue.close();
    });
    std::optional<std::string> refused;
    // Whatever happens here, the reading thread is let go before this function returns.
    struct Release {
        BatchQueue& queue;
        std::thread& reader;
        ~Release() {
            if (reader.joinable()) {
                queue.abandon();
                reader.join();
            }
        }
    } release{queue, reader};
    while (auto batch = queue.pop()) {
        refused = writer.write(*batch);
        if (refused) {
            queue.abandon();
            break;
        }
    }
    reader.join();
    if (!refused) refused = writer.finish();
    if (refused) return fail(*refused);
    if (!readerFailure.empty()) return fail(readerFailure);
    if (auto wrong = readOutcome(loader, tables, request, read, error)) return fail(*wrong);
    if (skipping && !rejects.close())
        return fail("ファイル「" + displayText(request.rejectPath) + "」に書き込めません。");
    if (auto refusedAtEnd = finishTables(loader, tables, writer, connection))
        return fail(*refusedAtEnd);
    try {
        connection.commitTrans();
    } catch (const ServiceError& e) {
        if (e.number() == ErrorNumber::kUndoPending) {
            result.message = e.description();
            return result;
        }
        return fail(e.description());
    }
    result.ok = true;
    if (skipping) result.rejectPath = rejects.place();
    result.rows = loader.rows();
    result.ignoredElements = loader.ignored();
    result.skipped = skipping ? rejects.count() : 0;
    for (const PlanTable& t : tables) {
        result.records += t.written;
        ++result.tables;
    }
    return result;
}

std::string loadReport(const LoadResult& result) {
    std::string text = grouped(result.records) + " 行を " + std::to_string(result.tables) +
                       " 個の表に取り込みました。";
    if (result.skipped > 0)
        text += "エラーのある " + grouped(result.skipped) + " 行は取り込まずに「" +
                displayText(result.rejectPath) + "」に書きました。";
    if (result.ignoredElements > 0)
        text += "定義にない要素 " + grouped(result.ignoredElements) + " 個は取り込んでいません。";
    return text;
}

}  // namespace quorix
