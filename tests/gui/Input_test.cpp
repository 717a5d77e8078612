// Input on the display: hover repaints only the control that changed, the
// input method types into edits, and real events from the X server (XTest,
// through xdotool) click, type and drag as a user's would.
#include "GuiFixture.h"

#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIWkeWebkit.h"
#include "platform/duilib/WinUser.h"

#include <gtk/gtk.h>

#include <cstdlib>

using namespace DuiLib;
using guitest::GuiTest;

namespace {

RECT Bounds(const std::vector<RECT>& rects) {
    RECT all{};
    for (const RECT& rc : rects) {
        if (all.Width() <= 0 || all.Height() <= 0) {
            all = rc;
            continue;
        }
        all = RECT{std::min(all.left, rc.left), std::min(all.top, rc.top), std::max(all.right, rc.right),
                   std::max(all.bottom, rc.bottom)};
    }
    return all;
}

class InputTest : public GuiTest {
  protected:
    bool Painted(HWND hwnd) {
        bool painted = false;
        ui.Run([&] { painted = Gtk()->FlushPaint(hwnd); });
        return painted;
    }
};

TEST_F(InputTest, AHoverRepaintsOnlyTheHoveredControl) {
    guitest::LayoutWindow* window = Open("dlg_about.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(Painted(hwnd));
    const std::optional<GtkProbes::Image> normal = Grab(hwnd);
    RECT button;
    ui.Run([&] {
        button = window->GetControlRect("btnClose");
        Gtk()->ResetPaintStats(hwnd);
        PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(button.left + 3, button.top + 3));
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ASSERT_TRUE(Painted(hwnd));
    GtkProbes::PaintStats stats;
    ui.Run([&] { stats = Gtk()->GetPaintStats(hwnd); });
    EXPECT_EQ(stats.frames, 1);
    EXPECT_EQ(Bounds(stats.allDamage), button);
    // What the screen shows is the hovered look the model asks for.
    std::optional<GtkProbes::Image> hovered = Grab(hwnd);
    ASSERT_TRUE(hovered && normal);
    hovered->WritePng(OutputDir() + "/hover-btnClose.png");
    EXPECT_GT(guitest::CountDifferentIn(*hovered, *normal, button, 2), 0);
    EXPECT_EQ(guitest::CountDifferentIn(*hovered, *Render(hwnd), button, 2), 0);
    // Leaving it repaints it once more, and nothing else.
    ui.Run([&] {
        Gtk()->ResetPaintStats(hwnd);
        PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 240));  // the window's margin: nothing clickable
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    ASSERT_TRUE(Painted(hwnd));
    ui.Run([&] { stats = Gtk()->GetPaintStats(hwnd); });
    EXPECT_EQ(Bounds(stats.allDamage), button);
    std::optional<GtkProbes::Image> left = Grab(hwnd);
    ASSERT_TRUE(left);
    EXPECT_EQ(guitest::CountDifferentIn(*left, *normal, button, 2), 0);
}

TEST_F(InputTest, TheInputMethodTypesCommittedTextAndShowsItsComposition) {
    guitest::LayoutWindow* window = Open("dlg_reg.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(automation
                    .Call<bool>([&] {
                        auto* edit = static_cast<CEditUI*>(window->m_pm.FindControl("verifyCode"));
                        edit->SetAttribute("numberonly", "false");
                        edit->SetFocus();
                        return true;
                    })
                    .value_or(false));
    ui.Run([&] {
        auto* im = static_cast<GtkIMContext*>(Gtk()->InputMethodContext(hwnd));
        ASSERT_NE(im, nullptr);
        // What a Chinese input method does: a composition, then the word.
        g_signal_emit_by_name(im, "commit", "验证");
    });
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(automation.Text(hwnd, "verifyCode"), "验证");
}

TEST_F(InputTest, ARealClickOnTheCloseButtonClosesTheDialog) {
    guitest::LayoutWindow* window = Open("dlg_about.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(Painted(hwnd));
    const POINT at = ScreenCentre(hwnd, "btnClose");
    ASSERT_TRUE(ClickAt(at));
    EXPECT_TRUE(vtest::WaitFor(
        [&] { return !automation.Call<bool>([&] { return IsWindow(hwnd) != FALSE; }).value_or(true); }));
}

TEST_F(InputTest, RealKeysTypeOnlyDigitsIntoTheMobileFieldAndStopAtEleven) {
    guitest::LayoutWindow* window = Open("dlg_reg.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(Painted(hwnd));
    const POINT at = ScreenCentre(hwnd, "userMobile");
    ASSERT_TRUE(ClickAt(at));
    ASSERT_TRUE(vtest::WaitFor([&] {
        return automation
            .Call<bool>([&] { return window->m_pm.GetFocus() == window->m_pm.FindControl("userMobile"); })
            .value_or(false);
    }));
    ASSERT_TRUE(Xdo("type --delay 15 '13a8-0013 800012345'"));
    EXPECT_TRUE(vtest::WaitFor([&] { return automation.Text(hwnd, "userMobile") == "13800138000"; }))
        << automation.Text(hwnd, "userMobile").value_or("?");
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(automation.Text(hwnd, "userMobile"), "13800138000");
}

// A page (a GtkEntry stands in for the engine's widget) takes the keys while
// its control has the focus: a click into it, typing, a Tab it does not keep
// going on through the window's Tab order, and Shift+Tab coming back to it.
TEST_F(InputTest, APageTakesTheKeysWhileItsControlHasTheFocusAndTabLeavesIt) {
    guitest::LayoutWindow* window = Open("dlg_webbrowser.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    GtkWidget* entry = nullptr;
    CControlUI* page = nullptr;
    ui.Run([&] {
        // A page keeps its text when it takes the focus; an entry would
        // select all of it.
        g_object_set(gtk_settings_get_default(), "gtk-entry-select-on-focus", FALSE, nullptr);
        entry = GTK_WIDGET(g_object_ref_sink(gtk_entry_new()));
        auto* web = window->m_pm.FindControl<CWkeWebkitUI>("ie");
        ASSERT_NE(web, nullptr);
        web->SetViewPeer(std::make_unique<guitest::WidgetPeer>(entry));
        page = web;
        Gtk()->Pump();
    });
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(Painted(hwnd));
    const auto focus = [&] { return automation.Call<CControlUI*>([&] { return window->m_pm.GetFocus(); }); };
    const auto typed = [&] {
        return automation.Call<std::string>(
            [&] { return std::string(gtk_entry_get_text(GTK_ENTRY(entry))); });
    };

    // The window has the keyboard (a click on its caption), then a click
    // into the page.
    ASSERT_TRUE(ClickAt(ScreenCentre(hwnd, "caption")));
    ASSERT_TRUE(vtest::WaitFor(
        [&] { return automation.Call<bool>([&] { return GetFocus() == hwnd; }).value_or(false); }));
    ASSERT_TRUE(ClickAt(ScreenCentre(hwnd, "ie")));
    ASSERT_TRUE(vtest::WaitFor([&] { return focus() == page; }))
        << "a click into the page focuses its control";
    ASSERT_TRUE(Xdo("type --delay 15 abc"));
    EXPECT_TRUE(vtest::WaitFor([&] { return typed() == "abc"; })) << typed().value_or("?");

    ASSERT_TRUE(Xdo("key Tab"));
    ASSERT_TRUE(vtest::WaitFor([&] { return focus().value_or(page) != page; })) << "Tab leaves the page";
    EXPECT_TRUE(automation.Call<bool>([&] { return window->m_pm.IsFocusByKeyboard(); }).value_or(false));
    EXPECT_FALSE(automation.Call<bool>([&] { return gtk_widget_has_focus(entry) != FALSE; }).value_or(true));
    // (xdotool's "type" takes every argument after it as text.)
    ASSERT_TRUE(Xdo("type x") && Xdo("key shift+Tab") && Xdo("type d"));
    EXPECT_TRUE(vtest::WaitFor([&] { return typed() == "abcd"; }))
        << "keys outside the page stay out of it; Shift+Tab comes back: " << typed().value_or("?");
    EXPECT_EQ(focus(), page);

    ui.Run([&] {
        window->m_pm.FindControl<CWkeWebkitUI>("ie")->SetViewPeer(nullptr);
        g_object_unref(entry);
        g_object_set(gtk_settings_get_default(), "gtk-entry-select-on-focus", TRUE, nullptr);
    });
}

TEST_F(InputTest, DraggingTheCaptionBandMovesTheWindow) {
    guitest::LayoutWindow* window = Open("dlg_about.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(Painted(hwnd));
    RECT before;
    ui.Run([&] { GetWindowRect(hwnd, &before); });
    const long x = before.left + 200;
    const long y = before.top + 15;
    auto at = [](long px, long py) {
        return " mousemove --sync " + std::to_string(px) + " " + std::to_string(py);
    };
    auto grabbed = [&] {
        bool held = false;
        ui.Run([&] { held = Gtk()->PointerGrabbed(); });
        return held;
    };
    // The button goes up whatever fails, or the next test starts dragging.
    struct Release {
        ~Release() { Xdo("mouseup 1"); }
    } release;
    // Each step waits for the program: the moves after the threshold only
    // drag once the drag holds the pointer.
    ASSERT_TRUE(Xdo(at(x, y) + " mousedown 1" + at(x + 10, y + 5)));
    ASSERT_TRUE(vtest::WaitFor(grabbed)) << "the caption press started no drag";
    ASSERT_TRUE(Xdo(at(x + 60, y + 30) + at(x + 100, y + 60)));
    RECT after{};
    EXPECT_TRUE(vtest::WaitFor([&] {
        ui.Run([&] { GetWindowRect(hwnd, &after); });
        return after.left == before.left + 100 && after.top == before.top + 60;
    })) << after.left - before.left
        << "," << after.top - before.top;
    ASSERT_TRUE(Xdo("mouseup 1"));
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] { GetWindowRect(hwnd, &after); });
    EXPECT_EQ(after.left, before.left + 100);
    EXPECT_EQ(after.top, before.top + 60);
    EXPECT_EQ(after.Width(), before.Width());
    EXPECT_EQ(after.Height(), before.Height());
}

}  // namespace
