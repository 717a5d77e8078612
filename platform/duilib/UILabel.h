#pragma once
// A line of text: its colour, font (an id of the layout's <Font> list),
// alignment, and optionally the inline markup ("showhtml").

#include "platform/duilib/UIControl.h"

namespace DuiLib {

// Text alignment flags (the Windows DrawText values).
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_SINGLELINE = 0x0020;

class CLabelUI : public CControlUI {
  public:
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;

    void SetShowHtml(bool on = true);
    bool IsShowHtml() const { return m_bShowHtml; }
    void SetTextColor(DWORD color);
    DWORD GetTextColor() const { return m_dwTextColor; }
    void SetDisabledTextColor(DWORD color);
    DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
    void SetFont(int id);
    int GetFont() const { return m_iFont; }
    void SetTextStyle(UINT style);
    UINT GetTextStyle() const { return m_uTextStyle; }
    RECT GetTextPadding() const { return m_rcTextPadding; }
    void SetTextPadding(RECT rc);

    // The text as a reader sees it (markup removed when shown as HTML).
    std::string GetDisplayText() const;
    // The size of the text in the label's font, text padding included.
    SIZE MeasureContent() const;

    void SetAttribute(std::string_view name, std::string_view value) override;
    // Without a fixed height a label is as high as its text; an
    // "autocalcwidth" label is as wide as it.
    SIZE EstimateSize(SIZE available) override;

  protected:
    DWORD m_dwTextColor = 0;
    DWORD m_dwDisabledTextColor = 0;
    int m_iFont = -1;
    UINT m_uTextStyle = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
    RECT m_rcTextPadding;
    bool m_bShowHtml = false;
    bool m_bAutoCalcWidth = false;
};
template <>
inline constexpr std::string_view kControlInterface<CLabelUI> = "Label";

// A label whose text may wrap over several lines.
class CTextUI : public CLabelUI {
  public:
    CTextUI();
    std::string_view GetClass() const override;
    void* GetInterface(std::string_view name) override;
};
template <>
inline constexpr std::string_view kControlInterface<CTextUI> = "Text";

}  // namespace DuiLib
