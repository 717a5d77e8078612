#pragma once
// WorkerThread: the handle of one background thread, as the design's worker
// handles are used -- "is it still running?", "wait for it at most N ms" --
// and safe to drop while the thread runs: the thread is never killed, it
// runs its body to the end on its own (and is joined once that has ended). A body that may outlive
// its handle must therefore own (share) everything it touches.
//
// RunningCount() tells start-up and teardown how many bodies of the whole
// process are still running, so that a client closing while a worker hangs
// on a stalled server can end cleanly instead of tearing the worker's world
// down under it.
//
// A handle belongs to one thread (the UI thread); the body runs on its own.

#include <chrono>
#include <functional>
#include <memory>

namespace os {

class WorkerThread {
  public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    // A running body goes on; the handle forgets it.
    ~WorkerThread() = default;

    // Starts `body` on a new thread. False when a body of this handle still
    // runs or no thread could be made.
    bool Start(std::function<void()> body);

    // True from Start until the body has returned (or thrown: an exception
    // leaving a body ends only that body).
    bool IsRunning() const;

    // Waits until the body has returned or `limit` has passed (negative: no
    // limit); true when it has returned or none was started.
    bool WaitFor(std::chrono::milliseconds limit) const;

    // Bodies of every handle of the process that have not returned yet.
    static int RunningCount();

    // Before the process ends: joins the threads whose body has returned
    // (they may still be in their libraries' thread-exit cleanup) and lets
    // the still running ones go. Also done at a normal exit.
    static void PrepareProcessEnd();

  private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace os
