// The about box, the focus-losing pop-up and OpenUrl, driven headless with
// real processes standing in for the desktop's opener and browsers.
#include "ClientUi.h"
#include "config/OemConfig.h"
#include "config/Settings.h"
#include "platform/os/Registry.h"
#include "ui/AboutDlg.h"
#include "ui/FloatWnd.h"
#include "ui/OpenUrl.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace DuiLib;
using clienttest::ClientUiTest;

namespace {

// ---- about box -----------------------------------------------------------------

class AboutDlgTest : public ClientUiTest {
  protected:
    void TearDown() override {
        COemConfig::Instance().Load(sandbox.Root() + "/none.ini");  // back to the defaults
        ClientUiTest::TearDown();
    }
    void LoadOem(const std::string& text) {
        const std::string path = sandbox.ProgramDir() + "/oem.ini";
        vtest::WriteFile(path, text);
        COemConfig::Instance().Load(path);
    }
    // Opens the about box as the main window does; the box deletes itself.
    HWND Open(std::atomic<int>& result) {
        ui.Post([&result] {
            auto* about = new CAboutDlg;  // deletes itself when its window goes
            if (about->Create(nullptr, "", 0x100, 0x100) == nullptr)
                return;
            about->CenterWindow();
            result = static_cast<int>(about->ShowModal());
        });
        return automation.WaitForLayout("dlg_about.xml");
    }
};

TEST_F(AboutDlgTest, ShowsTheInstalledVersionAndTheCompanyLinesByDefault) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kVersion, "2.3.1.0"));
    LoadOem("[Partner]\nHideCompanyInfo=0\n");
    std::atomic<int> result{-1};
    const HWND hwnd = Open(result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(automation.Text(hwnd, "LabelVersion"), "2.3.1.0");
    for (const char* name : {"labelSite", "buttonSite", "CompanyName"})
        EXPECT_EQ(automation.IsControlVisible(hwnd, name), true) << name;
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(automation.Windows().empty());
}

TEST_F(AboutDlgTest, HideCompanyInfoLeavesOnlyTheVersion) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kVersion, "2.3.1.0"));
    LoadOem("[Partner]\nHideCompanyInfo=2\n");
    std::atomic<int> result{-1};
    const HWND hwnd = Open(result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(automation.Text(hwnd, "LabelVersion"), "2.3.1.0");
    for (const char* name : {"labelSite", "buttonSite", "CompanyName"})
        EXPECT_EQ(automation.IsControlVisible(hwnd, name), false) << name;
    // A hidden control cannot be clicked.
    EXPECT_FALSE(automation.Click(hwnd, "buttonSite"));
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
}

TEST_F(AboutDlgTest, SiteButtonOpensItsTextAndTheBoxStays) {
    Fake("xdg-open");
    std::atomic<int> result{-1};
    const HWND hwnd = Open(result);
    ASSERT_NE(hwnd, nullptr);
    const std::string site = automation.Text(hwnd, "buttonSite").value_or("");
    ASSERT_FALSE(site.empty());
    ASSERT_TRUE(automation.Click(hwnd, "buttonSite"));
    EXPECT_EQ(Recorded("xdg-open"), "arg:" + site + "\n");
    EXPECT_TRUE(automation.IsVisible(hwnd));
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
}

// ---- OpenUrl ---------------------------------------------------------------------

using OpenUrlTest = ClientUiTest;

TEST_F(OpenUrlTest, FallsBackToTheBrowserCommandsInOrderWhenTheShellCannotOpen) {
    const std::string url = "http://127.0.0.1:9/page?a=1&b=2";
    FakeBin();
    EXPECT_FALSE(OpenUrl(nullptr, url));  // no opener and no browser at all

    Fake("sensible-browser");
    EXPECT_TRUE(OpenUrl(nullptr, url));
    EXPECT_EQ(Recorded("sensible-browser"), "arg:" + url + "\n");

    Fake("x-www-browser");
    EXPECT_TRUE(OpenUrl(nullptr, url));
    EXPECT_EQ(Recorded("x-www-browser"), "arg:" + url + "\n");

    Fake("xdg-open");
    EXPECT_TRUE(OpenUrl(nullptr, url));
    EXPECT_EQ(Recorded("xdg-open"), "arg:" + url + "\n");
    EXPECT_FALSE(OpenUrl(nullptr, ""));
}

