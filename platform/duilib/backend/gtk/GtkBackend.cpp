#include "platform/duilib/backend/gtk/GtkBackend.h"

#include "platform/duilib/UIManager.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkClipboard.h"
#include "platform/duilib/backend/gtk/GtkFocusTracker.h"
#include "platform/duilib/backend/gtk/GtkRenderer.h"
#include "platform/duilib/backend/gtk/GtkScreen.h"
#include "platform/duilib/backend/gtk/GtkSystemDialogs.h"
#include "platform/duilib/backend/gtk/GtkWindowPeer.h"

#include <gtk/gtk.h>

#include <set>
#include <vector>

namespace DuiLib {
namespace {
gboolean TimerCb(gpointer data) {
    *static_cast<bool*>(data) = true;
    return G_SOURCE_REMOVE;
}
}  // namespace

// ---- start and end ------------------------------------------------------------------------

bool GtkBackend::OpenDisplay() {
    return GtkScreen::OpenDisplay();
}

std::shared_ptr<Backend> GtkBackend::Make(const BackendOptions& options) {
    if (!OpenDisplay())
        return nullptr;
    return std::make_shared<GtkBackend>(options);
}

GtkBackend::GtkBackend(Options options)
    : m_screen((OpenDisplay(), std::make_unique<GtkScreen>(options.screen))),
      m_renderer(std::make_unique<GtkRenderer>()),
      m_focus(std::make_unique<GtkFocusTracker>(
          [] { return static_cast<std::int64_t>(g_get_monotonic_time()); })),
      m_dialogs(std::make_unique<GtkSystemDialogs>(*this)),
      m_clipboard(std::make_unique<GtkClipboard>()) {
    m_previousMeasurer = SetTextMeasurer(&GtkRenderer::MeasureText);
}

GtkBackend::~GtkBackend() {
    if (m_deactivateCheck != 0)
        g_source_remove(m_deactivateCheck);
    std::vector<HWND> left;
    for (auto& [hwnd, peer] : m_peers)
        left.push_back(hwnd);
    for (HWND hwnd : left)
        WindowDestroyed(hwnd);
    SetTextMeasurer(std::move(m_previousMeasurer));
}

// ---- the loop -----------------------------------------------------------------------------

void GtkBackend::Wake() {
    m_woken.store(true);
    g_main_context_wakeup(nullptr);
}

void GtkBackend::WaitForWork(std::optional<std::chrono::milliseconds> timeout) {
    if (m_woken.exchange(false))
        return;
    bool due = false;
    GSource* timer = nullptr;
    if (timeout) {
        timer = g_timeout_source_new(static_cast<guint>(std::max<std::int64_t>(0, timeout->count())));
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

// ---- mirroring -------------------------------------------------------------------------------

GtkWindowPeer* GtkBackend::FindPeer(HWND hwnd) const {
    const auto it = m_peers.find(hwnd);
    return it == m_peers.end() ? nullptr : it->second.get();
}

void GtkBackend::WindowCreated(HWND hwnd, const std::string& className, HWND owner) {
    m_peers[hwnd] = std::make_unique<GtkWindowPeer>(*this, hwnd, className, FindPeer(owner));
}

void GtkBackend::WindowDestroyed(HWND hwnd) {
    const auto it = m_peers.find(hwnd);
    if (it == m_peers.end())
        return;
    m_dialogs->WindowGoing(hwnd);
    m_focus->Forget(hwnd);
    // Out of the table first: the toolkit's destruction may send events.
    std::unique_ptr<GtkWindowPeer> peer = std::move(it->second);
    m_peers.erase(it);
    peer.reset();
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

void GtkBackend::WindowShown(HWND hwnd, bool visible) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->Show(visible);
}

void GtkBackend::WindowMoved(HWND hwnd, const RECT& rect) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->Move(rect);
}

void GtkBackend::WindowActivated(HWND hwnd) {
    // The input method follows the keyboard focus to the new window.
    for (auto& [other, peer] : m_peers)
        peer->UpdateInputMethod();
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->Activate();
}

void GtkBackend::WindowEnabled(HWND hwnd, bool enabled) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->Enable(enabled);
}

void GtkBackend::WindowTitleChanged(HWND hwnd, const std::string& title) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->SetTitle(title);
}

void GtkBackend::ControlChanged(HWND hwnd, CControlUI* control, ControlChange what) {
    GtkWindowPeer* peer = FindPeer(hwnd);
    if (peer != nullptr && control != nullptr)
        peer->ControlChanged(control, what);
}

void GtkBackend::LayoutNeeded(HWND hwnd) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->ScheduleLayout();
}

void GtkBackend::WindowStyleChanged(HWND hwnd, DWORD style, DWORD exStyle) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->SetStyle(style, exStyle);
}

void GtkBackend::WindowFadeNext(HWND hwnd, int ms) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->FadeNext(ms);
}

