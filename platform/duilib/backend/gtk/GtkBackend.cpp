#include "platform/duilib/backend/gtk/GtkBackend.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/Screen.h"
#include "platform/duilib/backend/gtk/GtkRenderer.h"
#include "platform/os/Text.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>

namespace DuiLib {
namespace {

constexpr int kDragThreshold = 4;  // pixels the pointer moves before a caption press drags
constexpr std::size_t kMaxEchoes = 32;
constexpr gint64 kPresentEchoUs = 1000 * 1000;  // a focus-in this late is no longer our echo
constexpr int kFadeStepMs = 16;

std::once_flag g_openOnce;
bool g_displayOpen = false;

CPaintManagerUI* ManagerOf(HWND hwnd) {
    for (CPaintManagerUI* manager : CPaintManagerUI::GetPaintManagers()) {
        if (manager->GetPaintWindow() == hwnd && manager->GetRoot() != nullptr)
            return manager;
    }
    return nullptr;
}

RECT Union(const RECT& a, const RECT& b) {
    if (a.Width() <= 0 || a.Height() <= 0)
        return b;
    if (b.Width() <= 0 || b.Height() <= 0)
        return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

// Runs `fn` on the UI thread and waits for it; inline on the UI thread, and
// when no thread is the UI thread yet (start-up's missing-skin box).
void OnUiThread(const std::function<void()>& fn) {
    MessageQueue& queue = MessageQueue::Instance();
    if (queue.IsUiThread() || !queue.HasUiThread()) {
        fn();
        return;
    }
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    queue.PostTask([&fn, done] {
        fn();
        std::lock_guard lock(done->mutex);
        done->done = true;
        done->cv.notify_all();
    });
    std::unique_lock lock(done->mutex);
    done->cv.wait(lock, [&] { return done->done; });
}

WPARAM VirtualKey(guint keyval) {
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
        return 'A' + (keyval - GDK_KEY_a);
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z)
        return 'A' + (keyval - GDK_KEY_A);
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
        return '0' + (keyval - GDK_KEY_0);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return 0x60 + (keyval - GDK_KEY_KP_0);
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12)
        return 0x70 + (keyval - GDK_KEY_F1);
    switch (keyval) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
            return VK_RETURN;
        case GDK_KEY_Escape:
            return VK_ESCAPE;
        case GDK_KEY_Tab:
        case GDK_KEY_ISO_Left_Tab:
            return VK_TAB;
        case GDK_KEY_BackSpace:
            return VK_BACK;
        case GDK_KEY_Delete:
        case GDK_KEY_KP_Delete:
            return VK_DELETE;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return VK_LEFT;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return VK_RIGHT;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return VK_UP;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return VK_DOWN;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return VK_HOME;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return VK_END;
        case GDK_KEY_space:
            return VK_SPACE;
        case GDK_KEY_Shift_L:
        case GDK_KEY_Shift_R:
            return VK_SHIFT;
        case GDK_KEY_Control_L:
        case GDK_KEY_Control_R:
            return VK_CONTROL;
        case GDK_KEY_Alt_L:
        case GDK_KEY_Alt_R:
            return VK_MENU;
        default:
            return 0;
    }
}

WPARAM MouseKeys(guint state) {
    WPARAM keys = 0;
    if ((state & GDK_BUTTON1_MASK) != 0)
        keys |= MK_LBUTTON;
    if ((state & GDK_BUTTON3_MASK) != 0)
        keys |= MK_RBUTTON;
    if ((state & GDK_SHIFT_MASK) != 0)
        keys |= MK_SHIFT;
    if ((state & GDK_CONTROL_MASK) != 0)
        keys |= MK_CONTROL;
    return keys;
}

std::optional<GdkWindowEdge> EdgeOf(LRESULT hit) {
    switch (hit) {
        case HTLEFT:
            return GDK_WINDOW_EDGE_WEST;
        case HTRIGHT:
            return GDK_WINDOW_EDGE_EAST;
        case HTTOP:
            return GDK_WINDOW_EDGE_NORTH;
        case HTBOTTOM:
            return GDK_WINDOW_EDGE_SOUTH;
        case HTTOPLEFT:
            return GDK_WINDOW_EDGE_NORTH_WEST;
        case HTTOPRIGHT:
            return GDK_WINDOW_EDGE_NORTH_EAST;
        case HTBOTTOMLEFT:
            return GDK_WINDOW_EDGE_SOUTH_WEST;
        case HTBOTTOMRIGHT:
            return GDK_WINDOW_EDGE_SOUTH_EAST;
        default:
            return std::nullopt;
    }
}

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

}  // namespace

// ---- per-window state ----------------------------------------------------------------

struct GtkBackend::Peer {
    struct Link {
        GtkBackend* backend;
        HWND hwnd;
    };
    struct NativeView {
        GtkWidget* widget = nullptr;
    };

    HWND hwnd = nullptr;
    Link link{};
    GtkWidget* window = nullptr;
    GtkWidget* fixed = nullptr;
    GtkWidget* canvas = nullptr;
    GtkIMContext* im = nullptr;
    RECT rect;       // the window layer's rectangle, as last mirrored
    int margin = 0;  // the shadow's room around it (composited only)
    bool shown = false;
    bool mappedOnce = false;
    bool iconic = false;
    bool topmost = false;
    std::deque<RECT> echoes;  // toolkit geometries asked for, not yet reported
    // A press on the caption waiting for the pointer to move far enough.
    bool captionPress = false;
    double pressRootX = 0;
    double pressRootY = 0;
    // Fading.
    int fadeNextMs = 0;
    guint fadeSource = 0;
    gint64 fadeStart = 0;
    int fadeMs = 0;
    bool fadingIn = true;
    // The input method.
    bool imFocused = false;
    bool filtering = false;
    std::string commitBuffer;
    std::string preedit;
    // Painting.
    guint layoutSource = 0;
    std::uint64_t damageSerial = 0;
    std::uint64_t paintedSerial = 0;
    PaintStats stats;
    std::map<CControlUI*, RECT> lastRect;  // where a control was when last damaged
    std::map<CControlUI*, NativeView> natives;
};

struct GtkBackend::OpenDialog {
    GtkWidget* dialog = nullptr;
    SystemDialogInfo info;
    std::optional<int> response;
    std::optional<std::string> chosenPath;  // a save dialog answered by the automation
};

