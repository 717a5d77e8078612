#include "platform/duilib/backend/gtk/GtkScreen.h"

#include "platform/duilib/AccessibleInfo.h"

#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif
#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/gdkwayland.h>
#endif

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace DuiLib {
namespace {
std::once_flag g_openOnce;
bool g_displayOpen = false;

RECT RectOf(const GdkRectangle& r) {
    return RECT{r.x, r.y, r.x + r.width, r.y + r.height};
}

int DpiFromSettings() {
    GtkSettings* settings = gtk_settings_get_default();
    gint xftDpi = -1;
    if (settings != nullptr)
        g_object_get(settings, "gtk-xft-dpi", &xftDpi, nullptr);
    // Xft.dpi is in 1024ths; GTK already leaves the integer scale out of it.
    return xftDpi > 0 ? static_cast<int>((xftDpi + 512) / 1024) : 96;
}

// On a display without a seat (a headless compositor, a kiosk without
// input devices) the toolkit's own code asks the absent seat for its
// keyboard and pointer and complains with these criticals: while the
// display opens (its accessibility set-up learns the modifier mask from the
// seat's keyboard) and later in its dialogs and windows. Only these
// messages, and only while the display has no seat, are dropped; any other
// goes on as it would, and with a seat nothing is dropped.
constexpr std::array<const char*, 4> kNoSeatComplaints = {
    "gdk_seat_get_keyboard: assertion 'GDK_IS_SEAT (seat)' failed",
    "gdk_seat_get_pointer: assertion 'GDK_IS_SEAT (seat)' failed",
    "gdk_device_get_position_double: assertion 'GDK_IS_DEVICE (device)' failed",
    "gdk_device_get_window_at_position_double: assertion 'GDK_IS_DEVICE (device)' failed",
};

bool DisplayHasNoSeat() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        // The display being opened is not the default one yet.
        GSList* displays = gdk_display_manager_list_displays(gdk_display_manager_get());
        display = displays != nullptr ? GDK_DISPLAY(displays->data) : nullptr;
        g_slist_free(displays);
    }
    return display != nullptr && gdk_display_get_default_seat(display) == nullptr;
}

void NoSeatLogCb(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    const bool complaint = (level & G_LOG_LEVEL_CRITICAL) != 0 && message != nullptr &&
                           std::any_of(kNoSeatComplaints.begin(), kNoSeatComplaints.end(),
                                       [&](const char* known) { return std::strcmp(message, known) == 0; });
    if (complaint && DisplayHasNoSeat())
        return;
    g_log_default_handler(domain, level, message, nullptr);
}

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// GDK's Wayland back end watches the desktop's settings through the portal
// on the session bus, over the process's shared connection, which GIO sets
// to end the process (SIGTERM) when the bus goes away: a session bus that
// ends or restarts under a running client (or a test's private bus) would
// close it. The shared connection is made here first and kept for the
// process, without that rule, as the program's own bus connections are.
void KeepSharedSessionBus() {
    static GDBusConnection* shared = nullptr;
    if (shared != nullptr || !IsSet("WAYLAND_DISPLAY") || !IsSet("DBUS_SESSION_BUS_ADDRESS"))
        return;
    shared = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (shared != nullptr)
        g_dbus_connection_set_exit_on_close(shared, FALSE);
}

void SettingsChangedCb(GObject*, GParamSpec*, gpointer data) {
    static_cast<GtkScreen*>(data)->Refresh();
}

void WarpPointerToFarCorner() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr)
        return;
    GdkSeat* seat = gdk_display_get_default_seat(display);
    GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
    GdkScreen* screen = gdk_display_get_default_screen(display);
    if (pointer == nullptr || screen == nullptr)
        return;
    GdkWindow* root = gdk_screen_get_root_window(screen);
    gdk_device_warp(pointer, screen, gdk_window_get_width(root) - 1, gdk_window_get_height(root) - 1);
    gdk_display_flush(display);
}
}  // namespace

bool GtkScreen::OpenDisplay() {
    std::call_once(g_openOnce, [] {
        // Screen readers reach the windows through the toolkit's
        // accessibility bridge, which needs a bus; where none can be
        // reached (a bare X server, a test) it is left off, as it would
        // only complain.
        const char* runtime = getenv("XDG_RUNTIME_DIR");
        const bool runtimeBus = runtime != nullptr && g_file_test((std::string(runtime) + "/bus").c_str(),
                                                                  G_FILE_TEST_EXISTS) != FALSE;
        if (!AccessibilityBusReachable(getenv("AT_SPI_BUS_ADDRESS"), getenv("DBUS_SESSION_BUS_ADDRESS"),
                                       runtimeBus))
            setenv("NO_AT_BRIDGE", "1", 0);
        g_log_set_handler("Gdk", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL), &NoSeatLogCb,
                          nullptr);
        KeepSharedSessionBus();
        g_displayOpen = gtk_init_check(nullptr, nullptr) != FALSE;
    });
    return g_displayOpen;
}

GtkScreen::GtkScreen(std::optional<ScreenInfo> fixed) : m_fixed(fixed.has_value()) {
    if (m_fixed) {
        SetMainScreen(*fixed);
        WarpPointerToFarCorner();
        return;
    }
    Refresh();
    if (GtkSettings* settings = gtk_settings_get_default())
        g_signal_connect(settings, "notify::gtk-xft-dpi", G_CALLBACK(SettingsChangedCb), this);
}

GtkScreen::~GtkScreen() {
    if (!m_fixed) {
        if (GtkSettings* settings = gtk_settings_get_default())
            g_signal_handlers_disconnect_by_data(settings, this);
    }
}

void GtkScreen::Refresh() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || m_fixed)
        return;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0)
        monitor = gdk_display_get_monitor(display, 0);
    ScreenInfo info = GetMainScreen();
    if (monitor != nullptr) {
        GdkRectangle geometry;
        GdkRectangle work;
        gdk_monitor_get_geometry(monitor, &geometry);
        gdk_monitor_get_workarea(monitor, &work);
        info.monitor = RectOf(geometry);
        info.workArea = RectOf(work);
    }
    info.dpi = DpiFromSettings();
    SetMainScreen(info);
}

bool GtkScreen::IsComposited() const {
    GdkScreen* screen = gdk_screen_get_default();
    return screen != nullptr && gdk_screen_is_composited(screen) &&
           gdk_screen_get_rgba_visual(screen) != nullptr;
}

bool GtkScreen::DesktopMaximizes() const {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr)
        return false;
#ifdef GDK_WINDOWING_X11
    if (GDK_IS_X11_DISPLAY(display)) {
        // Without a window manager (a bare X server) nobody answers the
        // request, and the toolkit would take the window for maximised.
        GdkScreen* screen = gdk_display_get_default_screen(display);
        return gdk_x11_screen_supports_net_wm_hint(
                   screen, gdk_atom_intern_static_string("_NET_WM_STATE_MAXIMIZED_VERT")) != FALSE;
    }
#endif
    // Wayland: the compositor is the window manager.
    return true;
}

bool GtkScreen::IsWayland() const {
#ifdef GDK_WINDOWING_WAYLAND
    GdkDisplay* display = gdk_display_get_default();
    return display != nullptr && GDK_IS_WAYLAND_DISPLAY(display);
#else
    return false;
#endif
}

}  // namespace DuiLib
