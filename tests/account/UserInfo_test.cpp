// The account pop-up: how it opens, what it shows logged in and logged out,
// and what its entries tell the main window.

#include "account/UserInfo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "UserInfoFixture.h"
#include "config/Settings.h"
#include "platform/duilib/SystemServices.h"
#include "platform/duilib/backend/Screen.h"
#include "platform/os/Registry.h"

namespace {

using userinfotest::kMemberPhone;
using userinfotest::kPlainPhone;
using userinfotest::UserInfoStoreTest;
using userinfotest::UserInfoTest;

constexpr const char* kNotMember = "未开通会员";

class UserInfoPopupTest : public UserInfoTest {
  protected:
    void TearDown() override {
        DuiLib::SetClipboardSink(nullptr);
        UseDpi(96);
        UserInfoTest::TearDown();
    }
    void UseDpi(int dpi) {
        ui.Run([dpi] {
            DuiLib::ScreenInfo screen = DuiLib::GetMainScreen();
            screen.dpi = dpi;
            DuiLib::SetMainScreen(screen);
            DuiLib::CPaintManagerUI::SetAllDPI(dpi);
        });
    }
    // Records every text put on the clipboard.
    void WatchClipboard() {
        DuiLib::SetClipboardSink([this](const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_copied.push_back(text);
        });
    }
    std::vector<std::string> Copied() {
        std::lock_guard lock(m_mutex);
        return m_copied;
    }
    bool Gone(HWND popup) {
        return vtest::WaitFor([&] {
            return !automation.Call<bool>([&] { return ::IsWindow(popup) != FALSE; }).value_or(true);
        });
    }
    SIZE Size(HWND popup) {
        const auto rc = WindowRect(popup);
        return rc ? SIZE{rc->Width(), rc->Height()} : SIZE{-1, -1};
    }

  private:
    std::mutex m_mutex;
    std::vector<std::string> m_copied;
};

TEST_F(UserInfoPopupTest, OpensAsATopMostToolPopupOfTheMainWindowThatKeepsItsActiveLook) {
    SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
    const HWND popup = OpenPopup("userNickname", {400, 120});
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(automation.FindByClass("VANTODialogClass"), popup);
    EXPECT_EQ(automation.FindByLayout("Form_user_info.xml"), popup);
    ui.Run([&] {
        EXPECT_EQ(::GetParent(popup), main->GetHWND());
        EXPECT_EQ(::GetWindowLongW(popup, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW),
                  static_cast<long>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW));
        EXPECT_EQ(::GetWindowLongW(popup, GWL_STYLE) & WS_POPUP, static_cast<long>(WS_POPUP));
        EXPECT_EQ(::GetFocus(), popup);
        ASSERT_FALSE(main->ncActivate.empty());
        EXPECT_EQ(main->ncActivate.back(), static_cast<WPARAM>(TRUE));
    });
    const auto rc = WindowRect(popup);
    ASSERT_TRUE(rc.has_value());
    EXPECT_EQ(rc->left, 400);
    EXPECT_EQ(rc->top, 120);
    EXPECT_EQ(Size(popup).cx, 260);
    EXPECT_EQ(Size(popup).cy, 255);
    // A control without a window opens nothing.
    EXPECT_EQ(ui.Call<HWND>([&] {
        return CUserInfo::Open(nullptr, {0, 0}, PicturePath(), session);
    }),
              std::optional<HWND>(nullptr));
}

TEST_F(UserInfoPopupTest, AfterACodeLoginItShowsThePhoneAndNotAMemberUntilAFetchArrives) {
    SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
    const HWND popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(Shown(popup, "UserInfoLogin"));
    EXPECT_EQ(Text(popup, "UserInfoAccount"), "13800138000");
    EXPECT_EQ(Text(popup, "text_vip"), kNotMember);
    EXPECT_FALSE(Shown(popup, "pic_vip"));
    EXPECT_FALSE(Shown(popup, "btnLogin"));
    // No picture yet: the default one stays.
    EXPECT_TRUE(Shown(popup, "UserInfo_defaultPic"));
    EXPECT_FALSE(Shown(popup, "UserInfo_Pic"));
}

