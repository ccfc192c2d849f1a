#pragma once

#include <mysql.h>

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "services/db/engine/database_engine.h"

// Rows into a table: one INSERT each, LOAD DATA LOCAL from memory (the server's bulk path) or,
// where the server does not take that, multi-row INSERTs.
namespace quorix::mariadb {

/// What LOAD DATA LOCAL reads: only rows this program armed, never a file the server names.
struct LocalRows {
    const std::string* text = nullptr;
    std::size_t from = 0, to = 0;
};

/// The client library's LOAD DATA LOCAL handlers over a LocalRows (the user data).
int localInit(void** handle, const char*, void* userdata);
int localRead(void* handle, char* buffer, unsigned int length);
void localEnd(void*);
int localError(void*, char* message, unsigned int length);

/// Sends one batch of rows at a time on a thread of its own, so that the next batch is made
/// while the server takes the last. Whoever uses the connection settles first: waits for the
/// batch in flight, and hears of its failure.
class BatchSender {
public:
    BatchSender() = default;
    BatchSender(const BatchSender&) = delete;
    BatchSender& operator=(const BatchSender&) = delete;
    ~BatchSender() { discard(); }

    void submit(std::function<void()> job) {
        settle();
        m_job = std::async(std::launch::async, std::move(job));
    }
    void settle() {
        if (m_job.valid()) m_job.get();
    }
    /// Waits, and forgets what went wrong (the transaction is being undone anyway).
    void discard() noexcept {
        try {
            settle();
        } catch (...) {
        }
    }

private:
    std::future<void> m_job;
};

enum class InsertMode { Single, MultiInsert, LoadData };

/// An inserter of @p columns into @p target (the qualified name of @p table).
std::unique_ptr<RowInserter> makeInserter(MYSQL* m, LocalRows& local, BatchSender& sender,
                                          std::string target,
                                          const std::vector<std::string>& columns,
                                          std::string table, InsertMode mode);

/// A temporary table "quorix_work_<number>" in @p database with @p columns of @p source (the
/// qualified name of @p table) in their types and @p key as its primary key.
std::string createWorkTable(MYSQL* m, const std::string& database, const std::string& source,
                            const std::string& table, const std::vector<std::string>& columns,
                            const std::vector<std::string>& key, int number);

}  // namespace quorix::mariadb
