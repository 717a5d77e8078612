#pragma once
// The accessible object of a control whose text a reader reads (a label;
// GtkAccessibleEdit derives from it): AtkText over the control's plain
// text, one line, with the edit's caret and selection where there is one.
// Offsets are characters, as ATK counts them.
//
// UI thread.

#include "platform/duilib/backend/gtk/GtkAccessibleControl.h"

struct VantoTextAccessible {
    VantoControlAccessible parent;
};
struct VantoTextAccessibleClass {
    VantoControlAccessibleClass parent_class;
};
GType vanto_text_accessible_get_type();
