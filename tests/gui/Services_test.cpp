// The system message box, the save dialog and the clipboard, shown and used
// for real on the display and answered through the automation.
#include "GuiFixture.h"

#include "platform/duilib/SystemServices.h"
#include "platform/duilib/WinUser.h"
#include "platform/duilib/backend/Backend.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

using namespace DuiLib;
using guitest::GuiTest;

namespace {

// What a command prints on its standard output.
std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

TEST_F(GuiTest, TheMessageBoxShowsOnTheDisplayAndAnswersWithTheButtonPressed) {
    guitest::LayoutWindow* owner = Open("dlg_about.xml");
    ASSERT_NE(owner, nullptr);
    const HWND hwnd = owner->GetHWND();
    auto answer = std::make_shared<std::atomic<int>>(-1);
    ui.Post([answer, hwnd] {
        *answer =
            MessageBoxW(hwnd, "是否立即安装新版本？", "Update available", MB_YESNO | MB_ICONINFORMATION);
    });
    const std::optional<SystemDialogInfo> box = automation.WaitForSystemDialog();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->kind, SystemDialogInfo::Kind::MessageBox);
    EXPECT_EQ(box->title, "Update available");
    EXPECT_EQ(box->text, "是否立即安装新版本？");
    EXPECT_EQ(box->owner, hwnd);
    // A real window of the display carries the caption, and the owner is
    // disabled under it.
    EXPECT_NE(Output("xdotool search --name 'Update available'"), "");
    EXPECT_FALSE(automation.IsEnabled(hwnd));
    EXPECT_EQ(answer->load(), -1);
    ASSERT_TRUE(automation.AnswerSystemDialog(SystemDialogReply{IDYES, {}}));
    EXPECT_EQ(answer->load(), IDYES);
    EXPECT_TRUE(automation.IsEnabled(hwnd));
}

TEST_F(GuiTest, AMessageBoxWhoseOwnerGoesWhileItShowsEndsAsNoAndLeavesTheDisplay) {
    guitest::LayoutWindow* owner = Open("dlg_about.xml");
    ASSERT_NE(owner, nullptr);
    const HWND hwnd = owner->GetHWND();
    auto answer = std::make_shared<std::atomic<int>>(-1);
    ui.Post([answer, hwnd] { *answer = MessageBoxW(hwnd, "是否删除？", "Owner goes", MB_YESNO); });
    ASSERT_TRUE(automation.WaitForSystemDialog());
    // The owner goes (its own code closes it, a page asked for it) while the
    // box waits for the user.
    ui.Run([&] { DestroyWindow(hwnd); });
    EXPECT_TRUE(vtest::WaitFor([&] { return answer->load() != -1; }));
    EXPECT_EQ(answer->load(), IDNO);
    EXPECT_FALSE(
        automation.Call<bool>([&] { return GetBackend().OpenSystemDialog().has_value(); }).value_or(true));
    EXPECT_EQ(Output("xdotool search --name 'Owner goes'"), "");
    // The loop outside goes on: another box shows and answers.
    ui.Post([answer] { *answer = MessageBoxW(nullptr, "again", "Second box", MB_OK); });
    ASSERT_TRUE(automation.WaitForSystemDialog());
    ASSERT_TRUE(automation.AnswerSystemDialog(SystemDialogReply{IDOK, {}}));
    EXPECT_TRUE(vtest::WaitFor([&] { return answer->load() == IDOK; }));
}

// A save dialog shown from the UI thread; its answer lands here. Shared with
// the UI thread's call, which may outlive a failed wait.
struct SaveOutcome {
    std::optional<SaveFileAnswer> answer;
    std::atomic<bool> done{false};
};

std::shared_ptr<SaveOutcome> PostSaveDialog(DuiLib::UiThread& ui, const SaveFileRequest& request) {
    auto outcome = std::make_shared<SaveOutcome>();
    ui.Post([outcome, request] {
        outcome->answer = ShowSaveFileDialog(request);
        outcome->done = true;
    });
    return outcome;
}

TEST_F(GuiTest, TheSaveDialogProposesTheNameAndAddsTheDefaultExtension) {
    guitest::LayoutWindow* owner = Open("dlg_about.xml");
    ASSERT_NE(owner, nullptr);
    SaveFileRequest request;
    request.owner = owner->GetHWND();
    request.filters = {{"PPT文档(*.pptx)", "*.pptx;"}};
    request.defaultExtension = "pptx";
    request.proposedName = "年度报告";
    request.initialFolder = sandbox.Root();
    const auto outcome = PostSaveDialog(ui, request);
    const std::optional<SystemDialogInfo> dialog = automation.WaitForSystemDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->kind, SystemDialogInfo::Kind::SaveFile);
    EXPECT_EQ(dialog->text, "年度报告.pptx");
    ASSERT_TRUE(automation.AnswerSystemDialog(SystemDialogReply{IDOK, sandbox.Root() + "/summary"}));
    ASSERT_TRUE(vtest::WaitFor([&] { return outcome->done.load(); }));
    ASSERT_TRUE(outcome->answer && *outcome->answer);
    EXPECT_EQ(**outcome->answer, sandbox.Root() + "/summary.pptx");

    // Cancelled: no path.
    const auto cancelled = PostSaveDialog(ui, request);
    ASSERT_TRUE(automation.WaitForSystemDialog());
    ASSERT_TRUE(automation.AnswerSystemDialog(SystemDialogReply{IDCANCEL, {}}));
    ASSERT_TRUE(vtest::WaitFor([&] { return cancelled->done.load(); }));
    ASSERT_TRUE(cancelled->answer);
    EXPECT_EQ(*cancelled->answer, std::nullopt);
}

