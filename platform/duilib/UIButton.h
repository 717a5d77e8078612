#pragma once
// A push button: a label with state images. A click (Activate, or a press
// and release of the mouse inside it, or Space/Return while it has the
// keyboard) raises "click".

#include "platform/duilib/UILabel.h"

namespace DuiLib {

class CButtonUI : public CLabelUI {
  public:
    // A button's text is centred unless the layout says otherwise.
    CButtonUI();
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
    bool IsKeyboardEnabled() const override { return true; }

    const std::string& GetNormalImage() const { return m_sNormalImage; }
    void SetNormalImage(std::string_view image);
    const std::string& GetHotImage() const { return m_sHotImage; }
    void SetHotImage(std::string_view image);
    const std::string& GetPushedImage() const { return m_sPushedImage; }
    void SetPushedImage(std::string_view image);
    const std::string& GetDisabledImage() const { return m_sDisabledImage; }
    void SetDisabledImage(std::string_view image);
    const std::string& GetFocusedImage() const { return m_sFocusedImage; }
    void SetFocusedImage(std::string_view image);

    DWORD GetHotTextColor() const { return m_dwHotTextColor; }
    void SetHotTextColor(DWORD color);
    DWORD GetPushedTextColor() const { return m_dwPushedTextColor; }
    void SetPushedTextColor(DWORD color);

    // True while the mouse button went down inside and has not come up.
    bool IsPushed() const { return m_bPushed; }
    bool IsHot() const { return m_bHot; }

    void SetAttribute(std::string_view name, std::string_view value) override;
    void DoEvent(TEventUI& event) override;
    bool Activate() override;

    // Hot while the pointer is over it (as its own events or the manager
    // say), pushed while a press that started on it is held inside it.
    TDrawState GetDrawState() const override;
    // The first of disabled, pushed, hot and focused that applies and has
    // an image of its own, else the normal image.
    std::string GetStateImage(const TDrawState& state) const override;

  protected:
    void SetImage(std::string& slot, std::string_view image);
    // The pushed, else the hot text colour of an enabled button.
    DWORD GetStateTextColor(const TDrawState& state) const override;

    std::string m_sNormalImage;
    std::string m_sHotImage;
    std::string m_sPushedImage;
    std::string m_sDisabledImage;
    std::string m_sFocusedImage;
    DWORD m_dwHotTextColor = 0;
    DWORD m_dwPushedTextColor = 0;
    bool m_bPushed = false;
    bool m_bHot = false;
};
template <>
inline constexpr std::string_view kControlInterface<CButtonUI> = "Button";

}  // namespace DuiLib
