// The window layer: window messages and state, modal loops, focus, timers on
// the virtual clock, and messages between threads.
#include "TestScreen.h"
#include "TestWindow.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <thread>

using namespace DuiLib;
using uitest::TestScreen;
using uitest::TestWindow;

namespace {

constexpr UINT WM_TEST = WM_USER + 7;

class WindowsTest : public ::testing::Test {
  protected:
    UiThread ui{UiThread::Options{.screen = TestScreen()}};

    // Creates a visible window on the UI thread.
    TestWindow* Make(HWND owner = nullptr, RECT rc = {100, 100, 500, 400}, const char* cls = "TestWindow",
                     DWORD style = WS_POPUP) {
        TestWindow* wnd = nullptr;
        EXPECT_TRUE(ui.Run([&] {
            wnd = new TestWindow(cls);
            wnd->deleteOnFinal = true;
            wnd->Create(owner, "title", style, 0, rc);
        }));
        return wnd;
    }
};

// A payload that counts its destructions.
struct Payload {
    explicit Payload(std::atomic<int>* c) : freed(c) {}
    ~Payload() { ++*freed; }
    std::atomic<int>* freed;
};

TEST_F(WindowsTest, CreateSendsCreateSizeMoveAndShowSendsShowWindowAndActivation) {
    ASSERT_TRUE(ui.IsRunning());
    TestWindow* wnd = Make();
    ui.Run([&] {
        EXPECT_EQ(wnd->Messages(), (std::vector<UINT>{WM_CREATE, WM_SIZE, WM_MOVE}));
        EXPECT_EQ(wnd->log[1].lParam, MAKELPARAM(400, 300));
        EXPECT_FALSE(IsWindowVisible(*wnd));
        wnd->log.clear();
        wnd->ShowWindow(true, true);
        EXPECT_TRUE(IsWindowVisible(*wnd));
        EXPECT_EQ(GetActiveWindow(), wnd->GetHWND());
        EXPECT_EQ(GetFocus(), wnd->GetHWND());
        EXPECT_EQ(wnd->Messages(),
                  (std::vector<UINT>{WM_SHOWWINDOW, WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS}));
        EXPECT_EQ(FindWindowW("testwindow", nullptr), wnd->GetHWND());
        EXPECT_EQ(FindWindowW(nullptr, "TITLE"), wnd->GetHWND());
        EXPECT_EQ(FindWindowW("Other", nullptr), nullptr);
    });
}

TEST_F(WindowsTest, CreateFailsWhenCreateAnswersMinusOne) {
    int finals = 0;
    ui.Run([&] {
        TestWindow wnd;
        wnd.finalCount = &finals;
        wnd.onMessage = [](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_CREATE)
                return -1;
            return std::nullopt;
        };
        EXPECT_EQ(wnd.Create(nullptr, "x", WS_POPUP, 0), nullptr);
        EXPECT_EQ(wnd.GetHWND(), nullptr);
        EXPECT_EQ(FindWindowW("TestWindow", nullptr), nullptr);
    });
    EXPECT_EQ(finals, 1);
}

