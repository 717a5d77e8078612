// The login dialog's code login against the demo store: the controls and
// their limits, asking for a code (what is refused before any request, the
// server's answers, the run log), the countdown, the login itself with the
// number the code went to, and closing.

#include "LoginFixture.h"
#include "diag/RunLog.h"
#include "net/SessionToken.h"
#include "net/StoreApi.h"
#include "platform/os/WorkerThread.h"

#include <cstdlib>
#include <filesystem>

namespace {

using logintest::Box;
using logintest::kInstallId;
using logintest::LoginTest;

constexpr const char* kSendPath = "/api/sms/sendsms.html";
constexpr const char* kLoginPath = "/api/public_api/smsLogin.html";
constexpr const char* kMember = "13800138000";
constexpr const char* kOther = "13900139000";
constexpr const char* kSentText = "验证码已发送到您的手机，请注意查收。";
constexpr const char* kInvalidMobile = "请输入正确的11位手机号码。";
constexpr const char* kCodeEmpty = "请输入短信验证码。";
constexpr const char* kAuthorizationFailed = "授权登录失败，请重试或换用其他登录方式。";

// The process's run log, opened once for the whole program in a folder of
// its own; tests read what they added to it.
class RunLogEnvironment : public ::testing::Environment {
  public:
    static std::string Path() { return Folder() + "/log.txt"; }
    void SetUp() override {
        CRunLog::Instance().SetPath(Path());
        CRunLog::Instance().Open();
    }
    void TearDown() override { std::filesystem::remove_all(Folder()); }

  private:
    static std::string Folder() {
        static const std::string folder = [] {
            std::string pattern = std::filesystem::temp_directory_path().string() + "/vanto-runlog-XXXXXX";
            return std::string(::mkdtemp(pattern.data()) != nullptr ? pattern : "");
        }();
        return folder;
    }
};
const auto* const kRunLog = ::testing::AddGlobalTestEnvironment(new RunLogEnvironment);  // gtest owns it

class NewRegDlgTest : public LoginTest {
  protected:
    // What the run log gained since the test began.
    std::string RunLogAdded() const { return vtest::ReadFile(RunLogEnvironment::Path()).substr(m_logStart); }
    std::size_t m_logStart = vtest::ReadFile(RunLogEnvironment::Path()).size();

    // A code for `phone` asked for successfully; the code the store sent.
    std::string SendCodeOk(const std::string& phone) {
        const std::optional<Box> box = SendCode(phone);
        EXPECT_TRUE(box && box->text == kSentText && !box->error);
        return store.LastSmsCode(phone);
    }
};

TEST_F(NewRegDlgTest, TheDialogOpensWithItsFieldsEmptyAndTheirLimits) {
    ASSERT_NE(Open(), nullptr);
    EXPECT_EQ(automation.FindByTitle(""), m_window);
    EXPECT_EQ(Text("btnSendVeryfyCode"), "发送验证码");
    EXPECT_TRUE(Enabled("btnSendVeryfyCode"));
    EXPECT_FALSE(Enabled("btnMobileLogin"));
    EXPECT_EQ(automation.IsControlVisible(m_window, "frame_protocol"), true);
    EXPECT_FALSE(automation.IsEnabled(m_owner->GetHWND()));
    EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.MachineCodeSent(); }), kInstallId);
    // Typing keeps to digits and to the fields' lengths.
    ASSERT_TRUE(automation.Type(m_window, "userMobile", "138-0013 8000 999"));
    ASSERT_TRUE(automation.Type(m_window, "verifyCode", "12a3456789"));
    EXPECT_EQ(Text("userMobile"), "13800138000");
    EXPECT_EQ(Text("verifyCode"), "123456");
    ASSERT_TRUE(automation.Click(m_window, "btnClose"));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(m_result, 1U);
    EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); }), "");
    EXPECT_EQ(Read<int>([](const CNewRegDlg& d) { return d.loginType(); }), 0);
    EXPECT_TRUE(automation.IsEnabled(m_owner->GetHWND()));
}

TEST_F(NewRegDlgTest, ThePartnerConfigurationMayHideTheAgreementLine) {
    struct Case {
        const char* oem;
        bool shown;
    };
    for (const Case& c :
         {Case{"[new_reg_dlg]\r\nshow_protocol=0\r\n", false},
          Case{"[new_reg_dlg]\r\nshow_protocol=2\r\n", true}, Case{"[other]\r\nx=0\r\n", true}}) {
        vtest::WriteFile(sandbox.ProgramDir() + "/oem.ini", c.oem);
        ASSERT_NE(Open(), nullptr);
        EXPECT_EQ(automation.IsControlVisible(m_window, "frame_protocol"), c.shown) << c.oem;
        ASSERT_TRUE(automation.Click(m_window, "btnClose"));
        ASSERT_TRUE(Ended());
    }
}

