#include "definition_edit/cell_editors.h"

namespace quorix {

namespace {
constexpr int kGenerateColumn = 1;
constexpr int kTypeColumn = 6;

int columnLeft(const GridState& g, int column) {
    return column < static_cast<int>(g.geometry.columnLefts.size()) ? g.geometry.columnLefts[column]
                                                                    : 0;
}
}  // namespace

CellEditors hideCellEditors(CellEditors editors) {
    editors.generateButton.left = kHiddenLeft;
    editors.typeChooser.left = kHiddenLeft;
    return editors;
}

ActivationResult activateCellEditor(const GridState& grid, CellEditors editors) {
    const GridGeometry& g = grid.geometry;
    if (grid.currentCellVisible && grid.currentColumn == kGenerateColumn) {
        editors.generateButton.left = g.left + columnLeft(grid, kGenerateColumn) + 11;
        editors.generateButton.top = g.top + grid.currentRowTop;
        return {editors, EditorFocus::GenerateButton};
    }
    if (grid.currentCellVisible && grid.currentColumn == kTypeColumn) {
        editors.typeChooser.left = g.left + columnLeft(grid, kTypeColumn) + 11;
        editors.typeChooser.top = g.top + grid.currentRowTop + 11;
        return {editors, EditorFocus::TypeChooser};
    }
    return {hideCellEditors(editors), grid.visible ? EditorFocus::Grid : EditorFocus::None};
}

CellEditors placeCellEditors(const GridState& grid, CellEditors editors) {
    const GridGeometry& g = grid.geometry;
    const int right = g.left + g.width;
    if (!grid.currentCellVisible) return editors;
    TwipsRect& button = editors.generateButton;
    const int genLeft = columnLeft(grid, kGenerateColumn);
    button.left = g.left + genLeft + 11;
    button.top = g.top + grid.currentRowTop;
    if (genLeft == 0 || button.left > right)
        button.left = kHiddenLeft;
    else if (button.left + button.width > right)
        button.width = right - button.left;
    editors.typeChooser.left = g.left + columnLeft(grid, kTypeColumn) + 11;
    editors.typeChooser.top = g.top + grid.currentRowTop + 11;
    return editors;
}

}  // namespace quorix
