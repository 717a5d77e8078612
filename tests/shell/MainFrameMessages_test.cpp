// The main window's account area, its messages from workers, pages and other
// windows, its pop-ups and menu, and the ways it ends early.
#include "MainFrameFixture.h"

#include "config/LangFile.h"
#include "demo-store/ZipWriter.h"
#include "diag/RunLog.h"
#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIRender.h"
#include "ui/ClientMessages.h"
#include "ui/MessageDlg.h"
#include "ui/ShowLangMessage.h"

#include <sys/stat.h>

#include <ctime>
#include <string>
#include <vector>

namespace {

using shelltest::MainFrameTest;
using shelltest::Page;

std::string LangMessage(const std::string& key) {
    std::string text;
    ReadLangEntry("Message", key, "", text, 260, GetLangFilePath());
    return text;
}

// The headless measurer: characters below U+0800 half the font size wide,
// others (CJK) the full size. Font 5 of the main window is 14 pixels.
constexpr int kFont5 = 14;

TEST_F(MainFrameTest, TheNicknameWidthIsMeasuredAtTheWindowsScaleAndAFifthWiderAt200Percent) {
    // Four CJK characters: 4 x 14 at 100 %, 4 x 28 at 200 %.
    const std::string nickname = "墨林用户";
    struct Case {
        int dpi;
        bool afterLogin;  // measured again on UM_LOGIN_DONE, after the scale was set
        int width;
    };
    const int atStart = 4 * kFont5 + 38;
    // 200 %: (112 + 38) x 1.2 = 180, scaled back to 90; without the fifth it
    // would be 75.
    const int at200 = static_cast<int>((4 * 2 * kFont5 + 38) * 1.2) / 2;
    const std::vector<Case> cases{{96, false, atStart},
                                  {96, true, atStart},
                                  // At start the logged-in display comes before the
                                  // window's scale is set.
                                  {192, false, atStart},
                                  {192, true, at200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + (c.afterLogin ? " after login" : " at start"));
        SaveUser("tok", nickname, 2);
        StartUi(c.dpi);
        ASSERT_NE(Open(), nullptr);
        if (c.afterLogin) {
            ui->Run([&] { SendMessageW(hwnd, UM_LOGIN_DONE, 0, 0); });
        }
        EXPECT_EQ(FixedWidth("LayoutNickname"), c.width);
        EXPECT_EQ(FixedWidth("Layout_nameandkefu"), c.width + 65);
        EXPECT_EQ(TabUserPage(), 1);
        ui->Run([&] { DestroyWindow(hwnd); });
        ui.reset();
        CMainFrame::ForgetDestroyedInstance();
        CBaseFrame::ResetMainMonitorDpiCache();
    }
}

TEST_F(MainFrameTest, TheLoggedInDisplayShowsTheNicknameWithTheLoginKindsIcon) {
    struct Case {
        int loginType;
        std::string icon;
    };
    const std::vector<Case> cases{
        {1, "pic_login_tel"}, {2, "pic_login_qq"}, {3, "pic_login_wechat"}, {0, "pic_login_tel"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loginType);
        SaveUser("tok", "13800138000", c.loginType);
        ASSERT_NE(Open(), nullptr);
        EXPECT_EQ(automation.Text(hwnd, "userNickname"), "{f 5}13800138000{/f}{x 6}{i images/arrow.png}");
        const std::string file = "file='../default/button/" + c.icon + ".png' dest='0,5,28,33' ";
        const auto images = ui->Call<std::vector<std::string>>([&] {
            auto* button =
                DuiLib::ControlCast<DuiLib::CButtonUI>(DuiLib::Automation::FindControl(hwnd, "userNickname"));
            return std::vector<std::string>{button->GetNormalImage(), button->GetHotImage(),
                                            button->GetPushedImage()};
        });
        EXPECT_EQ(images, (std::vector<std::string>{file + "source='0,0,28,28'", file + "source='28,0,56,28'",
                                                    file + "source='56,0,84,28'"}));
        EXPECT_TRUE(Visible("userNickname"));
        EXPECT_FALSE(Visible("btnLogin"));
        EXPECT_TRUE(Visible("Option05"));
        EXPECT_TRUE(Visible("Option06"));
        ui->Run([&] { DestroyWindow(hwnd); });
        CMainFrame::ForgetDestroyedInstance();
    }
}

TEST_F(MainFrameTest, LogoutHidesTheUserTabsSelectsTheFirstTabAndLogsTheWebOut) {
    SaveUser("tok-9", "13900139000", 1);
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(automation.Click(hwnd, "Option06"));
    ASSERT_EQ(frame->CurrentTab(), 5);
    ui->Run([&] { SendMessageW(hwnd, UM_LOGOUT, 0, 0); });

    EXPECT_FALSE(Visible("Option05"));
    EXPECT_FALSE(Visible("Option06"));
    EXPECT_EQ(automation.IsSelected(hwnd, "Option01"), true);
    EXPECT_EQ(frame->CurrentTab(), 0);
    EXPECT_EQ(SwitchPage(), 0);
    EXPECT_EQ(Loads("web_register2client").back(), Page("/api/public_api/logout"));
    // The logged-out display.
    EXPECT_EQ(TabUserPage(), 0);
    EXPECT_EQ(FixedWidth("Layout_nameandkefu"), 145);
    EXPECT_EQ(FixedWidth("LayoutNickname"), 80);
    EXPECT_EQ(automation.Text(hwnd, "userNickname"), "");
    EXPECT_TRUE(Visible("btnLogin"));
    // The login is forgotten, in the session and in the settings.
    EXPECT_FALSE(UserSession::Instance().IsLoggedIn());
    for (std::string_view value : {settings::kAccount, settings::kNickName})
        EXPECT_FALSE(os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, value, 520)) << value;
    EXPECT_FALSE(os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kLoginType));
}

