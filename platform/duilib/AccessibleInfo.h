#pragma once
// What a screen reader is told about a window and its controls: the role,
// name, description and states of each control, decided here from the
// model alone so that the choice is tested without a display. A display
// back end turns the answer into its toolkit's accessible objects.
//
// Names come from what the user reads: the control's text (its markup
// removed), else the layout's "accessiblename", else its tooltip. Every
// name and description is bounded (a page or the store can put any text
// into a control) and carries no control characters.
//
// UI thread, like the controls.

#include "platform/duilib/UIControl.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace DuiLib {

enum class AccessibleRole {
    Filler,  // a bare control: a separator, a spacer
    Panel,   // a layout container
    Frame,   // a top-level window
    Dialog,  // an owned window
    Window,  // a pop-up (menu window, panel, information pop-up)
    Alert,   // a message box
    PushButton,
    PageTab,  // a grouped option: the page it selects
    CheckBox,
    Entry,
    PasswordText,
    Label,
    ProgressBar,
    Image,
    Menu,
    MenuItem,
    List,
    ListItem,
};

// State bits, as a screen reader knows them.
enum AccessibleState : std::uint32_t {
    kAccVisible = 1u << 0,    // the control's own flag
    kAccShowing = 1u << 1,    // it and every parent are visible, and some of it is in sight
    kAccEnabled = 1u << 2,    // enabled and sensitive
    kAccFocusable = 1u << 3,  // the keyboard can reach it
    kAccFocused = 1u << 4,
    kAccCheckable = 1u << 5,
    kAccChecked = 1u << 6,
    kAccSelectable = 1u << 7,
    kAccSelected = 1u << 8,
    kAccEditable = 1u << 9,
    kAccReadOnly = 1u << 10,
    kAccSingleLine = 1u << 11,
};

struct AccessibleInfo {
    AccessibleRole role = AccessibleRole::Filler;
    std::string name;
    std::string description;
    std::uint32_t states = 0;
    bool operator==(const AccessibleInfo&) const = default;
};

// The longest name or description handed out, in bytes (cut at a
// character's start).
constexpr std::size_t kMaxAccessibleText = 512;

// Whether the control has an accessible object of its own. A web view does
// not: its engine's widget brings its own tree.
bool IsAccessibleExposed(CControlUI& control);
// A container's children that have accessible objects, in layout order.
std::vector<CControlUI*> AccessibleChildrenOf(CControlUI& control);
AccessibleRole AccessibleRoleOf(CControlUI& control);
// Text → "accessiblename" → tooltip; an edit's text is its value, not its
// name, so an edit starts at "accessiblename".
std::string AccessibleNameOf(CControlUI& control);
// An edit's hint; for other controls the tooltip when the name is not it.
std::string AccessibleDescriptionOf(CControlUI& control);
std::uint32_t AccessibleStatesOf(CControlUI& control);
AccessibleInfo DescribeControl(CControlUI& control);

// A window's name: its title; a window without one (the dialogs and pop-ups
// are made with none) is named by its layout's "accessiblename", else by its
// "caption" label's text.
std::string AccessibleWindowName(std::string_view title, CPaintManagerUI* manager);

// A window's role: a pop-up (tool window) is a window; a window whose layout
// says accessiblerole="alert" (the message box) an alert, which a screen
// reader reads out as it appears; an owned one a dialog, any other a frame.
AccessibleRole WindowRoleOf(bool hasOwner, bool toolWindow, std::string_view layoutRole = {});

// What a control's text is to a reader: the markup removed (when the
// control shows markup), control characters as spaces, bounded.
std::string AccessibleText(std::string_view text, bool markup, std::size_t maxBytes = kMaxAccessibleText);

// Whether a screen reader's bus can be reached, so that the toolkit's
// accessibility bridge is worth starting: an accessibility bus named
// outright, a session bus named, or the session bus at its usual place in
// the runtime folder. Empty addresses count as none.
bool AccessibilityBusReachable(const char* atSpiAddress, const char* sessionAddress, bool runtimeBusExists);

// Offsets: the edit counts UTF-16 units, a screen reader characters (code
// points). Both clamp to the text.
int Utf16ToCharOffset(std::string_view utf8, int utf16Pos);
int CharToUtf16Offset(std::string_view utf8, int charPos);

}  // namespace DuiLib
