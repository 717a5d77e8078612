// The main window as a user meets it: on a display (under
// tests/gui/with-xvfb.sh), with the GTK back end and the real web engine
// (node.so of WebKitGTK), against the demo store. The window shows the
// store's first page; real clicks and keys from the X server (XTest, through
// xdotool) open the account pop-up and the login dialog and log in with a
// code sent by text message. What the screen showed before and after the
// login is written as PNG files for a reviewer (ArtefactDir()).

#include "gui/GuiFixture.h"

#include "account/UserSession.h"
#include "config/OemConfig.h"
#include "config/Settings.h"
#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/os/Registry.h"
#include "platform/os/WorkerThread.h"
#include "shell/MainFrame.h"
#include "support/DemoStore.h"
#include "ui/BaseFrame.h"
#include "web/WkeLoader.h"
#include "web/my_WkeCallback.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

using namespace DuiLib;

namespace {

// A user of the demo store.
constexpr const char* kPhone = "13800138000";
constexpr const char* kCodeSent = "验证码已发送到您的手机，请注意查收。";
constexpr const char* kLoginSuccess = "登录成功，欢迎使用墨林工坊！";
// The header of every store page: the page is on screen where its web view
// shows this colour across the view.
constexpr std::uint32_t kPageHeaderColour = 0xFF2F6FDF;
// Every wait for the engine or the display: a web process starts, loads and
// paints in well under this on a loaded machine.
constexpr std::chrono::seconds kDeadline{30};

// A screen of a common desktop's size, larger than the window's least size.
DuiLib::UiThread::Options DesktopScreen() {
    DuiLib::UiThread::Options options;
    options.screen.monitor = {0, 0, 1600, 900};
    options.screen.workArea = {0, 0, 1600, 860};
    options.screen.dpi = 96;
    // The window runs as in the program: timers (the dialog's fade-out, the
    // countdown) on the real clock.
    options.realTime = true;
    return options;
}

// Pixels of `image` within `area` (image coordinates) no further than
// `tolerance` from `colour` in any channel.
int CountColour(const GtkProbes::Image& image, const RECT& area, std::uint32_t colour, int tolerance) {
    int count = 0;
    for (long y = std::max(0L, area.top); y < std::min<long>(area.bottom, image.height); ++y)
        for (long x = std::max(0L, area.left); x < std::min<long>(area.right, image.width); ++x)
            if (!guitest::PixelsDiffer(image.At(static_cast<int>(x), static_cast<int>(y)), colour, tolerance))
                ++count;
    return count;
}

class MainWindowOnScreenTest : public guitest::GuiTest {
  protected:
    MainWindowOnScreenTest() : GuiTest(DesktopScreen()) {}

    void SetUp() override {
        GuiTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(store.Started());
        // The store's pages and logins; no update, statistics or toolbox
        // server (their questions and buttons are other tests' business).
        for (const char* host : {"VANTO_UPDATE_HOST", "VANTO_STATS_HOST", "VANTO_TOOLBOX_HOST"})
            sandbox.SetEnv(host, "127.0.0.1:1");
        sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language");
        // The real engine, where the program's loader looks for it.
        std::filesystem::copy_file(std::filesystem::path(VANTO_BIN_DIR) / kWkeModuleName,
                                   std::filesystem::path(sandbox.ProgramDir()) / kWkeModuleName);
        UserSession::Instance().Update([](UserSessionValues& values) { values = UserSessionValues{}; });
        CMainFrame::ForgetDestroyedInstance();
        CBaseFrame::ResetMainMonitorDpiCache();
    }

    void TearDown() override {
        if (!IsSkipped()) {
            ui.Run([] {
                if (CMainFrame* frame = CMainFrame::GetInstance())
                    DestroyWindow(frame->GetHWND());
            });
            EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
            CMainFrame::ForgetDestroyedInstance();
            UserSession::Instance().Update([](UserSessionValues& values) { values = UserSessionValues{}; });
        }
        GuiTest::TearDown();
    }

    // The main window as the program makes and shows it.
    HWND OpenMainWindow() {
        return ui
            .Call<HWND>([] {
                CMainFrame* frame = CMainFrame::GetInstance();
                if (frame == nullptr || !frame->IsEngineReady())
                    return HWND{};
                ::ShowWindow(frame->GetHWND(), SW_SHOWMAXIMIZED);
                return frame->GetHWND();
            })
            .value_or(nullptr);
    }

