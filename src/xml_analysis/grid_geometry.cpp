#include "xml_analysis/grid_geometry.h"

namespace quorix {

namespace {
constexpr int kGenerateColumn = 1;
constexpr int kTypeColumn = 6;
}  // namespace

InitialEditorLayout initialEditorLayout(const GridGeometry& grid, int chooserHeight) {
    InitialEditorLayout layout;
    layout.rowHeight = chooserHeight - 22;
    const int genWidth =
        grid.columnWidths.size() > kGenerateColumn ? grid.columnWidths[kGenerateColumn] : 0;
    const int typeWidth =
        grid.columnWidths.size() > kTypeColumn ? grid.columnWidths[kTypeColumn] : 0;
    const int genLeft =
        grid.columnLefts.size() > kGenerateColumn ? grid.columnLefts[kGenerateColumn] : 0;
    const int typeLeft = grid.columnLefts.size() > kTypeColumn ? grid.columnLefts[kTypeColumn] : 0;
    layout.generateButton = {grid.left + genLeft + 11, grid.top + grid.firstRowTop + 11,
                             genWidth - 22, layout.rowHeight + 11};
    layout.typeChooser = {grid.left + typeLeft + 11, grid.top + grid.firstRowTop + 11,
                          typeWidth - 22, chooserHeight};
    return layout;
}

}  // namespace quorix
