// The main window headless: its initialisation, tabs, frames, account area,
// buttons, menu and messages, with the scripted engine.
#include "MainFrameFixture.h"

#include "config/LangFile.h"
#include "platform/duilib/InstanceChannel.h"
#include "platform/duilib/UIButton.h"
#include "ui/ClientMessages.h"

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

using shelltest::MainFrameTest;
using shelltest::Page;
using Urls = std::vector<std::string>;

std::string LangMessage(const std::string& key) {
    std::string text;
    ReadLangEntry("Message", key, "", text, 260, GetLangFilePath());
    return text;
}

TEST_F(MainFrameTest, OneWindowWhoseCloseEndsTheLoopAndWhoseClassOtherStartsFind) {
    ASSERT_NE(Open(SW_SHOW), nullptr);
    EXPECT_EQ(ui->Call<CMainFrame*>([] { return CMainFrame::GetInstance(); }), frame);
    EXPECT_EQ(ui->Call<std::string>([&] { return GetClassNameW(hwnd); }), "VANTOWindowClass");
    EXPECT_EQ(ui->Call<std::string>([&] { return GetWindowTextW(hwnd); }), "墨林工坊");
    EXPECT_TRUE(automation.IsVisible(hwnd));
    // Its initialisation started the daily update check.
    EXPECT_TRUE(vtest::WaitFor([] {
        return os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay).has_value();
    }));
    EXPECT_EQ(ui->Call<HWND>([] { return FindWindowW("VANTOWindowClass", nullptr); }), hwnd);

    // The menu's "menuUpdate", once the daily check has ended, checks again
    // with its messages over this window: no server answers here.
    ASSERT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
    ASSERT_TRUE(DuiLib::PostOwnedWParam(hwnd, WM_MENUCLICK, std::make_unique<std::string>("menuUpdate"), 0));
    const HWND box = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(automation.Text(box, "context"), LangMessage("NoVersion"));
    ASSERT_TRUE(automation.Click(box, "btnClose"));
    ASSERT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
    EXPECT_TRUE(DuiLib::InstanceChannel::IsRemoteHandle(FindWindowW("VANTOWindowClass", nullptr)));

    // Escape, with nothing over the window to close, leaves it open.
    ASSERT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(ui->QuitCount(), 0);
    EXPECT_TRUE(automation.IsVisible(hwnd));

    // "btnClose" and the system close both end the loop; the window stays
    // for teardown.
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
    EXPECT_TRUE(vtest::WaitFor([&] { return ui->QuitCount() == 1; }));
    EXPECT_EQ(ui->LastQuitCode(), 0);
    EXPECT_TRUE(automation.Call<bool>([&] { return IsWindow(hwnd) != FALSE; }).value_or(false));
    ASSERT_TRUE(PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0));
    EXPECT_TRUE(vtest::WaitFor([&] { return ui->QuitCount() == 2; }));

    // Once gone (teardown destroys it), the window is neither offered to
    // other starts nor made again.
    ASSERT_TRUE(ui->Run([&] { DestroyWindow(hwnd); }));
    EXPECT_FALSE(automation.Call<bool>([&] { return IsWindow(hwnd) != FALSE; }).value_or(true));
    EXPECT_EQ(FindWindowW("VANTOWindowClass", nullptr), nullptr);
    EXPECT_EQ(ui->Call<CMainFrame*>([] { return CMainFrame::GetInstance(); }), nullptr);
}

TEST_F(MainFrameTest, TheFirstTabIsTheHomeTabWithTheChannelIdWhenOneIsSet) {
    struct Case {
        std::string adId;
        std::string option;
        int tab;
        std::string home;
    };
    const std::vector<Case> cases{{"", "Option01", 0, Page("/")}, {"4711", "Option04", 3, Page("/?c=4711")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adId);
        if (!c.adId.empty()) {
            ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId, c.adId));
        }
        ASSERT_NE(Open(), nullptr);
        EXPECT_EQ(frame->HomeAddress(), c.home);
        EXPECT_EQ(automation.IsSelected(hwnd, c.option), true);
        EXPECT_EQ(frame->CurrentTab(), c.tab);
        EXPECT_EQ(SwitchPage(), c.tab);
        // Only the first tab's page loads; the home tab loads the home
        // address.
        const std::string view = c.tab == 0 ? "web_opt01" : "web_opt04";
        EXPECT_EQ(Loads(view), Urls{c.tab == 0 ? Page("/ppt.html") : c.home});
        for (const char* other : {"web_opt02", "web_opt03", "web_opt05", "web_opt06"})
            EXPECT_EQ(Loads(other), Urls{}) << other;
        ui->Run([&] { DestroyWindow(hwnd); });
        CMainFrame::ForgetDestroyedInstance();
    }
}

