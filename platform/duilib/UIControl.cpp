#include "platform/duilib/UIControl.h"

#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

#include <algorithm>

namespace DuiLib {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() {
    // The manager keeps names and focus by pointer: it must forget this one.
    if (m_pManager != nullptr)
        m_pManager->ReapControl(this);
}

std::string_view CControlUI::GetClass() const {
    return "Control";
}

void* CControlUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CControlUI> ? this : nullptr;
}

void CControlUI::SetName(std::string_view name) {
    if (name == m_sName)
        return;
    const std::string oldName = m_sName;
    m_sName = name;
    if (m_pManager != nullptr)
        m_pManager->NameChanged(this, oldName);
}

void CControlUI::SetText(std::string_view text) {
    if (text == m_sText)
        return;
    m_sText = text;
    Changed(ControlChange::Text);
    // A control sized by its text (a label without a height, or with
    // "autocalcwidth") takes another size: the layout runs again.
    NeedParentUpdate();
}

bool CControlUI::IsVisible() const {
    for (const CControlUI* control = this; control != nullptr; control = control->m_pParent) {
        if (!control->m_bVisible)
            return false;
    }
    return true;
}

RECT CControlUI::GetShownRect() const {
    RECT rect = m_rcItem;
    for (const CControlUI* parent = m_pParent; parent != nullptr; parent = parent->m_pParent) {
        const RECT& clip = parent->m_rcItem;
        rect = RECT{std::max(rect.left, clip.left), std::max(rect.top, clip.top),
                    std::min(rect.right, clip.right), std::min(rect.bottom, clip.bottom)};
    }
    return rect;
}

bool CControlUI::IsInSight() const {
    const RECT shown = GetShownRect();
    return IsVisible() && shown.Width() > 0 && shown.Height() > 0;
}

void CControlUI::SetVisible(bool visible) {
    if (visible == m_bVisible)
        return;
    m_bVisible = visible;
    // A hidden control cannot keep the keyboard.
    if (!visible && m_pManager != nullptr) {
        CControlUI* focus = m_pManager->GetFocus();
        for (CControlUI* c = focus; c != nullptr; c = c->m_pParent) {
            if (c == this) {
                m_pManager->SetFocus(nullptr);
                break;
            }
        }
    }
    Changed(ControlChange::Visible);
    NeedParentUpdate();
}

void CControlUI::SetEnabled(bool enabled) {
    if (enabled == m_bEnabled)
        return;
    m_bEnabled = enabled;
    Changed(ControlChange::Enabled);
}

bool CControlUI::IsFocused() const {
    return m_pManager != nullptr && m_pManager->GetFocus() == this;
}

void CControlUI::SetFocus() {
    if (m_pManager != nullptr)
        m_pManager->SetFocus(this);
}

void CControlUI::SetPos(RECT rc, bool /*needInvalidate*/) {
    if (rc.right < rc.left)
        rc.right = rc.left;
    if (rc.bottom < rc.top)
        rc.bottom = rc.top;
    if (rc == m_rcItem)
        return;
    m_rcItem = rc;
    Changed(ControlChange::Position);
}

void CControlUI::SetFixedWidth(int cx) {
    if (cx < 0 || cx == m_cxyFixed.cx)
        return;
    m_cxyFixed.cx = cx;
    NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy) {
    if (cy < 0 || cy == m_cxyFixed.cy)
        return;
    m_cxyFixed.cy = cy;
    NeedParentUpdate();
}

void CControlUI::SetPadding(RECT rc) {
    m_rcPadding = rc;
    NeedParentUpdate();
}

void CControlUI::SetFloat(bool on) {
    if (on == m_bFloat)
        return;
    m_bFloat = on;
    NeedParentUpdate();
}

void CControlUI::SetFloatPos(RECT rc) {
    m_rcFloat = rc;
    if (rc.right >= rc.left)
        m_cxyFixed.cx = rc.right - rc.left;
    if (rc.bottom >= rc.top)
        m_cxyFixed.cy = rc.bottom - rc.top;
    NeedParentUpdate();
}

void CControlUI::SetBkImage(std::string_view image) {
    if (image == m_sBkImage)
        return;
    m_sBkImage = image;
    Changed(ControlChange::Image);
}

void CControlUI::SetBkColor(DWORD color) {
    if (color == m_dwBackColor)
        return;
    m_dwBackColor = color;
    Changed(ControlChange::Attribute);
}

void CControlUI::SetAttribute(std::string_view name, std::string_view value) {
    m_attributes.insert_or_assign(std::string(name), std::string(value));
    if (name == "name") {
        SetName(value);
    } else if (name == "text") {
        SetText(value);
    } else if (name == "tooltip") {
        SetToolTip(value);
    } else if (name == "visible") {
        if (auto on = ParseBool(value))
            SetVisible(*on);
    } else if (name == "enabled") {
        if (auto on = ParseBool(value))
            SetEnabled(*on);
    } else if (name == "width") {
        if (auto cx = ParseInt(value))
            SetFixedWidth(*cx);
    } else if (name == "height") {
        if (auto cy = ParseInt(value))
            SetFixedHeight(*cy);
    } else if (name == "minwidth") {
        if (auto cx = ParseInt(value); cx && *cx >= 0)
            SetMinWidth(*cx);
    } else if (name == "minheight") {
        if (auto cy = ParseInt(value); cy && *cy >= 0)
            SetMinHeight(*cy);
    } else if (name == "padding") {
        if (auto rc = ParseRect(value))
            SetPadding(*rc);
    } else if (name == "float") {
        if (auto on = ParseBool(value))
            SetFloat(*on);
    } else if (name == "pos") {
        if (auto rc = ParseRect(value))
            SetFloatPos(*rc);
    } else if (name == "userdata") {
        SetUserData(value);
    } else if (name == "bkimage") {
        SetBkImage(value);
    } else if (name == "bkcolor") {
        if (auto color = ParseColor(value))
            SetBkColor(*color);
    }
}

