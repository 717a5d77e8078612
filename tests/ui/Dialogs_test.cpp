// Windows built from layouts, driven through the automation: modal results,
// notifications of clicks, typing and keys, menus, control timers, and the
// refusals a user would meet.
#include "SkinDialog.h"
#include "TestScreen.h"
#include "TestWindow.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIMenuUI.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UiThread.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace DuiLib;
using uitest::SkinDialog;
using uitest::TestScreen;

namespace {

constexpr const char* kDialogLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="400,360" caption="0,0,0,30">
  <VerticalLayout>
    <HorizontalLayout height="40">
      <Option name="opt1" group="tabs" selected="true" width="80"/>
      <Option name="opt2" group="tabs" width="80"/>
      <Option name="opt3" group="tabs" width="80"/>
      <Option name="loose" width="80"/>
    </HorizontalLayout>
    <Edit name="editPhone" height="30" maxchar="11" numberonly="true"/>
    <Edit name="editName" height="30" maxchar="4"/>
    <Button name="btnOk" text="OK" height="30"/>
    <Button name="btnHidden" visible="false" height="30"/>
    <Button name="btnOff" enabled="false" height="30"/>
    <Button name="btnMenu" height="30"/>
    <Label name="lbl" text="hello" height="30"/>
    <TimerProbe name="probe" height="10"/>
  </VerticalLayout>
</Window>)";

constexpr const char* kMenuLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="120,60">
  <Menu>
    <MenuElement name="menuAbout" height="30"><Label text="About"/></MenuElement>
    <MenuElement name="menuExit" height="30"/>
  </Menu>
</Window>)";

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Write("dlg_test.xml", kDialogLayout);
        Write("menu_test.xml", kMenuLayout);
    }
    void Write(const std::string& name, const std::string& text) { vtest::WriteFile(Folder() + name, text); }
    // The test skin folder.
    std::string Folder() const { return sandbox.Root() + "/"; }

    // Creates the test dialog (not shown) owned by `owner`.
    SkinDialog* MakeDialog(HWND owner = nullptr, const std::string& file = "dlg_test.xml") {
        SkinDialog* dlg = nullptr;
        EXPECT_TRUE(ui.Run([&] {
            dlg = new SkinDialog(Folder(), file);
            dlg->deleteSelf = true;
            if (dlg->Create(owner, "", UI_WNDSTYLE_DIALOG, 0) == nullptr)
                dlg = nullptr;  // deleted itself on its final message
        }));
        return dlg;
    }

    vtest::Sandbox sandbox;
    UiThread ui{UiThread::Options{.screen = TestScreen()}};
    Automation automation;
};

TEST_F(DialogsTest, LayoutSizesTheWindowAndWindowInitComesOnceAtFirstShow) {
    SkinDialog* dlg = MakeDialog();
    ASSERT_NE(dlg, nullptr);
    HWND hwnd = dlg->GetHWND();
    EXPECT_EQ(automation.FindByLayout("DLG_TEST.xml"), hwnd);
    EXPECT_EQ(automation.FindByClass("vantodialogclass"), hwnd);
    EXPECT_EQ(automation.FindByLayout("other.xml"), nullptr);
    ui.Run([&] {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        EXPECT_EQ(rc.Width(), 400);
        EXPECT_EQ(rc.Height(), 360);
        EXPECT_EQ(dlg->inits, 1);
        EXPECT_EQ(dlg->Count("windowinit:"), 0);  // not shown yet
        EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & static_cast<long>(WS_CAPTION), 0);
        dlg->ShowWindow(true);
        dlg->ShowWindow(false);
        dlg->ShowWindow(true);
        EXPECT_EQ(dlg->Count("windowinit:"), 1);
        EXPECT_EQ(dlg->notes.front(), "windowinit:");
    });
}

TEST_F(DialogsTest, BrokenLayoutFailsCreationInsteadOfGivingAnEmptyWindow) {
    Write("broken.xml", "<Window size=\"10,10\"><VerticalLayout>");
    EXPECT_EQ(MakeDialog(nullptr, "broken.xml"), nullptr);
    EXPECT_EQ(MakeDialog(nullptr, "missing.xml"), nullptr);
    EXPECT_TRUE(automation.Windows().empty());
}

