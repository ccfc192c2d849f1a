#include <gtest/gtest.h>

#include "fake_main_port.h"
#include "main_window/main_window_core.h"
#include "main_window/window_layout.h"

using namespace quorix;

TEST(WindowLayout, GridWidthAndThresholds) {
    WindowLayout l;
    // The grid follows the tab panel, inside it by its left margin on both sides.
    l = Form_Resize(l, 3240 + 9000, 8000);
    EXPECT_EQ(l.tabWidth, 9000);
    EXPECT_EQ(l.gridWidth, 9000 - 480);
    l = Form_Resize(l, 3240 + 13000, 8000);
    EXPECT_EQ(l.gridWidth, 13000 - 480);
    EXPECT_EQ(l.lineX2, 16240);
    EXPECT_EQ(l.statusButtonLeft, 16240 - 495 - 150);
    EXPECT_EQ(l.statusWidth, 16240 - 495 - 300);
    EXPECT_EQ(l.statusTop, 8000 - 255);
    EXPECT_EQ(l.statusButtonTop, 8000 - 255);
    EXPECT_EQ(l.lineY, 8000 - 255 - 150);
    EXPECT_EQ(l.tabHeight, 8000 - 255 - 300);
    EXPECT_EQ(l.buttonRowTop, l.tabHeight - 150 - 615);
    EXPECT_EQ(l.gridHeight, l.buttonRowTop - 1440 - 150);
    EXPECT_EQ(l.frameHeight, l.tabHeight);
    EXPECT_EQ(l.treeHeight, l.tabHeight - 375);

    // Too low: the status line and the tab panel stay where they were.
    const WindowLayout before = l;
    l = Form_Resize(l, 3240 + 13000, 4335 + 255);
    EXPECT_EQ(l.statusTop, before.statusTop);
    EXPECT_EQ(l.tabHeight, before.tabHeight);
    // Just above the status threshold, but not enough for the tab panel.
    l = Form_Resize(before, 16240, 4335 + 255 + 1);
    EXPECT_EQ(l.statusTop, 4336);
    EXPECT_EQ(l.tabHeight, before.tabHeight);
    l = Form_Resize(before, 16240, 4335 + 255 + 300 + 1);
    EXPECT_EQ(l.tabHeight, 4336);
}

TEST(WindowLayout, TinySizesGiveNoNegativeHeights) {
    WindowLayout l;
    for (int h : {0, 10, 500, 3000}) {
        l = Form_Resize(l, 100, h);
        EXPECT_GT(l.tabHeight, 4335);
        EXPECT_GT(l.gridHeight, 0);
        EXPECT_GT(l.treeHeight, 0);
        EXPECT_EQ(l.statusTop, 6360);
        EXPECT_GE(l.gridWidth, 0);
    }
}

TEST(WindowLayout, StatusPanelToggle) {
    test::FakeMainPort port;
    MainWindowCore core(port);
    core.Form_Resize(12390, 6645, false);
    core.cmdStatus_Click();
    EXPECT_EQ(port.statusCaption, "<<");
    core.cmdStatus_Click();
    EXPECT_EQ(port.statusCaption, ">>");
    // By the panel's change alone, back and forth.
    EXPECT_EQ(port.grown, (std::vector<int>{2500 - 255, 255 - 2500}));
    EXPECT_EQ(core.windowLayout().statusHeight, 255);
    // Minimised: nothing changes.
    const int applied = port.layoutsApplied;
    core.Form_Resize(10, 10, true);
    EXPECT_EQ(port.layoutsApplied, applied);
}

TEST(WindowLayout, TheGrowingWindowStaysOnTheScreen) {
    struct Case {
        int top, bottom, grow, screenTop, screenBottom;
        Growth want;
    };
    const Case cases[] = {
        {100, 700, 170, 0, 1000, {100, 170}},  // room below
        {200, 900, 170, 0, 1000, {130, 170}},  // moves up by what is missing below
        {20, 990, 170, 0, 1000, {0, 30}},      // the whole screen: grows what it can
        {0, 1000, 170, 0, 1000, {0, 0}},       // fills it already
        {300, 1200, 170, 0, 1000, {130, 170}}, // past the screen's end already: up, bottom kept
        {100, 700, -170, 0, 1000, {100, -170}},
    };
    for (const Case& c : cases) {
        const Growth g = growWithinScreen(c.top, c.bottom, c.grow, c.screenTop, c.screenBottom);
        EXPECT_EQ(std::make_pair(g.top, g.grown), std::make_pair(c.want.top, c.want.grown)) << c.top << " " << c.bottom;
    }
}

TEST(WindowLayout, TheSplitterMovesTheTabPanelsLeftEdge) {
    test::FakeMainPort port;
    MainWindowCore core(port);
    core.Form_Resize(12390, 6645, false);
    const WindowLayout design = core.windowLayout();
    EXPECT_EQ(design.frameWidth, 3135);
    EXPECT_EQ(design.tabLeft, 3240);
    // Dropped where it stands: nothing moves.
    core.SplitterMoved(3135);
    EXPECT_EQ(core.windowLayout(), design);
    // Wider catalog: the tab panel starts further right and narrows, and the grid with it.
    core.SplitterMoved(5000);
    EXPECT_EQ(port.layout.frameWidth, 5000);
    EXPECT_EQ(port.layout.tabLeft, 5105);
    EXPECT_EQ(port.layout.tabWidth, 12390 - 5105);
    EXPECT_EQ(port.layout.gridWidth, 12390 - 5105 - 480);
    // Neither pane disappears.
    core.SplitterMoved(-400);
    EXPECT_EQ(port.layout.frameWidth, 1200);
    core.SplitterMoved(20000);
    EXPECT_EQ(port.layout.tabLeft + 1200, 12390);
    // The rules after a resize keep the new edge.
    core.Form_Resize(15000, 8000, false);
    EXPECT_EQ(port.layout.tabWidth, 15000 - port.layout.tabLeft);
}
