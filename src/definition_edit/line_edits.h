#pragma once

#include "definition_edit/edit_host.h"

namespace quorix {

// Commands on the current line of the definition table. Each acts on the current line alone;
// with no current line they change nothing.

/// Exchanges the current line with the one above; the cursor follows it. "キー" stays put.
void MoveLineUp(DefinitionTable& table, EditHost& host);
/// Exchanges the current line with the one below; the cursor follows it.
void MoveLineDown(DefinitionTable& table, EditHost& host);
/// Removes one indentation step from the tag name and lowers the level, within the limits.
void ShiftLineLeft(DefinitionTable& table, EditHost& host);
/// Adds one indentation step and raises the level. A tag name that would no longer fit is
/// refused with a message and kept whole; the level changes all the same.
void ShiftLineRight(DefinitionTable& table, EditHost& host);

/// Adds a user line just before the current line.
void InsertLine(DefinitionTable& table, EditHost& host);
/// Adds a user line just after the current line (at position 1 without one).
void AppendLine(DefinitionTable& table, EditHost& host);
/// Deletes the current line if it is a user line; the table is never left empty.
void DeleteLine(DefinitionTable& table, EditHost& host);

/// Switches the current line's flag between "○" and "×", or refuses.
void ToggleGenerateFlag(DefinitionTable& table, EditHost& host);
/// Writes the type chooser's text into "型" of the current line.
void SetLineType(DefinitionTable& table, EditHost& host);

}  // namespace quorix
