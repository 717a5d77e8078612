#include "platform/duilib/UIEdit.h"

#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/Text.h"

#include <algorithm>

namespace DuiLib {
namespace {
bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}
bool ControlDown() {
    return ::GetKeyState(static_cast<int>(VK_CONTROL)) < 0;
}
bool ShiftDown() {
    return ::GetKeyState(static_cast<int>(VK_SHIFT)) < 0;
}
// A position never splits a surrogate pair: it moves to the pair's start.
int WholeCharacter(const std::u16string& text, int pos) {
    if (pos > 0 && pos < static_cast<int>(text.size()) &&
        IsLowSurrogate(text[static_cast<std::size_t>(pos)]) &&
        IsHighSurrogate(text[static_cast<std::size_t>(pos) - 1]))
        return pos - 1;
    return pos;
}
// One character to the left or right of `pos` (a pair is one character).
int Step(const std::u16string& text, int pos, int direction) {
    const int size = static_cast<int>(text.size());
    if (direction < 0) {
        if (pos <= 0)
            return 0;
        --pos;
        if (pos > 0 && IsLowSurrogate(text[static_cast<std::size_t>(pos)]) &&
            IsHighSurrogate(text[static_cast<std::size_t>(pos) - 1]))
            --pos;
        return pos;
    }
    if (pos >= size)
        return size;
    ++pos;
    if (pos < size && IsLowSurrogate(text[static_cast<std::size_t>(pos)]) &&
        IsHighSurrogate(text[static_cast<std::size_t>(pos) - 1]))
        ++pos;
    return pos;
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

void CEditUI::SetText(std::string_view text) {
    CLabelUI::SetText(text);
    m_caret = m_anchor = static_cast<int>(os::Utf16Length(GetText()));
    Changed(ControlChange::State);
}

std::pair<int, int> CEditUI::GetSelection() const {
    return {std::min(m_caret, m_anchor), std::max(m_caret, m_anchor)};
}

void CEditUI::SetSel(int start, int end) {
    const std::u16string text = os::Utf8ToUtf16(GetText());
    const int size = static_cast<int>(text.size());
    auto clamp = [&](int pos) { return WholeCharacter(text, pos < 0 || pos > size ? size : pos); };
    m_anchor = clamp(start);
    m_caret = clamp(end);
    Changed(ControlChange::State);
}

std::string CEditUI::GetShownText() const {
    if (!m_bPasswordMode)
        return GetText();
    std::string shown;
    const std::u16string text = os::Utf8ToUtf16(GetText());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsLowSurrogate(text[i]))
            shown += "\xE2\x97\x8F";  // U+25CF BLACK CIRCLE
    }
    return shown;
}

int CEditUI::ShownByteOffset(int pos) const {
    const std::u16string text = os::Utf8ToUtf16(GetText());
    const std::size_t units = std::min(static_cast<std::size_t>(std::max(0, pos)), text.size());
    if (!m_bPasswordMode)
        return static_cast<int>(os::Utf16ToUtf8(std::u16string_view(text).substr(0, units)).size());
    // A bullet (three bytes) per character; the second half of a pair adds none.
    int chars = 0;
    for (std::size_t i = 0; i < units; ++i)
        chars += IsLowSurrogate(text[i]) ? 0 : 1;
    return chars * 3;
}

std::string CEditUI::GetStateImage(const TDrawState& state) const {
    std::string image;
    if (!state.enabled)
        image = GetAttribute("disabledimage");
    else if (state.focused)
        image = GetAttribute("focusedimage");
    else if (state.hot)
        image = GetAttribute("hotimage");
    return image.empty() ? GetAttribute("normalimage") : image;
}

TEditView CEditUI::GetView(const TDrawState& state, bool composing) const {
    TEditView view;
    view.caret = state.focused && state.enabled && !m_bReadOnly;
    const std::string shown = GetShownText();
    view.hint = shown.empty() && !composing;
    if (view.hint) {
        view.text = m_sTipValue;
        view.color = ParseColor(GetAttribute("tipvaluecolor")).value_or(0xFFAAAAAA);
        return view;
    }
    view.text = shown;
    view.color = GetTextLook(state).color;
    view.caretByte = ShownByteOffset(m_caret);
    if (state.focused) {
        const auto [start, end] = GetSelection();
        view.selectionStart = ShownByteOffset(start);
        view.selectionEnd = ShownByteOffset(end);
    }
    return view;
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

void CEditUI::ReplaceSelection(std::u16string_view units) {
    std::u16string text = os::Utf8ToUtf16(GetText());
    const auto [start, end] = GetSelection();
    if (units.empty() && start == end)
        return;
    text.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start), units);
    CLabelUI::SetText(os::Utf16ToUtf8(text));
    m_caret = m_anchor = start + static_cast<int>(units.size());
    Changed(ControlChange::State);
    SendNotify(DUI_MSGTYPE_TEXTCHANGED);
}

