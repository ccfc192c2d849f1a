#include "main_window/window_layout.h"

namespace quorix {

WindowLayout Form_Resize(WindowLayout l, int W, int H) {
    const int M = kLayoutMargin;
    l.tabWidth = W - l.tabLeft;
    // The grid stays inside its page, as far from the right edge as from the left, so that its
    // vertical scroll bar is always seen.
    l.gridWidth = l.tabWidth - 2 * l.gridLeft > 0 ? l.tabWidth - 2 * l.gridLeft : 0;
    l.lineX2 = W;
    l.statusButtonLeft = W - l.statusButtonWidth - M;
    l.statusWidth = l.statusButtonLeft - M;
    if (H - l.statusHeight > kMinimumLayoutHeight)
        l.statusTop = l.statusButtonTop = H - l.statusHeight;
    l.lineY = l.statusTop - M;
    if ((l.lineY - M) - l.tabTop > kMinimumLayoutHeight) l.tabHeight = (l.lineY - M) - l.tabTop;
    l.buttonRowTop = l.tabHeight + l.tabTop - M - l.createHeight;
    l.gridHeight = l.buttonRowTop - l.gridTop - M;
    l.frameHeight = l.tabHeight;
    l.treeHeight = l.frameHeight - 375;
    return l;
}

}  // namespace quorix