TEST_F(UserInfoPopupTest, AMemberSeesTheBadgeAndTheEndOfThePeriodEvenWhenOnlyTheStartIsKnown) {
    struct Case {
        const char* start;
        const char* stop;
    };
    for (const Case c : {Case{"2026-01-01", "2027-12-31"}, Case{"2026-01-01", ""}}) {
        SCOPED_TRACE(std::string(c.start) + " / " + c.stop);
        SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
        session.Update([&](UserSessionValues& v) {
            v.startTime = c.start;
            v.stopTime = c.stop;
            v.isMember = true;
        });
        const HWND popup = OpenPopup();
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(Text(popup, "text_vip"), c.stop);
        EXPECT_EQ(TextColor(popup, "text_vip"), CUserInfo::kMemberTextColor);
        EXPECT_TRUE(Shown(popup, "pic_vip"));
        EXPECT_FALSE(Shown(popup, "btnLogin"));
        ASSERT_TRUE(automation.PressKey(popup, VK_ESCAPE));
        EXPECT_TRUE(Gone(popup));
    }
}

TEST_F(UserInfoPopupTest, OnlyAPictureThatIsAFileOfItsOwnIsShown) {
    const std::string target = sandbox.Root() + "/elsewhere.jpg";
    vtest::WriteFile(target, "jpeg");
    struct Case {
        const char* what;
        std::function<void(const std::string&)> make;
        bool shown;
    };
    const std::vector<Case> cases = {
        {"nothing", [](const std::string&) {}, false},
        {"a file", [](const std::string& path) { vtest::WriteFile(path, "jpeg"); }, true},
        {"a link", [&](const std::string& path) { ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0); },
         false},
        {"a FIFO", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, false},
        {"a folder", [](const std::string& path) { std::filesystem::create_directories(path); }, false},
    };
    SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(PicturePath());
        c.make(PicturePath());
        const HWND popup = OpenPopup();
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(Shown(popup, "UserInfo_Pic"), c.shown);
        EXPECT_EQ(Shown(popup, "UserInfo_defaultPic"), !c.shown);
        EXPECT_EQ(BkImage(popup, "UserInfo_Pic"),
                  c.shown ? "file='" + PicturePath() + "' restype='fullpath'" : std::string());
        ASSERT_TRUE(automation.PressKey(popup, VK_ESCAPE));
        EXPECT_TRUE(Gone(popup));
    }
}

TEST_F(UserInfoPopupTest, LoggedOutItInvitesToLogInAndShrinksInPlace) {
    for (const int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        UseDpi(dpi);
        const HWND popup = OpenPopup("btnLogin", {300, 90});
        ASSERT_NE(popup, nullptr);
        EXPECT_FALSE(Shown(popup, "UserInfoLogin"));
        EXPECT_EQ(Text(popup, "text_vip"), "登录后可获得更多功能");
        EXPECT_TRUE(Shown(popup, "btnLogin"));
        const auto rc = WindowRect(popup);
        ASSERT_TRUE(rc.has_value());
        EXPECT_EQ(rc->left, 300);
        EXPECT_EQ(rc->top, 90);
        EXPECT_EQ(Size(popup).cx, dpi == 96 ? 260 : 520);
        EXPECT_EQ(Size(popup).cy, dpi == 96 ? 220 : 440);

        // "立即登录" asks the main window for the login dialog.
        ASSERT_TRUE(automation.Click(popup, "btnLogin"));
        EXPECT_TRUE(Gone(popup));
        EXPECT_EQ(Received(), std::vector<UINT>{UM_SHOW_LOGIN});
        ui.Run([this] { main->received.clear(); });
    }
}

TEST_F(UserInfoPopupTest, OnAHighDpiMonitorTheLoggedInPopupGrowsWithItsLayout) {
    UseDpi(192);
    SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
    const HWND popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(Size(popup).cx, 520);
    EXPECT_EQ(Size(popup).cy, 510);
}

