#pragma once

#include <memory>
#include <string>
#include <variant>

#include "xml_analysis/definition_table.h"

namespace quorix {

/// What a definition was made with, kept beside its lines.
struct DefinitionContext {
    std::string rowset = "ROWSET";
    std::string row = "ROW";
    std::string dbType = "access";
};

/// A definition read from a file.
struct DefinitionFile {
    std::unique_ptr<DefinitionTable> table;
    DefinitionContext context;
};

/// The largest definition file that is read.
inline constexpr std::size_t kDefinitionFileLimit = std::size_t(256) << 20;

/// The version this program writes; it reads this one and every older one.
inline constexpr int kDefinitionFileVersion = 4;  ///< 4: attribute lines, "親" keys

/// The definition as the text of a definition file (UTF-8, one line per line of the
/// definition, tab-separated, nulls kept apart from empty texts). The format:
///   "#quorix-definition" TAB version
///   "#rowset" TAB tag, "#row" TAB tag, "#db-type" TAB key
///   the nine field names, tab-separated
///   one line per definition line: nine values; "\N" is null, "\\", "\t", "\n", "\r" escape,
///   and "\#" a "#" that begins a value
///   (version 2) after them, "#line-info" TAB line number TAB document rows TAB the type and
///   size the program gave the line TAB the evidence of its values (see evidenceFields).
///   (version 3) "#line-source" TAB line number TAB the element path the line's values come
///   from. Lines of older files get theirs from their tag names where no two lines would
///   share one.
std::string formatDefinition(const DefinitionTable& table, const DefinitionContext& context);

/// Reads the text of a definition file; on failure a Japanese message naming the line.
std::variant<DefinitionFile, std::string> parseDefinition(const std::string& text);

/// Reads a definition file; on failure a Japanese message naming the file and the line.
std::variant<DefinitionFile, std::string> loadDefinitionFile(const std::string& path);

/// Writes the definition to @p path through a temporary file renamed over it, so that a
/// failed save leaves an existing file as it was. Returns an empty text on success, else a
/// Japanese message.
std::string saveDefinitionFile(const std::string& path, const DefinitionTable& table,
                               const DefinitionContext& context);

/// Writes @p text to @p path through a temporary file renamed over it: the file is either
/// the old one or the new one, never half written. Returns an empty text on success, else
/// the system's reason.
std::string writeFileAtomically(const std::string& path, const std::string& text);

}  // namespace quorix
