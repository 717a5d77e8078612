#pragma once
// One window record's toolkit window: an undecorated GtkWindow holding a
// GtkFixed with the drawing area the renderer paints and the native views
// the window hosts. It owns the window's geometry as last mirrored (and the
// echoes of the geometries it asked for, so that they are not taken for the
// desktop's), its state (shown, minimised, maximised, topmost), the fade of
// its next show or hide, its shadow's margin or, without a compositor, its
// rounded shape, and its input (GtkInput, GtkInputMethod).
//
// The window layer's changes arrive through GtkBackend; what the desktop
// does on its own (a drag of the caption or an edge, a minimise from the
// task bar, a close) goes back to the window layer as its messages.
//
// UI thread.

#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIDefine.h"
#include "platform/duilib/backend/gtk/GtkHolders.h"
#include "platform/duilib/backend/gtk/GtkInput.h"
#include "platform/duilib/backend/gtk/GtkInputMethod.h"
#include "platform/duilib/backend/gtk/GtkNativeViews.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace DuiLib {

class CPaintManagerUI;
class GtkAccessibleTree;
class GtkBackend;

class GtkWindowPeer {
  public:
    // What the window painted (for the test probes and FlushPaint).
    struct PaintRecord {
        int frames = 0;                   // draws since the last reset
        std::vector<RECT> lastDamage;     // what the last draw repainted
        std::vector<RECT> allDamage;      // everything repainted since the reset
        std::uint64_t damageSerial = 0;   // damage asked for so far
        std::uint64_t paintedSerial = 0;  // damage painted so far
    };

