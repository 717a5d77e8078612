// Windows on a real display: each window record becomes a toolkit window at
// its rectangle, painted from its skin, following show, hide, move and
// destroy.
#include "GuiFixture.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/gtk/GtkWindowShape.h"

#include <gtk/gtk.h>

#include <functional>

using namespace DuiLib;
using guitest::GuiTest;

namespace {

TEST_F(GuiTest, AShownWindowIsOnTheDisplayAtItsRectangleAndShowsWhatTheRendererDraws) {
    guitest::LayoutWindow* window = Open("dlg_message.xml");
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(automation.RunUntilIdle());
    auto shown = Grab(hwnd);
    auto drawn = Render(hwnd);
    ASSERT_TRUE(shown && drawn);
    EXPECT_EQ(shown->width, 380);
    EXPECT_EQ(shown->height, 200);
    shown->WritePng(OutputDir() + "/display-dlg_message.png");
    // The rounded corners show what lies behind the window: only the window's shape counts.
    std::vector<RECT> shape;
    ui.Run([&] { shape = Gtk()->WindowShape(hwnd); });
    EXPECT_EQ(guitest::CountDifferent(*shown, *drawn, 2, shape), 0);
    ui.Run([&] {
        auto* gtkWindow = static_cast<GtkWindow*>(Gtk()->NativeWindow(hwnd));
        ASSERT_NE(gtkWindow, nullptr);
        EXPECT_TRUE(gtk_widget_get_mapped(GTK_WIDGET(gtkWindow)));
        RECT rc;
        GetWindowRect(hwnd, &rc);
        gint x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(gtkWindow)), &x, &y);
        EXPECT_EQ(x, rc.left);
        EXPECT_EQ(y, rc.top);
        EXPECT_FALSE(gtk_window_get_decorated(gtkWindow));
    });
}

// A window that records the system commands it gets: with no system menu
// and no caption button pressed, each came from the desktop.
class CommandsWindow : public guitest::LayoutWindow {
  public:
    using LayoutWindow::LayoutWindow;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_SYSCOMMAND)
            commands.push_back(wParam & 0xFFF0);
        return LayoutWindow::HandleMessage(msg, wParam, lParam);
    }
    std::vector<WPARAM> commands;
};

void RecordMaximised(GtkWidget*, GdkEventWindowState* event, gpointer reports) {
    if ((event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) != 0)
        static_cast<std::vector<bool>*>(reports)->push_back(
            (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) != 0);
}

TEST_F(GuiTest, ARestoreAskedBeforeTheDesktopReportedTheMaximiseIsNotUndoneByThatReport) {
    if (!Gtk()->IsWayland())
        GTEST_SKIP() << "a bare X server has no desktop that maximises";
    CommandsWindow* window = nullptr;
    std::vector<bool> reports;
    gulong handler = 0;
    GtkWidget* toplevel = nullptr;
    ui.Run([&] {
        auto created = std::make_unique<CommandsWindow>("dlg_about.xml");
        ASSERT_NE(created->Create(nullptr, "", UI_WNDSTYLE_FRAME, 0), nullptr);
        window = created.get();
        windows.push_back(std::move(created));
        toplevel = static_cast<GtkWidget*>(Gtk()->NativeWindow(window->GetHWND()));
        handler = g_signal_connect(toplevel, "window-state-event", G_CALLBACK(RecordMaximised), &reports);
    });
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        ShowWindow(hwnd, SW_SHOWMAXIMIZED);
        // The compositor's answer is read and waits in the toolkit's queue
        // (weston answers once idle: a second round trip sees it sent).
        gdk_display_sync(gdk_display_get_default());
        gdk_display_sync(gdk_display_get_default());
        ShowWindow(hwnd, SW_RESTORE);
    });
    EXPECT_TRUE(vtest::WaitFor([&] {
        return ui.Call<bool>([&] { return reports.size() >= 2 && !reports.back(); }).value_or(false);
    })) << "the desktop reported both requests";
    ASSERT_TRUE(automation.RunUntilIdle());
    ui.Run([&] {
        EXPECT_EQ(reports, (std::vector<bool>{true, false}));
        EXPECT_TRUE(window->commands.empty()) << "the desktop's reports were taken for the user's";
        EXPECT_FALSE(IsZoomed(hwnd));
        g_signal_handler_disconnect(toplevel, handler);
    });
}

}  // namespace

