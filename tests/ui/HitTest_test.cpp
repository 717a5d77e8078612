// Where a point on a skinned window is (its caption band, its sizing edges,
// its controls), what a caption double click does, the mouse leaving a
// window, keys held while others are pressed, and the back end a UI thread
// leaves behind.
#include "SkinDialog.h"
#include "TestScreen.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/backend/Backend.h"

#include <gtest/gtest.h>

using namespace DuiLib;
using uitest::SkinDialog;

namespace {

constexpr const char* kFrameLayout = R"(<Window size="400,300" caption="0,0,0,40" sizebox="4,4,6,6">
  <VerticalLayout>
    <HorizontalLayout height="40"><Label name="title" text="t"/><Button name="btnClose" width="30"/></HorizontalLayout>
    <Edit name="edit" height="30"/>
    <Button name="btn" height="30"/>
  </VerticalLayout>
</Window>)";

class HitTestTest : public ::testing::Test {
  protected:
    SkinDialog* Make(DWORD style) {
        SkinDialog* dlg = nullptr;
        EXPECT_TRUE(ui.Run([&] {
            dlg = new SkinDialog("", kFrameLayout);
            dlg->deleteSelf = true;
            dlg->Create(nullptr, "", style, 0, 100, 50, 0, 0);
            dlg->ShowWindow();
        }));
        return dlg;
    }
    static LRESULT Hit(HWND hwnd, long x, long y) {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(rc.left + x, rc.top + y));
    }

    UiThread ui{UiThread::Options{.screen = uitest::TestScreen()}};
    Automation automation;
};

TEST_F(HitTestTest, CaptionBandAndSizingEdgesAnswerHonestly) {
    SkinDialog* dlg = Make(UI_WNDSTYLE_DIALOG);
    ui.Run([&] {
        const HWND h = dlg->GetHWND();
        EXPECT_EQ(Hit(h, 0, 0), HTTOPLEFT);
        EXPECT_EQ(Hit(h, 200, 2), HTTOP);
        EXPECT_EQ(Hit(h, 399, 0), HTTOPRIGHT);
        EXPECT_EQ(Hit(h, 1, 150), HTLEFT);
        EXPECT_EQ(Hit(h, 395, 150), HTRIGHT);  // the right edge is 6 wide
        EXPECT_EQ(Hit(h, 0, 299), HTBOTTOMLEFT);
        EXPECT_EQ(Hit(h, 200, 295), HTBOTTOM);
        EXPECT_EQ(Hit(h, 399, 299), HTBOTTOMRIGHT);
        EXPECT_EQ(Hit(h, 100, 20), HTCAPTION);  // the title label
        const RECT close = dlg->GetControlRect("btnClose");
        EXPECT_EQ(Hit(h, (close.left + close.right) / 2, 20), HTCLIENT);  // a button takes its click
        EXPECT_EQ(Hit(h, 100, 55), HTCLIENT);                             // below the band
        // Maximised, a window has no edges to size it by.
        ShowWindow(h, SW_SHOWMAXIMIZED);
        EXPECT_EQ(Hit(h, 0, 0), HTCAPTION);
    });
}

TEST_F(HitTestTest, DoubleClickOnTheCaptionMaximisesAndRestoresWindowsWithAMaximiseBox) {
    SkinDialog* frame = Make(UI_WNDSTYLE_FRAME);
    SkinDialog* dialog = Make(UI_WNDSTYLE_DIALOG);
    ui.Run([&] {
        PostMessageW(frame->GetHWND(), WM_NCLBUTTONDBLCLK, static_cast<WPARAM>(HTCAPTION), 0);
        PostMessageW(dialog->GetHWND(), WM_NCLBUTTONDBLCLK, static_cast<WPARAM>(HTCAPTION), 0);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_TRUE(IsZoomed(frame->GetHWND()));
        EXPECT_FALSE(IsZoomed(dialog->GetHWND()));  // a dialog has no maximise box
        PostMessageW(frame->GetHWND(), WM_NCLBUTTONDBLCLK, static_cast<WPARAM>(HTCAPTION), 0);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_FALSE(IsZoomed(frame->GetHWND()));
        RECT rc;
        GetWindowRect(frame->GetHWND(), &rc);
        EXPECT_EQ(rc.Width(), 400);
    });
}

