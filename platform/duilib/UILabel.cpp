#include "platform/duilib/UILabel.h"

#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

#include <map>

namespace DuiLib {
namespace {
const TFontInfo& DetachedFont() {
    static const TFontInfo font;
    return font;
}
}  // namespace

std::string_view CLabelUI::GetClass() const {
    return "Label";
}

void* CLabelUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CLabelUI> ? this : CControlUI::GetInterface(name);
}

void CLabelUI::SetShowHtml(bool on) {
    if (on == m_bShowHtml)
        return;
    m_bShowHtml = on;
    Changed(ControlChange::Attribute);
}

void CLabelUI::SetTextColor(DWORD color) {
    if (color == m_dwTextColor)
        return;
    m_dwTextColor = color;
    Changed(ControlChange::Attribute);
}

void CLabelUI::SetDisabledTextColor(DWORD color) {
    if (color == m_dwDisabledTextColor)
        return;
    m_dwDisabledTextColor = color;
    Changed(ControlChange::Attribute);
}

void CLabelUI::SetFont(int id) {
    if (id == m_iFont)
        return;
    m_iFont = id;
    Changed(ControlChange::Attribute);
    NeedParentUpdate();
}

void CLabelUI::SetTextStyle(UINT style) {
    if (style == m_uTextStyle)
        return;
    m_uTextStyle = style;
    Changed(ControlChange::Attribute);
}

void CLabelUI::SetTextPadding(RECT rc) {
    m_rcTextPadding = rc;
    NeedParentUpdate();
}

std::string CLabelUI::GetDisplayText() const {
    return m_bShowHtml ? MarkupPlainText(GetText()) : GetText();
}

SIZE CLabelUI::MeasureContent() const {
    // Fonts grow with the window's scale, as every other length does.
    std::map<int, TFontInfo> scaled;
    auto fontOf = [&](int id) -> const TFontInfo& {
        auto it = scaled.find(id);
        if (it == scaled.end()) {
            TFontInfo font = m_pManager != nullptr ? m_pManager->GetFont(id) : DetachedFont();
            font.size = static_cast<int>(Scaled(font.size));
            it = scaled.emplace(id, font).first;
        }
        return it->second;
    };
    SIZE size =
        m_bShowHtml ? MeasureMarkup(fontOf, m_iFont, GetText()) : MeasureText(fontOf(m_iFont), GetText());
    const RECT pad = Scaled(m_rcTextPadding);
    size.cx += pad.left + pad.right;
    size.cy += pad.top + pad.bottom;
    return size;
}

void CLabelUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "textcolor") {
        if (auto color = ParseColor(value))
            SetTextColor(*color);
    } else if (name == "disabledtextcolor") {
        if (auto color = ParseColor(value))
            SetDisabledTextColor(*color);
    } else if (name == "font") {
        if (auto id = ParseInt(value))
            SetFont(*id);
    } else if (name == "showhtml") {
        if (auto on = ParseBool(value))
            SetShowHtml(*on);
    } else if (name == "textpadding") {
        if (auto rc = ParseRect(value))
            SetTextPadding(*rc);
    } else if (name == "autocalcwidth") {
        if (auto on = ParseBool(value)) {
            m_bAutoCalcWidth = *on;
            NeedParentUpdate();
        }
    } else if (name == "align") {
        SetTextStyle(ParseAlign(value, m_uTextStyle));
    } else if (name == "valign") {
        SetTextStyle(ParseVAlign(value, m_uTextStyle));
    } else if (name == "endellipsis" || name == "multiline") {
        if (auto on = ParseBool(value)) {
            if (name == "multiline")
                SetTextStyle(*on ? (m_uTextStyle & ~DT_SINGLELINE) : (m_uTextStyle | DT_SINGLELINE));
        }
    }
    CControlUI::SetAttribute(name, value);
}

DWORD CLabelUI::GetStateTextColor(const TDrawState& state) const {
    if (!state.enabled && m_dwDisabledTextColor != 0)
        return m_dwDisabledTextColor;
    return m_dwTextColor;
}

TTextLook CLabelUI::GetTextLook(const TDrawState& state) const {
    TTextLook look;
    look.font = m_iFont;
    look.color = GetStateTextColor(state);
    if ((look.color & 0xFF000000) == 0)
        look.color |= 0xFF000000;  // a colour written without alpha is opaque
    look.align = m_uTextStyle;
    look.padding = m_rcTextPadding;
    look.html = m_bShowHtml;
    look.ellipsis = ParseBool(GetAttribute("endellipsis")).value_or(false);
    return look;
}

SIZE CLabelUI::EstimateSize(SIZE available) {
    SIZE size = CControlUI::EstimateSize(available);
    if (size.cy == 0 || (m_bAutoCalcWidth && size.cx == 0)) {
        const SIZE content = MeasureContent();
        if (size.cy == 0)
            size.cy = content.cy;
        if (m_bAutoCalcWidth && size.cx == 0)
            size.cx = content.cx;
    }
    return size;
}

CTextUI::CTextUI() {
    m_uTextStyle = DT_LEFT;
}

std::string_view CTextUI::GetClass() const {
    return "Text";
}

void* CTextUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CTextUI> ? this : CLabelUI::GetInterface(name);
}

}  // namespace DuiLib
