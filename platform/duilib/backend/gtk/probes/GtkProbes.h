#pragma once
// What tests and benchmarks look at on the display: a window rendered
// offscreen or grabbed from the screen as pixels (and PNG files of them),
// the paints a window made, the toolkit objects behind a window, and a way
// to run the toolkit until a window has painted. Never part of the program:
// its own library, linked only by tests and benchmarks.
//
// UI thread (a test calls it through UiThread::Run).

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/backend/Backend.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace DuiLib {

class GtkBackend;

class GtkProbes {
  public:
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

    // Probes `backend` when it is the GTK back end (Valid() says).
    explicit GtkProbes(DuiLib::Backend& backend);
    bool Valid() const { return m_gtk != nullptr; }
    GtkBackend& Gtk() const { return *m_gtk; }

    // The window as the renderer draws it now (offscreen, at its size; with
    // `composited` the round corners and the shadow margin are transparent).
    std::optional<Image> RenderWindow(HWND hwnd, bool composited = false);
    // The window's pixels as the display holds them, after painting what is
    // pending (FlushPaint).
    std::optional<Image> GrabWindow(HWND hwnd);
    // The display's pixels of a screen rectangle (whatever window lies
    // there, or the background), after running pending events.
    std::optional<Image> GrabScreen(const RECT& area);
    // Runs the toolkit until the window is mapped and has painted every
    // damage; false on the deadline.
    bool FlushPaint(HWND hwnd, std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));
    PaintStats GetPaintStats(HWND hwnd) const;
    void ResetPaintStats(HWND hwnd);
    // The toolkit window's position and size on the display (its frame
    // without the shadow margin), after running pending events; on Wayland
    // the position is the window layer's record (GtkBackend::DisplayedRect).
    std::optional<RECT> DisplayedRect(HWND hwnd);
    // The room the window's toolkit window keeps around it for its shadow
    // (composited displays only), where its native views are offset too.
    int ShadowMargin(HWND hwnd) const;
    // Where the display put a pop-up relative to its owner: the offset of
    // its client area from the owner's. On Wayland what the compositor
    // reported for its placement (waiting for it up to `deadline`), on X11
    // both windows' root coordinates. None when it is not shown.
    std::optional<POINT> OffsetFromOwner(
        HWND hwnd, std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));
    // Whether the display is a Wayland compositor.
    bool IsWayland() const;
    // The rounded shape the window was cut to without a compositor
    // (rectangles in window coordinates); empty for a plain rectangle.
    std::vector<RECT> WindowShape(HWND hwnd) const;
    // The toolkit objects of a window (GtkWindow*, GtkIMContext*), or null.
    void* NativeWindow(HWND hwnd) const;
    void* InputMethodContext(HWND hwnd) const;
    // The window's opacity now (fades), 1 without a window.
    double WindowOpacity(HWND hwnd) const;
    // Whether the toolkit holds the pointer (a caption or edge drag the
    // toolkit runs itself where no window manager does).
    bool PointerGrabbed() const;
    bool IsComposited() const;
    // Reads the screen record from the desktop again (monitors, DPI).
    void RefreshScreen();
    // Runs the toolkit's pending events.
    void Pump();

  private:
    GtkBackend* m_gtk;
};

}  // namespace DuiLib
