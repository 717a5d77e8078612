#include "platform/duilib/backend/gtk/GtkNativeViews.h"

#include "platform/duilib/UIControl.h"

namespace DuiLib {

GtkNativeViews::~GtkNativeViews() {
    // The engine's widgets outlive the window (the engine destroys them):
    // they leave the container before the window's destruction reaches them.
    for (auto& [control, widget] : m_views) {
        if (gtk_widget_get_parent(widget) == m_fixed)
            gtk_container_remove(GTK_CONTAINER(m_fixed), widget);
    }
}

void GtkNativeViews::Attach(CControlUI* control, GtkWidget* widget, int margin) {
    const auto it = m_views.find(control);
    if (it != m_views.end() && it->second == widget)
        return;
    Detach(control);
    // A widget still placed in another window (the control moved between
    // windows without a detach) leaves it first: a widget has one parent.
    if (GtkWidget* parent = gtk_widget_get_parent(widget))
        gtk_container_remove(GTK_CONTAINER(parent), widget);
    // The container holds its own reference; the engine keeps the widget's
    // ownership and destroys it after NativeViewDetached.
    gtk_fixed_put(GTK_FIXED(m_fixed), widget, 0, 0);
    m_views[control] = widget;
    Update(margin);
}

void GtkNativeViews::Detach(CControlUI* control) {
    const auto it = m_views.find(control);
    if (it == m_views.end())
        return;
    GtkWidget* widget = it->second;
    m_views.erase(it);
    if (gtk_widget_get_parent(widget) == m_fixed)
        gtk_container_remove(GTK_CONTAINER(m_fixed), widget);
}

void GtkNativeViews::Update(int margin) {
    for (auto& [control, widget] : m_views) {
        const RECT rc = control->GetPos();
        const bool visible = control->IsVisible() && rc.Width() > 0 && rc.Height() > 0;
        if (!visible) {
            gtk_widget_hide(widget);
            continue;
        }
        gtk_fixed_move(GTK_FIXED(m_fixed), widget, static_cast<int>(rc.left) + margin,
                       static_cast<int>(rc.top) + margin);
        gtk_widget_set_size_request(widget, static_cast<int>(rc.Width()), static_cast<int>(rc.Height()));
        gtk_widget_show(widget);
    }
}

}  // namespace DuiLib
