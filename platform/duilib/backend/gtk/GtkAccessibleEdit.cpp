#include "platform/duilib/backend/gtk/GtkAccessibleEdit.h"

#include "platform/duilib/UIEdit.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/Text.h"

#include <algorithm>

namespace DuiLib {
namespace {

// The edit, focused in its active window, when a user could type into it
// now; else null.
CEditUI* TypingTarget(AtkEditableText* text, HWND* hwnd) {
    AtkObject* object = ATK_OBJECT(text);
    auto* edit = ControlCast<CEditUI>(GtkAccessibleControlResolve(object));
    *hwnd = GtkAccessibleControlWindow(object);
    if (edit == nullptr || edit->IsReadOnly() || !edit->IsInSight() || !edit->IsEnabled() ||
        !::IsWindowVisible(*hwnd) || !::IsWindowEnabled(*hwnd))
        return nullptr;
    if (::GetActiveWindow() != *hwnd)
        ::SetForegroundWindow(*hwnd);
    edit->SetFocus();
    return edit->IsFocused() ? edit : nullptr;
}

void Type(HWND hwnd, std::string_view utf8) {
    for (char16_t unit : os::Utf8ToUtf16(utf8))
        ::SendMessageW(hwnd, WM_CHAR, unit, 1);
}

void InsertText(AtkEditableText* text, const gchar* string, gint length, gint* position) {
    HWND hwnd = nullptr;
    CEditUI* edit = TypingTarget(text, &hwnd);
    if (edit == nullptr || string == nullptr || position == nullptr)
        return;
    const int at = CharToUtf16Offset(edit->GetText(), std::max(0, *position));
    edit->SetSel(at, at);
    Type(hwnd,
         length < 0 ? std::string_view(string) : std::string_view(string, static_cast<std::size_t>(length)));
    // The edit may be gone with what its text change caused.
    if (auto* still = ControlCast<CEditUI>(GtkAccessibleControlResolve(ATK_OBJECT(text))))
        *position = Utf16ToCharOffset(still->GetText(), still->GetCaret());
}

void DeleteText(AtkEditableText* text, gint start, gint end) {
    HWND hwnd = nullptr;
    CEditUI* edit = TypingTarget(text, &hwnd);
    if (edit == nullptr)
        return;
    const std::string& content = edit->GetText();
    const int from = CharToUtf16Offset(content, std::max(0, start));
    const int to = end < 0 ? static_cast<int>(os::Utf16Length(content)) : CharToUtf16Offset(content, end);
    if (to <= from)
        return;
    edit->SetSel(from, to);
    ::SendMessageW(hwnd, WM_KEYDOWN, VK_BACK, 1);
}

void SetTextContents(AtkEditableText* text, const gchar* string) {
    HWND hwnd = nullptr;
    CEditUI* edit = TypingTarget(text, &hwnd);
    if (edit == nullptr || string == nullptr)
        return;
    edit->SetSel(0, -1);
    if (*string == '\0')
        ::SendMessageW(hwnd, WM_KEYDOWN, VK_BACK, 1);
    else
        Type(hwnd, string);  // replaces the selection
}

void EditableTextInit(AtkEditableTextIface* iface) {
    iface->insert_text = InsertText;
    iface->delete_text = DeleteText;
    iface->set_text_contents = SetTextContents;
}

}  // namespace
}  // namespace DuiLib

G_DEFINE_TYPE_WITH_CODE(VantoEditAccessible, vanto_edit_accessible, vanto_text_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_EDITABLE_TEXT, DuiLib::EditableTextInit))

static void vanto_edit_accessible_init(VantoEditAccessible*) {}
static void vanto_edit_accessible_class_init(VantoEditAccessibleClass*) {}