namespace {
GtkBackend::Peer::Link* LinkOf(gpointer data) {
    return static_cast<GtkBackend::Peer::Link*>(data);
}

gboolean DrawCb(GtkWidget*, cairo_t* cr, gpointer data) {
    LinkOf(data)->backend->OnDraw(LinkOf(data)->hwnd, cr);
    return TRUE;
}
gboolean ButtonCb(GtkWidget*, GdkEventButton* event, gpointer data) {
    return LinkOf(data)->backend->OnButton(LinkOf(data)->hwnd, event) ? TRUE : FALSE;
}
gboolean MotionCb(GtkWidget*, GdkEventMotion* event, gpointer data) {
    return LinkOf(data)->backend->OnMotion(LinkOf(data)->hwnd, event) ? TRUE : FALSE;
}
gboolean LeaveCb(GtkWidget*, GdkEventCrossing* event, gpointer data) {
    return LinkOf(data)->backend->OnLeave(LinkOf(data)->hwnd, event) ? TRUE : FALSE;
}
gboolean ScrollCb(GtkWidget*, GdkEventScroll* event, gpointer data) {
    return LinkOf(data)->backend->OnScroll(LinkOf(data)->hwnd, event) ? TRUE : FALSE;
}
gboolean KeyCb(GtkWidget*, GdkEventKey* event, gpointer data) {
    return LinkOf(data)->backend->OnKey(LinkOf(data)->hwnd, event) ? TRUE : FALSE;
}
gboolean FocusInCb(GtkWidget*, GdkEventFocus*, gpointer data) {
    LinkOf(data)->backend->OnFocus(LinkOf(data)->hwnd, true);
    return FALSE;
}
gboolean FocusOutCb(GtkWidget*, GdkEventFocus*, gpointer data) {
    LinkOf(data)->backend->OnFocus(LinkOf(data)->hwnd, false);
    return FALSE;
}
gboolean ConfigureCb(GtkWidget*, GdkEventConfigure* event, gpointer data) {
    LinkOf(data)->backend->OnConfigure(LinkOf(data)->hwnd, event);
    return FALSE;
}
gboolean StateCb(GtkWidget*, GdkEventWindowState* event, gpointer data) {
    LinkOf(data)->backend->OnWindowState(LinkOf(data)->hwnd, event);
    return FALSE;
}
gboolean DeleteCb(GtkWidget*, GdkEvent*, gpointer data) {
    return LinkOf(data)->backend->OnDelete(LinkOf(data)->hwnd) ? TRUE : FALSE;
}
void CommitCb(GtkIMContext*, gchar* text, gpointer data) {
    LinkOf(data)->backend->OnCommit(LinkOf(data)->hwnd, text);
}
void PreeditCb(GtkIMContext*, gpointer data) {
    LinkOf(data)->backend->OnPreedit(LinkOf(data)->hwnd);
}
gboolean FadeCb(gpointer data) {
    LinkOf(data)->backend->OnFadeStep(LinkOf(data)->hwnd);
    return G_SOURCE_CONTINUE;  // OnFadeStep removes the source when done
}
gboolean LayoutCb(gpointer data) {
    LinkOf(data)->backend->OnLayoutIdle(LinkOf(data)->hwnd);
    return G_SOURCE_REMOVE;
}
gboolean DeactivateCb(gpointer data) {
    static_cast<GtkBackend*>(data)->OnDeactivateCheck();
    return G_SOURCE_REMOVE;
}
void ResponseCb(GtkDialog*, gint response, gpointer data) {
    static_cast<GtkBackend*>(data)->OnDialogResponse(response);
}
gboolean TimerCb(gpointer data) {
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}
void SettingsChangedCb(GObject*, GParamSpec*, gpointer data) {
    static_cast<GtkBackend*>(data)->RefreshScreen();
}
}  // namespace

// ---- start and end ------------------------------------------------------------------------

bool GtkBackend::OpenDisplay() {
    std::call_once(g_openOnce, [] {
        // The accessibility bridge would want a session bus that tests and
        // plain desktops may lack; the windows do not need it.
        setenv("NO_AT_BRIDGE", "1", 0);
        g_displayOpen = gtk_init_check(nullptr, nullptr) != FALSE;
    });
    return g_displayOpen;
}

GtkBackend::GtkBackend(Options options)
    : HeadlessBackend(options),
      m_renderer(std::make_unique<GtkRenderer>()),
      m_fixedScreen(options.screen.has_value()) {
    OpenDisplay();
    m_previousMeasurer = SetTextMeasurer(&GtkRenderer::MeasureText);
    if (!m_fixedScreen) {
        RefreshScreen();
        if (GtkSettings* settings = gtk_settings_get_default())
            g_signal_connect(settings, "notify::gtk-xft-dpi", G_CALLBACK(SettingsChangedCb), this);
    } else if (GdkDisplay* display = gdk_display_get_default()) {
        // Tests: the pointer waits in the screen's far corner, where no
        // window of theirs lies, so that no window sees it arrive.
        GdkSeat* seat = gdk_display_get_default_seat(display);
        GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
        GdkScreen* screen = gdk_display_get_default_screen(display);
        if (pointer != nullptr && screen != nullptr) {
            GdkWindow* root = gdk_screen_get_root_window(screen);
            gdk_device_warp(pointer, screen, gdk_window_get_width(root) - 1, gdk_window_get_height(root) - 1);
            gdk_display_flush(display);
        }
    }
}

GtkBackend::~GtkBackend() {
    if (!m_fixedScreen) {
        if (GtkSettings* settings = gtk_settings_get_default())
            g_signal_handlers_disconnect_by_data(settings, this);
    }
    if (m_deactivateCheck != 0)
        g_source_remove(m_deactivateCheck);
    std::vector<HWND> left;
    for (auto& [hwnd, peer] : m_peers)
        left.push_back(hwnd);
    for (HWND hwnd : left)
        WindowDestroyed(hwnd);
    SetTextMeasurer(std::move(m_previousMeasurer));
}

void GtkBackend::RefreshScreen() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || m_fixedScreen)
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

bool GtkBackend::IsComposited() const {
    GdkScreen* screen = gdk_screen_get_default();
    return screen != nullptr && gdk_screen_is_composited(screen) &&
           gdk_screen_get_rgba_visual(screen) != nullptr;
}

// ---- the loop -----------------------------------------------------------------------------

void GtkBackend::Wake() {
    m_woken.store(true);
    g_main_context_wakeup(nullptr);
}

void GtkBackend::WaitForWork(std::optional<std::uint64_t> nextTimer) {
    if (m_woken.exchange(false))
        return;
    bool due = false;
    GSource* timer = nullptr;
    if (IsRealTime() && nextTimer) {
        const std::uint64_t now = Now();
        const guint delay = *nextTimer > now ? static_cast<guint>(*nextTimer - now) : 0;
        timer = g_timeout_source_new(delay);
        g_source_set_callback(timer, &TimerCb, &due, nullptr);
        g_source_attach(timer, nullptr);
    }
    while (!due && !m_woken.load())
        g_main_context_iteration(nullptr, TRUE);
    if (timer != nullptr) {
        g_source_destroy(timer);
        g_source_unref(timer);
    }
    m_woken.store(false);
}

void GtkBackend::Pump() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// ---- windows --------------------------------------------------------------------------------

GtkBackend::Peer* GtkBackend::FindPeer(HWND hwnd) const {
    const auto it = m_peers.find(hwnd);
    return it == m_peers.end() ? nullptr : it->second.get();
}

