#include "platform/os/WorkerThread.h"

#include "platform/os/DebugPrint.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace os {
namespace {

std::atomic<int> g_running{0};

}  // namespace

struct WorkerThread::State {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

bool WorkerThread::Start(std::function<void()> body) {
    if (IsRunning() || !body)
        return false;
    auto state = std::make_shared<State>();
    g_running.fetch_add(1);
    try {
        std::thread([state, body = std::move(body)]() mutable {
            try {
                body();
            } catch (const std::exception& e) {
                DebugPrint("worker ended by an exception: %s", e.what());
            } catch (...) {
                DebugPrint("worker ended by an exception");
            }
            // What the body owns goes before the body counts as ended: a
            // caller that sees no worker running may end the process.
            body = nullptr;
            g_running.fetch_sub(1);
            std::lock_guard lock(state->mutex);
            state->done = true;
            state->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        g_running.fetch_sub(1);
        return false;
    }
    m_state = std::move(state);
    return true;
}

bool WorkerThread::IsRunning() const {
    return !WaitFor(std::chrono::milliseconds(0));
}

bool WorkerThread::WaitFor(std::chrono::milliseconds limit) const {
    if (!m_state)
        return true;
    std::unique_lock lock(m_state->mutex);
    if (limit.count() < 0) {
        m_state->ended.wait(lock, [&] { return m_state->done; });
        return true;
    }
    return m_state->ended.wait_for(lock, limit, [&] { return m_state->done; });
}

int WorkerThread::RunningCount() {
    return g_running.load();
}

}  // namespace os