std::string CControlUI::GetAttribute(std::string_view name) const {
    const auto it = m_attributes.find(name);
    return it == m_attributes.end() ? std::string() : it->second;
}

bool CControlUI::HasAttribute(std::string_view name) const {
    return m_attributes.find(name) != m_attributes.end();
}

void CControlUI::ApplyAttributeList(std::string_view list) {
    for (const auto& [name, value] : ParseAttributeList(list))
        SetAttribute(name, value);
}

void CControlUI::SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init) {
    if (m_pManager != manager) {
        if (m_pManager != nullptr)
            m_pManager->ReapControl(this);
        m_pManager = manager;
        if (m_pManager != nullptr && !m_sName.empty())
            m_pManager->NameChanged(this, {});
    }
    m_pParent = parent;
    if (init && m_pManager != nullptr)
        Init();
}

void CControlUI::Init() {
    DoInit();
}

CControlUI* CControlUI::FindControlByName(std::string_view name) {
    return (!name.empty() && name == m_sName) ? this : nullptr;
}

void CControlUI::ForEach(const std::function<void(CControlUI*)>& visit) {
    visit(this);
}

void CControlUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEVENT_SETFOCUS:
        case UIEVENT_KILLFOCUS:
            Invalidate();
            break;
        default:
            break;
    }
}

bool CControlUI::Activate() {
    return IsVisible() && IsEnabled();
}

SIZE CControlUI::EstimateSize(SIZE /*available*/) {
    return SIZE{Scaled(m_cxyFixed.cx), Scaled(m_cxyFixed.cy)};
}

void CControlUI::NeedUpdate() {
    if (m_pManager != nullptr)
        m_pManager->NeedUpdate();
}

void CControlUI::NeedParentUpdate() {
    // The layout pass places the whole tree, so the parent's update is the
    // window's.
    NeedUpdate();
}

void CControlUI::Invalidate() {
    // Painting belongs to the back end, which follows ControlChanged; the
    // model has nothing of its own to redraw.
}

void CControlUI::Changed(ControlChange what) {
    if (m_pManager != nullptr)
        m_pManager->ControlChanged(this, what);
}

void CControlUI::SendNotify(std::string_view type, WPARAM wParam, LPARAM lParam) {
    if (m_pManager != nullptr)
        m_pManager->SendNotify(this, type, wParam, lParam);
}

long CControlUI::Scaled(long value) const {
    return m_pManager != nullptr ? m_pManager->GetDPIObj().Scale(static_cast<int>(value)) : value;
}

RECT CControlUI::Scaled(RECT rc) const {
    return m_pManager != nullptr ? m_pManager->GetDPIObj().Scale(rc) : rc;
}

TDrawState CControlUI::GetDrawState() const {
    TDrawState state;
    state.enabled = IsEnabled();
    if (m_pManager != nullptr) {
        state.hot = state.enabled && m_pManager->GetHover() == this;
        state.pushed = state.enabled && m_pManager->GetPushed() == this;
        state.focused = m_pManager->GetFocus() == this;
    }
    return state;
}

DWORD CControlUI::GetStateBkColor(const TDrawState& state) const {
    DWORD color = m_dwBackColor;
    auto use = [&](std::string_view name) {
        if (auto c = ParseColor(GetAttribute(name)))
            color = *c;
    };
    if (state.selected)
        use("selectedbkcolor");
    else if (state.hot)
        use("hotbkcolor");
    if (!state.enabled)
        use("disabledbkcolor");
    return color;
}

std::string CControlUI::GetStateImage(const TDrawState& /*state*/) const {
    return {};
}

TTextLook CControlUI::GetTextLook(const TDrawState& /*state*/) const {
    TTextLook look;
    look.font = ParseInt(GetAttribute("font")).value_or(-1);
    look.color = ParseColor(GetAttribute("textcolor")).value_or(0xFF000000);
    if ((look.color & 0xFF000000) == 0)
        look.color |= 0xFF000000;  // a colour written without alpha is opaque
    if (const std::string align = GetAttribute("align"); !align.empty())
        look.align = ParseAlign(align, look.align);
    look.padding = ParseRect(GetAttribute("textpadding")).value_or(RECT{});
    look.html = ParseBool(GetAttribute("showhtml")).value_or(false);
    look.ellipsis = ParseBool(GetAttribute("endellipsis")).value_or(false);
    return look;
}

int CControlUI::GetBorderSize() const {
    return std::max(0, ParseInt(GetAttribute("bordersize")).value_or(0));
}

std::optional<DWORD> CControlUI::GetStateBorderColor(const TDrawState& state) const {
    if (state.focused) {
        if (auto color = ParseColor(GetAttribute("focusbordercolor")))
            return color;
    }
    return ParseColor(GetAttribute("bordercolor"));
}

bool CControlUI::IsPointInside(POINT pt) const {
    return pt.x >= m_rcItem.left && pt.x < m_rcItem.right && pt.y >= m_rcItem.top && pt.y < m_rcItem.bottom;
}

}  // namespace DuiLib