namespace {

// A window's pixels on the display after a change of the model must be what
// the renderer draws from the model now: stale pixels show a change that
// never reached the screen.
class OnScreenTest : public GuiTest {
  protected:
    // Waits until the loop is idle and the window has painted, then grabs it.
    std::optional<GtkProbes::Image> Settled(HWND hwnd) {
        if (!automation.RunUntilIdle())
            return std::nullopt;
        return Grab(hwnd);
    }
    std::optional<RECT> Displayed(HWND hwnd) {
        std::optional<RECT> rect;
        ui.Run([&] { rect = Gtk()->DisplayedRect(hwnd); });
        return rect;
    }
    std::vector<RECT> Shape(HWND hwnd) {
        std::vector<RECT> shape;
        ui.Run([&] { shape = Gtk()->WindowShape(hwnd); });
        return shape;
    }
};

constexpr const char* kChangingLayout = R"(<Window size="300,120">
  <VerticalLayout bkcolor="#FFFFFFFF">
    <HorizontalLayout height="40">
      <Button name="first" width="60" bkcolor="#FF2060C0"/>
      <Button name="hidden" width="60" bkcolor="#FFC02020" visible="false"/>
      <Label name="sized" width="50" bkcolor="#FF20A040"/>
      <Label name="text" autocalcwidth="true" text="ab" bkcolor="#FFE0C000"/>
      <Control/>
    </HorizontalLayout>
    <TabLayout name="tabs" height="40">
      <Control bkcolor="#FF404040"/>
      <Control bkcolor="#FFA0A0F0"/>
    </TabLayout>
  </VerticalLayout>
</Window>)";

std::string Describe(const std::optional<RECT>& rc) {
    if (!rc)
        return "not on the display";
    return std::to_string(rc->left) + "," + std::to_string(rc->top) + " " + std::to_string(rc->Width()) +
           "x" + std::to_string(rc->Height());
}

struct ModelChange {
    const char* what;
    std::function<void(CPaintManagerUI&)> apply;
};

TEST_F(OnScreenTest, ModelChangesThatMoveOrSizeControlsReachTheScreenWithoutAnythingElseHappening) {
    const std::vector<ModelChange> changes = {
        {"visible", [](CPaintManagerUI& pm) { pm.FindControl("hidden")->SetVisible(true); }},
        {"width", [](CPaintManagerUI& pm) { pm.FindControl("sized")->SetFixedWidth(90); }},
        {"padding",
         [](CPaintManagerUI& pm) {
             pm.FindControl("first")->SetPadding(RECT{12, 4, 0, 0});
         }},
        {"text", [](CPaintManagerUI& pm) { pm.FindControl("text")->SetText("a much longer text"); }},
        {"tab",
         [](CPaintManagerUI& pm) { static_cast<CTabLayoutUI*>(pm.FindControl("tabs"))->SelectItem(1); }},
        {"hidden again", [](CPaintManagerUI& pm) { pm.FindControl("hidden")->SetVisible(false); }},
    };
    guitest::LayoutWindow* window = Open(kChangingLayout);
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    std::optional<GtkProbes::Image> before = Settled(hwnd);
    ASSERT_TRUE(before);
    for (const ModelChange& change : changes) {
        SCOPED_TRACE(change.what);
        // Only the model changes: no layout, no resize, no pointer.
        ui.Run([&] { change.apply(window->m_pm); });
        std::optional<GtkProbes::Image> shown = Settled(hwnd);
        std::optional<GtkProbes::Image> drawn = Render(hwnd);
        ASSERT_TRUE(shown && drawn);
        shown->WritePng(OutputDir() + "/model-change-" + std::string(change.what) + ".png");
        EXPECT_GT(guitest::CountDifferent(*shown, *before, 2), 0) << "nothing changed on the screen";
        EXPECT_EQ(guitest::CountDifferent(*shown, *drawn, 2), 0) << "the screen shows an older model";
        before = std::move(shown);
    }
}

