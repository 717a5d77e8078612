#include "platform/duilib/backend/gtk/GtkWindowPeer.h"

#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkAccessibleCanvas.h"
#include "platform/duilib/backend/gtk/GtkAccessibleTree.h"
#include "platform/duilib/backend/gtk/GtkBackend.h"
#include "platform/duilib/backend/gtk/GtkFocusTracker.h"
#include "platform/duilib/backend/gtk/GtkPopupPlacement.h"
#include "platform/duilib/backend/gtk/GtkRenderer.h"
#include "platform/duilib/backend/gtk/GtkScreen.h"
#include "platform/duilib/backend/gtk/GtkWindowShape.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace DuiLib {
namespace {

constexpr std::size_t kMaxEchoes = 32;
// How long a geometry we asked for may take to come back; one that has not
// by then never will (the desktop chose otherwise).
constexpr std::int64_t kEchoUs = 1000 * 1000;
constexpr int kFadeStepMs = 16;
// How long the desktop may take to confirm a maximise or restore we asked
// for; its geometry reports meanwhile are not the user's.
constexpr std::int64_t kStateSettleUs = 1000 * 1000;

RECT Union(const RECT& a, const RECT& b) {
    if (a.Width() <= 0 || a.Height() <= 0)
        return b;
    if (b.Width() <= 0 || b.Height() <= 0)
        return a;
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

std::vector<RECT> ClipRectangles(cairo_t* cr) {
    std::vector<RECT> damage;
    gtk::CairoRectangleListPtr list(cairo_copy_clip_rectangle_list(cr));
    if (list != nullptr && list->status == CAIRO_STATUS_SUCCESS) {
        for (int i = 0; i < list->num_rectangles; ++i) {
            const cairo_rectangle_t& r = list->rectangles[i];
            damage.push_back(RECT{static_cast<long>(r.x), static_cast<long>(r.y),
                                  static_cast<long>(r.x + r.width), static_cast<long>(r.y + r.height)});
        }
    }
    return damage;
}

}  // namespace

GtkWindowPeer::GtkWindowPeer(GtkBackend& backend, HWND hwnd, const std::string& className,
                             GtkWindowPeer* owner)
    : m_backend(backend),
      m_hwnd(hwnd),
      m_im(hwnd,
           [this] {
               // The composition is drawn at the focused edit's caret.
               if (CPaintManagerUI* manager = Manager()) {
                   if (CControlUI* focus = manager->GetFocus())
                       Damage(focus->GetPos());
               }
           }),
      m_input(*this) {
    ::GetWindowRect(hwnd, &m_rect);
    CreateWidgets(className, owner);
    ConnectSignals();
    m_natives = std::make_unique<GtkNativeViews>(m_fixed, [this] { return Manager(); });
    m_accessibles = std::make_unique<GtkAccessibleTree>(
        hwnd, [this] { return Manager(); }, m_canvas);
    ApplyGeometry();
}

GtkWindowPeer::~GtkWindowPeer() {
    m_fadeSource.Reset();
    m_layoutSource.Reset();
    // A shown window going away may take the desktop's focus with it.
    if (gtk_widget_get_mapped(m_window))
        m_backend.Focus().NoteOwnChange();
    m_im.Detach();
    m_accessibles.reset();
    m_natives.reset();
    if (m_placedWindow != nullptr)
        g_signal_handlers_disconnect_by_data(m_placedWindow, this);
    if (m_askAgainClock != nullptr)
        g_signal_handlers_disconnect_by_data(m_askAgainClock, this);
    g_signal_handlers_disconnect_by_data(m_window, this);
    g_signal_handlers_disconnect_by_data(m_canvas, this);
    gtk_widget_destroy(m_window);
}

CPaintManagerUI* GtkWindowPeer::Manager() const {
    for (CPaintManagerUI* manager : CPaintManagerUI::GetPaintManagers()) {
        if (manager->GetPaintWindow() == m_hwnd && manager->GetRoot() != nullptr)
            return manager;
    }
    return nullptr;
}

void GtkWindowPeer::CreateWidgets(const std::string& className, GtkWindowPeer* owner) {
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(m_hwnd, GWL_EXSTYLE));
    m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(m_window);
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_title(window, ::GetWindowTextW(m_hwnd).c_str());
    gtk_window_set_role(window, className.c_str());
    if ((exStyle & WS_EX_TOOLWINDOW) != 0) {
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_POPUP_MENU);
        gtk_window_set_skip_taskbar_hint(window, TRUE);
        gtk_window_set_skip_pager_hint(window, TRUE);
    } else if (owner != nullptr || ::GetWindowOwner(m_hwnd) != nullptr) {
        gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    }
    if (owner != nullptr)
        gtk_window_set_transient_for(window, owner->Toplevel());
    GtkAccessibleTree::SetWindowRole(m_window, owner != nullptr || ::GetWindowOwner(m_hwnd) != nullptr,
                                     (exStyle & WS_EX_TOOLWINDOW) != 0);
    gtk_widget_set_app_paintable(m_window, TRUE);
    if (m_backend.Screen().IsComposited())
        gtk_widget_set_visual(m_window, gdk_screen_get_rgba_visual(gdk_screen_get_default()));
    m_fixed = gtk_fixed_new();
    m_canvas = GtkAccessibleCanvasNew();  // its accessible lists the controls
    gtk_widget_set_can_focus(m_window, TRUE);
    gtk_container_add(GTK_CONTAINER(m_window), m_fixed);
    gtk_fixed_put(GTK_FIXED(m_fixed), m_canvas, 0, 0);
    gtk_widget_add_events(m_canvas, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                        GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK |
                                        GDK_SMOOTH_SCROLL_MASK);
    gtk_widget_add_events(
        m_window, GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK);
    gtk_widget_show(m_fixed);
    gtk_widget_show(m_canvas);
}

