#include "platform/duilib/backend/gtk/GtkAccessibleButton.h"

#include "platform/duilib/Automation.h"

namespace DuiLib {
namespace {

gboolean ClickLater(gpointer data) {
    auto* object = static_cast<AtkObject*>(data);
    if (CControlUI* control = GtkAccessibleControlResolve(object))
        Automation::PostClick(GtkAccessibleControlWindow(object), control);
    return G_SOURCE_REMOVE;
}

gboolean DoAction(AtkAction* action, gint index) {
    AtkObject* object = ATK_OBJECT(action);
    CControlUI* control = GtkAccessibleControlResolve(object);
    if (index != 0 || control == nullptr || !control->IsInSight() || !control->IsEnabled())
        return FALSE;
    g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, ClickLater, g_object_ref(object), g_object_unref);
    return TRUE;
}

gint GetNActions(AtkAction*) {
    return 1;
}

const gchar* GetActionName(AtkAction*, gint index) {
    return index == 0 ? "click" : nullptr;
}

void ActionInit(AtkActionIface* iface) {
    iface->do_action = DoAction;
    iface->get_n_actions = GetNActions;
    iface->get_name = GetActionName;
}

}  // namespace
}  // namespace DuiLib

G_DEFINE_TYPE_WITH_CODE(VantoButtonAccessible, vanto_button_accessible, vanto_control_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, DuiLib::ActionInit))

static void vanto_button_accessible_init(VantoButtonAccessible*) {}
static void vanto_button_accessible_class_init(VantoButtonAccessibleClass*) {}
