#include "platform/duilib/BackgroundJob.h"

#include "platform/duilib/MessageQueue.h"
#include "platform/os/Event.h"

#include <atomic>
#include <mutex>
#include <optional>

namespace DuiLib {

// The owner's side, shared by the handle and every run it started: whether
// deliveries may still run. Cleared when the handle goes (UI thread) and
// read where deliveries run (UI thread), so a delivery never starts after
// its owner went.
struct BackgroundJob::Owner {
    std::atomic<bool> alive{true};
};

// One run of a body: its stop event and what its deliveries need. Shared by
// the handle, the body's thread and the queued deliveries.
struct BackgroundJob::Run {
    Run(std::shared_ptr<Owner> owner, Options options)
        : owner(std::move(owner)), window(options.window), onProgress(std::move(options.onProgress)) {}

    // Whether a delivery may run now. UI thread.
    bool MayDeliver() const {
        return owner->alive.load() && (window == nullptr || MessageQueue::Instance().IsLive(window));
    }

    const std::shared_ptr<Owner> owner;
    const HWND window;
    const std::function<void(int)> onProgress;
    os::Event stop;

    std::mutex progressMutex;
    std::optional<int> progress;  // a report not yet taken by the UI thread
};

BackgroundJob::BackgroundJob() : m_owner(std::make_shared<Owner>()) {}

BackgroundJob::~BackgroundJob() {
    m_owner->alive = false;
    RequestStop();
    // m_thread goes without waiting: a running body is let go.
}

bool BackgroundJob::Start(Body body, Options options) {
    if (!body || m_thread.IsRunning())
        return false;
    auto run = std::make_shared<Run>(m_owner, std::move(options));
    // Runs on the worker thread. The body's context shares the run, so the
    // stop event outlives every transfer that watches it.
    const bool started = m_thread.Start([run, body = std::move(body)] {
        Context context(run);
        body(context);
    });
    if (started)
        m_run = std::move(run);
    return started;
}

bool BackgroundJob::Start(Body body) {
    return Start(std::move(body), Options{});
}

bool BackgroundJob::IsRunning() const {
    return m_thread.IsRunning();
}

bool BackgroundJob::WaitFor(std::chrono::milliseconds limit) const {
    return m_thread.WaitFor(limit);
}

void BackgroundJob::RequestStop() {
    if (m_run != nullptr)
        m_run->stop.Set();
}

bool BackgroundJob::StopAndWait(std::chrono::milliseconds limit) {
    RequestStop();
    return WaitFor(limit);
}

bool BackgroundJob::Context::StopRequested() const {
    return m_run->stop.IsSet();
}

const os::Event* BackgroundJob::Context::StopEvent() const {
    return &m_run->stop;
}

bool BackgroundJob::Context::Deliver(std::function<void()> call) {
    if (!m_run->owner->alive.load() || !call)
        return false;
    // Runs on the UI thread.
    MessageQueue::Instance().PostTask([run = m_run, call = std::move(call)] {
        if (run->MayDeliver())
            call();
    });
    return true;
}

bool BackgroundJob::Context::ReportProgress(int value) {
    if (!m_run->owner->alive.load())
        return false;
    if (!m_run->onProgress)
        return true;
    {
        std::lock_guard lock(m_run->progressMutex);
        const bool queued = m_run->progress.has_value();
        m_run->progress = value;
        if (queued)
            return true;  // the queued delivery takes the latest value
    }
    // Runs on the UI thread.
    MessageQueue::Instance().PostTask([run = m_run] {
        std::optional<int> latest;
        {
            std::lock_guard lock(run->progressMutex);
            latest.swap(run->progress);
        }
        if (latest && run->MayDeliver())
            run->onProgress(*latest);
    });
    return true;
}

}  // namespace DuiLib