void GtkBackend::WindowCreated(HWND hwnd, const std::string& className, HWND owner) {
    auto peer = std::make_unique<Peer>();
    peer->hwnd = hwnd;
    peer->link = Peer::Link{this, hwnd};
    GetWindowRect(hwnd, &peer->rect);
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE));
    peer->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(peer->window);
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_title(window, GetWindowTextW(hwnd).c_str());
    gtk_window_set_role(window, className.c_str());
    if ((exStyle & WS_EX_TOOLWINDOW) != 0) {
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_POPUP_MENU);
        gtk_window_set_skip_taskbar_hint(window, TRUE);
        gtk_window_set_skip_pager_hint(window, TRUE);
    } else if (owner != nullptr) {
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    }
    if (Peer* ownerPeer = FindPeer(owner))
        gtk_window_set_transient_for(window, GTK_WINDOW(ownerPeer->window));
    gtk_widget_set_app_paintable(peer->window, TRUE);
    if (IsComposited())
        gtk_widget_set_visual(peer->window, gdk_screen_get_rgba_visual(gdk_screen_get_default()));
    peer->fixed = gtk_fixed_new();
    peer->canvas = gtk_drawing_area_new();
    gtk_widget_set_can_focus(peer->window, TRUE);
    gtk_container_add(GTK_CONTAINER(peer->window), peer->fixed);
    gtk_fixed_put(GTK_FIXED(peer->fixed), peer->canvas, 0, 0);
    gtk_widget_add_events(peer->canvas, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                            GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK |
                                            GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK);
    gtk_widget_add_events(
        peer->window, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK);
    gpointer link = &peer->link;
    g_signal_connect(peer->canvas, "draw", G_CALLBACK(DrawCb), link);
    g_signal_connect(peer->canvas, "button-press-event", G_CALLBACK(ButtonCb), link);
    g_signal_connect(peer->canvas, "button-release-event", G_CALLBACK(ButtonCb), link);
    g_signal_connect(peer->canvas, "motion-notify-event", G_CALLBACK(MotionCb), link);
    g_signal_connect(peer->canvas, "leave-notify-event", G_CALLBACK(LeaveCb), link);
    g_signal_connect(peer->canvas, "scroll-event", G_CALLBACK(ScrollCb), link);
    g_signal_connect(peer->window, "key-press-event", G_CALLBACK(KeyCb), link);
    g_signal_connect(peer->window, "key-release-event", G_CALLBACK(KeyCb), link);
    g_signal_connect(peer->window, "focus-in-event", G_CALLBACK(FocusInCb), link);
    g_signal_connect(peer->window, "focus-out-event", G_CALLBACK(FocusOutCb), link);
    g_signal_connect(peer->window, "configure-event", G_CALLBACK(ConfigureCb), link);
    g_signal_connect(peer->window, "window-state-event", G_CALLBACK(StateCb), link);
    g_signal_connect(peer->window, "delete-event", G_CALLBACK(DeleteCb), link);
    peer->im = gtk_im_multicontext_new();
    g_signal_connect(peer->im, "commit", G_CALLBACK(CommitCb), link);
    g_signal_connect(peer->im, "preedit-changed", G_CALLBACK(PreeditCb), link);
    gtk_widget_show(peer->fixed);
    gtk_widget_show(peer->canvas);
    Peer& ref = *peer;
    m_peers.emplace(hwnd, std::move(peer));
    ApplyGeometry(ref);
}

void GtkBackend::WindowDestroyed(HWND hwnd) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    if (peer->fadeSource != 0)
        g_source_remove(peer->fadeSource);
    // A shown window going away may take the desktop's focus with it.
    if (gtk_widget_get_mapped(peer->window))
        NoteFocusRequest();
    if (peer->layoutSource != 0)
        g_source_remove(peer->layoutSource);
    if (peer->im != nullptr) {
        g_signal_handlers_disconnect_by_data(peer->im, &peer->link);
        gtk_im_context_set_client_window(peer->im, nullptr);
        g_object_unref(peer->im);
    }
    // The engine's widgets outlive the window (the engine destroys them):
    // they leave the container before the window's destruction reaches them.
    for (auto& [control, view] : peer->natives) {
        if (gtk_widget_get_parent(view.widget) == peer->fixed)
            gtk_container_remove(GTK_CONTAINER(peer->fixed), view.widget);
    }
    peer->natives.clear();
    g_signal_handlers_disconnect_by_data(peer->window, &peer->link);
    g_signal_handlers_disconnect_by_data(peer->canvas, &peer->link);
    gtk_widget_destroy(peer->window);
    m_presented.erase(hwnd);
    m_peers.erase(hwnd);
    ForgetUnusedImages();
}

void GtkBackend::ForgetUnusedImages() {
    std::set<std::uint64_t> live;
    for (CPaintManagerUI* manager : CPaintManagerUI::GetPaintManagers()) {
        if (manager->GetPaintWindow() != nullptr && ::IsWindow(manager->GetPaintWindow()))
            live.insert(manager->GetResourceArchiveId());
    }
    m_renderer->ForgetArchivesExcept(live);
}

void GtkBackend::ApplyGeometry(Peer& peer) {
    CPaintManagerUI* manager = ManagerOf(peer.hwnd);
    peer.margin = 0;
    if (manager != nullptr && IsComposited() && manager->IsShadowEnabled())
        peer.margin = manager->GetDPIObj().Scale(manager->GetShadowSize());
    // The toolkit has no window of no size: such a window is one pixel.
    const int width = std::max<int>(1, static_cast<int>(peer.rect.Width()));
    const int height = std::max<int>(1, static_cast<int>(peer.rect.Height()));
    gtk_widget_set_size_request(peer.canvas, width, height);
    gtk_fixed_move(GTK_FIXED(peer.fixed), peer.canvas, peer.margin, peer.margin);
    const RECT outer{peer.rect.left - peer.margin, peer.rect.top - peer.margin,
                     peer.rect.left - peer.margin + width + 2 * peer.margin,
                     peer.rect.top - peer.margin + height + 2 * peer.margin};
    gtk_window_move(GTK_WINDOW(peer.window), static_cast<int>(outer.left), static_cast<int>(outer.top));
    gtk_window_resize(GTK_WINDOW(peer.window), static_cast<int>(outer.Width()),
                      static_cast<int>(outer.Height()));
    peer.echoes.push_back(outer);
    while (peer.echoes.size() > kMaxEchoes)
        peer.echoes.pop_front();
    if (peer.margin > 0) {
        // Only the window itself takes the pointer, not its shadow.
        if (GdkWindow* gdkWindow = gtk_widget_get_window(peer.window)) {
            cairo_rectangle_int_t inner{peer.margin, peer.margin, width, height};
            cairo_region_t* region = cairo_region_create_rectangle(&inner);
            gdk_window_input_shape_combine_region(gdkWindow, region, 0, 0);
            cairo_region_destroy(region);
        }
    }
    UpdateNativeViews(peer);
}

void GtkBackend::WindowShown(HWND hwnd, bool visible) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || peer->shown == visible)
        return;
    peer->shown = visible;
    if (visible) {
        // The layout may have given the window its shadow since creation.
        ApplyGeometry(*peer);
        if (GetWindowOwner(hwnd) != nullptr) {
            if (Peer* owner = FindPeer(GetWindowOwner(hwnd)))
                gtk_window_set_transient_for(GTK_WINDOW(peer->window), GTK_WINDOW(owner->window));
        }
        if (peer->fadeNextMs > 0) {
            StartFade(*peer, true);
        } else {
            if (peer->fadeSource != 0) {
                g_source_remove(peer->fadeSource);
                peer->fadeSource = 0;
            }
            gtk_widget_set_opacity(peer->window, 1.0);
        }
        gtk_widget_show(peer->window);
        peer->mappedOnce = true;
        UpdateNativeViews(*peer);
        Damage(*peer, RECT{0, 0, peer->rect.Width(), peer->rect.Height()});
    } else if (peer->fadeNextMs > 0) {
        StartFade(*peer, false);  // hidden when the fade ends
    } else {
        NoteFocusRequest();  // a hidden window may take the desktop's focus with it
        gtk_widget_hide(peer->window);
    }
}

