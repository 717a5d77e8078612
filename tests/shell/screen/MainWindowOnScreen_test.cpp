// The main window as a user meets it: on a display (under
// tests/gui/with-xvfb.sh), with the GTK back end and the real web engine
// (node.so of WebKitGTK), against the demo store. The window shows the
// store's first page; real clicks and keys from the X server (XTest, through
// xdotool) open the account pop-up and the login dialog and log in with a
// code sent by text message. What the screen showed before and after the
// login is written as PNG files for a reviewer (ArtefactDir()).

#include "shell/screen/MainWindowScreenFixture.h"

#include "config/OemConfig.h"
#include "config/Settings.h"
#include "platform/duilib/UIButton.h"
#include "platform/os/Registry.h"

#include <chrono>
#include <cstdio>
#include <string>

using namespace DuiLib;
using screentest::kDeadline;

namespace {

// A user of the demo store.
constexpr const char* kPhone = "13800138000";
constexpr const char* kCodeSent = "验证码已发送到您的手机，请注意查收。";
constexpr const char* kLoginSuccess = "登录成功，欢迎使用墨林工坊！";

class MainWindowOnScreenTest : public screentest::MainWindowScreenTest {
  protected:
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
    screentest::PrintElapsed("main window on screen, login included", start);
}

}  // namespace
