// The engine loader against the scripted engine installed as node.so in the
// sandbox's program folder.

#include "web/WkeLoader.h"

#include "ScriptedEngine.h"
#include "WebHost.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/Paths.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <mutex>
#include <vector>

namespace {

class WkeLoaderTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        DuiLib::SetMessageBoxSink([this](const DuiLib::MessageBoxRecord& box) -> std::optional<int> {
            std::lock_guard lock(m_mutex);
            m_boxes.push_back(box);
            return IDOK;
        });
    }
    void TearDown() override { DuiLib::SetMessageBoxSink({}); }

    std::vector<DuiLib::MessageBoxRecord> Boxes() {
        std::lock_guard lock(m_mutex);
        return m_boxes;
    }

  private:
    std::mutex m_mutex;
    std::vector<DuiLib::MessageBoxRecord> m_boxes;
};

TEST_F(WkeLoaderTest, OpensNodeSoOfTheProgramFolderAndFillsTheWholeTableAtEveryRun) {
    webtest::ScriptedEngine engine(sandbox.ProgramDir());
    EXPECT_EQ(WkeModulePath(), sandbox.ProgramDir() + "/node.so");
    ASSERT_TRUE(LoadWkeEngine());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(engine.InitializeCount(), 1);
    const WkeFunctionTable& table = WkeFunctions();
    EXPECT_NE(table.wkeInitializeEx, nullptr);
    EXPECT_NE(table.wkeSetZoomFactor, nullptr);
    EXPECT_NE(table.wkeOnPageMessage, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(table.wkeGetNativeWidget), engine.Export<void*>("wkeGetNativeWidget"));

    // A second window's run initialises the engine again.
    ASSERT_TRUE(LoadWkeEngine());
    EXPECT_EQ(engine.InitializeCount(), 2);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WkeLoaderTest, AMissingOptionalExportShowsOneBoxWithItsNameAndTheLoaderStillSucceeds) {
    webtest::ScriptedEngine engine(sandbox.ProgramDir(), webtest::EngineBuild::WithoutZoom);
    ASSERT_TRUE(LoadWkeEngine());
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "wke api not found");
    EXPECT_EQ(boxes[0].caption, "wkeSetZoomFactor");
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
    // The entry is empty; every export after it is still bound.
    EXPECT_EQ(WkeFunctions().wkeSetZoomFactor, nullptr);
    EXPECT_NE(WkeFunctions().wkeSetCookieJarPath, nullptr);
    EXPECT_NE(WkeFunctions().wkeGetNativeWidget, nullptr);
}

TEST_F(WkeLoaderTest, AModuleWithoutInitializeGivesFalseAndNoBox) {
    webtest::ScriptedEngine engine(sandbox.ProgramDir(), webtest::EngineBuild::WithoutInitialize);
    EXPECT_FALSE(LoadWkeEngine());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(engine.ViewCount(), 0);
}

