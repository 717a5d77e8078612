#pragma once
// A dedicated UI thread for tests and tools that drive windows from another
// thread: it installs the back end the environment asks for (headless, or
// the display back end only under VANTO_BACKEND=gtk with a display and a
// registered maker; see BackendChoice.h), puts the loop on a virtual clock
// unless asked otherwise, becomes the UI thread and runs the message loop
// until it is destroyed, when it destroys every window left, frees whatever
// is still queued and puts the back end and the clock that were in force
// before back. Only one may exist at a time (there is one UI thread).

#include "platform/duilib/backend/Backend.h"
#include "platform/duilib/backend/Screen.h"
#include "platform/duilib/backend/headless/HeadlessBackend.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace DuiLib {

class UiThread {
  public:
    struct Options {
        ScreenInfo screen{};
        // The loop's clock: real, or virtual (moved by AdvanceClock).
        bool realTime = false;
        // A back end of the caller's (one that records what is mirrored,
        // say); `screen` is then its own business.
        std::shared_ptr<DuiLib::Backend> backend{};
    };

    UiThread();
    explicit UiThread(Options options);
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    // True when the thread became the UI thread (false when another UI
    // thread already existed).
    bool IsRunning() const { return m_started; }
    std::thread::id Id() const { return m_thread.get_id(); }

    // Runs `fn` on the UI thread and waits (UiCall): false, with `fn` not
    // run, when the UI thread did not begin it within `deadline`.
    bool Run(const std::function<void()>& fn,
             std::chrono::milliseconds deadline = std::chrono::milliseconds(10000));
    // The value `fn` returns on the UI thread; empty on the deadline.
    template <typename R>
    std::optional<R> Call(const std::function<R()>& fn,
                          std::chrono::milliseconds deadline = std::chrono::milliseconds(10000)) {
        auto result = std::make_shared<std::optional<R>>();
        if (!Run([&fn, result] { *result = fn(); }, deadline))
            return std::nullopt;
        return *result;
    }
    // Starts `fn` on the UI thread and returns at once (a ShowModal that
    // blocks until the dialog is closed, say).
    void Post(std::function<void()> fn);
    // Waits until the loop has nothing left to do.
    bool WaitIdle(std::chrono::milliseconds deadline = std::chrono::milliseconds(10000));

    // Moves the virtual clock `ms` forward, delivering the timers that fall
    // due on the way in time order with everything they cause, and waits
    // until that is done.
    bool AdvanceClock(std::uint64_t ms,
                      std::chrono::milliseconds deadline = std::chrono::milliseconds(10000));

    // The exit codes of quit messages that reached the outermost loop.
    int QuitCount() const { return m_quitCount.load(); }
    int LastQuitCode() const { return m_lastQuitCode.load(); }

    DuiLib::Backend& Backend() { return *m_backend; }

  private:
    void Body();

    std::shared_ptr<DuiLib::Backend> m_backend;
    std::shared_ptr<DuiLib::Backend> m_previousBackend;
    bool m_previousRealTime = true;
    std::atomic<bool> m_started{false};
    std::atomic<int> m_quitCount{0};
    std::atomic<int> m_lastQuitCode{0};
    bool m_stop = false;  // UI thread only
    std::thread m_thread;
};

}  // namespace DuiLib
