#include "platform/duilib/backend/gtk/GtkAccessibleControl.h"

#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkAccessibleButton.h"
#include "platform/duilib/backend/gtk/GtkAccessibleEdit.h"
#include "platform/duilib/backend/gtk/GtkAccessibleText.h"
#include "platform/duilib/backend/gtk/GtkAccessibleTree.h"
#include "platform/duilib/backend/gtk/GtkAccessibleValue.h"

#include <gtk/gtk.h>

#include <array>
#include <utility>

namespace DuiLib {
namespace {

using Acc = VantoControlAccessible;

Acc* Self(gpointer object) {
    return VANTO_CONTROL_ACCESSIBLE(object);
}

// The state bits of the model and the ATK states that stand for them.
constexpr std::array<std::pair<std::uint32_t, AtkStateType>, 13> kStates{{
    {kAccVisible, ATK_STATE_VISIBLE},
    {kAccShowing, ATK_STATE_SHOWING},
    {kAccEnabled, ATK_STATE_ENABLED},
    {kAccEnabled, ATK_STATE_SENSITIVE},
    {kAccFocusable, ATK_STATE_FOCUSABLE},
    {kAccFocused, ATK_STATE_FOCUSED},
    {kAccCheckable, ATK_STATE_CHECKABLE},
    {kAccChecked, ATK_STATE_CHECKED},
    {kAccSelectable, ATK_STATE_SELECTABLE},
    {kAccSelected, ATK_STATE_SELECTED},
    {kAccEditable, ATK_STATE_EDITABLE},
    {kAccReadOnly, ATK_STATE_READ_ONLY},
    {kAccSingleLine, ATK_STATE_SINGLE_LINE},
}};

bool WindowShowing(Acc* self) {
    return self->tree != nullptr && gtk_widget_get_mapped(self->tree->Canvas());
}

// ---- AtkObject ------------------------------------------------------------------------

const gchar* GetName(AtkObject* object) {
    Acc* self = Self(object);
    if (CControlUI* control = GtkAccessibleControlResolve(object))
        *self->name = AccessibleNameOf(*control);
    return self->name->c_str();
}

const gchar* GetDescription(AtkObject* object) {
    Acc* self = Self(object);
    if (CControlUI* control = GtkAccessibleControlResolve(object))
        *self->description = AccessibleDescriptionOf(*control);
    return self->description->c_str();
}

AtkRole GetRole(AtkObject* object) {
    if (CControlUI* control = GtkAccessibleControlResolve(object))
        Self(object)->last->role = AccessibleRoleOf(*control);
    return ToAtkRole(Self(object)->last->role);
}

AtkStateSet* RefStateSet(AtkObject* object) {
    AtkStateSet* set = atk_state_set_new();
    CControlUI* control = GtkAccessibleControlResolve(object);
    if (control == nullptr) {
        atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
        return set;
    }
    std::uint32_t states = AccessibleStatesOf(*control);
    if (!WindowShowing(Self(object)))
        states &= ~kAccShowing;
    // The control has its window's focus; the keyboard's only while the
    // window has it.
    if (::GetFocus() != GtkAccessibleControlWindow(object))
        states &= ~kAccFocused;
    for (const auto& [bit, state] : kStates) {
        if ((states & bit) != 0)
            atk_state_set_add_state(set, state);
    }
    return set;
}

AtkObject* GetParent(AtkObject* object) {
    Acc* self = Self(object);
    CControlUI* control = GtkAccessibleControlResolve(object);
    return control != nullptr ? self->tree->ParentOf(control) : nullptr;
}

gint GetNChildren(AtkObject* object) {
    CControlUI* control = GtkAccessibleControlResolve(object);
    return control != nullptr ? static_cast<gint>(AccessibleChildrenOf(*control).size()) : 0;
}

AtkObject* RefChild(AtkObject* object, gint index) {
    CControlUI* control = GtkAccessibleControlResolve(object);
    if (control == nullptr || index < 0)
        return nullptr;
    const std::vector<CControlUI*> children = AccessibleChildrenOf(*control);
    if (static_cast<std::size_t>(index) >= children.size())
        return nullptr;
    AtkObject* child = Self(object)->tree->AccessibleFor(children[static_cast<std::size_t>(index)]);
    return child != nullptr ? ATK_OBJECT(g_object_ref(child)) : nullptr;
}

gint GetIndexInParent(AtkObject* object) {
    CControlUI* control = GtkAccessibleControlResolve(object);
    if (control == nullptr)
        return -1;
    if (control->GetParent() == nullptr)
        return 0;  // the root, the canvas's only child
    const std::vector<CControlUI*> siblings = AccessibleChildrenOf(*control->GetParent());
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] == control)
            return static_cast<gint>(i);
    }
    return -1;
}

