#include "services/db/mariadb/mariadb_data_source.h"

#include <algorithm>
#include <utility>

namespace quorix::mariadb {

DataSource parseDataSource(const std::string& text) {
    DataSource d;
    auto set = [&](const std::string& key, const std::string& value) {
        if (key == "host")
            d.host = value;
        else if (key == "port")
            d.port = value;
        else if (key == "database" || key == "dbname")
            d.database = value;
        else if (key == "socket" || key == "unix_socket")
            d.socket = value;
        else if (key == "user")
            d.user = value;
        else if (key == "password")
            d.password = value;
        else if (key == "lock_wait_timeout") {
            if (value.empty() || value.size() > 8 ||
                value.find_first_not_of("0123456789") != std::string::npos)
                throw ServiceError(ErrorNumber::kGeneral,
                                   "データソースの「lock_wait_timeout」には秒数を指定してください。");
            d.lockWait = value;
        } else
            throw ServiceError(ErrorNumber::kGeneral,
                               "データソースの「" + key +
                                   "」は使用できません（host、port、database、socket、user、"
                                   "password、lock_wait_timeout が使用できます）。");
    };
    for (const char* scheme : {"mariadb://", "mysql://"}) {
        if (text.rfind(scheme, 0) != 0) continue;
        std::string rest = text.substr(std::string(scheme).size());
        if (const auto q = rest.find('?'); q != std::string::npos) {
            std::string query = rest.substr(q + 1);
            rest.erase(q);
            for (std::size_t start = 0; start <= query.size();) {
                const auto end = std::min(query.find('&', start), query.size());
                const std::string part = query.substr(start, end - start);
                if (const auto eq = part.find('='); eq != std::string::npos)
                    set(part.substr(0, eq), part.substr(eq + 1));
                start = end + 1;
            }
        }
        const auto slash = rest.find('/');
        if (slash != std::string::npos) d.database = rest.substr(slash + 1);
        std::string authority = rest.substr(0, slash);
        if (const auto at = authority.rfind('@'); at != std::string::npos) {
            const std::string userInfo = authority.substr(0, at);
            authority.erase(0, at + 1);
            const auto colon = userInfo.find(':');
            d.user = userInfo.substr(0, colon);
            if (colon != std::string::npos) d.password = userInfo.substr(colon + 1);
        }
        if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
            d.port = authority.substr(colon + 1);
            authority.erase(colon);
        }
        d.host = authority;
        return d;
    }
    const auto pairs = splitKeyValues(text);
    if (!pairs)
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソースは「host=… port=… database=…」か "
                           "「mariadb://ホスト:ポート/データベース」の形で指定してください。");
    for (const auto& [key, value] : *pairs) set(key, value);
    return d;
}

Conn connect(const ConnectionInfo& info, bool withDatabase) {
    const DataSource d = parseDataSource(info.dataSource);
    if (withDatabase && d.database.empty())
        throw ServiceError(ErrorNumber::kGeneral,
                           "データソースにデータベース名（database=…）を指定してください。");
    Conn m(mysql_init(nullptr));
    if (!m) throw ServiceError(ErrorNumber::kGeneral, "メモリが足りません。");
    mysql_optionsv(m.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const unsigned timeout = 30;
    mysql_optionsv(m.get(), MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    // Rows go with LOAD DATA LOCAL from memory; the session's own handler never reads a file.
    const unsigned localInfile = 1;
    mysql_optionsv(m.get(), MYSQL_OPT_LOCAL_INFILE, &localInfile);
    unsigned port = 0;
    if (!d.port.empty()) {
        try {
            port = static_cast<unsigned>(std::stoul(d.port));
        } catch (const std::exception&) {
            throw ServiceError(ErrorNumber::kGeneral,
                               "ポート「" + d.port + "」は数ではありません。");
        }
    }
    const std::string user = info.user.empty() ? d.user : info.user;
    const std::string password = info.password.empty() ? d.password : info.password;
    if (!mysql_real_connect(m.get(), d.host.empty() ? nullptr : d.host.c_str(),
                            user.empty() ? nullptr : user.c_str(), password.c_str(),
                            withDatabase ? d.database.c_str() : nullptr, port,
                            d.socket.empty() ? nullptr : d.socket.c_str(), 0))
        throw serverError(m.get(), "データベースに接続できません。");
    // Nothing is cut or guessed: a value that does not fit is an error, not a warning.
    run(m.get(),
        "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ZERO_IN_DATE,NO_ZERO_DATE,"
        "ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION', SESSION innodb_lock_wait_timeout = " +
            d.lockWait,
        "データベースに接続できません。");
    return m;
}

std::string shownDataSource(const std::string& dataSource) {
    DataSource d;
    try {
        d = parseDataSource(dataSource);
    } catch (const ServiceError&) {
        const auto cut = dataSource.find("password");
        return cut == std::string::npos ? dataSource : dataSource.substr(0, cut);
    }
    if (d.password.empty()) return dataSource;
    // Rebuilt without the password.
    std::string shown;
    for (const auto& [key, value] : {std::pair{"host", d.host},
                                     {"port", d.port},
                                     {"socket", d.socket},
                                     {"user", d.user},
                                     {"database", d.database}})
        if (!value.empty()) shown += (shown.empty() ? "" : " ") + std::string(key) + "=" + value;
    return shown;
}

}  // namespace quorix::mariadb
