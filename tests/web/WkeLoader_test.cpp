// The engine loader against the scripted engine installed as node.so in the
// sandbox's program folder.

#include "web/WkeLoader.h"

#include "ScriptedEngine.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/Paths.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <unistd.h>

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

}  // namespace
