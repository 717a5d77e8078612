#include "platform/duilib/UIOption.h"

#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

#include <algorithm>
#include <vector>

namespace DuiLib {

std::string_view COptionUI::GetClass() const {
    return "Option";
}

void* COptionUI::GetInterface(std::string_view name) {
    return name == kControlInterface<COptionUI> ? this : CButtonUI::GetInterface(name);
}

void COptionUI::SetGroup(std::string_view group) {
    m_sGroupName = group;
}

void COptionUI::Selected(bool selected) {
    if (selected == m_bSelected)
        return;
    m_bSelected = selected;
    Changed(ControlChange::Selection);
    if (selected && !m_sGroupName.empty()) {
        // The group is the window's: every option of this tree with the
        // same group name.
        CControlUI* top = this;
        while (top->GetParent() != nullptr)
            top = top->GetParent();
        std::vector<COptionUI*> others;
        top->ForEach([&](CControlUI* control) {
            auto* option = ControlCast<COptionUI>(control);
            if (option != nullptr && option != this && option->m_bSelected &&
                option->m_sGroupName == m_sGroupName)
                others.push_back(option);
        });
        for (COptionUI* other : others)
            other->Selected(false);
    }
    SendNotify(DUI_MSGTYPE_SELECTCHANGED, selected ? 1 : 0);
}

void COptionUI::SetSelectedImage(std::string_view image) {
    SetImage(m_sSelectedImage, image);
}

void COptionUI::SetSelectedHotImage(std::string_view image) {
    SetImage(m_sSelectedHotImage, image);
}

void COptionUI::SetSelectedTextColor(DWORD color) {
    if (color == m_dwSelectedTextColor)
        return;
    m_dwSelectedTextColor = color;
    Changed(ControlChange::Attribute);
}

void COptionUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "group") {
        SetGroup(value);
    } else if (name == "selected") {
        if (auto on = ParseBool(value))
            Selected(*on);
    } else if (name == "selectedimage") {
        SetSelectedImage(value);
    } else if (name == "selectedhotimage") {
        SetSelectedHotImage(value);
    } else if (name == "selectedtextcolor") {
        if (auto color = ParseColor(value))
            SetSelectedTextColor(*color);
    }
    CButtonUI::SetAttribute(name, value);
}

bool COptionUI::Activate() {
    if (!CButtonUI::Activate())
        return false;
    if (!m_sGroupName.empty())
        Selected(true);
    else
        Selected(!m_bSelected);
    return true;
}

void COptionUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_KEYDOWN && !m_sGroupName.empty() && m_pManager != nullptr) {
        const bool next = event.wParam == VK_DOWN || event.wParam == VK_RIGHT;
        const bool previous = event.wParam == VK_UP || event.wParam == VK_LEFT;
        if (next || previous) {
            if (COptionUI* target = NeighbourInGroup(next)) {
                m_pManager->SetFocusByKeyboard(target);
                target->Activate();  // what a click on it does
            }
            return;
        }
    }
    CButtonUI::DoEvent(event);
}

COptionUI* COptionUI::NeighbourInGroup(bool forward) {
    CControlUI* top = this;
    while (top->GetParent() != nullptr)
        top = top->GetParent();
    std::vector<COptionUI*> group;
    top->ForEach([&](CControlUI* control) {
        auto* option = ControlCast<COptionUI>(control);
        if (option != nullptr && option->m_sGroupName == m_sGroupName &&
            (option == this || CPaintManagerUI::IsTabStop(option)))
            group.push_back(option);
    });
    const auto at = std::find(group.begin(), group.end(), this);
    if (group.size() < 2 || at == group.end())
        return nullptr;
    const std::size_t index = static_cast<std::size_t>(at - group.begin());
    return group[(index + (forward ? 1 : group.size() - 1)) % group.size()];
}

TDrawState COptionUI::GetDrawState() const {
    TDrawState state = CButtonUI::GetDrawState();
    state.selected = m_bSelected;
    return state;
}

std::string COptionUI::GetStateImage(const TDrawState& state) const {
    const bool disabledLook = !state.enabled && !m_sDisabledImage.empty();
    if (!disabledLook && state.selected && !m_sSelectedImage.empty())
        return state.hot && !m_sSelectedHotImage.empty() ? m_sSelectedHotImage : m_sSelectedImage;
    return CButtonUI::GetStateImage(state);
}

DWORD COptionUI::GetStateTextColor(const TDrawState& state) const {
    if (state.enabled && state.selected && m_dwSelectedTextColor != 0)
        return m_dwSelectedTextColor;
    return CButtonUI::GetStateTextColor(state);
}

}  // namespace DuiLib