void GtkWindowPeer::ConnectSignals() {
    g_signal_connect(m_canvas, "draw", G_CALLBACK(DrawCb), this);
    g_signal_connect(m_canvas, "button-press-event", G_CALLBACK(ButtonCb), this);
    g_signal_connect(m_canvas, "button-release-event", G_CALLBACK(ButtonCb), this);
    g_signal_connect(m_canvas, "motion-notify-event", G_CALLBACK(MotionCb), this);
    g_signal_connect(m_canvas, "leave-notify-event", G_CALLBACK(LeaveCb), this);
    g_signal_connect(m_canvas, "scroll-event", G_CALLBACK(ScrollCb), this);
    g_signal_connect(m_window, "key-press-event", G_CALLBACK(KeyCb), this);
    g_signal_connect(m_window, "key-release-event", G_CALLBACK(KeyCb), this);
    g_signal_connect(m_window, "focus-in-event", G_CALLBACK(FocusInCb), this);
    g_signal_connect(m_window, "focus-out-event", G_CALLBACK(FocusOutCb), this);
    g_signal_connect(m_window, "configure-event", G_CALLBACK(ConfigureCb), this);
    g_signal_connect(m_window, "window-state-event", G_CALLBACK(StateCb), this);
    g_signal_connect(m_window, "map-event", G_CALLBACK(MapCb), this);
    g_signal_connect(m_window, "delete-event", G_CALLBACK(DeleteCb), this);
    g_signal_connect(m_window, "unmap-event", G_CALLBACK(UnmapCb), this);
}

// ---- geometry and state ---------------------------------------------------------------

void GtkWindowPeer::ApplyGeometry() {
    CPaintManagerUI* manager = Manager();
    const bool composited = m_backend.Screen().IsComposited();
    m_margin = 0;
    if (manager != nullptr && composited && manager->IsShadowEnabled())
        m_margin = manager->GetDPIObj().Scale(manager->GetShadowSize());
    // The toolkit has no window of no size: such a window is one pixel.
    const int width = std::max<int>(1, static_cast<int>(m_rect.Width()));
    const int height = std::max<int>(1, static_cast<int>(m_rect.Height()));
    gtk_widget_set_size_request(m_canvas, width, height);
    gtk_fixed_move(GTK_FIXED(m_fixed), m_canvas, m_margin, m_margin);
    const RECT outer{m_rect.left - m_margin, m_rect.top - m_margin,
                     m_rect.left - m_margin + width + 2 * m_margin,
                     m_rect.top - m_margin + height + 2 * m_margin};
    gtk_window_move(Toplevel(), static_cast<int>(outer.left), static_cast<int>(outer.top));
    gtk_window_resize(Toplevel(), static_cast<int>(outer.Width()), static_cast<int>(outer.Height()));
    PlaceAtOwner();
    m_echoes.push_back(Echo{outer, g_get_monotonic_time()});
    while (m_echoes.size() > kMaxEchoes)
        m_echoes.pop_front();
    if (m_margin > 0) {
        // Only the window itself takes the pointer, not its shadow.
        if (GdkWindow* gdkWindow = gtk_widget_get_window(m_window)) {
            cairo_rectangle_int_t inner{m_margin, m_margin, width, height};
            gtk::CairoRegionPtr region(cairo_region_create_rectangle(&inner));
            gdk_window_input_shape_combine_region(gdkWindow, region.get(), 0, 0);
        }
    }
    ApplyShape(width, height);
    m_natives->Update(m_margin);
}

