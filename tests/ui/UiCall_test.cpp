// The one hand-over to the UI thread (UiCall) and the one nested modal loop
// (ModalScope).
#include "platform/duilib/UiCall.h"
#include "TestScreen.h"
#include "TestWindow.h"
#include "platform/duilib/ModalScope.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <future>
#include <thread>

using namespace DuiLib;
using namespace std::chrono_literals;
using uitest::TestScreen;
using uitest::TestWindow;

namespace {

constexpr UINT WM_TEST = WM_USER + 9;

class UiCallTest : public ::testing::Test {
  protected:
    UiThread ui{UiThread::Options{.screen = TestScreen()}};

    // Keeps the UI thread busy until the returned promise is set, then runs
    // `then` there.
    std::promise<void> Block(std::function<void()> then = [] {}) {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        auto entered = std::make_shared<std::atomic<bool>>(false);
        ui.Post([released, entered, then] {
            *entered = true;
            released.wait_for(20s);
            then();
        });
        EXPECT_TRUE(vtest::WaitFor([&] { return entered->load(); }));
        return release;
    }
};

TEST_F(UiCallTest, ACallTheUiThreadDidNotBeginByTheDeadlineIsAbandonedAndNeverRuns) {
    std::promise<void> release = Block();
    std::atomic<bool> ran{false};
    EXPECT_FALSE(UiCall([&] { ran = true; }, UiCallLimits{.begin = 50ms}));
    release.set_value();
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_FALSE(ran.load());  // the caller's locals were never reached after it left
    EXPECT_EQ(UiCallFor<int>([] { return 7; }, -1), 7);
}

TEST_F(UiCallTest, ABegunCallIsWaitedForPastTheDeadline) {
    std::promise<void> finish;
    std::shared_future<void> finished = finish.get_future().share();
    std::atomic<bool> begun{false};
    std::atomic<bool> returned{false};
    bool ok = false;
    std::chrono::nanoseconds callerCpu{};
    std::thread caller([&] {
        ok = UiCall(
            [&] {
                begun = true;
                finished.wait_for(20s);
            },
            UiCallLimits{.begin = 50ms});
        timespec used{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
        callerCpu = std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
        returned = true;
    });
    ASSERT_TRUE(vtest::WaitFor([&] { return begun.load(); }));
    // Well past the deadline, the caller still waits for the call it began.
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(returned.load());
    finish.set_value();
    caller.join();
    EXPECT_TRUE(ok);
    // It waited asleep: a caller that spun would have used the processor
    // the whole time past the deadline.
    EXPECT_LT(callerCpu, 100ms);
}

TEST_F(UiCallTest, ACallForAWindowIsAbandonedWhenTheWindowGoesFirst) {
    TestWindow* wnd = nullptr;
    ASSERT_TRUE(ui.Run([&] {
        wnd = new TestWindow();
        wnd->deleteOnFinal = true;
        wnd->Create(nullptr, "title", WS_POPUP, 0, RECT{0, 0, 100, 100});
    }));
    const HWND hwnd = wnd->GetHWND();
    // The UI thread is busy, and destroys the window before it comes back
    // to its queue.
    std::promise<void> release = Block([hwnd] { DestroyWindow(hwnd); });
    std::atomic<bool> ran{false};
    auto result = std::async(std::launch::async, [&] {
        return UiCall([&] { ran = true; }, UiCallLimits{.begin = kNoDeadline, .window = hwnd});
    });
    release.set_value();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(result.get());
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_FALSE(ran.load());
}

TEST(UiCallWithoutUiThread, RunsHereOnlyWhenAskedTo) {
    int runs = 0;
    EXPECT_FALSE(UiCall([&] { ++runs; }));
    EXPECT_TRUE(UiCall([&] { ++runs; }, UiCallLimits{.runHereWithoutUiThread = true}));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(UiCallFor<int>([] { return 1; }, -1), -1);
}

// ---- ModalScope -----------------------------------------------------------------------

class ModalScopeTest : public UiCallTest {
  protected:
    TestWindow* Make(HWND owner = nullptr) {
        TestWindow* wnd = nullptr;
        EXPECT_TRUE(ui.Run([&] {
            wnd = new TestWindow();
            wnd->deleteOnFinal = true;
            wnd->Create(owner, "title", WS_POPUP, 0, RECT{0, 0, 100, 100});
            wnd->ShowWindow();
        }));
        return wnd;
    }
};

TEST_F(ModalScopeTest, OwnerIsDisabledWhileItRunsAndGetsItsStateAndFocusBack) {
    const HWND owner = Make()->GetHWND();
    const HWND other = Make()->GetHWND();
    bool disabledInside = false;
    ui.Post([&] {
        ModalScope scope(owner);
        scope.Run([&] {
            disabledInside = !IsWindowEnabled(owner);
            return true;
        });
    });
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_TRUE(disabledInside);
    EXPECT_TRUE(ui.Call<bool>([&] { return IsWindowEnabled(owner) && GetFocus() == owner; }).value_or(false));

    // An owner disabled before the scope stays disabled after it.
    ASSERT_TRUE(ui.Run([&] {
        EnableWindow(other, FALSE);
        SetFocus(owner);
        ModalScope scope(other);
        scope.Run([] { return true; });
        EXPECT_FALSE(IsWindowEnabled(other));
        EXPECT_EQ(GetFocus(), owner);
    }));
}

TEST_F(ModalScopeTest, AMessageInspectedAsEndIsNotDispatchedAndAQuitReachesTheOuterLoop) {
    TestWindow* wnd = Make();
    const HWND hwnd = wnd->GetHWND();
    std::atomic<int> delivered{0};
    ASSERT_TRUE(ui.Run([&] {
        wnd->onMessage = [&](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_TEST)
                ++delivered;
            return std::nullopt;
        };
    }));
    std::atomic<int> ended{-1};
    ui.Post([&, hwnd] {
        ModalScope scope;
        PostMessageW(hwnd, WM_TEST, 1, 0);
        PostMessageW(hwnd, WM_TEST, 2, 0);
        const bool normal = scope.Run(
            [] { return false; },
            [](const MSG& msg) {
                return msg.message == WM_TEST && msg.wParam == 2 ? ModalStep::End : ModalStep::Dispatch;
            });
        ended = normal ? 1 : 0;
    });
    ASSERT_TRUE(vtest::WaitFor([&] { return ended.load() >= 0; }));
    EXPECT_EQ(ended.load(), 1);
    EXPECT_EQ(delivered.load(), 1);

    // A quit ends the nested loop and is posted again for the loop outside.
    const int quits = ui.QuitCount();
    ended = -1;
    ui.Post([&] {
        ModalScope scope;
        PostQuitMessage(3);
        ended = scope.Run([] { return false; }) ? 1 : 0;
    });
    ASSERT_TRUE(vtest::WaitFor([&] { return ended.load() >= 0 && ui.QuitCount() > quits; }));
    EXPECT_EQ(ended.load(), 0);
    EXPECT_EQ(ui.LastQuitCode(), 3);
}

}  // namespace
