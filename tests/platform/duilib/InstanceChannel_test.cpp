#include "platform/duilib/InstanceChannel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "support/Sandbox.h"

using DuiLib::InstanceChannel;

namespace {

class InstanceChannelTest : public vtest::SandboxTest {
  protected:
    void TearDown() override { InstanceChannel::Instance().WithdrawAll(); }

    // A socket file that nobody listens on any more, as a crashed instance
    // leaves it.
    static bool LeaveStaleSocket(const std::string& path) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
        ::close(fd);
        return bound;
    }
};

TEST(InstanceChannelRequest, AcceptsOnlyTheThreeRequestsWithAValidShowCommand) {
    auto ping = InstanceChannel::ParseRequest("PING");
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping->kind, InstanceChannel::Request::Kind::Ping);
    auto show = InstanceChannel::ParseRequest("SHOW 5");
    ASSERT_TRUE(show);
    EXPECT_EQ(show->kind, InstanceChannel::Request::Kind::Show);
    EXPECT_EQ(show->cmdShow, 5);
    EXPECT_TRUE(InstanceChannel::ParseRequest("SHOW 0"));
    EXPECT_TRUE(InstanceChannel::ParseRequest("SHOW 11"));
    auto front = InstanceChannel::ParseRequest("FOREGROUND");
    ASSERT_TRUE(front);
    EXPECT_EQ(front->kind, InstanceChannel::Request::Kind::Foreground);

    for (const char* bad : {"", "ping", "PING ", "SHOW", "SHOW ", "SHOW -1", "SHOW -0", "SHOW 12", "SHOW 5x",
                            "SHOW +5", "SHOW 05", "SHOW 99999999999999999999", "FOREGROUND\r", "QUIT"})
        EXPECT_FALSE(InstanceChannel::ParseRequest(bad)) << '"' << bad << '"';
}

TEST_F(InstanceChannelTest, SocketLivesInTheRuntimeFolderUnderTheLowerCaseClassName) {
    EXPECT_EQ(InstanceChannel::SocketPath("VANTOWindowClass"),
              sandbox.RuntimeDir() + "/vanto-vantowindowclass.sock");
    // Names that could leave the folder or make no socket are refused.
    EXPECT_EQ(InstanceChannel::SocketPath(""), "");
    EXPECT_EQ(InstanceChannel::SocketPath("../x"), "");
    EXPECT_EQ(InstanceChannel::SocketPath("a/b"), "");
    EXPECT_EQ(InstanceChannel::SocketPath(std::string(200, 'a')), "");
}

