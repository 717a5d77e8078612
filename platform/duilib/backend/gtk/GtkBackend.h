#pragma once
// The display back end on GTK 3: one undecorated GtkWindow per window record
// (GtkWindowPeer), painted by GtkRenderer from the window's control tree,
// with pointer, keyboard and input-method events fed back as the
// Win32-shaped messages the paint manager routes (GtkInput,
// GtkInputMethod). The GLib main context is the loop's waiting part; the
// loop's clock stays the loop's, so the automation and every headless test
// work on it unchanged.
//
// This class only dispatches the seam to the objects that do the work, one
// per concern, as platform plugins of mature toolkits keep them: the window
// peers, the screen (GtkScreen), the focus rules (GtkFocusTracker), the
// system dialogs (GtkSystemDialogs) and the clipboard (GtkClipboard).
//
// The window layer keeps every window's state; the peers mirror it and
// report back only what happens outside the program's own requests (a drag
// of the caption, the desktop moving the focus to another program), never
// the echo of a change the window layer made itself.
//
// No GTK type appears here: the program includes this header to register
// the back end without the toolkit's headers.
//
// Threads: Wake and the services (message box, save dialog, clipboard) may
// be called from any thread; the services run on the UI thread while the
// caller waits. Everything else runs on the UI thread.

#include "platform/duilib/UIRender.h"
#include "platform/duilib/backend/Backend.h"

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace DuiLib {

class GtkRenderer;
class GtkWindowPeer;
class GtkScreen;
class GtkFocusTracker;
class GtkSystemDialogs;
class GtkClipboard;

class GtkBackend : public Backend {
  public:
    using Options = BackendOptions;

    // Opens the display (once per process). False when there is none or GTK
    // cannot open it. Call it before the UI thread starts, or on it.
    static bool OpenDisplay();
    // The maker to register (BackendChoice.h): a GtkBackend, or null when
    // the display does not open.
    static std::shared_ptr<Backend> Make(const BackendOptions& options);

    // `options.screen` set: the windows live on that screen record (tests
    // keep their screen); otherwise the desktop's main monitor, its work
    // area and its logical DPI are read (and followed when they change).
    explicit GtkBackend(Options options);
    ~GtkBackend() override;
    GtkBackend(const GtkBackend&) = delete;
    GtkBackend& operator=(const GtkBackend&) = delete;

    // ---- mirroring (each goes to the window's peer) ---------------------------------
    void WindowCreated(HWND hwnd, const std::string& className, HWND owner) override;
    void WindowDestroyed(HWND hwnd) override;
    void WindowShown(HWND hwnd, bool visible) override;
    void WindowMoved(HWND hwnd, const RECT& rect) override;
    void WindowActivated(HWND hwnd) override;
    void WindowEnabled(HWND hwnd, bool enabled) override;
    void WindowTitleChanged(HWND hwnd, const std::string& title) override;
    void ControlChanged(HWND hwnd, CControlUI* control, ControlChange what) override;
    void LayoutNeeded(HWND hwnd) override;
    void WindowStyleChanged(HWND hwnd, DWORD style, DWORD exStyle) override;
    void WindowFadeNext(HWND hwnd, int ms) override;
    // The engine's widget goes into the window's GtkFixed at the control's
    // rectangle and follows its position and visibility; the engine keeps
    // owning it (Detached and the window's end take it out, never destroy it).
    void NativeViewAttached(HWND hwnd, CControlUI* control, void* widget) override;
    void NativeViewDetached(HWND hwnd, CControlUI* control, void* widget) override;
    std::optional<RECT> DisplayedRect(HWND hwnd) const override;

    // ---- the loop -------------------------------------------------------------------
    // Iterates the GLib main context until Wake or the timeout.
    void WaitForWork(std::optional<std::chrono::milliseconds> timeout) override;
    void Wake() override;

    // ---- services (GtkSystemDialogs, GtkClipboard) -----------------------------------
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    SaveFileAnswer ShowSaveFileDialog(const SaveFileRequest& request) override;
    bool SetClipboardText(const std::string& text) override;
    std::optional<std::string> GetClipboardText() override;
    std::optional<SystemDialogInfo> OpenSystemDialog() override;
    bool AnswerSystemDialog(const SystemDialogReply& reply) override;

    // ---- for the peers and the test probes (UI thread) --------------------------------
    GtkWindowPeer* FindPeer(HWND hwnd) const;
    GtkRenderer& Renderer() { return *m_renderer; }
    GtkScreen& Screen() { return *m_screen; }
    GtkFocusTracker& Focus() { return *m_focus; }
    // A peer's window got or lost the toolkit's focus.
    void OnFocus(GtkWindowPeer& peer, bool in);
    // Runs the toolkit's pending events (tests that wait on the display).
    void Pump();

  private:
    void ScheduleDeactivateCheck(std::int64_t delayUs);
    void OnDeactivateCheck();
    void ForgetUnusedImages();

    std::unique_ptr<GtkScreen> m_screen;
    std::unique_ptr<GtkRenderer> m_renderer;
    std::unique_ptr<GtkFocusTracker> m_focus;
    std::unique_ptr<GtkSystemDialogs> m_dialogs;
    std::unique_ptr<GtkClipboard> m_clipboard;
    std::map<HWND, std::unique_ptr<GtkWindowPeer>> m_peers;
    std::atomic<bool> m_woken{false};
    TextMeasurer m_previousMeasurer;
    unsigned m_deactivateCheck = 0;  // GLib source id
};

}  // namespace DuiLib