TEST_F(UserInfoPopupTest, CopyIdPutsTheUserNumberOnTheClipboardAndSaysSoEvenWhenItIsEmpty) {
    WatchClipboard();
    SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
    for (const std::string userId : {"", "10001"}) {
        SCOPED_TRACE(userId);
        session.Update([&](UserSessionValues& v) { v.userId = userId; });
        const HWND popup = OpenPopup();
        ASSERT_NE(popup, nullptr);
        ASSERT_TRUE(automation.Click(popup, "UserInfoCopyAccount"));
        EXPECT_TRUE(Gone(popup));
        ASSERT_FALSE(Copied().empty());
        EXPECT_EQ(Copied().back(), userId);
        EXPECT_EQ(DuiLib::GetClipboardText().value_or("(none)"), userId);
    }
    EXPECT_EQ(Received(), (std::vector<UINT>{UM_SHOW_INFO, UM_SHOW_INFO}));
    EXPECT_EQ(InfoKeys(), (std::vector<std::string>{"CopyClipboard", "CopyClipboard"}));
}

TEST_F(UserInfoPopupTest, LogoutTellsTheMainWindowWhichForgetsTheLogin) {
    SaveLogin(session, "tok", "13800138000", LOGIN_CODE);
    vtest::WriteFile(PicturePath(), "jpeg");
    const HWND popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(automation.Click(popup, "UserInfoUnLogin"));
    EXPECT_TRUE(Gone(popup));
    EXPECT_EQ(Received(), std::vector<UINT>{UM_LOGOUT});
    EXPECT_FALSE(session.IsLoggedIn());
    for (const auto name : {settings::kAccount, settings::kNickName, settings::kLoginType})
        EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, settings::kClientKey, name)) << name;
    // The picture stays for the next login.
    EXPECT_EQ(vtest::ReadFile(PicturePath()), "jpeg");
    const HWND again = OpenPopup("btnLogin");
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(Shown(again, "UserInfoLogin"));
}

// With the store: the member's pop-up before and after the fetch, and the
// picture a logout leaves for the next login.
TEST_F(UserInfoStoreTest, TheMembersPopupShowsTheBadgeAndStopDateOnceTheFetchArrived) {
    LogIn(kMemberPhone);
    HWND popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(Text(popup, "text_vip"), kNotMember);
    EXPECT_FALSE(Shown(popup, "pic_vip"));
    ASSERT_TRUE(automation.PressKey(popup, VK_ESCAPE));

    ASSERT_TRUE(StartFetch());
    ASSERT_EQ(WaitForFetches(1), std::vector<bool>{true});
    popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(Text(popup, "UserInfoAccount"), kMemberPhone);
    EXPECT_EQ(Text(popup, "text_vip"), "2027-12-31");
    EXPECT_TRUE(Shown(popup, "pic_vip"));
    EXPECT_TRUE(Shown(popup, "UserInfo_Pic"));
    EXPECT_EQ(vtest::ReadFile(PicturePath()), StorePicture(10001));
}

TEST_F(UserInfoStoreTest, LogoutLeavesThePictureWhichTheNextLoginShowsUntilItsFetchReplacesIt) {
    ASSERT_TRUE(store.PutFile("store", "/static/head/10002.jpg", "the plain user's picture"));
    LogIn(kMemberPhone);
    ASSERT_TRUE(StartFetch());
    ASSERT_EQ(WaitForFetches(1), std::vector<bool>{true});
    const std::string memberPicture = vtest::ReadFile(PicturePath());
    ASSERT_EQ(memberPicture, StorePicture(10001));

    HWND popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(automation.Click(popup, "UserInfoUnLogin"));
    EXPECT_FALSE(session.IsLoggedIn());
    EXPECT_EQ(vtest::ReadFile(PicturePath()), memberPicture);

    LogIn(kPlainPhone);
    popup = OpenPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(Shown(popup, "UserInfo_Pic"));
    EXPECT_EQ(Text(popup, "text_vip"), kNotMember);
    EXPECT_EQ(vtest::ReadFile(PicturePath()), memberPicture);
    ASSERT_TRUE(automation.PressKey(popup, VK_ESCAPE));

    ASSERT_TRUE(StartFetch());
    ASSERT_EQ(WaitForFetches(2), (std::vector<bool>{true, true}));
    EXPECT_EQ(vtest::ReadFile(PicturePath()), "the plain user's picture");
}

}  // namespace
