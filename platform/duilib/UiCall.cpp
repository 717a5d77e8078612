#include "platform/duilib/UiCall.h"

#include "platform/duilib/MessageQueue.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace DuiLib {
namespace {

// One call on its way to the UI thread. The waiting thread is released when
// the call has run, when it is dropped unrun (the queue cleared), or when it
// gives up before the UI thread began it (deadline, window gone); a call that
// has begun is always waited for.
struct Handover {
    std::mutex mutex;
    std::condition_variable cv;
    bool begun = false;
    bool ran = false;
    bool ended = false;  // ran, or never will
    bool abandoned = false;
};

// Ends the hand-over when the queued call goes, run or not.
struct HandoverEnd {
    explicit HandoverEnd(std::shared_ptr<Handover> h) : handover(std::move(h)) {}
    HandoverEnd(const HandoverEnd&) = delete;
    HandoverEnd& operator=(const HandoverEnd&) = delete;
    ~HandoverEnd() {
        {
            std::lock_guard lock(handover->mutex);
            handover->ended = true;
        }
        handover->cv.notify_all();
    }
    std::shared_ptr<Handover> handover;
};

// How often a waiting thread looks whether the call's window is still there.
constexpr std::chrono::milliseconds kWindowCheck{50};

// Waits for the call to end; abandons it when it has not begun by `end` or
// its window is gone. True when it ran.
bool WaitForCall(Handover& h, const UiCallLimits& limits) {
    using Clock = std::chrono::steady_clock;
    const bool bounded = limits.begin >= std::chrono::milliseconds::zero();
    const Clock::time_point end = bounded ? Clock::now() + limits.begin : Clock::time_point::max();
    std::unique_lock lock(h.mutex);
    for (;;) {
        // A begun call is waited for to its end, past any deadline: without
        // wake-ups (a deadline already passed would make every wait return
        // at once and the caller spin while a question stays open).
        if (h.begun) {
            h.cv.wait(lock, [&] { return h.ended; });
            return h.ran;
        }
        Clock::time_point next = end;
        if (limits.window != nullptr)
            next = std::min(next, Clock::now() + kWindowCheck);
        if (h.cv.wait_until(lock, next, [&] { return h.ended; }))
            return h.ran;
        if (h.begun)
            continue;
        const bool expired = bounded && Clock::now() >= end;
        bool gone = false;
        if (limits.window != nullptr && !expired) {
            // IsLive takes the queue's lock, never ours first: no order to fear,
            // but the call must not begin between the look and the mark.
            lock.unlock();
            gone = !MessageQueue::Instance().IsLive(limits.window);
            lock.lock();
        }
        if ((expired || gone) && !h.begun && !h.ended) {
            h.abandoned = true;
            return false;
        }
    }
}

}  // namespace

bool UiCall(const std::function<void()>& call, const UiCallLimits& limits) {
    if (!call)
        return false;
    MessageQueue& queue = MessageQueue::Instance();
    if (queue.IsUiThread() || (!queue.HasUiThread() && limits.runHereWithoutUiThread)) {
        if (limits.window != nullptr && !queue.IsLive(limits.window))
            return false;
        call();
        return true;
    }
    if (!queue.HasUiThread())
        return false;
    if (limits.window != nullptr && !queue.IsLive(limits.window))
        return false;
    auto handover = std::make_shared<Handover>();
    auto end = std::make_shared<HandoverEnd>(handover);
    // `call` is reached only while this thread waits (begun calls are waited
    // for, abandoned ones never begin), so it travels by reference.
    queue.PostTask([end, window = limits.window, &call] {
        Handover& h = *end->handover;
        {
            std::lock_guard lock(h.mutex);
            if (h.abandoned || (window != nullptr && !MessageQueue::Instance().IsLive(window)))
                return;
            h.begun = true;
        }
        call();
        std::lock_guard lock(h.mutex);
        h.ran = true;
    });
    end.reset();
    return WaitForCall(*handover, limits);
}

}  // namespace DuiLib
