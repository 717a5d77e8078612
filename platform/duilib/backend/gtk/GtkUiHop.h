#pragma once
// Until the window layer's one hand-off and one modal loop are in place:
// running a call on the UI thread while the caller waits, and a nested loop
// with its owner disabled. UI-thread helpers of the system dialogs and the
// clipboard only.

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/WinUser.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace DuiLib {

// Runs `fn` on the UI thread and waits for it; inline on the UI thread, and
// when no thread is the UI thread yet (start-up's missing-skin box).
inline void OnUiThreadAndWait(const std::function<void()>& fn) {
    MessageQueue& queue = MessageQueue::Instance();
    if (queue.IsUiThread() || !queue.HasUiThread()) {
        fn();
        return;
    }
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    queue.PostTask([&fn, done] {
        fn();
        std::lock_guard lock(done->mutex);
        done->done = true;
        done->cv.notify_all();
    });
    std::unique_lock lock(done->mutex);
    done->cv.wait(lock, [&] { return done->done; });
}

// Runs the window layer's loop (windows keep working) until `done`; a quit
// message ends it and is posted again for the outer loop.
inline void RunModalLoop(const std::function<bool()>& done) {
    MSG msg;
    while (!done()) {
        if (!::GetMessageW(&msg, nullptr, 0, 0)) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!TranslateUiMessage(msg))
            ::DispatchMessageW(&msg);
    }
}

// Disables the owner while a dialog shows, and gives it back its state and
// the focus afterwards.
class ModalOwner {
  public:
    explicit ModalOwner(HWND owner) : m_owner(owner) {
        m_wasEnabled = m_owner != nullptr && ::IsWindowEnabled(m_owner);
        if (m_wasEnabled)
            ::EnableWindow(m_owner, FALSE);
    }
    ~ModalOwner() {
        if (m_wasEnabled && ::IsWindow(m_owner)) {
            ::EnableWindow(m_owner, TRUE);
            ::SetFocus(m_owner);
        }
    }
    ModalOwner(const ModalOwner&) = delete;
    ModalOwner& operator=(const ModalOwner&) = delete;

  private:
    HWND m_owner;
    bool m_wasEnabled = false;
};

}  // namespace DuiLib
