// Pop-ups with an owner on the display: the menu, the user-information
// pop-up and the toolbox panel appear at the offset from their owner that
// the window layer gave them, on X11 (where windows place themselves) and
// on Wayland (where the compositor places them relative to their owner), at
// 96 and 192 DPI; and on Wayland the window layer keeps its own record of
// where its windows are.
#include "GuiFixture.h"

#include "account/UserInfo.h"
#include "demo-store/ZipWriter.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIMenu.h"
#include "platform/duilib/backend/Screen.h"
#include "support/Sandbox.h"
#include "toolbox/Toolbox.h"

#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

using namespace DuiLib;

namespace {

// A screen as large as the test displays', so that no pop-up is pushed back
// from an edge of the window layer's work area that the display lacks.
ScreenInfo DisplaySizedScreen(int dpi = 96) {
    ScreenInfo screen;
    screen.monitor = {0, 0, 2560, 1600};
    screen.workArea = {0, 0, 2560, 1560};
    screen.dpi = dpi;
    return screen;
}

class PopupPlacementTest : public guitest::GuiTest {
  protected:
    PopupPlacementTest() : GuiTest(UiThread::Options{.screen = DisplaySizedScreen()}) {}

    void TearDown() override {
        ui.Run([this] {
            m_menu.reset();
            m_toolbox.reset();
            SetMainScreen(DisplaySizedScreen());
            CPaintManagerUI::SetAllDPI(96);
        });
        GuiTest::TearDown();
    }

    // Where the main window opens a pop-up: (dx, dy) from the bottom-left
    // corner of its control, in screen coordinates.
    POINT Below(HWND hwnd, const std::string& name, long dx, long dy) {
        RECT rc{};
        POINT origin{0, 0};
        ui.Run([&] {
            if (CControlUI* control = Automation::FindControl(hwnd, name))
                rc = control->GetPos();
            ClientToScreen(hwnd, &origin);
        });
        EXPECT_GT(rc.Width(), 0) << name;
        return POINT{origin.x + rc.left + dx, origin.y + rc.bottom + dy};
    }

    // The window layer's offset of `popup` from its owner, and the display's.
    struct Offsets {
        POINT model;
        std::optional<POINT> shown;
    };
    Offsets Measure(HWND popup) {
        Offsets offsets;
        ui.Run([&] {
            RECT rc{}, owner{};
            GetWindowRect(popup, &rc);
            GetWindowRect(GetWindowOwner(popup), &owner);
            offsets.model = POINT{rc.left - owner.left, rc.top - owner.top};
            offsets.shown = Gtk()->OffsetFromOwner(popup);
        });
        return offsets;
    }

    bool Wayland() {
        bool wayland = false;
        ui.Run([&] { wayland = Gtk()->IsWayland(); });
        return wayland;
    }

    // On Wayland, the compositor's own picture of its output (weston runs
    // with --debug for its screenshooter) for a reader; X11 has its journey's.
    void Screenshot(const std::string& name) {
        if (!Wayland())
            return;
        const std::string dir = std::string(VANTO_BINARY_DIR) + "/artefacts",
                          shots = sandbox.Root() + "/shots";
        std::filesystem::create_directories(dir);
        std::filesystem::create_directories(shots);
        ASSERT_EQ(std::system(("cd '" + shots + "' && weston-screenshooter >/dev/null 2>&1").c_str()), 0);
        for (const auto& entry : std::filesystem::directory_iterator(shots))
            std::filesystem::rename(entry.path(), dir + "/" + name + "-wayland.png");
    }

    void WriteToolboxArchive() {
        demostore::ZipWriter zip;
        zip.Add("skin.xml", R"(<Window size="300,220"><VerticalLayout bkcolor="#FF3070C0">)"
                            R"(<List name="list" userdata=""/></VerticalLayout></Window>)");
        std::filesystem::create_directories(sandbox.UserDataFolder());
        vtest::WriteFile(sandbox.UserDataFolder() + "/toolbox.dat", zip.Finish());
    }

