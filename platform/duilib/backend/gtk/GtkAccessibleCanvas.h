#pragma once
// The drawing area a window's renderer paints, as a widget type of its own
// so that its accessible object is ours: a panel whose one child is the
// accessible of the window's root control (GtkAccessibleTree). It sits in
// the window's GtkFixed beside the engine's web views, whose own
// accessible trees the container lists next to it.
//
// UI thread.

#include <gtk/gtk.h>

namespace DuiLib {

class GtkAccessibleTree;

// A new drawing area (floating reference, as gtk_drawing_area_new).
GtkWidget* GtkAccessibleCanvasNew();
// The tree the canvas's accessible lists; null: none (the window goes).
void GtkAccessibleCanvasSetTree(GtkWidget* canvas, GtkAccessibleTree* tree);

}  // namespace DuiLib