void GtkBackend::NativeViewAttached(HWND hwnd, CControlUI* control, void* widget) {
    GtkWindowPeer* peer = FindPeer(hwnd);
    if (peer != nullptr && control != nullptr && widget != nullptr && GTK_IS_WIDGET(widget))
        peer->AttachNativeView(control, GTK_WIDGET(widget));
}

void GtkBackend::NativeViewDetached(HWND hwnd, CControlUI* control, void* /*widget*/) {
    if (GtkWindowPeer* peer = FindPeer(hwnd))
        peer->DetachNativeView(control);
}

std::optional<RECT> GtkBackend::DisplayedRect(HWND hwnd) const {
    GtkWindowPeer* peer = FindPeer(hwnd);
    GdkWindow* window = peer != nullptr ? gtk_widget_get_window(peer->Widget()) : nullptr;
    if (window == nullptr || !peer->IsMapped())
        return std::nullopt;
    // Both come from the display server: where the window manager (or
    // nobody) really put the window, in root coordinates, and the size it
    // has now (a resize asked for is not shown before the toolkit sends it).
    gint x = 0, y = 0, width = 0, height = 0;
    gdk_window_get_origin(window, &x, &y);
    gdk_window_get_geometry(window, nullptr, nullptr, &width, &height);
    const int margin = peer->Margin();
    if (m_screen->IsWayland()) {
        // The compositor keeps where a window is to itself: the window
        // layer's record is the answer, and for a pop-up the compositor
        // placed at its owner, that owner's record plus where it put it.
        const RECT& rect = peer->Rect();
        POINT origin{rect.left, rect.top};
        const GtkWindowPeer* owner = FindPeer(::GetWindowOwner(hwnd));
        if (const std::optional<POINT> offset = peer->PlacedOffset(); offset && owner != nullptr)
            origin = POINT{owner->Rect().left + offset->x, owner->Rect().top + offset->y};
        x = static_cast<gint>(origin.x) - margin;
        y = static_cast<gint>(origin.y) - margin;
    }
    return RECT{x + margin, y + margin, x + width - margin, y + height - margin};
}

// ---- the focus --------------------------------------------------------------------------------

void GtkBackend::OnFocus(GtkWindowPeer& peer, bool in) {
    const HWND hwnd = peer.Hwnd();
    if (!::IsWindow(hwnd))
        return;
    if (!in) {
        if (std::optional<std::int64_t> delay = m_focus->OnFocusOut(::GetActiveWindow() == hwnd))
            ScheduleDeactivateCheck(*delay);
        return;
    }
    if (m_deactivateCheck != 0) {
        g_source_remove(m_deactivateCheck);
        m_deactivateCheck = 0;
    }
    // Our own request coming back, or the desktop settling after one:
    // nothing to tell the windows.
    if (m_focus->OnFocusIn(hwnd) != GtkFocusTracker::FocusIn::UsersChoice)
        return;
    // The desktop gave this window the focus (the user chose it).
    if (::GetActiveWindow() != hwnd && ::IsWindowVisible(hwnd) && ::IsWindowEnabled(hwnd))
        ::SetActiveWindow(hwnd);
}

void GtkBackend::ScheduleDeactivateCheck(std::int64_t delayUs) {
    if (m_deactivateCheck != 0)
        g_source_remove(m_deactivateCheck);
    const auto ms = static_cast<guint>((delayUs + 999) / 1000);
    m_deactivateCheck = g_timeout_add(
        ms,
        [](gpointer self) -> gboolean {
            auto* backend = static_cast<GtkBackend*>(self);
            backend->m_deactivateCheck = 0;
            backend->OnDeactivateCheck();
            return G_SOURCE_REMOVE;
        },
        this);
}

void GtkBackend::OnDeactivateCheck() {
    const GtkFocusTracker::Verdict verdict = m_focus->CheckDue();
    if (!verdict.look) {
        // Still settling after our own change: look once it has settled.
        ScheduleDeactivateCheck(verdict.retryUs);
        return;
    }
    for (auto& [hwnd, peer] : m_peers) {
        if (peer->IsActive())
            return;
    }
    if (m_dialogs->IsShowing())
        return;  // our own system dialog has it
    // Another program took the focus.
    if (::GetActiveWindow() != nullptr)
        DeactivateApplication();
}

// ---- services ---------------------------------------------------------------------------------

int GtkBackend::ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    return m_dialogs->ShowMessageBox(owner, text, caption, type);
}

SaveFileAnswer GtkBackend::ShowSaveFileDialog(const SaveFileRequest& request) {
    return m_dialogs->ShowSaveFile(request);
}

std::optional<SystemDialogInfo> GtkBackend::OpenSystemDialog() {
    return m_dialogs->Open();
}

bool GtkBackend::AnswerSystemDialog(const SystemDialogReply& reply) {
    return m_dialogs->Answer(reply);
}

bool GtkBackend::SetClipboardText(const std::string& text) {
    return m_clipboard->SetText(text);
}

std::optional<std::string> GtkBackend::GetClipboardText() {
    return m_clipboard->GetText();
}

}  // namespace DuiLib
