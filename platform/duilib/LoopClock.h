#pragma once
// The clock the UI thread's loop runs its timers on: the real monotonic
// clock (the program), or a virtual one that stands still until a test asks
// it to move (RequestAdvance), so that timers fire in a test's own time and
// in order. It belongs to the loop (MessageQueue::Clock), not to whatever
// shows the windows: the same tests run on the headless and the GTK back end.
//
// Any thread; the loop moves the virtual clock on the UI thread.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>

namespace DuiLib {

class LoopClock {
  public:
    // Milliseconds: monotonic on the real clock, from 0 on a virtual one.
    std::uint64_t Now() const;
    bool IsRealTime() const;
    // Switches to the real clock, or to a virtual one standing at 0 with no
    // advance under way (each test harness starts its own).
    void UseRealTime();
    void UseVirtualTime();

    // Virtual clock: asks the loop to move the clock `ms` forward (after any
    // advance already asked for). False on the real clock, which nobody
    // moves. The caller wakes the loop.
    bool RequestAdvance(std::uint64_t ms);
    // Called by the loop when it has nothing else to do: moves a virtual
    // clock to `nextTimer` when that lies within the advance asked for and
    // answers true (the loop delivers the timer and asks again); otherwise
    // finishes the advance and answers false.
    bool AdvanceTowards(std::optional<std::uint64_t> nextTimer);
    // True while an advance is still under way (the loop is not idle in a
    // test's sense yet).
    bool IsAdvancing() const;
    // How long the loop may sleep before `nextTimer` is due: the time left on
    // the real clock; none on a virtual clock, which only a request moves.
    std::optional<std::chrono::milliseconds> TimeUntil(std::optional<std::uint64_t> nextTimer) const;

  private:
    mutable std::mutex m_mutex;
    bool m_realTime = true;
    std::uint64_t m_virtualNow = 0;
    std::optional<std::uint64_t> m_advanceTarget;
};

}  // namespace DuiLib