TEST_F(OpenUrlTest, EveryStepGetsTheAddressAsExactlyOneArgumentAndNeverAnOption) {
    // Quotes that would end a quoted parameter text, spaces, and an option
    // between them.
    const std::string url = "http://127.0.0.1:9/a\" --user-data-dir=/tmp/x \"b c?q='1'";
    const std::string bin = FakeBin();
    const std::pair<const char*, std::string> steps[] = {
        {"xdg-open", "arg:" + url + "\n"},
        {"gio", "arg:open\narg:" + url + "\n"},
        {"x-www-browser", "arg:" + url + "\n"},
        {"sensible-browser", "arg:" + url + "\n"},
    };
    for (const auto& [program, expected] : steps) {
        // Only this step's program is on PATH.
        std::filesystem::remove_all(bin);
        Fake(program);
        EXPECT_TRUE(OpenUrl(nullptr, url)) << program;
        EXPECT_EQ(Recorded(program), expected) << program;
        // Nothing that looks like an option reaches it (false: nothing was started).
        EXPECT_FALSE(OpenUrl(nullptr, "--new-window")) << program;
        EXPECT_FALSE(OpenUrl(nullptr, "-" + url)) << program;
    }
}

// ---- the pop-up base ------------------------------------------------------------

constexpr const char* kPopupLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="200,120" roundcorner="6,6">
  <VerticalLayout><Button name="item" height="30"/></VerticalLayout>
</Window>)";

constexpr const char* kOpenerLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="400,300"><VerticalLayout><Button name="btnUser" height="30"/></VerticalLayout></Window>)";

class TestPopup : public CFloatWnd {
  public:
    TestPopup(CControlUI* opener, POINT at, std::atomic<int>* deleted)
        : CFloatWnd(opener, at), m_deleted(deleted) {}
    ~TestPopup() override { ++*m_deleted; }

  protected:
    LRESULT OnCreate() override { return BuildLayout(kPopupLayout) ? 0 : -1; }

  private:
    std::atomic<int>* m_deleted;
};

// The window that opens the pop-up, recording its notifications.
class Opener : public WindowImplBase {
  public:
    const char* GetWindowClassName() const override { return "OpenerClass"; }
    std::string GetSkinFile() override { return kOpenerLayout; }
    void Notify(TNotifyUI& msg) override {
        notes.push_back(msg.sType + ":" + (msg.pSender != nullptr ? msg.pSender->GetName() : std::string()));
    }
    std::vector<std::string> notes;
};