void GtkBackend::StartFade(Peer& peer, bool show) {
    peer.fadeMs = std::exchange(peer.fadeNextMs, 0);
    peer.fadeStart = g_get_monotonic_time();
    peer.fadingIn = show;
    if (show)
        gtk_widget_set_opacity(peer.window, 0.0);
    if (peer.fadeSource == 0)
        peer.fadeSource = g_timeout_add(kFadeStepMs, &FadeCb, &peer.link);
}

void GtkBackend::OnFadeStep(HWND hwnd) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    const double elapsed = (g_get_monotonic_time() - peer->fadeStart) / 1000.0;
    const double t = peer->fadeMs > 0 ? std::min(1.0, elapsed / peer->fadeMs) : 1.0;
    gtk_widget_set_opacity(peer->window, peer->fadingIn ? t : 1.0 - t);
    if (t < 1.0)
        return;
    g_source_remove(peer->fadeSource);
    peer->fadeSource = 0;
    if (!peer->fadingIn && !peer->shown) {
        NoteFocusRequest();
        gtk_widget_hide(peer->window);
        gtk_widget_set_opacity(peer->window, 1.0);
    }
}

double GtkBackend::WindowOpacity(HWND hwnd) const {
    const Peer* peer = FindPeer(hwnd);
    return peer != nullptr ? gtk_widget_get_opacity(peer->window) : 1.0;
}

void GtkBackend::WindowFadeNext(HWND hwnd, int ms) {
    if (Peer* peer = FindPeer(hwnd))
        peer->fadeNextMs = ms;
}

void GtkBackend::WindowMoved(HWND hwnd, const RECT& rect) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    peer->rect = rect;
    ApplyGeometry(*peer);
}

void GtkBackend::WindowActivated(HWND hwnd) {
    // The input method follows the keyboard focus to the new window.
    for (auto& [other, peer] : m_peers)
        UpdateInputMethod(*peer);
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || !peer->shown)
        return;
    if (!gtk_window_is_active(GTK_WINDOW(peer->window)))
        m_presented[hwnd] = g_get_monotonic_time();
    NoteFocusRequest();
    gtk_window_present_with_time(GTK_WINDOW(peer->window), GDK_CURRENT_TIME);
}

void GtkBackend::WindowEnabled(HWND hwnd, bool enabled) {
    if (Peer* peer = FindPeer(hwnd)) {
        if (!enabled && peer->captionPress)
            peer->captionPress = false;
    }
}

void GtkBackend::WindowTitleChanged(HWND hwnd, const std::string& title) {
    if (Peer* peer = FindPeer(hwnd))
        gtk_window_set_title(GTK_WINDOW(peer->window), title.c_str());
}

void GtkBackend::WindowStyleChanged(HWND hwnd, DWORD style, DWORD exStyle) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    const bool iconic = (style & WS_MINIMIZE) != 0;
    if (iconic != peer->iconic) {
        peer->iconic = iconic;
        if (iconic)
            gtk_window_iconify(GTK_WINDOW(peer->window));
        else
            gtk_window_deiconify(GTK_WINDOW(peer->window));
    }
    const bool topmost = (exStyle & WS_EX_TOPMOST) != 0;
    if (topmost != peer->topmost) {
        peer->topmost = topmost;
        gtk_window_set_keep_above(GTK_WINDOW(peer->window), topmost ? TRUE : FALSE);
    }
}

// ---- painting -------------------------------------------------------------------------------

void GtkBackend::Damage(Peer& peer, const RECT& rc) {
    if (rc.Width() <= 0 || rc.Height() <= 0)
        return;
    ++peer.damageSerial;
    gtk_widget_queue_draw_area(peer.canvas, static_cast<int>(rc.left), static_cast<int>(rc.top),
                               static_cast<int>(rc.Width()), static_cast<int>(rc.Height()));
}

void GtkBackend::ControlChanged(HWND hwnd, CControlUI* control, ControlChange what) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || control == nullptr)
        return;
    RECT rc = control->GetPos();
    // A moved control leaves damage where it was too.
    auto [it, inserted] = peer->lastRect.try_emplace(control, rc);
    if (!inserted) {
        if (what == ControlChange::Position)
            rc = Union(rc, it->second);
        it->second = control->GetPos();
    }
    Damage(*peer, rc);
    if (what == ControlChange::Position || what == ControlChange::Visible || what == ControlChange::Children)
        UpdateNativeViews(*peer);
    if (what == ControlChange::State || what == ControlChange::Visible || what == ControlChange::Enabled)
        UpdateInputMethod(*peer);
    if (CPaintManagerUI* manager = control->GetManager(); manager != nullptr && manager->IsUpdateNeeded())
        ScheduleLayout(*peer);
}

void GtkBackend::ScheduleLayout(Peer& peer) {
    if (peer.layoutSource != 0)
        return;
    // Before the toolkit paints (its redraw runs at HIGH_IDLE + 20).
    peer.layoutSource = g_idle_add_full(G_PRIORITY_HIGH_IDLE + 10, &LayoutCb, &peer.link, nullptr);
}

void GtkBackend::OnLayoutIdle(HWND hwnd) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    peer->layoutSource = 0;
    CPaintManagerUI* manager = ManagerOf(hwnd);
    if (manager != nullptr && manager->IsUpdateNeeded()) {
        RECT client;
        if (::GetClientRect(hwnd, &client))
            manager->UpdateLayout(client);
    }
}

void GtkBackend::OnDraw(HWND hwnd, void* cairo) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    auto* cr = static_cast<cairo_t*>(cairo);
    CPaintManagerUI* manager = ManagerOf(hwnd);
    // The clip the toolkit gives is the damage being repainted.
    std::vector<RECT> damage;
    if (cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr)) {
        if (list->status == CAIRO_STATUS_SUCCESS) {
            for (int i = 0; i < list->num_rectangles; ++i) {
                const cairo_rectangle_t& r = list->rectangles[i];
                damage.push_back(RECT{static_cast<long>(r.x), static_cast<long>(r.y),
                                      static_cast<long>(r.x + r.width), static_cast<long>(r.y + r.height)});
            }
        }
        cairo_rectangle_list_destroy(list);
    }
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    const RECT clip{static_cast<long>(x1), static_cast<long>(y1), static_cast<long>(std::ceil(x2)),
                    static_cast<long>(std::ceil(y2))};
    ++peer->stats.frames;
    peer->stats.lastDamage = damage;
    peer->stats.allDamage.insert(peer->stats.allDamage.end(), damage.begin(), damage.end());
    peer->paintedSerial = peer->damageSerial;
    if (manager == nullptr) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        return;
    }
    if (manager->IsUpdateNeeded()) {
        RECT client;
        if (::GetClientRect(hwnd, &client))
            manager->UpdateLayout(client);
    }
    GtkRenderer::Options options;
    options.composited = IsComposited();
    options.shadowMargin = peer->margin;
    options.preedit = peer->preedit;
    m_renderer->Paint(cr, *manager, clip, options);
}

