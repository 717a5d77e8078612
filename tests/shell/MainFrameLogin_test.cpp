// The main window's logins against the demo store, as a user makes them: from
// the account area through its pop-up into the login dialog, by SMS code or
// by a sign-in page; what the window shows and keeps afterwards, and what a
// second request does while the dialog is up.
#include "MainFrameFixture.h"

#include "account/SavedLogin.h"
#include "config/LangFile.h"
#include "platform/duilib/UIButton.h"
#include "support/DemoStore.h"
#include "ui/ClientMessages.h"

#include <optional>
#include <string>

namespace {

using shelltest::MainFrameTest;

constexpr const char* kMember = "13800138000";  // a member until 2027-12-31
constexpr const char* kNotMember = "未开通会员";
constexpr const char* kUserInfoPath = "/api/user/userinfo.html";

class MainFrameLoginTest : public MainFrameTest {
  protected:
    void SetUp() override {
        MainFrameTest::SetUp();
        ASSERT_TRUE(store.Started());
        // The store answers the logins, the user information and the pages.
        for (const char* host : {"VANTO_STORE_HOST", "VANTO_CLIENT_PAGE_HOST", "VANTO_FEEDBACK_PAGE_HOST"})
            sandbox.SetEnv(host, store.Env(host));
    }

    // The account pop-up opened from the account area's `control`.
    HWND OpenPopup(const char* control) {
        if (!automation.Click(hwnd, control))
            return nullptr;
        return automation.WaitForLayout("Form_user_info.xml");
    }
    // The login dialog, through the logged-out pop-up's "立即登录".
    HWND OpenLoginDialog() {
        const HWND popup = OpenPopup("btnLogin");
        if (popup == nullptr || !automation.Click(popup, "btnLogin"))
            return nullptr;
        return automation.WaitForLayout("dlg_reg.xml");
    }

    // The message box up now, answered with its close button; its text.
    std::optional<std::string> TakeBox() {
        automation.RunUntilIdle();
        const HWND box = automation.FindByLayout("dlg_message.xml");
        if (box == nullptr || !automation.IsVisible(box))
            return std::nullopt;
        std::optional<std::string> text = automation.Text(box, "context");
        EXPECT_TRUE(automation.Click(box, "btnClose"));
        return text;
    }
    static std::string LangMessage(const std::string& key) {
        std::string text;
        ReadLangEntry("Message", key, "", text, 260, GetLangFilePath());
        return text;
    }

    bool FetchEnded() {
        return vtest::WaitFor(
            [&] { return !ui->Call<bool>([&] { return frame->IsUserInfoFetchRunning(); }).value_or(true); });
    }
    std::string SavedToken() {
        return os::RegGetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount, 4096)
            .value_or("");
    }
    void Restart() {
        ui->Run([&] { DestroyWindow(hwnd); });
        CMainFrame::ForgetDestroyedInstance();
        UserSession::Instance().Update([](UserSessionValues& values) { values = UserSessionValues{}; });
        LoadSavedLogin();
    }

    vtest::DemoStore store{sandbox};
};

// An SMS login from the logged-out account area: the code the store sent is
// typed, the login is kept and shown, the web login follows, the pop-up
// says "not a member" until the store's answer about the user arrives, and
// a restart finds the user logged in.
TEST_F(MainFrameLoginTest, AnSmsLoginIsShownKeptAndRestoredAndTheMembershipFollowsTheUsersInformation) {
    Json::Value stall;
    stall["service"] = "store";
    stall["path"] = kUserInfoPath;
    stall["stall"] = true;
    ASSERT_TRUE(store.SetFault(stall));
    ASSERT_NE(Open(), nullptr);
    const HWND dialog = OpenLoginDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ui->Call<HWND>([&] { return GetWindowOwner(dialog); }), hwnd);
    ASSERT_TRUE(automation.Type(dialog, "userMobile", kMember));
    ASSERT_TRUE(automation.Click(dialog, "btnSendVeryfyCode"));
    ASSERT_NE(automation.WaitForLayout("dlg_message.xml"), nullptr);  // the store answers off the UI thread
    ASSERT_TRUE(TakeBox());
    const std::string code = store.LastSmsCode(kMember);
    ASSERT_EQ(code.size(), 6U);
    ASSERT_TRUE(automation.Type(dialog, "verifyCode", code));
    ASSERT_TRUE(automation.Click(dialog, "btnMobileLogin"));
    ASSERT_NE(automation.WaitForLayout("dlg_message.xml"), nullptr);
    EXPECT_EQ(TakeBox(), LangMessage("LoginSuccess"));

    const std::string token = SavedToken();
    ASSERT_FALSE(token.empty());
    EXPECT_EQ(UserSession::Instance().SessionToken(), token);
    EXPECT_EQ(TabUserPage(), 1);
    EXPECT_NE(automation.Text(hwnd, "userNickname").value_or("").find(kMember), std::string::npos);
    EXPECT_TRUE(Visible("Option05"));
    EXPECT_TRUE(Visible("Option06"));
    EXPECT_EQ(Loads("web_register2client").back(),
              "http://" + store.Env("VANTO_CLIENT_PAGE_HOST") + "/api/user/refreshWebLogin?X-token=" + token);
    EXPECT_TRUE(automation.IsEnabled(hwnd));

    // The user's information is held back by the store: not a member yet.
    HWND popup = OpenPopup("userNickname");
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(automation.Text(popup, "UserInfoAccount"), kMember);
    EXPECT_EQ(automation.Text(popup, "text_vip"), kNotMember);
    ASSERT_TRUE(automation.PressKey(popup, VK_ESCAPE));
    ASSERT_TRUE(store.ClearFaults());
    ASSERT_TRUE(FetchEnded());
    popup = OpenPopup("userNickname");
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(automation.Text(popup, "text_vip"), "2027-12-31");
    EXPECT_TRUE(automation.IsControlVisible(popup, "pic_vip").value_or(false));
    ASSERT_TRUE(automation.PressKey(popup, VK_ESCAPE));

    // The next start of the client.
    Restart();
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(UserSession::Instance().SessionToken(), token);
    EXPECT_EQ(TabUserPage(), 1);
    EXPECT_NE(automation.Text(hwnd, "userNickname").value_or("").find(kMember), std::string::npos);
    EXPECT_EQ(Loads("web_register2client").back(),
              "http://" + store.Env("VANTO_CLIENT_PAGE_HOST") + "/api/user/refreshWebLogin?X-token=" + token);
}

