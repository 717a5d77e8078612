#include "platform/duilib/MessageQueue.h"

#include "platform/duilib/backend/Backend.h"

#include <algorithm>

namespace DuiLib {
namespace {
// The keys whose state GetKeyState reports: bit index per key.
int KeyBit(WPARAM vk) {
    switch (vk) {
        case VK_SHIFT:
            return 0;
        case VK_CONTROL:
            return 1;
        case VK_MENU:
            return 2;
        default:
            return -1;
    }
}

void NoteKey(std::uint32_t& keys, UINT message, WPARAM vk) {
    const int bit = (message == WM_KEYDOWN || message == WM_KEYUP) ? KeyBit(vk) : -1;
    if (bit < 0)
        return;
    if (message == WM_KEYDOWN)
        keys |= 1u << bit;
    else
        keys &= ~(1u << bit);
}
}  // namespace

bool MessageQueue::IsKeyDown(WPARAM vk) const {
    const int bit = KeyBit(vk);
    return bit >= 0 && (m_keysDown & (1u << bit)) != 0;
}

MessageQueue& MessageQueue::Instance() {
    static MessageQueue queue;
    return queue;
}

MessageQueue::~MessageQueue() {
    // Payloads still queued at exit belong to nobody else: free them.
    Reset();
}

void MessageQueue::Entry::Free() const {
    if (freeW != nullptr)
        freeW(wParam);
    if (freeL != nullptr)
        freeL(static_cast<std::uintptr_t>(lParam));
}

bool MessageQueue::BindUiThread() {
    std::thread::id none;
    const std::thread::id self = std::this_thread::get_id();
    if (m_uiThread.compare_exchange_strong(none, self))
        return true;
    return none == self;
}

bool MessageQueue::IsUiThread() const {
    return m_uiThread.load() == std::this_thread::get_id();
}

bool MessageQueue::HasUiThread() const {
    return m_uiThread.load() != std::thread::id{};
}

void MessageQueue::ReleaseUiThread() {
    m_uiThread.store(std::thread::id{});
}

void MessageQueue::AddWindow(HWND hwnd) {
    std::lock_guard lock(m_mutex);
    m_live.insert(Key(hwnd));
}

void MessageQueue::RemoveWindow(HWND hwnd) {
    std::vector<Entry> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_live.erase(Key(hwnd));
        auto it = std::stable_partition(m_posted.begin(), m_posted.end(),
                                        [hwnd](const Entry& e) { return e.hwnd != hwnd; });
        dropped.assign(it, m_posted.end());
        m_posted.erase(it, m_posted.end());
        std::erase_if(m_timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
    }
    // Deleters run outside the lock: a payload's destructor may post.
    for (const Entry& e : dropped)
        e.Free();
}

bool MessageQueue::IsLive(HWND hwnd) const {
    std::lock_guard lock(m_mutex);
    return m_live.contains(Key(hwnd));
}

bool MessageQueue::Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, PayloadDeleter freeW,
                        PayloadDeleter freeL) {
    const Entry entry{hwnd, message, wParam, lParam, freeW, freeL};
    bool queued = false;
    {
        std::lock_guard lock(m_mutex);
        // A payload needs a window to receive it: a thread message would
        // hand it to nobody.
        const bool owned = freeW != nullptr || freeL != nullptr;
        if ((hwnd == nullptr && !owned) || (hwnd != nullptr && m_live.contains(Key(hwnd)))) {
            m_posted.push_back(entry);
            queued = true;
        }
    }
    if (!queued) {
        entry.Free();
        return false;
    }
    GetBackendShared()->Wake();
    return true;
}

void MessageQueue::PostTask(std::function<void()> task) {
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    GetBackendShared()->Wake();
}

void MessageQueue::PostQuit(int exitCode) {
    {
        std::lock_guard lock(m_mutex);
        m_quit = exitCode;
    }
    GetBackendShared()->Wake();
}

bool MessageQueue::TakeWaiting(std::unique_lock<std::mutex>& lock, MSG& msg, bool remove, bool& quit) {
    quit = false;
    while (!m_posted.empty()) {
        Entry e = m_posted.front();
        if (e.hwnd != nullptr && !m_live.contains(Key(e.hwnd))) {
            // The window went away while this waited: the payload is nobody's.
            m_posted.pop_front();
            lock.unlock();
            e.Free();
            lock.lock();
            continue;
        }
        if (remove) {
            m_posted.pop_front();
            NoteKey(m_keysDown, e.message, e.wParam);
        }
        msg = MSG{e.hwnd, e.message, e.wParam, e.lParam, static_cast<DWORD>(m_clock.Now()), m_cursor};
        return true;
    }
    if (m_quit) {
        msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(*m_quit), 0, static_cast<DWORD>(m_clock.Now()), {}};
        if (remove)
            m_quit.reset();
        quit = true;
        return true;
    }
    const std::uint64_t now = m_clock.Now();
    auto due = std::min_element(m_timers.begin(), m_timers.end(),
                                [](const Timer& a, const Timer& b) { return a.due < b.due; });
    if (due != m_timers.end() && due->due <= now) {
        msg = MSG{due->hwnd, WM_TIMER, due->id, 0, static_cast<DWORD>(now), m_cursor};
        if (remove)
            due->due = now + due->elapse;
        return true;
    }
    return false;
}

