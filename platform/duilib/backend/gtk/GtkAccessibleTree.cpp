#include "platform/duilib/backend/gtk/GtkAccessibleTree.h"

#include "platform/duilib/AccessibleInfo.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/backend/gtk/GtkAccessibleCanvas.h"
#include "platform/duilib/backend/gtk/GtkAccessibleControl.h"

#include <set>
#include <utility>
#include <vector>

namespace DuiLib {

GtkAccessibleTree::GtkAccessibleTree(HWND hwnd, std::function<CPaintManagerUI*()> manager, GtkWidget* canvas)
    : m_hwnd(hwnd), m_manager(std::move(manager)), m_canvas(canvas) {
    GtkAccessibleCanvasSetTree(m_canvas, this);
}

GtkAccessibleTree::~GtkAccessibleTree() {
    GtkAccessibleCanvasSetTree(m_canvas, nullptr);
    // A screen reader may hold on to any of them: they answer DEFUNCT.
    for (auto& [control, object] : std::exchange(m_objects, {})) {
        GtkAccessibleControlDefunct(object);
        g_object_unref(object);
    }
}

CControlUI* GtkAccessibleTree::Root() const {
    CPaintManagerUI* manager = m_manager();
    return manager != nullptr ? manager->GetRoot() : nullptr;
}

CControlUI* GtkAccessibleTree::Resolve(CControlUI* control) const {
    CControlUI* root = Root();
    if (control == nullptr || root == nullptr)
        return nullptr;
    // Found by walking the live tree, never by following the pointer: a
    // control that left it may be freed already.
    CControlUI* found = nullptr;
    root->ForEach([&](CControlUI* each) {
        if (each == control)
            found = each;
    });
    return found;
}

AtkObject* GtkAccessibleTree::AccessibleFor(CControlUI* control) {
    if (Resolve(control) == nullptr || !IsAccessibleExposed(*control))
        return nullptr;
    auto [it, inserted] = m_objects.try_emplace(control, nullptr);
    if (inserted)
        it->second = GtkAccessibleControlNew(*this, control);
    return it->second;
}

AtkObject* GtkAccessibleTree::ParentOf(CControlUI* control) {
    for (CControlUI* parent = control->GetParent(); parent != nullptr; parent = parent->GetParent()) {
        if (IsAccessibleExposed(*parent))
            return AccessibleFor(parent);
    }
    return gtk_widget_get_accessible(m_canvas);
}

void GtkAccessibleTree::Prune() {
    std::set<CControlUI*> live;
    if (CControlUI* root = Root())
        root->ForEach([&](CControlUI* each) { live.insert(each); });
    for (auto it = m_objects.begin(); it != m_objects.end();) {
        if (live.count(it->first) != 0) {
            ++it;
            continue;
        }
        AtkObject* object = it->second;
        it = m_objects.erase(it);
        GtkAccessibleControlDefunct(object);
        g_object_unref(object);
    }
}

void GtkAccessibleTree::AnnounceNewChildren(CControlUI* container) {
    const auto at = m_objects.find(container);
    if (at == m_objects.end())
        return;
    AtkObject* parent = at->second;
    const std::vector<CControlUI*> children = AccessibleChildrenOf(*container);
    for (std::size_t index = 0; index < children.size(); ++index) {
        if (m_objects.count(children[index]) != 0)
            continue;
        if (AtkObject* object = AccessibleFor(children[index]))
            g_signal_emit_by_name(parent, "children-changed::add", static_cast<gint>(index), object);
    }
}

void GtkAccessibleTree::ControlChanged(CControlUI* control, ControlChange what) {
    // The caption names an untitled window (the browser dialog's follows its
    // page).
    if (what == ControlChange::Text && control->GetName() == "caption")
        DescribeWindow(GTK_WINDOW(gtk_widget_get_toplevel(m_canvas)));
    if (!m_active)
        return;
    if (what == ControlChange::Children) {
        // Objects whose controls left go defunct; their old parents' child
        // lists are asked again by the reader on the next look.
        Prune();
        AnnounceNewChildren(control);
    }
    // A control taking the focus is announced even before the reader saw it.
    const bool focused = control->IsFocused();
    auto it = m_objects.find(control);
    AtkObject* object = it != m_objects.end() ? it->second : (focused ? AccessibleFor(control) : nullptr);
    if (object == nullptr)
        return;
    if (it == m_objects.end()) {
        atk_object_notify_state_change(object, ATK_STATE_FOCUSED, TRUE);
        return;
    }
    GtkAccessibleControlAnnounce(object, *control);
}

void GtkAccessibleTree::DescribeWindow(GtkWindow* toplevel) {
    CPaintManagerUI* manager = m_manager();
    const char* title = gtk_window_get_title(toplevel);
    const std::string name = AccessibleWindowName(title != nullptr ? title : "", manager);
    AtkObject* object = gtk_widget_get_accessible(GTK_WIDGET(toplevel));
    const char* now = atk_object_get_name(object);
    if (!name.empty() && (now == nullptr || name != now))
        atk_object_set_name(object, name.c_str());
    // The role given at creation says whether the window is owned or a
    // pop-up; the layout, built since, may make it an alert.
    const AtkRole created = atk_object_get_role(object);
    const std::string layoutRole = manager != nullptr ? manager->GetWindowAttribute("accessiblerole") : "";
    const AtkRole role =
        ToAtkRole(WindowRoleOf(created != ATK_ROLE_FRAME, created == ATK_ROLE_WINDOW, layoutRole));
    if (role != created)
        atk_object_set_role(object, role);
}

void GtkAccessibleTree::SetWindowRole(GtkWidget* window, bool hasOwner, bool toolWindow) {
    atk_object_set_role(gtk_widget_get_accessible(window), ToAtkRole(WindowRoleOf(hasOwner, toolWindow)));
}

}  // namespace DuiLib
