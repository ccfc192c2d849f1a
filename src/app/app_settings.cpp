#include "app/app_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "services/db/engine/connection_info.h"

namespace quorix {

void AppSettings::setDefaults() {
    DBType = "access";
    Rowset = "ROWSET";
    Row = "ROW";
    DSN = defaultDataSource();
    User.clear();
    Password.clear();
}

std::string defaultDataSource() {
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h == '/') home = h;
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    if (home.empty()) home = "/tmp";
    if (home.size() > 1 && home.back() == '/') home.pop_back();
    return home + "/Book.mdb";
}

std::string providerFor(const std::string& dbType) {
    if (dbType == "access") return "Microsoft.Jet.OLEDB.4.0";
    if (dbType == "ole3.51") return "Microsoft.Jet.OLEDB.3.51";
    if (dbType == "sqlserver") return "sqloledb";
    if (dbType == "postgresql") return "PostgreSQL";
    if (dbType == "mysql") return "MariaDB";
    return {};
}

std::string buildConnectionString(const AppSettings& s) {
    return formatConnectionString(
        {providerFor(s.getDBType()), s.getDSN(), s.getUser(), s.getPassword()});
}

}  // namespace quorix
