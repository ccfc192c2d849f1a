#pragma once

#include <string>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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

namespace quorix {

/// The "key=value key='a value'" pairs of a server's data source, in order: a quoted value
/// runs to its closing quote, with \' and \\ inside; nullopt for a part without '='.
std::optional<std::vector<std::pair<std::string, std::string>>> splitKeyValues(std::string_view text);

/// @p pairs written so that splitKeyValues reads them back: a value that is empty or holds a
/// blank, a quote or a backslash in single quotes.
std::string joinKeyValues(const std::vector<std::pair<std::string, std::string>>& pairs);

}  // namespace quorix
