// QQ and WeChat sign-in through the browser dialog: the login dialog opens
// the store's sign-in page in it, the (scripted) page posts its result, and
// the login dialog takes it, or not.

#include "LoginFixture.h"

#include <string>

namespace {

using logintest::Box;
using logintest::kInstallId;
using logintest::LoginTest;

constexpr const char* kQqPath = "/index/index/qqlogin.html";
constexpr const char* kWeChatPath = "/index/index/offiaccountLogin.html";
constexpr const char* kAuthorizationFailed = "授权登录失败，请重试或换用其他登录方式。";

enum class Expect {
    LoggedIn,    // the login dialog ends with the page's token and name
    StaysQuiet,  // the browser closes; the login dialog stays, nothing shown
    Fails,       // "AuthorizationFailed"
    Ignored,     // the browser stays open: the text is no result for it
};

class SignInTest : public LoginTest {
  protected:
    // Clicks the sign-in button; the browser dialog it opens.
    HWND OpenSignIn(const char* button) {
        if (!automation.Click(m_window, button))
            return nullptr;
        return automation.WaitForLayout("dlg_webbrowser.xml");
    }
    wkeWebView PageView() const { return engine.View(engine.ViewCount() - 1); }
    std::string SignInPage(const char* path) const {
        return store.BaseUrl("store") + path +
               "?p=2&appid=2002&adid=&partner_id=0&machine_code=" + kInstallId;
    }
};

TEST_F(SignInTest, TheSignInPagesOpenInTheBrowserDialogWithTheDevicesValues) {
    struct Case {
        const char* button;
        const char* title;
        const char* caption;
        const char* path;
    };
    for (const Case& c :
         {Case{"btnQQ", "QQ", "QQ登录", kQqPath}, Case{"btnWeChat", "WeChat", "微信登录", kWeChatPath}}) {
        ASSERT_NE(Open(), nullptr);
        const HWND browser = OpenSignIn(c.button);
        ASSERT_NE(browser, nullptr) << c.button;
        EXPECT_EQ(automation.FindByTitle(c.title), browser);
        EXPECT_EQ(automation.Text(browser, "caption"), c.caption);
        EXPECT_EQ(engine.Requests(PageView()).back(), "loadURL " + SignInPage(c.path));
        EXPECT_EQ(ui.Call<HWND>([browser] { return ::GetWindowOwner(browser); }), m_window);
        EXPECT_FALSE(automation.IsEnabled(m_window));
        // Closed without a result: nothing happens.
        ASSERT_TRUE(automation.Click(browser, "btnClose"));
        EXPECT_FALSE(TakeBox()) << c.button;
        ASSERT_TRUE(StillOpen());
        EXPECT_TRUE(automation.IsEnabled(m_window));
        ASSERT_TRUE(automation.Click(m_window, "btnClose"));
        ASSERT_TRUE(Ended());
    }
}

// What each result of the page does, sent from the store's sign-in page or
// from a page elsewhere.
TEST_F(SignInTest, TheResultOfTheSignInPage) {
    struct Case {
        const char* button;
        bool fromStore;
        const char* message;
        Expect expect;
        int loginType;
    };
    const Case cases[] = {
        {"btnQQ", true, R"({"result":1,"errInfo":"","openid":"o-qq-1","nickname":"小林"})", Expect::LoggedIn,
         2},
        {"btnWeChat", true, R"({"result":1,"errInfo":"","openid":"o-wx-1","nickname":"阿明"})",
         Expect::LoggedIn, 3},
        {"btnQQ", true, R"({"result":1,"errInfo":"","openid":"","nickname":"小林"})", Expect::StaysQuiet, 0},
        {"btnQQ", true, R"({"result":0,"errInfo":"用户取消了登录","openid":"","nickname":""})", Expect::Fails,
         0},
        {"btnWeChat", true, R"({"result":1,"openid":"o wx","nickname":"x"})", Expect::Fails, 0},
        {"btnQQ", true, R"({"result":1 "openid":"o"})", Expect::StaysQuiet, 0},
        {"btnQQ", true, "result=1&openid=o-qq-1", Expect::Ignored, 0},
        {"btnQQ", false, R"({"result":1,"errInfo":"","openid":"o-evil","nickname":"x"})", Expect::Ignored, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ASSERT_NE(Open(), nullptr);
        const HWND browser = OpenSignIn(c.button);
        ASSERT_NE(browser, nullptr);
        const std::string page = c.fromStore
                                     ? SignInPage(c.button == std::string("btnQQ") ? kQqPath : kWeChatPath)
                                     : store.BaseUrl("client") + "/ppt.html";
        EXPECT_EQ(engine.PageMessage(PageView(), page.c_str(), c.message), "");
        automation.RunUntilIdle();
        if (c.expect == Expect::Ignored) {
            ASSERT_TRUE(automation.IsVisible(browser));
            ASSERT_TRUE(automation.Click(browser, "btnClose"));
        }
        const std::optional<Box> box = TakeBox();
        EXPECT_EQ(box.has_value(), c.expect == Expect::Fails);
        if (box) {
            EXPECT_EQ(box->text, kAuthorizationFailed);
            EXPECT_TRUE(box->error);
        }
        if (c.expect == Expect::LoggedIn) {
            ASSERT_TRUE(Ended());
            EXPECT_EQ(m_result, 1U);
            const auto json = vtest::ParseJson(c.message);
            EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); }),
                      json["openid"].asString());
            EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountName(); }),
                      json["nickname"].asString());
        } else {
            ASSERT_TRUE(StillOpen());
            EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); }), "");
            ASSERT_TRUE(automation.Click(m_window, "btnClose"));
            ASSERT_TRUE(Ended());
        }
        EXPECT_EQ(Read<int>([](const CNewRegDlg& d) { return d.loginType(); }), c.loginType);
        // The browser dialog is gone with its view.
        EXPECT_FALSE(engine.IsLive(PageView()));
    }
}

}  // namespace