    std::unique_ptr<CMenuWnd> m_menu;
    std::unique_ptr<CToolbox> m_toolbox;
};

TEST_F(PopupPlacementTest, MenuUserInformationAndToolboxPanelSitAtTheirOffsetFromTheOwnerAt96And192Dpi) {
    WriteToolboxArchive();
    struct Case {
        int dpi;
        long userInfoDx, toolboxDx;  // the main window's offsets from the clicked control
    };
    for (const Case& c : {Case{96, -215, -350}, Case{192, -430, -755}}) {
        SCOPED_TRACE(c.dpi);
        // The windows at the main monitor's scale, as the program starts them.
        ui.Run([&] {
            SetMainScreen(DisplaySizedScreen(c.dpi));
            CPaintManagerUI::SetAllDPI(c.dpi);
        });
        guitest::LayoutWindow* main = Open("Form_Main.xml", true, UI_WNDSTYLE_FRAME);
        ASSERT_NE(main, nullptr);
        const HWND owner = main->GetHWND();
        RECT placed{};
        ui.Run([&] {
            GetWindowRect(owner, &placed);
            // The main window shows the toolbox's button once the archive is there.
            main->m_pm.FindControl("btnToolBox")->SetVisible(true);
            ASSERT_TRUE(Gtk()->FlushPaint(owner));
            // Whatever the compositor reported while showing it, the window
            // layer keeps the owner where it put it.
            RECT now{};
            GetWindowRect(owner, &now);
            EXPECT_EQ(now, placed);
            EXPECT_EQ(Gtk()->DisplayedRect(owner).value_or(RECT{}).left, placed.left);
        });
        struct Popup {
            const char* what;
            POINT at;  // where the main window opens it
            std::function<HWND(POINT)> open;
        };
        const Popup popups[] = {
            {"menu", Below(owner, "btnMenu", 0, 5),
             [&](POINT at) {
                 m_menu = std::make_unique<CMenuWnd>();
                 const bool shown =
                     m_menu->Init(main->m_pm.FindControl("btnMenu"), "Form_Menu.xml", at, &main->m_pm, 0);
                 return shown ? m_menu->GetHWND() : nullptr;
             }},
            {"user-info", Below(owner, "btnLogin", c.userInfoDx, 12),
             [&](POINT at) {
                 return CUserInfo::Open(main->m_pm.FindControl("btnLogin"), at,
                                        sandbox.Root() + "/no-picture.png");
             }},
            {"toolbox", Below(owner, "btnToolBox", c.toolboxDx, 13),
             [&](POINT at) {
                 m_toolbox = std::make_unique<CToolbox>();
                 m_toolbox->ShowAt(main->m_pm.FindControl("btnToolBox"), static_cast<int>(at.x),
                                   static_cast<int>(at.y));
                 return m_toolbox->GetHWND();
             }},
        };
        for (const Popup& popup : popups) {
            SCOPED_TRACE(popup.what);
            HWND hwnd = nullptr;
            ui.Run([&] { hwnd = popup.open(popup.at); });
            ASSERT_NE(hwnd, nullptr);
            const Offsets offsets = Measure(hwnd);
            // The window layer put it where the main window asks, and the
            // display shows it there, within a pixel.
            EXPECT_EQ(offsets.model, (POINT{popup.at.x - placed.left, popup.at.y - placed.top}));
            ASSERT_TRUE(offsets.shown.has_value());
            EXPECT_NEAR(offsets.shown->x, offsets.model.x, 1);
            EXPECT_NEAR(offsets.shown->y, offsets.model.y, 1);
            Screenshot(std::string("popup-") + popup.what + "@" + std::to_string(c.dpi));
            ui.Run([&] {
                m_menu.reset();
                m_toolbox.reset();
                if (IsWindow(hwnd))
                    DestroyWindow(hwnd);
            });
        }
        ui.Run([&] { DestroyWindow(owner); });
    }
}

// On Wayland a pop-up without a grab never has the keyboard, and the
// compositor may take it down on its own.
TEST_F(PopupPlacementTest, OnWaylandAPopUpTakesItsOwnersKeysAndClosesWhenTheCompositorDismissesIt) {
    if (!Wayland())
        GTEST_SKIP() << "the compositor keeps the keyboard from pop-ups only on Wayland";
    guitest::LayoutWindow* main = Open("Form_Main.xml", true, UI_WNDSTYLE_FRAME);
    ASSERT_NE(main, nullptr);
    const HWND owner = main->GetHWND();
    const POINT at = Below(owner, "btnLogin", -215, 12);
    auto* ownerWidget = static_cast<GtkWidget*>(Gtk()->NativeWindow(owner));
    const std::vector<std::pair<const char*, std::function<void(GtkWidget*)>>> ends = {
        {"Escape on the owner",
         [&](GtkWidget*) {
             GdkEvent* key = gdk_event_new(GDK_KEY_PRESS);
             key->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(ownerWidget)));
             key->key.keyval = GDK_KEY_Escape;
             gtk_widget_event(ownerWidget, key);
             gdk_event_free(key);
         }},
        // What the toolkit does when the compositor sends the pop-up "done".
        {"dismissed", [](GtkWidget* popup) { gdk_window_hide(gtk_widget_get_window(popup)); }},
    };
    for (const auto& [what, end] : ends) {
        SCOPED_TRACE(what);
        HWND popup = nullptr;
        ui.Run([&] {
            popup = CUserInfo::Open(main->m_pm.FindControl("btnLogin"), at, sandbox.Root() + "/none.png");
        });
        ASSERT_NE(popup, nullptr);
        ASSERT_TRUE(Measure(popup).shown.has_value());
        ui.Run([&] { end(static_cast<GtkWidget*>(Gtk()->NativeWindow(popup))); });
        EXPECT_TRUE(vtest::WaitFor(
            [&] { return !automation.Call<bool>([&] { return IsWindow(popup) != FALSE; }).value_or(true); },
            std::chrono::seconds(5)));
        EXPECT_EQ(automation.Call<HWND>([] { return GetActiveWindow(); }), owner);
    }
}

}  // namespace
