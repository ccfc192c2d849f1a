#pragma once

#include <string>

#include "services/db/engine/database_engine.h"

namespace quorix {

/// How a bulk path writes a row as a line of text: tabs between fields, \N for null,
/// backslash escapes; the servers differ only in their truth values and in NUL.
struct TextRowFormat {
    char yes, no;            ///< a true and a false value
    bool escapeNul = false;  ///< NUL written as \0 (else kept, for the server to refuse)
};

/// Appends @p row as one line (with its line feed) to @p out.
inline void appendTextRow(std::string& out, const CellValue* row, std::size_t count,
                          const TextRowFormat& format) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out += '\t';
        const CellValue& v = row[i];
        if (std::holds_alternative<std::monostate>(v)) {
            out += "\\N";
        } else if (const auto* n = std::get_if<long long>(&v)) {
            out += std::to_string(*n);
        } else if (const auto* b = std::get_if<bool>(&v)) {
            out += *b ? format.yes : format.no;
        } else {
            for (char ch : std::get<std::string>(v)) {
                switch (ch) {
                    case '\\':
                        out += "\\\\";
                        break;
                    case '\t':
                        out += "\\t";
                        break;
                    case '\n':
                        out += "\\n";
                        break;
                    case '\r':
                        out += "\\r";
                        break;
                    case '\0':
                        if (format.escapeNul) {
                            out += "\\0";
                            break;
                        }
                        [[fallthrough]];
                    default:
                        out += ch;
                }
            }
        }
    }
    out += '\n';
}

}  // namespace quorix