void GtkWindowPeer::PlaceAtOwner() {
    // Where windows place themselves (X11) the move above is the placement.
    m_atOwner = false;
    if (!m_backend.Screen().IsWayland())
        return;
    GtkWindowPeer* owner = m_backend.FindPeer(::GetWindowOwner(m_hwnd));
    const auto style = static_cast<DWORD>(::GetWindowLongW(m_hwnd, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongW(m_hwnd, GWL_EXSTYLE));
    if (owner == nullptr || !DuiLib::IsPlacedAtOwner(style, exStyle, true))
        return;
    m_atOwner = true;
    // The compositor places a pop-up relative to its parent, the window it
    // is transient for, and only when the pop-up is mapped.
    gtk_window_set_transient_for(Toplevel(), owner->Toplevel());
    gtk_widget_realize(m_window);
    GdkWindow* gdkWindow = gtk_widget_get_window(m_window);
    if (gdkWindow != m_placedWindow) {
        if (m_placedWindow != nullptr)
            g_signal_handlers_disconnect_by_data(m_placedWindow, this);
        m_placedWindow = gdkWindow;
        g_signal_connect(gdkWindow, "moved-to-rect", G_CALLBACK(MovedToRectCb), this);
    }
    const PopupAnchor anchor = AnchorAtOwner(m_rect, m_margin, owner->Rect(), owner->Margin());
    const std::pair<POINT, POINT> asked{POINT{anchor.rect.x, anchor.rect.y}, POINT{anchor.dx, anchor.dy}};
    if (m_anchorAsked == asked && gtk_widget_get_mapped(m_window))
        return;
    m_anchorAsked = asked;
    gdk_window_move_to_rect(gdkWindow, &anchor.rect, anchor.rectAnchor, anchor.windowAnchor, anchor.hints,
                            anchor.dx, anchor.dy);
    if (gtk_widget_get_mapped(m_window)) {
        // A shown pop-up takes a new place only at its next map.
        m_replacing = true;
        gtk_widget_hide(m_window);
        gtk_widget_show(m_window);
        m_replacing = false;
    }
}

GtkWindowPeer* GtkWindowPeer::KeyboardPopup() const {
    // A Wayland pop-up without a grab never gets the keyboard: the
    // compositor keeps it on the top-level below. While the window layer's
    // active window is a shown pop-up of this window (or of one of its
    // pop-ups), the keys this window gets are the pop-up's, as they are on
    // X11, where the pop-up has the focus (Escape closes it).
    GtkWindowPeer* active = m_backend.FindPeer(::GetActiveWindow());
    if (active == nullptr || active == this || !active->m_atOwner || !active->m_shown)
        return nullptr;
    for (HWND up = ::GetWindowOwner(active->m_hwnd); up != nullptr; up = ::GetWindowOwner(up)) {
        if (up == m_hwnd)
            return active;
    }
    return nullptr;
}

void GtkWindowPeer::OnMovedToRect(const GdkRectangle* finalRect) {
    // Relative to the owner's toolkit window: where the compositor put the
    // pop-up, moved back onto the monitor if it had to be.
    GtkWindowPeer* owner = m_backend.FindPeer(::GetWindowOwner(m_hwnd));
    if (finalRect == nullptr || owner == nullptr)
        return;
    m_placedOffset = ClientOffsetFromPlacement(finalRect->x, finalRect->y, m_margin, owner->Margin());
}

void GtkWindowPeer::OnUnmap() {
    // A pop-up the compositor took down on its own (xdg-popup "done": a
    // click elsewhere, its parent going) is gone for the user: the window
    // layer closes it too, as when it loses the focus, each pop-up by its
    // own rule (a menu or the user information closes, the toolbox panel
    // hides).
    if (!m_atOwner || !m_shown || m_replacing || m_dismissed || !::IsWindow(m_hwnd))
        return;
    // The late news of our own earlier hide, arriving after the window was
    // shown again, is no dismissal: the window is up now.
    GdkWindow* gdkWindow = gtk_widget_get_window(m_window);
    if (gdkWindow != nullptr && gdk_window_is_visible(gdkWindow))
        return;
    m_dismissed = true;
    m_placedOffset.reset();
    m_anchorAsked.reset();
    const HWND owner = ::GetWindowOwner(m_hwnd);
    if (::GetActiveWindow() == m_hwnd && ::IsWindowVisible(owner) && ::IsWindowEnabled(owner))
        ::SetActiveWindow(owner);
    else if (::GetActiveWindow() == m_hwnd)
        DeactivateApplication();
    else
        ::PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
}

void GtkWindowPeer::ApplyShape(int width, int height) {
    // Where a compositor runs, the renderer draws the round corners with
    // transparency; without one the window itself takes the rounded shape.
    CPaintManagerUI* manager = Manager();
    SIZE corner{0, 0};
    if (manager != nullptr && !m_backend.Screen().IsComposited())
        corner = manager->GetDPIObj().Scale(manager->GetRoundCorner());
    std::vector<RECT> shape;
    if (corner.cx > 0 && corner.cy > 0)
        shape = RoundedWindowShape(width, height, corner.cx, corner.cy);
    if (shape == m_shape)
        return;
    m_shape = std::move(shape);
    if (m_shape.empty()) {
        gtk_widget_shape_combine_region(m_window, nullptr);
        return;
    }
    gtk::CairoRegionPtr region(cairo_region_create());
    for (const RECT& row : m_shape) {
        const cairo_rectangle_int_t r{static_cast<int>(row.left), static_cast<int>(row.top),
                                      static_cast<int>(row.Width()), static_cast<int>(row.Height())};
        cairo_region_union_rectangle(region.get(), &r);
    }
    gtk_widget_shape_combine_region(m_window, region.get());
}

void GtkWindowPeer::Show(bool visible) {
    if (m_shown == visible)
        return;
    m_shown = visible;
    m_dismissed = false;
    if (!visible) {
        if (m_fadeNextMs > 0)
            StartFade(false);  // hidden when the fade ends
        else
            Hide();
        return;
    }
    // Its layout is built by now: an untitled window takes its name from it.
    m_accessibles->DescribeWindow(Toplevel());
    // The layout may have given the window its shadow since creation.
    ApplyGeometry();
    if (GtkWindowPeer* owner = m_backend.FindPeer(::GetWindowOwner(m_hwnd)))
        gtk_window_set_transient_for(Toplevel(), owner->Toplevel());
    if (m_fadeNextMs > 0) {
        StartFade(true);
    } else {
        StopFade();
        gtk_widget_set_opacity(m_window, 1.0);
    }
    if (!gtk_widget_get_mapped(m_window))
        m_mapPending = true;
    gtk_widget_show(m_window);
    m_natives->Update(m_margin);
    Damage(RECT{0, 0, m_rect.Width(), m_rect.Height()});
}

void GtkWindowPeer::Hide() {
    m_backend.Focus().NoteOwnChange();  // a hidden window may take the desktop's focus with it
    gtk_widget_hide(m_window);
}

void GtkWindowPeer::Move(const RECT& rect) {
    m_rect = rect;
    ApplyGeometry();
}

void GtkWindowPeer::Activate() {
    if (!m_shown)
        return;
    GtkFocusTracker& focus = m_backend.Focus();
    if (!gtk_window_is_active(Toplevel()))
        focus.NotePresented(m_hwnd);
    focus.NoteOwnChange();
    gtk_window_present_with_time(Toplevel(), GDK_CURRENT_TIME);
}

void GtkWindowPeer::Enable(bool enabled) {
    if (!enabled)
        m_input.CancelCaptionPress();
}

void GtkWindowPeer::SetTitle(const std::string& title) {
    gtk_window_set_title(Toplevel(), title.c_str());
    m_accessibles->DescribeWindow(Toplevel());
}

void GtkWindowPeer::SetStyle(DWORD style, DWORD exStyle) {
    const bool iconic = (style & WS_MINIMIZE) != 0;
    if (iconic != m_iconic) {
        m_iconic = iconic;
        if (iconic)
            gtk_window_iconify(Toplevel());
        else
            gtk_window_deiconify(Toplevel());
    }
    const bool maximized = (style & WS_MAXIMIZE) != 0;
    if (maximized != m_maximized) {
        m_maximized = maximized;
        MirrorMaximized(maximized);
    }
    const bool topmost = (exStyle & WS_EX_TOPMOST) != 0;
    if (topmost != m_topmost) {
        m_topmost = topmost;
        gtk_window_set_keep_above(Toplevel(), topmost ? TRUE : FALSE);
    }
}

void GtkWindowPeer::MirrorMaximized(bool maximized) {
    // The window layer places a maximised window itself; a window manager is
    // told as well, so that it neither restores the window to a geometry of
    // its own nor takes the maximised size for the window's normal one.
    if (!m_backend.Screen().DesktopMaximizes())
        return;
    // One request at a time: a desktop may answer a second one asked before
    // it reported the first by nothing (weston drops a restore of a window
    // whose maximised state the client has not drawn yet). The report of the
    // first asks again for what the window layer then wants.
    if (FollowingOwnStateChange())
        return;
    m_stateRequestPending = true;
    m_stateRequestUs = g_get_monotonic_time();
    if (maximized)
        gtk_window_maximize(Toplevel());
    else
        gtk_window_unmaximize(Toplevel());
}

void GtkWindowPeer::AskAgainAfterPaint() {
    GdkFrameClock* clock = gtk_widget_get_frame_clock(m_window);
    if (clock == nullptr) {
        MirrorMaximized(m_maximized);
        return;
    }
    if (m_askAgainClock != nullptr)
        return;
    m_askAgainClock = clock;
    g_signal_connect(clock, "after-paint", G_CALLBACK(AskAgainCb), this);
    gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_PAINT);
}

