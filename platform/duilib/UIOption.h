#pragma once
// A check or radio button. Options of the same group in one window are
// exclusive: selecting one deselects the others.

#include "platform/duilib/UIButton.h"

namespace DuiLib {

class COptionUI : public CButtonUI {
  public:
    ~COptionUI() override = default;
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;

    const std::string& GetGroup() const { return m_sGroupName; }
    void SetGroup(std::string_view group);
    bool IsSelected() const { return m_bSelected; }
    // Changes the selection and raises "selectchanged" (wParam: the new
    // state) exactly as a click's change does. Selecting a grouped option
    // first deselects the others of its group, each raising its own
    // "selectchanged". No change, no notification.
    virtual void Selected(bool selected);

    const std::string& GetSelectedImage() const { return m_sSelectedImage; }
    void SetSelectedImage(std::string_view image);
    const std::string& GetSelectedHotImage() const { return m_sSelectedHotImage; }
    void SetSelectedHotImage(std::string_view image);
    DWORD GetSelectedTextColor() const { return m_dwSelectedTextColor; }
    void SetSelectedTextColor(DWORD color);

    void SetAttribute(std::string_view name, std::string_view value) override;
    // "click", then the selection: a grouped option is selected (clicking a
    // selected one changes nothing), an ungrouped one toggles.
    bool Activate() override;
    // The arrow keys on a grouped option move the focus to the next (Down,
    // Right) or previous (Up, Left) option of its group that Tab would stop
    // at, in layout order and wrapping around, and click it, as a radio
    // group behaves. Other keys as a button.
    void DoEvent(TEventUI& event) override;

    // A button's state, selected while the option is.
    TDrawState GetDrawState() const override;
    // Selected (unless disabled with a disabled image): the selected hot
    // image while hot, else the selected image; otherwise as a button.
    std::string GetStateImage(const TDrawState& state) const override;

  protected:
    // The group's option `forward` of this one among those Tab stops at;
    // null when there is no other.
    COptionUI* NeighbourInGroup(bool forward);
    // The selected text colour of an enabled selected option, else as a
    // button.
    DWORD GetStateTextColor(const TDrawState& state) const override;

    std::string m_sGroupName;
    std::string m_sSelectedImage;
    std::string m_sSelectedHotImage;
    DWORD m_dwSelectedTextColor = 0;
    bool m_bSelected = false;
};
template <>
inline constexpr std::string_view kControlInterface<COptionUI> = "Option";

}  // namespace DuiLib
