// The keyboard side of the paint manager: the Tab order, whether the focus
// came from a key (which decides the focus indicator), and the hot look the
// keys move in a menu. All of it runs on the UI thread.
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManagerState.h"
#include "platform/duilib/UIRender.h"

#include <algorithm>

namespace DuiLib {
namespace {

// How light an opaque colour looks (0 black .. 255 white), by the weights
// of the eye's sensitivity.
int Lightness(DWORD argb) {
    const int r = static_cast<int>((argb >> 16) & 0xFF);
    const int g = static_cast<int>((argb >> 8) & 0xFF);
    const int b = static_cast<int>(argb & 0xFF);
    return (r * 299 + g * 587 + b * 114) / 1000;
}

// The colour the control is seen on: its own background in its state, else
// the nearest parent's; a window shows white where the skin paints nothing.
DWORD BackgroundOf(const CControlUI* control) {
    for (const CControlUI* c = control; c != nullptr; c = c->GetParent()) {
        const DWORD color = c->GetStateBkColor(c->GetDrawState());
        if ((color & 0xFF000000) != 0)
            return color;
    }
    return 0xFFFFFFFF;
}

}  // namespace

bool CPaintManagerUI::IsTabStop(const CControlUI* control) {
    if (control == nullptr || !control->IsKeyboardEnabled() || !control->IsInSight())
        return false;
    // A control inside a disabled container is out of reach.
    for (const CControlUI* c = control; c != nullptr; c = c->GetParent()) {
        if (!c->IsEnabled())
            return false;
    }
    return true;
}

bool CPaintManagerUI::MoveFocus(bool forward) {
    if (m_pRoot == nullptr)
        return false;
    std::vector<CControlUI*> order;
    m_pRoot->ForEach([&](CControlUI* c) { order.push_back(c); });
    if (!forward)
        std::reverse(order.begin(), order.end());
    // From the focused control's place in the layout, even when it stopped
    // being a stop (a button disabled while it had the focus).
    const auto at = std::find(order.begin(), order.end(), m_pFocus);
    const std::size_t start = at == order.end() ? 0 : static_cast<std::size_t>(at - order.begin()) + 1;
    for (std::size_t i = 0; i < order.size(); ++i) {
        CControlUI* candidate = order[(start + i) % order.size()];
        if (IsTabStop(candidate)) {
            SetFocusByKeyboard(candidate);
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::SetFocusByKeyboard(CControlUI* control) {
    SetFocusByKeyboardState(true);
    SetFocus(control);
}

bool CPaintManagerUI::IsFocusByKeyboard() const {
    return m_messages->focusByKeyboard;
}

void CPaintManagerUI::SetFocusByKeyboardState(bool byKeyboard) {
    if (m_messages->focusByKeyboard == byKeyboard)
        return;
    m_messages->focusByKeyboard = byKeyboard;
    // The indicator comes or goes on the focused control: its rectangle is
    // the damage.
    if (m_pFocus != nullptr)
        ControlChanged(m_pFocus, ControlChange::State);
}

std::optional<TFocusIndicator> CPaintManagerUI::GetFocusIndicator() const {
    CControlUI* focus = m_pFocus;
    if (!m_messages->focusByKeyboard || focus == nullptr || !focus->IsInSight())
        return std::nullopt;
    // Drawn inside what the control shows: its parents clip it, and a ring
    // outside its rectangle would be cut at the window's edge.
    const RECT rect = focus->GetShownRect();
    TFocusIndicator indicator;
    indicator.width = std::max(1, m_pDPI->Scale(2));
    // A ring of the width away from the edge: the control's own background
    // frames it, so a ring chosen against that background shows even where
    // the control's surroundings have the ring's colour. A control too small
    // for that takes the ring at its edge.
    const long inset = indicator.width;
    indicator.rect = rect;
    if (rect.Width() > 6 * inset && rect.Height() > 6 * inset)
        indicator.rect = RECT{rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset};
    if (std::optional<DWORD> skin = ParseColor(focus->GetAttribute("focusbordercolor"))) {
        indicator.color = (*skin & 0xFF000000) == 0 ? *skin | 0xFF000000 : *skin;  // no alpha: opaque
    } else {
        indicator.color = Lightness(BackgroundOf(focus)) > 128 ? kFocusOnLight : kFocusOnDark;
    }
    indicator.contrast = Lightness(indicator.color) > 128 ? kFocusOnLight : kFocusOnDark;
    return indicator;
}

void CPaintManagerUI::SetHotByKeyboard(CControlUI* control) {
    SetHover(control, POINT{-1, -1});
}

}  // namespace DuiLib
