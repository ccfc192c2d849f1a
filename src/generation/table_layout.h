#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "xml_analysis/definition_table.h"

namespace quorix {

/// One column of the layout: a line that takes part and has a column name. Its children are
/// the columns of the deeper level that follow it; each group of siblings is one table.
struct LayoutColumn {
    std::string name;
    std::string type;                   ///< decimal type code, may be empty
    std::optional<std::string> param;   ///< size, when given
    std::optional<std::string> table;   ///< the table name current at this line
    std::optional<std::string> prop;    ///< "AutoIncrement,true", when given
    std::string typeName;               ///< the type as the definition names it
    std::optional<std::string> source;  ///< where its values are in a row (see LineInfo)
    bool sourceUnknown = false;         ///< from a document, but where is not known
    int definitionRow = 0;              ///< the line of the definition, from 0
    int level = 0;
    /// Begins a group of its own among its siblings: a table that begins with the key of the
    /// table above (the line it hangs under is that table's first), whatever line it follows.
    bool newGroup = false;
    /// Named after an attribute's tag ("@year"): the name loses its "@" where no other column
    /// of its table is called so.
    bool attributeName = false;
    LayoutColumn* parent = nullptr;
    std::vector<std::unique_ptr<LayoutColumn>> children;

    bool isRoot() const { return parent == nullptr; }
};

/// The key mark of a line whose group begins with the key of the table above it.
inline constexpr const char* kParentKeyMark = "親";

/// The groups hanging under @p column (or the root): runs of its children, each one table. A
/// run ends where a child begins a group of its own.
std::vector<std::span<const std::unique_ptr<LayoutColumn>>> groupsOf(const LayoutColumn& column);

/// The layout of one create command: a root without level whose child groups are tables.
struct LayoutDocument {
    LayoutColumn root;
};

/// How the first pass ended.
struct LayoutResult {
    enum class Outcome { Done, Stop, Failure };
    Outcome outcome = Outcome::Done;
    /// The message of a validation stop, or the description of a failure.
    std::string message;
    std::unique_ptr<LayoutDocument> layout;
};

/// Walks the definition from its first line to its last and builds the layout. A validation
/// stop leaves the cursor on the offending line; the definition is never changed.
LayoutResult buildTableLayout(DefinitionTable& table, const std::string& dbType,
                              const std::string& indentUnit);

}  // namespace quorix