void GtkWindowPeer::AskAgainCb(GdkFrameClock* clock, gpointer self) {
    auto* peer = static_cast<GtkWindowPeer*>(self);
    g_signal_handlers_disconnect_by_func(clock, reinterpret_cast<gpointer>(&AskAgainCb), self);
    peer->m_askAgainClock = nullptr;
    peer->MirrorMaximized(peer->m_maximized);
}

bool GtkWindowPeer::FollowingOwnStateChange() const {
    return m_stateRequestPending && g_get_monotonic_time() - m_stateRequestUs < kStateSettleUs;
}

// ---- fading ----------------------------------------------------------------------------

void GtkWindowPeer::StartFade(bool show) {
    m_fadeMs = std::exchange(m_fadeNextMs, 0);
    m_fadeStart = g_get_monotonic_time();
    m_fadingIn = show;
    if (show)
        gtk_widget_set_opacity(m_window, 0.0);
    if (!m_fadeSource)
        m_fadeSource.Reset(g_timeout_add(kFadeStepMs, &FadeCb, this));
}

void GtkWindowPeer::StopFade() {
    m_fadeSource.Reset();
}

void GtkWindowPeer::OnFadeStep() {
    const double elapsed = static_cast<double>(g_get_monotonic_time() - m_fadeStart) / 1000.0;
    const double t = m_fadeMs > 0 ? std::min(1.0, elapsed / m_fadeMs) : 1.0;
    gtk_widget_set_opacity(m_window, m_fadingIn ? t : 1.0 - t);
    if (t < 1.0)
        return;
    StopFade();
    if (!m_fadingIn && !m_shown) {
        Hide();
        gtk_widget_set_opacity(m_window, 1.0);
    }
}

