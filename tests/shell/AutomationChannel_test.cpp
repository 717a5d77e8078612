// The automation channel through a real socket, against the main window
// headless with the scripted engine measuring page elements.
#include "MainFrameFixture.h"
#include "support/AutomationClient.h"

#include "web/AutomationChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using shelltest::MainFrameTest;
using vtest::AutomationClient;

using vtest::Compact;

std::string Rect(const RECT& r) {
    return Compact(RectToJson(r));
}

class AutomationChannelTest : public MainFrameTest {
  protected:
    void SetUp() override {
        MainFrameTest::SetUp();
        shelltest::RunLogPath();
        path = sandbox.RuntimeDir() + "/automation.sock";
    }
    void StartChannel(std::chrono::milliseconds scriptDeadline = std::chrono::milliseconds(10000)) {
        ASSERT_NE(Open(SW_SHOW), nullptr);
        channel =
            AutomationChannel::Start(path, AutomationChannel::Options{.scriptDeadline = scriptDeadline});
        ASSERT_NE(channel, nullptr);
    }
    RECT ControlRect(const std::string& name) {
        return ui
            ->Call<RECT>([&] {
                RECT window{};
                GetWindowRect(hwnd, &window);
                const RECT pos = DuiLib::Automation::FindControl(hwnd, name)->GetPos();
                return RECT{window.left + pos.left, window.top + pos.top, window.left + pos.right,
                            window.top + pos.bottom};
            })
            .value_or(RECT{});
    }
    void TearDown() override {
        channel.reset();
        MainFrameTest::TearDown();
    }

    std::string path;
    std::unique_ptr<AutomationChannel> channel;
};

TEST_F(AutomationChannelTest, TellsWindowsAndControlsOnScreenOverOneConnection) {
    StartChannel();
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    AutomationClient client(path);
    ASSERT_TRUE(client.Connected());
    ui->Run([&] { SetWindowPos(hwnd, nullptr, 37, 21, 0, 0, SWP_NOSIZE | SWP_NOZORDER); });

    // A display shows the move once it has carried it out.
    Json::Value windows;
    EXPECT_TRUE(vtest::WaitFor([&] {
        windows = client.Ask(R"({"op":"windows"})");
        return Compact(windows["windows"][0]["rect"]) == "[37,21,907,599]";
    })) << Compact(windows);
    ASSERT_EQ(windows["windows"].size(), 1u) << Compact(windows);
    EXPECT_EQ(windows["windows"][0]["class"].asString(), "VANTOWindowClass");
    EXPECT_TRUE(windows["windows"][0]["visible"].asBool());

    // Screen coordinates, and "visible" takes the parents in: the login
    // button's row hidden hides the button, whose own flag stays set.
    const Json::Value login = client.Ask(R"({"op":"control","window":"vantowindowclass","name":"btnLogin"})");
    ASSERT_TRUE(login["ok"].asBool()) << Compact(login);
    EXPECT_EQ(Compact(login["rect"]), Rect(ControlRect("btnLogin")));
    EXPECT_GE(login["rect"][0].asInt(), 37);
    EXPECT_TRUE(login["visible"].asBool());
    EXPECT_TRUE(login["enabled"].asBool());
    EXPECT_EQ(login["text"].asString(), automation.Text(hwnd, "btnLogin").value_or("?"));
    // "focused" needs the control's focus and the window's keyboard both.
    EXPECT_FALSE(login["focused"].asBool());
    ui->Run([&] { DuiLib::Automation::FindControl(hwnd, "btnLogin")->SetFocus(); });
    EXPECT_TRUE(automation.MoveFocusTo(hwnd));
    const char* ask = R"({"op":"control","window":"VANTOWindowClass","name":"btnLogin"})";
    EXPECT_TRUE(client.Ask(ask)["focused"].asBool());
    ui->Run([&] { ::SetFocus(nullptr); });
    EXPECT_FALSE(client.Ask(ask)["focused"].asBool());
    ui->Run([&] { DuiLib::Automation::FindControl(hwnd, "btnLogin")->GetParent()->SetVisible(false); });
    const Json::Value hidden = client.Ask(R"({"op":"text","window":"VANTOWindowClass","name":"btnLogin"})");
    EXPECT_FALSE(hidden["visible"].asBool()) << Compact(hidden);

    const wkeWebView view = ViewOf("web_opt01");
    engine->URLChanged(view, "http://127.0.0.1:9/ppt.html#top");
    const Json::Value url = client.Ask(R"({"op":"url","window":"VANTOWindowClass","view":"web_opt01"})");
    EXPECT_EQ(url["url"].asString(), "http://127.0.0.1:9/ppt.html#top") << Compact(url);

    // A second connection is served while the first stays open.
    AutomationClient again(path);
    EXPECT_TRUE(again.Ask(R"({"op":"windows"})")["ok"].asBool());
    EXPECT_TRUE(client.Ask(R"({"op":"windows"})")["ok"].asBool());
}

