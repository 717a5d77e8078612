#include "platform/os/WorkerThread.h"

#include "platform/os/DebugPrint.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

namespace os {
namespace {

std::atomic<int> g_running{0};

// Every worker thread of the process, so that a thread whose body has ended
// is joined: it still runs its libraries' thread-exit cleanup (TLS and key
// destructors) after the body, and a process that ends during that cleanup
// would see it as lost memory or a leaked thread. Threads whose body ended
// are joined at the next start and at exit (they are only finishing, so the
// join is short); threads whose body still runs at exit are let go.
class ThreadRegistry {
  public:
    // The registry of this process; a forked child gets a fresh one (its
    // parent's threads do not exist in it). Never destroyed: a thread may
    // still reach it while the process ends.
    static ThreadRegistry& Instance() {
        static std::atomic<ThreadRegistry*> current{nullptr};
        ThreadRegistry* registry = current.load();
        if (registry != nullptr && registry->m_pid == ::getpid())
            return *registry;
        auto* made = new ThreadRegistry;
        made->m_parent = registry;  // kept, not freed: its threads are not ours
        if (!current.compare_exchange_strong(registry, made)) {
            delete made;  // another thread of this process made it first
            return *registry;
        }
        if (registry == nullptr)  // the first in this line of processes
            std::atexit([] { Instance().EndOfProcess(); });
        return *made;
    }

    // Starts `run` on a new thread and records it; throws std::system_error.
    template <class Run>
    void Start(Run&& run) {
        std::lock_guard lock(m_mutex);
        std::thread thread(std::forward<Run>(run));
        const std::thread::id id = thread.get_id();
        m_live.emplace(id, std::move(thread));
    }

    // Called by a worker thread as the last thing it does.
    void Ended(std::thread::id id) {
        std::lock_guard lock(m_mutex);
        const auto found = m_live.find(id);
        if (found == m_live.end())
            return;  // let go at exit
        m_ended.push_back(std::move(found->second));
        m_live.erase(found);
    }

    void JoinEnded() {
        std::vector<std::thread> ended;
        {
            std::lock_guard lock(m_mutex);
            ended.swap(m_ended);
        }
        for (std::thread& thread : ended)
            thread.join();
    }

    // Joins the ended threads and lets the running ones go (detached), so
    // that nothing is left joinable when the process ends. Returns how many
    // were ever let go.
    int EndOfProcess() {
        std::vector<std::thread> ended;
        int letGo = 0;
        {
            std::lock_guard lock(m_mutex);
            ended.swap(m_ended);
            for (auto& [id, thread] : m_live)
                thread.detach();
            m_letGo += static_cast<int>(m_live.size());
            m_live.clear();  // a body ending from now on finds itself let go
            letGo = m_letGo;
        }
        for (std::thread& thread : ended)
            thread.join();
        return letGo;
    }

    // True, with every worker thread joined, when no body runs and none was
    // let go; false (nothing joined) otherwise. Decided under the lock that
    // Ended takes, so no body can end between the decision and its outcome.
    bool JoinAllIfIdle() {
        std::vector<std::thread> ended;
        {
            std::lock_guard lock(m_mutex);
            if (!m_live.empty() || m_letGo > 0)
                return false;
            ended.swap(m_ended);
        }
        for (std::thread& thread : ended)
            thread.join();
        return true;
    }

  private:
    const pid_t m_pid = ::getpid();
    [[maybe_unused]] ThreadRegistry* m_parent = nullptr;
    std::mutex m_mutex;
    std::map<std::thread::id, std::thread> m_live;
    std::vector<std::thread> m_ended;
    int m_letGo = 0;  // threads detached by EndOfProcess, ever
};

}  // namespace

struct WorkerThread::State {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
};

bool WorkerThread::Start(std::function<void()> body) {
    if (IsRunning() || !body)
        return false;
    ThreadRegistry& registry = ThreadRegistry::Instance();
    registry.JoinEnded();
    auto state = std::make_shared<State>();
    g_running.fetch_add(1);
    try {
        registry.Start([state, body = std::move(body)]() mutable {
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
            ThreadRegistry::Instance().Ended(std::this_thread::get_id());
            g_running.fetch_sub(1);
            std::lock_guard lock(state->mutex);
            state->done = true;
            state->ended.notify_all();
        });
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

int WorkerThread::PrepareProcessEnd() {
    return ThreadRegistry::Instance().EndOfProcess();
}

void WorkerThread::EndProcessIfWorkersRun(int exitCode) {
    ThreadRegistry& registry = ThreadRegistry::Instance();
    if (registry.JoinAllIfIdle())
        return;
    // Nothing is left joinable either way: a thread checker counts a
    // joinable thread at the end as a leaked one.
    registry.EndOfProcess();
    std::fflush(nullptr);
    ::_exit(exitCode);
}

}  // namespace os
