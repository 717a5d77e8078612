#pragma once
// The accessible object of one control (an AtkObject with AtkComponent):
// its role, name, description and states as AccessibleInfo decides them,
// its parent and exposed children, its place on screen and the keyboard
// focus. The kinds that do more derive from it: buttons, options and menu
// entries (GtkAccessibleButton: AtkAction), labels (GtkAccessibleText:
// AtkText), edits (GtkAccessibleEdit: AtkText, AtkEditableText) and the
// progress bar (GtkAccessibleValue: AtkValue).
//
// An object holds its control only as a key: every call resolves it
// through the window's tree, and an object whose control or window is gone
// answers ATK_STATE_DEFUNCT and nothing else.
//
// UI thread.

#include "platform/duilib/AccessibleInfo.h"

#include <atk/atk.h>

#include <string>

namespace DuiLib {
class GtkAccessibleTree;
class CControlUI;
}  // namespace DuiLib

struct VantoControlAccessible {
    AtkObject parent;
    DuiLib::GtkAccessibleTree* tree;  // null once defunct
    DuiLib::CControlUI* control;      // a key, resolved through `tree`
    // What was last announced (for the differences to announce next) and
    // the strings handed out (ATK returns them without a copy).
    DuiLib::AccessibleInfo* last;
    std::string* text;
    std::string* name;
    std::string* description;
    int caret;
    int value;
};

struct VantoControlAccessibleClass {
    AtkObjectClass parent_class;
};

GType vanto_control_accessible_get_type();
#define VANTO_CONTROL_ACCESSIBLE(obj) \
    (G_TYPE_CHECK_INSTANCE_CAST((obj), vanto_control_accessible_get_type(), VantoControlAccessible))

namespace DuiLib {

// A new object of the kind the control's role asks for (one reference).
AtkObject* GtkAccessibleControlNew(GtkAccessibleTree& tree, CControlUI* control);
// The control behind `object`, or null once it is gone.
CControlUI* GtkAccessibleControlResolve(AtkObject* object);
// The object's window, or null once it is gone.
HWND GtkAccessibleControlWindow(AtkObject* object);
// The control and its window are gone: the object answers DEFUNCT from now.
void GtkAccessibleControlDefunct(AtkObject* object);
// Announces what changed on the control since the last announcement.
void GtkAccessibleControlAnnounce(AtkObject* object, CControlUI& control);
// The text the object reads (an edit's shown text, a label's plain text).
std::string GtkAccessibleControlText(CControlUI& control);

AtkRole ToAtkRole(AccessibleRole role);

}  // namespace DuiLib
