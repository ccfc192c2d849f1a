#include "services/db/mariadb/mariadb_rows.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "services/db/engine/service_error.h"
#include "services/db/engine/text_rows.h"
#include "services/db/mariadb/mariadb_client.h"
#include "services/db/mariadb/mariadb_engine.h"

namespace quorix::mariadb {

int localInit(void** handle, const char*, void* userdata) {
    *handle = userdata;
    return static_cast<LocalRows*>(userdata)->text ? 0 : 1;
}
int localRead(void* handle, char* buffer, unsigned int length) {
    auto* rows = static_cast<LocalRows*>(handle);
    const std::size_t n = std::min<std::size_t>(length, rows->to - rows->from);
    std::copy_n(rows->text->data() + rows->from, n, buffer);
    rows->from += n;
    return static_cast<int>(n);
}
void localEnd(void*) {}
int localError(void*, char* message, unsigned int length) {
    std::snprintf(message, length, "no rows were armed");
    return 2000;  // CR_UNKNOWN_ERROR
}

namespace {

// Rows into one table: one INSERT each, or gathered and sent with LOAD DATA LOCAL from memory
// (the server's bulk path) or, where the server does not take that, in multi-row INSERTs.
class MariaDbInserter : public RowInserter {
public:
    using Mode = InsertMode;

    MariaDbInserter(MYSQL* m, LocalRows& local, BatchSender& sender, std::string target,
                    const std::vector<std::string>& columns, std::string table, Mode mode)
        : m_m(m),
          m_local(local),
          m_sender(sender),
          m_target(std::move(target)),
          m_columnList(backtickedList(columns)),
          m_table(std::move(table)),
          m_columns(columns.size()),
          m_mode(mode) {
        if (m_mode == Mode::LoadData) m_batch.text.reserve(kLoadDataBatch + (64 << 10));
    }
    ~MariaDbInserter() override { m_sender.discard(); }

    void insert(const CellValue* row, std::size_t count, RowTag tag) override {
        if (count != m_columns)
            throw ServiceError(ErrorNumber::kGeneral, "表「" + m_table + "」の列の数が違います。");
        m_batch.starts.push_back(m_batch.text.size());
        m_batch.tags.push_back(tag);
        if (m_mode == Mode::LoadData)
            appendLine(row, count);
        else
            appendTuple(row, count);
        // LOAD DATA takes large batches well; INSERT statements stay within the packet size.
        const bool full = m_mode == Mode::LoadData
                              ? m_batch.text.size() >= kLoadDataBatch
                              : m_batch.tags.size() >= MariaDbEngine::bulkRows ||
                                    m_batch.text.size() >= (std::size_t(4) << 20);
        if (m_mode == Mode::Single || full) send();
    }

    void finish() override {
        send();
        m_sender.settle();
    }

    // LOAD DATA takes batches of this size well; two are alive at once (one in flight).
    static constexpr std::size_t kLoadDataBatch = std::size_t(4) << 20;

private:
    struct Batch {
        std::string text;                 // the rows, as LOAD DATA lines or INSERT tuples
        std::vector<std::size_t> starts;  // where each row begins in text
        std::vector<RowTag> tags;
    };
    using Warning = std::pair<unsigned, std::string>;  // what the server said of a skipped row

    // A row as a line of LOAD DATA's default format.
    void appendLine(const CellValue* row, std::size_t count) {
        appendTextRow(m_batch.text, row, count, {'1', '0', true});
    }

    void appendTuple(const CellValue* row, std::size_t count) {
        std::string& text = m_batch.text;
        text += m_batch.tags.size() > 1 ? ",(" : "(";
        for (std::size_t i = 0; i < count; ++i) {
            if (i) text += ",";
            const CellValue& v = row[i];
            if (std::holds_alternative<std::monostate>(v))
                text += "NULL";
            else if (const auto* n = std::get_if<long long>(&v))
                text += std::to_string(*n);
            else if (const auto* b = std::get_if<bool>(&v))
                text += *b ? "TRUE" : "FALSE";
            else
                text += literal(m_m, std::get<std::string>(v));
        }
        text += ")";
    }

    ServiceError rowError(Warning& warning) const {
        const std::string what = "表「" + m_table + "」に行を追加できません。";
        if (warning.second.empty()) {
            // Nothing a row did: the server ended the transaction, or waited for a lock.
            if (lost(m_m) || endsTransaction(mysql_errno(m_m)))
                return ServiceError(ErrorNumber::kTransactionAborted,
                                    what + "サーバーがトランザクション全体を取り消しました。" +
                                        serverError(m_m, "").description());
            return serverError(m_m, what);
        }
        const auto [code, text] = std::exchange(warning, {});
        return ServiceError(numberFor(code),
                            what + "（" + std::to_string(code) + ": " + text + "）");
    }