TEST_F(MainFrameTest, StoreTabsLoadOnceAndTheUserTabsEveryTimeTheyAreChosen) {
    SaveUser("tok-1", "13900139000", 1);
    ASSERT_NE(Open(), nullptr);
    // Each step: the option clicked, then the tab shown and what the views
    // have loaded so far.
    struct Step {
        std::string option;
        int tab;
        Urls ppt;
        Urls excel;
        Urls downloads;
    };
    const Urls ppt{Page("/ppt.html")};
    const Urls excel{Page("/excel.html")};
    const std::string downloads = Page("/client/user/downloads.html");
    const std::vector<Step> steps{
        {"Option02", 1, ppt, excel, {}},
        {"Option01", 0, ppt, excel, {}},
        {"Option06", 5, ppt, excel, {downloads}},
        {"Option02", 1, ppt, excel, {downloads}},
        {"Option06", 5, ppt, excel, {downloads, downloads}},
        {"Option01", 0, ppt, excel, {downloads, downloads}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.option);
        ASSERT_TRUE(automation.Click(hwnd, step.option));
        EXPECT_EQ(frame->CurrentTab(), step.tab);
        EXPECT_EQ(SwitchPage(), step.tab);
        EXPECT_EQ(Loads("web_opt01"), step.ppt);
        EXPECT_EQ(Loads("web_opt02"), step.excel);
        EXPECT_EQ(Loads("web_opt06"), step.downloads);
    }
    EXPECT_TRUE(frame->IsTabLoaded(0));
    EXPECT_TRUE(frame->IsTabLoaded(1));
    EXPECT_FALSE(frame->IsTabLoaded(2));
    // The favourites tab loads its page too.
    ASSERT_TRUE(automation.Click(hwnd, "Option05"));
    EXPECT_EQ(Loads("web_opt05"), Urls{Page("/client/user/favorites.html")});
}

TEST_F(MainFrameTest, EveryTabViewIsPreparedWithTheSharedCallbackBeforeItLoads) {
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(automation.Click(hwnd, "Option03"));
    const wkeWebView view = ViewOf("web_opt03");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(engine->Requests(view), (std::vector<std::string>{"create", "setMemoryCacheEnable 1",
                                                                "loadURL " + Page("/word.html")}));
    EXPECT_EQ(ui->Call<bool>([&] {
        auto* web =
            DuiLib::ControlCast<DuiLib::CWkeWebkitUI>(DuiLib::Automation::FindControl(hwnd, "web_opt03"));
        return web->GetWkeCallback() == reinterpret_cast<DuiLib::IWkeCallback*>(frame->WebCallback());
    }),
              true);
}

// The login-sync view keeps its cookies where every view's are, and loads the
// logout page for nobody, the web login of a user otherwise.
TEST_F(MainFrameTest, TheLoginSyncViewFollowsTheClientsLogin) {
    struct Case {
        std::string token;
        std::string page;
    };
    const std::vector<Case> cases{{"", Page("/api/public_api/logout")},
                                  {"jwt-42", Page("/api/user/refreshWebLogin?X-token=jwt-42")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token);
        if (!c.token.empty())
            SaveUser(c.token, "13900139000", 1);
        ASSERT_NE(Open(), nullptr);
        const wkeWebView view = ViewOf("web_register2client");
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(engine->Requests(view),
                  (std::vector<std::string>{"create", "setCookieJarPath " + sandbox.UserDataFolder(),
                                            "loadURL " + c.page}));
        EXPECT_FALSE(Visible("web_register2client"));
        ui->Run([&] { DestroyWindow(hwnd); });
        CMainFrame::ForgetDestroyedInstance();
    }
}

