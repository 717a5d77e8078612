// The WebKitGTK engine through its C interface, on a virtual display, against
// pages served on loopback: the page-to-client channel with the sending
// page's address, failed, cancelled and refused loads, HTTPS with the store's CA,
// cookies shared between views and kept across a restart, one web process
// for every view and none before the first navigation.

#include "WebkitHarness.h"

#include "support/DemoStore.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr const char* kCookieServerVariable = "VANTO_TEST_COOKIE_SERVER";
constexpr const char* kCookieFolderVariable = "VANTO_TEST_COOKIE_FOLDER";

// Test pages on an ephemeral loopback port; "/slow" answers only when
// released (or after its own deadline).
class PageServer {
  public:
    PageServer() {
        m_server.Get("/send", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<!doctype html><html><head><title>send</title><script>"
                "document.addEventListener('DOMContentLoaded', function () {"
                " VantoClient.send(JSON.stringify({action: 'showlogin'})); });"
                "</script></head><body>模板</body></html>",
                "text/html; charset=utf-8");
        });
        m_server.Get("/fast", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<!doctype html><title>fast</title><p>fast</p>", "text/html");
        });
        m_server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock lock(m_mutex);
            m_cv.wait_for(lock, 20s, [this] { return m_released; });
            res.set_content("<!doctype html><title>slow</title>", "text/html");
        });
        m_server.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<!doctype html><script>undefinedFunction();</script>", "text/html");
        });
        m_server.Get("/setcookie", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "vanto_login=tok123; Max-Age=3600; Path=/");
            res.set_content("<!doctype html><title>set</title>", "text/html");
        });
        m_server.Get("/showcookie", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(
                "<!doctype html><script>document.addEventListener('DOMContentLoaded', function () {"
                " VantoClient.send('cookies:' + document.cookie); });</script>",
                "text/html");
        });
        // The engine keeps its connections open; stop() waits for them as
        // long as this.
        m_server.set_keep_alive_timeout(1);
        m_port = m_server.bind_to_any_port("127.0.0.1");
        // Bound and listening already: connections wait in the backlog.
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    explicit PageServer(int port) {
        // Only for the child run: the parent's server is the one to use.
        m_port = port;
    }
    ~PageServer() {
        Release();
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_cv.notify_all();
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int Port() const { return m_port; }

  private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_released = false;
};

// A port nothing listens on: bound, never listened on, closed.
int ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

using WebkitEngineTest = wketest::EngineTest;

TEST_F(WebkitEngineTest, APageScriptsTextArrivesWithThePagesAddress) {
    PageServer pages;
    wketest::RecordedView view(*engine);
    view.Load(pages.Url("/send"));
    ASSERT_TRUE(wketest::RunUntil(
        [&] { return !view.messages.empty() && !view.finishes.empty() && !view.titles.empty(); }));
    EXPECT_EQ(view.messages[0].text, R"({"action":"showlogin"})");
    EXPECT_EQ(view.messages[0].pageUrl, pages.Url("/send"));
    EXPECT_EQ(view.finishes[0].result, WKE_LOADING_SUCCEEDED);
    EXPECT_EQ(view.finishes[0].url, pages.Url("/send"));
    EXPECT_GE(view.readyCount, 1);
    EXPECT_EQ(std::string(engine->getURL(view.View())), pages.Url("/send"));
    EXPECT_NE(std::find(view.titles.begin(), view.titles.end(), "send"), view.titles.end());
    EXPECT_NE(std::find(view.navigations.begin(), view.navigations.end(), pages.Url("/send")),
              view.navigations.end());
    EXPECT_TRUE(view.consoleErrors.empty());
}

TEST_F(WebkitEngineTest, APageOnAClosedPortFinishesFailed) {
    wketest::RecordedView view(*engine);
    const std::string url = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/ppt.html";
    view.Load(url);
    ASSERT_TRUE(wketest::RunUntil([&] { return !view.finishes.empty(); }));
    ASSERT_EQ(view.finishes.size(), 1u);
    EXPECT_EQ(view.finishes[0].result, WKE_LOADING_FAILED);
    EXPECT_EQ(view.finishes[0].url, url);
    EXPECT_FALSE(view.finishes[0].reason.empty());
}

TEST_F(WebkitEngineTest, ANavigationReplacedByAnotherFinishesCancelledNotFailed) {
    PageServer pages;
    wketest::RecordedView view(*engine);
    view.Load(pages.Url("/slow"));
    // The slow page is on its way; a quick tab change replaces it.
    ASSERT_TRUE(wketest::RunUntil([&] { return !view.navigations.empty(); }));
    view.Load(pages.Url("/fast"));
    const bool both = wketest::RunUntil([&] { return view.finishes.size() >= 2; });
    pages.Release();
    ASSERT_TRUE(both);
    EXPECT_EQ(view.finishes[0].url, pages.Url("/slow"));
    EXPECT_EQ(view.finishes[0].result, WKE_LOADING_CANCELED);
    EXPECT_EQ(view.finishes[1].url, pages.Url("/fast"));
    EXPECT_EQ(view.finishes[1].result, WKE_LOADING_SUCCEEDED);
}