TEST_F(AutomationChannelTest, RefusesWhatItCannotAnswerAndKeepsTheConnection) {
    StartChannel();
    AutomationClient client(path);
    const struct {
        const char* request;
        const char* error;
    } cases[] = {
        {R"({"op":"control","window":"NoSuchClass","name":"btnLogin"})", "no window of class NoSuchClass"},
        {R"({"op":"control","window":"VANTOWindowClass","name":"btnNone"})", "no control btnNone"},
        {R"({"op":"element","window":"VANTOWindowClass","view":"btnLogin","selector":"a"})",
         "not a web view"},
        {R"({"op":"url","window":"VANTOWindowClass","view":"btnClose"})", "not a web view"},
        {R"({"op":"click","window":"VANTOWindowClass","name":"btnClose"})", "unknown op"},
        {R"({"op":"control","window":"VANTOWindowClass"})", "no control name"},
        {R"({"op":"control","window":7,"name":"btnLogin"})", "no window class"},
        {R"({"op":"element","window":"VANTOWindowClass","view":"web_opt01","selector":""})", "no selector"},
        {R"(["op","windows"])", "not a JSON object"},
        {"op=windows", "not a JSON object"},
    };
    for (const auto& c : cases) {
        const Json::Value reply = client.Ask(c.request);
        EXPECT_FALSE(reply["ok"].asBool()) << c.request;
        EXPECT_NE(reply["error"].asString().find(c.error), std::string::npos) << Compact(reply);
    }
    EXPECT_TRUE(client.Ask(R"({"op":"windows"})")["ok"].asBool());
}

TEST_F(AutomationChannelTest, LineOfTheLimitIsAnsweredALongerOneClosesTheConnection) {
    StartChannel();
    const std::string head = R"({"op":"windows","pad":")";
    const std::string full = head + std::string(kMaxAutomationLine - head.size() - 2, 'x') + "\"}";
    ASSERT_EQ(full.size(), kMaxAutomationLine);
    AutomationClient client(path);
    EXPECT_TRUE(client.Ask(full)["ok"].asBool());
    ASSERT_TRUE(client.Send(full + "x\n"));
    EXPECT_TRUE(client.Closed());
    // Without a line feed at all, the channel does not wait for one.
    AutomationClient endless(path);
    ASSERT_TRUE(endless.Send(std::string(3 * kMaxAutomationLine, '{')));
    EXPECT_TRUE(endless.Closed());
    AutomationClient next(path);
    EXPECT_TRUE(next.Ask(R"({"op":"windows"})")["ok"].asBool());
}

