// The focus indicator on the display: drawn where and in the colour the
// model decides, only after keys; moving the focus repaints the old and the
// new focus rectangles and nothing else.
#include "GuiFixture.h"

#include "platform/duilib/WinUser.h"

using namespace DuiLib;
using guitest::GuiTest;

namespace {

bool Within(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

class FocusIndicatorTest : public GuiTest {
  protected:
    bool Painted(HWND hwnd) {
        bool painted = false;
        ui.Run([&] { painted = Gtk()->FlushPaint(hwnd); });
        return painted;
    }
    // Presses `key` and waits until the window has repainted; what it
    // repainted.
    std::vector<RECT> DamageOf(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam = 0) {
        ui.Run([&] {
            Gtk()->ResetPaintStats(hwnd);
            PostMessageW(hwnd, msg, wParam, lParam);
        });
        EXPECT_TRUE(automation.RunUntilIdle());
        EXPECT_TRUE(Painted(hwnd));
        GtkProbes::PaintStats stats;
        ui.Run([&] { stats = Gtk()->GetPaintStats(hwnd); });
        return stats.allDamage;
    }
};

TEST_F(FocusIndicatorTest, TabDrawsTheRingAndRepaintsOnlyTheOldAndNewFocus) {
    guitest::LayoutWindow* window = Open("dlg_reg.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(Painted(hwnd));
    DamageOf(hwnd, WM_KEYDOWN, VK_TAB);  // to the first stop, the close button
    RECT closeButton, mobile;
    ui.Run([&] {
        closeButton = window->GetControlRect("btnClose");
        mobile = window->GetControlRect("userMobile");
    });
    for (const RECT& damage : DamageOf(hwnd, WM_KEYDOWN, VK_TAB)) {  // to the mobile edit
        EXPECT_TRUE(Within(damage, closeButton) || Within(damage, mobile))
            << damage.left << "," << damage.top << "," << damage.right << "," << damage.bottom;
    }
    std::optional<TFocusIndicator> ring;
    ui.Run([&] { ring = window->m_pm.GetFocusIndicator(); });
    ASSERT_TRUE(ring);
    std::optional<GtkProbes::Image> shown = Grab(hwnd);
    ASSERT_TRUE(shown);
    shown->WritePng(OutputDir() + "/focus-indicator-userMobile.png");
    const int midY = static_cast<int>((ring->rect.top + ring->rect.bottom) / 2);
    const int midX = static_cast<int>((ring->rect.left + ring->rect.right) / 2);
    EXPECT_EQ(shown->At(static_cast<int>(ring->rect.left), midY), ring->color);
    EXPECT_EQ(shown->At(midX, static_cast<int>(ring->rect.bottom) - 1), ring->color);
    EXPECT_EQ(shown->At(static_cast<int>(ring->rect.left) + ring->width, midY), ring->contrast);
    // A click in the edit ends the keyboard's focus: the ring goes, and only
    // the edit repaints.
    const POINT inside{(mobile.left + mobile.right) / 2, (mobile.top + mobile.bottom) / 2};
    for (const RECT& damage : DamageOf(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(inside.x, inside.y)))
        EXPECT_TRUE(Within(damage, mobile));
    DamageOf(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(inside.x, inside.y));
    shown = Grab(hwnd);
    ASSERT_TRUE(shown);
    EXPECT_NE(shown->At(static_cast<int>(ring->rect.left), midY), ring->color);
}

}  // namespace
