#include "services/db/sqlite/sqlite_schema.h"

#include <cctype>

namespace quorix {

namespace {

bool wordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

}  // namespace

std::vector<SqlToken> tokenize(std::string_view sql) {
    std::vector<SqlToken> tokens;
    tokens.reserve(sql.size() / 4 + 8);
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        const std::size_t start = i;
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            i = sql.find('\n', i);
            if (i == std::string_view::npos) i = n;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            i = sql.find("*/", i + 2);
            i = i == std::string_view::npos ? n : i + 2;
        } else if (c == '"' || c == '`' || c == '[' || c == '\'') {
            const char close = c == '[' ? ']' : c;
            std::string text;
            ++i;
            while (i < n) {
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < n && sql[i + 1] == close) {
                        text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += sql[i++];
            }
            tokens.push_back(
                {text, c == '\'' ? SqlToken::Literal : SqlToken::Identifier, start, i});
        } else if (wordChar(static_cast<unsigned char>(c))) {
            while (i < n && wordChar(static_cast<unsigned char>(sql[i]))) ++i;
            tokens.push_back({std::string(sql.substr(start, i - start)), SqlToken::Word, start, i});
        } else {
            ++i;
            tokens.push_back({std::string(1, c), SqlToken::Punctuation, start, i});
        }
    }
    return tokens;
}

std::string primaryKeyConstraintName(std::string_view createTable) {
    const std::vector<SqlToken> t = tokenize(createTable);
    for (std::size_t i = 0; i + 3 < t.size(); ++i)
        if (t[i].is("CONSTRAINT") && t[i + 2].is("PRIMARY") && t[i + 3].is("KEY"))
            return t[i + 1].text;
    return {};
}

}  // namespace quorix