// A QQ sign-in: the store's sign-in page hands the result back through the
// browser dialog; the window shows the nickname with the QQ icon.
TEST_F(MainFrameLoginTest, AQqSignInLogsInWithTheOpenidAndTheNickname) {
    ASSERT_NE(Open(), nullptr);
    const HWND dialog = OpenLoginDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(automation.Click(dialog, "btnQQ"));
    const HWND browser = automation.WaitForLayout("dlg_webbrowser.xml");
    ASSERT_NE(browser, nullptr);
    const wkeWebView page = engine->View(engine->ViewCount() - 1);
    const std::string signIn = engine->Requests(page).back().substr(8);
    ASSERT_EQ(signIn.rfind(store.BaseUrl("store") + "/index/index/qqlogin.html?", 0), 0U) << signIn;
    EXPECT_EQ(engine->PageMessage(page, signIn.c_str(),
                                  R"({"result":1,"errInfo":"","openid":"o-qq-7","nickname":"小林"})"),
              "");
    EXPECT_EQ(TakeBox(), LangMessage("LoginSuccess"));
    EXPECT_EQ(SavedToken(), "o-qq-7");
    EXPECT_EQ(os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kLoginType), 2U);
    EXPECT_NE(automation.Text(hwnd, "userNickname").value_or("").find("小林"), std::string::npos);
    const std::string image = ui->Call<std::string>([&] {
                                    auto* button = DuiLib::ControlCast<DuiLib::CButtonUI>(
                                        DuiLib::Automation::FindControl(hwnd, "userNickname"));
                                    return button != nullptr ? button->GetNormalImage() : std::string();
                                }).value_or("");
    EXPECT_NE(image.find("pic_login_qq"), std::string::npos) << image;
}

// While the login dialog is up, a page's or the pop-up's request for it is
// dropped, not nested; a dialog closed without a login changes nothing.
TEST_F(MainFrameLoginTest, ALoginRequestWhileTheDialogIsUpIsDroppedAndClosingItLeavesNobodyLoggedIn) {
    ASSERT_NE(Open(), nullptr);
    const HWND dialog = OpenLoginDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(ui->Call<bool>([&] { return frame->IsModalFlowRunning(); }).value_or(false));
    ui->Run([&] { PostMessageW(hwnd, UM_SHOW_LOGIN, 0, 0); });
    automation.RunUntilIdle();
    EXPECT_EQ(automation.FindByLayout("dlg_reg.xml"), dialog);
    ASSERT_TRUE(automation.Click(dialog, "btnClose"));
    EXPECT_TRUE(vtest::WaitFor(
        [&] { return !ui->Call<bool>([&] { return frame->IsModalFlowRunning(); }).value_or(true); }));
    automation.RunUntilIdle();
    // Exactly one dialog ran: none comes after it.
    EXPECT_EQ(automation.FindByLayout("dlg_reg.xml"), nullptr);
    EXPECT_FALSE(TakeBox());
    EXPECT_FALSE(UserSession::Instance().IsLoggedIn());
    EXPECT_EQ(TabUserPage(), 0);
    EXPECT_TRUE(automation.IsEnabled(hwnd));
}

// The menu's feedback entry: the store's feedback page in the browser dialog,
// modal over the main window, titled from the language file.
TEST_F(MainFrameLoginTest, TheFeedbackEntryOpensTheFeedbackPageInTheBrowserDialog) {
    ASSERT_NE(Open(SW_SHOW), nullptr);
    ASSERT_TRUE(automation.Click(hwnd, "btnMenu"));
    const HWND menu = ui->Call<HWND>([&] { return frame->GetPopupMenu()->GetHWND(); }).value_or(nullptr);
    ASSERT_TRUE(automation.Click(menu, "menuFeedback"));
    const HWND browser = automation.WaitForLayout("dlg_webbrowser.xml");
    ASSERT_NE(browser, nullptr);
    const std::string title = ui->Call<std::string>([] { return LoadLangText("Feedback"); }).value_or("");
    ASSERT_FALSE(title.empty());
    EXPECT_EQ(automation.FindByTitle(title), browser);
    EXPECT_EQ(automation.Text(browser, "caption"), title);
    const wkeWebView page = engine->View(engine->ViewCount() - 1);
    EXPECT_EQ(engine->Requests(page).back(),
              "loadURL http://" + store.Env("VANTO_FEEDBACK_PAGE_HOST") + "/msg/?a=0&t=0&appid=2002");
    EXPECT_FALSE(automation.IsEnabled(hwnd));
    ASSERT_TRUE(automation.Click(browser, "btnClose"));
    EXPECT_TRUE(vtest::WaitFor([&] { return automation.IsEnabled(hwnd); }));
}

}  // namespace
