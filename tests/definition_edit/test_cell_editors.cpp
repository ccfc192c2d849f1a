#include <gtest/gtest.h>

#include "definition_edit/cell_editors.h"

using namespace quorix;

namespace {

GridState grid() {
    GridState s;
    s.geometry.left = 240;
    s.geometry.top = 1440;
    s.geometry.width = 8535;
    s.geometry.columnLefts = {0, 225, 0, 0, 625, 2125, 3625, 4925, 5725};
    s.geometry.columnWidths = {0, 400, 0, 0, 1500, 1500, 1300, 800, 1500};
    s.currentRowTop = 600;
    s.currentColumn = 5;
    s.currentCellVisible = true;
    return s;
}

CellEditors editors() {
    return {{0, 0, 378, 300}, {0, 0, 1278, 330}};
}

}  // namespace

TEST(CellEditors, PlacedOverTheCurrentLine) {
    const CellEditors e = placeCellEditors(grid(), editors());
    EXPECT_EQ(e.generateButton, (TwipsRect{240 + 225 + 11, 1440 + 600, 378, 300}));
    EXPECT_EQ(e.typeChooser, (TwipsRect{240 + 3625 + 11, 1440 + 600 + 11, 1278, 330}));
}

TEST(CellEditors, ScrolledOutHiddenAndNarrowedAtTheRightEdge) {
    GridState g = grid();
    g.currentCellVisible = false;
    EXPECT_EQ(placeCellEditors(g, editors()), editors());

    g = grid();
    g.geometry.columnLefts[1] = 0;  // the "生成" column scrolled out to the left
    CellEditors e = placeCellEditors(g, editors());
    EXPECT_EQ(e.generateButton.left, kHiddenLeft);
    EXPECT_EQ(e.typeChooser.left, 240 + 3625 + 11);

    g = grid();
    g.geometry.columnLefts[1] = 8400;  // reaches past the grid's right edge
    e = placeCellEditors(g, editors());
    EXPECT_EQ(e.generateButton.left, 240 + 8400 + 11);
    EXPECT_EQ(e.generateButton.width, 240 + 8535 - (240 + 8400 + 11));
    // The narrowed width stays on later placements.
    g = grid();
    e = placeCellEditors(g, e);
    EXPECT_EQ(e.generateButton.width, 8535 - 8400 - 11);

    g.geometry.columnLefts[1] = 8600;
    EXPECT_EQ(placeCellEditors(g, editors()).generateButton.left, kHiddenLeft);
}

TEST(CellEditors, ActivationFollowsTheCurrentColumn) {
    GridState g = grid();
    g.currentColumn = 1;
    ActivationResult r = activateCellEditor(g, editors());
    EXPECT_EQ(r.focus, EditorFocus::GenerateButton);
    EXPECT_EQ(r.editors.generateButton.left, 240 + 225 + 11);
    EXPECT_EQ(r.editors.generateButton.top, 1440 + 600);

    g.currentColumn = 6;
    r = activateCellEditor(g, editors());
    EXPECT_EQ(r.focus, EditorFocus::TypeChooser);
    EXPECT_EQ(r.editors.typeChooser.top, 1440 + 611);

    g.currentColumn = 4;
    r = activateCellEditor(g, editors());
    EXPECT_EQ(r.focus, EditorFocus::Grid);
    EXPECT_EQ(r.editors, hideCellEditors(editors()));
    g.visible = false;
    EXPECT_EQ(activateCellEditor(g, editors()).focus, EditorFocus::None);
}