TEST_F(MainFrameTest, InfoMessagesShowTheKeysTextAndTheDownloadsTabReloadsOnRequest) {
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(DuiLib::PostOwned(hwnd, UM_SHOW_INFO, 0, std::make_unique<std::string>("CopyClipboard")));
    const HWND box = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(automation.Text(box, "context"), LangMessage("CopyClipboard"));
    EXPECT_TRUE(automation.IsControlVisible(box, "infoLogo").value_or(false));
    EXPECT_EQ(ui->Call<HWND>([&] { return GetWindowOwner(box); }), hwnd);
    ASSERT_TRUE(automation.Click(box, "btnClose"));

    ASSERT_TRUE(PostMessageW(hwnd, UM_REFRESH_DOWNLOADS, 0, 0));
    ASSERT_TRUE(PostMessageW(hwnd, UM_REFRESH_DOWNLOADS, 0, 0));
    ASSERT_TRUE(automation.RunUntilIdle());
    const std::string downloads = Page("/client/user/downloads.html");
    EXPECT_EQ(Loads("web_opt06"), (std::vector<std::string>{downloads, downloads}));
}

// Download requests go to the download component one at a time: one that
// comes while the login dialog or a download is up is dropped, and its
// record freed (the sanitizer build finds a record left over).
TEST_F(MainFrameTest, ADownloadRequestWhileADownloadIsUpIsDroppedNotNested) {
    ASSERT_NE(Open(), nullptr);
    // Without a download component a request goes nowhere, and is freed.
    ASSERT_TRUE(DuiLib::PostOwned(hwnd, UM_DOWNLOAD, 0, std::make_unique<DownloadRequest>()));
    ASSERT_TRUE(automation.RunUntilIdle());

    std::vector<std::string> handled;
    ui->Run([&] {
        frame->SetDownloadHandler([&](std::unique_ptr<DownloadRequest> request) {
            handled.push_back(request->url);
            // The download's dialog, modal as the component's is.
            ShowLangMessage("DownloadFailed", hwnd, CMessageDlg::kStyleInformation, "downloading");
        });
    });
    auto request = [](const std::string& url) {
        auto record = std::make_unique<DownloadRequest>();
        record->url = url;
        record->title = "模板";
        return record;
    };
    ASSERT_TRUE(DuiLib::PostOwned(hwnd, UM_DOWNLOAD, 0, request("http://a/1.pptx")));
    const HWND dialog = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(frame->IsModalFlowRunning());
    // Neither a second download nor the login dialog nests under it.
    ASSERT_TRUE(DuiLib::PostOwned(hwnd, UM_DOWNLOAD, 0, request("http://a/2.pptx")));
    ASSERT_TRUE(PostMessageW(hwnd, UM_SHOW_LOGIN, 0, 0));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(handled, std::vector<std::string>{"http://a/1.pptx"});
    EXPECT_EQ(automation.FindByLayout("dlg_reg.xml"), nullptr);
    ASSERT_TRUE(automation.Click(dialog, "btnClose"));
    EXPECT_FALSE(frame->IsModalFlowRunning());
    // Once it is over, the next request is taken.
    ASSERT_TRUE(DuiLib::PostOwned(hwnd, UM_DOWNLOAD, 0, request("http://a/3.pptx")));
    const HWND next = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(next, nullptr);
    ASSERT_TRUE(automation.Click(next, "btnClose"));
    EXPECT_EQ(handled, (std::vector<std::string>{"http://a/1.pptx", "http://a/3.pptx"}));
}

