#include "services/db/postgresql/postgresql_data_source.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

namespace quorix::postgresql {

namespace {

// Notices and warnings of the server are not the user's business: never printed.
void quietNotice(void*, const char*) {}

// A data source libpq cannot read, as a message may show it: nothing from the first
// "password" on, and no user information of a URI.
std::string unreadableDataSourceShown(std::string s) {
    std::string lower = s;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (const auto p = lower.find("password"); p != std::string::npos) s = s.substr(0, p) + "…";
    if (const auto scheme = s.find("://"); scheme != std::string::npos)
        if (const auto at = s.find('@', scheme); at != std::string::npos)
            s.erase(scheme + 3, at + 1 - (scheme + 3));
    return s;
}

// A value of a libpq connection string, quoted where it needs to be.
std::string conninfoValue(const std::string& v) {
    if (!v.empty() && v.find_first_of(" \t\n\r\f\v'\\") == std::string::npos) return v;
    std::string out = "'";
    for (char ch : v) {
        if (ch == '\'' || ch == '\\') out += '\\';
        out += ch;
    }
    return out + "'";
}

// The parts of a libpq connection string or URI; throws for one libpq cannot read.
std::map<std::string, std::string> conninfoParts(const std::string& dataSource) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(dataSource.c_str(), &error);
    if (!options) {
        const std::string reason = error ? trimmedMessage(error) : "";
        PQfreemem(error);
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソース「" + unreadableDataSourceShown(dataSource) +
                               "」は接続文字列として正しくありません。(" + reason + ")");
    }
    std::map<std::string, std::string> parts;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val) parts[o->keyword] = o->val;
    PQconninfoFree(options);
    return parts;
}

// True when libpq reads a password in @p dataSource (or cannot read it at all).
bool holdsPassword(const std::string& dataSource) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(dataSource.c_str(), &error);
    if (!options) {
        PQfreemem(error);
        return true;
    }
    bool found = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        found = found || (o->val && std::string(o->keyword) == "password");
    PQconninfoFree(options);
    return found;
}

// A "key=value ..." data source without its password, everything else kept as written (read
// as libpq reads it); nullopt for a URI.
std::optional<std::string> keyValueWithoutPassword(const std::string& s) {
    if (s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0) return std::nullopt;
    auto blank = [&](std::size_t i) { return std::isspace(static_cast<unsigned char>(s[i])); };
    std::string out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && blank(i)) ++i;
        if (i == s.size()) break;
        const std::size_t start = i;
        while (i < s.size() && s[i] != '=' && !blank(i)) ++i;
        const std::string key = s.substr(start, i - start);
        while (i < s.size() && blank(i)) ++i;
        if (i == s.size() || s[i] != '=') return std::nullopt;
        ++i;
        while (i < s.size() && blank(i)) ++i;
        if (i < s.size() && s[i] == '\'') {
            for (++i; i < s.size() && s[i] != '\''; ++i)
                if (s[i] == '\\') ++i;
            if (i >= s.size()) return std::nullopt;
            ++i;
        } else {
            for (; i < s.size() && !blank(i); ++i)
                if (s[i] == '\\') ++i;
            i = std::min(i, s.size());
        }
        if (key != "password") out += (out.empty() ? "" : " ") + s.substr(start, i - start);
    }
    return out;
}

}  // namespace

// Connects with the data source, overriding its database with @p database when not empty.
Conn connect(const ConnectionInfo& info, const std::string& database) {
    const auto parts = conninfoParts(info.dataSource);
    std::vector<std::pair<std::string, std::string>> params = {{"dbname", info.dataSource}};
    if (!database.empty()) params.emplace_back("dbname", database);
    if (!info.user.empty()) params.emplace_back("user", info.user);
    if (!info.password.empty()) params.emplace_back("password", info.password);
    // Nothing waits for an unreachable server longer than this, unless the user said so.
    if (!parts.count("connect_timeout")) params.emplace_back("connect_timeout", "10");
    params.emplace_back("client_encoding", "UTF8");
    params.emplace_back("application_name", "Quorix");
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : params) {
        keys.push_back(k.c_str());
        values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    Conn conn(PQconnectdbParams(keys.data(), values.data(), 1));
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        const std::string reason =
            conn ? trimmedMessage(PQerrorMessage(conn.get())) : "メモリが不足しています。";
        throw ServiceError(ErrorNumber::kGeneral, "データベースに接続できません。(" + reason + ")");
    }
    PQsetNoticeProcessor(conn.get(), quietNotice, nullptr);
    // A create that waits for another session's lock says so after a while instead of
    // waiting for ever; a limit the server or the data source sets is kept.
    Result limit(PQexec(conn.get(), "SHOW lock_timeout"));
    if (limit && PQresultStatus(limit.get()) == PGRES_TUPLES_OK && PQntuples(limit.get()) == 1 &&
        std::string(PQgetvalue(limit.get(), 0, 0)) == "0")
        Result(PQexec(conn.get(), "SET lock_timeout = '30s'"));
    return conn;
}

std::string databaseName(const ConnectionInfo& info) {
    const auto parts = conninfoParts(info.dataSource);
    const auto it = parts.find("dbname");
    if (it == parts.end() || it->second.empty())
        throw ServiceError(ErrorNumber::kGeneral, "データソース「" +
                                                      shownDataSource(info.dataSource) +
                                                      "」にデータベース名（dbname）がありません。");
    return it->second;
}

std::string shownDataSource(const std::string& dataSource) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(dataSource.c_str(), &error);
    if (!options) {
        PQfreemem(error);
        return unreadableDataSourceShown(dataSource);
    }
    bool password = false;
    std::string rebuilt;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val) continue;
        if (std::string(o->keyword) == "password") {
            password = true;
            continue;
        }
        rebuilt +=
            (rebuilt.empty() ? "" : " ") + std::string(o->keyword) + "=" + conninfoValue(o->val);
    }
    PQconninfoFree(options);
    // Without a password the text stays as the user wrote it; with one, as much of it as can.
    if (!password) return dataSource;
    const auto kept = keyValueWithoutPassword(dataSource);
    return kept && !holdsPassword(*kept) ? *kept : rebuilt;
}

}  // namespace quorix::postgresql
