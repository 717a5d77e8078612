// The background job: results and progress reach the UI thread only while
// the owner (the handle, and its window when it names one) lives; the stop
// event ends a body's wait at once; a body outlives its handle safely; the
// teardown's wait is bounded.
#include "platform/duilib/BackgroundJob.h"

#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/WindowWnd.h"
#include "platform/os/Event.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using DuiLib::BackgroundJob;
using namespace std::chrono_literals;

class PlainWindow : public DuiLib::CWindowWnd {
  public:
    const char* GetWindowClassName() const override { return "JobOwner"; }
};

class BackgroundJobTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(ui.IsRunning()); }
    void TearDown() override {
        ui.Run([&] { job.reset(); });
        EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
    }

    // Whether the UI thread runs this; UI thread.
    bool OnUiThread() const { return std::this_thread::get_id() == ui.Id(); }

    DuiLib::UiThread ui{DuiLib::UiThread::Options{}};
    std::unique_ptr<BackgroundJob> job = std::make_unique<BackgroundJob>();
};

TEST_F(BackgroundJobTest, AResultAndTheLatestProgressArriveOnTheUiThreadInOrder) {
    std::vector<std::string> seen;  // UI thread only
    std::atomic<bool> wrongThread{false};
    auto release = std::make_shared<os::Event>();
    ASSERT_TRUE(ui.Call<bool>([&] {
                      return job->Start(
                          [release](BackgroundJob::Context& context) {
                              // Reports while the UI thread is busy merge into the latest one.
                              for (int percent = 0; percent <= 100; percent += 10)
                                  context.ReportProgress(percent);
                              context.Deliver([] {});
                              release->WaitFor(-1ms);
                              context.ReportProgress(7);
                              return std::make_unique<std::string>("done");
                          },
                          [&](std::unique_ptr<std::string> result) {
                              wrongThread = wrongThread || !OnUiThread();
                              seen.push_back(*result);
                          },
                          {.onProgress = [&](int percent) {
                              wrongThread = wrongThread || !OnUiThread();
                              seen.push_back(std::to_string(percent));
                          }});
                  }).value_or(false));
    // The burst's last report always arrives, whatever was merged.
    const auto seenNow = [&] { return ui.Call<std::vector<std::string>>([&] { return seen; }).value(); };
    ASSERT_TRUE(vtest::WaitFor([&] {
        const std::vector<std::string> now = seenNow();
        return !now.empty() && now.back() == "100";
    }));
    release->Set();
    ASSERT_TRUE(job->WaitFor(20s));
    ASSERT_TRUE(ui.WaitIdle());
    std::vector<std::string> all = seenNow();
    ASSERT_GE(all.size(), 3u);
    EXPECT_LE(all.size(), 13u);
    // A later report and then the result, in the order they were made.
    EXPECT_EQ(std::vector<std::string>(all.end() - 3, all.end()),
              (std::vector<std::string>{"100", "7", "done"}));
    // Merged reports keep their order: never an older value after a newer one.
    all.resize(all.size() - 2);
    for (std::size_t i = 1; i < all.size(); ++i)
        EXPECT_LT(std::stoi(all[i - 1]), std::stoi(all[i]));
    EXPECT_FALSE(wrongThread.load());
}

TEST_F(BackgroundJobTest, TheStopEventEndsABodysWaitAtOnceAndTheBoundedWaitTellsABodyThatGoesOn) {
    std::atomic<bool> sawStop{false};
    ASSERT_TRUE(ui.Call<bool>([&] {
                      return job->Start([&sawStop](BackgroundJob::Context& context) {
                          // A transfer or a child-process wait watching the stop event.
                          sawStop = context.StopEvent()->WaitFor(60s) && context.StopRequested();
                      });
                  }).value_or(false));
    EXPECT_TRUE(job->IsRunning());
    EXPECT_FALSE(job->WaitFor(20ms));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(ui.Call<bool>([&] { return job->StopAndWait(20s); }).value_or(false));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_TRUE(sawStop.load());

    // A body that does not watch the stop event outlives the bounded wait.
    auto release = std::make_shared<os::Event>();
    ASSERT_TRUE(ui.Call<bool>([&] {
                      return job->Start([release](BackgroundJob::Context&) { release->WaitFor(-1ms); });
                  }).value_or(false));
    EXPECT_FALSE(ui.Call<bool>([&] { return job->StopAndWait(30ms); }).value_or(true));
    EXPECT_TRUE(job->IsRunning());
    release->Set();
    EXPECT_TRUE(job->WaitFor(20s));
}

