#pragma once
// BackgroundJob: the one way the client runs work off the UI thread (the
// update check, the toolbox's archive check and tool installs, a template
// download, the user information). A job runs its body on a thread of its
// own; the body owns (shares) everything it uses, so it may outlive the job
// handle and the object that started it. It carries a stop event that ends
// its transfers at once, and it hands its results and progress to the UI
// thread, where they run only while the job's owner lives: the handle (a
// member of the owning object, gone with it) and, when one is named, the
// owner's window. A result for an owner that is gone is dropped untouched.
// At teardown the owner stops the job and waits a bounded time; a body that
// still runs then is let go and ends on its own (at the end of the process,
// os::WorkerThread::EndProcessIfWorkersRun ends the process with code 0
// instead of tearing its world down under it).
//
// Use (the user information, with a result; a download, with progress and
// a stop button):
//
//   class CUserInfo {
//       DuiLib::BackgroundJob m_fetch;  // declared last: goes first
//       void Refresh() {                // UI thread
//           m_fetch.Start(
//               [token = m_token](DuiLib::BackgroundJob::Context& job) {  // worker thread
//                   return FetchUserInfo(token, job.StopEvent());         // a UserInfo
//               },
//               [this](UserInfo info) { Fill(info); },  // UI thread, only while we live
//               {.window = m_hWnd});
//       }
//   };
//
//   m_download.Start(
//       [url, path](DuiLib::BackgroundJob::Context& job) {
//           PercentObserver observer(job);  // an IDownLoadCallBack that calls job.ReportProgress
//           CFileFetch fetch(&observer);
//           fetch.SetStopEvent(job.StopEvent());
//           return fetch.Fetch(url, path, CREATE_ALWAYS) == S_OK;
//       },
//       [this](bool done) { OnDownloadDone(done); },
//       {.window = m_hWnd, .onProgress = [this](int percent) { m_progress->SetValue(percent); }});
//   ...
//   m_download.StopAndWait(std::chrono::seconds(30));  // the stop button, or the dialog closing
//
// A body runs its work through the crash guard itself where it has one
// (RunGuardedWorkerBody names the body's own diagnostic site).
//
// The handle belongs to the UI thread (its owner's); Context belongs to the
// body. Deliveries run from the UI thread's loop, nested modal loops
// included, in the order they were made (merged progress reports arrive
// where the first of them was made).

#include "platform/duilib/UIDefine.h"
#include "platform/os/WorkerThread.h"

#include <chrono>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace os {
class Event;
}

namespace DuiLib {

class BackgroundJob {
  public:
    class Context;
    using Body = std::function<void(Context&)>;

    struct Options {
        // Deliveries also need this window alive (the window whose controls
        // they set); null: the handle alone decides.
        HWND window = nullptr;
        // Runs on the UI thread for Context::ReportProgress, under the same
        // rule as every delivery. Reports that come faster than the UI
        // thread takes them are merged: the latest value arrives.
        std::function<void(int)> onProgress{};
    };

    BackgroundJob();
    // The owner is going: the body is asked to stop, nothing more is
    // delivered (also from earlier runs of this handle), and a body that
    // still runs is let go. Never waits. UI thread (a handle whose owner is
    // shared with its own body may go on that body's thread; it must then
    // deliver nothing that touches the owner).
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Starts `body` on a new thread with a fresh stop event. False when a
    // body of this handle still runs or no thread could be made (the body is
    // then dropped unrun). UI thread.
    bool Start(Body body, Options options);
    bool Start(Body body);

    // The same for a body that computes a result: `onResult(result)` runs on
    // the UI thread under the rule of every delivery. A body that throws
    // delivers nothing. UI thread.
    template <typename Work, typename OnResult>
    requires std::is_invocable_v<Work&, Context&> &&
        (!std::is_void_v<std::invoke_result_t<Work&, Context&>>)&&std::is_invocable_v<
            OnResult&, std::invoke_result_t<Work&, Context&>> bool Start(Work work, OnResult onResult,
                                                                         Options options);
    template <typename Work, typename OnResult>
    requires std::is_invocable_v<Work&, Context&> &&
        (!std::is_void_v<std::invoke_result_t<Work&, Context&>>)&&std::is_invocable_v<
            OnResult&, std::invoke_result_t<Work&, Context&>> bool Start(Work work, OnResult onResult) {
        return Start(std::move(work), std::move(onResult), Options{});
    }

    // True from Start until the body has returned and what it owned is gone.
    bool IsRunning() const;
    // Waits until the body has ended or `limit` has passed (negative: no
    // limit); true when it has ended or none was started.
    bool WaitFor(std::chrono::milliseconds limit) const;
    // Sets the stop event of the running body (nothing when none runs):
    // its transfers end at once; its deliveries still arrive. UI thread.
    void RequestStop();
    // The teardown: RequestStop, then WaitFor(limit). False when the body
    // still runs; it is let go when the handle goes.
    bool StopAndWait(std::chrono::milliseconds limit);

  private:
    struct Owner;
    struct Run;

    std::shared_ptr<Owner> m_owner;
    std::shared_ptr<Run> m_run;  // the latest run
    os::WorkerThread m_thread;
};

// What a body sees of its job. Worker thread (any thread, in fact).
class BackgroundJob::Context {
  public:
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // Whether the owner asked the body to stop (or went).
    bool StopRequested() const;
    // The stop event, for transfers and waits that end when it is set
    // (FetchUrlText, CFileFetch::SetStopEvent, ChildProcess's waits). It
    // lives as long as the body.
    const os::Event* StopEvent() const;

    // Runs `call` on the UI thread later, only when the owner (and the
    // owner's window, when the job names one) still lives then; dropped
    // otherwise, with what it captured freed on either thread. False when
    // the owner is already gone (nothing will ever be delivered).
    bool Deliver(std::function<void()> call);
    // Hands `value` to the job's onProgress (see Options). False as Deliver.
    bool ReportProgress(int value);

  private:
    friend class BackgroundJob;
    explicit Context(std::shared_ptr<Run> run) : m_run(std::move(run)) {}

    std::shared_ptr<Run> m_run;
};

template <typename Work, typename OnResult>
requires std::is_invocable_v<Work&, BackgroundJob::Context&> &&
    (!std::is_void_v<std::invoke_result_t<Work&, BackgroundJob::Context&>>)&&std::is_invocable_v<
        OnResult&,
        std::invoke_result_t<Work&, BackgroundJob::Context&>> bool BackgroundJob::Start(Work work,
                                                                                        OnResult onResult,
                                                                                        Options options) {
    using Result = std::invoke_result_t<Work&, Context&>;
    // Runs on the worker thread; the result travels in a shared box so that
    // the delivery stays copyable whatever the result's type.
    return Start(
        [work = std::move(work), onResult = std::move(onResult)](Context& job) mutable {
            auto result = std::make_shared<Result>(work(job));
            job.Deliver([onResult, result]() mutable { onResult(std::move(*result)); });
        },
        std::move(options));
}

}  // namespace DuiLib
