#include "services/db/sqlite/sqlite_data_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorix::sqlite {

Database openDatabaseFile(const std::string& path) {
    if (path.empty())
        throw ServiceError(ErrorNumber::kGeneral, "データソースが指定されていません。");
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw ServiceError(ErrorNumber::kGeneral,
                           "データベースファイル「" + path + "」が見つかりません。");
    if (!S_ISREG(st.st_mode) || st.st_size == 0)
        throw ServiceError(ErrorNumber::kGeneral,
                           "「" + path + "」はデータベースファイルではありません。");
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    Database db(handle);
    if (rc != SQLITE_OK) {
        const std::string text = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
        throw ServiceError(ErrorNumber::kGeneral,
                           "データベース「" + path + "」を開けません。(" + text + ")");
    }
    sqlite3_busy_timeout(db.get(), 2000);
    // Reading the header proves a database without parsing its schema, which for 100 000
    // tables takes SQLite minutes: that is paid when the schema is first needed.
    rc = sqlite3_exec(db.get(), "PRAGMA foreign_keys = ON; PRAGMA schema_version", nullptr, nullptr,
                      nullptr);
    if (rc != SQLITE_OK) fail(db.get(), rc, "データベース「" + path + "」を開けません。");
    return db;
}

void createDatabaseFile(const std::string& path) {
    if (path.empty())
        throw ServiceError(ErrorNumber::kGeneral, "データソースが指定されていません。");
    // O_EXCL: an existing file is never touched, even one that appears meanwhile.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            throw ServiceError(ErrorNumber::kFileExists,
                               "データベース「" + path + "」は既に存在します。");
        throw ServiceError(
            ErrorNumber::kGeneral,
            "データベース「" + path + "」を作成できません。(" + std::strerror(errno) + ")");
    }
    ::close(fd);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        // Writing the header makes the file a valid database rather than an empty file.
        rc = sqlite3_exec(db, "PRAGMA application_id = 1364349004; PRAGMA user_version = 1",
                          nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        ::unlink(path.c_str());
        throw ServiceError(ErrorNumber::kGeneral,
                           "データベース「" + path + "」を作成できません。(" + text + ")");
    }
    sqlite3_close_v2(db);
}

void removeDatabaseFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0)
        throw ServiceError(
            ErrorNumber::kGeneral,
            "データベース「" + path + "」は削除できません。(" + std::strerror(errno) + ")");
}

}  // namespace quorix::sqlite