    // Sends rows [first, last) of @p b; false when the server refused one of them.
    bool sendRange(const Batch& b, std::size_t first, std::size_t last, Warning& warning) const {
        const std::size_t from = b.starts[first];
        const std::size_t to = last < b.starts.size() ? b.starts[last] : b.text.size();
        if (m_mode == Mode::LoadData) {
            m_local = {&b.text, from, to};
            const std::string sql = "LOAD DATA LOCAL INFILE 'quorix-rows' INTO TABLE " + m_target +
                                    " CHARACTER SET utf8mb4 (" + m_columnList + ")";
            const bool sent = mysql_real_query(m_m, sql.data(), sql.size()) == 0;
            m_local = {};
            if (!sent) return false;
            return taken(last - first, warning);
        }
        // Tuples after the first carry a leading comma.
        const std::size_t skip = b.text[from] == ',' ? 1 : 0;
        std::string sql = "INSERT INTO " + m_target + " (" + m_columnList + ") VALUES ";
        sql.append(b.text, from + skip, to - from - skip);
        if (mysql_real_query(m_m, sql.data(), sql.size()) != 0) return false;
        return taken(last - first, warning);
    }

    // The server may skip a row or bend a value (round a decimal, cut a fraction of a second)
    // with only a warning or a note: for this program every row goes in exactly as given.
    bool taken(std::size_t count, Warning& warning) const {
        if (mysql_affected_rows(m_m) == count && mysql_warning_count(m_m) == 0) return true;
        const auto said = rows(m_m, "SHOW WARNINGS LIMIT 1", "警告を読み取れません。");
        warning = said.empty() ? Warning{0, "一部の行が入りませんでした。"}
                               : Warning{static_cast<unsigned>(std::stoul(said[0][1])), said[0][2]};
        return false;
    }

    // One batch in, or the refused row named (halving the batch to find it).
    void sendBatch(const Batch& b) const {
        Warning warning;
        if (m_mode == Mode::Single) {
            if (!sendRange(b, 0, 1, warning)) throw rowError(warning);
            return;
        }
        run(m_m, "SAVEPOINT quorix_rows", "セーブポイントを作成できません。");
        if (sendRange(b, 0, b.tags.size(), warning)) {
            run(m_m, "RELEASE SAVEPOINT quorix_rows", "セーブポイントを解放できません。");
            return;
        }
        const ServiceError failed = rowError(warning);
        if (failed.number() == ErrorNumber::kTransactionAborted ||
            failed.number() == ErrorNumber::kLockTimeout)
            throw failed;
        // A server that ended the transaction has no savepoint left: no row is to blame.
        if (mysql_real_query(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", 33) != 0)
            throw ServiceError(
                ErrorNumber::kTransactionAborted,
                failed.description() + "サーバーがトランザクション全体を取り消しました。");
        // The shortest refused beginning of the batch ends with the refused row.
        std::size_t good = 0, bad = b.tags.size();
        for (bool first = true; bad - good > 1; first = false) {
            if (!first)
                run(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", "セーブポイントまで戻せません。");
            const std::size_t middle = good + (bad - good) / 2;
            if (sendRange(b, 0, middle, warning)) {
                good = middle;
            } else {
                if (lost(m_m)) throw rowError(warning);
                bad = middle;
            }
            warning = {};
        }
        // The refusal of that row itself, after the rows before it.
        run(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", "セーブポイントまで戻せません。");
        ServiceError error = failed;
        if ((good == 0 || sendRange(b, 0, good, warning)) && !sendRange(b, good, good + 1, warning))
            error = rowError(warning);
        run(m_m, "ROLLBACK TO SAVEPOINT quorix_rows", "セーブポイントまで戻せません。");
        throw RowRefused(error, b.tags[good], m_table);
    }

    void send() {
        if (m_batch.tags.empty()) return;
        auto batch = std::make_shared<Batch>(std::exchange(m_batch, {}));
        // Room for one batch made at once: a string that doubles as it grows would hold twice.
        if (m_mode == Mode::LoadData) m_batch.text.reserve(kLoadDataBatch + (64 << 10));
        if (m_mode == Mode::LoadData) {
            m_sender.submit([this, batch] { sendBatch(*batch); });
        } else {
            m_sender.settle();
            sendBatch(*batch);
        }
    }

    MYSQL* m_m;
    LocalRows& m_local;
    BatchSender& m_sender;
    std::string m_target;
    std::string m_columnList;
    std::string m_table;
    std::size_t m_columns;
    Mode m_mode;
    Batch m_batch;
};

}  // namespace

std::unique_ptr<RowInserter> makeInserter(MYSQL* m, LocalRows& local, BatchSender& sender,
                                          std::string target,
                                          const std::vector<std::string>& columns,
                                          std::string table, InsertMode mode) {
    return std::make_unique<MariaDbInserter>(m, local, sender, std::move(target), columns,
                                             std::move(table), mode);
}

std::string createWorkTable(MYSQL* m, const std::string& database, const std::string& source,
                            const std::string& table, const std::vector<std::string>& columns,
                            const std::vector<std::string>& key, int number) {
    const std::string work = "quorix_work_" + std::to_string(number);
    // A temporary table commits nothing, and a cluster keeps it on this node alone.
    run(m,
        "CREATE TEMPORARY TABLE " + backticked(database) + "." + backticked(work) +
            " (PRIMARY KEY (" + backtickedList(key) + ")) ENGINE=InnoDB SELECT " +
            backtickedList(columns) + " FROM " + source + " LIMIT 0",
        "表「" + table + "」の作業用の表を作成できません。");
    return work;
}

}  // namespace quorix::mariadb
