#include "platform/duilib/UIEdit.h"

#include "platform/duilib/UIRender.h"
#include "platform/os/Text.h"

namespace DuiLib {
namespace {
bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
}  // namespace

std::string_view CEditUI::GetClass() const {
    return "Edit";
}

void* CEditUI::GetInterface(std::string_view name) {
    return name == kControlInterface<CEditUI> ? this : CLabelUI::GetInterface(name);
}

void CEditUI::SetMaxChar(UINT max) {
    m_uMaxChar = max;
}

void CEditUI::SetNumberOnly(bool on) {
    m_bNumberOnly = on;
}

void CEditUI::SetReadOnly(bool on) {
    if (on == m_bReadOnly)
        return;
    m_bReadOnly = on;
    Changed(ControlChange::Attribute);
}

void CEditUI::SetPasswordMode(bool on) {
    if (on == m_bPasswordMode)
        return;
    m_bPasswordMode = on;
    Changed(ControlChange::Attribute);
}

void CEditUI::SetTipValue(std::string_view text) {
    if (text == m_sTipValue)
        return;
    m_sTipValue = text;
    Changed(ControlChange::Attribute);
}

void CEditUI::SetAttribute(std::string_view name, std::string_view value) {
    if (name == "maxchar") {
        if (auto max = ParseInt(value); max && *max >= 0)
            SetMaxChar(static_cast<UINT>(*max));
    } else if (name == "numberonly") {
        if (auto on = ParseBool(value))
            SetNumberOnly(*on);
    } else if (name == "readonly") {
        if (auto on = ParseBool(value))
            SetReadOnly(*on);
    } else if (name == "password") {
        if (auto on = ParseBool(value))
            SetPasswordMode(*on);
    } else if (name == "tipvalue") {
        SetTipValue(value);
    }
    CLabelUI::SetAttribute(name, value);
}

bool CEditUI::TypeUnits(std::u16string_view units) {
    if (m_uMaxChar != 0 && os::Utf16Length(GetText()) + units.size() > m_uMaxChar)
        return false;
    SetText(GetText() + os::Utf16ToUtf8(units));
    SendNotify(DUI_MSGTYPE_TEXTCHANGED);
    return true;
}

void CEditUI::DoEvent(TEventUI& event) {
    if (event.Type == UIEVENT_CHAR) {
        if (!IsEnabled() || m_bReadOnly)
            return;
        const char16_t unit = event.chKey;
        if (IsHighSurrogate(unit)) {
            m_pendingHighSurrogate = unit;
            return;
        }
        if (IsLowSurrogate(unit)) {
            // Only half of a pair is no character: it is dropped.
            const char16_t high = m_pendingHighSurrogate;
            m_pendingHighSurrogate = 0;
            if (high != 0 && !m_bNumberOnly) {
                const char16_t pair[2] = {high, unit};
                TypeUnits(std::u16string_view(pair, 2));
            }
            return;
        }
        m_pendingHighSurrogate = 0;
        // Control characters come as keys (VK_BACK, VK_RETURN), not text.
        if (unit < 0x20 || unit == 0x7F)
            return;
        if (m_bNumberOnly && (unit < u'0' || unit > u'9'))
            return;
        TypeUnits(std::u16string_view(&unit, 1));
        return;
    }
    if (event.Type == UIEVENT_KEYDOWN) {
        if (event.wParam == VK_RETURN) {
            SendNotify(DUI_MSGTYPE_RETURN);
            return;
        }
        if (event.wParam == VK_BACK) {
            if (!IsEnabled() || m_bReadOnly || GetText().empty())
                return;
            // The last character, whole: a pair of surrogates is one.
            std::u16string text = os::Utf8ToUtf16(GetText());
            std::size_t cut = text.size() - 1;
            if (cut > 0 && IsLowSurrogate(text[cut]) && IsHighSurrogate(text[cut - 1]))
                --cut;
            text.resize(cut);
            SetText(os::Utf16ToUtf8(text));
            SendNotify(DUI_MSGTYPE_TEXTCHANGED);
            return;
        }
    }
    CLabelUI::DoEvent(event);
}

}  // namespace DuiLib
