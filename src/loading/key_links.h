#pragma once

#include <string>
#include <vector>

#include "xml_analysis/definition_table.h"

namespace quorix {

/// What linkNestedKeys did.
struct KeyLinkResult {
    int linked = 0;                     ///< nested groups that now begin with their parent's key
    std::vector<std::string> unlinked;  ///< why a group could not be reshaped, one per group
};

/// A nested group that hangs under a wrapper line (an element that holds the group's rows, so
/// its copied key links nothing) is moved under the first line of the group above, and the
/// wrapper line is set to "×": the nested table then begins with its parent's key. Groups are
/// taken from the outermost in; lines keep their sources, types and names.
KeyLinkResult linkNestedKeys(DefinitionTable& table);

}  // namespace quorix
