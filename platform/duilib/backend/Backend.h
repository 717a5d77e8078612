#pragma once
// The seam between the window layer and whatever shows the windows, as three
// small interfaces: window mirroring (WindowMirror.h), the loop's waiting and
// waking (LoopWaiter.h) and the system's services (PlatformServices.h). The
// clock that timers run on is the loop's (LoopClock.h), not a back end's, and
// so is the record of the pointer's position (MessageQueue).
//
// The headless back end (backend/headless/) has no peers. The display back
// end lives in its own library (backend/gtk/), so that the core of the UI
// library builds and links without a toolkit; a program that wants it
// registers it (BackendChoice.h). Client code does not change with either.

#include "platform/duilib/backend/LoopWaiter.h"
#include "platform/duilib/backend/PlatformServices.h"
#include "platform/duilib/backend/Screen.h"
#include "platform/duilib/backend/WindowMirror.h"

#include <memory>
#include <optional>

namespace DuiLib {

class Backend : public WindowMirror, public LoopWaiter, public PlatformServices {};

// What a back end is made with.
struct BackendOptions {
    // When set, becomes the main screen (work area, DPI) at construction;
    // otherwise a display back end reads the desktop's, and the headless one
    // keeps the record as it is.
    std::optional<ScreenInfo> screen;
};

// The back end in force. Without one installed, a headless back end is
// created on first use. Installing replaces the previous one; do it while no
// window exists (the test harness does it per UI thread).
Backend& GetBackend();
void SetBackend(std::shared_ptr<Backend> backend);
// Installs `backend` (null: none, the default is made on next use) and
// returns the one installed before, null when none was.
std::shared_ptr<Backend> ReplaceBackend(std::shared_ptr<Backend> backend);
std::shared_ptr<Backend> GetBackendShared();

}  // namespace DuiLib
