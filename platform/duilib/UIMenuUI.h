#pragma once
// The controls of a pop-up menu's layout: the menu (a list) and its
// entries. A click on an entry raises "itemclick" with the entry as the
// sender; the menu window turns that into its menu message.

#include "platform/duilib/UIList.h"

namespace DuiLib {

class CMenuUI : public CListUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
};
template <>
inline constexpr std::string_view kControlInterface<CMenuUI> = "Menu";

class CMenuElementUI : public CListContainerElementUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
    // Only "itemclick": a menu entry is chosen, not selected.
    bool Activate() override;
};
template <>
inline constexpr std::string_view kControlInterface<CMenuElementUI> = "MenuElement";

}  // namespace DuiLib