bool GtkBackend::FlushPaint(HWND hwnd, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        Pump();
        Peer* peer = FindPeer(hwnd);
        if (peer == nullptr)
            return false;
        if (gtk_widget_get_mapped(peer->window) && peer->stats.frames > 0 &&
            peer->paintedSerial == peer->damageSerial)
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        g_usleep(2000);
    }
}

GtkBackend::PaintStats GtkBackend::GetPaintStats(HWND hwnd) const {
    const Peer* peer = FindPeer(hwnd);
    return peer != nullptr ? peer->stats : PaintStats{};
}

void GtkBackend::ResetPaintStats(HWND hwnd) {
    if (Peer* peer = FindPeer(hwnd))
        peer->stats = PaintStats{};
}

bool GtkBackend::PointerGrabbed() const {
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display != nullptr ? gdk_display_get_default_seat(display) : nullptr;
    GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
    return pointer != nullptr && gdk_display_device_is_grabbed(display, pointer);
}

void* GtkBackend::NativeWindow(HWND hwnd) const {
    const Peer* peer = FindPeer(hwnd);
    return peer != nullptr ? peer->window : nullptr;
}

void* GtkBackend::InputMethodContext(HWND hwnd) const {
    const Peer* peer = FindPeer(hwnd);
    return peer != nullptr ? peer->im : nullptr;
}

namespace {
std::optional<GtkBackend::Image> ImageFromSurface(cairo_surface_t* surface) {
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return std::nullopt;
    cairo_surface_flush(surface);
    GtkBackend::Image image;
    image.width = cairo_image_surface_get_width(surface);
    image.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    const bool opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
    for (int y = 0; y < image.height; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width; ++x)
            image.pixels[static_cast<std::size_t>(y) * image.width + x] =
                opaque ? (row[x] | 0xFF000000u) : row[x];
    }
    return image;
}
}  // namespace

std::optional<GtkBackend::Image> GtkBackend::RenderWindow(HWND hwnd, bool composited) {
    Peer* peer = FindPeer(hwnd);
    CPaintManagerUI* manager = ManagerOf(hwnd);
    if (peer == nullptr || manager == nullptr)
        return std::nullopt;
    if (manager->IsUpdateNeeded()) {
        RECT client;
        if (::GetClientRect(hwnd, &client))
            manager->UpdateLayout(client);
    }
    const int margin =
        composited && manager->IsShadowEnabled() ? manager->GetDPIObj().Scale(manager->GetShadowSize()) : 0;
    const int width = static_cast<int>(std::max<long>(1, peer->rect.Width())) + 2 * margin;
    const int height = static_cast<int>(std::max<long>(1, peer->rect.Height())) + 2 * margin;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_translate(cr, margin, margin);
    GtkRenderer::Options options;
    options.composited = composited;
    options.shadowMargin = margin;
    options.preedit = peer->preedit;
    m_renderer->Paint(cr, *manager, RECT{0, 0, peer->rect.Width(), peer->rect.Height()}, options);
    cairo_destroy(cr);
    std::optional<Image> image = ImageFromSurface(surface);
    cairo_surface_destroy(surface);
    return image;
}

std::optional<GtkBackend::Image> GtkBackend::GrabWindow(HWND hwnd) {
    if (!FlushPaint(hwnd))
        return std::nullopt;
    Peer* peer = FindPeer(hwnd);
    GdkWindow* gdkWindow = peer != nullptr ? gtk_widget_get_window(peer->canvas) : nullptr;
    if (gdkWindow == nullptr)
        return std::nullopt;
    const int width = gdk_window_get_width(gdkWindow);
    const int height = gdk_window_get_height(gdkWindow);
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdkWindow, 0, 0, width, height);
    if (pixbuf == nullptr)
        return std::nullopt;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    g_object_unref(pixbuf);
    std::optional<Image> image = ImageFromSurface(surface);
    cairo_surface_destroy(surface);
    return image;
}

bool GtkBackend::Image::WritePng(const std::string& path) const {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.data() + static_cast<std::size_t>(y) * width, width,
                    reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride));
    cairo_surface_mark_dirty(surface);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

std::optional<GtkBackend::Image> GtkBackend::Image::ReadPng(const std::string& path) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    std::optional<Image> image = ImageFromSurface(surface);
    cairo_surface_destroy(surface);
    return image;
}

// ---- native views ---------------------------------------------------------------------------

void GtkBackend::NativeViewAttached(HWND hwnd, CControlUI* control, void* widget) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || control == nullptr || widget == nullptr || !GTK_IS_WIDGET(widget))
        return;
    auto* gtkWidget = GTK_WIDGET(widget);
    const auto it = peer->natives.find(control);
    if (it != peer->natives.end() && it->second.widget == gtkWidget)
        return;
    NativeViewDetached(hwnd, control, it != peer->natives.end() ? it->second.widget : nullptr);
    // A widget still placed in another window (the control moved between
    // windows without a detach) leaves it first: a widget has one parent.
    if (GtkWidget* parent = gtk_widget_get_parent(gtkWidget))
        gtk_container_remove(GTK_CONTAINER(parent), gtkWidget);
    // The container holds its own reference; the engine keeps the widget's
    // ownership and destroys it after NativeViewDetached.
    gtk_fixed_put(GTK_FIXED(peer->fixed), gtkWidget, 0, 0);
    peer->natives[control] = Peer::NativeView{gtkWidget};
    UpdateNativeViews(*peer);
}

void GtkBackend::NativeViewDetached(HWND hwnd, CControlUI* control, void* /*widget*/) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    const auto it = peer->natives.find(control);
    if (it == peer->natives.end())
        return;
    GtkWidget* gtkWidget = it->second.widget;
    peer->natives.erase(it);
    if (gtk_widget_get_parent(gtkWidget) == peer->fixed)
        gtk_container_remove(GTK_CONTAINER(peer->fixed), gtkWidget);
}

void GtkBackend::UpdateNativeViews(Peer& peer) {
    for (auto& [control, view] : peer.natives) {
        const RECT rc = control->GetPos();
        const bool visible = control->IsVisible() && rc.Width() > 0 && rc.Height() > 0;
        if (visible) {
            gtk_fixed_move(GTK_FIXED(peer.fixed), view.widget, static_cast<int>(rc.left) + peer.margin,
                           static_cast<int>(rc.top) + peer.margin);
            gtk_widget_set_size_request(view.widget, static_cast<int>(rc.Width()),
                                        static_cast<int>(rc.Height()));
            gtk_widget_show(view.widget);
        } else {
            gtk_widget_hide(view.widget);
        }
    }
}

// ---- input ----------------------------------------------------------------------------------

