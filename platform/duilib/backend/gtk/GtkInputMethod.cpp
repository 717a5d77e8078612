#include "platform/duilib/backend/gtk/GtkInputMethod.h"

#include "platform/duilib/WinUser.h"
#include "platform/os/Text.h"

#include <utility>

namespace DuiLib {
namespace {
void PostChars(HWND hwnd, const std::string& utf8) {
    for (char16_t unit : os::Utf8ToUtf16(utf8))
        ::PostMessageW(hwnd, WM_CHAR, unit, 1);
}
}  // namespace

GtkInputMethod::GtkInputMethod(HWND hwnd, std::function<void()> composing)
    : m_hwnd(hwnd), m_composing(std::move(composing)), m_context(gtk_im_multicontext_new()) {
    g_signal_connect(m_context.get(), "commit", G_CALLBACK(CommitCb), this);
    g_signal_connect(m_context.get(), "preedit-changed", G_CALLBACK(PreeditCb), this);
}

GtkInputMethod::~GtkInputMethod() {
    Detach();
}

void GtkInputMethod::Detach() {
    if (!m_attached)
        return;
    m_attached = false;
    g_signal_handlers_disconnect_by_data(m_context.get(), this);
    gtk_im_context_set_client_window(m_context.get(), nullptr);
}

void GtkInputMethod::CommitCb(GtkIMContext*, gchar* text, gpointer self) {
    static_cast<GtkInputMethod*>(self)->OnCommit(text);
}

void GtkInputMethod::PreeditCb(GtkIMContext*, gpointer self) {
    static_cast<GtkInputMethod*>(self)->OnPreedit();
}

void GtkInputMethod::Follow(GtkWidget* canvas, const std::optional<RECT>& edit) {
    const bool wanted = edit.has_value();
    if (wanted != m_focused) {
        m_focused = wanted;
        if (wanted) {
            gtk_im_context_set_client_window(m_context.get(), gtk_widget_get_window(canvas));
            gtk_im_context_focus_in(m_context.get());
        } else {
            gtk_im_context_focus_out(m_context.get());
            gtk_im_context_reset(m_context.get());
            m_preedit.clear();
        }
    }
    if (wanted) {
        // Candidate windows open at the edit.
        GdkRectangle area{static_cast<int>(edit->left), static_cast<int>(edit->top),
                          static_cast<int>(edit->Width()), static_cast<int>(edit->Height())};
        gtk_im_context_set_cursor_location(m_context.get(), &area);
    }
}

GtkInputMethod::Filtered GtkInputMethod::Filter(GdkEventKey* event) {
    Filtered result;
    const bool composingBefore = !m_preedit.empty();
    m_filtering = true;
    m_commitBuffer.clear();
    result.consumed = gtk_im_context_filter_keypress(m_context.get(), event) != FALSE;
    m_filtering = false;
    result.composing = composingBefore || !m_preedit.empty();
    result.committed = std::exchange(m_commitBuffer, {});
    return result;
}

void GtkInputMethod::OnCommit(const char* text) {
    if (text == nullptr)
        return;
    // While a key is being filtered, what it commits follows that key's
    // WM_KEYDOWN (the caller posts it); otherwise it goes now.
    if (m_filtering)
        m_commitBuffer += text;
    else
        PostChars(m_hwnd, text);
}

void GtkInputMethod::OnPreedit() {
    gtk::GCharPtr text;
    {
        gchar* raw = nullptr;
        gtk_im_context_get_preedit_string(m_context.get(), &raw, nullptr, nullptr);
        text.reset(raw);
    }
    m_preedit = text != nullptr ? text.get() : "";
    if (m_composing)
        m_composing();
}

}  // namespace DuiLib