bool MessageQueue::Step(std::unique_lock<std::mutex>& lock, MSG& msg, bool& quit,
                        std::optional<std::uint64_t>& nextTimer) {
    for (;;) {
        if (!m_tasks.empty()) {
            std::function<void()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
            // Return an empty message so that the loop that called us looks
            // at its condition again: the call may have ended it (closed a
            // modal dialog, stopped the harness).
            msg = MSG{nullptr, WM_NULL, 0, 0, static_cast<DWORD>(m_clock.Now()), {}};
            quit = false;
            return true;
        }
        if (TakeWaiting(lock, msg, true, quit))
            return true;
        nextTimer.reset();
        for (const Timer& t : m_timers)
            nextTimer = nextTimer ? std::min(*nextTimer, t.due) : t.due;
        lock.unlock();
        const bool advanced = m_clock.AdvanceTowards(nextTimer);
        lock.lock();
        if (advanced)
            continue;
        if (!m_tasks.empty() || !m_posted.empty() || m_quit)
            continue;
        return false;
    }
}

bool MessageQueue::GetMessage(MSG& msg) {
    BindUiThread();
    std::unique_lock lock(m_mutex);
    for (;;) {
        bool quit = false;
        std::optional<std::uint64_t> nextTimer;
        if (Step(lock, msg, quit, nextTimer))
            return !quit;
        ++m_idleGeneration;
        m_idleCv.notify_all();
        lock.unlock();
        GetBackend().WaitForWork(m_clock.TimeUntil(nextTimer));
        lock.lock();
    }
}

bool MessageQueue::TryGetMessage(MSG& msg, bool& quit) {
    std::unique_lock lock(m_mutex);
    std::optional<std::uint64_t> nextTimer;
    return Step(lock, msg, quit, nextTimer);
}

void MessageQueue::NoteWindowChange() {
    {
        std::lock_guard lock(m_mutex);
        ++m_windowChanges;
    }
    m_idleCv.notify_all();
}

std::uint64_t MessageQueue::WindowChanges() const {
    std::lock_guard lock(m_mutex);
    return m_windowChanges;
}

bool MessageQueue::WaitWindowChange(std::uint64_t seen, std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    return m_idleCv.wait_for(lock, deadline, [&] { return m_windowChanges != seen; });
}

bool MessageQueue::PeekMessage(MSG& msg, bool remove) {
    std::unique_lock lock(m_mutex);
    bool quit = false;
    return TakeWaiting(lock, msg, remove, quit);
}

bool MessageQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapse) {
    elapse = std::max<UINT>(elapse, 10);
    const std::uint64_t due = m_clock.Now() + elapse;
    std::lock_guard lock(m_mutex);
    if (hwnd != nullptr && !m_live.contains(Key(hwnd)))
        return false;
    for (Timer& t : m_timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.due = due;
            return true;
        }
    }
    m_timers.push_back(Timer{hwnd, id, elapse, due});
    return true;
}

bool MessageQueue::KillTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard lock(m_mutex);
    return std::erase_if(m_timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }) > 0;
}

UINT_PTR MessageQueue::NewTimerId() {
    std::lock_guard lock(m_mutex);
    return m_nextTimerId++;
}

bool MessageQueue::WaitIdle(std::chrono::milliseconds deadline) {
    std::shared_ptr<Backend> backend = GetBackendShared();
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_idleGeneration + 1;
    lock.unlock();
    // The loop may already be asleep: make it look again and report.
    backend->Wake();
    lock.lock();
    return m_idleCv.wait_for(lock, deadline, [&] {
        return m_idleGeneration >= target && m_tasks.empty() && m_posted.empty() && !m_clock.IsAdvancing();
    });
}

void MessageQueue::Reset() {
    std::deque<Entry> posted;
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(m_mutex);
        posted.swap(m_posted);
        tasks.swap(m_tasks);
        m_timers.clear();
        m_quit.reset();
        m_keysDown = 0;
        m_cursor = POINT{};
    }
    for (const Entry& e : posted)
        e.Free();
    tasks.clear();
}

bool MessageQueue::AdvanceClock(std::uint64_t ms) {
    if (!m_clock.RequestAdvance(ms))
        return false;
    // A display back end waits on its own loop: its Wake reaches that.
    GetBackendShared()->Wake();
    return true;
}

POINT MessageQueue::CursorPos() const {
    std::lock_guard lock(m_mutex);
    return m_cursor;
}

void MessageQueue::SetCursorPos(POINT pt) {
    std::lock_guard lock(m_mutex);
    m_cursor = pt;
}

bool IsUiThread() {
    return MessageQueue::Instance().IsUiThread();
}

}  // namespace DuiLib