TEST_F(InstanceChannelTest, PublishedSocketIsPrivateAndGoneAfterWithdraw) {
    ASSERT_TRUE(InstanceChannel::Instance().Publish("ChannelClass", nullptr));
    const std::string path = InstanceChannel::SocketPath("ChannelClass");
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // A live publisher keeps the class: a second one is refused.
    EXPECT_FALSE(InstanceChannel::Instance().Publish("channelclass", nullptr));
    InstanceChannel::Instance().Withdraw("ChannelClass");
    EXPECT_NE(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(InstanceChannel::Instance().FindRemote("ChannelClass"), nullptr);
}

TEST_F(InstanceChannelTest, StaleSocketOfADeadInstanceIsReplaced) {
    const std::string path = InstanceChannel::SocketPath("ChannelClass");
    ASSERT_TRUE(LeaveStaleSocket(path));
    EXPECT_EQ(InstanceChannel::Instance().FindRemote("ChannelClass"), nullptr);
    ASSERT_TRUE(InstanceChannel::Instance().Publish("ChannelClass", nullptr));
    EXPECT_NE(InstanceChannel::Instance().FindRemote("ChannelClass"), nullptr);
}

TEST_F(InstanceChannelTest, SomethingElseAtTheSocketPathIsLeftAlone) {
    const std::string path = InstanceChannel::SocketPath("ChannelClass");
    vtest::WriteFile(path, "not a socket");
    EXPECT_FALSE(InstanceChannel::Instance().Publish("ChannelClass", nullptr));
    EXPECT_EQ(vtest::ReadFile(path), "not a socket");
}

TEST_F(InstanceChannelTest, OwnRuntimeFolderWinsAndOnlyAPrivateFolderIsUsed) {
    const std::string own = sandbox.Root() + "/own-runtime";
    sandbox.SetEnv("VANTO_RUNTIME_DIR", own);
    // Made on first use, closed to others, and preferred to the session's.
    EXPECT_EQ(InstanceChannel::SocketPath("ChannelClass"), own + "/vanto-channelclass.sock");
    struct stat st {};
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A folder others may write to, or a file, serves nobody.
    ::chmod(own.c_str(), 0777);
    EXPECT_EQ(InstanceChannel::SocketPath("ChannelClass"), "");
    vtest::WriteFile(sandbox.Root() + "/a-file", "x");
    sandbox.SetEnv("VANTO_RUNTIME_DIR", sandbox.Root() + "/a-file");
    EXPECT_EQ(InstanceChannel::SocketPath("ChannelClass"), "");

    // Without either variable: a private folder of our own under /tmp.
    sandbox.SetEnv("VANTO_RUNTIME_DIR", std::nullopt);
    sandbox.SetEnv("XDG_RUNTIME_DIR", std::nullopt);
    const std::string path = InstanceChannel::SocketPath("ChannelClass");
    ASSERT_FALSE(path.empty());
    const std::string folder = path.substr(0, path.rfind('/'));
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, ::getuid());
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// The test thread is not the UI thread, so FindWindowW cannot see the
// window itself and reaches it the way another process does.
TEST_F(InstanceChannelTest, RemoteHandleShowsAndRaisesTheWindowOnItsUiThread) {
    DuiLib::UiThread ui;
    ASSERT_TRUE(ui.IsRunning());
    auto create = [](const char* className, DWORD style) {
        DuiLib::WindowCreateParams params;
        params.className = className;
        params.style = style;
        return DuiLib::CreateWindowRecord(
            params, [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); });
    };
    auto other = ui.Call<HWND>([&] { return create("Other", WS_VISIBLE); });
    auto hwnd = ui.Call<HWND>([&] { return create("ChannelClass", 0); });
    ASSERT_TRUE(hwnd && *hwnd != nullptr && other && *other != nullptr);
    ASSERT_TRUE(ui.Run([&] { ::SetForegroundWindow(*other); }));
    ASSERT_TRUE(InstanceChannel::Instance().Publish("ChannelClass", *hwnd));

    const HWND remote = ::FindWindowW("channelclass", nullptr);
    ASSERT_NE(remote, nullptr);
    EXPECT_TRUE(InstanceChannel::IsRemoteHandle(remote));
    EXPECT_EQ(::FindWindowW("ChannelClass", "some title"), nullptr);
    EXPECT_EQ(::FindWindowW("NobodyPublishedThis", nullptr), nullptr);

    EXPECT_TRUE(::ShowWindow(remote, SW_SHOW));
    EXPECT_TRUE(vtest::WaitFor(
        [&] { return ui.Call<bool>([&] { return ::IsWindowVisible(*hwnd) != FALSE; }).value_or(false); }));
    EXPECT_TRUE(::SetForegroundWindow(remote));
    EXPECT_TRUE(vtest::WaitFor(
        [&] { return ui.Call<bool>([&] { return ::GetForegroundWindow() == *hwnd; }).value_or(false); }));

    // Once withdrawn, the handle reaches nobody.
    InstanceChannel::Instance().Withdraw("ChannelClass");
    EXPECT_FALSE(::ShowWindow(remote, SW_HIDE));
    EXPECT_EQ(::FindWindowW("ChannelClass", nullptr), nullptr);
}

TEST_F(InstanceChannelTest, MalformedRequestIsRefused) {
    ASSERT_TRUE(InstanceChannel::Instance().Publish("ChannelClass", nullptr));
    const std::string path = InstanceChannel::SocketPath("ChannelClass");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    const std::string request = std::string(100, 'A') + "\n";
    ASSERT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    char reply[8] = {};
    const ssize_t n = ::read(fd, reply, sizeof(reply) - 1);
    ::close(fd);
    // An over-long line gets no "OK": either "ERR" or the connection closes.
    EXPECT_NE(std::string(reply, n > 0 ? static_cast<std::size_t>(n) : 0), "OK\n");
    // The channel still serves after it.
    EXPECT_NE(InstanceChannel::Instance().FindRemote("ChannelClass"), nullptr);
}

}  // namespace
