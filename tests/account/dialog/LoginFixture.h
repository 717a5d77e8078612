#pragma once
// The login dialog against the demo store, driven headless as a user would
// (ui/ModalDialogFixture.h), with the scripted engine as its node.so (for the
// browser dialog of the sign-in pages) and an installation id in the machine
// registry.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "ScriptedEngine.h"
#include "account/NewRegDlg.h"
#include "config/Settings.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIEdit.h"
#include "platform/os/Registry.h"
#include "support/DemoStore.h"
#include "support/Sandbox.h"
#include "ui/ModalDialogFixture.h"

namespace logintest {

// The installation id every test's device has.
constexpr const char* kInstallId = "0F1E2D3C4B5A69788796A5B4C3D2E1F0";

// A skinned message box the dialog showed.
struct Box {
    std::string caption;
    std::string text;
    bool error = false;  // the error icon, else the information one
};

class LoginTest : public uitest::ModalDialogTest<CNewRegDlg> {
  protected:
    void SetUp() override {
        ModalDialogTest::SetUp();
        ASSERT_TRUE(store.Started());
        ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, settings::kMachineIdKey, settings::kInstallUuidValue,
                                     kInstallId));
    }

    // Runs the dialog modally over the owner as the main window does;
    // returns its window once shown.
    HWND Open() {
        RunModal([] { return std::make_unique<CNewRegDlg>(); },
                 [this](CNewRegDlg& dialog) {
                     if (dialog.Create(Owner(), "", UI_WNDSTYLE_DIALOG | WS_VISIBLE, 0) == nullptr)
                         return false;
                     dialog.CenterWindow();
                     return true;
                 });
        m_window = automation.WaitForLayout("dlg_reg.xml");
        return m_window;
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
    // The dialog's store requests run off the UI thread: waits (deadline)
    // until the answer has arrived, then for what it does (a box, the end).
    bool RequestRunning() {
        return ui.Call<bool>([this] { return m_dialog->IsRequestRunning(); }).value_or(true);
    }
    bool WaitForAnswer() {
        const bool answered = vtest::WaitFor([this] { return !RequestRunning(); });
        return automation.RunUntilIdle() && answered;
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
        EXPECT_TRUE(WaitForAnswer());
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

    vtest::DemoStore store{sandbox};
    webtest::ScriptedEngine engine{sandbox.ProgramDir()};
    HWND m_window = nullptr;
};

}  // namespace logintest
