#pragma once
// Which back end shows the windows: the display back end when a display is
// present (DISPLAY or WAYLAND_DISPLAY set), the program registered one and
// it opens the display, the headless one otherwise. VANTO_BACKEND=headless
// or VANTO_BACKEND=gtk overrides the guess (gtk still falls back to headless
// when no display opens).
//
// The display back end is a library of its own (backend/gtk/): the core of
// the UI library never names it. A program that wants windows on a display
// registers its maker once, before the first back end is made:
//
//   DuiLib::SetDisplayBackendMaker(&DuiLib::GtkBackend::Make);

#include "platform/duilib/backend/Backend.h"
#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <memory>

namespace DuiLib {

enum class BackendKind { Headless, Gtk };

// What the environment asks for (no display is opened to answer). With
// `guessFromDisplay` false only VANTO_BACKEND=gtk asks for GTK (the test
// harness: tests stay headless on a developer's desktop). Any thread.
BackendKind RequestedBackendKind(bool guessFromDisplay = true);

// Makes the display back end with `options`; null when no display opens.
using DisplayBackendMaker = std::shared_ptr<Backend> (*)(const BackendOptions& options);
// Registers the maker (null: none). Any thread; before the back end is made.
void SetDisplayBackendMaker(DisplayBackendMaker maker);

// Makes the back end the environment asks for with `options` (when given,
// the screen; without one the display back end reads the desktop's
// monitors). Call it on the thread that becomes the UI thread, or before
// that thread starts.
std::shared_ptr<Backend> MakeBackend(const BackendOptions& options, bool guessFromDisplay = true);

// The program's start: installs the back end the environment asks for, with
// the desktop's screen. Returns its kind.
BackendKind StartBackend();

}  // namespace DuiLib