// The control's name as the "id" attribute: what the layout and the
// automation channel call it.
AtkAttributeSet* GetAttributes(AtkObject* object) {
    CControlUI* control = GtkAccessibleControlResolve(object);
    if (control == nullptr || control->GetName().empty())
        return nullptr;
    auto* attribute = static_cast<AtkAttribute*>(g_malloc(sizeof(AtkAttribute)));
    attribute->name = g_strdup("id");
    attribute->value = g_strdup(AccessibleText(control->GetName(), false, 128).c_str());
    return g_slist_prepend(nullptr, attribute);
}

// ---- AtkComponent ----------------------------------------------------------------------

void GetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType type) {
    *x = *y = *width = *height = 0;
    AtkObject* object = ATK_OBJECT(component);
    CControlUI* control = GtkAccessibleControlResolve(object);
    GtkWidget* canvas = control != nullptr ? Self(object)->tree->Canvas() : nullptr;
    GdkWindow* window = canvas != nullptr ? gtk_widget_get_window(canvas) : nullptr;
    if (window == nullptr)
        return;
    const RECT rc = control->GetPos();
    int originX = 0;
    int originY = 0;
    if (type == ATK_XY_SCREEN) {
        gdk_window_get_origin(window, &originX, &originY);
    } else if (type == ATK_XY_WINDOW) {
        gtk_widget_translate_coordinates(canvas, gtk_widget_get_toplevel(canvas), 0, 0, &originX, &originY);
    } else if (CControlUI* parent = control->GetParent()) {
        originX = -static_cast<int>(parent->GetPos().left);
        originY = -static_cast<int>(parent->GetPos().top);
    }
    *x = originX + static_cast<int>(rc.left);
    *y = originY + static_cast<int>(rc.top);
    *width = static_cast<int>(rc.Width());
    *height = static_cast<int>(rc.Height());
}

gboolean GrabFocus(AtkComponent* component) {
    CControlUI* control = GtkAccessibleControlResolve(ATK_OBJECT(component));
    if (control == nullptr || !control->IsKeyboardEnabled() || !control->IsInSight() || !control->IsEnabled())
        return FALSE;
    control->SetFocus();
    return control->IsFocused() ? TRUE : FALSE;
}

AtkLayer GetLayer(AtkComponent*) {
    return ATK_LAYER_WIDGET;
}

void ComponentInit(AtkComponentIface* iface) {
    iface->get_extents = GetExtents;
    iface->grab_focus = GrabFocus;
    iface->get_layer = GetLayer;
}

}  // namespace
}  // namespace DuiLib

G_DEFINE_TYPE_WITH_CODE(VantoControlAccessible, vanto_control_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, DuiLib::ComponentInit))

static void vanto_control_accessible_init(VantoControlAccessible* self) {
    self->tree = nullptr;
    self->control = nullptr;
    self->last = new DuiLib::AccessibleInfo();
    self->text = new std::string();
    self->name = new std::string();
    self->description = new std::string();
    self->caret = -1;
    self->value = 0;
}