TEST_F(BackgroundJobTest, OneBodyAtATimeAndAFreshStopEventForEachRun) {
    auto release = std::make_shared<os::Event>();
    const auto waiting = [release](BackgroundJob::Context&) { release->WaitFor(-1ms); };
    ASSERT_TRUE(ui.Call<bool>([&] { return job->Start(waiting); }).value_or(false));
    EXPECT_FALSE(ui.Call<bool>([&] { return job->Start(waiting); }).value_or(true));
    EXPECT_FALSE(ui.Call<bool>([&] { return job->Start(BackgroundJob::Body{}); }).value_or(true));
    ui.Run([&] { job->RequestStop(); });
    release->Set();
    ASSERT_TRUE(job->WaitFor(20s));
    // The next run starts unstopped.
    std::atomic<int> stopped{-1};
    ASSERT_TRUE(ui.Call<bool>([&] {
                      return job->Start(
                          [&stopped](BackgroundJob::Context& context) { stopped = context.StopRequested(); });
                  }).value_or(false));
    ASSERT_TRUE(job->WaitFor(20s));
    EXPECT_EQ(stopped.load(), 0);
}

TEST_F(BackgroundJobTest, AnOwnerThatGoesGetsNothingEvenWhatWasAlreadyQueued) {
    auto delivered = std::make_shared<std::atomic<int>>(0);
    auto go = std::make_shared<os::Event>();
    auto queued = std::make_shared<os::Event>();
    auto release = std::make_shared<os::Event>();
    auto laterRefused = std::make_shared<std::atomic<bool>>(false);
    auto sawStop = std::make_shared<std::atomic<bool>>(false);
    ASSERT_TRUE(ui.Call<bool>([&] {
                      return job->Start(
                          [=](BackgroundJob::Context& context) {
                              go->WaitFor(-1ms);
                              context.Deliver([delivered] { ++*delivered; });
                              context.ReportProgress(50);
                              queued->Set();
                              release->WaitFor(-1ms);
                              *sawStop = context.StopRequested();
                              *laterRefused = !context.Deliver([delivered] { ++*delivered; }) &&
                                              !context.ReportProgress(60);
                          },
                          {.onProgress = [delivered](int) { ++*delivered; }});
                  }).value_or(false));
    // The body delivers while the UI thread is busy here, so the queued
    // deliveries cannot run before the owner goes.
    ASSERT_TRUE(ui.Run([&] {
        go->Set();
        ASSERT_TRUE(queued->WaitFor(20s));
        job.reset();
    }));
    release->Set();
    EXPECT_TRUE(vtest::WaitFor([&] { return os::WorkerThread::RunningCount() == 0; }));
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_EQ(delivered->load(), 0);
    EXPECT_TRUE(laterRefused->load());
    EXPECT_TRUE(sawStop->load());
}

TEST_F(BackgroundJobTest, AWindowThatGoesGetsNothingAndTheBodyRunsToItsEnd) {
    PlainWindow* window = nullptr;
    ASSERT_TRUE(ui.Run([&] {
        window = new PlainWindow;  // deleted below, on the UI thread
        window->Create(nullptr, "owner", WS_POPUP | WS_VISIBLE, 0, RECT{0, 0, 100, 100});
    }));
    const HWND hwnd = window->GetHWND();
    auto delivered = std::make_shared<std::atomic<int>>(0);
    auto go = std::make_shared<os::Event>();
    auto queued = std::make_shared<os::Event>();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    ASSERT_TRUE(ui.Call<bool>([&] {
                      return job->Start(
                          [=](BackgroundJob::Context& context) {
                              go->WaitFor(-1ms);
                              context.Deliver([delivered] { ++*delivered; });
                              queued->Set();
                              *finished = true;
                              return 1;
                          },
                          [delivered](int) { ++*delivered; }, {.window = hwnd});
                  }).value_or(false));
    ASSERT_TRUE(ui.Run([&] {
        go->Set();
        ASSERT_TRUE(queued->WaitFor(20s));
        ::DestroyWindow(hwnd);
        delete window;
    }));
    ASSERT_TRUE(job->WaitFor(20s));
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_TRUE(finished->load());
    EXPECT_EQ(delivered->load(), 0);
}

TEST_F(BackgroundJobTest, DeliveriesOfAnEarlierRunStillArriveAndABodyThatThrowsDeliversNoResult) {
    std::vector<int> seen;  // UI thread only
    auto gate = std::make_shared<os::Event>();
    ASSERT_TRUE(ui.Run([&] {
        ASSERT_TRUE(job->Start([](BackgroundJob::Context&) { return 1; }, [&](int v) { seen.push_back(v); }));
        // Still on the UI thread: the first result is queued, not yet run,
        // when the second run starts.
        ASSERT_TRUE(job->WaitFor(20s));
        ASSERT_TRUE(job->Start([](BackgroundJob::Context&) { return 2; }, [&](int v) { seen.push_back(v); }));
    }));
    ASSERT_TRUE(job->WaitFor(20s));
    ASSERT_TRUE(ui.Call<bool>([&] {
                      return job->Start(
                          [](BackgroundJob::Context&) -> int {
                              throw std::runtime_error("the server's reply broke the parser");
                          },
                          [&](int v) { seen.push_back(v); });
                  }).value_or(false));
    ASSERT_TRUE(job->WaitFor(20s));
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_EQ(ui.Call<std::vector<int>>([&] { return seen; }), (std::vector<int>{1, 2}));
}

}  // namespace
