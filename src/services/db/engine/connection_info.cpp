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
        const std::size_t start = pos + kKeys[key].size();
        // The value runs to the next ';' that starts another known key.
        std::size_t end = start;
        int next = -1;
        for (;;) {
            end = text.find(';', end);
            if (end == std::string_view::npos) break;
            next = keyAt(text.substr(end + 1));
            if (next >= 0) break;
            ++end;
        }
        *slots[key] = std::string(text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        pos = end + 1;
        key = next;
    }
    return info;
}

}  // namespace quorix