bool CEditUI::TypeUnits(std::u16string_view units) {
    const auto [start, end] = GetSelection();
    const std::size_t kept = os::Utf16Length(GetText()) - static_cast<std::size_t>(end - start);
    if (m_uMaxChar != 0 && kept + units.size() > m_uMaxChar)
        return false;
    ReplaceSelection(units);
    return true;
}

bool CEditUI::Paste() {
    if (!IsEnabled() || m_bReadOnly)
        return false;
    const std::optional<std::string> clip = GetClipboardText();
    if (!clip)
        return false;
    // The same rules as typing: no control characters, digits only for a
    // number field, nothing past the limit (a pair is never cut in half).
    std::u16string units;
    const std::u16string text = os::Utf8ToUtf16(*clip);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            if (!m_bNumberOnly) {
                units += unit;
                units += text[i + 1];
            }
            ++i;
            continue;
        }
        if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit < 0x20 || unit == 0x7F)
            continue;
        if (m_bNumberOnly && (unit < u'0' || unit > u'9'))
            continue;
        units += unit;
    }
    const auto [start, end] = GetSelection();
    if (m_uMaxChar != 0) {
        const std::size_t kept = os::Utf16Length(GetText()) - static_cast<std::size_t>(end - start);
        const std::size_t room = kept >= m_uMaxChar ? 0 : m_uMaxChar - kept;
        if (units.size() > room) {
            units.resize(room);
            if (!units.empty() && IsHighSurrogate(units.back()))
                units.pop_back();
        }
    }
    if (units.empty())
        return false;
    ReplaceSelection(units);
    return true;
}

void CEditUI::MoveCaret(int caret, bool extend) {
    m_caret = caret;
    if (!extend)
        m_anchor = caret;
    Changed(ControlChange::State);
}

bool CEditUI::HandleKey(WPARAM key) {
    const std::u16string text = os::Utf8ToUtf16(GetText());
    const int size = static_cast<int>(text.size());
    const bool shift = ShiftDown();
    const bool editable = IsEnabled() && !m_bReadOnly;
    const auto [start, end] = GetSelection();
    if (ControlDown()) {
        switch (key) {
            case 'A':
                SetSel(0, -1);
                return true;
            case 'C':
            case 'X':
                if (start == end || m_bPasswordMode)
                    return true;  // a password is never copied out
                SetClipboardText(os::Utf16ToUtf8(
                    text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start))));
                if (key == 'X' && editable)
                    ReplaceSelection({});
                return true;
            case 'V':
                Paste();
                return true;
            default:
                break;
        }
    }
    switch (key) {
        case VK_LEFT:
            MoveCaret(!shift && start != end ? start : Step(text, m_caret, -1), shift);
            return true;
        case VK_RIGHT:
            MoveCaret(!shift && start != end ? end : Step(text, m_caret, +1), shift);
            return true;
        case VK_HOME:
            MoveCaret(0, shift);
            return true;
        case VK_END:
            MoveCaret(size, shift);
            return true;
        case VK_BACK:
        case VK_DELETE:
            if (!editable || size == 0)
                return true;
            if (start == end) {
                // The character before (Backspace) or after (Delete) the
                // caret, whole: a pair of surrogates is one.
                const int other = Step(text, m_caret, key == VK_BACK ? -1 : +1);
                if (other == m_caret)
                    return true;
                m_anchor = other;
            }
            ReplaceSelection({});
            return true;
        default:
            return false;
    }
}

int CEditUI::PositionAt(long x) const {
    const std::u16string shown = os::Utf8ToUtf16(GetShownText());
    const std::u16string text = os::Utf8ToUtf16(GetText());
    TFontInfo font = m_pManager != nullptr ? m_pManager->GetFont(m_iFont) : TFontInfo{};
    font.size = static_cast<int>(Scaled(font.size));
    const long left = m_rcItem.left + Scaled(m_rcTextPadding).left;
    // The boundary between characters nearest to x; shown and real text
    // have their characters at the same places (one bullet per character).
    int best = 0;
    long bestDistance = -1;
    int shownPos = 0;
    for (int pos = 0;; pos = Step(text, pos, +1)) {
        const long at =
            left + MeasureText(font, os::Utf16ToUtf8(shown.substr(0, static_cast<std::size_t>(shownPos)))).cx;
        const long distance = at > x ? at - x : x - at;
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = pos;
        }
        if (pos >= static_cast<int>(text.size()))
            break;
        shownPos = m_bPasswordMode ? shownPos + 1 : Step(text, pos, +1);
    }
    return best;
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
        if (HandleKey(event.wParam))
            return;
    }
    if (event.Type == UIEVENT_BUTTONDOWN || event.Type == UIEVENT_MOUSEMOVE) {
        const bool extend = event.Type == UIEVENT_MOUSEMOVE || (event.wParam & MK_SHIFT) != 0;
        MoveCaret(PositionAt(event.ptMouse.x), extend);
        return;
    }
    if (event.Type == UIEVENT_DBLCLICK) {
        SetSel(0, -1);
        return;
    }
    CLabelUI::DoEvent(event);
}

}  // namespace DuiLib
