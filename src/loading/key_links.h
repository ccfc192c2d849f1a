#pragma once

#include <string>
#include <vector>

#include "xml_analysis/definition_table.h"

namespace quorix {

/// What linkNestedKeys did.
struct KeyLinkResult {
    int linked = 0;                     ///< nested groups that now begin with their parent's key
    int generated = 0;                  ///< number columns made for tables that have keyed groups
    std::vector<std::string> unlinked;  ///< what could not be done, one line each
};

/// Makes every nested group begin with its parent table's key, at any depth: a wrapper line
/// (an element that holds the rows of the lines below it, so that its value links nothing) is
/// set to "×" and the first line of its group marked "親"; a table with keyed groups below it
/// gets a generated number column as its first line (the document promises no unique value),
/// which the load fills in document order and copies into the nested rows. The attributes of
/// an element without children of its own move beside it, as columns of its table. Lines keep
/// their sources, types and names.
KeyLinkResult linkNestedKeys(DefinitionTable& table, const std::string& dbType,
                             const std::string& indentUnit = "･･");

/// Puts a table name on the first line of every group that has none: the name of the element
/// that holds its rows (the row tag for the top table), with "_" for what a name cannot hold,
/// cut to the field's 20 bytes and made unique. Returns how many were named.
int nameTables(DefinitionTable& table);

/// "N 個の入れ子の表を親の表のキーで結びました。" and the number columns made.
std::string keyLinkReport(const KeyLinkResult& result);

}  // namespace quorix
