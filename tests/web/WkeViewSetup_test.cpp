// View preparation: what each kind of view asks of the engine, the zoom rule
// by monitor DPI, and features the engine lacks skipped quietly.

#include "web/WkeViewSetup.h"

#include "ScriptedEngine.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "support/Sandbox.h"
#include "web/WkeLoader.h"

#include <gtest/gtest.h>

namespace {

using Strings = std::vector<std::string>;

class NoCallback : public DuiLib::IWkeCallback {
  public:
    void OnWkeTitleChanged(DuiLib::CWkeWebkitUI*, const char*) override {}
    bool OnWkeNavigation(DuiLib::CWkeWebkitUI*, wkeNavigationType, const char*) override { return true; }
    void OnWkeLoadingFinish(DuiLib::CWkeWebkitUI*, const char*, wkeLoadingResult, const char*) override {}
    std::string OnWkePageMessage(DuiLib::CWkeWebkitUI*, const char*, void*, void*) override { return {}; }
};

// Runs `prepare` on a fresh control on a UI thread whose main monitor has
// `dpi`, and answers what the engine was asked (registrations left out).
Strings Prepared(const std::string& programDir, int dpi, webtest::EngineBuild build,
                 const std::function<void(DuiLib::CWkeWebkitUI&, DuiLib::IWkeCallback*)>& prepare,
                 DuiLib::IWkeCallback** seen = nullptr) {
    DuiLib::UiThread::Options options;
    options.screen.dpi = dpi;
    DuiLib::UiThread ui(options);
    webtest::ScriptedEngine engine(programDir, build);
    DuiLib::SetMessageBoxSink([](const DuiLib::MessageBoxRecord&) { return IDOK; });
    EXPECT_TRUE(*ui.Call<bool>([] { return LoadWkeEngine(); }));
    DuiLib::SetMessageBoxSink({});
    NoCallback callback;
    ui.Run([&] {
        DuiLib::CWkeWebkitUI view;
        prepare(view, &callback);
        if (seen != nullptr)
            *seen = view.GetWkeCallback();
    });
    const int count = engine.ViewCount();
    return engine.Requests(engine.View(count - 1));
}

TEST(ZoomFactorForDpi, OnlyAt120AndFrom192Up) {
    EXPECT_EQ(ZoomFactorForDpi(120), 1.25F);
    EXPECT_EQ(ZoomFactorForDpi(192), 2.0F);
    EXPECT_EQ(ZoomFactorForDpi(288), 3.0F);
    for (int dpi : {96, 119, 121, 144, 168, 191})
        EXPECT_FALSE(ZoomFactorForDpi(dpi)) << dpi;
}

class WkeViewSetupTest : public vtest::SandboxTest {};

TEST_F(WkeViewSetupTest, ATabViewGetsItsCallbackTheMemoryCacheAndTheZoomOfTheMonitor) {
    auto tab = [](DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback) {
        PrepareTabView(view, callback);
    };
    DuiLib::IWkeCallback* seen = nullptr;
    EXPECT_EQ(Prepared(sandbox.ProgramDir(), 120, webtest::EngineBuild::Complete, tab, &seen),
              (Strings{"create", "setMemoryCacheEnable 1", "setZoomFactor 1.25", "destroy"}));
    EXPECT_NE(seen, nullptr);
}

TEST_F(WkeViewSetupTest, NoZoomAt144AndDoubleAt192) {
    auto tab = [](DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback) {
        PrepareTabView(view, callback);
    };
    EXPECT_EQ(Prepared(sandbox.ProgramDir(), 144, webtest::EngineBuild::Complete, tab),
              (Strings{"create", "setMemoryCacheEnable 1", "destroy"}));
    vtest::Sandbox second;
    EXPECT_EQ(Prepared(second.ProgramDir(), 192, webtest::EngineBuild::Complete, tab),
              (Strings{"create", "setMemoryCacheEnable 1", "setZoomFactor 2", "destroy"}));
}

TEST_F(WkeViewSetupTest, TheLoginSyncViewAndTheDialogViewGetTheCookieFolder) {
    const std::string folder = sandbox.UserDataFolder();
    EXPECT_EQ(Prepared(sandbox.ProgramDir(), 192, webtest::EngineBuild::Complete,
                       [&](DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback) {
                           PrepareLoginSyncView(view, callback, folder);
                       }),
              (Strings{"create", "setCookieJarPath " + folder, "destroy"}));
    vtest::Sandbox second;
    EXPECT_EQ(Prepared(second.ProgramDir(), 192, webtest::EngineBuild::Complete,
                       [&](DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback) {
                           PrepareDialogView(view, callback, folder);
                       }),
              (Strings{"create", "setCookieJarPath " + folder, "setZoomFactor 2", "destroy"}));
}

TEST_F(WkeViewSetupTest, AnEngineWithoutZoomLeavesTheZoomOut) {
    auto tab = [](DuiLib::CWkeWebkitUI& view, DuiLib::IWkeCallback* callback) {
        PrepareTabView(view, callback);
    };
    EXPECT_EQ(Prepared(sandbox.ProgramDir(), 120, webtest::EngineBuild::WithoutZoom, tab),
              (Strings{"create", "setMemoryCacheEnable 1", "destroy"}));
}

}  // namespace
