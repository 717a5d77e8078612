#pragma once
// The second part of the seam: the waiting and waking of the UI thread's
// loop. The loop owns its clock and its timers (LoopClock, MessageQueue);
// a back end only sleeps when the loop has nothing to do and wakes when
// asked, so that another toolkit's loop (the GLib main context) plugs into
// the same place.

#include <chrono>
#include <optional>

namespace DuiLib {

class LoopWaiter {
  public:
    virtual ~LoopWaiter() = default;

    // Blocks the UI thread until Wake() or until `timeout` has passed (none:
    // only Wake ends it). Returns at once when Wake() came since the last
    // wait. A display back end runs its toolkit's events meanwhile. UI thread.
    virtual void WaitForWork(std::optional<std::chrono::milliseconds> timeout) = 0;
    // Ends the current or next WaitForWork. Any thread.
    virtual void Wake() = 0;
};

}  // namespace DuiLib
