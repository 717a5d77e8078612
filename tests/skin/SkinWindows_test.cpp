// The built-in skin's layouts as real (headless) windows of the UI library,
// driven through the automation as a user would: every layout opens as a
// window of its size, the main menu opens from the skin and names the chosen
// entry, the tab options act as one group, and typing into the login dialog
// meets the limits its layout sets.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SkinFixture.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIMenu.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinImplBase.h"
#include "platform/duilib/WinUser.h"

namespace {

using namespace DuiLib;

// A window built from one of the skin's layouts, recording what it is told.
// The test owns it and deletes it on the UI thread.
class SkinWindow : public WindowImplBase {
  public:
    explicit SkinWindow(std::string file) : m_file(std::move(file)) {}

    const char* GetWindowClassName() const override { return "VANTODialogClass"; }
    std::string GetSkinFile() override { return m_file; }

    std::vector<std::string> notes;  // "type:sender"
    std::vector<std::string> menuChoices;
    std::unique_ptr<CMenuWnd> menu;

    void Notify(TNotifyUI& msg) override {
        notes.push_back(msg.sType + ":" + (msg.pSender != nullptr ? msg.pSender->GetName() : std::string()));
        WindowImplBase::Notify(msg);
    }
    void OnClick(TNotifyUI& msg) override {
        if (msg.pSender->GetName() == "btnMenu") {
            // Below the button, as the main window opens its menu.
            const RECT button = msg.pSender->GetPos();
            POINT at{button.left, button.bottom + 5};
            ClientToScreen(GetHWND(), &at);
            menu = std::make_unique<CMenuWnd>();
            menu->Init(nullptr, "Form_Menu.xml", at, &m_pm);
        }
    }
    int Count(const std::string& note) const {
        int n = 0;
        for (const std::string& seen : notes) {
            n += seen == note ? 1 : 0;
        }
        return n;
    }

  protected:
    LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
        if (msg == WM_MENUCLICK) {
            auto* name = reinterpret_cast<std::string*>(wParam);
            menuChoices.push_back(*name);
            CPaintManagerUI::DeletePtr(name);
            return 0;
        }
        handled = false;
        return 0;
    }

  private:
    std::string m_file;
};

ScreenInfo TestScreen() {
    ScreenInfo screen;
    screen.monitor = {0, 0, 1280, 800};
    screen.workArea = {0, 0, 1280, 760};
    return screen;
}

class SkinWindowsTest : public skintest::SkinTest {
  protected:
    void TearDown() override {
        ui.Run([this] { m_windows.clear(); });
        SkinTest::TearDown();
    }

    // Creates and shows a window of `layout`; null when it cannot be built.
    SkinWindow* Open(const std::string& layout, bool show = true) {
        SkinWindow* window = nullptr;
        EXPECT_TRUE(ui.Run([&] {
            auto created = std::make_unique<SkinWindow>(layout);
            if (created->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0) == nullptr) {
                return;
            }
            if (show) {
                created->ShowWindow(true);
            }
            window = created.get();
            m_windows.push_back(std::move(created));
        }));
        return window;
    }

    UiThread ui{UiThread::Options{.screen = TestScreen()}};
    Automation automation;

  private:
    std::vector<std::unique_ptr<SkinWindow>> m_windows;
};

TEST_F(SkinWindowsTest, EveryLayoutOpensAsAWindowOfItsSize) {
    for (const skintest::LayoutInfo& info : skintest::AllLayouts()) {
        if (std::string(info.file) == "Form_Menu.xml") {
            continue;  // a menu's layout; the menu test opens it
        }
        SCOPED_TRACE(info.file);
        SkinWindow* window = Open(info.file, false);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(automation.FindByLayout(info.file), window->GetHWND());
        ui.Run([&] {
            RECT rc;
            GetWindowRect(window->GetHWND(), &rc);
            EXPECT_EQ(rc.Width(), info.width);
            EXPECT_EQ(rc.Height(), info.height);
        });
    }
}

TEST_F(SkinWindowsTest, MainMenuOpensBelowItsButtonAndNamesTheChosenEntry) {
    SkinWindow* main = Open("Form_Main.xml");
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(automation.Click(main->GetHWND(), "btnMenu"));
    HWND menu = automation.WaitForClass("MenuWnd");
    ASSERT_NE(menu, nullptr);
    ui.Run([&] {
        RECT rc;
        GetWindowRect(menu, &rc);
        EXPECT_EQ(rc.Width(), 132);
        EXPECT_EQ(rc.Height(), 104);
        RECT button = main->GetControlRect("btnMenu");
        POINT corner{button.left, button.bottom + 5};
        ClientToScreen(main->GetHWND(), &corner);
        EXPECT_EQ(rc.left, corner.x);
        EXPECT_EQ(rc.top, corner.y);
    });
    ASSERT_TRUE(automation.Click(menu, "menuFeedback"));
    ui.Run([&] {
        EXPECT_EQ(main->menuChoices, (std::vector<std::string>{"menuFeedback"}));
        EXPECT_FALSE(IsWindow(menu));
    });
}

TEST_F(SkinWindowsTest, TabOptionsActAsOneGroupAndHiddenTabsCannotBeChosen) {
    SkinWindow* main = Open("Form_Main.xml");
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(automation.Click(main->GetHWND(), "Option03"));
    ASSERT_TRUE(automation.Click(main->GetHWND(), "Option01"));
    EXPECT_FALSE(automation.Click(main->GetHWND(), "Option05"));  // hidden until a login
    ui.Run([&] {
        EXPECT_EQ(main->Count("selectchanged:Option03"), 2);  // chosen, then left
        EXPECT_EQ(main->Count("selectchanged:Option01"), 1);
        EXPECT_EQ(main->Count("selectchanged:Option05"), 0);
        auto* first = static_cast<COptionUI*>(main->m_pm.FindControl("Option01"));
        auto* third = static_cast<COptionUI*>(main->m_pm.FindControl("Option03"));
        ASSERT_NE(first, nullptr);
        ASSERT_NE(third, nullptr);
        EXPECT_TRUE(first->IsSelected());
        EXPECT_FALSE(third->IsSelected());
    });
}

TEST_F(SkinWindowsTest, LoginDialogTypingKeepsToTheLayoutsLimits) {
    SkinWindow* login = Open("dlg_reg.xml");
    ASSERT_NE(login, nullptr);
    HWND hwnd = login->GetHWND();
    ASSERT_TRUE(automation.Type(hwnd, "userMobile", "138a0013-8000 999"));
    ASSERT_TRUE(automation.Type(hwnd, "verifyCode", "12x3456789"));
    // The login button stays refused until a code was sent.
    EXPECT_FALSE(automation.Click(hwnd, "btnMobileLogin"));
    ui.Run([&] {
        EXPECT_EQ(login->GetDlgItemTextW("userMobile"), "13800138000");
        EXPECT_EQ(login->GetDlgItemTextW("verifyCode"), "123456");
        EXPECT_EQ(login->Count("click:btnMobileLogin"), 0);
    });
    EXPECT_TRUE(automation.Click(hwnd, "btnSendVeryfyCode"));
    ui.Run([&] { EXPECT_EQ(login->Count("click:btnSendVeryfyCode"), 1); });
}

}  // namespace