// A number that is not 11 ASCII digits never reaches the store, whichever
// way it came into the field; the press still takes it as the number.
TEST_F(NewRegDlgTest, ANumberThatIsNotElevenDigitsIsRefusedWithoutARequest) {
    ASSERT_NE(Open(), nullptr);
    for (const char* phone : {"1380013800", "", "1380013800a", "１３８００１３８０００", "1380013800\n",
                              "138001380001", "13800138000&x=1"}) {
        SetEditText("userMobile", phone);
        ASSERT_TRUE(automation.Click(m_window, "btnSendVeryfyCode"));
        const std::optional<Box> box = TakeBox();
        ASSERT_TRUE(box) << phone;
        EXPECT_EQ(box->text, kInvalidMobile) << phone;
        EXPECT_FALSE(box->error) << phone;
        EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.Phone(); }), phone);
        EXPECT_TRUE(ui.Call<bool>([this] {
                          auto* manager = DuiLib::Automation::ManagerOf(m_window);
                          return manager->GetFocus() == manager->FindControl("userMobile");
                      }).value_or(false))
            << phone;
    }
    EXPECT_TRUE(StoreRequests(kSendPath).empty());
    EXPECT_EQ(RunLogAdded(), "");
    EXPECT_FALSE(Enabled("btnMobileLogin"));
}

// An SMS login end to end: the code read from the store's records, typed,
// and the login made with the number the code went to, even after the
// field changed; the device identifier is the one of the dialog's making.
TEST_F(NewRegDlgTest, ACodeLoginUsesTheNumberTheCodeWentTo) {
    ASSERT_NE(Open(), nullptr);
    const std::string code = SendCodeOk(kMember);
    ASSERT_EQ(code.size(), 6U);
    EXPECT_EQ(RunLogAdded(), "*********************on SendCaptchaToPhone*********************\n**code:1\n");
    const std::vector<Json::Value> sent = StoreRequests(kSendPath);
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0]["target"].asString().rfind(std::string(kSendPath) + "?phone=" + kMember + "&time=", 0),
              0U);
    EXPECT_TRUE(Enabled("btnMobileLogin"));
    EXPECT_FALSE(Enabled("btnSendVeryfyCode"));

    // Taken when the dialog was made: a later identifier is not the one sent.
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, settings::kMachineIdKey, settings::kInstallUuidValue,
                                 "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"));
    SetEditText("userMobile", kOther);
    ASSERT_TRUE(automation.Type(m_window, "verifyCode", code));
    ASSERT_TRUE(automation.Click(m_window, "btnMobileLogin"));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(m_result, 1U);
    const std::string token = Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); });
    EXPECT_FALSE(token.empty());
    EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountName(); }), kMember);
    EXPECT_EQ(Read<int>([](const CNewRegDlg& d) { return d.loginType(); }), 1);
    const std::vector<Json::Value> login = StoreRequests(kLoginPath);
    ASSERT_EQ(login.size(), 1U);
    EXPECT_EQ(login[0]["target"].asString(),
              std::string(kLoginPath) + "?phone=" + kMember + "&code=" + code +
                  "&p=2&appid=2002&adid=&partner_id=0&machine_code=" + kInstallId);
    // The token is the store's for that user: the member's information
    // comes with it.
    SetSessionTokenProvider([token] { return token; });
    const api::UserInfo info = api::FetchUserInfo();
    SetSessionTokenProvider({});
    EXPECT_TRUE(info.succeeded);
    EXPECT_FALSE(info.stopTime.empty());
}

