// The loop around the windows: what the back end is told, notifications
// delivered through the loop, the library's message loop and the real
// clock.
#include "SkinDialog.h"
#include "TestWindow.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIlib.h"
#include "platform/duilib/UiThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

using namespace DuiLib;

namespace {

// A back end that records what the window layer mirrors to it.
class RecordingBackend : public HeadlessBackend {
  public:
    RecordingBackend() : HeadlessBackend(Options{}) {}
    void WindowShown(HWND hwnd, bool visible) override { Add(hwnd, visible ? "shown" : "hidden"); }
    void WindowDestroyed(HWND hwnd) override { Add(hwnd, "destroyed"); }
    void WindowEnabled(HWND hwnd, bool enabled) override { Add(hwnd, enabled ? "enabled" : "disabled"); }
    void WindowTitleChanged(HWND hwnd, const std::string& title) override { Add(hwnd, "title " + title); }
    void ControlChanged(HWND hwnd, CControlUI* control, ControlChange what) override {
        if (what == ControlChange::Text)
            Add(hwnd, "text " + control->GetName() + "=" + control->GetText());
        if (what == ControlChange::Visible)
            Add(hwnd, "visible " + control->GetName());
    }
    std::vector<std::string> Events(HWND hwnd) {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> out;
        for (auto& [h, text] : m_events) {
            if (h == hwnd)
                out.push_back(text);
        }
        return out;
    }

  private:
    void Add(HWND hwnd, std::string text) {
        std::lock_guard lock(m_mutex);
        m_events.emplace_back(hwnd, std::move(text));
    }
    std::mutex m_mutex;
    std::vector<std::pair<HWND, std::string>> m_events;
};

constexpr const char* kLayout =
    R"(<Window size="200,100"><VerticalLayout><Label name="lbl" height="20"/><Button name="btn" height="20"/></VerticalLayout></Window>)";

TEST(BackendTest, WindowAndControlChangesAreMirroredToTheBackEnd) {
    auto backend = std::make_shared<RecordingBackend>();
    UiThread ui{UiThread::Options{.backend = backend}};
    HWND hwnd = nullptr;
    ui.Run([&] {
        // A literal layout: the builder takes layout text as well as a file name.
        auto* dlg = new uitest::SkinDialog("", kLayout);
        dlg->deleteSelf = true;
        hwnd = dlg->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0);
        ASSERT_NE(hwnd, nullptr);
        dlg->ShowWindow();
        dlg->SetDlgItemTextW("lbl", "hello");
        dlg->ShowWindow("btn", false);
        SetWindowTextW(hwnd, "caption");
        EnableWindow(hwnd, FALSE);
        DestroyWindow(hwnd);
    });
    const std::vector<std::string> expected{"shown",    "text lbl=hello", "visible btn", "title caption",
                                            "disabled", "hidden",         "destroyed"};
    EXPECT_EQ(backend->Events(hwnd), expected);
}

// Counts the layouts the window layer asks the back end for.
class LayoutRecorder : public HeadlessBackend {
  public:
    LayoutRecorder() : HeadlessBackend(Options{}) {}
    void LayoutNeeded(HWND) override { ++layouts; }
    int layouts = 0;  // UI thread
};

