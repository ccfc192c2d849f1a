#include "services/db/engine/connection_info.h"

#include <array>

namespace quorix {

namespace {

constexpr std::array<std::string_view, 4> kKeys = {
    "Provider=", "Data Source=", "User ID=", "Password="};

// Index of the key that @p text starts with, or -1.
int keyAt(std::string_view text) {
    for (std::size_t i = 0; i < kKeys.size(); ++i)
        if (text.substr(0, kKeys[i].size()) == kKeys[i]) return static_cast<int>(i);
    return -1;
}

}  // namespace

ConnectionInfo parseConnectionString(std::string_view text) {
    ConnectionInfo info;
    std::array<std::string*, 4> slots = {&info.provider, &info.dataSource, &info.user,
                                         &info.password};
    std::size_t pos = 0;
    int key = keyAt(text);
    while (key >= 0) {
        std::size_t start = pos + kKeys[key].size();
        std::string& value = *slots[key];
        value.clear();
        std::size_t end = start;
        int next = -1;
        const char quote = start < text.size() ? text[start] : '\0';
        if (quote == '"' || quote == '\'') {
            // A quoted value runs to its closing quote; a doubled quote stands for one.
            for (end = start + 1; end < text.size(); ++end) {
                if (text[end] != quote) {
                    value += text[end];
                } else if (end + 1 < text.size() && text[end + 1] == quote) {
                    value += quote;
                    ++end;
                } else {
                    ++end;
                    break;
                }
            }
            if (end >= text.size()) break;
            // Whatever follows the closing quote must be the next key.
            if (text[end] != ';' || (next = keyAt(text.substr(end + 1))) < 0) break;
        } else {
            // A plain value runs to the next ';' that starts another known key.
            for (;;) {
                end = text.find(';', end);
                if (end == std::string_view::npos) break;
                next = keyAt(text.substr(end + 1));
                if (next >= 0) break;
                ++end;
            }
            value = std::string(text.substr(
                start, end == std::string_view::npos ? std::string_view::npos : end - start));
            if (end == std::string_view::npos) break;
        }
        pos = end + 1;
        key = next;
    }
    return info;
}

std::string connectionStringValue(std::string_view value) {
    const bool plain = value.find(';') == std::string_view::npos &&
                       (value.empty() || (value[0] != '"' && value[0] != '\''));
    if (plain) return std::string(value);
    std::string out = "\"";
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string formatConnectionString(const ConnectionInfo& info) {
    std::string text = "Provider=" + connectionStringValue(info.provider) +
                       ";Data Source=" + connectionStringValue(info.dataSource);
    if (!info.user.empty()) text += ";User ID=" + connectionStringValue(info.user);
    if (!info.password.empty()) text += ";Password=" + connectionStringValue(info.password);
    return text;
}

}  // namespace quorix

namespace quorix {

std::optional<std::vector<std::pair<std::string, std::string>>> splitKeyValues(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size()) break;
        const auto eq = text.find('=', i);
        const auto blank = text.find(' ', i);
        if (eq == std::string_view::npos || blank < eq) return std::nullopt;
        std::string key(text.substr(i, eq - i));
        std::string value;
        i = eq + 1;
        if (i < text.size() && text[i] == '\'') {
            for (++i; i < text.size() && text[i] != '\''; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                value += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ' ') value += text[i++];
        }
        pairs.emplace_back(std::move(key), std::move(value));
    }
    return pairs;
}

std::string joinKeyValues(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string out;
    for (const auto& [key, value] : pairs) {
        if (!out.empty()) out += ' ';
        out += key + '=';
        if (!value.empty() && value.find_first_of(" '\\") == std::string::npos) {
            out += value;
            continue;
        }
        out += '\'';
        for (char c : value) {
            if (c == '\'' || c == '\\') out += '\\';
            out += c;
        }
        out += '\'';
    }
    return out;
}

}  // namespace quorix