double GtkWindowPeer::Opacity() const {
    return gtk_widget_get_opacity(m_window);
}

// ---- painting ---------------------------------------------------------------------------

void GtkWindowPeer::Damage(const RECT& rc) {
    if (rc.Width() <= 0 || rc.Height() <= 0)
        return;
    ++m_paints.damageSerial;
    gtk_widget_queue_draw_area(m_canvas, static_cast<int>(rc.left), static_cast<int>(rc.top),
                               static_cast<int>(rc.Width()), static_cast<int>(rc.Height()));
}

void GtkWindowPeer::ControlChanged(CControlUI* control, ControlChange what) {
    RECT rc = control->GetPos();
    // A moved control leaves damage where it was too.
    auto [it, inserted] = m_lastRect.try_emplace(control, rc);
    if (!inserted) {
        if (what == ControlChange::Position)
            rc = Union(rc, it->second);
        it->second = control->GetPos();
    }
    Damage(rc);
    if (what == ControlChange::Position || what == ControlChange::Visible || what == ControlChange::Children)
        m_natives->Update(m_margin);
    if (what == ControlChange::State || what == ControlChange::Visible || what == ControlChange::Enabled) {
        UpdateInputMethod();
        m_natives->FollowFocus();
    }
    if (CPaintManagerUI* manager = control->GetManager(); manager != nullptr && manager->IsUpdateNeeded())
        ScheduleLayout();
    m_accessibles->ControlChanged(control, what);
}

