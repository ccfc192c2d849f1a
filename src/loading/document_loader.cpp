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
#include "loading/key_twins.h"
#include "loading/load_plan.h"
#include "loading/loaded_documents.h"
#include "loading/record_reader.h"
#include "loading/reject_file.h"
#include "loading/table_checks.h"
#include "loading/value_conversion.h"
#include "services/db/engine/data_type.h"
#include "services/text/text.h"
#include "xml_analysis/evidence.h"
#include "xml_analysis/xml_loading.h"

namespace quorix {

namespace {

const char kUndone[] = "全ての処理は元の状態に戻されました。";

using load::Batch;
using load::BatchQueue;
using load::grouped;
using load::Loader;
using load::valueText;

// A row's place in the document as the engine keeps it: the line above 24 bits, the column.
RowTag tagOf(long line, long column) {
    return (static_cast<RowTag>(line) << 24) | std::min<long>(column, 0xFFFFFF);
}

// Where a table's rows go first: its work table while a mode has one, else the table.
const std::string& targetOf(const PlanTable& t) {
    return t.work.empty() ? t.name : t.work;
}

// @p text with the name of a work table given as that of its table.
std::string shownText(std::string text, const std::vector<PlanTable>& tables) {
    for (const PlanTable& t : tables) {
        if (t.work.empty()) continue;
        for (auto at = text.find(t.work); at != std::string::npos; at = text.find(t.work, at))
            text.replace(at, t.work.size(), t.name);
    }
    return text;
}

// Where the database met a key twice, for a message that names the earlier row too.
struct ClashNote {
    std::size_t document = 0;  // the one being read
    std::optional<load::KeyClash> clash;
    void note(const std::vector<PlanTable>& tables, const PlanTable& t, long line, long column) {
        clash = load::KeyClash{static_cast<std::size_t>(&t - tables.data()), document, line,
                               column};
    }
};

// The message for a row the engine refused after it was given.
std::string refusal(const Loader& loader, const std::vector<PlanTable>& tables, const PlanTable& t,
                    const RowRefused& e, ClashNote& clashes) {
    if (e.number() == ErrorNumber::kDuplicateKey)
        clashes.note(tables, t, static_cast<long>(e.tag() >> 24),
                     static_cast<long>(e.tag() & 0xFFFFFF));
    const std::string same = e.number() != ErrorNumber::kDuplicateKey ? ""
                             : t.work.empty()
                                 ? "表「" + t.name + "」に同じキーの行が既にあります。"
                                 : "文書に表「" + t.name + "」のキーが同じ行が二つあります。";
    return loader.place(static_cast<long>(e.tag() >> 24), static_cast<long>(e.tag() & 0xFFFFFF)) +
           same + shownText(e.description(), tables);
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
                         std::optional<RowRefused> found, ClashNote& clashes) {
    const PlanTable* owner = &at;
    for (PlanTable& t : tables) {
        if (found && targetOf(t) == found->table()) continue;
        try {
            t.inserter->finish();
        } catch (const RowRefused& e) {
            if (!found || e.tag() < found->tag()) found = e, owner = &t;
        } catch (const ServiceError&) {
            break;
        }
    }
    if (found && !found->table().empty())
        for (const PlanTable& t : tables)
            if (targetOf(t) == found->table()) owner = &t;
    return found ? refusal(loader, tables, *owner, *found, clashes) : std::string();
}

// Writes the rows the reader hands over, in document order. While skipping, each row of the
// document is written under a savepoint, so that a row the database refuses goes with the
// rows nested in it, into the reject file, and gives its auto-numbers back.
class RowWriter {
public:
    RowWriter(std::vector<PlanTable>& tables, Connection& connection, RejectFile& rejects,
              bool skipping)
        : tables(tables),
          connection(connection),
          rejects(rejects),
          skipping(skipping),
          given(tables),
          giveBack(skipping && given.any()) {}

    // The rows that follow are of the document @p reader reads.
    void beginDocument(const Loader& reader, std::size_t document) {
        loader = &reader;
        clashes.document = document;
        currentTop = -1;
        topRefused = false;
    }

