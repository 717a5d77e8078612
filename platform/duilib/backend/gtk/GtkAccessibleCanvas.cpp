#include "platform/duilib/backend/gtk/GtkAccessibleCanvas.h"

#include "platform/duilib/backend/gtk/GtkAccessibleTree.h"

#include <gtk/gtk-a11y.h>

struct VantoCanvas {
    GtkDrawingArea parent;
    DuiLib::GtkAccessibleTree* tree;
};
struct VantoCanvasClass {
    GtkDrawingAreaClass parent_class;
};
struct VantoCanvasAccessible {
    GtkWidgetAccessible parent;
};
struct VantoCanvasAccessibleClass {
    GtkWidgetAccessibleClass parent_class;
};

GType vanto_canvas_get_type();
GType vanto_canvas_accessible_get_type();

G_DEFINE_TYPE(VantoCanvas, vanto_canvas, GTK_TYPE_DRAWING_AREA)
G_DEFINE_TYPE(VantoCanvasAccessible, vanto_canvas_accessible, GTK_TYPE_WIDGET_ACCESSIBLE)

namespace DuiLib {
namespace {

GtkAccessibleTree* TreeOf(AtkObject* object) {
    GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(object));
    if (widget == nullptr)
        return nullptr;
    GtkAccessibleTree* tree = G_TYPE_CHECK_INSTANCE_CAST(widget, vanto_canvas_get_type(), VantoCanvas)->tree;
    if (tree != nullptr)
        tree->Activate();
    return tree;
}

gint GetNChildren(AtkObject* object) {
    GtkAccessibleTree* tree = TreeOf(object);
    return tree != nullptr && tree->Root() != nullptr ? 1 : 0;
}

AtkObject* RefChild(AtkObject* object, gint index) {
    GtkAccessibleTree* tree = TreeOf(object);
    if (tree == nullptr || index != 0 || tree->Root() == nullptr)
        return nullptr;
    AtkObject* root = tree->AccessibleFor(tree->Root());
    return root != nullptr ? ATK_OBJECT(g_object_ref(root)) : nullptr;
}

void InitializeAccessible(AtkObject* object, gpointer data) {
    ATK_OBJECT_CLASS(vanto_canvas_accessible_parent_class)->initialize(object, data);
    object->role = ATK_ROLE_PANEL;
}

}  // namespace
}  // namespace DuiLib

static void vanto_canvas_init(VantoCanvas* self) {
    self->tree = nullptr;
}

static void vanto_canvas_class_init(VantoCanvasClass* klass) {
    gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), vanto_canvas_accessible_get_type());
}

static void vanto_canvas_accessible_init(VantoCanvasAccessible*) {}

static void vanto_canvas_accessible_class_init(VantoCanvasAccessibleClass* klass) {
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->initialize = DuiLib::InitializeAccessible;
    atk->get_n_children = DuiLib::GetNChildren;
    atk->ref_child = DuiLib::RefChild;
}

namespace DuiLib {

GtkWidget* GtkAccessibleCanvasNew() {
    return GTK_WIDGET(g_object_new(vanto_canvas_get_type(), nullptr));
}

void GtkAccessibleCanvasSetTree(GtkWidget* canvas, GtkAccessibleTree* tree) {
    G_TYPE_CHECK_INSTANCE_CAST(canvas, vanto_canvas_get_type(), VantoCanvas)->tree = tree;
}

}  // namespace DuiLib
