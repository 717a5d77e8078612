#include "platform/duilib/backend/gtk/GtkNativeViews.h"

#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WinUser.h"

namespace DuiLib {

GtkNativeViews::GtkNativeViews(GtkWidget* fixed, ManagerLookup manager)
    : m_fixed(fixed), m_manager(std::move(manager)) {
    GtkWindow* toplevel = Toplevel();
    g_signal_connect(toplevel, "focus", G_CALLBACK(FocusCb), this);
    g_signal_connect(toplevel, "set-focus", G_CALLBACK(SetFocusCb), this);
}

GtkNativeViews::~GtkNativeViews() {
    g_signal_handlers_disconnect_by_data(Toplevel(), this);
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

// ---- the keyboard -------------------------------------------------------------------------

GtkWindow* GtkNativeViews::Toplevel() const {
    return GTK_WINDOW(gtk_widget_get_toplevel(m_fixed));
}

CControlUI* GtkNativeViews::FocusedView() const {
    return ViewHolding(gtk_window_get_focus(Toplevel()));
}

CControlUI* GtkNativeViews::ViewHolding(GtkWidget* focus) const {
    if (focus == nullptr)
        return nullptr;
    for (const auto& [control, widget] : m_views) {
        if (focus == widget || gtk_widget_is_ancestor(focus, widget))
            return control;
    }
    return nullptr;
}

bool GtkNativeViews::HasKeys() const {
    return FocusedView() != nullptr;
}

void GtkNativeViews::FollowFocus() {
    CPaintManagerUI* manager = m_manager();
    CControlUI* focus = manager != nullptr ? manager->GetFocus() : nullptr;
    const auto it = focus != nullptr ? m_views.find(focus) : m_views.end();
    // Only a window that has the keyboard hands it on: a window in the
    // background must not pull the desktop's focus.
    if (it != m_views.end() && ::GetFocus() == manager->GetPaintWindow()) {
        if (FocusedView() != focus && gtk_widget_get_visible(it->second))
            gtk_widget_grab_focus(it->second);
        return;
    }
    if (it == m_views.end() && FocusedView() != nullptr)
        gtk_window_set_focus(Toplevel(), nullptr);
}

// The toolkit moves its focus through the window: a Tab the page did not
// keep (past its last or first element), or the window's first show looking
// for a widget to focus. The window layer's Tab order decides either way.
bool GtkNativeViews::OnToplevelFocus(GtkDirectionType direction) {
    CPaintManagerUI* manager = m_manager();
    const bool tab = direction == GTK_DIR_TAB_FORWARD || direction == GTK_DIR_TAB_BACKWARD;
    if (manager != nullptr && tab && FocusedView() != nullptr && FocusedView() == manager->GetFocus()) {
        manager->MoveFocus(direction == GTK_DIR_TAB_FORWARD);
        FollowFocus();
    }
    return true;
}

// A click into a page (the engine grabs the focus itself): the page's
// control takes the window layer's focus, as a click on a control does.
// The toolkit tells before it moves its focus to `widget`.
void GtkNativeViews::OnSetFocus(GtkWidget* widget) {
    CPaintManagerUI* manager = m_manager();
    if (manager == nullptr)
        return;
    if (CControlUI* control = ViewHolding(widget); control != nullptr && manager->GetFocus() != control) {
        manager->SetFocusByKeyboardState(false);
        manager->SetFocus(control);
    }
}

gboolean GtkNativeViews::FocusCb(GtkWidget*, GtkDirectionType direction, gpointer self) {
    return static_cast<GtkNativeViews*>(self)->OnToplevelFocus(direction) ? TRUE : FALSE;
}

void GtkNativeViews::SetFocusCb(GtkWindow*, GtkWidget* widget, gpointer self) {
    static_cast<GtkNativeViews*>(self)->OnSetFocus(widget);
}

}  // namespace DuiLib
