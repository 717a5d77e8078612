#pragma once
// The UI thread's message queue: posted window messages (with the typed
// deleters of payloads handed over with them), cross-thread calls, the quit
// flag, window timers on the loop's clock, the record of the pointer's
// position and the set of live window handles. One per process, as there is
// one UI thread.
//
// Post*, IsLive, WaitIdle, IsUiThread, Clock, AdvanceClock and the cursor
// record may be used from any thread; everything else runs on the UI thread.

#include "platform/duilib/LoopClock.h"
#include "platform/duilib/UIDefine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

// The Windows message record.
struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD time = 0;
    POINT pt;
};

namespace DuiLib {

// Frees a payload (a heap object whose address travels in wParam or lParam).
using PayloadDeleter = void (*)(std::uintptr_t);

class MessageQueue {
  public:
    static MessageQueue& Instance();
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // The UI thread is the first thread that creates a window or runs the
    // loop. Bind returns true when the calling thread is (now) the UI thread.
    bool BindUiThread();
    bool IsUiThread() const;
    bool HasUiThread() const;
    // Lets another thread become the UI thread (after the previous one
    // destroyed its windows and left; the test harness does this).
    void ReleaseUiThread();

    void AddWindow(HWND hwnd);
    // The window is gone: its pending messages are dropped (payloads freed)
    // and its timers killed.
    void RemoveWindow(HWND hwnd);
    bool IsLive(HWND hwnd) const;

    // Queues a message. A null hwnd is a thread message for the UI thread.
    // Fails, freeing the payloads, when hwnd is not a live window, or is
    // null while a payload is handed over (no window would own it).
    bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, PayloadDeleter freeW = nullptr,
              PayloadDeleter freeL = nullptr);
    // Queues a call that the UI thread runs from inside its next GetMessage,
    // ahead of posted messages (as Windows runs sent messages).
    void PostTask(std::function<void()> task);
    void PostQuit(int exitCode);

    // Waits for the next message, running queued calls meanwhile. Returns
    // false for the quit message (msg then carries WM_QUIT and the code).
    bool GetMessage(MSG& msg);
    // GetMessage without the waiting: runs a queued call, takes a message or
    // moves the clock to a due timer; false when there is nothing to do.
    // `quit` tells a quit message.
    bool TryGetMessage(MSG& msg, bool& quit);
    // Takes a message if one is waiting (no waiting, no clock movement).
    bool PeekMessage(MSG& msg, bool remove);

    // Window timers; elapse is at least 10 ms as on Windows. SetTimer with
    // the id of a running timer replaces it.
    bool SetTimer(HWND hwnd, UINT_PTR id, UINT elapse);
    bool KillTimer(HWND hwnd, UINT_PTR id);
    UINT_PTR NewTimerId();

    // Blocks a thread other than the UI thread until the UI thread's loop
    // has run out of work (and any clock advance has finished), or the
    // deadline passes. Returns false on the deadline.
    bool WaitIdle(std::chrono::milliseconds deadline);

    // Windows were created, shown, hidden or destroyed: wakes those waiting
    // for a window to appear. WaitWindowChange waits (any thread) until the
    // count differs from `seen` or the deadline passes.
    void NoteWindowChange();
    std::uint64_t WindowChanges() const;
    bool WaitWindowChange(std::uint64_t seen, std::chrono::milliseconds deadline);

    // Whether the key `vk` (Shift, Control, Alt) was down as of the last key
    // message taken from the queue, as GetKeyState answers. UI thread.
    bool IsKeyDown(WPARAM vk) const;

    // Drops every message, call, timer and the quit flag (payloads freed,
    // waiting senders released), and puts the pointer record at 0,0.
    void Reset();

    // The clock timers run on (the real one unless a test harness made it
    // virtual).
    LoopClock& Clock() { return m_clock; }
    // Virtual clock: moves it `ms` forward through the loop, which delivers
    // the timers due on the way in time order. False on the real clock.
    bool AdvanceClock(std::uint64_t ms);

    // Screen coordinates of the pointer as last seen (a display's pointer
    // events, an automation's clicks); what GetCursorPos answers and what
    // each message carries.
    POINT CursorPos() const;
    void SetCursorPos(POINT pt);

  private:
    MessageQueue() = default;

    struct Entry {
        HWND hwnd = nullptr;
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        PayloadDeleter freeW = nullptr;
        PayloadDeleter freeL = nullptr;
        void Free() const;
    };
    struct Timer {
        HWND hwnd = nullptr;
        UINT_PTR id = 0;
        UINT elapse = 0;
        std::uint64_t due = 0;
    };

    bool Step(std::unique_lock<std::mutex>& lock, MSG& msg, bool& quit,
              std::optional<std::uint64_t>& nextTimer);
    bool TakeWaiting(std::unique_lock<std::mutex>& lock, MSG& msg, bool remove, bool& quit);
    static std::uintptr_t Key(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

    mutable std::mutex m_mutex;
    std::condition_variable m_idleCv;
    std::deque<Entry> m_posted;
    std::deque<std::function<void()>> m_tasks;
    std::vector<Timer> m_timers;
    std::unordered_set<std::uintptr_t> m_live;
    std::optional<int> m_quit;
    std::uint64_t m_idleGeneration = 0;
    std::uint64_t m_windowChanges = 0;
    UINT_PTR m_nextTimerId = 0x7F000000;
    std::atomic<std::thread::id> m_uiThread{};
    std::uint32_t m_keysDown = 0;  // bit per tracked key, UI thread
    POINT m_cursor;
    LoopClock m_clock;
};

// True on the UI thread. Any thread.
bool IsUiThread();

}  // namespace DuiLib
