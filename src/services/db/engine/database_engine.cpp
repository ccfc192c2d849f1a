#include "services/db/engine/database_engine.h"

namespace quorix {

long long DatabaseSession::deleteMatching(const std::string& table, const std::string& source,
                                          const std::vector<std::string>& key) {
    // A row value IN a subquery: the engines take it as a join on the key's index.
    std::string columns;
    for (const std::string& k : key) columns += (columns.empty() ? "" : ", ") + quotedName(k);
    return execute("DELETE FROM " + quotedTable(table) + " WHERE (" + columns + ") IN (SELECT " +
                       columns + " FROM " + quotedTable(source) + ")",
                   "表「" + table + "」の行を削除できません。");
}

std::string DatabaseSession::literal(const std::string& text) const {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

}  // namespace quorix
