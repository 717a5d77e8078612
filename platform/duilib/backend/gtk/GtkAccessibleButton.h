#pragma once
// The accessible object of a control a user clicks (a button, an option, a
// menu entry, a list item): its one action, "click", clicks it through the
// path a mouse click takes (Automation::PostClick), after the screen
// reader's call has returned, as the toolkit's own buttons do: a click
// that opens a modal dialog must not hold the reader's call.
//
// UI thread.

#include "platform/duilib/backend/gtk/GtkAccessibleControl.h"

struct VantoButtonAccessible {
    VantoControlAccessible parent;
};
struct VantoButtonAccessibleClass {
    VantoControlAccessibleClass parent_class;
};
GType vanto_button_accessible_get_type();
