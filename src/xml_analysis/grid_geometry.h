#pragma once

#include <vector>

namespace quorix {

/// Where the definition grid stands and how it is divided, in twips, as the grid reports it.
struct GridGeometry {
    int left = 0;  ///< grid's left edge in its parent
    int top = 0;   ///< grid's top edge in its parent
    int width = 0;
    int height = 0;
    std::vector<int> columnLefts;   ///< per field, relative to the grid (scrolled)
    std::vector<int> columnWidths;  ///< per field
    int firstRowTop = 0;            ///< top of visible row 0, relative to the grid
    int rowHeight = 0;
};

/// A rectangle in twips.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TwipsRect&) const = default;
};

/// Sizes and places of the two overlay editors over the first visible row.
struct InitialEditorLayout {
    int rowHeight = 0;
    TwipsRect generateButton;
    TwipsRect typeChooser;
};

/// The grid's row height and the two editors' rectangles that InitDefinitionTable sets:
/// row height = chooser height - 22; button (生成 width - 22) x (row height + 11); chooser width
/// = 型 width - 22; both 11 twips inside the cell of visible row 0.
InitialEditorLayout initialEditorLayout(const GridGeometry& grid, int chooserHeight);

}  // namespace quorix
