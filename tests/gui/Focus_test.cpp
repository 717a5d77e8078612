// The focus on a real display: another program taking the focus deactivates
// the program's windows, even right after the program moved the focus
// itself (when the desktop's focus events are still settling).
#include "GuiFixture.h"

#include "platform/duilib/WinUser.h"

#include <gtk/gtk.h>

using namespace DuiLib;
using guitest::GuiTest;

namespace {

TEST_F(GuiTest, AnotherProgramTakingTheFocusJustAfterAPopUpOpenedDeactivatesTheProgram) {
    guitest::LayoutWindow* main = Open("dlg_about.xml");
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(automation.RunUntilIdle());
    // A window of no record of ours: to the back end, another program's.
    GtkWidget* other = nullptr;
    guitest::LayoutWindow* panel = nullptr;
    ui.Run([&] {
        other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_resize(GTK_WINDOW(other), 200, 100);
        // The program opens an always-on-top pop-up and gives it the focus...
        auto created = std::make_unique<guitest::LayoutWindow>("Form_Menu.xml");
        ASSERT_NE(created->Create(main->GetHWND(), "", WS_POPUP, WS_EX_TOOLWINDOW | WS_EX_TOPMOST), nullptr);
        created->ShowWindow(true);
        panel = created.get();
        windows.push_back(std::move(created));
        // ... and at once the user switches to the other program.
        gtk_widget_show(other);
        gtk_window_present_with_time(GTK_WINDOW(other), GDK_CURRENT_TIME);
    });
    ASSERT_NE(panel, nullptr);
    // Once the focus has settled, the program sees that it lost it: no window
    // of its own stays active (the pop-up closes on that, as on a click
    // elsewhere).
    EXPECT_TRUE(vtest::WaitFor(
        [&] { return automation.Call<HWND>([] { return GetActiveWindow(); }).value_or(nullptr) == nullptr; },
        std::chrono::seconds(5)));
    ui.Run([&] {
        EXPECT_TRUE(gtk_window_is_active(GTK_WINDOW(other)));
        gtk_widget_destroy(other);
    });
}

}  // namespace
