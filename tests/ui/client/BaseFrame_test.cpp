// The frame base driven headless: keys, title-bar buttons, system commands,
// placement, modal runs and the relations between frames.
#include "ClientUi.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/backend/Screen.h"
#include "ui/MyBaseFrame.h"

#include <atomic>
#include <string>
#include <vector>

using namespace DuiLib;
using clienttest::ClientUiTest;

namespace {

constexpr const char* kFrameLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="400,300">
  <VerticalLayout>
    <Button name="btnClose" height="30"/>
    <Button name="btnMax" height="30"/>
    <Option name="opt" height="30"/>
    <TabLayout name="tabs" height="30"><Control/><Control/></TabLayout>
  </VerticalLayout>
</Window>)";

// A frame over a literal layout that records the hooks it sees.
template <int Kind>
class TestFrame : public MyBaseFrame<Kind> {
  public:
    explicit TestFrame(std::string layout = kFrameLayout) : m_layout(std::move(layout)) {}
    const char* GetWindowClassName() const override { return "TestFrameClass"; }
    std::string GetSkinFile() override { return m_layout; }
    bool KeepsCloseWithOtherFrames() const override { return keepClose; }
    void OnSelectChanged(TNotifyUI& msg) override {
        hooks.push_back("selectchanged:" + msg.pSender->GetName());
    }
    void OnItemSelect(TNotifyUI& msg) override { hooks.push_back("itemselect:" + msg.pSender->GetName()); }
    void OnMenuCommand(WPARAM item) override {
        hooks.push_back("menu:" + *reinterpret_cast<std::string*>(item));
        MyBaseFrame<Kind>::OnMenuCommand(item);  // frees the name (the leak checker watches)
    }
    bool AcceptsMessage(UINT msg, WPARAM, LPARAM) const override { return msg != refused; }

    std::vector<std::string> hooks;
    std::vector<UINT> received;  // messages from WM_USER on
    UINT refused = 0;
    bool keepClose = false;

  protected:
    LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
        if (msg >= WM_USER && msg != WM_MENUCLICK)
            received.push_back(msg);
        return MyBaseFrame<Kind>::HandleCustomMessage(msg, wParam, lParam, handled);
    }

  private:
    std::string m_layout;
};

class BaseFrameTest : public ClientUiTest {
  protected:
    void SetUp() override {
        ClientUiTest::SetUp();
        CBaseFrame::ResetMainMonitorDpiCache();
    }

    // Creates a frame (not shown); null when creation failed.
    template <int Kind>
    TestFrame<Kind>* Make(HWND owner = nullptr, int cx = 400, int cy = 300) {
        TestFrame<Kind>* frame = nullptr;
        EXPECT_TRUE(ui.Run([&] {
            frame = new TestFrame<Kind>(
                std::string(kFrameLayout)
                    .replace(kFrameLayoutSizeAt, 7, std::to_string(cx) + "," + std::to_string(cy)));
            if (frame->Create(owner, "frame", WS_POPUP, 0) == nullptr)
                frame = nullptr;  // it deleted itself on its final message
        }));
        return frame;
    }
    bool Alive(HWND hwnd) {
        return automation.Call<bool>([&] { return IsWindow(hwnd) != FALSE; }).value();
    }

    static constexpr std::size_t kFrameLayoutSizeAt = 53;  // "400,300" in kFrameLayout
};

TEST_F(BaseFrameTest, EscapeClosesWithCodeOneUnlessTheFrameKeepsEscape) {
    ASSERT_EQ(std::string(kFrameLayout).substr(kFrameLayoutSizeAt, 7), "400,300");
    auto* frame = Make<0>();
    ASSERT_NE(frame, nullptr);
    const HWND hwnd = frame->GetHWND();
    std::atomic<int> result{-1};
    ui.Post([&] { result = static_cast<int>(frame->DoModal()); });
    ASSERT_TRUE(automation.WaitForWindow([hwnd](HWND h) { return h == hwnd; }));
    ASSERT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
    EXPECT_EQ(result.load(), 1);
    EXPECT_FALSE(Alive(hwnd));

    auto* keeper = Make<1>();
    ASSERT_NE(keeper, nullptr);
    const HWND kept = keeper->GetHWND();
    ui.Run([&] {
        keeper->SetFlags(CBaseFrame::kFlagNoEscape);
        keeper->ShowFrame(true);
    });
    ASSERT_TRUE(automation.PressKey(kept, VK_ESCAPE));
    EXPECT_TRUE(automation.IsVisible(kept));
}