TEST_F(AutomationChannelTest, MeasuresAPageElementThroughTheEngine) {
    StartChannel(std::chrono::milliseconds(300));
    ui->Run([&] { SetWindowPos(hwnd, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER); });
    const wkeWebView view = ViewOf("web_opt01");
    const RECT at = ControlRect("web_opt01");
    ASSERT_GT(at.right - at.left, 0);
    const auto answer =
        engine->Export<void (*)(wkeWebView, const char*, const char*)>("wkeScriptedSetScriptAnswer");
    AutomationClient client(path);
    const std::string ask = R"({"op":"element","window":"VANTOWindowClass","view":"web_opt01","selector":)";

    // Nothing answers yet: the deadline, and the connection goes on.
    const Json::Value late = client.Ask(ask + R"("a[title=\"x\\\"\"]"})");
    EXPECT_NE(late["error"].asString().find("did not answer in time"), std::string::npos) << Compact(late);
    // The selector reached the page as a string literal, not as code.
    const std::vector<std::string> calls = engine->Requests(view);
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(calls.back().find(R"(})("a[title=\"x\\\"\"]"))"), std::string::npos) << calls.back();

    // The page is zoomed to twice its CSS pixels: the box scales with the
    // view's width over the page's viewport, outward to whole pixels.
    const double viewport = static_cast<double>(at.right - at.left) / 2;
    answer(
        view,
        (R"({"x":10.25,"y":5,"width":30,"height":40.2,"viewport":)" + std::to_string(viewport) + "}").c_str(),
        nullptr);
    const Json::Value box = client.Ask(ask + R"("#buy"})");
    ASSERT_TRUE(box["ok"].asBool()) << Compact(box);
    EXPECT_EQ(Compact(box["rect"]), Rect(RECT{at.left + 20, at.top + 10, at.left + 81, at.top + 91}));

    const struct {
        const char* json;
        const char* error;
        const char* expected;
    } answers[] = {
        {"null", nullptr, R"({"ok":true,"rect":null})"},
        {nullptr, "SyntaxError: not a valid selector",
         "could not run the query: SyntaxError: not a valid selector"},
        {R"({"x":"1","y":0,"width":1,"height":1})", nullptr, "not a box"},
        {R"({"x":1,"y":0,"width":-1,"height":1})", nullptr, "not a box"},
        {R"({"x":1e300,"y":0,"width":1,"height":1})", nullptr, "not a box"},
    };
    for (const auto& a : answers) {
        answer(view, a.json, a.error);
        const std::string reply = Compact(client.Ask(ask + R"("b"})"));
        EXPECT_NE(reply.find(a.expected), std::string::npos) << reply;
    }
}

TEST_F(AutomationChannelTest, StaysOffWhereOthersCouldReachTheSocket) {
    const std::string root = sandbox.Root() + "/sockets";
    ASSERT_EQ(::mkdir(root.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((root + "/shared").c_str(), 0700), 0);
    ASSERT_EQ(::chmod((root + "/shared").c_str(), 0770), 0);  // past the umask
    std::ofstream(root + "/file") << "not a socket";
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {root + "/missing/a.sock", "its folder does not exist"},
        {root + "/shared/a.sock", "its folder is writable by others"},
        {root + "/file", "something else is at the socket path"},
        {root + "/" + std::string(120, 'n'), "the socket path is empty or too long"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AutomationChannel::Start(c.path, {}), nullptr) << c.path;
        EXPECT_EQ(::access(c.path.c_str(), F_OK) == 0, c.path == root + "/file");
        std::ifstream log(shelltest::RunLogPath());
        std::stringstream text;
        text << log.rdbuf();
        EXPECT_NE(text.str().find("automation channel off (" + c.path + "): " + c.reason), std::string::npos);
    }

    // A live channel keeps its socket from a second one; a dead run's socket
    // is replaced; the channel's end removes its own.
    const std::string live = root + "/live.sock";
    auto first = AutomationChannel::Start(live, {});
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(AutomationChannel::Start(live, {}), nullptr);
    {
        os::UniqueFd dead(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string stale = root + "/stale.sock";
        std::strncpy(addr.sun_path, stale.c_str(), sizeof(addr.sun_path) - 1);
        ASSERT_EQ(::bind(dead.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
        dead.Reset();
        EXPECT_NE(AutomationChannel::Start(stale, {}), nullptr);
        EXPECT_NE(::access(stale.c_str(), F_OK), 0);
    }
    first.reset();
    EXPECT_NE(::access(live.c_str(), F_OK), 0);
}

}  // namespace
