#include "platform/duilib/UiThread.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UiCall.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/BackendChoice.h"

#include <future>

namespace DuiLib {

UiThread::UiThread() : UiThread(Options{}) {}

UiThread::UiThread(Options options)
    : m_backend(options.backend != nullptr
                    ? options.backend
                    : MakeBackend(BackendOptions{.screen = options.screen}, /*guessFromDisplay=*/false)) {
    LoopClock& clock = MessageQueue::Instance().Clock();
    m_previousRealTime = clock.IsRealTime();
    if (options.realTime)
        clock.UseRealTime();
    else
        clock.UseVirtualTime();
    m_previousBackend = ReplaceBackend(m_backend);
    auto bound = std::make_shared<std::promise<bool>>();
    std::future<bool> boundResult = bound->get_future();
    m_thread = std::thread([this, bound] {
        const bool ok = MessageQueue::Instance().BindUiThread();
        bound->set_value(ok);
        if (ok)
            Body();
    });
    m_started = boundResult.get();
}

UiThread::~UiThread() {
    if (m_started)
        MessageQueue::Instance().PostTask([this] {
            m_stop = true;
            // Ends any modal loop still running, so the outer loop sees the stop.
            DestroyAllWindows();
        });
    m_thread.join();
    // What ran before this UI thread (a default headless one, say) is in
    // force again, not a display this thread opened.
    ReplaceBackend(std::move(m_previousBackend));
    LoopClock& clock = MessageQueue::Instance().Clock();
    if (m_previousRealTime)
        clock.UseRealTime();
    else
        clock.UseVirtualTime();
}

void UiThread::Body() {
    MSG msg;
    while (!m_stop) {
        if (!::GetMessageW(&msg, nullptr, 0, 0)) {
            m_lastQuitCode = static_cast<int>(msg.wParam);
            ++m_quitCount;
            continue;
        }
        if (!TranslateUiMessage(msg))
            ::DispatchMessageW(&msg);
    }
    DestroyAllWindows();
    MessageQueue& queue = MessageQueue::Instance();
    queue.Reset();
    queue.ReleaseUiThread();
}

bool UiThread::Run(const std::function<void()>& fn, std::chrono::milliseconds deadline) {
    return m_started && UiCall(fn, UiCallLimits{.begin = deadline});
}

void UiThread::Post(std::function<void()> fn) {
    if (m_started)
        MessageQueue::Instance().PostTask(std::move(fn));
}

bool UiThread::WaitIdle(std::chrono::milliseconds deadline) {
    if (!m_started)
        return false;
    if (MessageQueue::Instance().IsUiThread())
        return true;
    return MessageQueue::Instance().WaitIdle(deadline);
}

}  // namespace DuiLib

namespace DuiLib {

bool UiThread::AdvanceClock(std::uint64_t ms, std::chrono::milliseconds deadline) {
    if (!m_started)
        return false;
    MessageQueue::Instance().AdvanceClock(ms);
    return MessageQueue::Instance().WaitIdle(deadline);
}

}  // namespace DuiLib
