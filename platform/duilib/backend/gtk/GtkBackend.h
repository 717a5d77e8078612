#pragma once
// The display back end on GTK 3: one undecorated GtkWindow per window record,
// painted by GtkRenderer from the window's control tree, with pointer,
// keyboard and input-method events fed back as the Win32-shaped messages the
// paint manager routes. The GLib main context is the loop's waiting part;
// timers run on the clock of the headless back end this one extends (the
// real monotonic clock for the program, the virtual one for tests), so the
// automation and every headless test work on it unchanged.
//
// The window layer keeps every window's state; this back end mirrors it and
// reports back only what happens outside the program's own requests (a drag
// of the caption, the desktop moving the focus to another program), never
// the echo of a change the window layer made itself.
//
// No GTK type appears here: client code and tests include this header
// without the toolkit's.
//
// Threads: Now, Wake, CursorPos and the services (message box, save dialog,
// clipboard) may be called from any thread; the services run on the UI
// thread while the caller waits. Everything else runs on the UI thread.

#include "platform/duilib/UIRender.h"
#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace DuiLib {

class GtkRenderer;

class GtkBackend : public HeadlessBackend {
  public:
    // Opens the display (once per process). False when there is none or GTK
    // cannot open it. Call it before the UI thread starts, or on it.
    static bool OpenDisplay();

    // `options.screen` set: the windows live on that screen record (tests
    // keep their screen); otherwise the desktop's main monitor, its work
    // area and its logical DPI are read (and followed when they change).
    explicit GtkBackend(Options options);
    ~GtkBackend() override;

    // ---- mirroring ----------------------------------------------------------------
    void WindowCreated(HWND hwnd, const std::string& className, HWND owner) override;
    void WindowDestroyed(HWND hwnd) override;
    void WindowShown(HWND hwnd, bool visible) override;
    void WindowMoved(HWND hwnd, const RECT& rect) override;
    void WindowActivated(HWND hwnd) override;
    void WindowEnabled(HWND hwnd, bool enabled) override;
    void WindowTitleChanged(HWND hwnd, const std::string& title) override;
    void ControlChanged(HWND hwnd, CControlUI* control, ControlChange what) override;
    void WindowStyleChanged(HWND hwnd, DWORD style, DWORD exStyle) override;
    void WindowFadeNext(HWND hwnd, int ms) override;
    // The engine's widget goes into the window's GtkFixed at the control's
    // rectangle and follows its position and visibility; the engine keeps
    // owning it (Detached and the window's end take it out, never destroy it).
    void NativeViewAttached(HWND hwnd, CControlUI* control, void* widget) override;
    void NativeViewDetached(HWND hwnd, CControlUI* control, void* widget) override;

    // ---- the loop -------------------------------------------------------------------
    // Iterates the GLib main context until Wake or, on the real clock, the
    // next timer (a GLib timeout on the monotonic clock).
    void WaitForWork(std::optional<std::uint64_t> nextTimer) override;
    void Wake() override;

    // ---- services ---------------------------------------------------------------------
    // A GtkMessageDialog owned by the owner's window; the owner is disabled
    // while it shows, and other windows' messages keep flowing (a modal loop
    // nested in ours). Closed without a button: IDNO for yes/no, else IDOK.
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    // A GtkFileChooserDialog centred on its owner, with the filters, the
    // proposed name and the overwrite question; the default extension is
    // added to a name chosen without one.
    SaveFileAnswer ShowSaveFileDialog(const SaveFileRequest& request) override;
    // The desktop's clipboard (the CLIPBOARD selection).
    bool SetClipboardText(const std::string& text) override;
    std::optional<std::string> GetClipboardText() override;
    std::optional<SystemDialogInfo> OpenSystemDialog() override;
    bool AnswerSystemDialog(const SystemDialogReply& reply) override;

