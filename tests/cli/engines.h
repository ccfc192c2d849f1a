#pragma once

// The three engines as the command-line tests use them: the arguments that name a database of
// each (made anew for a first load), and the engine's own client's answer to a query, the
// columns between "|".

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quorix::test {

struct Engine {
    const char* name;
    std::function<std::vector<std::string>(TempDir&, bool first)> target;
    std::function<std::string(std::string)> query;
};

/// Each engine with a database called @p database (a file of that name on SQLite).
inline std::vector<Engine> engines(const std::string& database = "quorix_modes") {
    auto file = std::make_shared<std::string>();
    return {
        {"SQLite",
         [=](TempDir& dir, bool first) {
             *file = dir.file(database + ".db");
             if (first) std::remove(file->c_str());
             std::vector<std::string> args{"--data-source", *file};
             if (first) args.push_back("--new-database");
             return args;
         },
         [=](std::string sql) { return sqlite3Cli(*file, sql); }},
        {"PostgreSQL",
         [=](TempDir&, bool first) {
             if (first) PostgresServer::instance().freshDatabase(database);
             return std::vector<std::string>{"--db-type", "postgresql", "--data-source",
                                             PostgresServer::instance().dataSource(database)};
         },
         [=](std::string sql) { return PostgresServer::instance().psql(database, sql); }},
        {"MariaDB",
         [=](TempDir&, bool first) {
             if (first) MariaDbServer::instance().sql("", "DROP DATABASE IF EXISTS " + database);
             std::vector<std::string> args{"--db-type", "mysql", "--user", "root",
                                           "--data-source",
                                           MariaDbServer::instance().dataSource(database)};
             if (first) args.push_back("--new-database");
             return args;
         },
         [=](std::string sql) {
             for (char& c : sql)
                 if (c == '"') c = '`';
             std::string got = MariaDbServer::instance().sql(database, sql);
             for (char& c : got)
                 if (c == '\t') c = '|';
             return got;
         }},
    };
}

}  // namespace quorix::test