TEST_F(MainFrameTest, TheLoadingFrameComesOnceAndAFailedPageShowsTheDisconnectFrameUntilRetry) {
    ASSERT_NE(Open(), nullptr);
    const wkeWebView ppt = ViewOf("web_opt01");
    // The first navigation of the run to a start page shows the loading
    // frame instead of the views, its first finished load hides it.
    engine->Navigation(ppt, WKE_NAVIGATION_TYPE_OTHER, Page("/ppt.html").c_str());
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_TRUE(Visible("loadingurl_frame"));
    EXPECT_FALSE(Visible("switch"));
    engine->LoadingFinish(ppt, Page("/ppt.html").c_str(), WKE_LOADING_SUCCEEDED);
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_FALSE(Visible("loadingurl_frame"));
    EXPECT_TRUE(Visible("switch"));
    ASSERT_TRUE(automation.Click(hwnd, "Option02"));

    // A gateway's error page loads fine; its title tells. A failed load of
    // any view, the hidden one too, does the same.
    struct Failure {
        std::string what;
        std::function<void()> raise;
    };
    const std::vector<Failure> failures{
        {"502 title", [&] { engine->TitleChanged(ViewOf("web_opt02"), "502 Bad Gateway - nginx"); }},
        {"failed load",
         [&] {
             engine->LoadingFinish(ViewOf("web_register2client"), Page("/api/public_api/logout").c_str(),
                                   WKE_LOADING_FAILED, "refused");
         }},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.what);
        const std::size_t before = Loads("web_opt01").size();
        failure.raise();
        ASSERT_TRUE(automation.RunUntilIdle());
        EXPECT_EQ(SwitchPage(), CMainFrame::kDisconnectPage);
        EXPECT_TRUE(Visible("btnRefresh"));
        // Retry: the current tab again, and every store page once more; the
        // user's own pages stay unloaded for nobody.
        ASSERT_TRUE(automation.Click(hwnd, "btnRefresh"));
        EXPECT_EQ(SwitchPage(), 1);
        EXPECT_EQ(Loads("web_opt01").size(), before + 1);
        EXPECT_EQ(Loads("web_opt04").back(), Page("/"));
        EXPECT_EQ(Loads("web_opt03").back(), Page("/word.html"));
        EXPECT_EQ(Loads("web_opt05"), Urls{});
        EXPECT_EQ(Loads("web_opt06"), Urls{});
        EXPECT_EQ(Loads("web_register2client").back(), Page("/api/public_api/logout"));
    }
    // The loading frame came only once.
    engine->Navigation(ppt, WKE_NAVIGATION_TYPE_OTHER, Page("/ppt.html").c_str());
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_FALSE(Visible("loadingurl_frame"));
    // Choosing a tab also leaves the disconnect frame.
    ui->Run([&] { PostMessageW(hwnd, UM_PAGE_FAILED, 0, 0); });
    ASSERT_TRUE(automation.RunUntilIdle());
    ASSERT_TRUE(automation.Click(hwnd, "Option03"));
    EXPECT_EQ(SwitchPage(), 2);
}

TEST_F(MainFrameTest, RetryReloadsTheUserPagesForAUser) {
    SaveUser("tok-2", "13900139000", 1);
    ASSERT_NE(Open(), nullptr);
    ui->Run([&] { PostMessageW(hwnd, UM_PAGE_FAILED, 0, 0); });
    ASSERT_TRUE(automation.RunUntilIdle());
    ASSERT_TRUE(automation.Click(hwnd, "btnRefresh"));
    EXPECT_EQ(Loads("web_opt05"), Urls{Page("/client/user/favorites.html")});
    EXPECT_EQ(Loads("web_opt06"), Urls{Page("/client/user/downloads.html")});
    EXPECT_EQ(Loads("web_register2client").back(), Page("/api/user/refreshWebLogin?X-token=tok-2"));
}

TEST_F(MainFrameTest, MaximiseRestoreMaximiseSwapsTheButtonsAndThePaddings) {
    ASSERT_NE(Open(SW_SHOWMAXIMIZED), nullptr);
    auto padding = [&](const std::string& name) {
        return ui->Call<RECT>([&] { return DuiLib::Automation::FindControl(hwnd, name)->GetPadding(); })
            .value_or(RECT{-1, -1, -1, -1});
    };
    const RECT maximised{500, 200, 0, 0};
    const RECT restored{0, 0, 0, 0};
    struct Step {
        std::string click;
        bool zoomed;
        RECT padding;
    };
    // The layout starts in the maximised form, as the window is shown.
    const std::vector<Step> steps{{"", true, maximised},
                                  {"restorebtn", false, restored},
                                  {"btnMax", true, maximised},
                                  {"restorebtn", false, restored}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.click);
        if (!step.click.empty()) {
            ASSERT_TRUE(automation.Click(hwnd, step.click));
        }
        EXPECT_EQ(ui->Call<bool>([&] { return IsZoomed(hwnd) != FALSE; }), step.zoomed);
        EXPECT_EQ(Visible("restorebtn"), step.zoomed);
        EXPECT_EQ(Visible("btnMax"), !step.zoomed);
        for (const char* name : {"disconnect_frame", "loadingurl_frame"}) {
            const RECT rc = padding(name);
            EXPECT_TRUE(rc.left == step.padding.left && rc.top == step.padding.top && rc.right == 0 &&
                        rc.bottom == 0)
                << name << " " << rc.left << "," << rc.top;
        }
    }
    // Minimising is no change between the two forms.
    ASSERT_TRUE(automation.Click(hwnd, "btnMin"));
    EXPECT_EQ(ui->Call<bool>([&] { return IsIconic(hwnd) != FALSE; }), true);
    EXPECT_TRUE(Visible("btnMax"));
}

}  // namespace
