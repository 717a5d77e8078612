#pragma once
// WorkerThread: the handle of one background thread, as the design's worker
// handles are used -- "is it still running?", "wait for it at most N ms" --
// and safe to drop while the thread runs: the thread is never killed, it
// runs its body to the end on its own (and is joined once that has ended). A body that may outlive
// its handle must therefore own (share) everything it touches.
//
// RunningCount() tells tests and teardown how many bodies of the whole
// process are still running; EndProcessIfWorkersRun lets a client closing
// while a worker hangs on a stalled server end cleanly instead of tearing
// the worker's world down under it.
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
    // the still running ones go (detached: nothing is joinable when the
    // process ends). Also done at a normal exit. Returns how many threads
    // were let go, by this and every earlier call of this process.
    static int PrepareProcessEnd();

    // The end of a process that ran workers, on the thread that ends it.
    // When no body runs and no thread was ever let go, joins every worker
    // thread (each may still be in its thread-exit cleanup) and returns: the
    // process may end normally. Otherwise ends the process here at once with
    // `exitCode`, the standard streams flushed, without exit handlers or
    // static destructors: a running body, or a thread let go (which may be
    // anywhere up to the end of its thread-exit cleanup and can never be
    // joined), must not have the process torn down under it. One lock orders
    // this decision and the end of every body, so a body that returns just
    // before it is joined and one that returns after it is cut off; the
    // process never ends normally with a thread inside its exit cleanup.
    static void EndProcessIfWorkersRun(int exitCode);

  private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace os