TEST_F(NewRegDlgTest, TheCountdownRunsFrom120To1AndOnlyThenAllowsAnotherCode) {
    ASSERT_NE(Open(), nullptr);
    SendCodeOk(kMember);
    EXPECT_EQ(Read<int>([](const CNewRegDlg& d) { return d.Countdown(); }), 120);
    EXPECT_EQ(Read<UINT_PTR>([](const CNewRegDlg& d) { return d.TimerId(); }), CNewRegDlg::kCountdownTimer);
    for (int shown = 120; shown >= 1; --shown) {
        ASSERT_TRUE(automation.AdvanceClock(1000));
        ASSERT_EQ(Text("btnSendVeryfyCode"), std::to_string(shown) + "秒后重新发送");
        ASSERT_FALSE(Enabled("btnSendVeryfyCode")) << shown;
        ASSERT_FALSE(automation.Click(m_window, "btnSendVeryfyCode")) << shown;
    }
    ASSERT_TRUE(automation.AdvanceClock(1000));
    EXPECT_EQ(Text("btnSendVeryfyCode"), "重新发送");
    EXPECT_TRUE(Enabled("btnSendVeryfyCode"));
    EXPECT_EQ(Read<UINT_PTR>([](const CNewRegDlg& d) { return d.TimerId(); }), 0U);
    EXPECT_EQ(StoreRequests(kSendPath).size(), 1U);
    // Another code replaces the number.
    SendCodeOk(kOther);
    EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.Phone(); }), kOther);
    EXPECT_EQ(StoreRequests(kSendPath).size(), 2U);
}

TEST_F(NewRegDlgTest, ClosingDuringTheCountdownStopsItsTimer) {
    ASSERT_NE(Open(), nullptr);
    SendCodeOk(kMember);
    ASSERT_TRUE(automation.AdvanceClock(3000));
    ASSERT_EQ(Text("btnSendVeryfyCode"), "118秒后重新发送");
    ASSERT_TRUE(automation.Click(m_window, "btnClose"));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Read<UINT_PTR>([](const CNewRegDlg& d) { return d.TimerId(); }), 0U);
    EXPECT_EQ(Read<int>([](const CNewRegDlg& d) { return d.Countdown(); }), 0);
    // The dialog's controls outlive its window; nothing ticks them on.
    ASSERT_TRUE(automation.AdvanceClock(5000));
    EXPECT_EQ(ui.Call<std::string>(
                  [this] { return m_dialog->GetPaintManager().FindControl("btnSendVeryfyCode")->GetText(); }),
              "118秒后重新发送");
    EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); }), "");
}

// How each answer to a code request is taken: success starts the countdown;
// a refusal shows the server's words (empty without "msg"); no answer, an
// error page or a reply without "code" changes nothing.
TEST_F(NewRegDlgTest, AnswersToACodeRequest) {
    struct Case {
        const char* name;
        Json::Value fault;
        std::optional<std::string> shown;  // the box's text; none: no box
        const char* logged;
        bool countdown;
    };
    auto body = [](const char* text, int status = 200) {
        Json::Value fault;
        fault["body"] = text;
        fault["status"] = status;
        return fault;
    };
    Json::Value cut;
    cut["truncate"] = 0;
    const std::string header = "*********************on SendCaptchaToPhone*********************\n";
    const Case cases[] = {
        {"refusal", body(R"({"code":0,"msg":"手机号码格式不正确"})"), "手机号码格式不正确",
         "**code:!1**msg:手机号码格式不正确\n", false},
        {"refusal without msg", body(R"({"code":0})"), "", "**code:!1**msg:\n", false},
        {"code of another type", body(R"({"code":"1","msg":"?"})"), "?", "**code:!1**msg:?\n", false},
        {"no reply", cut, std::nullopt, "", false},
        {"error page", body("<html><body>502 Bad Gateway</body></html>", 502), std::nullopt, "", false},
        {"no code", body(R"({"msg":"维护中"})"), std::nullopt, "", false},
        {"success", body(R"({"code":1})"), kSentText, "**code:1\n", true},
    };
    ASSERT_NE(Open(), nullptr);
    for (const Case& c : cases) {
        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(SetStoreFault(kSendPath, c.fault)) << c.name;
        const std::size_t logBefore = RunLogAdded().size();
        const std::optional<Box> box = SendCode(kMember);
        EXPECT_EQ(box.has_value(), c.shown.has_value()) << c.name;
        if (box && c.shown) {
            EXPECT_EQ(box->text, *c.shown) << c.name;
            EXPECT_EQ(box->caption, c.countdown ? "墨林工坊" : "提示") << c.name;
            EXPECT_EQ(box->error, !c.countdown) << c.name;
        }
        EXPECT_EQ(RunLogAdded().substr(logBefore), header + c.logged) << c.name;
        EXPECT_EQ(Enabled("btnMobileLogin"), c.countdown) << c.name;
        EXPECT_EQ(Enabled("btnSendVeryfyCode"), !c.countdown) << c.name;
        EXPECT_EQ(Read<int>([](const CNewRegDlg& d) { return d.Countdown(); }), c.countdown ? 120 : 0)
            << c.name;
    }
    EXPECT_TRUE(StillOpen());
}

