#include "platform/duilib/backend/gtk/GtkPopupPlacement.h"

#include <algorithm>

namespace DuiLib {

bool IsPlacedAtOwner(DWORD style, DWORD exStyle, bool hasOwner) {
    return hasOwner && (exStyle & WS_EX_TOOLWINDOW) != 0 && (style & WS_CHILD) == 0;
}

PopupAnchor AnchorAtOwner(const RECT& popup, int popupMargin, const RECT& owner, int ownerMargin) {
    // Both toolkit windows' origins, as the window layer has them.
    const long popupX = popup.left - popupMargin;
    const long popupY = popup.top - popupMargin;
    const long ownerX = owner.left - ownerMargin;
    const long ownerY = owner.top - ownerMargin;
    const long ownerWidth = std::max<long>(1, owner.Width()) + 2L * ownerMargin;
    const long ownerHeight = std::max<long>(1, owner.Height()) + 2L * ownerMargin;
    const long wantedX = popupX - ownerX;
    const long wantedY = popupY - ownerY;
    PopupAnchor anchor;
    // The anchor is a pixel of the owner's window (GDK moves one that lies
    // left of or above it back to its edge, and the protocol wants it on
    // the parent); what lies beyond is the offset.
    anchor.rect.x = static_cast<int>(std::clamp(wantedX, 0L, ownerWidth - 1));
    anchor.rect.y = static_cast<int>(std::clamp(wantedY, 0L, ownerHeight - 1));
    anchor.dx = static_cast<int>(wantedX - anchor.rect.x);
    anchor.dy = static_cast<int>(wantedY - anchor.rect.y);
    // The pop-up's top-left corner at the point. Leaving the monitor, it
    // slides back onto it, as the window layer pushes a pop-up back from the
    // work area's edges; a flip would put it on the other side of the
    // point, where it never is on X11.
    anchor.hints = GdkAnchorHints(GDK_ANCHOR_SLIDE_X | GDK_ANCHOR_SLIDE_Y);
    return anchor;
}

POINT ClientOffsetFromPlacement(int placedX, int placedY, int popupMargin, int ownerMargin) {
    return POINT{static_cast<long>(placedX) + popupMargin - ownerMargin,
                 static_cast<long>(placedY) + popupMargin - ownerMargin};
}

}  // namespace DuiLib