static void vanto_control_accessible_finalize(GObject* object) {
    VantoControlAccessible* self = VANTO_CONTROL_ACCESSIBLE(object);
    delete self->last;
    delete self->text;
    delete self->name;
    delete self->description;
    G_OBJECT_CLASS(vanto_control_accessible_parent_class)->finalize(object);
}

static void vanto_control_accessible_class_init(VantoControlAccessibleClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = vanto_control_accessible_finalize;
    AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
    atk->get_name = DuiLib::GetName;
    atk->get_description = DuiLib::GetDescription;
    atk->get_role = DuiLib::GetRole;
    atk->ref_state_set = DuiLib::RefStateSet;
    atk->get_parent = DuiLib::GetParent;
    atk->get_n_children = DuiLib::GetNChildren;
    atk->ref_child = DuiLib::RefChild;
    atk->get_index_in_parent = DuiLib::GetIndexInParent;
    atk->get_attributes = DuiLib::GetAttributes;
}

namespace DuiLib {

AtkRole ToAtkRole(AccessibleRole role) {
    switch (role) {
        case AccessibleRole::Filler:
            return ATK_ROLE_FILLER;
        case AccessibleRole::Panel:
            return ATK_ROLE_PANEL;
        case AccessibleRole::Frame:
            return ATK_ROLE_FRAME;
        case AccessibleRole::Dialog:
            return ATK_ROLE_DIALOG;
        case AccessibleRole::Window:
            return ATK_ROLE_WINDOW;
        case AccessibleRole::Alert:
            return ATK_ROLE_ALERT;
        case AccessibleRole::PushButton:
            return ATK_ROLE_PUSH_BUTTON;
        case AccessibleRole::PageTab:
            return ATK_ROLE_PAGE_TAB;
        case AccessibleRole::CheckBox:
            return ATK_ROLE_CHECK_BOX;
        case AccessibleRole::Entry:
            return ATK_ROLE_ENTRY;
        case AccessibleRole::PasswordText:
            return ATK_ROLE_PASSWORD_TEXT;
        case AccessibleRole::Label:
            return ATK_ROLE_LABEL;
        case AccessibleRole::ProgressBar:
            return ATK_ROLE_PROGRESS_BAR;
        case AccessibleRole::Image:
            return ATK_ROLE_IMAGE;
        case AccessibleRole::Menu:
            return ATK_ROLE_MENU;
        case AccessibleRole::MenuItem:
            return ATK_ROLE_MENU_ITEM;
        case AccessibleRole::List:
            return ATK_ROLE_LIST;
        case AccessibleRole::ListItem:
            return ATK_ROLE_LIST_ITEM;
    }
    return ATK_ROLE_UNKNOWN;
}

AtkObject* GtkAccessibleControlNew(GtkAccessibleTree& tree, CControlUI* control) {
    GType type = vanto_control_accessible_get_type();
    switch (AccessibleRoleOf(*control)) {
        case AccessibleRole::PushButton:
        case AccessibleRole::PageTab:
        case AccessibleRole::CheckBox:
        case AccessibleRole::MenuItem:
        case AccessibleRole::ListItem:
            type = vanto_button_accessible_get_type();
            break;
        case AccessibleRole::Entry:
        case AccessibleRole::PasswordText:
            type = vanto_edit_accessible_get_type();
            break;
        case AccessibleRole::Label:
            type = vanto_text_accessible_get_type();
            break;
        case AccessibleRole::ProgressBar:
            type = vanto_value_accessible_get_type();
            break;
        default:
            break;
    }
    auto* object = ATK_OBJECT(g_object_new(type, nullptr));
    Acc* self = Self(object);
    self->tree = &tree;
    self->control = control;
    // What a screen reader learns from now on is announced as it changes.
    *self->last = DescribeControl(*control);
    *self->name = self->last->name;
    *self->description = self->last->description;
    *self->text = GtkAccessibleControlText(*control);
    if (auto* edit = ControlCast<CEditUI>(control))
        self->caret = edit->GetCaret();
    if (auto* progress = ControlCast<CProgressUI>(control))
        self->value = progress->GetValue();
    object->role = ToAtkRole(self->last->role);
    atk_object_initialize(object, nullptr);
    return object;
}

CControlUI* GtkAccessibleControlResolve(AtkObject* object) {
    Acc* self = Self(object);
    return self->tree != nullptr ? self->tree->Resolve(self->control) : nullptr;
}

HWND GtkAccessibleControlWindow(AtkObject* object) {
    Acc* self = Self(object);
    return self->tree != nullptr ? self->tree->Hwnd() : nullptr;
}

void GtkAccessibleControlDefunct(AtkObject* object) {
    Acc* self = Self(object);
    if (self->tree == nullptr)
        return;
    self->tree = nullptr;
    self->control = nullptr;
    atk_object_notify_state_change(object, ATK_STATE_DEFUNCT, TRUE);
}

std::string GtkAccessibleControlText(CControlUI& control) {
    if (auto* edit = ControlCast<CEditUI>(&control))
        return edit->GetShownText();
    auto* label = ControlCast<CLabelUI>(&control);
    return AccessibleText(control.GetText(), label != nullptr && label->IsShowHtml(), 4096);
}

namespace {

void AnnounceText(AtkObject* object, CControlUI& control) {
    Acc* self = Self(object);
    std::string text = GtkAccessibleControlText(control);
    if (text != *self->text) {
        const std::string old = std::exchange(*self->text, text);
        const auto oldLength = static_cast<gint>(g_utf8_strlen(old.c_str(), -1));
        const auto newLength = static_cast<gint>(g_utf8_strlen(text.c_str(), -1));
        if (oldLength > 0)
            g_signal_emit_by_name(object, "text-remove", 0, oldLength, old.c_str());
        if (newLength > 0)
            g_signal_emit_by_name(object, "text-insert", 0, newLength, text.c_str());
    }
    if (auto* edit = ControlCast<CEditUI>(&control); edit != nullptr && edit->GetCaret() != self->caret) {
        self->caret = edit->GetCaret();
        g_signal_emit_by_name(object, "text-caret-moved", Utf16ToCharOffset(edit->GetText(), self->caret));
    }
}

void AnnounceValue(AtkObject* object, CControlUI& control) {
    auto* progress = ControlCast<CProgressUI>(&control);
    Acc* self = Self(object);
    if (progress == nullptr || progress->GetValue() == self->value)
        return;
    self->value = progress->GetValue();
    const std::string text = std::to_string(self->value);
    g_signal_emit_by_name(object, "value-changed", static_cast<gdouble>(self->value), text.c_str());
    g_object_notify(G_OBJECT(object), "accessible-value");
}

}  // namespace

void GtkAccessibleControlAnnounce(AtkObject* object, CControlUI& control) {
    Acc* self = Self(object);
    if (self->tree == nullptr)
        return;
    const AccessibleInfo now = DescribeControl(control);
    const AccessibleInfo before = std::exchange(*self->last, now);
    const std::uint32_t changed = now.states ^ before.states;
    for (const auto& [bit, state] : kStates) {
        if ((changed & bit) != 0)
            atk_object_notify_state_change(object, state, (now.states & bit) != 0 ? TRUE : FALSE);
    }
    if (now.name != before.name) {
        *self->name = now.name;
        g_object_notify(G_OBJECT(object), "accessible-name");
    }
    if (now.description != before.description) {
        *self->description = now.description;
        g_object_notify(G_OBJECT(object), "accessible-description");
    }
    if (ATK_IS_TEXT(object))
        AnnounceText(object, control);
    if (ATK_IS_VALUE(object))
        AnnounceValue(object, control);
}

}  // namespace DuiLib
