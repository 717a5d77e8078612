#pragma once
// The login dialog against the demo store, driven headless as a user would:
// a UI thread on the test screen, the built-in skin in force as start-up puts
// it, the language file beside the sandboxed program, the scripted engine as
// its node.so (for the browser dialog of the sign-in pages), an installation
// id in the machine registry, and an owner window standing in for the main
// window, which runs the dialog modally and reads its results.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "ScriptedEngine.h"
#include "account/NewRegDlg.h"
#include "config/Settings.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/os/Registry.h"
#include "platform/os/Resource.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"
#include "ui/TestScreen.h"

namespace logintest {

// The installation id every test's device has.
constexpr const char* kInstallId = "0F1E2D3C4B5A69788796A5B4C3D2E1F0";

class OwnerWindow : public DuiLib::CWindowWnd {
  public:
    const char* GetWindowClassName() const override { return "LoginOwner"; }
};

// A skinned message box the dialog showed.
struct Box {
    std::string caption;
    std::string text;
    bool error = false;  // the error icon, else the information one
};

class LoginTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(store.Started());
        ASSERT_NE(m_skin.data, nullptr) << "the skin resource is linked into this test";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_skin.data, m_skin.size));
        sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language");
        ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, settings::kMachineIdKey, settings::kInstallUuidValue,
                                     kInstallId));
        ui.Run([this] {
            m_owner = std::make_unique<OwnerWindow>();
            m_owner->Create(nullptr, "owner", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 1200, 740);
        });
    }

    void TearDown() override {
        // A dialog a failed test left open goes first, so its run ends.
        ui.Run([this] {
            if (m_dialog != nullptr && ::IsWindow(m_dialog->GetHWND()))
                ::DestroyWindow(m_dialog->GetHWND());
        });
        EXPECT_TRUE(vtest::WaitFor([this] { return m_ended.load(); }));
        ui.Run([this] {
            m_dialog.reset();
            m_owner.reset();
        });
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
    }

    // Runs the dialog modally over the owner as the main window does;
    // returns its window once shown.
    HWND Open() {
        m_ended = false;
        ui.Post([this] {
            m_dialog = std::make_unique<CNewRegDlg>();
            if (m_dialog->Create(m_owner->GetHWND(), "", UI_WNDSTYLE_DIALOG | WS_VISIBLE, 0) != nullptr) {
                m_dialog->CenterWindow();
                m_result = m_dialog->ShowModal();
            }
            m_ended = true;
        });
        m_window = automation.WaitForLayout("dlg_reg.xml");
        return m_window;
    }
    bool Ended() {
        return vtest::WaitFor([this] { return m_ended.load(); });
    }
    bool StillOpen() {
        automation.RunUntilIdle();
        return !m_ended.load() && automation.IsVisible(m_window);
    }

    // A value of the dialog, read on the UI thread.
    template <typename R>
    R Read(const std::function<R(const CNewRegDlg&)>& read) {
        return *ui.Call<R>([&] { return read(*m_dialog); });
    }
    // Puts a text into an edit the way no keyboard can (an input method's
    // commit, a skin without the edit's limits).
    void SetEditText(const char* edit, const std::string& text) {
        ui.Run([&] {
            if (auto* control =
                    DuiLib::ControlCast<DuiLib::CEditUI>(DuiLib::Automation::FindControl(m_window, edit)))
                control->SetText(text);
        });
    }
    std::string Text(const char* control) { return automation.Text(m_window, control).value_or("<none>"); }
    bool Enabled(const char* control) {
        return automation.IsControlEnabled(m_window, control).value_or(false);
    }

    // The message box shown now, answered with its close button; empty
    // when none is shown.
    std::optional<Box> TakeBox() {
        automation.RunUntilIdle();
        const HWND box = automation.FindByLayout("dlg_message.xml");
        if (box == nullptr || !automation.IsVisible(box))
            return std::nullopt;
        Box shown{automation.Text(box, "caption").value_or(""), automation.Text(box, "context").value_or(""),
                  automation.IsControlVisible(box, "errorLogo").value_or(false)};
        EXPECT_TRUE(automation.Click(box, "btnClose"));
        return shown;
    }

    // Types the number and asks for a code; the box that answers.
    std::optional<Box> SendCode(const std::string& phone) {
        SetEditText("userMobile", "");
        EXPECT_TRUE(automation.Type(m_window, "userMobile", phone));
        EXPECT_TRUE(automation.Click(m_window, "btnSendVeryfyCode"));
        return TakeBox();
    }

    // Requests that reached the store's path.
    std::vector<Json::Value> StoreRequests(const std::string& path) const {
        std::vector<Json::Value> found;
        for (const Json::Value& request : store.Requests("store"))
            if (request["path"].asString() == path)
                found.push_back(request);
        return found;
    }
    bool SetStoreFault(const std::string& path, Json::Value fault) const {
        fault["service"] = "store";
        fault["path"] = path;
        return store.SetFault(fault);
    }

    vtest::Sandbox sandbox;
    vtest::DemoStore store{sandbox};
    webtest::ScriptedEngine engine{sandbox.ProgramDir()};
    DuiLib::UiThread ui{DuiLib::UiThread::Options{.screen = uitest::TestScreen()}};
    DuiLib::Automation automation;
    std::unique_ptr<CNewRegDlg> m_dialog;
    std::unique_ptr<OwnerWindow> m_owner;
    HWND m_window = nullptr;
    std::atomic<bool> m_ended{true};
    UINT m_result = 0;
    os::ResourceBytes m_skin = os::FindResourceBytes("DATA", 202);
};

}  // namespace logintest