TEST_F(WindowsTest, CloseDestroysOwnedWindowsFirstAndEndsWithFinalMessage) {
    TestWindow* owner = Make();
    TestWindow* owned = Make(owner->GetHWND());
    HWND ownerHwnd = owner->GetHWND();
    HWND ownedHwnd = owned->GetHWND();
    std::vector<std::pair<HWND, UINT>> order;
    ui.Run([&] {
        EXPECT_EQ(GetWindowOwner(ownedHwnd), ownerHwnd);
        EXPECT_EQ(GetParent(ownedHwnd), ownerHwnd);  // a pop-up answers its owner
        for (TestWindow* w : {owner, owned}) {
            HWND h = w->GetHWND();
            w->onMessage = [&order, h](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
                if (msg == WM_DESTROY || msg == WM_NCDESTROY)
                    order.emplace_back(h, msg);
                return std::nullopt;
            };
        }
        owner->Close(1);
    });
    ASSERT_TRUE(ui.WaitIdle());
    ui.Run([&] {
        EXPECT_FALSE(IsWindow(ownerHwnd));
        EXPECT_FALSE(IsWindow(ownedHwnd));
        // Both objects deleted themselves in OnFinalMessage (ASan checks the rest).
    });
    const std::vector<std::pair<HWND, UINT>> expected{{ownedHwnd, WM_DESTROY},
                                                      {ownedHwnd, WM_NCDESTROY},
                                                      {ownerHwnd, WM_DESTROY},
                                                      {ownerHwnd, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
}

TEST_F(WindowsTest, WindowGoingAwayCannotKeepActivationOrFocus) {
    TestWindow* other = Make();
    TestWindow* leaving = Make();
    ui.Run([&] {
        other->ShowWindow();
        leaving->ShowWindow();
        HWND self = leaving->GetHWND();
        leaving->onMessage = [self](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_DESTROY) {
                ShowWindow(self, SW_SHOW);
                SetFocus(self);
                SetActiveWindow(self);
            }
            return std::nullopt;
        };
        DestroyWindow(self);
        EXPECT_EQ(GetActiveWindow(), other->GetHWND());
        EXPECT_EQ(GetFocus(), other->GetHWND());
    });
}

TEST_F(WindowsTest, ModalDialogReturnsCloseCodeAndReenablesOwner) {
    TestWindow* owner = Make();
    ui.Run([&] { owner->ShowWindow(); });
    TestWindow* dialog = Make(owner->GetHWND(), {0, 0, 200, 100}, "Dialog");
    HWND dialogHwnd = dialog->GetHWND();
    std::atomic<int> result{-1};
    ui.Post([&] { result = static_cast<int>(dialog->ShowModal()); });
    ASSERT_TRUE(ui.WaitIdle());
    ui.Run([&] {
        EXPECT_FALSE(IsWindowEnabled(*owner));
        EXPECT_TRUE(IsWindowVisible(dialogHwnd));
        EXPECT_EQ(GetFocus(), dialogHwnd);
        EXPECT_EQ(result.load(), -1);
        // The dialog deletes itself when destroyed; ShowModal must not touch it after.
        dialog->Close(42);
    });
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_EQ(result.load(), 42);
    ui.Run([&] {
        EXPECT_FALSE(IsWindow(dialogHwnd));
        EXPECT_TRUE(IsWindowEnabled(*owner));
        EXPECT_EQ(GetFocus(), owner->GetHWND());
        EXPECT_EQ(GetActiveWindow(), owner->GetHWND());
    });
}

TEST_F(WindowsTest, NestedModalLoopsReturnInnerThenOuter) {
    TestWindow* owner = Make();
    TestWindow* outer = Make(owner->GetHWND());
    std::atomic<int> outerResult{-1};
    std::atomic<int> innerResult{-1};
    TestWindow* inner = nullptr;
    ui.Post([&] { outerResult = static_cast<int>(outer->ShowModal()); });
    ASSERT_TRUE(ui.WaitIdle());
    inner = Make(outer->GetHWND());
    ui.Post([&] { innerResult = static_cast<int>(inner->ShowModal()); });
    ASSERT_TRUE(ui.WaitIdle());
    ui.Run([&] {
        EXPECT_FALSE(IsWindowEnabled(*owner));
        EXPECT_FALSE(IsWindowEnabled(*outer));
        inner->Close(2);
    });
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_EQ(innerResult.load(), 2);
    EXPECT_EQ(outerResult.load(), -1);
    ui.Run([&] {
        EXPECT_TRUE(IsWindowEnabled(*outer));
        EXPECT_FALSE(IsWindowEnabled(*owner));
        EXPECT_EQ(GetFocus(), outer->GetHWND());
        outer->Close(3);
    });
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_EQ(outerResult.load(), 3);
    ui.Run([&] { EXPECT_TRUE(IsWindowEnabled(*owner)); });
}

TEST_F(WindowsTest, QuitInsideModalLoopEndsItAndReachesTheOuterLoop) {
    TestWindow* owner = Make();
    TestWindow* dialog = Make(owner->GetHWND());
    HWND dialogHwnd = dialog->GetHWND();
    std::atomic<int> result{-1};
    ui.Post([&] { result = static_cast<int>(dialog->ShowModal()); });
    ASSERT_TRUE(ui.WaitIdle());
    ui.Run([] { PostQuitMessage(7); });
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(ui.QuitCount(), 1);
    EXPECT_EQ(ui.LastQuitCode(), 7);
    ui.Run([&] {
        EXPECT_TRUE(IsWindow(dialogHwnd));  // the quit ended the loop, not the window
        EXPECT_TRUE(IsWindowEnabled(*owner));
    });
}

TEST_F(WindowsTest, FocusMovesWithKillFocusNamingTheNewWindow) {
    TestWindow* a = Make();
    TestWindow* b = Make();
    ui.Run([&] {
        a->ShowWindow();
        b->ShowWindow(true, false);
        EXPECT_EQ(GetFocus(), a->GetHWND());
        a->log.clear();
        b->log.clear();
        EXPECT_EQ(SetFocus(*b), a->GetHWND());
        ASSERT_EQ(a->Count(WM_KILLFOCUS), 1);
        auto kill = std::find_if(a->log.begin(), a->log.end(), [](auto& l) { return l.msg == WM_KILLFOCUS; });
        EXPECT_EQ(kill->wParam, reinterpret_cast<WPARAM>(b->GetHWND()));
        auto set = std::find_if(b->log.begin(), b->log.end(), [](auto& l) { return l.msg == WM_SETFOCUS; });
        ASSERT_NE(set, b->log.end());
        EXPECT_EQ(set->wParam, reinterpret_cast<WPARAM>(a->GetHWND()));
        EXPECT_EQ(a->Count(WM_NCACTIVATE), 1);
        // A disabled window neither takes the focus nor keeps it.
        EXPECT_EQ(SetFocus(nullptr), b->GetHWND());
        EnableWindow(*a, FALSE);
        EXPECT_EQ(SetFocus(*a), nullptr);
        EXPECT_EQ(GetFocus(), nullptr);
        // Hiding the active window hands the activation on.
        SetFocus(*b);
        EnableWindow(*a, TRUE);
        b->ShowWindow(false);
        EXPECT_EQ(GetActiveWindow(), a->GetHWND());
    });
}

TEST_F(WindowsTest, SystemCommandsMaximiseMinimiseAndRestore) {
    TestWindow* wnd = Make();
    ui.Run([&] {
        wnd->ShowWindow();
        wnd->log.clear();
        wnd->SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        EXPECT_TRUE(IsZoomed(*wnd));
        RECT rc;
        GetWindowRect(*wnd, &rc);
        EXPECT_EQ(rc, (RECT{0, 0, 1280, 760}));
        auto size = std::find_if(wnd->log.begin(), wnd->log.end(), [](auto& l) { return l.msg == WM_SIZE; });
        ASSERT_NE(size, wnd->log.end());
        EXPECT_EQ(size->wParam, SIZE_MAXIMIZED);
        EXPECT_EQ(size->lParam, MAKELPARAM(1280, 760));
        EXPECT_NE(GetWindowLongW(*wnd, GWL_STYLE) & static_cast<long>(WS_MAXIMIZE), 0);

        wnd->SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(IsIconic(*wnd));
        EXPECT_FALSE(IsZoomed(*wnd));
        auto lastSize =
            std::find_if(wnd->log.rbegin(), wnd->log.rend(), [](auto& l) { return l.msg == WM_SIZE; });
        EXPECT_EQ(lastSize->wParam, SIZE_MINIMIZED);
        wnd->SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);  // back to maximised
        EXPECT_TRUE(IsZoomed(*wnd));
        wnd->SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
        EXPECT_FALSE(IsZoomed(*wnd));
        GetWindowRect(*wnd, &rc);
        EXPECT_EQ(rc, (RECT{100, 100, 500, 400}));
        EXPECT_EQ(wnd->log.back().msg, WM_SIZE);
        EXPECT_EQ(wnd->log.back().wParam, SIZE_RESTORED);

        HWND h = *wnd;
        SendMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_FALSE(IsWindow(h));
    });
}