void GtkWindowPeer::ScheduleLayout() {
    if (m_layoutSource)
        return;
    // Before the toolkit paints (its redraw runs at HIGH_IDLE + 20).
    m_layoutSource.Reset(g_idle_add_full(G_PRIORITY_HIGH_IDLE + 10, &LayoutCb, this, nullptr));
}

void GtkWindowPeer::LayOutIfNeeded() {
    CPaintManagerUI* manager = Manager();
    if (manager == nullptr || !manager->IsUpdateNeeded())
        return;
    RECT client;
    if (::GetClientRect(m_hwnd, &client))
        manager->UpdateLayout(client);
}

void GtkWindowPeer::OnLayoutIdle() {
    m_layoutSource.Release();
    // The controls the layout moves report their old and new places.
    LayOutIfNeeded();
}

void GtkWindowPeer::OnDraw(cairo_t* cr) {
    // The clip the toolkit gives is the damage being repainted.
    std::vector<RECT> damage = ClipRectangles(cr);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    const RECT clip{static_cast<long>(x1), static_cast<long>(y1), static_cast<long>(std::ceil(x2)),
                    static_cast<long>(std::ceil(y2))};
    ++m_paints.frames;
    m_paints.allDamage.insert(m_paints.allDamage.end(), damage.begin(), damage.end());
    m_paints.lastDamage = std::move(damage);
    m_paints.paintedSerial = m_paints.damageSerial;
    Paint(cr, clip, m_backend.Screen().IsComposited(), m_margin);
}

void GtkWindowPeer::Paint(cairo_t* cr, const RECT& clip, bool composited, int margin) {
    CPaintManagerUI* manager = Manager();
    if (manager == nullptr) {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        return;
    }
    LayOutIfNeeded();
    GtkRenderer::Options options;
    options.composited = composited;
    options.shadowMargin = margin;
    options.preedit = m_im.Preedit();
    m_backend.Renderer().Paint(cr, *manager, clip, options);
}

// ---- native views and the input method --------------------------------------------------

void GtkWindowPeer::AttachNativeView(CControlUI* control, GtkWidget* widget) {
    m_natives->Attach(control, widget, m_margin);
}

void GtkWindowPeer::DetachNativeView(CControlUI* control) {
    m_natives->Detach(control);
}

void GtkWindowPeer::UpdateInputMethod() {
    CPaintManagerUI* manager = Manager();
    CControlUI* focus = manager != nullptr ? manager->GetFocus() : nullptr;
    const bool wanted = focus != nullptr && focus->GetInterface("Edit") != nullptr && focus->IsVisible() &&
                        focus->IsEnabled() && ::GetFocus() == m_hwnd;
    m_im.Follow(m_canvas, wanted ? std::optional<RECT>(focus->GetPos()) : std::nullopt);
}

bool GtkWindowPeer::IsActive() const {
    return gtk_window_is_active(GTK_WINDOW(m_window)) != FALSE;
}

bool GtkWindowPeer::IsMapped() const {
    return gtk_widget_get_mapped(m_window) != FALSE;
}

// ---- what the desktop does --------------------------------------------------------------

