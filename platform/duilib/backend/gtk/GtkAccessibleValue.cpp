#include "platform/duilib/backend/gtk/GtkAccessibleValue.h"

#include "platform/duilib/UIProgress.h"

#include <string>

namespace DuiLib {
namespace {

CProgressUI* Progress(AtkValue* value) {
    return ControlCast<CProgressUI>(GtkAccessibleControlResolve(ATK_OBJECT(value)));
}

void SetDouble(GValue* out, double number) {
    g_value_init(out, G_TYPE_DOUBLE);
    g_value_set_double(out, number);
}

void GetCurrentValue(AtkValue* value, GValue* out) {
    CProgressUI* progress = Progress(value);
    SetDouble(out, progress != nullptr ? progress->GetValue() : 0);
}

void GetMinimumValue(AtkValue* value, GValue* out) {
    CProgressUI* progress = Progress(value);
    SetDouble(out, progress != nullptr ? progress->GetMinValue() : 0);
}

void GetMaximumValue(AtkValue* value, GValue* out) {
    CProgressUI* progress = Progress(value);
    SetDouble(out, progress != nullptr ? progress->GetMaxValue() : 0);
}

void GetValueAndText(AtkValue* value, gdouble* current, gchar** text) {
    CProgressUI* progress = Progress(value);
    const int now = progress != nullptr ? progress->GetValue() : 0;
    if (current != nullptr)
        *current = now;
    if (text != nullptr)
        *text = g_strdup(std::to_string(now).c_str());
}

AtkRange* GetRange(AtkValue* value) {
    CProgressUI* progress = Progress(value);
    if (progress == nullptr)
        return nullptr;
    return atk_range_new(progress->GetMinValue(), progress->GetMaxValue(), nullptr);
}

void ValueInit(AtkValueIface* iface) {
    iface->get_current_value = GetCurrentValue;
    iface->get_minimum_value = GetMinimumValue;
    iface->get_maximum_value = GetMaximumValue;
    iface->get_value_and_text = GetValueAndText;
    iface->get_range = GetRange;
}

}  // namespace
}  // namespace DuiLib

G_DEFINE_TYPE_WITH_CODE(VantoValueAccessible, vanto_value_accessible, vanto_control_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, DuiLib::ValueInit))

static void vanto_value_accessible_init(VantoValueAccessible*) {}
static void vanto_value_accessible_class_init(VantoValueAccessibleClass*) {}