TEST_F(BaseFrameTest, NoSysCloseFlagIgnoresTheSystemCloseButNotTheCloseButton) {
    auto* frame = Make<1>();
    ASSERT_NE(frame, nullptr);
    const HWND hwnd = frame->GetHWND();
    ui.Run([&] { frame->SetFlags(CBaseFrame::kFlagNoSysClose); });
    std::atomic<int> result{-1};
    ui.Post([&] { result = static_cast<int>(frame->DoModal()); });
    ASSERT_TRUE(automation.WaitForWindow([hwnd](HWND h) { return h == hwnd; }));
    ui.Run([&] { SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_TRUE(Alive(hwnd));
    EXPECT_EQ(result.load(), -1);
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
    EXPECT_EQ(result.load(), 1);
    EXPECT_FALSE(Alive(hwnd));
}

TEST_F(BaseFrameTest, EverySystemCommandIsSwallowedWithFlag0x10) {
    auto* frame = Make<0>();
    const HWND hwnd = frame->GetHWND();
    ui.Run([&] {
        frame->ShowFrame(true);
        frame->SetFlags(CBaseFrame::kFlagNoSysCommand);
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        EXPECT_FALSE(IsZoomed(hwnd));
        SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(IsWindow(hwnd));
        frame->ClearFlags(CBaseFrame::kFlagNoSysCommand);
        EXPECT_EQ(frame->GetFlags(), CBaseFrame::kDefaultFlags);
    });
    // The title-bar button sends the same command, now obeyed.
    ASSERT_TRUE(automation.Click(hwnd, "btnMax"));
    EXPECT_TRUE(automation.Call<bool>([&] { return IsZoomed(hwnd) != FALSE; }).value());
}

TEST_F(BaseFrameTest, SystemCloseIsKeptWhileAnotherTopFrameIsVisible) {
    auto* first = Make<1>();
    auto* second = Make<1>();
    const HWND one = first->GetHWND();
    const HWND two = second->GetHWND();
    ui.Run([&] {
        first->keepClose = true;
        CBaseFrame::RegisterTopFrame(first);
        CBaseFrame::RegisterTopFrame(second);
        CBaseFrame::RegisterTopFrame(second);  // once only
        EXPECT_EQ(CBaseFrame::TopFrames().size(), 2u);
        first->ShowFrame(true);
        second->ShowFrame(true);
        SendMessageW(one, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(IsWindow(one));
        // A frame that does not keep its close goes even so.
        SendMessageW(two, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_FALSE(IsWindow(two));
        EXPECT_EQ(CBaseFrame::TopFrames().size(), 1u);
        // Alone now, the first one closes.
        SendMessageW(one, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_FALSE(IsWindow(one));
        EXPECT_TRUE(CBaseFrame::TopFrames().empty());
    });
}

TEST_F(BaseFrameTest, CenterOnOwnerCentresAndKeepsTheWindowOnTheWorkArea) {
    auto* owner = Make<1>(nullptr, 600, 400);
    ASSERT_NE(owner, nullptr);
    auto* child = Make<0>(owner->GetHWND(), 200, 100);
    auto* wide = Make<0>(nullptr, 1500, 900);
    ASSERT_NE(wide, nullptr);
    ui.Run([&] {
        RECT rc;
        SetWindowPos(owner->GetHWND(), nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        child->CenterOnOwner();
        GetWindowRect(child->GetHWND(), &rc);
        EXPECT_EQ(rc.left, 100 + 300 - 100);
        EXPECT_EQ(rc.top, 100 + 200 - 50);
        EXPECT_EQ(rc.Width(), 200);
        // Owner near the right edge: the child is pulled back inside.
        SetWindowPos(owner->GetHWND(), nullptr, 1100, 600, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        child->CenterOnOwner();
        GetWindowRect(child->GetHWND(), &rc);
        EXPECT_EQ(rc.right, 1280);
        EXPECT_EQ(rc.bottom, 760);
        // Wider and taller than the work area: at its left and top edges.
        wide->CenterOnOwner();
        GetWindowRect(wide->GetHWND(), &rc);
        EXPECT_EQ(rc.left, 0);
        EXPECT_EQ(rc.top, 0);
        EXPECT_EQ(rc.Width(), 1500);
    });
}

TEST_F(BaseFrameTest, HighDpiStartsAbove167AndIsReadOncePerProcess) {
    auto* frame = Make<1>();
    ui.Run([&] {
        auto screen = clienttest::TestScreen();
        screen.dpi = 168;
        SetMainScreen(screen);
        EXPECT_TRUE(frame->IsHighDpi());
        screen.dpi = 167;
        SetMainScreen(screen);
        EXPECT_TRUE(frame->IsHighDpi());  // still the value read first
        CBaseFrame::ResetMainMonitorDpiCache();
        EXPECT_FALSE(frame->IsHighDpi());
        SetMainScreen(clienttest::TestScreen());
    });
}

TEST_F(BaseFrameTest, NotificationsReachTheirHooksAndOthersTheLibraryUnchanged) {
    auto* frame = Make<1>();
    const HWND hwnd = frame->GetHWND();
    ui.Run([&] {
        EXPECT_FALSE(frame->IsInitialised());
        frame->ShowFrame(true);
        EXPECT_TRUE(frame->IsInitialised());
        frame->SendNotifyByName("opt", DUI_MSGTYPE_SELECTCHANGED);
        frame->SendNotifyByName("opt", DUI_MSGTYPE_ITEMSELECT);
        // "itemclick" from the close button is no click: the library's
        // handling ignores it and the frame stays.
        frame->SendNotifyByName("btnClose", DUI_MSGTYPE_ITEMCLICK);
        EXPECT_EQ(frame->hooks, (std::vector<std::string>{"selectchanged:opt", "itemselect:opt"}));
        EXPECT_TRUE(frame->SelectTab(1, "tabs", true));
        EXPECT_EQ(frame->GetTabSelection("tabs"), 1);
        EXPECT_FALSE(frame->SelectTab(5, "tabs", false));
        EXPECT_EQ(frame->GetTabSelection("missing"), -1);
        // Typed lookups: of the kind (or deriving from it), else null.
        EXPECT_EQ(frame->FindControl<COptionUI>("opt"), frame->FindControl("opt"));
        EXPECT_NE(frame->FindControl<CButtonUI>("opt"), nullptr);
        EXPECT_EQ(frame->FindControl<COptionUI>("btnClose"), nullptr);
        EXPECT_EQ(frame->FindControl<COptionUI>("missing"), nullptr);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_TRUE(Alive(hwnd));
}

TEST_F(BaseFrameTest, DoModalOfBothKindsReturnsTheCloseCode) {
    auto* visibilityKind = Make<0>();
    auto* existenceKind = Make<1>();
    const HWND zero = visibilityKind->GetHWND();
    const HWND one = existenceKind->GetHWND();
    std::atomic<int> result0{-1};
    std::atomic<int> result1{-1};
    ui.Post([&] { result0 = static_cast<int>(visibilityKind->DoModal()); });
    ASSERT_TRUE(automation.WaitForWindow([zero](HWND h) { return h == zero; }));
    ASSERT_TRUE(automation.Run([&] { PostMessageW(zero, WM_CLOSE, 5, 0); }));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(result0.load(), 5);
    EXPECT_FALSE(Alive(zero));  // closed after the loop since it was still visible

    ui.Post([&] { result1 = static_cast<int>(existenceKind->DoModal()); });
    ASSERT_TRUE(automation.WaitForWindow([one](HWND h) { return h == one; }));
    ASSERT_TRUE(automation.Run([&] { PostMessageW(one, WM_CLOSE, 9, 0); }));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(result1.load(), 9);
    EXPECT_FALSE(Alive(one));
}

TEST_F(BaseFrameTest, ModalRunDisablesTheOwnerAndEndsWhenTheOwnerIsClosed) {
    auto* owner = Make<1>();
    const HWND ownerWnd = owner->GetHWND();
    auto* dialog = Make<0>(ownerWnd);
    const HWND dialogWnd = dialog->GetHWND();
    ui.Run([&] { owner->ShowFrame(true); });
    std::atomic<int> result{-1};
    ui.Post([&] { result = static_cast<int>(dialog->DoModal()); });
    ASSERT_TRUE(automation.WaitForWindow([dialogWnd](HWND h) { return h == dialogWnd; }));
    EXPECT_FALSE(automation.IsEnabled(ownerWnd));
    ASSERT_TRUE(automation.Call<bool>([&] { return dialog->DisabledParents().size() == 1; }).value());
    // The owner is told to close while the dialog runs: the run ends with 0,
    // the dialog goes and gives the owner back, then the owner closes.
    ASSERT_TRUE(automation.Run([&] { PostMessageW(ownerWnd, WM_CLOSE, 0, 0); }));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(Alive(dialogWnd));
    EXPECT_FALSE(Alive(ownerWnd));
}

TEST_F(BaseFrameTest, AnOwningFrameDisabledByShowingIsEnabledAgainOnClose) {
    auto* owner = Make<1>();
    auto* frame = Make<1>();  // no owner window: the relation is the frames' own
    const HWND ownerWnd = owner->GetHWND();
    const HWND frameWnd = frame->GetHWND();
    ui.Run([&] {
        frame->SetOwner(owner, true);
        owner->ShowFrame(true);
        frame->ShowFrame(true);
        EXPECT_FALSE(IsWindowEnabled(ownerWnd));
    });
    ASSERT_TRUE(automation.Click(frameWnd, "btnClose"));
    EXPECT_FALSE(Alive(frameWnd));
    EXPECT_TRUE(automation.IsEnabled(ownerWnd));
    ui.Run([&] { EXPECT_TRUE(owner->Children().empty()); });
}

TEST_F(BaseFrameTest, HidingAFrameClosesItsVisibleChildren) {
    auto* parent = Make<1>();
    auto* shown = Make<1>();
    auto* hidden = Make<1>();
    const HWND shownWnd = shown->GetHWND();
    const HWND hiddenWnd = hidden->GetHWND();
    ui.Run([&] {
        shown->SetOwner(parent, true);
        hidden->SetOwner(parent, true);
        parent->AddChild(shown, true);  // once only
        EXPECT_EQ(parent->Children().size(), 2u);
        EXPECT_EQ(shown->GetOwner(), parent);
        parent->ShowFrame(true);
        shown->ShowFrame(true);
        parent->ShowFrame(false);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_FALSE(Alive(shownWnd));
    EXPECT_TRUE(Alive(hiddenWnd));
    ui.Run([&] {
        // The closed child detached itself; the remaining one goes with the parent.
        EXPECT_EQ(parent->Children(), std::vector<CBaseFrame*>{hidden});
        parent->DestroyFrame();
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_FALSE(Alive(hiddenWnd));
}

TEST_F(BaseFrameTest, BroadcastReachesEveryChildThatAcceptsTheMessageWhateverTheFrameSays) {
    constexpr UINT kBroadcast = WM_USER + 300;
    auto* parent = Make<1>();
    auto* taker = Make<1>();
    auto* refuser = Make<1>();
    ui.Run([&] {
        taker->SetOwner(parent, true);
        refuser->SetOwner(parent, true);
        refuser->refused = kBroadcast;
        parent->BroadcastToChildren(kBroadcast, 0, 0);
        // The frame refusing the message itself does not keep it from its children.
        parent->refused = kBroadcast;
        parent->BroadcastToChildren(kBroadcast, 0, 0);
        EXPECT_EQ(taker->received, (std::vector<UINT>{kBroadcast, kBroadcast}));
        EXPECT_TRUE(refuser->received.empty());
        EXPECT_TRUE(parent->received.empty());
        parent->DestroyFrame();
    });
}

TEST_F(BaseFrameTest, UnregisteringAllWithCloseDestroysEveryTopFrame) {
    std::vector<HWND> windows;
    for (int i = 0; i < 3; ++i) {
        auto* frame = Make<1>();
        windows.push_back(frame->GetHWND());
        ui.Run([&] { CBaseFrame::RegisterTopFrame(frame); });
    }
    ui.Run([&] {
        CBaseFrame::UnregisterTopFrame(nullptr, false);  // nothing without close
        EXPECT_EQ(CBaseFrame::TopFrames().size(), 3u);
        CBaseFrame::UnregisterTopFrame(nullptr, true);
        EXPECT_TRUE(CBaseFrame::TopFrames().empty());
        for (HWND hwnd : windows)
            EXPECT_FALSE(IsWindow(hwnd));
    });
}

TEST_F(BaseFrameTest, PopupMenuReplacesThePreviousOneAndStaysOnScreenForTheOffset) {
    auto* frame = Make<1>();
    ui.Run([&] {
        frame->ShowFrame(true);
        frame->SetMenuOffset(100);
        const POINT at{30, 40};
        ASSERT_TRUE(frame->ShowPopupMenu("Form_Menu.xml", &at, 2));
        CMenuWnd* first = frame->GetPopupMenu();
        const HWND firstWnd = first->GetHWND();
        RECT rc;
        GetWindowRect(firstWnd, &rc);
        EXPECT_EQ(rc.left, 0);  // 30 - 100, kept at 0
        EXPECT_EQ(CMenuWnd::GetGlobalContextMenuObserver().GetMenuCheckInfo(), &frame->MenuItems());
        const POINT at2{300, 40};
        ASSERT_TRUE(frame->ShowPopupMenu("Form_Menu.xml", &at2, 0));
        EXPECT_FALSE(IsWindow(firstWnd));
        GetWindowRect(frame->GetPopupMenu()->GetHWND(), &rc);
        EXPECT_EQ(rc.left, 250);
    });
    const HWND menu = automation.Call<HWND>([&] { return frame->GetPopupMenu()->GetHWND(); }).value();
    ASSERT_TRUE(automation.Click(menu, "menuAbout"));
    ui.Run([&] { EXPECT_EQ(frame->hooks, std::vector<std::string>{"menu:menuAbout"}); });
}

}  // namespace
