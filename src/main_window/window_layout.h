#pragma once

#include <algorithm>

namespace quorix {

/// Where the main window's resizable controls stand, in twips. Tab panel, frame and status
/// line are in the client area; the grid and the button row in the tab panel.
struct WindowLayout {
    int frameWidth = 3135;  ///< the catalog pane; the splitter stands between it and the tabs
    int tabLeft = 3240, tabTop = 0, tabWidth = 9015, tabHeight = 5655;
    int gridLeft = 240, gridTop = 1440, gridWidth = 8535, gridHeight = 3255;
    int buttonRowTop = 4800;  ///< top of cmdDBConnect and cmdCreate
    int createHeight = 615;
    int frameHeight = 5775;
    int treeHeight = 5775 - 375;
    int lineX2 = 12390, lineY = 6360 - 150;
    int statusTop = 6360, statusWidth = 9615, statusHeight = 255;
    int statusButtonLeft = 9720, statusButtonTop = 6360, statusButtonWidth = 495;

    bool operator==(const WindowLayout&) const = default;
};

inline constexpr int kLayoutMargin = 150;
inline constexpr int kSplitterWidth = 105;  ///< between the catalog pane and the tab panel
inline constexpr int kMinimumLayoutHeight = 4335;
inline constexpr int kStatusCollapsedHeight = 255;
inline constexpr int kStatusExpandedHeight = 2500;

/// The layout rules, applied to @p layout for a window @p outerWidth wide whose client area
/// is @p innerHeight high. Sizes below the thresholds leave the controls where they were.
WindowLayout Form_Resize(WindowLayout layout, int outerWidth, int innerHeight);

/// A window from @p top to @p bottom growing by @p grow on a screen whose free area runs from
/// @p screenTop to @p screenBottom (any one unit): it moves up where the room below is too
/// small, and grows less where the whole screen is: its new top and how much it grew.
struct Growth {
    int top;
    int grown;
};
inline Growth growWithinScreen(int top, int bottom, int grow, int screenTop, int screenBottom) {
    if (grow <= 0) return {top, grow};
    const int below = std::max(0, screenBottom - bottom);
    const int up = std::min(std::max(0, grow - below), std::max(0, top - screenTop));
    return {top - up, std::min(grow, below + up)};
}

}  // namespace quorix
