#pragma once

#include <string>
#include <string_view>

namespace quorix {

/// The parts of a connection string "Provider=...;Data Source=...;User ID=...;Password=...".
struct ConnectionInfo {
    std::string provider;
    std::string dataSource;
    std::string user;
    std::string password;
};

/// Splits a connection string. Values are taken as they stand; a ';' inside a value is kept
/// when what follows it is not one of the known keys.
ConnectionInfo parseConnectionString(std::string_view text);

}  // namespace quorix