bool GtkBackend::OnButton(HWND hwnd, void* raw) {
    auto* event = static_cast<GdkEventButton*>(raw);
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || !::IsWindow(hwnd))
        return true;
    const POINT client{static_cast<long>(event->x), static_cast<long>(event->y)};
    const POINT screen{client.x + peer->rect.left, client.y + peer->rect.top};
    HeadlessBackend::SetCursorPos(screen);
    if (!::IsWindowEnabled(hwnd))
        return true;  // a disabled window takes no input
    const LPARAM at = MAKELPARAM(client.x, client.y);
    const WPARAM keys = MouseKeys(event->state);
    if (event->type == GDK_BUTTON_RELEASE) {
        if (event->button == 1) {
            if (peer->captionPress) {
                peer->captionPress = false;
                return true;
            }
            ::PostMessageW(hwnd, WM_LBUTTONUP, keys & ~MK_LBUTTON, at);
        } else if (event->button == 3) {
            ::PostMessageW(hwnd, WM_RBUTTONUP, keys & ~MK_RBUTTON, at);
        }
        return true;
    }
    if (event->type != GDK_BUTTON_PRESS && event->type != GDK_2BUTTON_PRESS)
        return true;
    // A click into an inactive window activates it first, as on Windows.
    if (::GetActiveWindow() != hwnd && event->type == GDK_BUTTON_PRESS)
        ::SetActiveWindow(hwnd);
    if (!::IsWindow(hwnd))
        return true;
    if (event->button == 3) {
        ::PostMessageW(hwnd, WM_RBUTTONDOWN, keys | MK_RBUTTON, at);
        return true;
    }
    if (event->button != 1)
        return true;
    const LRESULT hit = ::SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    if (!::IsWindow(hwnd))
        return true;
    if (hit == HTCAPTION) {
        if (event->type == GDK_2BUTTON_PRESS) {
            peer->captionPress = false;
            ::PostMessageW(hwnd, WM_NCLBUTTONDBLCLK, static_cast<WPARAM>(HTCAPTION),
                           MAKELPARAM(screen.x, screen.y));
        } else {
            // The drag starts once the pointer moves: a double click stays
            // a double click.
            peer->captionPress = true;
            peer->pressRootX = event->x_root;
            peer->pressRootY = event->y_root;
        }
        return true;
    }
    if (std::optional<GdkWindowEdge> edge = EdgeOf(hit)) {
        if (event->type == GDK_BUTTON_PRESS)
            gtk_window_begin_resize_drag(GTK_WINDOW(peer->window), *edge, static_cast<gint>(event->button),
                                         static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                                         event->time);
        return true;
    }
    ::PostMessageW(hwnd, event->type == GDK_2BUTTON_PRESS ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN,
                   keys | MK_LBUTTON, at);
    return true;
}

bool GtkBackend::OnMotion(HWND hwnd, void* raw) {
    auto* event = static_cast<GdkEventMotion*>(raw);
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return true;
    const POINT client{static_cast<long>(event->x), static_cast<long>(event->y)};
    HeadlessBackend::SetCursorPos(POINT{client.x + peer->rect.left, client.y + peer->rect.top});
    if (peer->captionPress) {
        if (std::abs(event->x_root - peer->pressRootX) >= kDragThreshold ||
            std::abs(event->y_root - peer->pressRootY) >= kDragThreshold) {
            peer->captionPress = false;
            // The grab takes this motion's time: a press's older time may
            // lose against a grab the display saw since.
            gtk_window_begin_move_drag(GTK_WINDOW(peer->window), 1, static_cast<gint>(peer->pressRootX),
                                       static_cast<gint>(peer->pressRootY), event->time);
        }
        return true;
    }
    if (!::IsWindowEnabled(hwnd))
        return true;
    ::PostMessageW(hwnd, WM_MOUSEMOVE, MouseKeys(event->state), MAKELPARAM(client.x, client.y));
    gdk_event_request_motions(event);
    return true;
}

bool GtkBackend::OnLeave(HWND hwnd, void* raw) {
    auto* event = static_cast<GdkEventCrossing*>(raw);
    if (event->detail == GDK_NOTIFY_INFERIOR || event->mode != GDK_CROSSING_NORMAL)
        return false;
    if (::IsWindow(hwnd))
        ::PostMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
    return false;
}

bool GtkBackend::OnScroll(HWND hwnd, void* raw) {
    auto* event = static_cast<GdkEventScroll*>(raw);
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || !::IsWindowEnabled(hwnd))
        return true;
    int delta = 0;
    if (event->direction == GDK_SCROLL_UP)
        delta = 120;
    else if (event->direction == GDK_SCROLL_DOWN)
        delta = -120;
    else if (event->direction == GDK_SCROLL_SMOOTH)
        delta = static_cast<int>(-event->delta_y * 120);
    if (delta == 0)
        return true;
    const POINT screen{static_cast<long>(event->x) + peer->rect.left,
                       static_cast<long>(event->y) + peer->rect.top};
    const WPARAM wParam =
        (MouseKeys(event->state) & 0xFFFF) | (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16);
    ::PostMessageW(hwnd, WM_MOUSEWHEEL, wParam, MAKELPARAM(screen.x, screen.y));
    return true;
}

bool GtkBackend::OnKey(HWND hwnd, void* raw) {
    auto* event = static_cast<GdkEventKey*>(raw);
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || !::IsWindowEnabled(hwnd))
        return true;
    const bool press = event->type == GDK_KEY_PRESS;
    const WPARAM vk = VirtualKey(event->keyval);
    if (peer->imFocused) {
        // The input method sees the key first; what it commits while doing
        // so follows the key-down as characters, as WM_CHAR follows
        // WM_KEYDOWN. A key it keeps for a composition is no key-down.
        const bool composingBefore = !peer->preedit.empty();
        peer->filtering = true;
        peer->commitBuffer.clear();
        const bool consumed = gtk_im_context_filter_keypress(peer->im, event) != FALSE;
        peer->filtering = false;
        const bool composing = composingBefore || !peer->preedit.empty();
        if (vk != 0 && !(consumed && composing))
            ::PostMessageW(hwnd, press ? WM_KEYDOWN : WM_KEYUP, vk,
                           press ? 1 : static_cast<LPARAM>(0xC0000001));
        const std::string committed = std::exchange(peer->commitBuffer, {});
        for (char16_t unit : os::Utf8ToUtf16(committed))
            ::PostMessageW(hwnd, WM_CHAR, unit, 1);
        return true;
    }
    if (vk != 0)
        ::PostMessageW(hwnd, press ? WM_KEYDOWN : WM_KEYUP, vk, press ? 1 : static_cast<LPARAM>(0xC0000001));
    if (press && (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0) {
        const gunichar ch = gdk_keyval_to_unicode(event->keyval);
        if (ch >= 0x20 && ch != 0x7F) {
            char utf8[8] = {};
            g_unichar_to_utf8(ch, utf8);
            for (char16_t unit : os::Utf8ToUtf16(utf8))
                ::PostMessageW(hwnd, WM_CHAR, unit, 1);
        }
    }
    return true;
}

void GtkBackend::OnCommit(HWND hwnd, const char* text) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || text == nullptr)
        return;
    if (peer->filtering) {
        peer->commitBuffer += text;
        return;
    }
    for (char16_t unit : os::Utf8ToUtf16(text))
        ::PostMessageW(hwnd, WM_CHAR, unit, 1);
}

void GtkBackend::OnPreedit(HWND hwnd) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr)
        return;
    gchar* text = nullptr;
    gtk_im_context_get_preedit_string(peer->im, &text, nullptr, nullptr);
    peer->preedit = text != nullptr ? text : "";
    g_free(text);
    if (CPaintManagerUI* manager = ManagerOf(hwnd)) {
        if (CControlUI* focus = manager->GetFocus())
            Damage(*peer, focus->GetPos());
    }
}

