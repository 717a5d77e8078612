#include "app/CloseSignalWatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "support/Sandbox.h"

namespace {

// A window on the UI thread that counts the close commands it receives.
class CloseSignalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ui.IsRunning());
        auto created = ui.Call<HWND>([this] {
            DuiLib::WindowCreateParams params;
            params.className = "SignalTarget";
            return DuiLib::CreateWindowRecord(params, [this](HWND h, UINT m, WPARAM w, LPARAM l) {
                if (m == WM_SYSCOMMAND && (w & 0xFFF0) == SC_CLOSE) {
                    closes.fetch_add(1);
                    return LRESULT{0};
                }
                return DefWindowProcW(h, m, w, l);
            });
        });
        ASSERT_TRUE(created && *created != nullptr);
        hwnd = *created;
    }

    static struct sigaction Current(int signo) {
        struct sigaction now {};
        ::sigaction(signo, nullptr, &now);
        return now;
    }

    DuiLib::UiThread ui;
    std::atomic<int> closes{0};
    HWND hwnd = nullptr;
};

TEST_F(CloseSignalTest, TermAndIntEachPostTheCloseCommandToTheTarget) {
    CCloseSignalWatcher watcher;
    ASSERT_TRUE(watcher.Start());
    watcher.SetTarget(hwnd);
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_TRUE(vtest::WaitFor([&] { return closes.load() == 1; }));
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_TRUE(vtest::WaitFor([&] { return closes.load() == 2; }));
    EXPECT_EQ(watcher.SignalsSeen(), 2);
}

TEST_F(CloseSignalTest, SignalBeforeTheWindowExistsIsDeliveredWhenItIsKnown) {
    CCloseSignalWatcher watcher;
    ASSERT_TRUE(watcher.Start());
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(vtest::WaitFor([&] { return watcher.SignalsSeen() == 1; }));
    EXPECT_EQ(closes.load(), 0);
    watcher.SetTarget(hwnd);
    EXPECT_TRUE(vtest::WaitFor([&] { return closes.load() == 1; }));
}

TEST_F(CloseSignalTest, OnlyOneWatcherAtATimeAndTheOldHandlersComeBack) {
    const struct sigaction before = Current(SIGTERM);
    const struct sigaction beforeInt = Current(SIGINT);
    {
        CCloseSignalWatcher watcher;
        ASSERT_TRUE(watcher.Start());
        EXPECT_NE(Current(SIGTERM).sa_handler, before.sa_handler);
        CCloseSignalWatcher second;
        EXPECT_FALSE(second.Start());
    }
    EXPECT_EQ(Current(SIGTERM).sa_handler, before.sa_handler);
    EXPECT_EQ(Current(SIGINT).sa_handler, beforeInt.sa_handler);
    // A new watcher may start once the first is gone.
    CCloseSignalWatcher again;
    EXPECT_TRUE(again.Start());
}

}  // namespace