TEST_F(WkeLoaderTest, AnEngineThatIsNotUsableOrNotThereGivesFalseAndLeavesTheTableAsItWas) {
    {
        webtest::ScriptedEngine engine(sandbox.ProgramDir());
        ASSERT_TRUE(LoadWkeEngine());
        engine.SetInitializeAnswer(false);  // as without a display
        const auto before = WkeFunctions().wkeLoadURL;
        EXPECT_FALSE(LoadWkeEngine());
        EXPECT_EQ(engine.InitializeCount(), 2);
        EXPECT_EQ(WkeFunctions().wkeLoadURL, before);  // never cleared
    }
    // No node.so at all (the program folder of another sandbox).
    vtest::Sandbox empty;
    EXPECT_FALSE(LoadWkeEngine());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(WkeLoaderTest, TheModuleIsFoundOnlyInTheProgramFolder) {
    // A node.so in the working folder (or anywhere but the program folder) is not
    // the engine.
    vtest::Sandbox elsewhere;
    webtest::ScriptedEngine stray(elsewhere.ProgramDir());
    ASSERT_EQ(chdir(elsewhere.ProgramDir().c_str()), 0);
    os::OverrideProgramFolder(sandbox.ProgramDir());
    EXPECT_FALSE(LoadWkeEngine());
    EXPECT_EQ(stray.InitializeCount(), 0);
    ASSERT_EQ(chdir("/"), 0);
}

// Each row empties one entry of a complete table.
struct TableEntry {
    const char* name;
    void (*clear)(WkeFunctionTable&);
    bool viewsStay;  // a feature, not a view function
};

const TableEntry kEntries[] = {
    {"wkeSetMemoryCacheEnable", [](WkeFunctionTable& t) { t.wkeSetMemoryCacheEnable = nullptr; }, true},
    {"wkeSetZoomFactor", [](WkeFunctionTable& t) { t.wkeSetZoomFactor = nullptr; }, true},
    {"wkeSetCookieJarPath", [](WkeFunctionTable& t) { t.wkeSetCookieJarPath = nullptr; }, true},
    {"wkeGetURL", [](WkeFunctionTable& t) { t.wkeGetURL = nullptr; }, true},
    {"wkeCreateWebView", [](WkeFunctionTable& t) { t.wkeCreateWebView = nullptr; }, false},
    {"wkeDestroyWebView", [](WkeFunctionTable& t) { t.wkeDestroyWebView = nullptr; }, false},
    {"wkeLoadURL", [](WkeFunctionTable& t) { t.wkeLoadURL = nullptr; }, false},
    {"wkeGoBack", [](WkeFunctionTable& t) { t.wkeGoBack = nullptr; }, false},
    {"wkeGoForward", [](WkeFunctionTable& t) { t.wkeGoForward = nullptr; }, false},
    {"wkeReload", [](WkeFunctionTable& t) { t.wkeReload = nullptr; }, false},
    {"wkeOnTitleChanged", [](WkeFunctionTable& t) { t.wkeOnTitleChanged = nullptr; }, false},
    {"wkeOnURLChanged", [](WkeFunctionTable& t) { t.wkeOnURLChanged = nullptr; }, false},
    {"wkeOnAlertBox", [](WkeFunctionTable& t) { t.wkeOnAlertBox = nullptr; }, false},
    {"wkeOnNavigation", [](WkeFunctionTable& t) { t.wkeOnNavigation = nullptr; }, false},
    {"wkeOnCreateView", [](WkeFunctionTable& t) { t.wkeOnCreateView = nullptr; }, false},
    {"wkeOnDocumentReady", [](WkeFunctionTable& t) { t.wkeOnDocumentReady = nullptr; }, false},
    {"wkeOnLoadingFinish", [](WkeFunctionTable& t) { t.wkeOnLoadingFinish = nullptr; }, false},
    {"wkeOnPageMessage", [](WkeFunctionTable& t) { t.wkeOnPageMessage = nullptr; }, false},
    {"wkeGetNativeWidget", [](WkeFunctionTable& t) { t.wkeGetNativeWidget = nullptr; }, false},
};

TEST_F(WkeLoaderTest, ViewsNeedEveryViewFunctionButNoneOfTheFeatures) {
    webtest::ScriptedEngine engine(sandbox.ProgramDir());
    ASSERT_TRUE(LoadWkeEngine());
    ASSERT_TRUE(WkeCanMakeViews(WkeFunctions()));
    for (const TableEntry& entry : kEntries) {
        WkeFunctionTable table = WkeFunctions();
        entry.clear(table);
        EXPECT_EQ(WkeCanMakeViews(table), entry.viewsStay) << "without " << entry.name;
    }
}

TEST_F(WkeLoaderTest, AModuleWithoutDestroyIsNeverAskedForAViewAndItsControlsStayEmpty) {
    webtest::ScriptedEngine engine(sandbox.ProgramDir(), webtest::EngineBuild::WithoutDestroy);
    DuiLib::UiThread ui;
    ASSERT_TRUE(ui.IsRunning());
    // Usable, with the one box of the missing export.
    ASSERT_TRUE(*ui.Call<bool>([] { return LoadWkeEngine(); }));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "wkeDestroyWebView");

    // A view it could not destroy would raise its events at the control
    // after the control is gone: none is made, whatever the control needs.
    std::unique_ptr<webtest::WebHost> host;
    const auto viewOfControl = ui.Call<wkeWebView>([&] {
        host = std::make_unique<webtest::WebHost>();
        host->Create(nullptr, "web", WS_OVERLAPPEDWINDOW, 0);
        DuiLib::CWkeWebkitUI* web = host->View("web");
        web->Navigate("http://127.0.0.1:1/ppt.html");
        web->Reload();
        return web->GetWebView();
    });
    ASSERT_TRUE(viewOfControl.has_value());
    EXPECT_EQ(*viewOfControl, nullptr);
    EXPECT_EQ(engine.ViewCount(), 0);
    ui.Run([&] { host.reset(); });
    EXPECT_EQ(engine.ViewCount(), 0);
}

}  // namespace