    GtkWindowPeer(GtkBackend& backend, HWND hwnd, const std::string& className, GtkWindowPeer* owner);
    ~GtkWindowPeer();
    GtkWindowPeer(const GtkWindowPeer&) = delete;
    GtkWindowPeer& operator=(const GtkWindowPeer&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    GtkWidget* Widget() const { return m_window; }
    GtkWindow* Toplevel() const { return GTK_WINDOW(m_window); }
    GtkWidget* Canvas() const { return m_canvas; }
    // The window layer's rectangle (screen coordinates), as last mirrored.
    const RECT& Rect() const { return m_rect; }
    // The shadow's room around it (composited only).
    int Margin() const { return m_margin; }
    // Whether the window is a pop-up the display places at its owner
    // (Wayland), and where the compositor put it: the offset of its client
    // area from its owner's, none before the compositor has placed it.
    bool IsPlacedAtOwner() const { return m_atOwner; }
    std::optional<POINT> PlacedOffset() const { return m_placedOffset; }
    GtkInputMethod& InputMethod() { return m_im; }
    CPaintManagerUI* Manager() const;

    // ---- the window layer's changes ---------------------------------------------------
    void Show(bool visible);
    void Move(const RECT& rect);
    // The window layer activated the window: the desktop is asked to give
    // it the focus.
    void Activate();
    void Enable(bool enabled);
    void SetTitle(const std::string& title);
    void SetStyle(DWORD style, DWORD exStyle);
    void FadeNext(int ms) { m_fadeNextMs = ms; }
    void ControlChanged(CControlUI* control, ControlChange what);
    // Lays the window out before the toolkit next paints.
    void ScheduleLayout();
    void AttachNativeView(CControlUI* control, GtkWidget* widget);
    void DetachNativeView(CControlUI* control);
    // The input method follows the keyboard: focused while an edit of this
    // window has it.
    void UpdateInputMethod();
    // Whether a hosted native view (a page) has the keyboard now.
    bool NativeViewHasKeys() const { return m_natives->HasKeys(); }

    // ---- reading -------------------------------------------------------------------------
    // The rounded shape applied without a compositor (rectangles in the
    // window's coordinates), empty when the window is a plain rectangle.
    const std::vector<RECT>& Shape() const { return m_shape; }
    bool IsActive() const;
    bool IsMapped() const;
    double Opacity() const;
    PaintRecord& Paints() { return m_paints; }
    // Paints the window as the renderer draws it into `cr` (origin: the
    // window's top-left corner), only what meets `clip`.
    void Paint(cairo_t* cr, const RECT& clip, bool composited, int margin);

  private:
    void CreateWidgets(const std::string& className, GtkWindowPeer* owner);
    void ConnectSignals();
    void ApplyGeometry();
    void PlaceAtOwner();
    void OnMovedToRect(const GdkRectangle* finalRect);
    GtkWindowPeer* KeyboardPopup() const;
    void OnUnmap();
    void ApplyShape(int width, int height);
    void Damage(const RECT& rc);
    void StartFade(bool show);
    void StopFade();
    void Hide();
    void LayOutIfNeeded();
    void MirrorMaximized(bool maximized);
    bool FollowingOwnStateChange() const;
    // Asks the desktop for the window layer's maximised state after the
    // window's next drawing.
    void AskAgainAfterPaint();
    static void AskAgainCb(GdkFrameClock* clock, gpointer self);

    void OnDraw(cairo_t* cr);
    void OnFadeStep();
    void OnLayoutIdle();
    void OnConfigure(const GdkEventConfigure* event);
    void OnWindowState(const GdkEventWindowState* event);
    bool OnDelete();

    static gboolean DrawCb(GtkWidget*, cairo_t* cr, gpointer self);
    static gboolean ButtonCb(GtkWidget*, GdkEventButton* event, gpointer self);
    static gboolean MotionCb(GtkWidget*, GdkEventMotion* event, gpointer self);
    static gboolean LeaveCb(GtkWidget*, GdkEventCrossing* event, gpointer self);
    static gboolean ScrollCb(GtkWidget*, GdkEventScroll* event, gpointer self);
    static gboolean KeyCb(GtkWidget*, GdkEventKey* event, gpointer self);
    static gboolean FocusInCb(GtkWidget*, GdkEventFocus*, gpointer self);
    static gboolean FocusOutCb(GtkWidget*, GdkEventFocus*, gpointer self);
    static gboolean ConfigureCb(GtkWidget*, GdkEventConfigure* event, gpointer self);
    static gboolean StateCb(GtkWidget*, GdkEventWindowState* event, gpointer self);
    static gboolean MapCb(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean DeleteCb(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean UnmapCb(GtkWidget*, GdkEvent*, gpointer self);
    static void MovedToRectCb(GdkWindow*, gpointer flipped, gpointer final, gboolean, gboolean,
                              gpointer self);
    static gboolean FadeCb(gpointer self);
    static gboolean LayoutCb(gpointer self);

    GtkBackend& m_backend;
    HWND m_hwnd;
    GtkWidget* m_window = nullptr;  // destroyed with the peer
    GtkWidget* m_fixed = nullptr;
    GtkWidget* m_canvas = nullptr;
    RECT m_rect;
    int m_margin = 0;
    std::vector<RECT> m_shape;
    bool m_shown = false;
    bool m_iconic = false;
    // Shown and not yet mapped by the server: an unmap reported meanwhile is
    // the late answer to our own earlier hide, which the toolkit, without a
    // window manager that reports hidden windows, takes for an iconify.
    bool m_mapPending = false;
    bool m_maximized = false;
    bool m_topmost = false;
    // Placed at its owner by the display (a Wayland pop-up): the anchor it
    // was last given, where the compositor put it, and whether a hide is our
    // own re-placing of a shown pop-up (the toolkit places it at its map).
    bool m_atOwner = false;
    std::optional<std::pair<POINT, POINT>> m_anchorAsked;  // the anchor and its offset
    std::optional<POINT> m_placedOffset;
    bool m_replacing = false;
    bool m_dismissed = false;             // by the compositor, until shown again
    GdkWindow* m_placedWindow = nullptr;  // whose "moved-to-rect" we follow
    // When we last asked the desktop to maximise or restore the window, until
    // it confirmed: the geometry it reports meanwhile is its own, not the user's.
    std::int64_t m_stateRequestUs = 0;
    bool m_stateRequestPending = false;
    GdkFrameClock* m_askAgainClock = nullptr;  // while AskAgainAfterPaint waits
    // Toolkit geometries asked for and not yet reported, with when we asked.
    struct Echo {
        RECT outer;
        std::int64_t askedUs = 0;
    };
    std::deque<Echo> m_echoes;
    RECT m_reported;  // the geometry the desktop last reported
    bool IsOwnStep(const RECT& outer);
    // Fading.
    int m_fadeNextMs = 0;
    gtk::SourceId m_fadeSource;
    std::int64_t m_fadeStart = 0;
    int m_fadeMs = 0;
    bool m_fadingIn = true;
    // Painting.
    gtk::SourceId m_layoutSource;
    PaintRecord m_paints;
    std::map<CControlUI*, RECT> m_lastRect;  // where a control was when last damaged
    GtkInputMethod m_im;
    GtkInput m_input;
    std::unique_ptr<GtkNativeViews> m_natives;
    std::unique_ptr<GtkAccessibleTree> m_accessibles;  // gone before the widgets
};

}  // namespace DuiLib
