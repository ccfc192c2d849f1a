#include "services/db/sqlite/sqlite_client.h"

namespace quorix::sqlite {

int32_t numberFor(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ErrorNumber::kPermissionDenied;
        default:
            return ErrorNumber::kGeneral;
    }
}

std::string reasonFor(int rc) {
    switch (rc & 0xFF) {
        case SQLITE_READONLY:
            return "データベースは読み取り専用です。";
        case SQLITE_NOTADB:
            return "データベースファイルではありません。";
        case SQLITE_CANTOPEN:
            return "データベースファイルを開けません。";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "データベースは他のプログラムが使用中です。";
        case SQLITE_FULL:
            return "ディスクがいっぱいです。";
        case SQLITE_CORRUPT:
            return "データベースファイルが壊れています。";
        default:
            return {};
    }
}

[[noreturn]] void fail(sqlite3* db, int rc, const std::string& what) {
    const std::string engineText = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const std::string reason = reasonFor(rc);
    throw ServiceError(numberFor(rc), what + reason + "(" + engineText + ")");
}

void exec(sqlite3* db, const std::string& sql, const std::string& what) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc != SQLITE_OK) fail(db, rc, what);
}

}  // namespace quorix::sqlite