TEST(BackendTest, EveryChangeThatMovesOrSizesControlsAsksTheBackEndForOneLayoutUntilItRuns) {
    auto backend = std::make_shared<LayoutRecorder>();
    UiThread ui{UiThread::Options{.backend = backend}};
    constexpr const char* layout = R"(<Window size="300,100"><VerticalLayout>
        <HorizontalLayout height="30"><Button name="btn" width="40"/><Label name="lbl" autocalcwidth="true"/>
          <Button name="hidden" width="40" visible="false"/></HorizontalLayout>
        <TabLayout name="tabs"><Control/><Control/></TabLayout></VerticalLayout></Window>)";
    const std::vector<std::pair<const char*, std::function<void(CPaintManagerUI&)>>> changes = {
        {"visible", [](CPaintManagerUI& pm) { pm.FindControl("hidden")->SetVisible(true); }},
        {"width", [](CPaintManagerUI& pm) { pm.FindControl("btn")->SetFixedWidth(60); }},
        {"padding",
         [](CPaintManagerUI& pm) {
             pm.FindControl("btn")->SetPadding(RECT{4, 0, 0, 0});
         }},
        {"text", [](CPaintManagerUI& pm) { pm.FindControl("lbl")->SetText("longer text"); }},
        {"tab",
         [](CPaintManagerUI& pm) { static_cast<CTabLayoutUI*>(pm.FindControl("tabs"))->SelectItem(1); }},
    };
    ui.Run([&] {
        auto* dlg = new uitest::SkinDialog("", layout);
        dlg->deleteSelf = true;
        ASSERT_NE(dlg->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0), nullptr);
        dlg->ShowWindow();
        for (const auto& [what, change] : changes) {
            SCOPED_TRACE(what);
            dlg->m_pm.UpdateLayout();
            const int before = backend->layouts;
            change(dlg->m_pm);
            EXPECT_EQ(backend->layouts, before + 1);
            EXPECT_TRUE(dlg->m_pm.IsUpdateNeeded());
        }
        // Asked once while one is pending; again once it has run.
        const int pending = backend->layouts;
        dlg->m_pm.FindControl("btn")->SetFixedWidth(70);
        EXPECT_EQ(backend->layouts, pending);
        dlg->m_pm.UpdateLayout();
        dlg->m_pm.FindControl("btn")->SetFixedWidth(80);
        EXPECT_EQ(backend->layouts, pending + 1);
        DestroyWindow(dlg->GetHWND());
    });
}

TEST(LoopTest, AsyncNotificationsArriveFromTheLoopAndAreDroppedWithTheirWindow) {
    UiThread ui;
    Automation automation;
    uitest::SkinDialog* dlg = nullptr;
    ui.Run([&] {
        dlg = new uitest::SkinDialog("", kLayout);
        dlg->deleteSelf = true;
        dlg->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0);
        dlg->m_pm.SendNotify(dlg->m_pm.FindControl("btn"), DUI_MSGTYPE_ITEMCLICK, 0, 0, true);
        EXPECT_TRUE(dlg->notes.empty());  // not yet: it travels through the loop
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_EQ(dlg->notes, (std::vector<std::string>{"itemclick:btn"}));
        // Queued for a window that then goes: nobody is called.
        dlg->m_pm.SendNotify(dlg->m_pm.FindControl("btn"), DUI_MSGTYPE_ITEMCLICK, 0, 0, true);
        DestroyWindow(*dlg);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
}

TEST(LoopTest, MessageLoopReturnsOnQuitAndFadeInOutShowsAndHidesAtOnce) {
    UiThread ui;
    Automation automation;
    std::atomic<bool> returned{false};
    ui.Post([&] {
        CPaintManagerUI::MessageLoop();
        returned = true;
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_FALSE(returned.load());
    ui.Run([] { PostQuitMessage(0); });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(ui.QuitCount(), 0);  // the library's loop took it

    ui.Run([&] {
        auto* dlg = new uitest::SkinDialog("", kLayout);
        dlg->deleteSelf = true;
        dlg->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0);
        dlg->FadeInOut(100, AW_ACTIVATE | AW_BLEND);
        EXPECT_TRUE(IsWindowVisible(*dlg));
        EXPECT_EQ(GetActiveWindow(), dlg->GetHWND());
        dlg->FadeInOut(100, AW_HIDE | AW_BLEND);
        EXPECT_FALSE(IsWindowVisible(*dlg));
    });
}

TEST(LoopTest, RealClockModeFiresTimersWithoutAnyoneAdvancingTheClock) {
    UiThread ui{UiThread::Options{.realTime = true}};
    auto fired = std::make_shared<std::promise<std::thread::id>>();
    ui.Run([&] {
        auto* wnd = new uitest::TestWindow;
        wnd->deleteOnFinal = true;
        wnd->Create(nullptr, "", WS_POPUP, 0);
        wnd->onMessage = [wnd, fired](UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (msg == WM_TIMER) {
                KillTimer(*wnd, 1);
                fired->set_value(std::this_thread::get_id());
            }
            return std::nullopt;
        };
        SetTimer(*wnd, 1, 10, nullptr);
    });
    auto future = fired->get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), ui.Id());
    Automation automation;
    EXPECT_FALSE(automation.AdvanceClock(100));  // there is no virtual clock to move
}

}  // namespace
