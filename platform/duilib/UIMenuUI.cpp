#include "platform/duilib/UIMenuUI.h"

namespace DuiLib {

std::string_view CMenuUI::GetClass() const {
    return "Menu";
}

void* CMenuUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CMenuUI> ? this : CListUI::GetInterface(name);
}

std::string_view CMenuElementUI::GetClass() const {
    return "MenuElement";
}

void* CMenuElementUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CMenuElementUI> ? this : CListContainerElementUI::GetInterface(name);
}

bool CMenuElementUI::Activate() {
    if (!IsVisible() || !IsEnabled())
        return false;
    SendNotify(DUI_MSGTYPE_ITEMCLICK);
    return true;
}

}  // namespace DuiLib