// How each answer to a login is taken, once a code was sent: a refusal
// shows the server's words; no answer changes nothing; a token the client
// cannot carry is a failed login; only a usable token ends the dialog.
TEST_F(NewRegDlgTest, AnswersToALogin) {
    struct Case {
        const char* name;
        const char* reply;
        std::optional<std::string> shown;
        bool error;
    };
    const Case cases[] = {
        {"refusal", R"({"code":0,"msg":"验证码错误"})", "验证码错误", true},
        {"refusal without msg", R"({"code":0})", "", true},
        {"no code", R"({"data":{"jwt":"t"}})", std::nullopt, false},
        {"error page", "<html>500</html>", std::nullopt, false},
        {"nothing", "", std::nullopt, false},
        {"no token", R"({"code":1,"data":{}})", kAuthorizationFailed, true},
        {"blank in token", R"({"code":1,"data":{"jwt":"a.b c"}})", kAuthorizationFailed, true},
        {"line break in token", R"({"code":1,"data":{"jwt":"a.b\r\nX-Admin: 1"}})", kAuthorizationFailed,
         true},
        {"ideographic space", R"({"code":1,"data":{"jwt":"a\u3000b"}})", kAuthorizationFailed, true},
        {"success", R"({"code":1,"data":{"jwt":"tok-1.sig"}})", std::nullopt, false},
    };
    ASSERT_NE(Open(), nullptr);
    const std::string code = SendCodeOk(kMember);
    ASSERT_TRUE(automation.Type(m_window, "verifyCode", code));
    for (const Case& c : cases) {
        Json::Value fault;
        fault["body"] = c.reply;
        ASSERT_TRUE(store.ClearFaults());
        ASSERT_TRUE(SetStoreFault(kLoginPath, fault)) << c.name;
        ASSERT_TRUE(automation.Click(m_window, "btnMobileLogin")) << c.name;
        ASSERT_TRUE(WaitForAnswer()) << c.name;
        const std::optional<Box> box = TakeBox();
        ASSERT_EQ(box.has_value(), c.shown.has_value()) << c.name;
        if (box) {
            EXPECT_EQ(box->text, *c.shown) << c.name;
            EXPECT_EQ(box->error, c.error) << c.name;
        }
        if (c.name == std::string("success"))
            break;
        ASSERT_TRUE(StillOpen()) << c.name;
        EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); }), "") << c.name;
    }
    // The store was asked each time: its own answers were replaced.
    EXPECT_EQ(StoreRequests(kLoginPath).size(), std::size(cases));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); }), "tok-1.sig");
    EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountName(); }), kMember);
}

// The code and the number must be digits before they go into the login
// address; a number that a later press left refused is not the one the
// code went to.
TEST_F(NewRegDlgTest, ALoginWithoutADigitCodeOrWithARefusedNumberSendsNothing) {
    ASSERT_NE(Open(), nullptr);
    SendCodeOk(kMember);
    for (const char* code : {"", "12a456", "１２３４５６", "123&x=1"}) {
        SetEditText("verifyCode", code);
        ASSERT_TRUE(automation.Click(m_window, "btnMobileLogin"));
        const std::optional<Box> box = TakeBox();
        ASSERT_TRUE(box) << code;
        EXPECT_EQ(box->text, kCodeEmpty) << code;
        EXPECT_FALSE(box->error) << code;
    }
    ASSERT_TRUE(automation.AdvanceClock(121000));
    SetEditText("userMobile", "1380013800");
    ASSERT_TRUE(automation.Click(m_window, "btnSendVeryfyCode"));
    ASSERT_EQ(TakeBox()->text, kInvalidMobile);
    SetEditText("verifyCode", "123456");
    ASSERT_TRUE(automation.Click(m_window, "btnMobileLogin"));
    EXPECT_EQ(TakeBox()->text, kInvalidMobile);
    EXPECT_TRUE(StoreRequests(kLoginPath).empty());
    EXPECT_TRUE(StillOpen());
}

