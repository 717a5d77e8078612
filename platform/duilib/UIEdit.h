#pragma once
// A single-line text field. Typing is limited to `maxchar` characters,
// counted in UTF-16 units as the Windows edit control counts them, and with
// `numberonly` to the digits 0-9; pasted text meets the same limits (its
// other characters are dropped, and it is cut where the room ends). Text set
// from code (SetText) is not limited, as a window's WM_SETTEXT is not.
//
// The caret and the selection are UTF-16 positions. Keys: Left, Right,
// Home, End (with Shift: extend the selection), Backspace, Delete, Return
// ("return"), Control+A/C/X/V (select all, copy, cut, paste). The mouse
// places the caret, Shift+click and dragging extend the selection, a double
// click selects everything.

#include "platform/duilib/UILabel.h"

#include <utility>

namespace DuiLib {

// What an edit shows: its text (a bullet per character in password mode),
// or the hint in the hint's colour ("tipvaluecolor", grey by default) while
// the field is empty and nothing is being composed; the caret in a focused,
// enabled, writable field; the selection of a focused one. Positions are
// bytes of `text`.
struct TEditView {
    std::string text;
    bool hint = false;
    DWORD color = 0xFF000000;
    int caretByte = 0;  // where the caret is, and a composed text goes
    int selectionStart = 0;
    int selectionEnd = 0;  // equal to the start: nothing highlighted
    bool caret = false;
    bool operator==(const TEditView&) const = default;
};

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

    // Text from code: the caret goes to its end, nothing is selected.
    void SetText(std::string_view text) override;
    // UTF-16 positions: the caret, and the selection as [start, end).
    int GetCaret() const { return m_caret; }
    std::pair<int, int> GetSelection() const;
    // Selects [start, end) with the caret at `end` (clamped; -1 = the end).
    void SetSel(int start, int end);
    // The text shown: the text, or a bullet per character in password mode.
    std::string GetShownText() const;
    // Pastes as a user would: the clipboard's text replaces the selection
    // within the edit's limits. False when nothing could be pasted.
    bool Paste();

    // The byte offset in GetShownText() of the UTF-16 position `pos`
    // (clamped to the text), for placing the caret and the selection.
    int ShownByteOffset(int pos) const;

    // The layout's "disabledimage", else "focusedimage" while focused, else
    // "hotimage" while hot; "normalimage" when that one is not given.
    std::string GetStateImage(const TDrawState& state) const override;
    // What the field shows in `state`; `composing`: an input method is
    // composing a text at the caret.
    TEditView GetView(const TDrawState& state, bool composing) const;

    void SetAttribute(std::string_view name, std::string_view value) override;
    // UIEVENT_CHAR types one UTF-16 unit (a character outside the BMP comes
    // as two, high then low surrogate); UIEVENT_KEYDOWN handles VK_BACK
    // (deletes the last character) and VK_RETURN (raises "return").
    // Changes raise "textchanged".
    void DoEvent(TEventUI& event) override;

  protected:
    bool TypeUnits(std::u16string_view units);
    // Replaces the selection with `units` (already filtered); raises
    // "textchanged" when the text changed.
    void ReplaceSelection(std::u16string_view units);
    bool HandleKey(WPARAM key);
    // The UTF-16 position nearest to x (window coordinates).
    int PositionAt(long x) const;
    void MoveCaret(int caret, bool extend);

    std::string m_sTipValue;
    UINT m_uMaxChar = 255;
    bool m_bNumberOnly = false;
    bool m_bReadOnly = false;
    bool m_bPasswordMode = false;
    char16_t m_pendingHighSurrogate = 0;
    int m_caret = 0;
    int m_anchor = 0;
};
template <>
inline constexpr std::string_view kControlInterface<CEditUI> = "Edit";

}  // namespace DuiLib