TEST_F(DialogsTest, DeletingTheObjectTakesItsLiveWindowWithIt) {
    SkinDialog* dlg = MakeDialog();
    ASSERT_NE(dlg, nullptr);
    HWND hwnd = dlg->GetHWND();
    ui.Run([&] {
        dlg->deleteSelf = false;
        dlg->ShowWindow();
        dlg->m_pm.SetTimer(dlg->probe, 1, 50);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);  // still queued when the object goes
        delete dlg;
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(GetActiveWindow(), nullptr);
    });
    // Nothing left reaches the deleted object (ASan watches).
    EXPECT_TRUE(automation.AdvanceClock(200));
}

// A message filter that belongs to the derived part of a window: it is
// registered once the window is built and removed when the window is
// destroyed, as a window's own helpers are.
struct CountingFilter : IMessageFilterUI {
    LRESULT MessageHandler(UINT, WPARAM, LPARAM, bool&) override {
        ++seen;
        return 0;
    }
    int seen = 0;
};

class FilteringDialog : public SkinDialog {
  public:
    using SkinDialog::SkinDialog;
    void Init() override { m_pm.AddMessageFilter(filter.get()); }
    std::unique_ptr<CountingFilter> filter = std::make_unique<CountingFilter>();

  protected:
    LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
        m_pm.RemoveMessageFilter(filter.get());
        return SkinDialog::OnDestroy(msg, wParam, lParam, handled);
    }
};

class FilteringMenu : public CMenuWnd {
  public:
    std::unique_ptr<CountingFilter> filter = std::make_unique<CountingFilter>();

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_DESTROY)
            GetPaintManager().RemoveMessageFilter(filter.get());
        return CMenuWnd::HandleMessage(msg, wParam, lParam);
    }
};

TEST_F(DialogsTest, DeletingALiveWindowOfADerivedClassReachesNoneOfItsDestroyedParts) {
    // The derived part (and its filter) is gone before the base destroys the
    // window: no message of that destruction may reach the object.
    ui.Run([&] {
        auto* dlg = new FilteringDialog(Folder(), "dlg_test.xml");
        const HWND hwnd = dlg->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0);
        ASSERT_NE(hwnd, nullptr);
        dlg->ShowWindow();
        auto* menu = new FilteringMenu;
        ASSERT_TRUE(menu->Init(nullptr, "menu_test.xml", POINT{10, 10}, &dlg->m_pm));
        menu->GetPaintManager().AddMessageFilter(menu->filter.get());
        const HWND menuWnd = menu->GetHWND();
        delete menu;
        EXPECT_FALSE(IsWindow(menuWnd));
        delete dlg;
        EXPECT_FALSE(IsWindow(hwnd));
    });
    ASSERT_TRUE(automation.RunUntilIdle());
}

TEST_F(DialogsTest, ModalDialogClosedByItsButtonReturnsTheCodeAndReenablesTheOwner) {
    uitest::TestWindow* owner = nullptr;
    ui.Run([&] {
        owner = new uitest::TestWindow("Owner");
        owner->deleteOnFinal = true;
        owner->Create(nullptr, "owner", WS_POPUP | WS_VISIBLE, 0, 0, 0, 800, 600);
    });
    SkinDialog* dlg = MakeDialog(owner->GetHWND());
    ASSERT_NE(dlg, nullptr);
    ui.Run([&] {
        dlg->onClick = [dlg](TNotifyUI& msg) {
            if (msg.pSender->GetName() == "btnOk")
                dlg->Close(IDYES);
        };
        dlg->CenterWindow();
    });
    std::atomic<int> result{-1};
    ui.Post([&] { result = static_cast<int>(dlg->ShowModal()); });
    HWND hwnd = automation.WaitForLayout("dlg_test.xml");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(automation.IsEnabled(owner->GetHWND()));
    // The owner is disabled: a user cannot click into it.
    EXPECT_FALSE(automation.PressKey(owner->GetHWND(), VK_ESCAPE));
    EXPECT_TRUE(automation.Click(hwnd, "btnOk"));
    EXPECT_EQ(result.load(), IDYES);
    EXPECT_FALSE(automation.Call<bool>([&] { return IsWindow(hwnd) != FALSE; }).value());
    EXPECT_TRUE(automation.IsEnabled(owner->GetHWND()));
    EXPECT_EQ(automation.Call<HWND>([] { return GetFocus(); }).value(), owner->GetHWND());
}