// Where a window goes when restored from maximised: its normal rectangle,
// as WINDOWPLACEMENT keeps it.
TEST_F(WindowsTest, RestoringFromMaximisedGivesTheNormalRectangleInsideTheWorkArea) {
    struct Case {
        const char* what;
        RECT created;  // CW_USEDEFAULT position when left is CW_USEDEFAULT
        SIZE resized;  // what the window's layout then gives it (no move)
        bool showNormalFirst;
        RECT restored;
    };
    const Case cases[] = {
        // The main window's start: sized by its layout, shown maximised at
        // once; never shown restored, so restored it is centred.
        {"never shown restored", RECT{CW_USEDEFAULT, 0, 0, 0}, SIZE{870, 578}, false,
         RECT{205, 91, 1075, 669}},
        // Placed by its code, or shown restored: that place is kept.
        {"placed at creation", RECT{100, 100, 500, 400}, SIZE{400, 300}, false, RECT{100, 100, 500, 400}},
        {"shown restored first", RECT{CW_USEDEFAULT, 0, 0, 0}, SIZE{300, 200}, true, RECT{26, 26, 326, 226}},
        // A normal rectangle partly off the work area comes back inside it,
        // and one larger than the work area is cut to it.
        {"hanging off", RECT{1100, 700, 1500, 1000}, SIZE{400, 300}, false, RECT{880, 460, 1280, 760}},
        {"larger than the screen", RECT{-50, -50, 1950, 1150}, SIZE{2000, 1200}, false,
         RECT{0, 0, 1280, 760}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.Run([&] {
            auto* wnd = new TestWindow("TestWindow");
            wnd->deleteOnFinal = true;
            if (c.created.left == CW_USEDEFAULT)
                wnd->Create(nullptr, "title", WS_OVERLAPPEDWINDOW, 0);
            else
                wnd->Create(nullptr, "title", WS_OVERLAPPEDWINDOW, 0, c.created);
            const HWND hwnd = *wnd;
            SetWindowPos(hwnd, nullptr, 0, 0, c.resized.cx, c.resized.cy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            if (c.showNormalFirst)
                ShowWindow(hwnd, SW_SHOW);
            ShowWindow(hwnd, SW_SHOWMAXIMIZED);
            RECT rc;
            GetWindowRect(hwnd, &rc);
            EXPECT_EQ(rc, (RECT{0, 0, 1280, 760}));
            SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
            GetWindowRect(hwnd, &rc);
            EXPECT_EQ(rc, c.restored);
            // Maximised and restored again: the same place.
            ShowWindow(hwnd, SW_SHOWMAXIMIZED);
            ShowWindow(hwnd, SW_RESTORE);
            GetWindowRect(hwnd, &rc);
            EXPECT_EQ(rc, c.restored);
            DestroyWindow(hwnd);
        });
    }
}

TEST_F(WindowsTest, TheNormalRectangleFollowsMovesWhileRestoredButNotWhileMaximised) {
    TestWindow* wnd = Make(nullptr, RECT{100, 100, 500, 400}, "TestWindow", WS_OVERLAPPEDWINDOW);
    ui.Run([&] {
        const HWND hwnd = *wnd;
        ShowWindow(hwnd, SW_SHOW);
        MoveWindow(hwnd, 300, 200, 500, 350, TRUE);
        ShowWindow(hwnd, SW_SHOWMAXIMIZED);
        // The desktop reporting a geometry of its own while maximised.
        SetWindowPos(hwnd, nullptr, 10, 10, 1000, 700, SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(hwnd, SW_RESTORE);
        RECT rc;
        GetWindowRect(hwnd, &rc);
        EXPECT_EQ(rc, (RECT{300, 200, 800, 550}));
        // Minimised from restored and restored again.
        ShowWindow(hwnd, SW_MINIMIZE);
        ShowWindow(hwnd, SW_RESTORE);
        GetWindowRect(hwnd, &rc);
        EXPECT_EQ(rc, (RECT{300, 200, 800, 550}));
    });
}

TEST_F(WindowsTest, CenterWindowUsesOwnerAndStaysInsideWorkArea) {
    TestWindow* owner = Make(nullptr, {100, 100, 500, 500});
    TestWindow* small = Make(owner->GetHWND(), {0, 0, 200, 100});
    TestWindow* wide = Make(nullptr, {0, 0, 1500, 300});
    TestWindow* nearEdge = Make(nullptr, {0, 0, 600, 100});
    TestWindow* edgeOwner = Make(nullptr, {1100, 600, 1280, 760});
    ui.Run([&] {
        owner->ShowWindow();
        edgeOwner->ShowWindow();
        RECT rc;
        small->CenterWindow();
        GetWindowRect(*small, &rc);
        EXPECT_EQ(rc, (RECT{200, 250, 400, 350}));
        wide->CenterWindow();  // wider than the work area: its left edge
        GetWindowRect(*wide, &rc);
        EXPECT_EQ(rc.left, 0);
        EXPECT_EQ(rc.top, (760 - 300) / 2);
        nearEdge->Create(nullptr, "", 0, 0);  // already has a window: refused
        SetWindowPos(*nearEdge, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
        HWND dlg = nearEdge->GetHWND();
        EXPECT_TRUE(IsWindow(dlg));
    });
    TestWindow* pinned = Make(edgeOwner->GetHWND(), {0, 0, 600, 100});
    ui.Run([&] {
        RECT rc;
        pinned->CenterWindow();  // over an owner at the corner: pushed back inside
        GetWindowRect(*pinned, &rc);
        EXPECT_EQ(rc, (RECT{680, 630, 1280, 730}));
    });
}

TEST_F(WindowsTest, SetWindowPosHonoursFlagsAndTopmost) {
    TestWindow* wnd = Make();
    ui.Run([&] {
        wnd->log.clear();
        SetWindowPos(*wnd, HWND_TOPMOST, 5, 6, 70, 80, SWP_NOSIZE | SWP_NOACTIVATE);
        RECT rc;
        GetWindowRect(*wnd, &rc);
        EXPECT_EQ(rc, (RECT{5, 6, 405, 306}));
        EXPECT_NE(GetWindowLongW(*wnd, GWL_EXSTYLE) & static_cast<long>(WS_EX_TOPMOST), 0);
        EXPECT_EQ(wnd->Messages(), (std::vector<UINT>{WM_MOVE}));
        SetWindowPos(*wnd, HWND_NOTOPMOST, 0, 0, 70, 80, SWP_NOMOVE | SWP_NOACTIVATE);
        GetWindowRect(*wnd, &rc);
        EXPECT_EQ(rc, (RECT{5, 6, 75, 86}));
        EXPECT_EQ(wnd->log.back().msg, WM_SIZE);
        EXPECT_EQ(GetWindowLongW(*wnd, GWL_EXSTYLE) & static_cast<long>(WS_EX_TOPMOST), 0);
        RECT client;
        GetClientRect(*wnd, &client);
        EXPECT_EQ(client, (RECT{0, 0, 70, 80}));
        POINT pt{1, 2};
        ClientToScreen(*wnd, &pt);
        EXPECT_EQ(pt, (POINT{6, 8}));
        EXPECT_EQ(GetActiveWindow(), nullptr);  // nothing asked for activation
        wnd->ResizeClient(10, -1);
        GetClientRect(*wnd, &client);
        EXPECT_EQ(client, (RECT{0, 0, 10, 80}));
        EXPECT_TRUE(SetWindowTextW(*wnd, "新标题"));
        EXPECT_EQ(GetWindowTextW(*wnd), "新标题");
        RECT work;
        EXPECT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
        EXPECT_EQ(work, (RECT{0, 0, 1280, 760}));
    });
}

TEST_F(WindowsTest, TimersFireOnTheVirtualClockInOrderAndStopWhenKilled) {
    TestWindow* a = Make();
    TestWindow* b = Make();
    std::vector<std::pair<char, UINT_PTR>> fired;
    ui.Run([&] {
        a->onMessage = [&](UINT msg, WPARAM id, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_TIMER) {
                fired.emplace_back('a', id);
                if (fired.size() >= 4)
                    KillTimer(*a, id);  // from inside its own handler
            }
            return std::nullopt;
        };
        b->onMessage = [&](UINT msg, WPARAM id, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_TIMER)
                fired.emplace_back('b', id);
            return std::nullopt;
        };
        EXPECT_EQ(SetTimer(*a, 1, 100, nullptr), 1u);
        EXPECT_EQ(SetTimer(*b, 9, 150, nullptr), 9u);
        EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x1), 1, 10, nullptr), 0u);  // no such window
    });
    ASSERT_TRUE(ui.WaitIdle());
    ui.Run([&] { EXPECT_TRUE(fired.empty()); });  // the clock has not moved
    ASSERT_TRUE(ui.AdvanceClock(99));
    ui.Run([&] { EXPECT_TRUE(fired.empty()); });
    ASSERT_TRUE(ui.AdvanceClock(211));  // t = 310
    ui.Run([&] {
        const std::vector<std::pair<char, UINT_PTR>> expected{
            {'a', 1}, {'b', 9}, {'a', 1}, {'a', 1}, {'b', 9}};
        EXPECT_EQ(fired, expected);  // 100, 150, 200, 300, 300
    });
    ASSERT_TRUE(ui.AdvanceClock(200));  // t = 510: a was killed at its 4th
    ui.Run([&] {
        ASSERT_EQ(fired.size(), 6u);  // only b, at 450
        EXPECT_EQ(fired[5], (std::pair<char, UINT_PTR>{'b', 9}));
        HWND h = *b;
        DestroyWindow(h);
        EXPECT_FALSE(KillTimer(h, 9));  // went with its window
    });
}