    // The first tab's page has finished loading in the engine: the start
    // page's first finish was heard, the engine's view is at its address, and
    // the window shows the tab (not the loading or the disconnect frame).
    bool FirstPageLoaded(HWND window, const std::string& address) {
        automation.RunUntilIdle();
        return ui
            .Call<bool>([&] {
                auto* frame = CMainFrame::GetInstance();
                auto* view = ControlCast<CWkeWebkitUI>(Automation::FindControl(window, "web_opt01"));
                auto* pages = ControlCast<CTabLayoutUI>(Automation::FindControl(window, "switch"));
                if (frame == nullptr || view == nullptr || pages == nullptr ||
                    frame->WebCallback() == nullptr)
                    return false;
                const char* engineUrl = WkeFunctions().wkeGetURL(view->GetWebView());
                return frame->WebCallback()->LoadedCount() == 1 && engineUrl != nullptr &&
                       engineUrl == address && pages->GetCurSel() == 0 && pages->IsVisible();
            })
            .value_or(false);
    }

    // What the display shows of the window now.
    std::optional<GtkProbes::Image> Screenshot(HWND hwnd) {
        std::optional<GtkProbes::Image> image;
        ui.Run([&] {
            if (Gtk()->FlushPaint(hwnd))
                if (const std::optional<RECT> shown = Gtk()->DisplayedRect(hwnd))
                    image = Gtk()->GrabScreen(*shown);
        });
        return image;
    }
    // The control's rectangle in the window.
    RECT ControlRect(HWND hwnd, const std::string& name) {
        return ui
            .Call<RECT>([&] {
                CControlUI* control = Automation::FindControl(hwnd, name);
                return control != nullptr ? control->GetPos() : RECT{};
            })
            .value_or(RECT{});
    }
    // The store page's header across the web view's width in `shot`.
    static bool ShowsStorePage(const GtkProbes::Image& shot, const RECT& view) {
        return CountColour(shot, view, kPageHeaderColour, 4) >= view.Width() * 30;
    }
    // Waits until the window's screenshot satisfies `shows`; the last one.
    std::optional<GtkProbes::Image> WaitForScreen(HWND hwnd,
                                                  const std::function<bool(const GtkProbes::Image&)>& shows) {
        std::optional<GtkProbes::Image> shot;
        vtest::WaitFor([&] { return (shot = Screenshot(hwnd)) && shows(*shot); }, kDeadline);
        return shot;
    }
    static std::string SaveArtefact(const GtkProbes::Image& shot, const std::string& name) {
        const std::string path = ArtefactDir() + "/" + name;
        EXPECT_TRUE(shot.WritePng(path)) << path;
        std::printf("screenshot: %s\n", path.c_str());
        return path;
    }
    // The acceptance screenshots' folder: build/<preset>/artefacts.
    static std::string ArtefactDir() {
        const std::string dir = std::string(VANTO_BINARY_DIR) + "/artefacts";
        std::filesystem::create_directories(dir);
        return dir;
    }

    // The account area's nickname as the main layout draws it with room to
    // spare (no end cut off): an unshown window of the same layout whose
    // nickname has the shown one's text and badge and more width, rendered
    // offscreen. Its rectangle in that picture goes to `at`.
    std::optional<GtkProbes::Image> NicknameWithRoom(HWND window, RECT& at) {
        guitest::LayoutWindow* reference = Open("Form_Main.xml", false, UI_WNDSTYLE_FRAME);
        if (reference == nullptr)
            return std::nullopt;
        std::optional<GtkProbes::Image> image;
        ui.Run([&] {
            auto* shown = ControlCast<CButtonUI>(Automation::FindControl(window, "userNickname"));
            auto* drawn = reference->m_pm.FindControl<CButtonUI>("userNickname");
            auto* pages = reference->m_pm.FindControl<CTabLayoutUI>("tabUser");
            CControlUI* layout = reference->m_pm.FindControl("LayoutNickname");
            CControlUI* area = reference->m_pm.FindControl("Layout_nameandkefu");
            if (shown == nullptr || drawn == nullptr || pages == nullptr || layout == nullptr ||
                area == nullptr)
                return;
            constexpr int kMoreRoom = 120;
            pages->SelectItem(1);
            drawn->SetText(shown->GetText());
            drawn->SetAttribute("normalimage", shown->GetNormalImage());
            layout->SetFixedWidth(shown->GetPos().Width() + kMoreRoom);
            area->SetFixedWidth(area->GetFixedWidth() + kMoreRoom);
            image = Gtk()->RenderWindow(reference->GetHWND());
            at = drawn->GetPos();
        });
        return image;
    }