TEST_F(WebkitEngineTest, ARequestTheClientRefusesFinishesCancelledOnceAndTheNextLoadsAsUsual) {
    PageServer pages;
    wketest::RecordedView view(*engine);
    view.allowNavigation = false;
    view.Load(pages.Url("/fast"));
    ASSERT_TRUE(wketest::RunUntil([&] { return !view.finishes.empty(); }));
    view.allowNavigation = true;
    view.Load(pages.Url("/send"));
    ASSERT_TRUE(wketest::RunUntil([&] { return view.finishes.size() >= 2; }));
    ASSERT_EQ(view.finishes.size(), 2u);
    EXPECT_EQ(view.finishes[0].url, pages.Url("/fast"));
    EXPECT_EQ(view.finishes[0].result, WKE_LOADING_CANCELED);
    EXPECT_EQ(view.finishes[0].reason, "refused by the client");
    EXPECT_EQ(view.finishes[1].url, pages.Url("/send"));
    EXPECT_EQ(view.finishes[1].result, WKE_LOADING_SUCCEEDED);
}

TEST_F(WebkitEngineTest, ScriptErrorsOfAPageAreReported) {
    PageServer pages;
    wketest::RecordedView view(*engine);
    view.Load(pages.Url("/broken"));
    ASSERT_TRUE(wketest::RunUntil([&] { return !view.consoleErrors.empty() && !view.finishes.empty(); }));
    EXPECT_NE(view.consoleErrors[0].find("undefinedFunction"), std::string::npos) << view.consoleErrors[0];
}

TEST_F(WebkitEngineTest, TheStoresHttpsPagesLoadWithItsCaAndFailWithoutIt) {
    vtest::DemoStore store{sandbox};
    ASSERT_TRUE(store.Started());
    const std::string ca = store.CaFile();
    const std::string url = store.BaseUrl("store") + "/help/8.html";
    {
        sandbox.SetEnv("VANTO_CA_FILE", std::nullopt);
        wketest::RecordedView view(*engine);
        view.Load(url);
        ASSERT_TRUE(wketest::RunUntil([&] { return !view.finishes.empty(); }));
        EXPECT_EQ(view.finishes[0].result, WKE_LOADING_FAILED);
    }
    sandbox.SetEnv("VANTO_CA_FILE", ca);
    wketest::RecordedView view(*engine);
    view.Load(url);
    ASSERT_TRUE(wketest::RunUntil([&] { return !view.finishes.empty(); }));
    EXPECT_EQ(view.finishes[0].result, WKE_LOADING_SUCCEEDED) << view.finishes[0].reason;
    EXPECT_EQ(view.finishes.size(), 1u);  // the check in between is not a load of its own
}

TEST_F(WebkitEngineTest, ACookieSetInOneViewIsSeenInAnotherAndSurvivesARestart) {
    PageServer pages;
    const std::string cookieFolder = sandbox.UserDataFolder();
    wketest::RecordedView setter(*engine);
    engine->setCookieJarPath(setter.View(), cookieFolder.c_str());
    setter.Load(pages.Url("/setcookie"));
    ASSERT_TRUE(wketest::RunUntil([&] { return !setter.finishes.empty(); }));
    ASSERT_EQ(setter.finishes[0].result, WKE_LOADING_SUCCEEDED);

    wketest::RecordedView reader(*engine);
    reader.Load(pages.Url("/showcookie"));
    ASSERT_TRUE(wketest::RunUntil([&] { return !reader.messages.empty(); }));
    EXPECT_EQ(reader.messages[0].text, "cookies:vanto_login=tok123");

    // A new process (the client started again) reads the same store.
    sandbox.SetEnv(kCookieServerVariable, std::to_string(pages.Port()));
    sandbox.SetEnv(kCookieFolderVariable, cookieFolder);
    const auto child =
        vtest::RunProcess({"/proc/self/exe", "--gtest_also_run_disabled_tests",
                           "--gtest_filter=WebkitEngineTest.DISABLED_ChildReadsTheCookieBack"});
    EXPECT_EQ(child.exitCode, 0) << child.out << child.err;
    EXPECT_NE(child.out.find("[  PASSED  ] 1 test"), std::string::npos) << child.out;
}

// Run only by the test above, in a process of its own.
TEST_F(WebkitEngineTest, DISABLED_ChildReadsTheCookieBack) {
    const char* port = std::getenv(kCookieServerVariable);
    const char* folder = std::getenv(kCookieFolderVariable);
    ASSERT_TRUE(port != nullptr && folder != nullptr);
    PageServer pages(std::atoi(port));
    wketest::RecordedView reader(*engine);
    engine->setCookieJarPath(reader.View(), folder);
    reader.Load(pages.Url("/showcookie"));
    ASSERT_TRUE(wketest::RunUntil([&] { return !reader.messages.empty(); }));
    EXPECT_EQ(reader.messages[0].text, "cookies:vanto_login=tok123");
}

TEST_F(WebkitEngineTest, ViewsThatNeverNavigatedStartNoWebProcessAndAllViewsShareOne) {
    PageServer pages;
    std::vector<std::unique_ptr<wketest::RecordedView>> views;
    for (int i = 0; i < 7; ++i)
        views.push_back(std::make_unique<wketest::RecordedView>(*engine));
    wketest::RunUntil([] { return false; }, 300ms);
    EXPECT_EQ(wketest::WebProcessCount(), 0);
    for (auto& view : views)
        view->Load(pages.Url("/fast"));
    ASSERT_TRUE(wketest::RunUntil([&] {
        for (auto& view : views) {
            if (view->finishes.empty())
                return false;
        }
        return true;
    }));
    EXPECT_EQ(wketest::WebProcessCount(), 1);
}

}  // namespace