    // ---- for tests and benchmarks (UI thread) ------------------------------------------
    struct Image {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels;  // ARGB, premultiplied, row after row
        bool WritePng(const std::string& path) const;
        static std::optional<Image> ReadPng(const std::string& path);
        std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    };
    struct PaintStats {
        int frames = 0;                // draws of the window since the last reset
        std::vector<RECT> lastDamage;  // the rectangles the last draw repainted
        std::vector<RECT> allDamage;   // every rectangle repainted since the reset
    };
    // The window as the renderer draws it now (offscreen, at its size; with
    // `composited` the round corners and the shadow margin are transparent).
    std::optional<Image> RenderWindow(HWND hwnd, bool composited = false);
    // The window's pixels as the display holds them, after painting what is
    // pending (FlushPaint).
    std::optional<Image> GrabWindow(HWND hwnd);
    // Runs the toolkit until the window is mapped and has painted every
    // damage; false on the deadline.
    bool FlushPaint(HWND hwnd, std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));
    PaintStats GetPaintStats(HWND hwnd) const;
    void ResetPaintStats(HWND hwnd);
    // The toolkit objects of a window (GtkWindow*, GtkIMContext*), or null.
    void* NativeWindow(HWND hwnd) const;
    void* InputMethodContext(HWND hwnd) const;
    // The window's opacity now (fades), 1 without a window.
    double WindowOpacity(HWND hwnd) const;
    // Whether the toolkit holds the pointer (a caption or edge drag the
    // toolkit runs itself where no window manager does).
    bool PointerGrabbed() const;
    // Whether a compositor runs (round corners and shadows drawn).
    bool IsComposited() const;
    // Reads the screen record from the desktop again (monitors, DPI).
    void RefreshScreen();
    // Runs the toolkit's pending events (tests that wait on the display).
    void Pump();
    GtkRenderer& Renderer() { return *m_renderer; }

    struct Peer;

  private:
    Peer* FindPeer(HWND hwnd) const;
    void ApplyGeometry(Peer& peer);
    void Damage(Peer& peer, const RECT& rc);
    void UpdateNativeViews(Peer& peer);
    void UpdateInputMethod(Peer& peer);
    void ScheduleLayout(Peer& peer);
    void StartFade(Peer& peer, bool show);
    void ForgetUnusedImages();
    bool SettlingFocus() const;
    void NoteFocusRequest();
    void ForgetStaleEchoes();

    std::unique_ptr<GtkRenderer> m_renderer;
    std::map<HWND, std::unique_ptr<Peer>> m_peers;
    std::atomic<bool> m_woken{false};
    bool m_fixedScreen = false;
    TextMeasurer m_previousMeasurer;
    // Windows we asked the desktop to give the focus to, whose focus-in is
    // an echo, not a user's choice.
    std::map<HWND, std::int64_t> m_presented;  // when we asked (monotonic µs)
    // When the program last moved the desktop's focus itself (activated,
    // hid or destroyed a window); focus events for a while after are ours.
    std::int64_t m_focusRequestUs = 0;
    unsigned m_deactivateCheck = 0;  // GLib source id
    struct OpenDialog;
    OpenDialog* m_dialog = nullptr;  // the system dialog showing now

  public:
    // Event handlers (called from the toolkit's signal callbacks).
    void OnDraw(HWND hwnd, void* cairo);
    bool OnButton(HWND hwnd, void* event);
    bool OnMotion(HWND hwnd, void* event);
    bool OnLeave(HWND hwnd, void* event);
    bool OnScroll(HWND hwnd, void* event);
    bool OnKey(HWND hwnd, void* event);
    bool OnFocus(HWND hwnd, bool in);
    bool OnConfigure(HWND hwnd, void* event);
    bool OnWindowState(HWND hwnd, void* event);
    bool OnDelete(HWND hwnd);
    void OnCommit(HWND hwnd, const char* text);
    void OnPreedit(HWND hwnd);
    void OnFadeStep(HWND hwnd);
    void OnLayoutIdle(HWND hwnd);
    void OnDeactivateCheck();
    void OnDialogResponse(int response);
};

}  // namespace DuiLib