void GtkBackend::UpdateInputMethod(Peer& peer) {
    CPaintManagerUI* manager = ManagerOf(peer.hwnd);
    CControlUI* focus = manager != nullptr ? manager->GetFocus() : nullptr;
    auto* edit = focus != nullptr ? focus->GetInterface("Edit") : nullptr;
    const bool wanted =
        edit != nullptr && focus->IsVisible() && focus->IsEnabled() && ::GetFocus() == peer.hwnd;
    if (wanted != peer.imFocused) {
        peer.imFocused = wanted;
        if (wanted) {
            gtk_im_context_set_client_window(peer.im, gtk_widget_get_window(peer.canvas));
            gtk_im_context_focus_in(peer.im);
        } else {
            gtk_im_context_focus_out(peer.im);
            gtk_im_context_reset(peer.im);
            peer.preedit.clear();
        }
    }
    if (wanted) {
        // Candidate windows open at the edit.
        const RECT rc = focus->GetPos();
        GdkRectangle area{static_cast<int>(rc.left), static_cast<int>(rc.top), static_cast<int>(rc.Width()),
                          static_cast<int>(rc.Height())};
        gtk_im_context_set_cursor_location(peer.im, &area);
    }
}

bool GtkBackend::OnFocus(HWND hwnd, bool in) {
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || !::IsWindow(hwnd))
        return false;
    if (in) {
        if (m_deactivateCheck != 0) {
            g_source_remove(m_deactivateCheck);
            m_deactivateCheck = 0;
        }
        // Our own request coming back: nothing to tell the windows.
        if (m_presented.erase(hwnd) > 0)
            return false;
        // While the server settles after our own focus changes (a focused
        // window destroyed or hidden makes it hand the focus back to some
        // other window; requests overtake each other's events), a focus-in
        // is no user's choice: taking it for one would activate a window the
        // program has just left, and close the pop-up it has just opened.
        if (SettlingFocus())
            return false;
        // The desktop gave this window the focus (the user chose it).
        if (::GetActiveWindow() != hwnd && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd))
            ::SetActiveWindow(hwnd);
        return false;
    }
    ForgetStaleEchoes();
    if (::GetActiveWindow() == hwnd && m_presented.empty() && m_deactivateCheck == 0) {
        // Perhaps another program took the focus: look again once the
        // focus has settled.
        m_deactivateCheck = g_timeout_add(100, &DeactivateCb, this);
    }
    return false;
}

bool GtkBackend::SettlingFocus() const {
    return g_get_monotonic_time() - m_focusRequestUs < kPresentEchoUs;
}

void GtkBackend::NoteFocusRequest() {
    m_focusRequestUs = g_get_monotonic_time();
}

void GtkBackend::ForgetStaleEchoes() {
    // An echo that never came (the server gave the focus elsewhere first)
    // must not keep the program from noticing that another one took it.
    const gint64 now = g_get_monotonic_time();
    std::erase_if(m_presented, [&](const auto& entry) { return now - entry.second >= kPresentEchoUs; });
}

void GtkBackend::OnDeactivateCheck() {
    m_deactivateCheck = 0;
    if (SettlingFocus())
        return;  // our own focus change, not another program's
    for (auto& [hwnd, peer] : m_peers) {
        if (gtk_window_is_active(GTK_WINDOW(peer->window)))
            return;
    }
    if (m_dialog != nullptr)
        return;  // our own system dialog has it
    if (::GetActiveWindow() != nullptr)
        DeactivateApplication();
}

bool GtkBackend::OnConfigure(HWND hwnd, void* raw) {
    auto* event = static_cast<GdkEventConfigure*>(raw);
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || !::IsWindow(hwnd))
        return false;
    const RECT outer{event->x, event->y, event->x + event->width, event->y + event->height};
    const auto echo = std::find(peer->echoes.begin(), peer->echoes.end(), outer);
    if (echo != peer->echoes.end()) {
        peer->echoes.erase(peer->echoes.begin(), echo + 1);
        return false;
    }
    // The desktop (a drag of the caption or an edge, the window manager)
    // moved or sized the window: the window layer follows.
    const RECT rect{outer.left + peer->margin, outer.top + peer->margin, outer.right - peer->margin,
                    outer.bottom - peer->margin};
    if (rect == peer->rect)
        return false;
    const bool sized = rect.Width() != peer->rect.Width() || rect.Height() != peer->rect.Height();
    peer->rect = rect;
    peer->echoes.clear();
    if (sized) {
        gtk_widget_set_size_request(peer->canvas, static_cast<int>(std::max<long>(1, rect.Width())),
                                    static_cast<int>(std::max<long>(1, rect.Height())));
    }
    // Applied through the window layer; its mirror call comes back as an
    // echo of exactly this geometry.
    peer->echoes.push_back(outer);
    ::SetWindowPos(hwnd, nullptr, static_cast<int>(rect.left), static_cast<int>(rect.top),
                   static_cast<int>(rect.Width()), static_cast<int>(rect.Height()),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    return false;
}

bool GtkBackend::OnWindowState(HWND hwnd, void* raw) {
    auto* event = static_cast<GdkEventWindowState*>(raw);
    Peer* peer = FindPeer(hwnd);
    if (peer == nullptr || !::IsWindow(hwnd))
        return false;
    if ((event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) != 0) {
        const bool iconic = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
        if (iconic != peer->iconic) {
            // The desktop minimised or restored the window (its task bar).
            peer->iconic = iconic;
            ::PostMessageW(hwnd, WM_SYSCOMMAND, iconic ? SC_MINIMIZE : SC_RESTORE, 0);
        }
    }
    if ((event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) != 0) {
        // We never ask the desktop to maximise (the window layer places a
        // maximised window itself): this is the user's, through the desktop.
        const bool maximized = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
        if (maximized != (::IsZoomed(hwnd) != FALSE))
            ::PostMessageW(hwnd, WM_SYSCOMMAND, maximized ? SC_MAXIMIZE : SC_RESTORE, 0);
    }
    return false;
}

