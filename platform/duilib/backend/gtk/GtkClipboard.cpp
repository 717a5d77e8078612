#include "platform/duilib/backend/gtk/GtkClipboard.h"

#include "platform/duilib/backend/gtk/GtkHolders.h"
#include "platform/duilib/backend/gtk/GtkUiHop.h"

#include <gtk/gtk.h>

namespace DuiLib {

bool GtkClipboard::SetText(const std::string& text) {
    bool ok = false;
    OnUiThreadAndWait([&] {
        ::GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
        if (clipboard == nullptr)
            return;
        gtk_clipboard_set_text(clipboard, text.data(), static_cast<gint>(text.size()));
        gtk_clipboard_set_can_store(clipboard, nullptr, 0);
        ok = true;
    });
    return ok;
}

std::optional<std::string> GtkClipboard::GetText() {
    std::optional<std::string> text;
    OnUiThreadAndWait([&] {
        ::GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
        if (clipboard == nullptr)
            return;
        if (gtk::GCharPtr got(gtk_clipboard_wait_for_text(clipboard)); got != nullptr)
            text = got.get();
    });
    return text;
}

}  // namespace DuiLib