TEST_F(HitTestTest, TheMouseLeavingTheWindowEndsTheHover) {
    SkinDialog* dlg = Make(UI_WNDSTYLE_DIALOG);
    ui.Run([&] {
        const RECT btn = dlg->GetControlRect("btn");
        PostMessageW(dlg->GetHWND(), WM_MOUSEMOVE, 0, MAKELPARAM(btn.left + 2, btn.top + 2));
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_EQ(dlg->m_pm.GetHover(), dlg->m_pm.FindControl("btn"));
        PostMessageW(dlg->GetHWND(), WM_MOUSELEAVE, 0, 0);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_EQ(dlg->m_pm.GetHover(), nullptr);
        EXPECT_FALSE(static_cast<CButtonUI*>(dlg->m_pm.FindControl("btn"))->IsHot());
    });
}

TEST_F(HitTestTest, ControlKeysCopyAndPasteThroughTheClipboardAndShiftExtendsTheSelection) {
    SkinDialog* dlg = Make(UI_WNDSTYLE_DIALOG);
    const HWND h = dlg->GetHWND();
    ASSERT_TRUE(automation.Type(h, "edit", "13800"));
    ui.Run([&] {
        for (auto [msg, key] : std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, VK_SHIFT},
                                                                    {WM_KEYDOWN, VK_LEFT},
                                                                    {WM_KEYDOWN, VK_LEFT},
                                                                    {WM_KEYUP, VK_SHIFT},
                                                                    {WM_KEYDOWN, VK_CONTROL},
                                                                    {WM_KEYDOWN, 'X'},
                                                                    {WM_KEYDOWN, VK_HOME},
                                                                    {WM_KEYDOWN, 'V'},
                                                                    {WM_KEYUP, VK_CONTROL}})
            PostMessageW(h, msg, key, 1);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(automation.Text(h, "edit"), "00138");
    EXPECT_EQ(GetClipboardText(), "00");
    ui.Run([] { EXPECT_EQ(GetKeyState(static_cast<int>(VK_CONTROL)), 0); });
}

// Records what a display back end needs to repaint and to fade.
class StateRecorder : public HeadlessBackend {
  public:
    StateRecorder() : HeadlessBackend(Options{}) {}
    void ControlChanged(HWND, CControlUI* control, ControlChange what) override {
        if (what == ControlChange::State)
            states.push_back(control->GetName());
    }
    void WindowFadeNext(HWND, int ms) override { fades.push_back(ms); }
    std::vector<std::string> states;  // UI thread
    std::vector<int> fades;
};

TEST(BackEndStateTest, HoverPressAndFocusTellTheBackEndWhichControlsChangedTheirLook) {
    auto backend = std::make_shared<StateRecorder>();
    UiThread ui{UiThread::Options{.backend = backend}};
    Automation automation;
    SkinDialog* dlg = nullptr;
    ui.Run([&] {
        dlg = new SkinDialog("", kFrameLayout);
        dlg->deleteSelf = true;
        dlg->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0);
        dlg->ShowWindow();
        backend->states.clear();
        const RECT btn = dlg->GetControlRect("btn");
        const LPARAM at = MAKELPARAM(btn.left + 2, btn.top + 2);
        PostMessageW(dlg->GetHWND(), WM_MOUSEMOVE, 0, at);
        PostMessageW(dlg->GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(dlg->GetHWND(), WM_LBUTTONUP, 0, at);
        PostMessageW(dlg->GetHWND(), WM_MOUSELEAVE, 0, 0);
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        // Entered, pressed (and focused), released, left: each time the
        // button and nothing else.
        EXPECT_EQ(backend->states, (std::vector<std::string>{"btn", "btn", "btn", "btn", "btn"}));
        dlg->FadeInOut(150, AW_HIDE | AW_BLEND);
        dlg->FadeInOut(0, AW_ACTIVATE | AW_BLEND);
        dlg->FadeInOut(200, AW_ACTIVATE);
        EXPECT_EQ(backend->fades, std::vector<int>{150});
        EXPECT_TRUE(IsWindowVisible(dlg->GetHWND()));
        DestroyWindow(dlg->GetHWND());
    });
}

TEST(UiThreadBackendTest, TheBackEndInForceBeforeAUiThreadComesBackAfterIt) {
    std::shared_ptr<Backend> before = GetBackendShared();
    {
        UiThread ui;
        EXPECT_NE(GetBackendShared(), before);
    }
    EXPECT_EQ(GetBackendShared(), before);
}

}  // namespace