void GtkWindowPeer::OnConfigure(const GdkEventConfigure* event) {
    if (!::IsWindow(m_hwnd))
        return;
    RECT outer{event->x, event->y, event->x + event->width, event->y + event->height};
    if (m_backend.Screen().IsWayland()) {
        // A Wayland client never learns where its windows are (a top-level
        // reports 0,0, a pop-up its place in its parent): only the size is
        // news. The window layer's record keeps the place, so that the next
        // pop-up goes where the design puts it relative to its owner.
        outer = RECT{m_rect.left - m_margin, m_rect.top - m_margin, m_rect.left - m_margin + event->width,
                     m_rect.top - m_margin + event->height};
    }
    if (IsOwnStep(outer))
        return;
    // While the desktop carries out a maximise or restore we asked for, the
    // geometries it reports are its own steps, not the user's.
    if (FollowingOwnStateChange())
        return;
    // The desktop (a drag of the caption or an edge, the window manager)
    // moved or sized the window: the window layer follows.
    const RECT rect{outer.left + m_margin, outer.top + m_margin, outer.right - m_margin,
                    outer.bottom - m_margin};
    if (rect == m_rect)
        return;
    const bool sized = rect.Width() != m_rect.Width() || rect.Height() != m_rect.Height();
    m_rect = rect;
    m_echoes.clear();
    if (sized) {
        gtk_widget_set_size_request(m_canvas, static_cast<int>(std::max<long>(1, rect.Width())),
                                    static_cast<int>(std::max<long>(1, rect.Height())));
        ApplyShape(static_cast<int>(std::max<long>(1, rect.Width())),
                   static_cast<int>(std::max<long>(1, rect.Height())));
    }
    // Applied through the window layer; its mirror call comes back as an
    // echo of exactly this geometry.
    m_echoes.push_back(Echo{outer, g_get_monotonic_time()});
    ::SetWindowPos(m_hwnd, nullptr, static_cast<int>(rect.left), static_cast<int>(rect.top),
                   static_cast<int>(rect.Width()), static_cast<int>(rect.Height()),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

bool GtkWindowPeer::IsOwnStep(const RECT& outer) {
    const std::int64_t now = g_get_monotonic_time();
    std::erase_if(m_echoes, [&](const Echo& echo) { return now - echo.askedUs >= kEchoUs; });
    const auto exact =
        std::find_if(m_echoes.begin(), m_echoes.end(), [&](const Echo& echo) { return echo.outer == outer; });
    if (exact != m_echoes.end()) {
        m_echoes.erase(m_echoes.begin(), exact + 1);
        m_reported = outer;
        return true;
    }
    // The toolkit carries a move and a resize out one after the other: the
    // new place at the size reported before (or the new size at the place
    // reported before) is a step of our own request, no news either.
    const RECT before = std::exchange(m_reported, outer);
    const bool samePlace = outer.left == before.left && outer.top == before.top;
    const bool sameSize = outer.Width() == before.Width() && outer.Height() == before.Height();
    return std::any_of(m_echoes.begin(), m_echoes.end(), [&](const Echo& echo) {
        const bool echoPlace = echo.outer.left == outer.left && echo.outer.top == outer.top;
        const bool echoSize = echo.outer.Width() == outer.Width() && echo.outer.Height() == outer.Height();
        return (echoPlace && sameSize) || (echoSize && samePlace);
    });
}

void GtkWindowPeer::OnWindowState(const GdkEventWindowState* event) {
    if (!::IsWindow(m_hwnd))
        return;
    // The toolkit withdraws a Wayland pop-up the compositor dismissed
    // without an unmap of the widget.
    if ((event->changed_mask & event->new_window_state & GDK_WINDOW_STATE_WITHDRAWN) != 0)
        OnUnmap();
    if ((event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) != 0) {
        const bool iconic = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
        // A window hidden and at once shown again (a pop-up reopened) hears
        // of its hide's unmap after the show: that is no iconify of the
        // desktop's, and taking it for one minimised the pop-up.
        const bool ownHide = iconic && m_mapPending;
        if (!ownHide && iconic != m_iconic) {
            // The desktop minimised or restored the window (its task bar).
            m_iconic = iconic;
            ::PostMessageW(m_hwnd, WM_SYSCOMMAND, iconic ? SC_MINIMIZE : SC_RESTORE, 0);
        }
    }
    if ((event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) == 0)
        return;
    const bool maximized = (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0;
    if (m_stateRequestPending && (maximized == m_maximized || FollowingOwnStateChange())) {
        m_stateRequestPending = false;
        if (maximized == m_maximized) {
            // The desktop did what we asked: the window goes where the
            // window layer has it (a restored window to its normal rectangle).
            ApplyGeometry();
        } else {
            // What we asked first, while the window layer has changed its
            // mind since (a restore clicked before the maximise was
            // reported): it is asked for once the window has drawn the
            // reported state, as a desktop only then takes it for the
            // window's.
            AskAgainAfterPaint();
        }
        return;
    }
    if (maximized == m_maximized)
        return;
    // The user maximised or restored the window through the desktop.
    ::PostMessageW(m_hwnd, WM_SYSCOMMAND, maximized ? SC_MAXIMIZE : SC_RESTORE, 0);
}

bool GtkWindowPeer::OnDelete() {
    // The desktop's close (Alt+F4, the task bar) is the system menu's close.
    if (::IsWindow(m_hwnd) && ::IsWindowEnabled(m_hwnd))
        ::PostMessageW(m_hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

// ---- the toolkit's callbacks ----------------------------------------------------------------

gboolean GtkWindowPeer::DrawCb(GtkWidget*, cairo_t* cr, gpointer self) {
    static_cast<GtkWindowPeer*>(self)->OnDraw(cr);
    return TRUE;
}
gboolean GtkWindowPeer::ButtonCb(GtkWidget*, GdkEventButton* event, gpointer self) {
    return static_cast<GtkWindowPeer*>(self)->m_input.OnButton(event) ? TRUE : FALSE;
}
gboolean GtkWindowPeer::MotionCb(GtkWidget*, GdkEventMotion* event, gpointer self) {
    return static_cast<GtkWindowPeer*>(self)->m_input.OnMotion(event) ? TRUE : FALSE;
}
gboolean GtkWindowPeer::LeaveCb(GtkWidget*, GdkEventCrossing* event, gpointer self) {
    return static_cast<GtkWindowPeer*>(self)->m_input.OnLeave(event) ? TRUE : FALSE;
}
gboolean GtkWindowPeer::ScrollCb(GtkWidget*, GdkEventScroll* event, gpointer self) {
    return static_cast<GtkWindowPeer*>(self)->m_input.OnScroll(event) ? TRUE : FALSE;
}
gboolean GtkWindowPeer::KeyCb(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* peer = static_cast<GtkWindowPeer*>(self);
    GtkWindowPeer* target = peer->KeyboardPopup();
    return (target != nullptr ? target : peer)->m_input.OnKey(event) ? TRUE : FALSE;
}
gboolean GtkWindowPeer::FocusInCb(GtkWidget*, GdkEventFocus*, gpointer self) {
    auto* peer = static_cast<GtkWindowPeer*>(self);
    peer->m_backend.OnFocus(*peer, true);
    return FALSE;
}
gboolean GtkWindowPeer::FocusOutCb(GtkWidget*, GdkEventFocus*, gpointer self) {
    auto* peer = static_cast<GtkWindowPeer*>(self);
    peer->m_backend.OnFocus(*peer, false);
    return FALSE;
}
gboolean GtkWindowPeer::ConfigureCb(GtkWidget*, GdkEventConfigure* event, gpointer self) {
    static_cast<GtkWindowPeer*>(self)->OnConfigure(event);
    return FALSE;
}
gboolean GtkWindowPeer::StateCb(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    static_cast<GtkWindowPeer*>(self)->OnWindowState(event);
    return FALSE;
}
gboolean GtkWindowPeer::MapCb(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkWindowPeer*>(self)->m_mapPending = false;
    return FALSE;
}
gboolean GtkWindowPeer::DeleteCb(GtkWidget*, GdkEvent*, gpointer self) {
    return static_cast<GtkWindowPeer*>(self)->OnDelete() ? TRUE : FALSE;
}
gboolean GtkWindowPeer::UnmapCb(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<GtkWindowPeer*>(self)->OnUnmap();
    return FALSE;
}
void GtkWindowPeer::MovedToRectCb(GdkWindow*, gpointer, gpointer final, gboolean, gboolean, gpointer self) {
    static_cast<GtkWindowPeer*>(self)->OnMovedToRect(static_cast<const GdkRectangle*>(final));
}
gboolean GtkWindowPeer::FadeCb(gpointer self) {
    static_cast<GtkWindowPeer*>(self)->OnFadeStep();
    return G_SOURCE_CONTINUE;  // OnFadeStep removes the source when done
}
gboolean GtkWindowPeer::LayoutCb(gpointer self) {
    static_cast<GtkWindowPeer*>(self)->OnLayoutIdle();
    return G_SOURCE_REMOVE;
}

}  // namespace DuiLib