TEST_F(MainFrameTest, TheMenuOpensBelowItsButtonAndItsAboutEntryShowsTheAboutBox) {
    // Restored, away from the screen's edge (a menu stays on the screen).
    ASSERT_NE(Open(SW_SHOW), nullptr);
    ASSERT_TRUE(automation.Click(hwnd, "btnMenu"));
    const auto place = ui->Call<std::pair<POINT, RECT>>([&] {
        const RECT button = DuiLib::Automation::FindControl(hwnd, "btnMenu")->GetPos();
        POINT expected{button.left, button.bottom + 5};
        ClientToScreen(hwnd, &expected);
        RECT menu{};
        GetWindowRect(frame->GetPopupMenu()->GetHWND(), &menu);
        return std::make_pair(expected, menu);
    });
    ASSERT_TRUE(place);
    EXPECT_EQ(place->second.left, place->first.x);
    EXPECT_EQ(place->second.top, place->first.y);
    const HWND menu = ui->Call<HWND>([&] { return frame->GetPopupMenu()->GetHWND(); }).value_or(nullptr);
    ASSERT_TRUE(automation.Click(menu, "menuAbout"));
    const HWND about = automation.WaitForLayout("dlg_about.xml");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(ui->Call<HWND>([&] { return GetWindowOwner(about); }), hwnd);
    // Modal over the main window.
    EXPECT_FALSE(automation.IsEnabled(hwnd));
    ASSERT_TRUE(automation.Click(about, "btnClose"));
    EXPECT_TRUE(automation.IsEnabled(hwnd));
}

// The toolbox's panel opens below and left of its button, further left on a
// high-DPI main monitor, where it is wider.
TEST_F(MainFrameTest, TheToolboxPanelOpensAtItsOffsetFromTheButton) {
    demostore::ZipWriter zip;
    zip.Add("skin.xml", R"(<Window size="300,220"><VerticalLayout><List name="list" userdata=""/>)"
                        R"(</VerticalLayout></Window>)");
    std::filesystem::create_directories(sandbox.UserDataFolder());
    vtest::WriteFile(sandbox.UserDataFolder() + "/toolbox.dat", zip.Finish());
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kToolboxDay,
                                static_cast<DWORD>(local.tm_mday)));
    struct Case {
        int dpi;
        long dx;
    };
    for (const Case& c : {Case{96, -350}, Case{192, -755}}) {
        SCOPED_TRACE(c.dpi);
        StartUi(c.dpi);
        ASSERT_NE(Open(), nullptr);
        ASSERT_TRUE(Visible("btnToolBox"));
        ASSERT_TRUE(automation.Click(hwnd, "btnToolBox"));
        const HWND panel = automation.WaitForClass("QRNToolbox");
        ASSERT_NE(panel, nullptr);
        const auto place = ui->Call<std::pair<POINT, RECT>>([&] {
            const RECT button = DuiLib::Automation::FindControl(hwnd, "btnToolBox")->GetPos();
            POINT expected{button.left + c.dx, button.bottom + 13};
            POINT origin{0, 0};
            ClientToScreen(hwnd, &origin);
            expected.x += origin.x;
            expected.y += origin.y;
            RECT rc{};
            GetWindowRect(panel, &rc);
            return std::make_pair(expected, rc);
        });
        ASSERT_TRUE(place);
        EXPECT_EQ(place->second.left, place->first.x);
        EXPECT_EQ(place->second.top, place->first.y);
        ui->Run([&] { DestroyWindow(hwnd); });
        ui.reset();
        CMainFrame::ForgetDestroyedInstance();
        CBaseFrame::ResetMainMonitorDpiCache();
    }
}

TEST_F(MainFrameTest, TheServiceButtonOpensTheServicePageWithTheDesktopsOpener) {
    const std::string bin = sandbox.Root() + "/bin";
    std::filesystem::create_directories(bin);
    vtest::WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + sandbox.Root() +
                                            "/opened.tmp\n/bin/mv " + sandbox.Root() + "/opened.tmp " +
                                            sandbox.Root() + "/opened\n");
    ::chmod((bin + "/xdg-open").c_str(), 0755);
    sandbox.SetEnv("PATH", bin);
    sandbox.SetEnv("VANTO_SERVICE_PAGE_HOST", "service.test:8087");
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(automation.Click(hwnd, "btnKefu"));
    ASSERT_TRUE(vtest::WaitFor([&] { return vtest::Exists(sandbox.Root() + "/opened"); }));
    EXPECT_EQ(vtest::ReadFile(sandbox.Root() + "/opened"),
              "http://service.test:8087/swordfish.html?product_id=2002\n");
}