// The toolkit's dialog of `type` shown now, given the keyboard as a window
// manager would on its mapping (the test's display has none); false when
// there is none. The wait for the X server has a deadline of its own.
bool GiveKeyboardToDialog(UiThread& ui, GType type) {
    const unsigned long xid =
        ui.Call<unsigned long>([type] {
              unsigned long found = 0;
              GList* toplevels = gtk_window_list_toplevels();
              for (GList* item = toplevels; item != nullptr; item = item->next) {
                  auto* widget = static_cast<GtkWidget*>(item->data);
                  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type) && gtk_widget_get_mapped(widget))
                      found = gdk_x11_window_get_xid(gtk_widget_get_window(widget));
              }
              g_list_free(toplevels);
              return found;
          }).value_or(0);
    return xid != 0 &&
           std::system(("timeout 10 xdotool windowfocus --sync " + std::to_string(xid) + " >/dev/null 2>&1")
                           .c_str()) == 0;
}

// Answered by real keys, with nothing else for the loop to do: the answer
// reaches the caller at once (the test waits without touching the UI
// thread, which would stir its loop).
TEST_F(GuiTest, DialogsAnsweredWithRealKeysEndWithoutOtherWorkOnTheLoop) {
    const std::string typed = sandbox.Root() + "/keys";
    SaveFileRequest request;
    request.defaultExtension = "pptx";
    request.proposedName = "年度报告";
    const std::shared_ptr<SaveOutcome> saved = PostSaveDialog(ui, request);
    ASSERT_TRUE(automation.WaitForSystemDialog());
    ASSERT_TRUE(GiveKeyboardToDialog(ui, GTK_TYPE_FILE_CHOOSER_DIALOG));
    ASSERT_TRUE(Xdo("key --clearmodifiers ctrl+a type --delay 20 '" + typed + "'"));
    ASSERT_TRUE(Xdo("key Return"));
    ASSERT_TRUE(vtest::WaitFor([&] { return saved->done.load(); }, std::chrono::seconds(10)))
        << "the save dialog's answer waited for other work";
    EXPECT_EQ(saved->answer.value_or(std::nullopt).value_or("<none>"), typed + ".pptx");

    auto answer = std::make_shared<std::atomic<int>>(-1);
    ui.Post([answer] { *answer = MessageBoxW(nullptr, "已保存", "Keys", MB_OK); });
    ASSERT_TRUE(automation.WaitForSystemDialog());
    ASSERT_TRUE(GiveKeyboardToDialog(ui, GTK_TYPE_MESSAGE_DIALOG));
    ASSERT_TRUE(Xdo("key Return"));
    EXPECT_TRUE(vtest::WaitFor([&] { return answer->load() != -1; }, std::chrono::seconds(10)))
        << "the message box's answer waited for other work";
    EXPECT_EQ(answer->load(), IDOK);
}

// A name typed without the extension whose extended form is an existing
// file: the chooser never asked about that file, so it comes back under
// the full name (where saving asks its own question) instead of the file
// being replaced unasked.
TEST_F(GuiTest, TheSaveDialogShowsAgainWhenTheAddedExtensionNamesAnExistingFile) {
    guitest::LayoutWindow* owner = Open("dlg_about.xml");
    ASSERT_NE(owner, nullptr);
    vtest::WriteFile(sandbox.Root() + "/summary.pptx", "the user's document");
    SaveFileRequest request;
    request.owner = owner->GetHWND();
    request.defaultExtension = "pptx";
    request.proposedName = "年度报告";
    request.initialFolder = sandbox.Root();
    const auto outcome = PostSaveDialog(ui, request);
    ASSERT_TRUE(automation.WaitForSystemDialog());
    ASSERT_TRUE(automation.AnswerSystemDialog(SystemDialogReply{IDOK, sandbox.Root() + "/summary"}));
    // The first chooser may still be going when the automation looks.
    std::optional<SystemDialogInfo> again;
    EXPECT_TRUE(vtest::WaitFor([&] {
        again = automation.WaitForSystemDialog();
        return again && again->text == "summary.pptx";
    }));
    EXPECT_FALSE(outcome->done.load());
    ASSERT_TRUE(automation.AnswerSystemDialog(SystemDialogReply{IDOK, sandbox.Root() + "/summary.pptx"}));
    ASSERT_TRUE(vtest::WaitFor([&] { return outcome->done.load(); }));
    ASSERT_TRUE(outcome->answer && *outcome->answer);
    EXPECT_EQ(**outcome->answer, sandbox.Root() + "/summary.pptx");
}

TEST_F(GuiTest, ClipboardTextIsReadByAnotherProgramAndReadBackFromIt) {
    ASSERT_TRUE(SetClipboardText("用户ID 20481"));
    // xclip is another X client: it asks our process for the selection.
    EXPECT_EQ(Output("xclip -o -selection clipboard"), "用户ID 20481");
    ASSERT_EQ(std::system("printf 'from xclip' | xclip -loops 1 -selection clipboard -i"), 0);
    // xclip takes the selection from its background child, and our side
    // hears of losing it as an event: the new text arrives a moment later.
    std::optional<std::string> text;
    EXPECT_TRUE(vtest::WaitFor([&] { return (text = GetClipboardText()) == "from xclip"; }))
        << text.value_or("(none)");
}

}  // namespace
