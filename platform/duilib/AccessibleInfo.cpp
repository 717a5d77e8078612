#include "platform/duilib/AccessibleInfo.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIRender.h"
#include "platform/os/Text.h"

#include <algorithm>

namespace DuiLib {
namespace {

bool Is(CControlUI& control, std::string_view kind) {
    return control.GetInterface(kind) != nullptr;
}

bool ShowsMarkup(CControlUI& control) {
    auto* label = ControlCast<CLabelUI>(&control);
    return label != nullptr && label->IsShowHtml();
}

// The number of bytes of the UTF-8 sequence starting with `lead`.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;  // a stray continuation byte counts as one character
}

// A place in a text, counted in UTF-16 units and in characters.
struct TextOffset {
    int units = 0;
    int chars = 0;
};

// Steps over the text's characters while `more` says so of the place
// reached, up to the end; the place it stopped at.
template <class More>
TextOffset WalkCharacters(std::string_view utf8, More more) {
    TextOffset at;
    for (std::size_t i = 0; i < utf8.size() && more(at);) {
        const std::size_t length = SequenceLength(static_cast<unsigned char>(utf8[i]));
        at.units += length == 4 ? 2 : 1;
        ++at.chars;
        i += length;
    }
    return at;
}

}  // namespace

bool IsAccessibleExposed(CControlUI& control) {
    return !Is(control, "WkeWebkit");
}

std::vector<CControlUI*> AccessibleChildrenOf(CControlUI& control) {
    std::vector<CControlUI*> children;
    if (auto* container = ControlCast<CContainerUI>(&control)) {
        for (int i = 0; i < container->GetCount(); ++i) {
            CControlUI* child = container->GetItemAt(i);
            if (child != nullptr && IsAccessibleExposed(*child))
                children.push_back(child);
        }
    }
    return children;
}

AccessibleRole AccessibleRoleOf(CControlUI& control) {
    // The most derived kind first: an option is a button, a button a label.
    if (auto* edit = ControlCast<CEditUI>(&control))
        return edit->IsPasswordMode() ? AccessibleRole::PasswordText : AccessibleRole::Entry;
    if (Is(control, "MenuElement"))
        return AccessibleRole::MenuItem;
    if (Is(control, "Menu"))
        return AccessibleRole::Menu;
    if (auto* option = ControlCast<COptionUI>(&control))
        return option->GetGroup().empty() ? AccessibleRole::CheckBox : AccessibleRole::PageTab;
    if (Is(control, "Button"))
        return AccessibleRole::PushButton;
    if (Is(control, "ListItem"))
        return AccessibleRole::ListItem;
    if (Is(control, "List"))
        return AccessibleRole::List;
    if (Is(control, "Progress"))
        return AccessibleRole::ProgressBar;
    if (Is(control, "Label"))
        return AccessibleRole::Label;
    if (Is(control, "Picture"))
        return AccessibleRole::Image;
    if (Is(control, "Container"))
        return AccessibleRole::Panel;
    return AccessibleRole::Filler;
}

std::string AccessibleNameOf(CControlUI& control) {
    if (ControlCast<CEditUI>(&control) == nullptr) {
        std::string text = AccessibleText(control.GetText(), ShowsMarkup(control));
        if (!text.empty())
            return text;
    }
    std::string named = AccessibleText(control.GetAttribute("accessiblename"), false);
    if (!named.empty())
        return named;
    return AccessibleText(control.GetToolTip(), false);
}

std::string AccessibleDescriptionOf(CControlUI& control) {
    if (auto* edit = ControlCast<CEditUI>(&control))
        return AccessibleText(edit->GetTipValue(), false);
    std::string tip = AccessibleText(control.GetToolTip(), false);
    return tip == AccessibleNameOf(control) ? std::string() : tip;
}

std::uint32_t AccessibleStatesOf(CControlUI& control) {
    std::uint32_t states = 0;
    const auto set = [&](std::uint32_t bit, bool on) {
        if (on)
            states |= bit;
    };
    set(kAccVisible, control.IsOwnVisible());
    set(kAccShowing, control.IsInSight());
    set(kAccEnabled, control.IsEnabled());
    set(kAccFocusable, control.IsKeyboardEnabled() && control.IsEnabled());
    set(kAccFocused, control.IsFocused());
    const AccessibleRole role = AccessibleRoleOf(control);
    const bool selected = control.GetDrawState().selected;
    if (role == AccessibleRole::CheckBox) {
        states |= kAccCheckable;
        set(kAccChecked, selected);
    } else if (role == AccessibleRole::PageTab || role == AccessibleRole::ListItem ||
               role == AccessibleRole::MenuItem) {
        states |= kAccSelectable;
        set(kAccSelected, selected);
    }
    if (auto* edit = ControlCast<CEditUI>(&control)) {
        states |= kAccSingleLine;
        set(kAccEditable, !edit->IsReadOnly() && edit->IsEnabled());
        set(kAccReadOnly, edit->IsReadOnly());
    }
    return states;
}

AccessibleInfo DescribeControl(CControlUI& control) {
    return AccessibleInfo{AccessibleRoleOf(control), AccessibleNameOf(control),
                          AccessibleDescriptionOf(control), AccessibleStatesOf(control)};
}

std::string AccessibleWindowName(std::string_view title, CPaintManagerUI* manager) {
    if (!title.empty() || manager == nullptr)
        return AccessibleText(title, false);
    if (std::string named = manager->GetWindowAttribute("accessiblename"); !named.empty())
        return AccessibleText(named, false);
    CControlUI* caption = manager->FindControl("caption");
    return caption != nullptr ? AccessibleText(caption->GetText(), ShowsMarkup(*caption)) : std::string();
}

AccessibleRole WindowRoleOf(bool hasOwner, bool toolWindow, std::string_view layoutRole) {
    if (toolWindow)
        return AccessibleRole::Window;
    if (layoutRole == "alert")
        return AccessibleRole::Alert;
    return hasOwner ? AccessibleRole::Dialog : AccessibleRole::Frame;
}

std::string AccessibleText(std::string_view text, bool markup, std::size_t maxBytes) {
    // A screen reader's bus carries only valid UTF-8 (a malformed name would
    // cost the client its connection): malformed bytes a page or the store
    // put into a text become U+FFFD.
    std::string plain = os::Utf16ToUtf8(os::Utf8ToUtf16(markup ? MarkupPlainText(text) : std::string(text)));
    for (char& c : plain) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    if (plain.size() > maxBytes) {
        std::size_t cut = maxBytes;
        // Back to the start of the character the limit falls into.
        while (cut > 0 && (static_cast<unsigned char>(plain[cut]) & 0xC0) == 0x80)
            --cut;
        plain.resize(cut);
    }
    return plain;
}

bool AccessibilityBusReachable(const char* atSpiAddress, const char* sessionAddress, bool runtimeBusExists) {
    const auto given = [](const char* address) { return address != nullptr && *address != '\0'; };
    return given(atSpiAddress) || given(sessionAddress) || runtimeBusExists;
}

int Utf16ToCharOffset(std::string_view utf8, int utf16Pos) {
    return WalkCharacters(utf8, [&](const TextOffset& at) { return at.units < utf16Pos; }).chars;
}

int CharToUtf16Offset(std::string_view utf8, int charPos) {
    return WalkCharacters(utf8, [&](const TextOffset& at) { return at.chars < charPos; }).units;
}

}  // namespace DuiLib