TEST_F(DialogsTest, OptionGroupRaisesSelectChangedForEachChangedOption) {
    SkinDialog* dlg = MakeDialog();
    HWND hwnd = dlg->GetHWND();
    ui.Run([&] {
        dlg->ShowWindow();
        dlg->notes.clear();
    });
    ASSERT_TRUE(automation.Click(hwnd, "opt2"));
    EXPECT_EQ(automation.IsSelected(hwnd, "opt2"), true);
    EXPECT_EQ(automation.IsSelected(hwnd, "opt1"), false);
    EXPECT_EQ(automation.IsSelected(hwnd, "btnOk"), std::nullopt);
    ui.Run([&] {
        EXPECT_EQ(dlg->Count("click:opt2"), 1);
        EXPECT_EQ(dlg->Count("selectchanged:opt2"), 1);
        EXPECT_EQ(dlg->Count("selectchanged:opt1"), 1);
        EXPECT_EQ(dlg->notes.front(), "click:opt2");
        auto* opt1 = static_cast<COptionUI*>(dlg->m_pm.FindControl("opt1"));
        auto* opt2 = static_cast<COptionUI*>(dlg->m_pm.FindControl("opt2"));
        EXPECT_FALSE(opt1->IsSelected());
        EXPECT_TRUE(opt2->IsSelected());
        dlg->notes.clear();
    });
    // A selected grouped option stays selected when clicked again.
    ASSERT_TRUE(automation.Click(hwnd, "opt2"));
    ui.Run([&] {
        EXPECT_EQ(dlg->notes, (std::vector<std::string>{"click:opt2"}));
        dlg->notes.clear();
        // From code, exactly as a click's selection.
        EXPECT_TRUE(dlg->CheckDlgButton("opt3", true));
        EXPECT_EQ(dlg->Count("selectchanged:opt3"), 1);
        EXPECT_EQ(dlg->Count("selectchanged:opt2"), 1);
        EXPECT_EQ(dlg->Count("click:opt3"), 0);
        EXPECT_FALSE(dlg->CheckDlgButton("btnOk", true));  // not an option
    });
}

TEST_F(DialogsTest, UserActionsAreRefusedWhereAUserCouldNotAct) {
    SkinDialog* dlg = MakeDialog();
    HWND hwnd = dlg->GetHWND();
    EXPECT_FALSE(automation.Click(hwnd, "btnOk"));  // window not shown
    ui.Run([&] {
        dlg->ShowWindow();
        dlg->notes.clear();
    });
    EXPECT_FALSE(automation.Click(hwnd, "btnHidden"));
    EXPECT_FALSE(automation.Click(hwnd, "btnOff"));
    EXPECT_FALSE(automation.Click(hwnd, "noSuchControl"));
    EXPECT_FALSE(automation.Type(hwnd, "lbl", "x"));  // not an edit
    ui.Run([&] { EnableWindow(hwnd, FALSE); });
    EXPECT_FALSE(automation.Click(hwnd, "btnOk"));
    EXPECT_FALSE(automation.Type(hwnd, "editName", "x"));
    EXPECT_FALSE(automation.PressKey(hwnd, VK_RETURN));
    // A click posted anyway does not reach the controls of a disabled window.
    ui.Run([&] {
        const RECT rc = dlg->GetControlRect("btnOk");
        PostMessageW(hwnd, WM_LBUTTONDOWN, 1, MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2));
        PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2));
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_TRUE(dlg->notes.empty());
        EnableWindow(hwnd, TRUE);
    });
    EXPECT_TRUE(automation.Click(hwnd, "btnOk"));
    ui.Run([&] { EXPECT_EQ(dlg->notes, (std::vector<std::string>{"click:btnOk"})); });
}

