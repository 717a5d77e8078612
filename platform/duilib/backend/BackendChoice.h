#pragma once
// Which back end shows the windows: the GTK one when a display is present
// (DISPLAY or WAYLAND_DISPLAY set) and GTK opens it, the headless one
// otherwise. VANTO_BACKEND=headless or VANTO_BACKEND=gtk overrides the
// guess (gtk still falls back to headless when no display opens).

#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <memory>

namespace DuiLib {

enum class BackendKind { Headless, Gtk };

// What the environment asks for (no display is opened to answer). With
// `guessFromDisplay` false only VANTO_BACKEND=gtk asks for GTK (the test
// harness: tests stay headless on a developer's desktop). Any thread.
BackendKind RequestedBackendKind(bool guessFromDisplay = true);

// Makes the back end the environment asks for with `options` (the clock and,
// when given, the screen; without a screen the GTK back end reads the
// desktop's monitors). The GTK back end is a headless one that also shows
// the windows, so the clock and the automation work on both. Call it on the
// thread that becomes the UI thread, or before that thread starts.
std::shared_ptr<HeadlessBackend> MakeBackend(const HeadlessBackend::Options& options,
                                             bool guessFromDisplay = true);

// The program's start: installs the back end the environment asks for, on
// the real clock with the desktop's screen. Returns its kind.
BackendKind StartBackend();

}  // namespace DuiLib
