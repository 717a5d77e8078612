#pragma once
// A client dialog run modally over an owner window, as its creators run it:
// a UI thread on the test screen, the built-in skin in force as start-up puts
// it, the language file beside the sandboxed program, and an owner window
// standing in for the main window. The creator keeps the dialog object and
// reads its results after the run.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "platform/duilib/Automation.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WindowWnd.h"
#include "platform/os/Resource.h"
#include "support/Sandbox.h"
#include "ui/TestScreen.h"

namespace uitest {

class DialogOwner : public DuiLib::CWindowWnd {
  public:
    const char* GetWindowClassName() const override { return "DialogOwner"; }
};

template <typename Dialog>
class ModalDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(m_skin.data, nullptr) << "the skin resource is linked into this test";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(m_skin.data, m_skin.size));
        sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language");
        ui.Run([this] {
            m_owner = std::make_unique<DialogOwner>();
            m_owner->Create(nullptr, "owner", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 1200, 740);
        });
    }

    void TearDown() override {
        // A dialog a failed test left open goes first, so its run ends.
        ui.Run([this] {
            if (m_dialog != nullptr && ::IsWindow(m_dialog->GetHWND()))
                ::DestroyWindow(m_dialog->GetHWND());
        });
        EXPECT_TRUE(Ended());
        ui.Run([this] {
            m_dialog.reset();
            m_owner.reset();
        });
        DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0);
    }

    // Runs a dialog modally on the UI thread: `make` makes it, `create` makes
    // its window over the owner (false when that failed: nothing runs).
    void RunModal(std::function<std::unique_ptr<Dialog>()> make, std::function<bool(Dialog&)> create) {
        m_ended = false;
        ui.Post([this, create = std::move(create), make = std::move(make)] {
            m_dialog = make();
            if (create(*m_dialog))
                m_result = m_dialog->ShowModal();
            m_ended = true;
        });
    }
    bool Ended() {
        return vtest::WaitFor([this] { return m_ended.load(); });
    }
    HWND Owner() const { return m_owner->GetHWND(); }

    vtest::Sandbox sandbox;
    DuiLib::UiThread ui{DuiLib::UiThread::Options{.screen = TestScreen()}};
    DuiLib::Automation automation;
    std::unique_ptr<Dialog> m_dialog;
    std::unique_ptr<DialogOwner> m_owner;
    std::atomic<bool> m_ended{true};
    UINT m_result = 0;
    os::ResourceBytes m_skin = os::FindResourceBytes("DATA", 202);
};

}  // namespace uitest
