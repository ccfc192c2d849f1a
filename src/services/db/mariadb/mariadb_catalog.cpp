#include "services/db/mariadb/mariadb_catalog.h"

#include <map>

#include "services/db/engine/data_type.h"
#include "services/db/engine/service_error.h"
#include "services/db/mariadb/mariadb_client.h"
#include "services/db/mariadb/mariadb_types.h"

namespace quorix::mariadb {

namespace {

// A table with its own properties, from TABLE_NAME, CREATE_TIME, UPDATE_TIME.
CatalogObjectPtr tableObject(const std::vector<std::string>& r) {
    auto t = std::make_shared<CatalogObject>("Table", r[0]);
    t->setProperty("Type", std::string("TABLE"));
    if (r[1].empty())
        t->setPropertyError("DateCreated", kNoDatesKept);
    else
        t->setProperty("DateCreated", r[1]);
    if (r[2].empty())
        t->setPropertyError("DateModified", kNoDatesKept);
    else
        t->setProperty("DateModified", r[2]);
    return t;
}

// A foreign key's update or delete rule as information_schema writes it.
long long ruleCode(const std::string& r) {
    if (r == "CASCADE") return adRICascade;
    if (r == "SET NULL") return adRISetNull;
    if (r == "SET DEFAULT") return adRISetDefault;
    return adRINone;
}

}  // namespace

CatalogObjectPtr readTableNames(MYSQL* m, const std::string& database) {
    auto tables = std::make_shared<CatalogObject>("Tables");
    for (const auto& r : rows(m,
                              "SELECT TABLE_NAME, CREATE_TIME, UPDATE_TIME FROM "
                              "information_schema.TABLES WHERE TABLE_SCHEMA = " +
                                  literal(m, database) +
                                  " AND TABLE_TYPE = 'BASE TABLE' ORDER BY BINARY TABLE_NAME",
                              "表の一覧を読み取れません。"))
        tables->addMember(tableObject(r));
    return tables;
}

CatalogObjectPtr readTables(MYSQL* m, const std::string& database, const std::string* name) {
    const std::string what = "表の一覧を読み取れません。";
    const std::string schema = literal(m, database);
    const std::string only = name ? " AND TABLE_NAME = " + literal(m, *name) : std::string();
    const std::string onlyTc = name ? " AND tc.TABLE_NAME = " + literal(m, *name) : std::string();
    auto tables = std::make_shared<CatalogObject>("Tables");
    std::map<std::string, CatalogObjectPtr> byName;
    std::map<std::string, std::map<std::string, CatalogObjectPtr>> columnsByName;
    for (const auto& r :
         rows(m,
              "SELECT TABLE_NAME, CREATE_TIME, UPDATE_TIME FROM "
              "information_schema.TABLES WHERE TABLE_SCHEMA = " +
                  schema + only + " AND TABLE_TYPE = 'BASE TABLE' ORDER BY BINARY TABLE_NAME",
              what)) {
        auto t = tableObject(r);
        for (const char* role : {"Columns", "Indexes", "Keys"})
            t->setChild(role, std::make_shared<CatalogObject>(role));
        byName[r[0]] = t;
        tables->addMember(t);
    }
    for (const auto& r : rows(m,
                              "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, COLUMN_TYPE, "
                              "CHARACTER_MAXIMUM_LENGTH, NUMERIC_PRECISION, NUMERIC_SCALE, "
                              "IS_NULLABLE, EXTRA, COLUMN_DEFAULT FROM information_schema.COLUMNS WHERE "
                              "TABLE_SCHEMA = " +
                                  schema + only + " ORDER BY BINARY TABLE_NAME, ORDINAL_POSITION",
                              what)) {
        const auto t = byName.find(r[0]);
        if (t == byName.end()) continue;
        ColumnFacts f = typeFacts(r[2], r[3], r[4], r[5], r[6]);
        f.nullable = r[7] == "YES";
        f.autoIncrement = r[8].find("auto_increment") != std::string::npos;
        f.timeZone = r[2] == "timestamp";
        auto col = columnObject(r[1], f);
        // The server writes "NULL" for a column without a default.
        if (!r[9].empty() && r[9] != "NULL") col->setProperty("Default", r[9]);
        columnsByName[r[0]][r[1]] = col;
        t->second->child("Columns")->addMember(col);
    }
    auto member = [&](const std::string& table, const std::string& name, const char* property,
                      PropertyValue v) {
        const auto& cols = columnsByName[table];
        const auto it = cols.find(name);
        return memberColumnObject(name, property, std::move(v),
                                  it == cols.end() ? nullptr : it->second);
    };
    std::map<std::string, CatalogObjectPtr> indexCols;
    for (const auto& r : rows(m,
                              "SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, COLUMN_NAME, COLLATION "
                              "FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = " +
                                  schema + only +
                                  " ORDER BY TABLE_NAME, INDEX_NAME <> 'PRIMARY', INDEX_NAME, "
                                  "SEQ_IN_INDEX",
                              what)) {
        const auto t = byName.find(r[0]);
        if (t == byName.end()) continue;
        const std::string key = r[0] + '\x1f' + r[1];
        if (!indexCols.count(key)) {
            // InnoDB keeps a table's rows in the order of its primary key.
            const bool primary = r[1] == "PRIMARY";
            indexCols[key] =
                addIndexObject(*t->second->child("Indexes"), r[1], primary, r[2] == "0", primary);
        }
        indexCols[key]->addMember(
            member(r[0], r[3], "SortOrder", static_cast<long long>(r[4] == "D" ? 2 : 1)));
    }
    std::map<std::string, CatalogObjectPtr> keyCols;
    for (const auto& r :
         rows(m,
              "SELECT tc.TABLE_NAME, tc.CONSTRAINT_NAME, tc.CONSTRAINT_TYPE, "
              "coalesce(k.REFERENCED_TABLE_SCHEMA, ''), "
              "coalesce(k.REFERENCED_TABLE_NAME, ''), coalesce(rc.UPDATE_RULE, ''), "
              "coalesce(rc.DELETE_RULE, ''), k.COLUMN_NAME, "
              "coalesce(k.REFERENCED_COLUMN_NAME, '') FROM "
              "information_schema.TABLE_CONSTRAINTS tc JOIN "
              "information_schema.KEY_COLUMN_USAGE k ON k.CONSTRAINT_SCHEMA = "
              "tc.CONSTRAINT_SCHEMA AND k.TABLE_NAME = tc.TABLE_NAME AND "
              "k.CONSTRAINT_NAME = tc.CONSTRAINT_NAME LEFT JOIN "
              "information_schema.REFERENTIAL_CONSTRAINTS rc ON "
              "rc.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA AND rc.TABLE_NAME = "
              "tc.TABLE_NAME AND rc.CONSTRAINT_NAME = tc.CONSTRAINT_NAME WHERE "
              "tc.TABLE_SCHEMA = " +
                  schema + onlyTc +
                  " AND tc.CONSTRAINT_TYPE IN ('PRIMARY KEY', 'UNIQUE', 'FOREIGN "
                  "KEY') ORDER BY tc.TABLE_NAME, tc.CONSTRAINT_TYPE <> 'PRIMARY "
                  "KEY', tc.CONSTRAINT_NAME, k.ORDINAL_POSITION",
              what)) {
        const auto t = byName.find(r[0]);
        if (t == byName.end()) continue;
        const std::string k = r[0] + '\x1f' + r[1];
        if (!keyCols.count(k)) {
            const long long type = r[2] == "PRIMARY KEY" ? adKeyPrimary
                                   : r[2] == "UNIQUE"    ? adKeyUnique
                                                         : adKeyForeign;
            // A related table of another database is named with it: never confused with ours.
            keyCols[k] = addKeyObject(*t->second->child("Keys"), r[1], type,
                                      r[3].empty() || r[3] == database ? r[4] : r[3] + "." + r[4],
                                      ruleCode(r[5]), ruleCode(r[6]));
        }
        keyCols[k]->addMember(member(r[0], r[7], "RelatedColumn", r[8]));
    }
    return tables;
}

CatalogObjectPtr readCommands(MYSQL* m, const std::string& database, bool views) {
    const std::string schema = literal(m, database);
    const std::string sql =
        views ? "SELECT TABLE_NAME, VIEW_DEFINITION FROM information_schema.VIEWS WHERE "
                "TABLE_SCHEMA = " +
                    schema + " ORDER BY BINARY TABLE_NAME"
              : "SELECT ROUTINE_NAME, coalesce(ROUTINE_DEFINITION, '') FROM "
                "information_schema.ROUTINES WHERE ROUTINE_SCHEMA = " +
                    schema + " ORDER BY BINARY ROUTINE_NAME";
    auto list = std::make_shared<CatalogObject>(views ? "Views" : "Procedures");
    for (const auto& r :
         rows(m, sql, views ? "ビューを読み取れません。" : "プロシージャを読み取れません。"))
        list->addMember(makeCommandObject(views ? "View" : "Procedure", r[0], r[1]));
    return list;
}

CatalogObjectPtr readAccounts(MYSQL* m, bool roles) {
    auto list = std::make_shared<CatalogObject>(roles ? "Groups" : "Users");
    std::vector<std::vector<std::string>> found;
    try {
        found = rows(m,
                     std::string("SELECT User, Host FROM mysql.user WHERE is_role = ") +
                         (roles ? "'Y'" : "'N'") + " ORDER BY User, Host",
                     "");
    } catch (const ServiceError&) {
        return list;
    }
    for (const auto& r : found) {
        auto o = std::make_shared<CatalogObject>(roles ? "Group" : "User",
                                                 roles ? r[0] : r[0] + "@" + r[1]);
        o->setChild(roles ? "Users" : "Groups",
                    std::make_shared<CatalogObject>(roles ? "Users" : "Groups"));
        list->addMember(o);
    }
    return list;
}

}  // namespace quorix::mariadb
