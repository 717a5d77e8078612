#pragma once
// The one way to run something on the UI thread and wait for it: a worker's
// question to the user, an engine event raised on its control, a system
// service (message box, save dialog, clipboard) asked for from any thread, a
// test's action. SendMessageW and SendCall (WinUser.h) are its per-window
// form.
//
// The rule that keeps callers simple: a call the UI thread has begun is
// always waited for to its end, and a call it has not begun by the deadline
// is abandoned and never runs. So a call may use the caller's locals by
// reference, whatever happens. The deadline bounds only the wait for the UI
// thread to come to the call; once begun, the call takes as long as it takes
// (a question waits for the user), so a call must not block on anything but
// the user or its own bounded work.
//
// On the UI thread the call runs at once.

#include "platform/duilib/UIDefine.h"

#include <chrono>
#include <functional>
#include <utility>

namespace DuiLib {

// No deadline: wait while the call can still begin.
inline constexpr std::chrono::milliseconds kNoDeadline{-1};

struct UiCallLimits {
    // How long the UI thread may take to begin the call; kNoDeadline waits
    // until it begins or can no longer (the window is gone, the queue was
    // dropped).
    std::chrono::milliseconds begin{10000};
    // The window the call is made for: a call not begun when it is gone is
    // abandoned (the worker of a closed window is not kept waiting).
    HWND window = nullptr;
    // Before any thread has become the UI thread (start-up's missing-skin
    // box): true runs the call on the calling thread, false answers false.
    bool runHereWithoutUiThread = false;
};

// Runs `call` on the UI thread and waits for it. True when it ran; false,
// with `call` not run, when it was abandoned (the deadline passed before the
// UI thread began it, the window is gone, the queue was dropped) or there is
// no UI thread. Any thread.
bool UiCall(const std::function<void()>& call, const UiCallLimits& limits = {});

// The value `call` answers on the UI thread, or `fallback` when it did not
// run. Any thread.
template <typename R, typename Call>
R UiCallFor(Call&& call, R fallback, const UiCallLimits& limits = {}) {
    R result = fallback;
    if (!UiCall([&] { result = std::forward<Call>(call)(); }, limits))
        return fallback;
    return result;
}

}  // namespace DuiLib