TEST_F(DialogsTest, AControlPickedFromTheTreeIsClickedAsOneNamedIs) {
    SkinDialog* dlg = MakeDialog();
    HWND hwnd = dlg->GetHWND();
    ui.Run([&] {
        dlg->ShowWindow();
        dlg->notes.clear();
    });
    EXPECT_FALSE(automation.Click(hwnd, [](CPaintManagerUI&) -> CControlUI* { return nullptr; }));
    EXPECT_FALSE(automation.Click(hwnd, [](CPaintManagerUI& m) { return m.FindControl("btnHidden"); }));
    // A control of no window's tree is not this window's to click.
    CControlUI stray;
    EXPECT_FALSE(automation.Click(hwnd, [&](CPaintManagerUI&) { return &stray; }));
    EXPECT_TRUE(automation.Click(hwnd, [](CPaintManagerUI& m) { return m.FindControl("btnOk"); }));
    ui.Run([&] { EXPECT_EQ(dlg->notes, (std::vector<std::string>{"click:btnOk"})); });
}

TEST_F(DialogsTest, MissingControlLookupsDoNothing) {
    SkinDialog* dlg = MakeDialog();
    ui.Run([&] {
        EXPECT_EQ(dlg->m_pm.FindControl("nope"), nullptr);
        EXPECT_FALSE(dlg->SetDlgItemTextW("nope", "x"));
        EXPECT_EQ(dlg->GetDlgItemTextW("nope"), "");
        EXPECT_FALSE(dlg->ShowWindow("nope", false));
        EXPECT_FALSE(dlg->EnableWindow("nope", false));
        EXPECT_FALSE(dlg->CheckDlgButton("nope", true));
        EXPECT_FALSE(dlg->SetFocus("nope"));
        EXPECT_FALSE(dlg->SetControlWidth("nope", 5));
        EXPECT_EQ(dlg->GetControlRect("nope"), RECT{});
        // The window itself is untouched by them.
        EXPECT_TRUE(IsWindow(*dlg));
        EXPECT_TRUE(dlg->SetDlgItemTextW("lbl", "changed"));
        EXPECT_EQ(dlg->GetDlgItemTextW("lbl"), "changed");
        // The name-taking ShowWindow is chosen for a literal name.
        EXPECT_TRUE(dlg->ShowWindow("lbl", false));
        EXPECT_FALSE(dlg->m_pm.FindControl("lbl")->IsVisible());
        EXPECT_FALSE(IsWindowVisible(*dlg));
    });
}

TEST_F(DialogsTest, TypingRespectsEditLimitsAndKeysGoToTheWindowFirst) {
    SkinDialog* dlg = MakeDialog();
    HWND hwnd = dlg->GetHWND();
    ui.Run([&] { dlg->ShowWindow(); });
    EXPECT_TRUE(automation.Type(hwnd, "editPhone", "138a-0013 80001234"));
    EXPECT_EQ(automation.Text(hwnd, "editPhone"), "13800138000");
    EXPECT_TRUE(automation.Type(hwnd, "editName", "张三李四王五"));
    EXPECT_EQ(automation.Text(hwnd, "editName"), "张三李四");
    // Return reaches the focused edit after the window's key handling let it pass.
    ui.Run([&] { dlg->notes.clear(); });
    EXPECT_TRUE(automation.PressKey(hwnd, VK_RETURN));
    ui.Run([&] { EXPECT_EQ(dlg->Count("return:editName"), 1); });
    // Escape is swallowed by default: the dialog stays.
    EXPECT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
    EXPECT_TRUE(automation.IsVisible(hwnd));
    // Tab moves the focus to the next control taking keys.
    ui.Run([&] {
        auto* name = dlg->m_pm.FindControl("editName");
        EXPECT_TRUE(name->IsFocused());
    });
    EXPECT_TRUE(automation.PressKey(hwnd, VK_TAB));
    ui.Run([&] { EXPECT_TRUE(dlg->m_pm.FindControl("btnOk")->IsFocused()); });
    // A window whose frame closes on Escape.
    ui.Run([&] { dlg->escapeCloses = true; });
    EXPECT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
    EXPECT_FALSE(automation.Call<bool>([&] { return IsWindow(hwnd) != FALSE; }).value());
}