TEST_F(WindowsTest, MessagePostedFromWorkerIsHandledOnTheUiThread) {
    TestWindow* wnd = Make();
    HWND hwnd = wnd->GetHWND();
    std::thread::id handledOn;
    WPARAM seen = 0;
    ui.Run([&] {
        wnd->onMessage = [&](UINT msg, WPARAM w, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_TEST) {
                handledOn = std::this_thread::get_id();
                seen = w;
            }
            return std::nullopt;
        };
    });
    std::thread worker([hwnd] {
        EXPECT_TRUE(PostMessageW(hwnd, WM_TEST, 77, 0));
        // A worker's own loop ends at once and takes nothing of the UI thread's.
        MSG msg;
        EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
        EXPECT_EQ(msg.message, WM_QUIT);
    });
    worker.join();
    ASSERT_TRUE(ui.WaitIdle());
    ui.Run([&] {
        EXPECT_EQ(handledOn, ui.Id());
        EXPECT_EQ(seen, 77u);
        EXPECT_TRUE(IsUiThread());
    });
    EXPECT_FALSE(IsUiThread());
}

TEST_F(WindowsTest, SendMessageFromWorkerRunsOnUiThreadAndAnswersZeroForGoneWindow) {
    TestWindow* wnd = Make();
    HWND hwnd = wnd->GetHWND();
    ui.Run([&] {
        wnd->onMessage = [&](UINT msg, WPARAM w, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_TEST)
                return static_cast<LRESULT>(w * 2 + (std::this_thread::get_id() == ui.Id() ? 1 : 0));
            return std::nullopt;
        };
    });
    LRESULT answer = -1;
    std::thread worker([&] { answer = SendMessageW(hwnd, WM_TEST, 20, 0); });
    worker.join();
    EXPECT_EQ(answer, 41);
    ui.Run([&] { DestroyWindow(hwnd); });
    LRESULT gone = -1;
    std::thread late([&] { gone = SendMessageW(hwnd, WM_TEST, 20, 0); });
    late.join();
    EXPECT_EQ(gone, 0);
}

