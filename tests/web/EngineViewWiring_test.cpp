// The web view control wired to engine views of the scripted engine: views
// made on first need and destroyed with their control, the engine's events on
// the UI thread, the native widget handed to the display back end.

#include "web/EngineViewPeer.h"
#include "web/WkeLoader.h"

#include "ScriptedEngine.h"
#include "WebHost.h"
#include "platform/duilib/MessageQueue.h"
#include "platform/duilib/UiThread.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
const Strings kRegistrations = {"onTitleChanged", "onURLChanged",    "onAlertBox",      "onNavigation",
                                "onCreateView",   "onDocumentReady", "onLoadingFinish", "onPageMessage"};

// A back end that records what it is handed for display.
class WidgetBackend : public DuiLib::HeadlessBackend {
  public:
    WidgetBackend() : HeadlessBackend(Options{}) {}
    void NativeViewAttached(HWND hwnd, DuiLib::CControlUI* control, void* widget) override {
        Note("attach", hwnd, control, widget);
    }
    void NativeViewDetached(HWND hwnd, DuiLib::CControlUI* control, void* widget) override {
        Note("detach", hwnd, control, widget);
    }
    struct Event {
        std::string what;
        HWND hwnd;
        DuiLib::CControlUI* control;
        void* widget;
    };
    std::vector<Event> Events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

  private:
    void Note(const char* what, HWND hwnd, DuiLib::CControlUI* control, void* widget) {
        std::lock_guard lock(m_mutex);
        m_events.push_back({what, hwnd, control, widget});
    }
    std::mutex m_mutex;
    std::vector<Event> m_events;
};

// Records every event with the thread it arrived on.
class RecordingCallback : public DuiLib::IWkeCallback {
  public:
    void OnWkeTitleChanged(DuiLib::CWkeWebkitUI*, const char* title) override {
        Note(title != nullptr ? std::string("title ") + title : "title null");
    }
    void OnWkeURLChanged(DuiLib::CWkeWebkitUI*, const char* url) override { Note(std::string("url ") + url); }
    void OnWkeAlertBox(DuiLib::CWkeWebkitUI*, const char* msg) override { Note(std::string("alert ") + msg); }
    bool OnWkeNavigation(DuiLib::CWkeWebkitUI*, wkeNavigationType type, const char* url) override {
        Note("navigation " + std::to_string(type) + " " + url);
        return allowNavigation;
    }
    wkeWebView OnWkeCreateView(DuiLib::CWkeWebkitUI*, const wkeNewViewInfo* info) override {
        Note(std::string("create ") + info->url + " " + info->target);
        return newView;
    }
    void OnWkeDocumentReady(DuiLib::CWkeWebkitUI*) override { Note("ready"); }
    void OnWkeLoadingFinish(DuiLib::CWkeWebkitUI*, const char* url, wkeLoadingResult result,
                            const char* reason) override {
        Note("finish " + std::string(url) + " " + std::to_string(result) + " " + reason);
    }
    std::string OnWkePageMessage(DuiLib::CWkeWebkitUI*, const char* text, void* param1,
                                 void* param2) override {
        Note("message " + std::string(text) + " from " + static_cast<const char*>(param1) +
             (param2 == nullptr ? "" : " with param2"));
        return "{\"ok\":1}";
    }

    Strings events;
    bool allOnUiThread = true;
    bool allowNavigation = true;
    wkeWebView newView = nullptr;

  private:
    void Note(std::string event) {
        allOnUiThread = allOnUiThread && DuiLib::IsUiThread();
        events.push_back(std::move(event));
    }
};

class EngineViewWiringTest : public vtest::SandboxTest {
  protected:
    EngineViewWiringTest() : ui(MakeOptions(backend)) {}
    void SetUp() override {
        ASSERT_TRUE(ui.IsRunning());
        engine = std::make_unique<webtest::ScriptedEngine>(sandbox.ProgramDir());
        ASSERT_TRUE(*ui.Call<bool>([] { return LoadWkeEngine(); }));
    }
    void TearDown() override {
        ui.Run([this] { host.reset(); });
    }
    static DuiLib::UiThread::Options MakeOptions(std::shared_ptr<WidgetBackend>& backend) {
        backend = std::make_shared<WidgetBackend>();
        DuiLib::UiThread::Options options;
        options.backend = backend;
        return options;
    }
    HWND MakeHost(Strings names = {"web"}) {
        HWND hwnd = nullptr;
        ui.Run([&] {
            host = std::make_unique<webtest::WebHost>(std::move(names));
            hwnd = host->Create(nullptr, "web", WS_OVERLAPPEDWINDOW, 0);
        });
        return hwnd;
    }

    std::shared_ptr<WidgetBackend> backend;
    DuiLib::UiThread ui;
    std::unique_ptr<webtest::ScriptedEngine> engine;
    std::unique_ptr<webtest::WebHost> host;
};

