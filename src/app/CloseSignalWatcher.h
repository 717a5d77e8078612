#pragma once
// Ends an interactive run on SIGTERM or SIGINT the way the close command of
// the system menu does: the signal handler only writes to a pipe; a watcher
// thread reads it and posts WM_SYSCOMMAND/SC_CLOSE to the main window, whose
// own handling ends the message loop so that teardown runs as usual.
//
// One watcher at a time per process (the handlers are process-wide). A
// signal that arrives before the window exists is kept and delivered once
// the window is known.

#include "platform/duilib/UIDefine.h"

#include <atomic>
#include <mutex>
#include <thread>

class CCloseSignalWatcher {
  public:
    CCloseSignalWatcher() = default;
    // Stops the thread and puts the previous handlers back.
    ~CCloseSignalWatcher();
    CCloseSignalWatcher(const CCloseSignalWatcher&) = delete;
    CCloseSignalWatcher& operator=(const CCloseSignalWatcher&) = delete;

    // Installs the handlers and starts the watcher thread. False when
    // another watcher is active or the pipe or thread cannot be made.
    bool Start();
    // The window that receives SC_CLOSE (null: none yet). Any thread.
    void SetTarget(HWND hwnd);
    // How many close signals arrived so far. Any thread.
    int SignalsSeen() const { return m_seen.load(); }

  private:
    void Watch();
    void Deliver();

    std::mutex m_mutex;
    HWND m_target = nullptr;
    bool m_pending = false;
    std::atomic<int> m_seen{0};
    int m_pipe[2] = {-1, -1};
    int m_stop = -1;
    bool m_started = false;
    std::thread m_thread;
};