TEST_F(WindowsTest, SendCallFromWorkerWaitsOnTheUiThreadThroughAModalLoop) {
    TestWindow* owner = Make();
    const HWND hwnd = owner->GetHWND();
    ui.Run([&] { owner->ShowWindow(); });
    TestWindow* box = nullptr;
    std::atomic<bool> returned{false};
    UINT answer = 0;
    std::thread::id ranOn;
    std::thread worker([&] {
        const bool ran = SendCall(hwnd, [&] {
            ranOn = std::this_thread::get_id();
            box = new TestWindow("QuestionBox");
            box->Create(hwnd, "question", WS_POPUP, 0, RECT{0, 0, 100, 50});
            answer = box->ShowModal();
            delete box;
        });
        EXPECT_TRUE(ran);
        returned = true;
    });
    // The box runs its modal loop on the UI thread while the worker waits.
    ASSERT_TRUE(vtest::WaitFor([&] {
        return ui.Call<bool>([] { return FindWindowW("QuestionBox", nullptr) != nullptr; }).value_or(false);
    }));
    EXPECT_FALSE(returned.load());
    ASSERT_TRUE(ui.Run([&] { box->Close(IDYES); }));
    worker.join();
    EXPECT_EQ(answer, static_cast<UINT>(IDYES));
    EXPECT_EQ(ranOn, ui.Id());
    // On the UI thread the call runs at once; a window that is gone takes none.
    int calls = 0;
    ASSERT_TRUE(ui.Run([&] { EXPECT_TRUE(SendCall(hwnd, [&] { ++calls; })); }));
    ASSERT_TRUE(ui.Run([&] { DestroyWindow(hwnd); }));
    std::thread late([&] { EXPECT_FALSE(SendCall(hwnd, [&] { ++calls; })); });
    late.join();
    EXPECT_EQ(calls, 1);
}

