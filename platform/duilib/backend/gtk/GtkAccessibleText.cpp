#include "platform/duilib/backend/gtk/GtkAccessibleText.h"

#include "platform/duilib/UIEdit.h"

#include <algorithm>

namespace DuiLib {
namespace {

std::string TextOf(AtkText* text) {
    CControlUI* control = GtkAccessibleControlResolve(ATK_OBJECT(text));
    return control != nullptr ? GtkAccessibleControlText(*control) : std::string();
}

CEditUI* EditOf(AtkText* text) {
    return ControlCast<CEditUI>(GtkAccessibleControlResolve(ATK_OBJECT(text)));
}

gint Length(const std::string& text) {
    return static_cast<gint>(g_utf8_strlen(text.c_str(), static_cast<gssize>(text.size())));
}

// Characters [start, end) of `text`; end -1: to the end.
gchar* Slice(const std::string& text, gint start, gint end) {
    const gint length = Length(text);
    if (end < 0 || end > length)
        end = length;
    start = std::clamp(start, 0, end);
    const gchar* from = g_utf8_offset_to_pointer(text.c_str(), start);
    const gchar* to = g_utf8_offset_to_pointer(text.c_str(), end);
    return g_strndup(from, static_cast<gsize>(to - from));
}

gchar* GetText(AtkText* text, gint start, gint end) {
    return Slice(TextOf(text), start, end);
}

gint GetCharacterCount(AtkText* text) {
    return Length(TextOf(text));
}

gunichar GetCharacterAtOffset(AtkText* text, gint offset) {
    const std::string content = TextOf(text);
    if (offset < 0 || offset >= Length(content))
        return 0;
    return g_utf8_get_char(g_utf8_offset_to_pointer(content.c_str(), offset));
}

// One line: any unit larger than a character is the whole text.
gchar* GetStringAtOffset(AtkText* text, gint offset, AtkTextGranularity granularity, gint* start, gint* end) {
    const std::string content = TextOf(text);
    const gint length = Length(content);
    if (offset < 0 || offset > length) {
        *start = *end = -1;
        return nullptr;
    }
    if (granularity == ATK_TEXT_GRANULARITY_CHAR) {
        *start = offset;
        *end = std::min(offset + 1, length);
    } else {
        *start = 0;
        *end = length;
    }
    return Slice(content, *start, *end);
}

gint GetCaretOffset(AtkText* text) {
    CEditUI* edit = EditOf(text);
    return edit != nullptr ? Utf16ToCharOffset(edit->GetText(), edit->GetCaret()) : -1;
}

gboolean SetCaretOffset(AtkText* text, gint offset) {
    CEditUI* edit = EditOf(text);
    if (edit == nullptr)
        return FALSE;
    const int at = CharToUtf16Offset(edit->GetText(), std::max(0, offset));
    edit->SetSel(at, at);
    return TRUE;
}

gint GetNSelections(AtkText* text) {
    CEditUI* edit = EditOf(text);
    if (edit == nullptr)
        return 0;
    const auto [from, to] = edit->GetSelection();
    return from != to ? 1 : 0;
}

gchar* GetSelection(AtkText* text, gint index, gint* start, gint* end) {
    CEditUI* edit = EditOf(text);
    *start = *end = 0;
    if (edit == nullptr || index != 0 || GetNSelections(text) == 0)
        return nullptr;
    const auto [from, to] = edit->GetSelection();
    *start = Utf16ToCharOffset(edit->GetText(), from);
    *end = Utf16ToCharOffset(edit->GetText(), to);
    return Slice(TextOf(text), *start, *end);
}

gboolean SetSelection(AtkText* text, gint index, gint start, gint end) {
    CEditUI* edit = EditOf(text);
    if (edit == nullptr || index != 0)
        return FALSE;
    const std::string& content = edit->GetText();
    edit->SetSel(CharToUtf16Offset(content, std::max(0, start)),
                 CharToUtf16Offset(content, std::max(0, end)));
    return TRUE;
}

void TextInit(AtkTextIface* iface) {
    iface->get_text = GetText;
    iface->get_character_count = GetCharacterCount;
    iface->get_character_at_offset = GetCharacterAtOffset;
    iface->get_string_at_offset = GetStringAtOffset;
    iface->get_caret_offset = GetCaretOffset;
    iface->set_caret_offset = SetCaretOffset;
    iface->get_n_selections = GetNSelections;
    iface->get_selection = GetSelection;
    iface->set_selection = SetSelection;
}

}  // namespace
}  // namespace DuiLib

G_DEFINE_TYPE_WITH_CODE(VantoTextAccessible, vanto_text_accessible, vanto_control_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, DuiLib::TextInit))

static void vanto_text_accessible_init(VantoTextAccessible*) {}
static void vanto_text_accessible_class_init(VantoTextAccessibleClass*) {}