bool GtkBackend::OnDelete(HWND hwnd) {
    // The desktop's close (Alt+F4, the task bar) is the system menu's close.
    if (::IsWindow(hwnd) && ::IsWindowEnabled(hwnd))
        ::PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

// ---- system dialogs -----------------------------------------------------------------------

void GtkBackend::OnDialogResponse(int response) {
    if (m_dialog != nullptr && !m_dialog->response)
        m_dialog->response = response;
    Wake();
}

namespace {
// Runs the window layer's loop (windows keep working) until `done`; false
// when a quit message ended it (posted again for the outer loop).
bool RunNestedLoop(const std::function<bool()>& done) {
    MSG msg;
    while (!done()) {
        if (!::GetMessageW(&msg, nullptr, 0, 0)) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (!TranslateUiMessage(msg))
            ::DispatchMessageW(&msg);
    }
    return true;
}

// Disables the owner while a system dialog shows, and gives it back its
// state and the focus afterwards.
class OwnerDisabled {
  public:
    explicit OwnerDisabled(HWND owner) : m_owner(owner) {
        m_wasEnabled = m_owner != nullptr && ::IsWindowEnabled(m_owner);
        if (m_wasEnabled)
            ::EnableWindow(m_owner, FALSE);
    }
    ~OwnerDisabled() {
        if (m_wasEnabled && ::IsWindow(m_owner)) {
            ::EnableWindow(m_owner, TRUE);
            ::SetFocus(m_owner);
        }
    }
    OwnerDisabled(const OwnerDisabled&) = delete;
    OwnerDisabled& operator=(const OwnerDisabled&) = delete;

  private:
    HWND m_owner;
    bool m_wasEnabled = false;
};
}  // namespace

int GtkBackend::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    int answer = (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
    OnUiThread([&] {
        if (m_dialog != nullptr) {
            answer = HeadlessBackend::ShowMessageBox(owner, text, caption, type);  // one at a time
            return;
        }
        const bool yesNo = (type & 0x0F) == MB_YESNO;
        GtkMessageType kind = GTK_MESSAGE_INFO;
        if ((type & 0xF0) == MB_ICONERROR)
            kind = GTK_MESSAGE_ERROR;
        else if ((type & 0xF0) == 0x30)
            kind = GTK_MESSAGE_WARNING;
        else if ((type & 0xF0) == 0x20)
            kind = GTK_MESSAGE_QUESTION;
        Peer* ownerPeer = FindPeer(owner);
        GtkWidget* dialog = gtk_message_dialog_new(
            ownerPeer != nullptr ? GTK_WINDOW(ownerPeer->window) : nullptr, GTK_DIALOG_DESTROY_WITH_PARENT,
            kind, yesNo ? GTK_BUTTONS_YES_NO : GTK_BUTTONS_OK, "%s", text.c_str());
        gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
        gtk_window_set_position(GTK_WINDOW(dialog),
                                ownerPeer != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
        gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
        OpenDialog open{
            dialog, SystemDialogInfo{SystemDialogInfo::Kind::MessageBox, owner, caption, text}, {}, {}};
        m_dialog = &open;
        g_signal_connect(dialog, "response", G_CALLBACK(ResponseCb), this);
        OwnerDisabled disabled(owner);
        gtk_widget_show_all(dialog);
        gtk_window_present(GTK_WINDOW(dialog));
        MessageQueue::Instance().NoteWindowChange();
        RunNestedLoop([&] { return open.response.has_value(); });
        m_dialog = nullptr;
        g_signal_handlers_disconnect_by_data(dialog, this);
        gtk_widget_destroy(dialog);
        MessageQueue::Instance().NoteWindowChange();
        switch (open.response.value_or(GTK_RESPONSE_DELETE_EVENT)) {
            case GTK_RESPONSE_YES:
                answer = IDYES;
                break;
            case GTK_RESPONSE_NO:
                answer = IDNO;
                break;
            case GTK_RESPONSE_OK:
                answer = IDOK;
                break;
            default:
                answer = yesNo ? IDNO : IDOK;
                break;
        }
    });
    return answer;
}

SaveFileAnswer GtkBackend::ShowSaveFileDialog(const SaveFileRequest& request) {
    SaveFileAnswer answer;
    OnUiThread([&] {
        if (m_dialog != nullptr)
            return;
        Peer* ownerPeer = FindPeer(request.owner);
        GtkWidget* dialog = gtk_file_chooser_dialog_new(
            "", ownerPeer != nullptr ? GTK_WINDOW(ownerPeer->window) : nullptr, GTK_FILE_CHOOSER_ACTION_SAVE,
            "_Cancel", GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
        // Return saves; the chooser's own checks (the overwrite question)
        // answer through this default.
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
        gtk_file_chooser_set_do_overwrite_confirmation(chooser, request.promptOverwrite ? TRUE : FALSE);
        gtk_file_chooser_set_local_only(chooser, TRUE);
        for (const auto& [label, patterns] : request.filters) {
            GtkFileFilter* filter = gtk_file_filter_new();
            gtk_file_filter_set_name(filter, label.c_str());
            std::string_view rest = patterns;
            while (!rest.empty()) {
                const std::size_t semi = rest.find(';');
                const std::string pattern(rest.substr(0, semi));
                if (!pattern.empty())
                    gtk_file_filter_add_pattern(filter, pattern.c_str());
                rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
            }
            gtk_file_chooser_add_filter(chooser, filter);
        }
        if (!request.initialFolder.empty())
            gtk_file_chooser_set_current_folder(chooser, request.initialFolder.c_str());
        const std::string proposed = WithDefaultExtension(request.proposedName, request.defaultExtension);
        gtk_file_chooser_set_current_name(chooser, proposed.c_str());
        gtk_window_set_position(GTK_WINDOW(dialog),
                                ownerPeer != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
        OpenDialog open{
            dialog, SystemDialogInfo{SystemDialogInfo::Kind::SaveFile, request.owner, "", proposed}, {}, {}};
        m_dialog = &open;
        g_signal_connect(dialog, "response", G_CALLBACK(ResponseCb), this);
        OwnerDisabled disabled(request.owner);
        gtk_widget_show_all(dialog);
        gtk_window_present(GTK_WINDOW(dialog));
        MessageQueue::Instance().NoteWindowChange();
        RunNestedLoop([&] { return open.response.has_value(); });
        m_dialog = nullptr;
        if (open.response == GTK_RESPONSE_ACCEPT && open.chosenPath) {
            answer = WithDefaultExtension(*open.chosenPath, request.defaultExtension);
        } else if (open.response == GTK_RESPONSE_ACCEPT) {
            if (gchar* name = gtk_file_chooser_get_filename(chooser)) {
                answer = WithDefaultExtension(name, request.defaultExtension);
                g_free(name);
            }
        }
        g_signal_handlers_disconnect_by_data(dialog, this);
        gtk_widget_destroy(dialog);
        MessageQueue::Instance().NoteWindowChange();
    });
    return answer;
}

std::optional<SystemDialogInfo> GtkBackend::OpenSystemDialog() {
    if (m_dialog == nullptr || !gtk_widget_get_mapped(m_dialog->dialog))
        return std::nullopt;
    return m_dialog->info;
}

bool GtkBackend::AnswerSystemDialog(const SystemDialogReply& reply) {
    if (m_dialog == nullptr)
        return false;
    if (m_dialog->info.kind == SystemDialogInfo::Kind::SaveFile) {
        // As a user typing the name and pressing Save (the chooser's own
        // questions are the user's business, not the automation's).
        if (reply.button == IDOK)
            m_dialog->chosenPath = reply.path;
        OnDialogResponse(reply.button == IDOK ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
        return true;
    }
    gtk_dialog_response(GTK_DIALOG(m_dialog->dialog), reply.button == IDYES  ? GTK_RESPONSE_YES
                                                      : reply.button == IDNO ? GTK_RESPONSE_NO
                                                                             : GTK_RESPONSE_OK);
    return true;
}

bool GtkBackend::SetClipboardText(const std::string& text) {
    bool ok = false;
    OnUiThread([&] {
        GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
        if (clipboard == nullptr)
            return;
        gtk_clipboard_set_text(clipboard, text.data(), static_cast<gint>(text.size()));
        gtk_clipboard_set_can_store(clipboard, nullptr, 0);
        ok = true;
    });
    return ok;
}

std::optional<std::string> GtkBackend::GetClipboardText() {
    std::optional<std::string> text;
    OnUiThread([&] {
        GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
        if (clipboard == nullptr)
            return;
        if (gchar* got = gtk_clipboard_wait_for_text(clipboard)) {
            text = got;
            g_free(got);
        }
    });
    return text;
}

}  // namespace DuiLib
