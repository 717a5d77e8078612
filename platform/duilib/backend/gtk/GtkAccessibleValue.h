#pragma once
// The accessible object of a progress bar: its value, minimum and maximum
// (AtkValue), announced as the value changes.
//
// UI thread.

#include "platform/duilib/backend/gtk/GtkAccessibleControl.h"

struct VantoValueAccessible {
    VantoControlAccessible parent;
};
struct VantoValueAccessibleClass {
    VantoControlAccessibleClass parent_class;
};
GType vanto_value_accessible_get_type();
