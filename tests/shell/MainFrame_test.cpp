#include "shell/MainFrame.h"

#include <gtest/gtest.h>

#include "config/LangFile.h"
#include "config/OemConfig.h"
#include "config/Settings.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/InstanceChannel.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/Registry.h"
#include "platform/os/WorkerThread.h"
#include "support/Sandbox.h"

#include <filesystem>
#include <memory>
#include <string>

namespace {

// The main window is one per process, so its whole life is one test.
class MainFrameTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        // The window starts the toolbox and the daily update check: they find
        // no server.
        for (const char* host : {"VANTO_UPDATE_HOST", "VANTO_STATS_HOST", "VANTO_TOOLBOX_HOST"})
            sandbox.SetEnv(host, "127.0.0.1:1");
        ASSERT_TRUE(ui.IsRunning());
        ASSERT_TRUE(m_oem.LoadSkinArchive()) << "the skin object is not linked";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_oem.SkinArchive(), m_oem.SkinArchiveSize()));
        const std::filesystem::path language = std::filesystem::path(sandbox.ProgramDir()) / "language";
        std::filesystem::create_directories(language);
        std::filesystem::copy_file(std::filesystem::path(VANTO_BIN_DIR) / "language" / "cn.dat",
                                   language / "cn.dat");
    }
    void TearDown() override {
        EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
    }

    DuiLib::UiThread ui;
    DuiLib::Automation automation;
    COemConfig m_oem;
};

TEST_F(MainFrameTest, OneWindowWhoseCloseEndsTheLoopAndWhoseClassOtherStartsFind) {
    auto frame = ui.Call<CMainFrame*>([] { return CMainFrame::GetInstance(); });
    ASSERT_TRUE(frame && *frame != nullptr);
    const HWND hwnd = (*frame)->GetHWND();
    EXPECT_EQ(ui.Call<CMainFrame*>([] { return CMainFrame::GetInstance(); }), *frame);
    EXPECT_EQ(ui.Call<std::string>([&] { return GetClassNameW(hwnd); }), "VANTOWindowClass");
    EXPECT_EQ(ui.Call<std::string>([&] { return GetWindowTextW(hwnd); }), "墨林工坊");
    EXPECT_TRUE(automation.IsVisible(hwnd));
    // Its initialisation started the daily update check.
    EXPECT_TRUE(vtest::WaitFor([] {
        return os::RegGetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kUpdateDay).has_value();
    }));
    EXPECT_EQ(ui.Call<HWND>([] { return FindWindowW("VANTOWindowClass", nullptr); }), hwnd);

    // The menu's "menuUpdate", once the daily check has ended, checks again
    // with its messages over this window: no server answers here.
    ASSERT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
    ASSERT_TRUE(DuiLib::PostOwnedWParam(hwnd, WM_MENUCLICK, std::make_unique<std::string>("menuUpdate"), 0));
    const HWND box = automation.WaitForLayout("dlg_message.xml");
    ASSERT_NE(box, nullptr);
    std::string noVersion;
    ReadLangEntry("Message", "NoVersion", "", noVersion, 260, GetLangFilePath());
    EXPECT_FALSE(noVersion.empty());
    EXPECT_EQ(automation.Text(box, "context"), noVersion);
    ASSERT_TRUE(automation.Click(box, "btnClose"));
    ASSERT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
    // Published for other processes (this thread sees it as one would).
    EXPECT_TRUE(DuiLib::InstanceChannel::IsRemoteHandle(FindWindowW("VANTOWindowClass", nullptr)));

    // "btnClose" and the system close both end the loop; the window stays
    // for teardown.
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
    EXPECT_TRUE(vtest::WaitFor([&] { return ui.QuitCount() == 1; }));
    EXPECT_EQ(ui.LastQuitCode(), 0);
    EXPECT_TRUE(IsWindow(hwnd));
    ASSERT_TRUE(PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0));
    EXPECT_TRUE(vtest::WaitFor([&] { return ui.QuitCount() == 2; }));
    EXPECT_TRUE(IsWindow(hwnd));

    // Once gone, the window is neither offered to other starts nor made again.
    ASSERT_TRUE(ui.Run([&] { DestroyWindow(hwnd); }));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(FindWindowW("VANTOWindowClass", nullptr), nullptr);
    EXPECT_EQ(ui.Call<CMainFrame*>([] { return CMainFrame::GetInstance(); }), nullptr);
}

}  // namespace
