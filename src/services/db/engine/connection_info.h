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

/// Splits a connection string. A value in double or single quotes runs to its closing quote
/// (a doubled quote stands for one); a plain value is taken as it stands, and a ';' inside it
/// is kept when what follows it is not one of the known keys.
ConnectionInfo parseConnectionString(std::string_view text);

/// A value as a connection string carries it: in double quotes (inner ones doubled) when it
/// holds a ';' or begins with a quote, so that no value can end early or add a key.
std::string connectionStringValue(std::string_view value);

/// "Provider=...;Data Source=..." with ";User ID=" and ";Password=" when not empty, every
/// value as connectionStringValue gives it: parseConnectionString returns @p info unchanged.
std::string formatConnectionString(const ConnectionInfo& info);

}  // namespace quorix
