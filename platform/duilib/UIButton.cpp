#include "platform/duilib/UIButton.h"

#include "platform/duilib/UIRender.h"

namespace DuiLib {

CButtonUI::CButtonUI() {
    m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
}

std::string_view CButtonUI::GetClass() const {
    return "Button";
}

void* CButtonUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CButtonUI> ? this : CLabelUI::GetInterface(name);
}

void CButtonUI::SetImage(std::string& slot, std::string_view image) {
    if (slot == image)
        return;
    slot = image;
    Changed(ControlChange::Image);
}

void CButtonUI::SetNormalImage(std::string_view image) {
    SetImage(m_sNormalImage, image);
}
void CButtonUI::SetHotImage(std::string_view image) {
    SetImage(m_sHotImage, image);
}
void CButtonUI::SetPushedImage(std::string_view image) {
    SetImage(m_sPushedImage, image);
}
void CButtonUI::SetDisabledImage(std::string_view image) {
    SetImage(m_sDisabledImage, image);
}
void CButtonUI::SetFocusedImage(std::string_view image) {
    SetImage(m_sFocusedImage, image);
}

void CButtonUI::SetHotTextColor(DWORD color) {
    if (color == m_dwHotTextColor)
        return;
    m_dwHotTextColor = color;
    Changed(ControlChange::Attribute);
}

void CButtonUI::SetPushedTextColor(DWORD color) {
    if (color == m_dwPushedTextColor)
        return;
    m_dwPushedTextColor = color;
    Changed(ControlChange::Attribute);
}

void CButtonUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "normalimage") {
        SetNormalImage(value);
    } else if (name == "hotimage") {
        SetHotImage(value);
    } else if (name == "pushedimage" || name == "pushimage") {
        SetPushedImage(value);
    } else if (name == "disabledimage") {
        SetDisabledImage(value);
    } else if (name == "focusedimage") {
        SetFocusedImage(value);
    } else if (name == "hottextcolor") {
        if (auto color = ParseColor(value))
            SetHotTextColor(*color);
    } else if (name == "pushedtextcolor") {
        if (auto color = ParseColor(value))
            SetPushedTextColor(*color);
    }
    CLabelUI::SetAttribute(name, value);
}

void CButtonUI::DoEvent(TEventUI& event) {
    switch (event.Type) {
        case UIEVENT_BUTTONDOWN:
        case UIEVENT_DBLCLICK:
            if (IsEnabled() && IsPointInside(event.ptMouse))
                m_bPushed = true;
            return;
        case UIEVENT_BUTTONUP: {
            const bool wasPushed = m_bPushed;
            m_bPushed = false;
            // A press that started inside and ends inside is a click; one
            // dragged out before release is not.
            if (wasPushed && IsPointInside(event.ptMouse))
                Activate();
            return;
        }
        case UIEVENT_MOUSEENTER:
            m_bHot = IsEnabled();
            return;
        case UIEVENT_MOUSELEAVE:
            m_bHot = false;
            return;
        case UIEVENT_KEYDOWN:
            if (IsKeyboardEnabled() && (event.chKey == u' ' || event.wParam == VK_RETURN ||
                                        event.wParam == static_cast<WPARAM>(' ')))
                Activate();
            return;
        default:
            CLabelUI::DoEvent(event);
    }
}

TDrawState CButtonUI::GetDrawState() const {
    TDrawState state = CLabelUI::GetDrawState();
    state.hot = state.enabled && (m_bHot || state.hot);
    state.pushed = state.pushed && m_bPushed;
    return state;
}

std::string CButtonUI::GetStateImage(const TDrawState& state) const {
    if (!state.enabled && !m_sDisabledImage.empty())
        return m_sDisabledImage;
    if (state.pushed && !m_sPushedImage.empty())
        return m_sPushedImage;
    if (state.hot && !m_sHotImage.empty())
        return m_sHotImage;
    if (state.focused && !m_sFocusedImage.empty())
        return m_sFocusedImage;
    return m_sNormalImage;
}

DWORD CButtonUI::GetStateTextColor(const TDrawState& state) const {
    if (state.enabled) {
        if (state.pushed && m_dwPushedTextColor != 0)
            return m_dwPushedTextColor;
        if (state.hot && m_dwHotTextColor != 0)
            return m_dwHotTextColor;
    }
    return CLabelUI::GetStateTextColor(state);
}

bool CButtonUI::Activate() {
    if (!CLabelUI::Activate())
        return false;
    SendNotify(DUI_MSGTYPE_CLICK);
    return true;
}

}  // namespace DuiLib
