// Windows on a real display: each window record becomes a toolkit window at
// its rectangle, painted from its skin, following show, hide, move and
// destroy.
#include "GuiFixture.h"

#include "platform/duilib/WinUser.h"

#include <gtk/gtk.h>

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
    EXPECT_EQ(guitest::CountDifferent(*shown, *drawn, 2), 0);
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

}  // namespace