TEST_F(DialogsTest, ControlTimersRunOnTheVirtualClockUntilKilled) {
    SkinDialog* dlg = MakeDialog();
    ASSERT_NE(dlg, nullptr);
    ui.Run([&] {
        ASSERT_NE(dlg->probe, nullptr);
        EXPECT_TRUE(dlg->m_pm.SetTimer(dlg->probe, 3, 100));
        EXPECT_TRUE(dlg->m_pm.SetTimer(dlg->probe, 4, 250));
    });
    ASSERT_TRUE(automation.AdvanceClock(300));
    ui.Run([&] {
        EXPECT_EQ(dlg->probe->ticks, (std::vector<WPARAM>{3, 3, 4, 3}));
        EXPECT_TRUE(dlg->m_pm.KillTimer(dlg->probe, 3));
        EXPECT_FALSE(dlg->m_pm.KillTimer(dlg->probe, 3));
        dlg->probe->ticks.clear();
    });
    ASSERT_TRUE(automation.AdvanceClock(500));
    ui.Run([&] { EXPECT_EQ(dlg->probe->ticks, (std::vector<WPARAM>{4, 4})); });
}

class MenuTest : public DialogsTest {
  protected:
    // Shows the dialog with a button that opens the test menu at (x, y).
    HWND ShowWithMenu(SkinDialog*& dlg, POINT at = {100, 100}) {
        dlg = MakeDialog();
        ui.Run([&] {
            SkinDialog* self = dlg;
            dlg->onClick = [self, at](TNotifyUI& msg) {
                if (msg.pSender->GetName() != "btnMenu")
                    return;
                self->menu = std::make_unique<CMenuWnd>();
                EXPECT_TRUE(self->menu->Init(nullptr, "menu_test.xml", at, &self->m_pm));
            };
            dlg->ShowWindow();
        });
        EXPECT_TRUE(automation.Click(dlg->GetHWND(), "btnMenu"));
        return automation.WaitForClass("MenuWnd");
    }
};

TEST_F(MenuTest, ChoosingAnItemPostsTheMenuMessageWithItsNameAndCloses) {
    SkinDialog* dlg = nullptr;
    HWND menu = ShowWithMenu(dlg);
    ASSERT_NE(menu, nullptr);
    ui.Run([&] {
        RECT rc;
        GetWindowRect(menu, &rc);
        EXPECT_EQ(rc, (RECT{100, 100, 220, 160}));
        EXPECT_EQ(GetWindowOwner(menu), dlg->GetHWND());
        EXPECT_EQ(GetFocus(), menu);
    });
    // The check states registered with the observer travel in lParam.
    MenuCheckInfo checks{{"menuAbout", true}};
    ui.Run([&] { CMenuWnd::GetGlobalContextMenuObserver().SetMenuCheckInfo(&checks); });
    // A click on the entry's label is a click on the entry.
    EXPECT_TRUE(automation.Click(menu, "menuAbout"));
    ui.Run([&] {
        CMenuWnd::GetGlobalContextMenuObserver().SetMenuCheckInfo(nullptr);
        EXPECT_EQ(dlg->menuChoices, (std::vector<std::string>{"menuAbout"}));
        EXPECT_EQ(dlg->menuChecks, (std::vector<LPARAM>{1}));
        EXPECT_FALSE(IsWindow(menu));
        EXPECT_EQ(GetActiveWindow(), dlg->GetHWND());
    });
}

