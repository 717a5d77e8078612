// The notification-area balloon as a desktop notification, against a
// notification service of our own on a private session bus.
#include "platform/os/Notification.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/os/Paths.h"
#include "platform/os/notification/NotificationBus.h"
#include "support/Sandbox.h"

namespace {

using namespace std::chrono_literals;
using Calls = std::vector<std::vector<std::string>>;

HWND Window(std::uintptr_t n) {
    return reinterpret_cast<HWND>(n);
}

NOTIFYICONDATAW Balloon(HWND owner, std::string_view title, std::string_view text, UINT timeout = 1000) {
    NOTIFYICONDATAW data;
    data.hWnd = owner;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    data.uCallbackMessage = 1029;
    data.uTimeout = timeout;
    os::SetNotifyText(data.szTip, title);
    os::SetNotifyText(data.szInfoTitle, title);
    os::SetNotifyText(data.szInfo, text);
    return data;
}

NOTIFYICONDATAW IconOf(HWND owner) {
    NOTIFYICONDATAW data;
    data.hWnd = owner;
    data.uID = 1;
    return data;
}

std::string ProgramName() {
    return std::string(os::FileNamePart(os::GetProgramPath()));
}

class NotificationTest : public vtest::SandboxTest {};

TEST_F(NotificationTest, BalloonIsShownReplacedByTheNextAndWithdrawnWithItsIcon) {
    vtest::NotificationBus bus(sandbox);
    ASSERT_TRUE(bus.Started());
    const HWND owner = Window(0x1001);
    NOTIFYICONDATAW first = Balloon(owner, "正在下载更新", "墨林工坊");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &first));
    // An icon is added once.
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &first));
    NOTIFYICONDATAW second = Balloon(owner, "正在下载更新", "下载完成");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &second));
    NOTIFYICONDATAW icon = IconOf(owner);
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
    // Gone: neither changed nor deleted again.
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &icon));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &second));

    ASSERT_TRUE(bus.WaitForCalls(3));
    const Calls calls = bus.Calls();
    ASSERT_EQ(calls.size(), 3u);
    // Windows holds a balloon's time-out to at least ten seconds.
    const std::vector<std::string> shown = {"Notify",       ProgramName(), "0",     "",
                                            "正在下载更新", "墨林工坊",    "10000", "1"};
    EXPECT_EQ(calls[0], shown);
    ASSERT_EQ(calls[1].size(), 8u);
    EXPECT_EQ(calls[1][2], "1");  // replaces the first
    EXPECT_EQ(calls[1][5], "下载完成");
    EXPECT_EQ(calls[2], (std::vector<std::string>{"CloseNotification", "1"}));
}

TEST_F(NotificationTest, AnIconWithoutBalloonShowsNothingAndAnEmptyBalloonWithdrawsTheShownOne) {
    vtest::NotificationBus bus(sandbox);
    ASSERT_TRUE(bus.Started());
    const HWND owner = Window(0x1002);
    NOTIFYICONDATAW plain = IconOf(owner);
    plain.uFlags = NIF_ICON | NIF_TIP;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &plain));
    NOTIFYICONDATAW balloon = Balloon(owner, "标题", "正文", 60000);
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &balloon));
    NOTIFYICONDATAW empty = Balloon(owner, "标题", "");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &empty));
    // Nothing left on screen to withdraw.
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &plain));

    ASSERT_TRUE(bus.WaitForCalls(2));
    const Calls calls = bus.Calls();
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_EQ(calls[0].size(), 8u);
    EXPECT_EQ(calls[0][6], "30000");  // and to at most thirty
    EXPECT_EQ(calls[1], (std::vector<std::string>{"CloseNotification", calls[0][7]}));
}

TEST_F(NotificationTest, WithoutASessionBusNothingIsShownAndNothingIsKept) {
    sandbox.SetEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + sandbox.Root() + "/no-bus");
    const HWND owner = Window(0x1003);
    NOTIFYICONDATAW balloon = Balloon(owner, "正在下载更新", "墨林工坊");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &balloon));
    NOTIFYICONDATAW icon = IconOf(owner);
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &icon));
    // No bus named anywhere at all.
    sandbox.SetEnv("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    sandbox.SetEnv("DISPLAY", std::nullopt);
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &balloon));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, nullptr));
}

TEST_F(NotificationTest, ANewBusIsUsedWhenTheEnvironmentNamesItAndOldIdsAreNotCarriedOver) {
    const HWND owner = Window(0x1004);
    {
        vtest::NotificationBus first(sandbox);
        ASSERT_TRUE(first.Started());
        NOTIFYICONDATAW balloon = Balloon(owner, "一", "first");
        ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &balloon));
        ASSERT_TRUE(first.WaitForCalls(1));
    }
    vtest::NotificationBus second(sandbox);
    ASSERT_TRUE(second.Started());
    NOTIFYICONDATAW balloon = Balloon(owner, "二", "second");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &balloon));
    ASSERT_TRUE(second.WaitForCalls(1));
    const Calls calls = second.Calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].size(), 8u);
    EXPECT_EQ(calls[0][2], "0");
    EXPECT_EQ(calls[0][5], "second");
    NOTIFYICONDATAW icon = IconOf(owner);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
}

TEST(NotifyText, IsCutToTheFieldAndNeverInsideACharacter) {
    NOTIFYICONDATAW data;
    os::SetNotifyText(data.szInfoTitle, std::string(70, 'a'));
    EXPECT_EQ(std::u16string(data.szInfoTitle), std::u16string(63, u'a'));
    // 62 units, then a character of two units that does not fit.
    os::SetNotifyText(data.szInfoTitle, std::string(62, 'b') + "\xF0\x9F\x98\x80");
    EXPECT_EQ(std::u16string(data.szInfoTitle), std::u16string(62, u'b'));
    os::SetNotifyText(data.szInfo, "墨林工坊");
    EXPECT_EQ(std::u16string(data.szInfo), u"墨林工坊");
}

}  // namespace