// Without its engine the window says so and closes, and the loop ends: the
// program ends instead of running on without a window.
TEST_F(MainFrameTest, WithoutAUsableEngineTheWindowClosesAndTheLoopEnds) {
    StartUi(96, webtest::EngineBuild::WithoutInitialize);
    ui->Post([] { CMainFrame::GetInstance(); });
    const HWND box = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(automation.Text(box, "context"), LangMessage("InitNodeDllFailed"));
    EXPECT_TRUE(automation.IsControlVisible(box, "errorLogo").value_or(false));
    // Owned by the main window's parent: nobody.
    EXPECT_EQ(ui->Call<HWND>([&] { return GetWindowOwner(box); }), nullptr);
    EXPECT_EQ(ui->QuitCount(), 0);
    ASSERT_TRUE(automation.Click(box, "btnClose"));
    EXPECT_TRUE(vtest::WaitFor([&] { return ui->QuitCount() == 1; }));
    EXPECT_EQ(ui->LastQuitCode(), 0);
    EXPECT_EQ(automation.FindByClass("VANTOWindowClass"), nullptr);
    EXPECT_EQ(ui->Call<CMainFrame*>([] { return CMainFrame::GetInstance(); }), nullptr);
}

// A skin without the main window's layout: no window, and the half-made one
// is freed once (the sanitizer build would see it freed twice).
TEST_F(MainFrameTest, NoLayoutNoWindow) {
    StartUi();
    ui->Run([] { DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0); });
    EXPECT_EQ(ui->Call<CMainFrame*>([] { return CMainFrame::GetInstance(); }), nullptr);
    EXPECT_EQ(automation.FindByClass("VANTOWindowClass"), nullptr);
}

// A downloaded file opens with the desktop's opener only, never as a
// program; when the opener cannot open it, the file manager shows it (here:
// no session bus, so its folder is opened).
TEST_F(MainFrameTest, ADownloadedFileOpensWithTheOpenerAndElseItsFolderIsShown) {
    const std::string bin = sandbox.Root() + "/bin";
    std::filesystem::create_directories(bin);
    const std::string calls = sandbox.Root() + "/opener-calls";
    // The opener answers with the code in opener-exit (4: the action failed).
    vtest::WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> " + calls +
                                            "\nexit $(/bin/cat " + sandbox.Root() + "/opener-exit)\n");
    ::chmod((bin + "/xdg-open").c_str(), 0755);
    sandbox.SetEnv("PATH", bin);
    sandbox.SetEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + sandbox.Root() + "/no-bus");
    const std::size_t logStart = vtest::ReadFile(shelltest::RunLogPath()).size();
    // The file is a program too: running it would leave a mark.
    const std::string folder = sandbox.Root() + "/我的下载";
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/模板.pptx";
    vtest::WriteFile(file, "#!/bin/sh\n: > " + sandbox.Root() + "/ran\n");
    ::chmod(file.c_str(), 0755);
    ASSERT_NE(Open(), nullptr);

    struct Case {
        std::string exit;
        std::string opened;
    };
    const std::vector<Case> cases{{"0", file + "\n"}, {"4", file + "\n" + folder + "\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exit);
        vtest::WriteFile(sandbox.Root() + "/opener-exit", c.exit);
        std::filesystem::remove(calls);
        ASSERT_TRUE(DuiLib::PostOwned(hwnd, UM_OPEN_FILE, 0, std::make_unique<std::string>(file)));
        ASSERT_TRUE(automation.RunUntilIdle());
        ASSERT_TRUE(vtest::WaitFor([&] { return frame->FileOpeningsRunning() == 0; }));
        // The folder's opener is started detached: wait for its line.
        EXPECT_TRUE(vtest::WaitFor([&] {
            return vtest::Exists(calls) && vtest::ReadFile(calls) == c.opened;
        })) << vtest::ReadFile(calls);
    }
    EXPECT_FALSE(vtest::Exists(sandbox.Root() + "/ran"));
    const std::string marker =
        "\n" + std::string(29, '*') + "ShellExecuteA success" + std::string(37, '*') + "\n";
    const std::string log = vtest::ReadFile(shelltest::RunLogPath()).substr(logStart);
    EXPECT_NE(log.find(marker + marker), std::string::npos);
}

}  // namespace