TEST_F(OnScreenTest, WithoutACompositorARoundCorneredWindowIsCutToItsCornersAtEverySize) {
    ui.Run([&] { ASSERT_FALSE(Gtk()->IsComposited()) << "Xvfb runs no compositor"; });
    guitest::LayoutWindow* window = Open("dlg_reg.xml", /*show=*/false);  // roundcorner="20,20"
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    RECT rect;
    ui.Run([&] { GetWindowRect(hwnd, &rect); });
    // What lies there before the window shows.
    std::optional<GtkProbes::Image> behind;
    ui.Run([&] { behind = Gtk()->GrabScreen(rect); });
    ASSERT_TRUE(behind);
    ui.Run([&] { window->ShowWindow(true); });
    ASSERT_TRUE(Settled(hwnd));
    std::optional<GtkProbes::Image> onScreen;
    std::optional<GtkProbes::Image> drawn = Render(hwnd);
    ui.Run([&] { onScreen = Gtk()->GrabScreen(rect); });
    ASSERT_TRUE(onScreen && drawn);
    onScreen->WritePng(OutputDir() + "/round-corners.png");
    // The corner pixel shows what is behind; a little further in, the window.
    EXPECT_EQ(onScreen->At(0, 0), behind->At(0, 0));
    EXPECT_EQ(onScreen->At(onScreen->width - 1, 0), behind->At(onScreen->width - 1, 0));
    EXPECT_FALSE(guitest::PixelsDiffer(onScreen->At(10, 10), drawn->At(10, 10), 2));
    EXPECT_EQ(Shape(hwnd), RoundedWindowShape(rect.Width(), rect.Height(), 20, 20));

    // Grown by the window layer: the new corners are cut, not the old ones.
    const RECT grown{rect.left, rect.top, rect.left + 500, rect.top + 560};
    const RECT corner{grown.right - 1, grown.bottom - 1, grown.right, grown.bottom};
    std::optional<GtkProbes::Image> behindCorner;
    ui.Run([&] { behindCorner = Gtk()->GrabScreen(corner); });
    ui.Run([&] { SetWindowPos(hwnd, nullptr, 0, 0, 500, 560, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE); });
    std::optional<GtkProbes::Image> after = Settled(hwnd);
    ASSERT_TRUE(after && behindCorner);
    EXPECT_EQ(Shape(hwnd), RoundedWindowShape(500, 560, 20, 20));
    std::optional<GtkProbes::Image> cornerNow;
    ui.Run([&] { cornerNow = Gtk()->GrabScreen(corner); });
    ASSERT_TRUE(cornerNow);
    EXPECT_EQ(cornerNow->At(0, 0), behindCorner->At(0, 0));
    EXPECT_EQ(guitest::CountDifferent(*after, *Render(hwnd), 2, Shape(hwnd)), 0);
}

TEST_F(OnScreenTest, MaximiseAndRestoreShowTheWindowAtTheWorkAreaAndBackAtItsNormalRectangle) {
    // Shown maximised first, as the main window starts: never shown restored.
    guitest::LayoutWindow* window = nullptr;
    ui.Run([&] {
        auto created = std::make_unique<guitest::LayoutWindow>("dlg_about.xml");
        ASSERT_NE(created->Create(nullptr, "", UI_WNDSTYLE_FRAME & ~WS_VISIBLE, 0), nullptr);
        ShowWindow(created->GetHWND(), SW_SHOWMAXIMIZED);
        window = created.get();
        windows.push_back(std::move(created));
    });
    ASSERT_NE(window, nullptr);
    const HWND hwnd = window->GetHWND();
    const RECT work = uitest::TestScreen().workArea;
    std::optional<GtkProbes::Image> maximised = Settled(hwnd);
    ASSERT_TRUE(maximised);
    maximised->WritePng(OutputDir() + "/maximised.png");
    // The display answers a resize in its own time.
    EXPECT_TRUE(vtest::WaitFor([&] { return Displayed(hwnd) == work; })) << Describe(Displayed(hwnd));
    EXPECT_EQ(guitest::CountDifferent(*maximised, *Render(hwnd), 2, Shape(hwnd)), 0);

    ui.Run([&] { ShowWindow(hwnd, SW_RESTORE); });
    std::optional<GtkProbes::Image> restored = Settled(hwnd);
    ASSERT_TRUE(restored);
    restored->WritePng(OutputDir() + "/restored.png");
    // The layout's size, centred in the work area.
    const RECT normal{(work.Width() - 400) / 2, (work.Height() - 260) / 2, (work.Width() + 400) / 2,
                      (work.Height() + 260) / 2};
    EXPECT_TRUE(vtest::WaitFor([&] { return Displayed(hwnd) == normal; })) << Describe(Displayed(hwnd));
    EXPECT_EQ(restored->width, 400);
    EXPECT_EQ(restored->height, 260);
    EXPECT_EQ(guitest::CountDifferent(*restored, *Render(hwnd), 2, Shape(hwnd)), 0);
}

}  // namespace