    // A real click on the control's centre, once its window is on screen.
    bool ClickControl(HWND hwnd, const std::string& name) {
        bool painted = false;
        ui.Run([&] { painted = Gtk()->FlushPaint(hwnd); });
        return painted && ClickAt(ScreenCentre(hwnd, name));
    }
    // A real click into the edit, then its text typed as real keys.
    bool TypeInto(HWND hwnd, const std::string& edit, const std::string& digits) {
        if (!ClickControl(hwnd, edit))
            return false;
        const bool focused = vtest::WaitFor([&] {
            return automation
                .Call<bool>([&] {
                    CPaintManagerUI* manager = Automation::ManagerOf(hwnd);
                    return manager != nullptr && manager->GetFocus() == manager->FindControl(edit);
                })
                .value_or(false);
        });
        return focused && Xdo("type --delay 15 " + digits) &&
               vtest::WaitFor([&] { return automation.Text(hwnd, edit) == digits; });
    }
    // The message box shown now: its text, after a real click on its button.
    std::string AnswerMessageBox() {
        const HWND box = automation.WaitForLayout("dlg_message.xml");
        if (box == nullptr)
            return "<no box>";
        const std::string text = automation.Text(box, "context").value_or("<none>");
        EXPECT_TRUE(ClickControl(box, "btnClose"));
        EXPECT_TRUE(vtest::WaitFor([&] { return !automation.IsVisible(box); })) << text;
        return text;
    }

    // Waits until the first tab has loaded `address` and the page is on
    // screen; the screenshot then.
    std::optional<GtkProbes::Image> WaitForFirstPage(HWND window, const std::string& address, RECT& view) {
        if (!vtest::WaitFor([&] { return FirstPageLoaded(window, address); }, kDeadline)) {
            ADD_FAILURE() << "the first tab did not load " << address;
            return std::nullopt;
        }
        view = ControlRect(window, "web_opt01");
        EXPECT_GT(view.Width(), 400);
        return WaitForScreen(window,
                             [&](const GtkProbes::Image& shot) { return ShowsStorePage(shot, view); });
    }

    // Real clicks on "登录 / 注册" and then on the pop-up's "立即登录"; the
    // login dialog they open, null when none opened.
    HWND OpenLoginDialog(HWND window) {
        EXPECT_EQ(automation.Text(window, "btnLogin"), "登录 / 注册");
        if (!ClickControl(window, "btnLogin"))
            return nullptr;
        const HWND popup = automation.WaitForLayout("Form_user_info.xml");
        if (popup == nullptr || !ClickControl(popup, "btnLogin"))
            return nullptr;
        const HWND dialog = automation.WaitForLayout("dlg_reg.xml");
        EXPECT_TRUE(vtest::WaitFor([&] { return !automation.IsVisible(popup); })) << "the pop-up stayed";
        return dialog;
    }

    // The number typed, the code asked for, the code the store sent typed,
    // the login pressed and its success box answered: all real input.
    void LogInByTextMessage(HWND dialog) {
        ASSERT_TRUE(TypeInto(dialog, "userMobile", kPhone))
            << automation.Text(dialog, "userMobile").value_or("?");
        ASSERT_TRUE(ClickControl(dialog, "btnSendVeryfyCode"));
        EXPECT_EQ(AnswerMessageBox(), kCodeSent);
        const std::string code = store.LastSmsCode(kPhone);
        ASSERT_FALSE(code.empty()) << "the store sent no code";
        ASSERT_TRUE(TypeInto(dialog, "verifyCode", code))
            << automation.Text(dialog, "verifyCode").value_or("?");
        ASSERT_TRUE(
            vtest::WaitFor([&] { return automation.IsControlEnabled(dialog, "btnMobileLogin") == true; }));
        ASSERT_TRUE(ClickControl(dialog, "btnMobileLogin"));
        EXPECT_EQ(AnswerMessageBox(), kLoginSuccess);
        ASSERT_TRUE(vtest::WaitFor([&] { return !automation.IsVisible(dialog); }, kDeadline));
    }