    // The rows of @p batch; the refusal that ends the load, if one does.
    std::optional<std::string> write(Batch& batch) {
        const Loader& loader = *this->loader;
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
                refused = firstRefusal(loader, tables, t, e, clashes);
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
                    e.number() != ErrorNumber::kDuplicateKey ? shownText(e.description(), tables)
                    : t.work.empty()
                        ? "表「" + t.name + "」のキー（" + key + "）の行は既にあります"
                        : "文書に表「" + t.name + "」のキー（" + key + "）が同じ行が二つあります";
                const std::string at = loader.place(r.line, r.column);
                if (e.number() == ErrorNumber::kDuplicateKey && !skipping)
                    clashes.note(tables, t, r.line, r.column);
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

    ClashNote clashes;

private:
    const std::string mark = "quorix_row";
    std::vector<PlanTable>& tables;
    const Loader* loader = nullptr;
    Connection& connection;
    RejectFile& rejects;
    const bool skipping;
    NumbersGivenBack given;
    const bool giveBack;
    long long currentTop = -1;
    bool topRefused = false;
};

// Each table's path: row by row where a refused row is to be skipped, else the bulk path.
void openInserters(std::vector<PlanTable>& tables, const LoadRequest& request,
                   Connection& connection) {
    for (PlanTable& t : tables)
        t.inserter = connection.run([&](DatabaseSession& s) {
            return request.rejectPath.empty() ? s.bulkInserter(targetOf(t), t.columns)
                                              : s.inserter(targetOf(t), t.columns);
        });
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
                                       ClashNote& clashes,
                                       const LoadRequest& request, const std::string& path,
                                       bool read, const XmlParseError& error) {
    if (loader.stopped() && !loader.stopMessage().empty()) {
        const std::string earlier =
            firstRefusal(loader, tables, tables.front(), std::nullopt, clashes);
        return earlier.empty() ? loader.stopMessage() : earlier;
    }
    if (!read) {
        if (error.errorCode == kXmlReadCancelled) return std::string("取り込みを中止しました。");
        return displayText(std::filesystem::path(path).filename().string()) + ": " +
               parseErrorText(error) + "\r\n";
    }
    if (!loader.rowsetFound())
        return "XML文書内にルートタグ「" + request.rowset + "」がありません。";
    if (loader.rows() == 0) return "XML文書内に行タグ「" + request.row + "」の要素がありません。";
    return std::nullopt;
}

// Sends what every table still holds: a refusal is then named in the document just read.
std::optional<std::string> flushTables(const Loader& loader, std::vector<PlanTable>& tables,
                                       ClashNote& clashes) {
    for (PlanTable& t : tables) {
        try {
            t.inserter->finish();
        } catch (const RowRefused& e) {
            return firstRefusal(loader, tables, t, e, clashes);
        } catch (const ServiceError& e) {
            return shownText(e.description(), tables);
        }
    }
    return std::nullopt;
}

// Moves each identity past the numbers given; the failure that stops the load, if one does.
std::optional<std::string> settleNumbers(std::vector<PlanTable>& tables, const RowWriter& writer,
                                         Connection& connection) {
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

// What the numbering and keys of @p tables are before the first row is read.
load::NumberStarts numberStarts(const std::vector<PlanTable>& tables) {
    load::NumberStarts starts;
    for (const PlanTable& t : tables) {
        for (const PlanColumn& c : t.own)
            if (c.autoNumber) starts.next.push_back(c.nextNumber);
        starts.keys.push_back(t.primaryKey);
    }
    return starts;
}

// One document read on a thread of its own while this one writes what it read, every row
// sent; what stops the load, if something does.
std::optional<std::string> readDocument(const std::string& path, const LoadRequest& request,
                                        std::vector<PlanTable>& tables, PathTrie& trie,
                                        RowWriter& writer, std::size_t index,
                                        const XmlReadProgress& progress, DocumentCounts& counted) {
    LoadRequest one = request;
    one.documentPath = path;
    BatchQueue queue;
    Loader loader(one, tables, trie, queue);
    if (!request.rejectPath.empty()) loader.setSkipping();
    writer.beginDocument(loader, index);
    XmlParseError error;
    bool read = false;
    std::string readerFailure;
    std::thread reader([&] {
        const XmlReadProgress watch = [&](std::uint64_t done, std::uint64_t total) {
            if (loader.stopped()) return false;
            return !progress || progress(done, total);
        };
        try {
            read = streamXmlFile(path, loader, error, watch,
                                 request.remember ? &counted.fingerprint : nullptr);
            // The rows before a stop are written too, so that the first refusal in the
            // document's order is the one reported.
            loader.flush();
        } catch (const LoadStop&) {
        } catch (const std::exception& e) {
            readerFailure = std::string("XML文書を読み込めません。(") + e.what() + ")";
        }
        queue.close();
    });
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
    std::vector<long long> before;
    for (const PlanTable& t : tables) before.push_back(t.written);
    std::optional<std::string> refused;
    while (auto batch = queue.pop()) {
        refused = writer.write(*batch);
        if (refused) {
            queue.abandon();
            break;
        }
    }
    reader.join();
    if (!refused) refused = writer.finish();
    if (refused) return refused;
    if (!readerFailure.empty()) return readerFailure;
    if (auto wrong = readOutcome(loader, tables, writer.clashes, request, path, read, error)) return wrong;
    if (auto refusedAtEnd = flushTables(loader, tables, writer.clashes)) return refusedAtEnd;
    counted.document = path;
    counted.rows = loader.rows();
    counted.ignored = loader.ignored();
    for (std::size_t i = 0; i < tables.size(); ++i)
        counted.written.push_back(tables[i].written - before[i]);
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
        inputs.insert(inputs.end(), request.documents.begin(), request.documents.end());
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
        if (request.remember) load::ensureLoadedDocuments(connection);
        connection.beginTrans();
        begun = true;
        if (request.createTables)
            for (const TableDefinition& t : layoutTables(layout)) catalog.appendTable(t);
        if (auto missing =
                load::checkTables(tables, request, layout, connection, result.addedColumns))
            return fail(*missing);
        if (auto refused = load::prepareMode(request.mode, tables, connection, result.counts))
            return fail(*refused);
        openInserters(tables, request, connection);
    } catch (const ServiceError& e) {
        return fail(e.description());
    } catch (const LayoutError& e) {
        return fail(e.what());
    }

    RowWriter writer(tables, connection, rejects, skipping);
    const std::vector<std::string> documents = request.documents.empty()
                                                   ? std::vector<std::string>{request.documentPath}
                                                   : request.documents;
    const load::NumberStarts starts = numberStarts(tables);
    for (const std::string& path : documents) {
        DocumentCounts counted;
        if (auto stop = readDocument(path, request, tables, trie, writer,
                                     static_cast<std::size_t>(&path - documents.data()), progress,
                                     counted)) {
            // A key met twice names both rows, the earlier found by reading again.
            if (writer.clashes.clash && !skipping)
                if (auto both = load::keyTwinMessage(layout, request, documents, starts,
                                                     *writer.clashes.clash))
                    stop = both;
            return fail(*stop);
        }
        try {
            load::mergeDocument(request.mode, tables, connection, result.counts,
                                &path != &documents.back());
            if (request.remember)
                if (auto note = load::rememberDocument(connection, path, counted.fingerprint,
                                                       tables, counted.rows))
                    result.notes.push_back(*note);
        } catch (const ServiceError& e) {
            return fail(shownText(e.description(), tables));
        }
        result.rows += counted.rows;
        result.ignoredElements += counted.ignored;
        result.documents.push_back(std::move(counted));
    }
    if (skipping && !rejects.close())
        return fail("ファイル「" + displayText(request.rejectPath) + "」に書き込めません。");
    if (auto failed = settleNumbers(tables, writer, connection)) return fail(*failed);
    try {
        load::finishMode(request.mode, tables, connection, result.counts);
    } catch (const ServiceError& e) {
        return fail(shownText(e.description(), tables));
    }
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
    result.mode = request.mode;
    if (skipping) result.rejectPath = rejects.place();
    result.skipped = skipping ? rejects.count() : 0;
    for (const PlanTable& t : tables) {
        result.records += t.written;
        ++result.tables;
    }
    return result;
}

namespace {

// "追加 3 行、更新 1 行" of the counts that @p mode can give.
std::string countsText(LoadMode mode, const TableCounts& c) {
    std::string text = "追加 " + grouped(c.inserted) + " 行";
    if (mode == LoadMode::Update) text += "、更新 " + grouped(c.updated) + " 行";
    if (mode == LoadMode::Skip) text += "、既にあって飛ばした " + grouped(c.skipped) + " 行";
    if (mode == LoadMode::Update || mode == LoadMode::Replace)
        text += "、削除 " + grouped(c.deleted) + " 行";
    return text;
}

}  // namespace

std::string tableReport(const TableCounts& counts) {
    return "表「" + counts.table + "」: " + countsText(LoadMode::Update, counts) +
           "、既にあって飛ばした " + grouped(counts.skipped) + " 行";
}

std::string loadReport(const LoadResult& result) {
    std::string text;
    if (result.mode == LoadMode::Insert) {
        text = grouped(result.records) + " 行を " + std::to_string(result.tables) +
               " 個の表に取り込みました。";
    } else {
        TableCounts all;
        for (const TableCounts& c : result.counts) {
            all.inserted += c.inserted;
            all.updated += c.updated;
            all.skipped += c.skipped;
            all.deleted += c.deleted;
        }
        text = "文書の " + grouped(result.rows) + " 行を " + std::to_string(result.tables) +
               " 個の表に取り込みました（" + loadModeCaption(result.mode) + "）。" +
               countsText(result.mode, all) + "。";
    }
    for (const MissingColumns& m : result.addedColumns) {
        text += "表「" + m.table + "」に列";
        for (const auto& c : m.columns) text += "「" + c + "」";
        text += "を加えました。";
    }
    for (const std::string& note : result.notes) text += note;
    if (result.skipped > 0)
        text += "エラーのある " + grouped(result.skipped) + " 行は取り込まずに「" +
                displayText(result.rejectPath) + "」に書きました。";
    if (result.ignoredElements > 0)
        text += "定義にない要素 " + grouped(result.ignoredElements) + " 個は取り込んでいません。";
    return text;
}

}  // namespace quorix
