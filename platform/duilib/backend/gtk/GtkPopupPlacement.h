#pragma once
// Where a pop-up with an owner goes on a display whose windows cannot place
// themselves (Wayland): the window layer computes the pop-up's screen
// rectangle from the clicked control (the menu below its button, the
// user-information pop-up and the toolbox panel at their offsets), and the
// display is asked to put it at that rectangle's offset from the owner's
// window, as an xdg-popup placement that the compositor moves back onto the
// monitor when it would leave it.
//
// The owner's origin is the window layer's record of it, never one read back
// from the compositor (which tells a Wayland client nothing about where its
// top-level windows are): the offset between two records of the same window
// layer is right even when both records are stale after a drag the
// compositor carried out.
//
// Only plain values, so the decision is tested without a display. Any thread.

#include "platform/duilib/UIDefine.h"

#include <gdk/gdk.h>

namespace DuiLib {

// Whether the window is one the design places at a screen point next to its
// owner: an owned tool window (the menu, the user-information pop-up, the
// toolbox panel and any later pop-up made the same way). Dialogs have an
// owner too, but are centred on it by the desktop through transient-for.
bool IsPlacedAtOwner(DWORD style, DWORD exStyle, bool hasOwner);

// What gdk_window_move_to_rect is given.
struct PopupAnchor {
    GdkRectangle rect{0, 0, 1, 1};  // in the owner's toolkit window's coordinates
    GdkGravity rectAnchor = GDK_GRAVITY_NORTH_WEST;
    GdkGravity windowAnchor = GDK_GRAVITY_NORTH_WEST;
    GdkAnchorHints hints = GdkAnchorHints(0);
    int dx = 0;
    int dy = 0;
};

// The anchor that puts the pop-up's toolkit window (its rectangle `popup`
// widened by its shadow's `popupMargin`) at the same offset from its owner's
// toolkit window (`owner` widened by `ownerMargin`) as the window layer has
// them. `owner` may be empty (a window of no size): its toolkit window is
// one pixel then.
PopupAnchor AnchorAtOwner(const RECT& popup, int popupMargin, const RECT& owner, int ownerMargin);

// The offset between the pop-up's client area and its owner's, from where
// the compositor put the pop-up's toolkit window relative to its owner's
// (`placedX`, `placedY`: what GDK's "moved-to-rect" reports as the final
// rectangle's origin).
POINT ClientOffsetFromPlacement(int placedX, int placedY, int popupMargin, int ownerMargin);

}  // namespace DuiLib
