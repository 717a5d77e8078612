#pragma once
// The accessible object of an edit: its text as GtkAccessibleText reads
// it, and text changed by a screen reader (AtkEditableText) typed through
// the edit's own input path, one character message at a time, so that
// "maxchar", "numberonly" and read-only apply as to a user's typing and
// the window hears the same "textchanged".
//
// UI thread.

#include "platform/duilib/backend/gtk/GtkAccessibleText.h"

struct VantoEditAccessible {
    VantoTextAccessible parent;
};
struct VantoEditAccessibleClass {
    VantoTextAccessibleClass parent_class;
};
GType vanto_edit_accessible_get_type();
