#pragma once
// The main window driven headless: a UI thread on a test screen, the built-in
// skin and the language file in force as start-up puts them, the scripted
// engine installed as node.so, and no server for the update check and the
// toolbox. The main window is one per process at a time; each test lives
// through its windows and lets the next test make its own.

#include "shell/MainFrame.h"

#include <gtest/gtest.h>

#include "../web/ScriptedEngine.h"
#include "account/UserSession.h"
#include "config/OemConfig.h"
#include "config/Settings.h"
#include "diag/RunLog.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"
#include "platform/os/Registry.h"
#include "platform/os/WorkerThread.h"
#include "support/Sandbox.h"
#include "ui/BaseFrame.h"

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace shelltest {

// The client-page host of the tests that need no store: nothing answers.
constexpr const char* kPageHost = "127.0.0.1:9";

inline std::string Page(const std::string& path, const std::string& host = kPageHost) {
    return "http://" + host + path;
}

// The process's run log, opened on first use in a folder of its own and
// removed at the program's end. A log opens once a process, so every test of
// the program shares this one; a test reads what it added.
inline const std::string& RunLogPath() {
    struct Folder {
        std::string log;
        Folder() {
            std::string pattern = std::filesystem::temp_directory_path().string() + "/vanto-runlog-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr)
                log = pattern + "/log.txt";
            CRunLog::Instance().SetPath(log);
            CRunLog::Instance().Open();
        }
        ~Folder() {
            if (!log.empty())
                std::filesystem::remove_all(std::filesystem::path(log).parent_path());
        }
    };
    static const Folder folder;
    return folder.log;
}

class MainFrameTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        // The window starts the toolbox, the daily update check and, for a
        // saved login, the fetch of the user's information: they find no
        // server.
        for (const char* host :
             {"VANTO_UPDATE_HOST", "VANTO_STATS_HOST", "VANTO_TOOLBOX_HOST", "VANTO_STORE_HOST"})
            sandbox.SetEnv(host, "127.0.0.1:1");
        sandbox.SetEnv("VANTO_CLIENT_PAGE_HOST", kPageHost);
        ASSERT_TRUE(m_oem.LoadSkinArchive()) << "the skin object is not linked";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_oem.SkinArchive(), m_oem.SkinArchiveSize()));
        sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language");
        // Nobody is logged in until a test says otherwise.
        UserSession::Instance().Update([](UserSessionValues& values) { values = UserSessionValues{}; });
        CMainFrame::ForgetDestroyedInstance();
        CBaseFrame::ResetMainMonitorDpiCache();
    }
    void TearDown() override {
        if (ui && ui->IsRunning()) {
            ui->Run([] {
                if (CMainFrame* frame = CMainFrame::GetInstance())
                    DestroyWindow(frame->GetHWND());
            });
            ui->Run([] { DuiLib::CPaintManagerUI::SetAllDPI(96); });
        }
        ui.reset();
        CMainFrame::ForgetDestroyedInstance();
        EXPECT_TRUE(vtest::WaitFor([] { return os::WorkerThread::RunningCount() == 0; }));
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
        UserSession::Instance().Update([](UserSessionValues& values) { values = UserSessionValues{}; });
    }

    // The UI thread on a 1920 x 1080 screen of `dpi`, with the engine
    // `build` as node.so (installed once a test: the module stays loaded).
    void StartUi(int dpi = 96, webtest::EngineBuild build = webtest::EngineBuild::Complete) {
        if (!engine)
            engine = std::make_unique<webtest::ScriptedEngine>(sandbox.ProgramDir(), build);
        DuiLib::UiThread::Options options;
        options.screen.dpi = dpi;
        ui.emplace(options);
        ASSERT_TRUE(ui->IsRunning());
    }

    // A saved login, as an earlier run of the client left it.
    void SaveUser(const std::string& token, const std::string& name, int loginType) {
        ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAccount, token));
        ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kNickName, name));
        ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, settings::kClientKey, settings::kLoginType,
                                    static_cast<DWORD>(loginType)));
        UserSession::Instance().Update([&](UserSessionValues& values) {
            values.sessionToken = token;
            values.nickName = name;
            values.loginType = loginType;
        });
    }

    // The main window as the program makes and shows it.
    HWND Open(int show = SW_SHOWMAXIMIZED) {
        if (!ui)
            StartUi();
        frame = ui->Call<CMainFrame*>([] { return CMainFrame::GetInstance(); }).value_or(nullptr);
        EXPECT_NE(frame, nullptr);
        if (frame == nullptr)
            return nullptr;
        hwnd = frame->GetHWND();
        ui->Run([&] { ::ShowWindow(hwnd, show); });
        EXPECT_TRUE(automation.RunUntilIdle());
        return hwnd;
    }

    // The addresses view `name` of the main window was asked to load, in order.
    std::vector<std::string> Loads(const std::string& name) {
        const wkeWebView view = ui->Call<wkeWebView>([&] {
                                      auto* control = DuiLib::Automation::FindControl(hwnd, name);
                                      auto* web = DuiLib::ControlCast<DuiLib::CWkeWebkitUI>(control);
                                      return web != nullptr
                                                 ? web->GetViewPeer() != nullptr ? web->GetWebView() : nullptr
                                                 : nullptr;
                                  }).value_or(nullptr);
        std::vector<std::string> loads;
        if (view == nullptr)
            return loads;
        for (const std::string& call : engine->Requests(view))
            if (call.rfind("loadURL ", 0) == 0)
                loads.push_back(call.substr(8));
        return loads;
    }
    // The engine view behind control `name` (made now when it has none).
    wkeWebView ViewOf(const std::string& name) {
        return ui
            ->Call<wkeWebView>([&] {
                auto* web =
                    DuiLib::ControlCast<DuiLib::CWkeWebkitUI>(DuiLib::Automation::FindControl(hwnd, name));
                return web != nullptr ? web->GetWebView() : nullptr;
            })
            .value_or(nullptr);
    }
    int SwitchPage() {
        return ui->Call<int>([&] { return frame->GetTabSelection("switch"); }).value_or(-2);
    }
    int TabUserPage() {
        return ui->Call<int>([&] { return frame->GetTabSelection("tabUser"); }).value_or(-2);
    }
    int FixedWidth(const std::string& name) {
        return ui
            ->Call<int>([&] {
                DuiLib::CControlUI* control = DuiLib::Automation::FindControl(hwnd, name);
                return control != nullptr ? static_cast<int>(control->GetFixedWidth()) : -1;
            })
            .value_or(-2);
    }
    bool Visible(const std::string& name) { return automation.IsControlVisible(hwnd, name).value_or(false); }

    COemConfig m_oem;
    std::optional<DuiLib::UiThread> ui;
    DuiLib::Automation automation;
    std::unique_ptr<webtest::ScriptedEngine> engine;
    CMainFrame* frame = nullptr;
    HWND hwnd = nullptr;
};

}  // namespace shelltest
