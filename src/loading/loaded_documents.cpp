#include "loading/loaded_documents.h"

#include <zlib.h>

#include <ctime>
#include <filesystem>

#include "loading/load_plan.h"
#include "services/db/connection.h"
#include "services/db/engine/data_type.h"
#include "services/text/text.h"

namespace quorix::load {

namespace {

// The record's key: the content's fingerprint and, hashed, the tables it went into.
std::string recordKey(const std::string& fingerprint, const std::vector<PlanTable>& tables) {
    std::string names;
    for (const PlanTable& t : tables) names += t.name + '\x1f';
    char text[16];
    std::snprintf(
        text, sizeof text, "%08lx",
        crc32(0, reinterpret_cast<const Bytef*>(names.data()), static_cast<uInt>(names.size())));
    return fingerprint + ":" + text;
}

}  // namespace

void ensureLoadedDocuments(Connection& connection) {
    connection.run([&](DatabaseSession& s) {
        if (!s.tableColumns(kLoadedDocuments).empty()) return;
        TableDefinition t;
        t.name = kLoadedDocuments;
        t.columns = {{"record_key", adVarWChar, 64},
                     {"document", adVarWChar, 255},
                     {"loaded_at", adBigInt, 0},
                     {"rows_read", adBigInt, 0}};
        t.indexes = {{"quorix_loaded_documents_key", true, true, {"record_key"}}};
        s.createTable(t);
    });
}

std::optional<std::string> rememberDocument(Connection& connection, const std::string& document,
                                            const std::string& fingerprint,
                                            const std::vector<PlanTable>& tables, long long rows) {
    const std::string key = recordKey(fingerprint, tables);
    const std::string name = std::filesystem::path(document).filename().string();
    return connection.run([&](DatabaseSession& s) -> std::optional<std::string> {
        const std::string table = s.quotedTable(kLoadedDocuments);
        const std::string what = "取り込んだ文書の記録を読み書きできません。";
        const std::string where = " WHERE " + s.quotedName("record_key") + " = '" + key + "'";
        const long long before =
            s.count("SELECT max(" + s.quotedName("loaded_at") + ") FROM " + table + where, what);
        s.execute("DELETE FROM " + table + where, what);
        auto inserter =
            s.inserter(kLoadedDocuments, {"record_key", "document", "loaded_at", "rows_read"});
        const std::time_t now = std::time(nullptr);
        inserter->insert({key, displayText(name), static_cast<long long>(now), rows});
        inserter->finish();
        if (before <= 0) return std::nullopt;
        const std::time_t then = static_cast<std::time_t>(before);
        std::tm local{};
        localtime_r(&then, &local);
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
        return "「" + displayText(name) + "」と同じ内容の文書を、" + when +
               " に同じ表へ取り込んでいます。";
    });
}

}  // namespace quorix::load