// A request the store holds never freezes the dialog: it takes input while
// neither code button can ask again. However the wait ends, the store is
// asked once, and only an answer the dialog still waits for is taken:
// closing or choosing a sign-in page stops the request at once, and the
// store's late answer shows nothing.
TEST_F(NewRegDlgTest, AStalledRequestLeavesTheDialogUsableAndEndsAsTheUserChooses) {
    enum class End { Answered, Closed, SignInChosen };
    const std::string header = "*********************on SendCaptchaToPhone*********************\n";
    for (const bool login : {false, true}) {
        for (const End end : {End::Answered, End::Closed, End::SignInChosen}) {
            SCOPED_TRACE(::testing::Message() << "login " << login << ", end " << static_cast<int>(end));
            const char* path = login ? kLoginPath : kSendPath;
            const bool answered = end == End::Answered;
            ASSERT_TRUE(store.ClearFaults());
            ASSERT_NE(Open(), nullptr);
            if (login) {
                ASSERT_TRUE(automation.Type(m_window, "verifyCode", SendCodeOk(kMember)));
                SetEditText("userMobile", "");
            } else {
                ASSERT_TRUE(automation.Type(m_window, "userMobile", kMember));
            }
            const std::size_t asked = StoreRequests(path).size();
            const std::size_t logBefore = RunLogAdded().size();
            ASSERT_TRUE(SetStoreFault(path, vtest::ParseJson(R"({"stall":true})")));
            ASSERT_TRUE(automation.Click(m_window, login ? "btnMobileLogin" : "btnSendVeryfyCode"));
            ASSERT_TRUE(vtest::WaitFor([&] { return StoreRequests(path).size() == asked + 1; }));
            ASSERT_TRUE(automation.Type(m_window, login ? "userMobile" : "verifyCode", "139"));
            EXPECT_EQ(Text(login ? "userMobile" : "verifyCode"), "139");
            EXPECT_TRUE(RequestRunning());
            EXPECT_FALSE(Enabled("btnSendVeryfyCode") || Enabled("btnMobileLogin"));
            const HWND browser = end == End::SignInChosen && automation.Click(m_window, "btnQQ")
                                     ? automation.WaitForLayout("dlg_webbrowser.xml")
                                     : nullptr;
            EXPECT_EQ(browser != nullptr, end == End::SignInChosen);
            if (end == End::Closed) {
                ASSERT_TRUE(automation.Click(m_window, "btnClose"));
                ASSERT_TRUE(Ended());
            }
            // Stopped: ended long before the request layer's own limits.
            EXPECT_TRUE(answered || vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; },
                                                   std::chrono::seconds(10)));
            ASSERT_TRUE(store.ClearFaults());
            EXPECT_TRUE(WaitForAnswer());
            if (browser != nullptr) {
                EXPECT_TRUE(automation.Click(browser, "btnClose"));
            }
            const std::optional<Box> box = TakeBox();
            EXPECT_EQ(box ? box->text : "", answered && !login ? kSentText : "");
            EXPECT_EQ(RunLogAdded().substr(logBefore), login ? "" : header + (answered ? "**code:1\n" : ""));
            EXPECT_EQ(Read<std::string>([](const CNewRegDlg& d) { return d.accountToken(); }).empty(),
                      !(answered && login));
            EXPECT_EQ(StoreRequests(path).size(), asked + 1);
            if (StillOpen()) {  // the buttons back, as the countdown and a code sent allow
                EXPECT_EQ(Enabled("btnSendVeryfyCode"), !login && !answered);
                EXPECT_EQ(Enabled("btnMobileLogin"), login || answered);
                ASSERT_TRUE(automation.Click(m_window, "btnClose"));
            }
            ASSERT_TRUE(Ended());
        }
    }
}

TEST_F(NewRegDlgTest, TheAgreementButtonsOpenTheStoresHelpPages) {
    const std::string bin = sandbox.Root() + "/fakebin";
    std::filesystem::create_directories(bin);
    // The desktop's opener, recording what it is asked to open.
    vtest::WriteFile(bin + "/xdg-open",
                     "#!/bin/sh\nprintf '%s\\n' \"$1\" >> " + sandbox.Root() + "/opened\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    sandbox.SetEnv("PATH", bin + ":/usr/bin:/bin");
    ASSERT_NE(Open(), nullptr);
    ASSERT_TRUE(automation.Click(m_window, "btn_service_protocol"));
    ASSERT_TRUE(vtest::WaitFor([&] { return vtest::Exists(sandbox.Root() + "/opened"); }));
    ASSERT_TRUE(automation.Click(m_window, "btn_secret_protocol"));
    const std::string base = store.BaseUrl("store");
    const std::string expected = base + "/help/8.html\n" + base + "/help/6.html\n";
    EXPECT_TRUE(vtest::WaitFor([&] { return vtest::ReadFile(sandbox.Root() + "/opened") == expected; }))
        << vtest::ReadFile(sandbox.Root() + "/opened");
    EXPECT_TRUE(StillOpen());
}

}  // namespace
