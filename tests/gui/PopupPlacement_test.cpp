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
ScreenInfo DisplaySizedScreen() {
    ScreenInfo screen;
    screen.monitor = {0, 0, 2560, 1600};
    screen.workArea = {0, 0, 2560, 1560};
    screen.dpi = 96;
    return screen;
}

class PopupPlacementTest : public guitest::GuiTest {
  protected:
    PopupPlacementTest() : GuiTest(UiThread::Options{.screen = DisplaySizedScreen()}) {}

    void TearDown() override {
        ui.Run([this] {
            m_menu.reset();
            m_toolbox.reset();
            CPaintManagerUI::SetAllDPI(96);
        });
        GuiTest::TearDown();
    }

    // The control's rectangle in screen coordinates, as the window layer has it.
    RECT ScreenRect(HWND hwnd, const std::string& name) {
        RECT rc{};
        ui.Run([&] {
            if (CControlUI* control = Automation::FindControl(hwnd, name)) {
                rc = control->GetPos();
                POINT origin{0, 0};
                ClientToScreen(hwnd, &origin);
                rc = RECT{rc.left + origin.x, rc.top + origin.y, rc.right + origin.x, rc.bottom + origin.y};
            }
        });
        return rc;
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

    // A picture of the pop-up as the display shows it, for a reader: on
    // Wayland the compositor's own screenshot of its output (weston runs
    // with --debug for its screenshooter), on X11 the screen's pixels.
    void Screenshot(const std::string& name, HWND owner) {
        const std::string dir = std::string(VANTO_BINARY_DIR) + "/artefacts";
        std::filesystem::create_directories(dir);
        bool wayland = false;
        ui.Run([&] { wayland = Gtk()->IsWayland(); });
        if (!wayland) {
            ui.Run([&] {
                RECT rc{};
                GetWindowRect(owner, &rc);
                if (auto image = Gtk()->GrabScreen(RECT{rc.left, rc.top, rc.left + 1100, rc.top + 700}))
                    image->WritePng(dir + "/" + name + "-x11.png");
            });
            return;
        }
        const std::string shots = sandbox.Root() + "/shots";
        std::filesystem::create_directories(shots);
        // The toolkit has committed the pop-up's frame by the time its
        // placement was reported; the compositor draws its output on the next
        // repaint, which the screenshooter waits for.
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
        ui.Run([&] { CPaintManagerUI::SetAllDPI(c.dpi); });
        guitest::LayoutWindow* main = Open("Form_Main.xml", true, UI_WNDSTYLE_FRAME);
        ASSERT_NE(main, nullptr);
        const HWND owner = main->GetHWND();
        RECT placed{};
        ui.Run([&] {
            GetWindowRect(owner, &placed);
            ASSERT_TRUE(Gtk()->FlushPaint(owner));
        });
        // Whatever the compositor reported while showing it, the window
        // layer keeps the owner where it put it.
        ui.Run([&] {
            RECT now{};
            GetWindowRect(owner, &now);
            EXPECT_EQ(now, placed);
            EXPECT_EQ(Gtk()->DisplayedRect(owner).value_or(RECT{}).left, placed.left);
        });

        struct Popup {
            const char* what;
            POINT at;  // where the main window opens it
            std::function<HWND()> open;
            std::function<void(HWND)> close;
        };
        // The main window shows the toolbox's button once the archive is there.
        ui.Run([&] {
            main->m_pm.FindControl("btnToolBox")->SetVisible(true);
            EXPECT_TRUE(Gtk()->FlushPaint(owner));
        });
        const RECT menuButton = ScreenRect(owner, "btnMenu");
        const RECT loginButton = ScreenRect(owner, "btnLogin");
        const RECT toolButton = ScreenRect(owner, "btnToolBox");
        ASSERT_GT(toolButton.Width(), 0);
        const std::vector<Popup> popups = {
            {"menu", POINT{menuButton.left, menuButton.bottom + 5},
             [&] {
                 m_menu = std::make_unique<CMenuWnd>();
                 CControlUI* button = main->m_pm.FindControl("btnMenu");
                 return m_menu->Init(button, "Form_Menu.xml", POINT{menuButton.left, menuButton.bottom + 5},
                                     &main->m_pm, 0)
                            ? m_menu->GetHWND()
                            : nullptr;
             },
             [&](HWND) { m_menu.reset(); }},
            {"user-info", POINT{loginButton.left + c.userInfoDx, loginButton.bottom + 12},
             [&] {
                 return CUserInfo::Open(main->m_pm.FindControl("btnLogin"),
                                        POINT{loginButton.left + c.userInfoDx, loginButton.bottom + 12},
                                        sandbox.Root() + "/no-picture.png");
             },
             [&](HWND hwnd) { DestroyWindow(hwnd); }},
            {"toolbox", POINT{toolButton.left + c.toolboxDx, toolButton.bottom + 13},
             [&] {
                 m_toolbox = std::make_unique<CToolbox>();
                 m_toolbox->ShowAt(main->m_pm.FindControl("btnToolBox"), toolButton.left + c.toolboxDx,
                                   toolButton.bottom + 13);
                 return m_toolbox->GetHWND();
             },
             [&](HWND) { m_toolbox.reset(); }},
        };
        for (const Popup& popup : popups) {
            SCOPED_TRACE(popup.what);
            HWND hwnd = nullptr;
            ui.Run([&] { hwnd = popup.open(); });
            ASSERT_NE(hwnd, nullptr);
            const Offsets offsets = Measure(hwnd);
            // The window layer put it where the main window asks ...
            EXPECT_EQ(offsets.model.x, popup.at.x - placed.left);
            EXPECT_EQ(offsets.model.y, popup.at.y - placed.top);
            // ... and the display shows it there, within a pixel.
            ASSERT_TRUE(offsets.shown.has_value());
            EXPECT_NEAR(offsets.shown->x, offsets.model.x, 1);
            EXPECT_NEAR(offsets.shown->y, offsets.model.y, 1);
            Screenshot(std::string("popup-") + popup.what + "@" + std::to_string(c.dpi), owner);
            ui.Run([&] { popup.close(hwnd); });
        }
        ui.Run([&] { DestroyWindow(owner); });
    }
}

TEST_F(PopupPlacementTest, APopUpTheCompositorDismissesClosesInTheWindowLayerToo) {
    bool wayland = false;
    ui.Run([&] { wayland = Gtk()->IsWayland(); });
    if (!wayland)
        GTEST_SKIP() << "the compositor dismisses pop-ups only on Wayland";
    guitest::LayoutWindow* main = Open("Form_Main.xml", true, UI_WNDSTYLE_FRAME);
    ASSERT_NE(main, nullptr);
    const RECT login = ScreenRect(main->GetHWND(), "btnLogin");
    HWND popup = nullptr;
    ui.Run([&] {
        popup =
            CUserInfo::Open(main->m_pm.FindControl("btnLogin"), POINT{login.left - 215, login.bottom + 12},
                            sandbox.Root() + "/no-picture.png");
    });
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(Measure(popup).shown.has_value());
    // What the toolkit does when the compositor sends the pop-up "done".
    ui.Run([&] {
        auto* window = static_cast<GtkWidget*>(Gtk()->NativeWindow(popup));
        gdk_window_hide(gtk_widget_get_window(window));
    });
    EXPECT_TRUE(vtest::WaitFor(
        [&] { return !automation.Call<bool>([&] { return IsWindow(popup) != FALSE; }).value_or(true); },
        std::chrono::seconds(5)));
    // The owner has the window layer's focus again.
    EXPECT_EQ(automation.Call<HWND>([] { return GetActiveWindow(); }), main->GetHWND());
}

}  // namespace
