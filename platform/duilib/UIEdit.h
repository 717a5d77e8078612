#pragma once
// A single-line text field. Typing is limited to `maxchar` characters,
// counted in UTF-16 units as the Windows edit control counts them, and with
// `numberonly` to the digits 0-9. Text set from code (SetText) is not
// limited, as a window's WM_SETTEXT is not.

#include "platform/duilib/UILabel.h"

namespace DuiLib {

class CEditUI : public CLabelUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
    bool IsKeyboardEnabled() const override { return true; }

    // 0 means no limit of ours (the edit control's own ceiling).
    void SetMaxChar(UINT max);
    UINT GetMaxChar() const { return m_uMaxChar; }
    void SetNumberOnly(bool on);
    bool IsNumberOnly() const { return m_bNumberOnly; }
    void SetReadOnly(bool on);
    bool IsReadOnly() const { return m_bReadOnly; }
    void SetPasswordMode(bool on);
    bool IsPasswordMode() const { return m_bPasswordMode; }
    // The hint shown while the field is empty.
    void SetTipValue(std::string_view text);
    const std::string& GetTipValue() const { return m_sTipValue; }

    void SetAttribute(std::string_view name, std::string_view value) override;
    // UIEVENT_CHAR types one UTF-16 unit (a character outside the BMP comes
    // as two, high then low surrogate); UIEVENT_KEYDOWN handles VK_BACK
    // (deletes the last character) and VK_RETURN (raises "return").
    // Changes raise "textchanged".
    void DoEvent(TEventUI& event) override;

  protected:
    bool TypeUnits(std::u16string_view units);

    std::string m_sTipValue;
    UINT m_uMaxChar = 255;
    bool m_bNumberOnly = false;
    bool m_bReadOnly = false;
    bool m_bPasswordMode = false;
    char16_t m_pendingHighSurrogate = 0;
};
template <>
inline constexpr std::string_view kControlInterface<CEditUI> = "Edit";

}  // namespace DuiLib
