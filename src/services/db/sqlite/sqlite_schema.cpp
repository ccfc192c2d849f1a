#include "services/db/sqlite/sqlite_schema.h"

#include <algorithm>
#include <cctype>

namespace quorix {

namespace {

std::string upper(std::string_view s) {
    std::string u(s);
    std::transform(u.begin(), u.end(), u.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return u;
}

bool wordChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
}

using Tokens = std::vector<SqlToken>;

// A cursor over tokens with the few moves the grammar needs.
class Reader {
public:
    explicit Reader(const Tokens& tokens, std::size_t begin = 0, std::size_t end = SIZE_MAX)
        : m_t(tokens), m_i(begin), m_end(std::min(end, tokens.size())) {}

    bool atEnd() const { return m_i >= m_end; }
    const SqlToken& peek(std::size_t ahead = 0) const {
        static const SqlToken none;
        return m_i + ahead < m_end ? m_t[m_i + ahead] : none;
    }
    bool accept(const char* keyword) {
        if (!atEnd() && peek().is(keyword)) {
            ++m_i;
            return true;
        }
        return false;
    }
    bool acceptPunct(char c) {
        if (!atEnd() && peek().kind == SqlToken::Punctuation && peek().text[0] == c) {
            ++m_i;
            return true;
        }
        return false;
    }
    const SqlToken& next() { return m_t[m_i++]; }
    std::size_t position() const { return m_i; }
    /// Skips a balanced "( ... )" group starting here.
    bool skipParens() {
        if (!acceptPunct('(')) return false;
        int depth = 1;
        while (!atEnd() && depth > 0) {
            const SqlToken& t = next();
            if (t.kind != SqlToken::Punctuation) continue;
            if (t.text == "(") ++depth;
            if (t.text == ")") --depth;
        }
        return depth == 0;
    }
    /// A name: a bare word, a quoted name or a string literal (SQLite accepts all three).
    std::optional<std::string> name() {
        if (atEnd() || peek().kind == SqlToken::Punctuation) return std::nullopt;
        return next().text;
    }

private:
    const Tokens& m_t;
    std::size_t m_i;
    std::size_t m_end;
};

// "(a, b DESC, ...)" of an index or key: column names and their order.
std::optional<std::vector<std::pair<std::string, bool>>> columnList(Reader& r) {
    if (!r.acceptPunct('(')) return std::nullopt;
    std::vector<std::pair<std::string, bool>> columns;
    for (;;) {
        auto n = r.name();
        if (!n) return std::nullopt;
        if (r.accept("COLLATE") && !r.name()) return std::nullopt;
        bool desc = false;
        if (r.accept("DESC"))
            desc = true;
        else
            r.accept("ASC");
        columns.emplace_back(*n, desc);
        if (r.acceptPunct(')')) return columns;
        if (!r.acceptPunct(',')) return std::nullopt;
    }
}

// "ON CONFLICT x", which may follow key and NOT NULL constraints.
bool skipConflictClause(Reader& r) {
    if (!r.accept("ON")) return true;
    if (!r.accept("CONFLICT")) return false;
    return r.name().has_value();
}

// The part of a foreign key after REFERENCES.
std::optional<RawForeignKey> references(Reader& r, const std::vector<std::string>& from) {
    RawForeignKey fk;
    auto table = r.name();
    if (!table) return std::nullopt;
    fk.table = *table;
    std::vector<std::string> to;
    if (r.peek().kind == SqlToken::Punctuation && r.peek().text == "(") {
        auto cols = columnList(r);
        if (!cols) return std::nullopt;
        for (const auto& c : *cols) to.push_back(c.first);
    }
    if (!to.empty() && to.size() != from.size()) return std::nullopt;
    for (std::size_t i = 0; i < from.size(); ++i)
        fk.columns.emplace_back(from[i], to.empty() ? "" : to[i]);
    for (;;) {
        if (r.accept("ON")) {
            const bool del = r.accept("DELETE");
            if (!del && !r.accept("UPDATE")) return std::nullopt;
            std::string action;
            if (r.accept("SET")) {
                if (r.accept("NULL"))
                    action = "SET NULL";
                else if (r.accept("DEFAULT"))
                    action = "SET DEFAULT";
                else
                    return std::nullopt;
            } else if (r.accept("CASCADE")) {
                action = "CASCADE";
            } else if (r.accept("RESTRICT")) {
                action = "RESTRICT";
            } else if (r.accept("NO") && r.accept("ACTION")) {
                action = "NO ACTION";
            } else {
                return std::nullopt;
            }
            (del ? fk.onDelete : fk.onUpdate) = action;
        } else if (r.accept("MATCH")) {
            if (!r.name()) return std::nullopt;
        } else if (r.accept("NOT")) {
            if (!r.accept("DEFERRABLE")) return std::nullopt;
        } else if (r.accept("DEFERRABLE")) {
            if (r.accept("INITIALLY") && !r.accept("DEFERRED") && !r.accept("IMMEDIATE"))
                return std::nullopt;
        } else {
            return fk;
        }
    }
}

// Where each comma-separated item of the column list starts and ends (token indices).
std::optional<std::vector<std::pair<std::size_t, std::size_t>>> splitItems(const Tokens& t,
                                                                           std::size_t open) {
    std::vector<std::pair<std::size_t, std::size_t>> items;
    int depth = 0;
    std::size_t start = open + 1;
    for (std::size_t i = open; i < t.size(); ++i) {
        if (t[i].kind != SqlToken::Punctuation) continue;
        if (t[i].text == "(") {
            ++depth;
        } else if (t[i].text == ")") {
            if (--depth == 0) {
                items.emplace_back(start, i);
                // Only table options may follow the list; ours are all rowid tables.
                for (std::size_t k = i + 1; k < t.size(); ++k)
                    if (!(t[k].kind == SqlToken::Punctuation && t[k].text == ";"))
                        return std::nullopt;
                return items;
            }
        } else if (t[i].text == "," && depth == 1) {
            items.emplace_back(start, i);
            start = i + 1;
        }
    }
    return std::nullopt;
}

bool isConstraintStart(const SqlToken& t) {
    for (const char* k : {"CONSTRAINT", "PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK", "DEFAULT",
                          "COLLATE", "REFERENCES", "GENERATED", "AS"})
        if (t.is(k)) return true;
    return false;
}

// The declared type as SQLite keeps it: the source text from its first word to its last.
std::string declaredType(const Tokens& t, std::size_t begin, std::size_t end,
                         std::string_view sql) {
    if (begin >= end) return {};
    std::string text(sql.substr(t[begin].begin, t[end - 1].end - t[begin].begin));
    // SQLite spells its standard type names in capitals.
    for (const char* standard : {"ANY", "BLOB", "INT", "INTEGER", "REAL", "TEXT"})
        if (end - begin == 1 && t[begin].is(standard)) return standard;
    return text;
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

std::optional<RawTable> parseTableSchema(const std::string& tableName, std::string_view createTable,
                                         const std::vector<CreatedIndex>& createdIndexes) {
    const Tokens t = tokenize(createTable);
    Reader head(t);
    if (!head.accept("CREATE") || !head.accept("TABLE")) return std::nullopt;
    if (head.accept("IF") && !(head.accept("NOT") && head.accept("EXISTS"))) return std::nullopt;
    if (!head.name()) return std::nullopt;
    if (head.acceptPunct('.') && !head.name()) return std::nullopt;
    if (!(head.peek().kind == SqlToken::Punctuation && head.peek().text == "("))
        return std::nullopt;
    const auto items = splitItems(t, head.position());
    if (!items) return std::nullopt;

    RawTable table;
    std::vector<std::string> pkColumns;  // in key order
    bool pkDesc = false;
    bool pkFromColumn = false;
    // Unique constraints in the order SQLite numbers their automatic indexes; the primary
    // key takes its number where it stands.
    std::vector<std::optional<std::vector<std::pair<std::string, bool>>>> autoIndexes;
    std::size_t pkAutoIndex = SIZE_MAX;

    for (const auto& [begin, end] : *items) {
        Reader r(t, begin, end);
        if (r.atEnd()) return std::nullopt;
        std::string constraintName;
        const SqlToken& first = r.peek();
        const bool tableConstraint = first.is("CONSTRAINT") || first.is("PRIMARY") ||
                                     first.is("UNIQUE") || first.is("CHECK") || first.is("FOREIGN");
        if (tableConstraint) {
            if (r.accept("CONSTRAINT")) {
                auto n = r.name();
                if (!n) return std::nullopt;
                constraintName = *n;
            }
            if (r.accept("PRIMARY")) {
                if (!r.accept("KEY") || !pkColumns.empty()) return std::nullopt;
                auto cols = columnList(r);
                if (!cols || !skipConflictClause(r)) return std::nullopt;
                for (const auto& c : *cols) pkColumns.push_back(c.first);
                pkDesc = cols->size() == 1 && cols->front().second;
                table.primaryKeyName = constraintName;
                pkAutoIndex = autoIndexes.size();
                autoIndexes.push_back(cols);
            } else if (r.accept("UNIQUE")) {
                auto cols = columnList(r);
                if (!cols || !skipConflictClause(r)) return std::nullopt;
                autoIndexes.push_back(cols);
            } else if (r.accept("CHECK")) {
                if (!r.skipParens()) return std::nullopt;
            } else if (r.accept("FOREIGN")) {
                if (!r.accept("KEY")) return std::nullopt;
                auto cols = columnList(r);
                if (!cols || !r.accept("REFERENCES")) return std::nullopt;
                std::vector<std::string> from;
                for (const auto& c : *cols) from.push_back(c.first);
                auto fk = references(r, from);
                if (!fk) return std::nullopt;
                table.foreignKeys.push_back(*fk);
            } else {
                return std::nullopt;
            }
            if (!r.atEnd()) return std::nullopt;
            continue;
        }

        // A column definition: name, type words, constraints.
        RawColumn column;
        auto n = r.name();
        if (!n) return std::nullopt;
        column.name = *n;
        const std::size_t typeBegin = r.position();
        while (!r.atEnd() && !isConstraintStart(r.peek())) {
            if (r.peek().kind == SqlToken::Punctuation) {
                if (!r.skipParens()) return std::nullopt;
            } else {
                r.next();
            }
        }
        column.declared = declaredType(t, typeBegin, r.position(), createTable);
        while (!r.atEnd()) {
            if (r.accept("CONSTRAINT")) {
                auto cn = r.name();
                if (!cn) return std::nullopt;
                constraintName = *cn;
                continue;
            }
            if (r.accept("PRIMARY")) {
                if (!r.accept("KEY") || !pkColumns.empty()) return std::nullopt;
                pkDesc = r.accept("DESC");
                if (!pkDesc) r.accept("ASC");
                if (!skipConflictClause(r)) return std::nullopt;
                if (r.accept("AUTOINCREMENT")) table.autoIncrement = true;
                pkColumns.push_back(column.name);
                pkFromColumn = true;
                table.primaryKeyName = constraintName;
                pkAutoIndex = autoIndexes.size();
                autoIndexes.push_back(
                    std::vector<std::pair<std::string, bool>>{{column.name, pkDesc}});
            } else if (r.accept("NOT")) {
                if (!r.accept("NULL") || !skipConflictClause(r)) return std::nullopt;
                column.notNull = true;
            } else if (r.accept("NULL")) {
                if (!skipConflictClause(r)) return std::nullopt;
            } else if (r.accept("UNIQUE")) {
                if (!skipConflictClause(r)) return std::nullopt;
                autoIndexes.push_back(
                    std::vector<std::pair<std::string, bool>>{{column.name, false}});
            } else if (r.accept("CHECK")) {
                if (!r.skipParens()) return std::nullopt;
            } else if (r.accept("DEFAULT")) {
                if (r.peek().kind == SqlToken::Punctuation && r.peek().text == "(") {
                    if (!r.skipParens()) return std::nullopt;
                } else {
                    if (!r.acceptPunct('-')) r.acceptPunct('+');
                    if (r.atEnd() || r.peek().kind == SqlToken::Punctuation) return std::nullopt;
                    r.next();
                    // A number with a decimal point comes as three tokens.
                    if (r.acceptPunct('.') && !r.atEnd() && r.peek().kind == SqlToken::Word)
                        r.next();
                }
            } else if (r.accept("COLLATE")) {
                if (!r.name()) return std::nullopt;
            } else if (r.accept("REFERENCES")) {
                auto fk = references(r, {column.name});
                if (!fk) return std::nullopt;
                table.foreignKeys.push_back(*fk);
            } else {
                return std::nullopt;  // generated columns and anything else unusual
            }
            constraintName.clear();
        }
        table.columns.push_back(column);
    }

    for (std::size_t k = 0; k < pkColumns.size(); ++k)
        for (auto& c : table.columns)
            if (c.name == pkColumns[k]) c.pk = static_cast<int>(k) + 1;
    if (std::any_of(pkColumns.begin(), pkColumns.end(), [&](const std::string& p) {
            return std::none_of(table.columns.begin(), table.columns.end(),
                                [&](const RawColumn& c) { return c.name == p; });
        }))
        return std::nullopt;

    // An INTEGER key of one column is the rowid itself and has no index of its own.
    bool rowidKey = false;
    if (pkColumns.size() == 1) {
        for (const auto& c : table.columns)
            if (c.name == pkColumns[0] && upper(c.declared) == "INTEGER")
                rowidKey = !(pkFromColumn && pkDesc);
    }
    if (table.autoIncrement && !rowidKey) return std::nullopt;

    int number = 0;
    for (std::size_t k = 0; k < autoIndexes.size(); ++k) {
        if (k == pkAutoIndex && rowidKey) continue;
        RawIndex index;
        index.name = "sqlite_autoindex_" + tableName + "_" + std::to_string(++number);
        index.unique = true;
        index.origin = k == pkAutoIndex ? "pk" : "u";
        index.columns = *autoIndexes[k];
        // SQLite folds a unique constraint that repeats the key, or an earlier one, into it.
        for (const auto& earlier : table.indexes)
            if (earlier.columns == index.columns) return std::nullopt;
        table.indexes.push_back(index);
    }

    for (const auto& created : createdIndexes) {
        const Tokens it = tokenize(created.sql);
        Reader r(it);
        RawIndex index;
        index.origin = "c";
        if (!r.accept("CREATE")) return std::nullopt;
        index.unique = r.accept("UNIQUE");
        if (!r.accept("INDEX")) return std::nullopt;
        if (r.accept("IF") && !(r.accept("NOT") && r.accept("EXISTS"))) return std::nullopt;
        auto name = r.name();
        if (!name || r.acceptPunct('.')) return std::nullopt;
        index.name = *name;
        if (!r.accept("ON") || !r.name()) return std::nullopt;
        auto cols = columnList(r);
        if (!cols || !r.atEnd()) return std::nullopt;  // partial and expression indexes
        index.columns = *cols;
        table.indexes.push_back(index);
    }
    return table;
}

}  // namespace quorix
