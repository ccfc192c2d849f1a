#pragma once

#include "xml_analysis/grid_geometry.h"

namespace quorix {

/// The left coordinate that hides an editor.
inline constexpr int kHiddenLeft = -10000;

/// The grid as its events see it, in twips.
struct GridState {
    GridGeometry geometry;
    int currentRowTop = 0;   ///< top of the current row, relative to the grid
    int currentColumn = -1;  ///< field index of the current cell
    bool currentCellVisible = false;
    bool visible = true;
};

/// The two overlay editors' rectangles.
struct CellEditors {
    TwipsRect generateButton;
    TwipsRect typeChooser;
    bool operator==(const CellEditors&) const = default;
};

/// Which control gets the focus after activating.
enum class EditorFocus { GenerateButton, TypeChooser, Grid, None };

struct ActivationResult {
    CellEditors editors;
    EditorFocus focus = EditorFocus::None;
};

/// Where the editors go when the current cell changes: over the current cell of the "生成" or
/// "型" column, else both hidden.
ActivationResult activateCellEditor(const GridState& grid, CellEditors editors);

/// Moves both editors over the current line; the button is hidden when its column is
/// scrolled out and narrowed at the grid's right edge. Unchanged when the cell is not visible.
CellEditors placeCellEditors(const GridState& grid, CellEditors editors);

/// Both editors moved to kHiddenLeft.
CellEditors hideCellEditors(CellEditors editors);

}  // namespace quorix
