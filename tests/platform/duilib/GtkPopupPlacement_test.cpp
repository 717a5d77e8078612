// Where a pop-up with an owner is placed on a display whose windows cannot
// place themselves (no display needed).
#include "platform/duilib/backend/gtk/GtkPopupPlacement.h"

#include <gtest/gtest.h>

namespace {

using namespace DuiLib;

TEST(PopupAnchorTest, OnlyOwnedToolWindowsArePlacedAtTheirOwner) {
    struct Case {
        const char* what;
        DWORD style, exStyle;
        bool owner, placed;
    };
    const Case cases[] = {
        {"menu and pop-ups", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, true, true},
        {"tool window without WS_POPUP", 0, WS_EX_TOOLWINDOW, true, true},
        {"pop-up without an owner", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST, false, false},
        {"dialog (centred by transient-for)", UI_WNDSTYLE_DIALOG, 0, true, false},
        {"message box style", 0x96C80000, 0, true, false},
        {"child window", WS_CHILD, WS_EX_TOOLWINDOW, true, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsPlacedAtOwner(c.style, c.exStyle, c.owner), c.placed) << c.what;
}

TEST(PopupAnchorTest, TheAnchorKeepsTheWindowLayersOffsetFromTheOwnerWhereverItLies) {
    struct Case {
        const char* what;
        RECT popup;
        int popupMargin;
        RECT owner;
        int ownerMargin;
        GdkRectangle rect;  // the anchor
        int dx, dy;
    };
    const Case cases[] = {
        {"inside the owner", {700, 60, 960, 280}, 0, {100, 20, 1100, 720}, 0, {600, 40, 1, 1}, 0, 0},
        {"left of, above", {50, 5, 310, 225}, 0, {100, 20, 1100, 720}, 0, {0, 0, 1, 1}, -50, -15},
        {"right of, below", {1150, 800, 1250, 900}, 0, {100, 20, 1100, 720}, 0, {999, 699, 1, 1}, 51, 81},
        // Both shadows: the toolkit windows are larger than the records.
        {"shadows", {700, 60, 960, 280}, 18, {100, 20, 1100, 720}, 10, {592, 32, 1, 1}, 0, 0},
        {"owner of no size", {10, 10, 50, 50}, 0, {0, 0, 0, 0}, 0, {0, 0, 1, 1}, 10, 10},
        {"negative screen", {-300, -100, -100, 0}, 0, {-400, -200, 0, 0}, 0, {100, 100, 1, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PopupAnchor anchor = AnchorAtOwner(c.popup, c.popupMargin, c.owner, c.ownerMargin);
        EXPECT_EQ(anchor.rect.x, c.rect.x);
        EXPECT_EQ(anchor.rect.y, c.rect.y);
        EXPECT_EQ(anchor.rect.width, 1);
        EXPECT_EQ(anchor.rect.height, 1);
        EXPECT_EQ(anchor.dx, c.dx);
        EXPECT_EQ(anchor.dy, c.dy);
        // The pop-up's corner at the point, slid (never flipped) back onto the monitor.
        EXPECT_EQ(anchor.rectAnchor, GDK_GRAVITY_NORTH_WEST);
        EXPECT_EQ(anchor.windowAnchor, GDK_GRAVITY_NORTH_WEST);
        EXPECT_EQ(anchor.hints, GdkAnchorHints(GDK_ANCHOR_SLIDE_X | GDK_ANCHOR_SLIDE_Y));
        // Where the compositor puts it unconstrained is the window layer's offset again.
        const POINT offset = ClientOffsetFromPlacement(anchor.rect.x + anchor.dx, anchor.rect.y + anchor.dy,
                                                       c.popupMargin, c.ownerMargin);
        EXPECT_EQ(offset.x, c.popup.left - c.owner.left);
        EXPECT_EQ(offset.y, c.popup.top - c.owner.top);
    }
}

}  // namespace