class FloatWndTest : public ClientUiTest {
  protected:
    void SetUp() override {
        ClientUiTest::SetUp();
        ui.Run([&] {
            opener = new Opener;  // deleted by the test below
            ASSERT_NE(opener->Create(nullptr, "opener", WS_POPUP | WS_VISIBLE, 0, 0, 0, 400, 300), nullptr);
        });
    }
    void TearDown() override {
        ui.Run([&] { delete opener; });
        ClientUiTest::TearDown();
    }
    HWND OpenPopup() {
        HWND hwnd = nullptr;
        ui.Run([&] {
            auto* popup = new TestPopup(opener->m_pm.FindControl("btnUser"), {50, 60}, &deleted);
            hwnd = popup->Create(opener->GetHWND(), "", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
            if (hwnd != nullptr)
                popup->ShowWindow(true);
        });
        return hwnd;
    }
    bool Alive(HWND hwnd) {
        return automation.Call<bool>([&] { return IsWindow(hwnd) != FALSE; }).value();
    }

    Opener* opener = nullptr;
    std::atomic<int> deleted{0};
};

TEST_F(FloatWndTest, PlacedFromItsLayoutWithRoundedRegionAndClosedByEscape) {
    const HWND hwnd = OpenPopup();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(automation.FindByClass("MenuWnd"), hwnd);
    ui.Run([&] {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        EXPECT_EQ(rc.left, 50);
        EXPECT_EQ(rc.top, 60);
        EXPECT_EQ(rc.Width(), 200);
        EXPECT_EQ(rc.Height(), 120);
    });
    // The wheel is swallowed: the pop-up stays.
    ASSERT_TRUE(automation.Run([&] { SendMessageW(hwnd, WM_MOUSEWHEEL, 120 << 16, 0); }));
    EXPECT_TRUE(Alive(hwnd));
    ASSERT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
    EXPECT_FALSE(Alive(hwnd));
    EXPECT_EQ(deleted.load(), 1);
}

TEST_F(FloatWndTest, APopupOpenedFromTheKeyboardTakesTheKeysAndGivesThemBack) {
    ui.Run([&] { opener->m_pm.SetFocusByKeyboard(opener->m_pm.FindControl("btnUser")); });
    const HWND hwnd = OpenPopup();
    ASSERT_NE(hwnd, nullptr);
    // Tab and Return reach the pop-up's own controls.
    ASSERT_TRUE(automation.PressKey(hwnd, VK_TAB));
    ui.Run([&] {
        EXPECT_EQ(GetFocus(), hwnd);
        EXPECT_EQ(Automation::ManagerOf(hwnd)->GetFocus(), Automation::FindControl(hwnd, "item"));
    });
    ASSERT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
    EXPECT_FALSE(Alive(hwnd));
    ui.Run([&] {
        EXPECT_EQ(GetFocus(), opener->GetHWND());
        EXPECT_EQ(opener->m_pm.GetFocus(), opener->m_pm.FindControl("btnUser"));
        EXPECT_TRUE(opener->m_pm.GetFocusIndicator()) << "the indicator is back where the keys left it";
    });
}

TEST_F(FloatWndTest, DeletingALivePopupOfADerivedClassTakesItsWindowAndNothingElse) {
    HWND hwnd = nullptr;
    ui.Run([&] {
        auto* popup = new TestPopup(opener->m_pm.FindControl("btnUser"), {50, 60}, &deleted);
        hwnd = popup->Create(opener->GetHWND(), "", WS_POPUP, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
        ASSERT_NE(hwnd, nullptr);
        popup->ShowWindow(true);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);  // still queued when the object goes
        delete popup;
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(deleted.load(), 1);
    });
    // Deleted once: its window's last messages did not reach it again
    // (ASan watches).
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(deleted.load(), 1);
}

TEST_F(FloatWndTest, RegionTakesTheLayoutsRoundCorners) {
    std::atomic<int> gone{0};
    ui.Run([&] {
        auto* popup = new TestPopup(nullptr, {0, 0}, &gone);
        ASSERT_NE(popup->Create(opener->GetHWND(), "", WS_POPUP, 0), nullptr);
        EXPECT_EQ(popup->GetRegionCorner().cx, 6);
        EXPECT_EQ(popup->GetRegionCorner().cy, 6);
        DestroyWindow(popup->GetHWND());
    });
    EXPECT_EQ(gone.load(), 1);
}

TEST_F(FloatWndTest, FocusMovingToAnyOtherWindowClosesThePopup) {
    HWND hwnd = OpenPopup();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(automation.MoveFocusTo(hwnd));  // to itself: stays
    EXPECT_TRUE(Alive(hwnd));
    ASSERT_TRUE(automation.MoveFocusTo(opener->GetHWND()));
    EXPECT_FALSE(Alive(hwnd));

    // A window the pop-up owns counts as another window too.
    hwnd = OpenPopup();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(automation.MoveFocusTo(hwnd));
    HWND child = nullptr;
    ui.Run([&] {
        WindowCreateParams params;
        params.className = "ChildClass";
        params.owner = hwnd;
        params.style = WS_POPUP;
        child = CreateWindowRecord(
            params, [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); });
        // Shown without taking the focus: the move below is what is tested.
        ShowWindow(child, SW_SHOWNOACTIVATE);
        EXPECT_TRUE(IsWindow(hwnd));
    });
    ASSERT_NE(child, nullptr);
    ASSERT_TRUE(automation.MoveFocusTo(child));
    EXPECT_FALSE(Alive(hwnd));
    EXPECT_EQ(deleted.load(), 2);
}

TEST_F(FloatWndTest, ItemSelectClosesAndItemClickReachesTheOpener) {
    HWND hwnd = OpenPopup();
    ui.Run([&] {
        CPaintManagerUI* pm = Automation::ManagerOf(hwnd);
        pm->SendNotify(pm->FindControl("item"), DUI_MSGTYPE_ITEMSELECT);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_FALSE(Alive(hwnd));

    hwnd = OpenPopup();
    ui.Run([&] {
        opener->notes.clear();
        CPaintManagerUI* pm = Automation::ManagerOf(hwnd);
        pm->SendNotify(pm->FindControl("item"), DUI_MSGTYPE_ITEMCLICK, 7, 9);
        EXPECT_TRUE(opener->notes.empty());  // delivered later, from the loop
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_FALSE(Alive(hwnd));
    ui.Run([&] { EXPECT_EQ(opener->notes, std::vector<std::string>{"itemclick:btnUser"}); });
    EXPECT_EQ(deleted.load(), 2);
}

}  // namespace
