#pragma once
// A line of text: its colour, font (an id of the layout's <Font> list),
// alignment, and optionally the inline markup ("showhtml").

#include "platform/duilib/UIControl.h"

namespace DuiLib {

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

    // The label's font, alignment, padding and markup, in the colour of
    // `state`; "endellipsis" cuts a text too long for its room.
    TTextLook GetTextLook(const TDrawState& state) const override;

  protected:
    // The text colour of `state` as written (0: none given): the disabled
    // one for a disabled label that has one. Kinds with state colours of
    // their own (buttons, options) choose first.
    virtual DWORD GetStateTextColor(const TDrawState& state) const;

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
