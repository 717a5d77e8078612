// The scripted engine's loads follow the real engine's rules, as the client
// hears them through a web view control: a load replaced by another or
// refused by the client finishes cancelled, never failed, and once.

#include "web/WkeLoader.h"

#include "ScriptedEngine.h"
#include "WebHost.h"
#include "platform/duilib/UiThread.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// The finishes the control reports, and the answer for navigations.
class FinishRecorder : public DuiLib::IWkeCallback {
  public:
    bool OnWkeNavigation(DuiLib::CWkeWebkitUI*, wkeNavigationType, const char*) override { return allow; }
    void OnWkeLoadingFinish(DuiLib::CWkeWebkitUI*, const char* url, wkeLoadingResult result,
                            const char* reason) override {
        finishes.push_back(std::string(url) + " " + std::to_string(result) + " " + reason);
    }
    std::string OnWkePageMessage(DuiLib::CWkeWebkitUI*, const char*, void*, void*) override { return {}; }
    void OnWkeTitleChanged(DuiLib::CWkeWebkitUI*, const char*) override {}

    Strings finishes;  // UI thread
    bool allow = true;
};

class ScriptedLoadsTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ui.IsRunning());
        engine = std::make_unique<webtest::ScriptedEngine>(sandbox.ProgramDir());
        ui.Run([&] {
            ASSERT_TRUE(LoadWkeEngine());
            host = std::make_unique<webtest::WebHost>();
            host->Create(nullptr, "web", WS_OVERLAPPEDWINDOW, 0);
            host->View("web")->SetWkeCallback(&recorder);
            host->View("web")->GetWebView();
        });
        ASSERT_EQ(engine->ViewCount(), 1);
        view = engine->View(0);
    }
    void TearDown() override {
        ui.Run([&] { host.reset(); });
    }
    void Navigate(const char* url) {
        ui.Run([&] { host->View("web")->Navigate(url); });
    }
    Strings Finishes() {
        return *ui.Call<Strings>([&] { return recorder.finishes; });
    }

    DuiLib::UiThread ui;
    std::unique_ptr<webtest::ScriptedEngine> engine;
    std::unique_ptr<webtest::WebHost> host;
    FinishRecorder recorder;
    wkeWebView view = nullptr;
};

TEST_F(ScriptedLoadsTest, ALoadReplacedByTheClientOrByThePageFinishesCancelled) {
    Navigate("http://127.0.0.1:1/ppt.html");
    Navigate("http://127.0.0.1:1/word.html");  // a quick tab change
    engine->LoadStarted(view, "http://127.0.0.1:1/word.html");
    engine->LoadStarted(view, "http://127.0.0.1:1/excel.html");  // the page's own link
    engine->LoadingFinish(view, "http://127.0.0.1:1/excel.html", WKE_LOADING_SUCCEEDED);
    EXPECT_EQ(Finishes(), (Strings{"http://127.0.0.1:1/ppt.html 2 replaced by another navigation",
                                   "http://127.0.0.1:1/word.html 2 replaced by another navigation",
                                   "http://127.0.0.1:1/excel.html 0 "}));
}

TEST_F(ScriptedLoadsTest, TheClientsRefusalEndsItsRequestCancelledAndAFailureStaysAFailure) {
    ui.Run([&] { recorder.allow = false; });
    Navigate("http://127.0.0.1:1/ppt.html");
    EXPECT_FALSE(engine->Navigation(view, WKE_NAVIGATION_TYPE_OTHER, "http://127.0.0.1:1/ppt.html"));
    ui.Run([&] { recorder.allow = true; });

    Navigate("http://127.0.0.1:1/word.html");
    engine->LoadStarted(view, "http://127.0.0.1:1/word.html");
    engine->LoadingFinish(view, "http://127.0.0.1:1/word.html", WKE_LOADING_FAILED, "connection refused");
    EXPECT_EQ(Finishes(), (Strings{"http://127.0.0.1:1/ppt.html 2 refused by the client",
                                   "http://127.0.0.1:1/word.html 1 connection refused"}));
}

}  // namespace
