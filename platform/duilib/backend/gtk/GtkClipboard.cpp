#include "platform/duilib/backend/gtk/GtkClipboard.h"

#include "platform/duilib/UiCall.h"
#include "platform/duilib/backend/gtk/GtkHolders.h"

#include <gtk/gtk.h>

namespace DuiLib {
namespace {
// The display's clipboard; none on a display without a seat (a headless
// compositor): the toolkit's Wayland clipboard needs the seat's data device
// and crashes without one.
::GtkClipboard* DisplayClipboard() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || gdk_display_get_default_seat(display) == nullptr)
        return nullptr;
    return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
}
}  // namespace

bool GtkClipboard::SetText(const std::string& text) {
    // Not taken when the UI thread cannot come to it in time.
    return UiCallFor<bool>(
        [&] {
            ::GtkClipboard* clipboard = DisplayClipboard();
            if (clipboard == nullptr)
                return false;
            gtk_clipboard_set_text(clipboard, text.data(), static_cast<gint>(text.size()));
            gtk_clipboard_set_can_store(clipboard, nullptr, 0);
            return true;
        },
        false, UiCallLimits{.runHereWithoutUiThread = true});
}

std::optional<std::string> GtkClipboard::GetText() {
    // No text when the UI thread cannot come to it in time.
    return UiCallFor<std::optional<std::string>>(
        []() -> std::optional<std::string> {
            ::GtkClipboard* clipboard = DisplayClipboard();
            if (clipboard == nullptr)
                return std::nullopt;
            if (gtk::GCharPtr got(gtk_clipboard_wait_for_text(clipboard)); got != nullptr)
                return std::string(got.get());
            return std::nullopt;
        },
        std::nullopt, UiCallLimits{.runHereWithoutUiThread = true});
}

}  // namespace DuiLib