TEST_F(MenuTest, MenuIsKeptOnTheWorkAreaAndClosesOnEscapeOrFocusLoss) {
    SkinDialog* dlg = nullptr;
    HWND menu = ShowWithMenu(dlg, POINT{1250, 740});
    ASSERT_NE(menu, nullptr);
    ui.Run([&] {
        RECT rc;
        GetWindowRect(menu, &rc);
        EXPECT_EQ(rc, (RECT{1160, 700, 1280, 760}));
    });
    EXPECT_TRUE(automation.PressKey(menu, VK_ESCAPE));
    EXPECT_FALSE(automation.Call<bool>([&] { return IsWindow(menu) != FALSE; }).value());

    ASSERT_TRUE(automation.Click(dlg->GetHWND(), "btnMenu"));
    menu = automation.WaitForClass("MenuWnd");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(automation.MoveFocusTo(dlg->GetHWND()));
    ui.Run([&] {
        EXPECT_FALSE(IsWindow(menu));
        EXPECT_TRUE(dlg->menuChoices.empty());
        // DestroyMenu on a closed menu does nothing; the object stays usable.
        dlg->menu->DestroyMenu();
    });
}

TEST_F(MenuTest, ItemNameIsFreedWhenTheOwnerIsGoneBeforeDelivery) {
    SkinDialog* dlg = nullptr;
    HWND menu = ShowWithMenu(dlg);
    ASSERT_NE(menu, nullptr);
    std::unique_ptr<CMenuWnd> keep;
    ui.Run([&] {
        keep = std::move(dlg->menu);
        // The click's message is queued, then the owner goes before it runs.
        CMenuElementUI* item = static_cast<CMenuElementUI*>(keep->GetPaintManager().FindControl("menuExit"));
        ASSERT_NE(item, nullptr);
        item->Activate();
        DestroyWindow(dlg->GetHWND());
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_FALSE(IsWindow(menu));  // owned windows go with their owner
        keep.reset();
    });
    // LeakSanitizer reports the name string if it was not freed.
}

TEST_F(DialogsTest, WaitForWindowSeesADialogShownInsideAnotherModalLoop) {
    SkinDialog* outer = MakeDialog();
    ASSERT_NE(outer, nullptr);
    Write(
        "dlg_inner.xml",
        R"(<Window size="200,100"><VerticalLayout><Button name="btnYes" height="30"/></VerticalLayout></Window>)");
    std::atomic<int> innerResult{-1};
    std::atomic<int> outerResult{-1};
    const std::string folder = Folder();
    ui.Run([&] {
        outer->onClick = [&, folder](TNotifyUI& msg) {
            if (msg.pSender->GetName() != "btnOk")
                return;
            auto* inner = new SkinDialog(folder, "dlg_inner.xml");
            inner->onClick = [inner](TNotifyUI&) { inner->Close(IDYES); };
            inner->Create(outer->GetHWND(), "", UI_WNDSTYLE_DIALOG, 0);
            innerResult = static_cast<int>(inner->ShowModal());
            delete inner;
            outer->Close(IDOK);
        };
    });
    ui.Post([&] { outerResult = static_cast<int>(outer->ShowModal()); });
    HWND outerHwnd = automation.WaitForLayout("dlg_test.xml");
    ASSERT_NE(outerHwnd, nullptr);
    EXPECT_TRUE(automation.Click(outerHwnd, "btnOk"));  // returns once the inner loop is idle
    // Nothing of this kind appears: the wait ends at its deadline.
    EXPECT_EQ(automation.WaitForWindow([](HWND h) { return GetClassNameW(h) == "NoSuchClass"; },
                                       std::chrono::milliseconds(50)),
              nullptr);
    HWND inner = automation.WaitForLayout("dlg_inner.xml");
    ASSERT_NE(inner, nullptr);
    EXPECT_FALSE(automation.IsEnabled(outerHwnd));
    EXPECT_TRUE(automation.Click(inner, "btnYes"));
    EXPECT_EQ(innerResult.load(), IDYES);
    EXPECT_EQ(outerResult.load(), IDOK);
}

}  // namespace