TEST_F(EngineViewWiringTest, AControlGetsItsViewAtFirstNeedAndTheViewDiesWithTheControl) {
    const HWND hwnd = MakeHost();
    ASSERT_NE(hwnd, nullptr);
    // Built before anything needed the engine: no view yet.
    EXPECT_EQ(engine->ViewCount(), 0);
    ui.Run([&] {
        auto* web = host->View("web");
        web->Navigate("http://127.0.0.1:1/ppt.html");
        web->Back();
        web->Forward();
        web->Reload();
    });
    ASSERT_EQ(engine->ViewCount(), 1);
    const wkeWebView view = engine->View(0);
    Strings expected = {"create"};
    expected.insert(expected.end(), kRegistrations.begin(), kRegistrations.end());
    for (const char* call : {"loadURL http://127.0.0.1:1/ppt.html", "goBack", "goForward", "reload"})
        expected.emplace_back(call);
    EXPECT_EQ(engine->Calls(view), expected);
    EXPECT_EQ(*ui.Call<wkeWebView>([&] { return host->View("web")->GetWebView(); }), view);
    EXPECT_EQ(engine->ViewCount(), 1);  // the same view every time

    ui.Run([&] { host.reset(); });
    EXPECT_FALSE(engine->IsLive(view));
    EXPECT_EQ(engine->Calls(view).back(), "destroy");
}

TEST_F(EngineViewWiringTest, EveryEventReachesTheCallbackOnTheUiThreadWithItsValues) {
    MakeHost();
    RecordingCallback callback;
    ui.Run([&] {
        host->View("web")->SetWkeCallback(&callback);
        host->View("web")->GetWebView();
    });
    const wkeWebView view = engine->View(0);
    ASSERT_NE(view, nullptr);

    // Raised from this thread, not the UI thread.
    engine->TitleChanged(view, "模板");
    engine->TitleChanged(view, nullptr);
    engine->URLChanged(view, "http://127.0.0.1:1/word.html");
    engine->AlertBox(view, "hi");
    EXPECT_TRUE(engine->Navigation(view, WKE_NAVIGATION_TYPE_FORMSUBMITTE, "http://127.0.0.1:1/a"));
    callback.allowNavigation = false;
    EXPECT_FALSE(engine->Navigation(view, WKE_NAVIGATION_TYPE_LINKCLICK, "http://127.0.0.1:1/b"));
    wkeNewViewInfo info{};
    info.url = "http://127.0.0.1:1/popup";
    info.target = "_blank";
    EXPECT_EQ(engine->CreateView(view, &info), nullptr);
    callback.newView = engine->View(0);
    EXPECT_EQ(engine->CreateView(view, &info), engine->View(0));
    engine->DocumentReady(view);
    engine->LoadingFinish(view, "http://127.0.0.1:1/c", WKE_LOADING_FAILED, "connection refused");
    EXPECT_EQ(engine->PageMessage(view, "http://127.0.0.1:1/ppt.html", "{\"action\":\"showlogin\"}"),
              "{\"ok\":1}");

    EXPECT_EQ(callback.events,
              (Strings{"title 模板", "title null", "url http://127.0.0.1:1/word.html", "alert hi",
                       "navigation 1 http://127.0.0.1:1/a", "navigation 0 http://127.0.0.1:1/b",
                       "create http://127.0.0.1:1/popup _blank", "create http://127.0.0.1:1/popup _blank",
                       "ready", "finish http://127.0.0.1:1/c 1 connection refused",
                       "message {\"action\":\"showlogin\"} from http://127.0.0.1:1/ppt.html"}));
    EXPECT_TRUE(callback.allOnUiThread);
    EXPECT_EQ(*ui.Call<std::string>([&] { return host->View("web")->GetUrl(); }),
              "http://127.0.0.1:1/word.html");

    // Raised on the UI thread, they run inline.
    ui.Run([&] { engine->DocumentReady(view); });
    EXPECT_EQ(callback.events.back(), "ready");
    EXPECT_TRUE(callback.allOnUiThread);
}

TEST_F(EngineViewWiringTest, TheNativeWidgetGoesToTheBackEndOfTheWindowAndComesBackBeforeTheViewDies) {
    const HWND hwnd = MakeHost({"first", "second"});
    DuiLib::CControlUI* first = nullptr;
    ui.Run([&] {
        first = host->View("first");
        host->View("first")->GetWebView();
    });
    ASSERT_EQ(engine->ViewCount(), 1);
    void* widget = engine->NativeWidget(engine->View(0));
    auto events = backend->Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].what, "attach");
    EXPECT_EQ(events[0].hwnd, hwnd);
    EXPECT_EQ(events[0].control, first);
    EXPECT_EQ(events[0].widget, widget);

    // A control out of any window hands nothing over; it does when it joins one.
    ui.Run([&] {
        DuiLib::CWkeWebkitUI loose;
        loose.GetWebView();
    });
    EXPECT_EQ(backend->Events().size(), 1u);
    EXPECT_FALSE(engine->IsLive(engine->View(1)));

    ui.Run([&] { host.reset(); });
    events = backend->Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].what, "detach");
    EXPECT_EQ(events[1].widget, widget);
    EXPECT_FALSE(engine->IsLive(engine->View(0)));
}

TEST_F(EngineViewWiringTest, EventsOfAViewWhoseControlIsGoneReachNobody) {
    MakeHost();
    RecordingCallback callback;
    ui.Run([&] {
        host->View("web")->SetWkeCallback(&callback);
        host->View("web")->GetWebView();
    });
    const wkeWebView view = engine->View(0);
    ui.Run([&] { host.reset(); });
    engine->TitleChanged(view, "late");
    EXPECT_TRUE(
        engine->Navigation(view, WKE_NAVIGATION_TYPE_OTHER, "http://x/"));  // no callback: the default
    EXPECT_TRUE(callback.events.empty());
}

}  // namespace
