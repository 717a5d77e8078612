#pragma once
// The WebKitGTK engine for tests: a virtual display started for the test
// process (Xvfb), the engine module opened from the build's program folder
// and bound by export name like the client binds it, the GLib main context
// run until a condition holds (with a deadline), and a recorder of each
// view's events.

#include "platform/wke/webkitgtk/wke_webkitgtk.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wketest {

// DISPLAY for this process: a private Xvfb, started on first use and ended
// with the process. False when there is no Xvfb.
bool EnsureVirtualDisplay();

struct Engine {
    bool (*initialize)(const wkeSettings*);
    wkeWebView (*create)();
    void (*destroy)(wkeWebView);
    void (*setCookieJarPath)(wkeWebView, const char*);
    void (*setMemoryCacheEnable)(wkeWebView, bool);
    void (*setZoomFactor)(wkeWebView, float);
    void (*loadURL)(wkeWebView, const char*);
    const char* (*getURL)(wkeWebView);
    void (*onTitleChanged)(wkeWebView, wkeTitleChangedCallback, void*);
    void (*onNavigation)(wkeWebView, wkeNavigationCallback, void*);
    void (*onDocumentReady)(wkeWebView, wkeDocumentReadyCallback, void*);
    void (*onLoadingFinish)(wkeWebView, wkeLoadingFinishCallback, void*);
    void (*onPageMessage)(wkeWebView, wkePageMessageCallback, void*);
    void (*onConsoleMessage)(wkeWebView, wkeConsoleMessageCallback, void*);
    void* (*getNativeWidget)(wkeWebView);
    void (*runScript)(wkeWebView, const char*);
};

// The module of the build (bin/node.so), initialised; null when it cannot
// be opened or is not usable.
const Engine* OpenEngine();

// A test with its sandbox and the engine module open on the virtual display;
// skipped without Xvfb.
class EngineTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        if (!EnsureVirtualDisplay())
            GTEST_SKIP() << "no Xvfb";
        engine = OpenEngine();
        ASSERT_NE(engine, nullptr) << "the engine module does not open or is not usable";
    }
    const Engine* engine = nullptr;
};

// Runs the default main context until `done` or the deadline; `done`'s last
// answer.
bool RunUntil(const std::function<bool()>& done,
              std::chrono::milliseconds deadline = std::chrono::milliseconds(30000));

struct Finish {
    std::string url;
    wkeLoadingResult result;
    std::string reason;
};
struct Message {
    std::string pageUrl;
    std::string text;
};

// One engine view with every event recorded; destroyed with the object.
class RecordedView {
  public:
    explicit RecordedView(const Engine& engine);
    ~RecordedView();
    RecordedView(const RecordedView&) = delete;
    RecordedView& operator=(const RecordedView&) = delete;

    wkeWebView View() const { return m_view; }
    void Load(const std::string& url) const;
    void Run(const std::string& script) const;

    std::vector<Finish> finishes;
    std::vector<Message> messages;
    std::vector<std::string> consoleErrors;
    std::vector<std::string> navigations;
    std::vector<std::string> titles;
    int readyCount = 0;
    bool allowNavigation = true;  // the answer to every navigation

  private:
    const Engine& m_engine;
    wkeWebView m_view;
};

// Web processes started by this process (WebKitWebProcess children).
int WebProcessCount();

// Pages of one origin: fixed HTML documents on an ephemeral loopback port,
// served until the object goes. A path without a page answers 404.
class PageSite {
  public:
    PageSite();
    ~PageSite();
    PageSite(const PageSite&) = delete;
    PageSite& operator=(const PageSite&) = delete;

    // `html` at `path` from now on.
    void Serve(const std::string& path, const std::string& html);
    // "http://127.0.0.1:<port>"
    std::string Origin() const;
    std::string Url(const std::string& path) const { return Origin() + path; }

  private:
    struct Server;
    std::unique_ptr<Server> m_server;
};

}  // namespace wketest