    // The account area names the user, the login is saved, and the hidden
    // view took the web login with the saved token.
    void ExpectLoggedIn(HWND window) {
        EXPECT_TRUE(vtest::WaitFor([&] {
            return automation.IsControlVisible(window, "userNickname") == true &&
                   automation.Text(window, "userNickname").value_or("").find(kPhone) != std::string::npos;
        })) << automation.Text(window, "userNickname").value_or("?");
        EXPECT_EQ(automation.IsControlVisible(window, "btnLogin"), false);
        const std::string token = UserSession::Instance().SessionToken();
        ASSERT_FALSE(token.empty());
        EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount), token);
        EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kNickName), kPhone);
        EXPECT_TRUE(vtest::WaitFor([&] {
            for (const Json::Value& request : store.Requests("client"))
                if (request["target"].asString() == "/api/user/refreshWebLogin?X-token=" + token)
                    return true;
            return false;
        })) << "the web login was not refreshed with the saved token";
    }

    // Nothing of the nickname is cut off: on screen it is the one drawn with
    // room to spare, pixel for pixel.
    void ExpectWholeNickname(HWND window, const GtkProbes::Image& shot, const RECT& nickname) {
        RECT roomy{};
        const std::optional<GtkProbes::Image> reference = NicknameWithRoom(window, roomy);
        ASSERT_TRUE(reference);
        ASSERT_GE(roomy.Width(), nickname.Width());
        int cut = 0;
        for (int y = 0; y < nickname.Height(); ++y)
            for (int x = 0; x < nickname.Width(); ++x)
                cut += guitest::PixelsDiffer(shot.At(nickname.left + x, nickname.top + y),
                                             reference->At(roomy.left + x, roomy.top + y), 8)
                           ? 1
                           : 0;
        EXPECT_LE(cut, 4) << "the nickname on screen differs from the whole one in " << cut << " pixels";
    }

    vtest::DemoStore store{sandbox};
};

TEST_F(MainWindowOnScreenTest, ShowsTheStorePageAndLogsInByTextMessageWithRealClicksAndKeys) {
    const auto start = std::chrono::steady_clock::now();
    const HWND window = OpenMainWindow();
    ASSERT_NE(window, nullptr) << "no main window, or the engine could not be used";
    RECT view{};
    const std::optional<GtkProbes::Image> before =
        WaitForFirstPage(window, store.BaseUrl("client") + "/ppt.html", view);
    ASSERT_TRUE(before);
    SaveArtefact(*before, "main-window-before-login.png");
    ASSERT_TRUE(ShowsStorePage(*before, view)) << "the page is not on screen";

    const HWND dialog = OpenLoginDialog(window);
    ASSERT_NE(dialog, nullptr) << "the login dialog did not open";
    ASSERT_NO_FATAL_FAILURE(LogInByTextMessage(dialog));
    ASSERT_NO_FATAL_FAILURE(ExpectLoggedIn(window));

    const RECT nickname = ControlRect(window, "userNickname");
    const std::optional<GtkProbes::Image> after = WaitForScreen(window, [&](const GtkProbes::Image& shot) {
        return ShowsStorePage(shot, view) && guitest::CountDifferentIn(shot, *before, nickname, 8) > 20;
    });
    ASSERT_TRUE(after);
    SaveArtefact(*after, "main-window-after-login.png");
    EXPECT_TRUE(ShowsStorePage(*after, view)) << "the page is not on screen after the login";
    EXPECT_GT(guitest::CountDifferentIn(*after, *before, nickname, 8), 20)
        << "the account area did not change";
    ExpectWholeNickname(window, *after, nickname);
    std::printf("main window on screen, login included: %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - start)
                                           .count()));
}

}  // namespace

// LeakSanitizer cannot stop GTK's and WebKit's threads to look for leaks (it
// crashes trying), and those libraries keep their process-wide allocations to
// the end anyway: this program runs without the leak check; AddressSanitizer
// itself stays on.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}
