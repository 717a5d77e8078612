#pragma once
// The desktop the windows live on: opening the display, the main monitor's
// rectangle, work area and logical DPI (read into the screen record and
// followed when the desktop's settings change), whether a compositor runs
// (round corners and shadows drawn with transparency) and whether a window
// manager takes maximise requests.
//
// A display without a seat (a headless compositor, a kiosk without input
// devices) is no fault: the toolkit's complaints about the absent seat are
// kept out of the program's output (OpenDisplay installs the filter).
//
// UI thread, except OpenDisplay (before the UI thread starts, or on it).

#include "platform/duilib/backend/Screen.h"

#include <optional>

namespace DuiLib {

class GtkScreen {
  public:
    // Opens the display once per process; false when there is none.
    static bool OpenDisplay();

    // `fixed` set: the windows live on that screen record (tests keep their
    // screen) and the pointer waits in the display's far corner, where no
    // window of theirs lies; otherwise the desktop's record is read and
    // followed.
    explicit GtkScreen(std::optional<ScreenInfo> fixed);
    ~GtkScreen();
    GtkScreen(const GtkScreen&) = delete;
    GtkScreen& operator=(const GtkScreen&) = delete;

    // Reads the monitors and the DPI again (not for a fixed record).
    void Refresh();
    bool IsComposited() const;
    // Whether a window manager runs that maximises windows on request: the
    // desktop is then told of a maximised window, so that it neither fights
    // the window's rectangle nor restores it to a geometry of its own.
    bool DesktopMaximizes() const;
    // Whether the display is a Wayland compositor: windows cannot place
    // themselves there, and the desktop never says where they are.
    bool IsWayland() const;

  private:
    bool m_fixed;
};

}  // namespace DuiLib