// Counts the wake-ups of the loop: every call handed to the UI thread makes
// one, so a test can tell that a worker's call is queued.
class WakeCountingBackend : public HeadlessBackend {
  public:
    WakeCountingBackend() : HeadlessBackend(Options{.screen = TestScreen()}) {}
    void Wake() override {
        ++wakes;
        HeadlessBackend::Wake();
    }
    std::atomic<int> wakes{0};
};

TEST(HandOver, AWorkerWaitingOnAWindowIsReleasedWhenTheWindowGoesAndNoLoopRunsAnyMore) {
    auto backend = std::make_shared<WakeCountingBackend>();
    UiThread ui{UiThread::Options{.backend = backend}};
    ASSERT_TRUE(ui.IsRunning());
    TestWindow* wnd = nullptr;
    ASSERT_TRUE(ui.Run([&] {
        wnd = new TestWindow();
        wnd->deleteOnFinal = true;
        wnd->Create(nullptr, "title", WS_POPUP, 0, RECT{0, 0, 100, 100});
    }));
    const HWND hwnd = wnd->GetHWND();
    std::promise<void> releaseUi;
    std::promise<void> unstickUi;
    std::shared_future<void> release = releaseUi.get_future().share();
    std::shared_future<void> unstick = unstickUi.get_future().share();
    // The UI thread is busy; when released it destroys the window and stops
    // running its queue (as teardown after the loop has ended does).
    ui.Post([=] {
        release.wait_for(std::chrono::seconds(20));
        DestroyWindow(hwnd);
        unstick.wait_for(std::chrono::seconds(20));
    });
    const int queued = backend->wakes.load();
    std::atomic<bool> called{false};
    std::promise<bool> callResult;
    std::promise<LRESULT> messageResult;
    std::thread caller([&] { callResult.set_value(SendCall(hwnd, [&] { called = true; })); });
    std::thread sender([&] { messageResult.set_value(SendMessageW(hwnd, WM_TEST, 1, 0)); });
    // Both calls wait in the queue before the window goes.
    ASSERT_TRUE(vtest::WaitFor([&] { return backend->wakes.load() >= queued + 2; }));
    releaseUi.set_value();
    auto callFuture = callResult.get_future();
    auto messageFuture = messageResult.get_future();
    EXPECT_EQ(callFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(messageFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    unstickUi.set_value();
    caller.join();
    sender.join();
    EXPECT_FALSE(callFuture.get());
    EXPECT_EQ(messageFuture.get(), 0);
    // The queued call comes up later and finds itself abandoned.
    ASSERT_TRUE(ui.WaitIdle());
    EXPECT_FALSE(called.load());
}

TEST_F(WindowsTest, OwnedPayloadsAreFreedWhenTheirWindowIsGone) {
    std::atomic<int> freed{0};
    TestWindow* wnd = Make();
    HWND hwnd = wnd->GetHWND();
    Payload* received = nullptr;
    ui.Run([&] {
        wnd->onMessage = [&](UINT msg, WPARAM, LPARAM l) -> std::optional<LRESULT> {
            if (msg == WM_TEST)
                received = reinterpret_cast<Payload*>(l);  // the receiver owns it now
            return std::nullopt;
        };
    });
    // Delivered: ownership passes, nothing is freed behind the receiver's back.
    EXPECT_TRUE(PostOwned(hwnd, WM_TEST, 0, std::make_unique<Payload>(&freed)));
    ASSERT_TRUE(ui.WaitIdle());
    ui.Run([&] {
        ASSERT_NE(received, nullptr);
        EXPECT_EQ(freed.load(), 0);
        delete received;
    });
    EXPECT_EQ(freed.load(), 1);

    // Pending when the window is destroyed (wParam payload too).
    ui.Run([&] {
        EXPECT_TRUE(PostOwned(hwnd, WM_TEST, 0, std::make_unique<Payload>(&freed)));
        EXPECT_TRUE(PostOwnedWParam(hwnd, WM_MENUCLICK, std::make_unique<std::string>("menuAbout"), 0));
        DestroyWindow(hwnd);
    });
    EXPECT_EQ(freed.load(), 2);

    // Gone at post time, from a worker thread.
    std::thread worker([&] { EXPECT_FALSE(PostOwned(hwnd, WM_TEST, 0, std::make_unique<Payload>(&freed))); });
    worker.join();
    EXPECT_EQ(freed.load(), 3);
}

TEST(UiThreadTest, PendingPayloadsAreFreedWhenTheQueueIsDropped) {
    std::atomic<int> freed{0};
    {
        // This thread is the UI thread here: nothing takes the messages.
        auto* wnd = new TestWindow;
        wnd->deleteOnFinal = true;
        HWND hwnd = wnd->Create(nullptr, "", WS_POPUP, 0);
        ASSERT_NE(hwnd, nullptr);
        EXPECT_TRUE(IsUiThread());
        // A thread message has no receiver to own a payload: refused and freed.
        EXPECT_FALSE(PostOwned(nullptr, WM_TEST, 0, std::make_unique<Payload>(&freed)));
        EXPECT_EQ(freed.load(), 1);
        EXPECT_TRUE(PostOwned(hwnd, WM_TEST, 0, std::make_unique<Payload>(&freed)));
        EXPECT_TRUE(PostOwnedWParam(hwnd, WM_MENUCLICK, std::make_unique<Payload>(&freed), 0));
        MessageQueue::Instance().Reset();
        EXPECT_EQ(freed.load(), 3);
        DestroyAllWindows();
        MessageQueue::Instance().ReleaseUiThread();
    }
    // Another thread can be the UI thread once this one let go.
    UiThread again;
    EXPECT_TRUE(again.IsRunning());
}

}  // namespace
