// The edit's caret and selection, pasting within the edit's limits, and the
// services the edit uses (the clipboard), on the headless back end.
#include "TestSupport.h"

#include "platform/duilib/SystemServices.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIManager.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

struct EditWindow {
    EditWindow() {
        root = new CVerticalLayoutUI;
        edit = new CEditUI;
        edit->SetName("edit");
        root->Add(edit);
        manager.AttachDialog(root);
        manager.AddNotifier(&recorder);
    }
    void Key(WPARAM vk) {
        TEventUI event;
        event.Type = UIEVENT_KEYDOWN;
        event.wParam = vk;
        edit->DoEvent(event);
    }
    void Type(std::u16string_view units) {
        for (char16_t unit : units) {
            TEventUI event;
            event.Type = UIEVENT_CHAR;
            event.wParam = unit;
            event.chKey = unit;
            edit->DoEvent(event);
        }
    }
    CPaintManagerUI manager;
    CVerticalLayoutUI* root;
    CEditUI* edit;
    duitest::Recorder recorder;
};

TEST(EditCaret, TypingGoesToTheCaretAndReplacesTheSelection) {
    EditWindow w;
    w.edit->SetText("1389");
    EXPECT_EQ(w.edit->GetCaret(), 4);
    w.Key(VK_LEFT);
    w.Key(VK_LEFT);
    w.Type(u"0");
    EXPECT_EQ(w.edit->GetText(), "13089");
    EXPECT_EQ(w.edit->GetCaret(), 3);
    w.Key(VK_HOME);
    w.Key(VK_DELETE);
    EXPECT_EQ(w.edit->GetText(), "3089");
    w.edit->SetSel(1, 3);  // "08"
    w.Type(u"7");
    EXPECT_EQ(w.edit->GetText(), "379");
    EXPECT_EQ(w.edit->GetSelection(), (std::pair<int, int>{2, 2}));
    // Backspace takes the selection, or the character before the caret.
    w.edit->SetSel(0, -1);
    w.Key(VK_BACK);
    EXPECT_EQ(w.edit->GetText(), "");
}

TEST(EditCaret, APairOfSurrogatesIsOneCharacterForTheCaret) {
    EditWindow w;
    w.edit->SetText("a\U0001F600b");
    w.Key(VK_LEFT);  // before b
    w.Key(VK_LEFT);  // before the emoji, not inside it
    EXPECT_EQ(w.edit->GetCaret(), 1);
    w.Key(VK_DELETE);
    EXPECT_EQ(w.edit->GetText(), "ab");
    w.edit->SetText("x\U0001F600");
    w.edit->SetSel(2, 2);  // inside the pair: moved to its start
    EXPECT_EQ(w.edit->GetCaret(), 1);
}

TEST(EditCaret, ALimitCountsWhatTheSelectionGivesBack) {
    EditWindow w;
    w.edit->SetMaxChar(3);
    w.edit->SetText("123");
    w.Type(u"4");
    EXPECT_EQ(w.edit->GetText(), "123");
    w.edit->SetSel(0, 1);
    w.Type(u"9");  // replaces one: still three
    EXPECT_EQ(w.edit->GetText(), "923");
}

class EditPasteTest : public ::testing::Test {
  protected:
    void TearDown() override { SetClipboardText(""); }
};

TEST_F(EditPasteTest, PastedTextKeepsToTheDigitsAndStopsAtTheLimit) {
    EditWindow w;
    w.edit->ApplyAttributeList(R"(numberonly="true" maxchar="11")");
    ASSERT_TRUE(SetClipboardText("138-0013-8000 9999\n"));
    EXPECT_TRUE(w.edit->Paste());
    EXPECT_EQ(w.edit->GetText(), "13800138000");
    // Full: nothing more goes in.
    EXPECT_FALSE(w.edit->Paste());
    EXPECT_EQ(w.edit->GetText(), "13800138000");
    // A selection makes room.
    w.edit->SetSel(0, 3);
    ASSERT_TRUE(SetClipboardText("abc15"));
    EXPECT_TRUE(w.edit->Paste());
    EXPECT_EQ(w.edit->GetText(), "1500138000");
}

TEST_F(EditPasteTest, PasteNeverSplitsAPairAndReadOnlyEditsTakeNothing) {
    EditWindow w;
    w.edit->SetMaxChar(3);
    w.edit->SetText("ab");
    ASSERT_TRUE(SetClipboardText("\U0001F600"));  // two units, one unit of room
    EXPECT_FALSE(w.edit->Paste());
    EXPECT_EQ(w.edit->GetText(), "ab");
    w.edit->SetMaxChar(0);
    w.edit->SetReadOnly(true);
    EXPECT_FALSE(w.edit->Paste());
    w.edit->SetReadOnly(false);
    EXPECT_TRUE(w.edit->Paste());
    EXPECT_EQ(w.edit->GetText(), "ab\U0001F600");
}

TEST(EditShown, PasswordsShowOneBulletPerCharacter) {
    EditWindow w;
    w.edit->SetPasswordMode(true);
    w.edit->SetText("a中\U0001F600");
    EXPECT_EQ(w.edit->GetShownText(), "\u25CF\u25CF\u25CF");
}

TEST(SaveDialog, WithoutADisplayTheDialogIsCancelledAndTheSinkMayAnswer) {
    SaveFileRequest request;
    request.proposedName = "Annual report";
    request.defaultExtension = "pptx";
    request.filters = {{"PPT文档(*.pptx)", "*.pptx;"}};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ShowSaveFileDialog(request), std::nullopt);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Annual report"), std::string::npos);
    std::vector<std::string> seen;
    SetSaveFileSink([&](const SaveFileRequest& r) -> std::optional<SaveFileAnswer> {
        seen.push_back(r.proposedName);
        return SaveFileAnswer{"/tmp/chosen.pptx"};
    });
    EXPECT_EQ(ShowSaveFileDialog(request), "/tmp/chosen.pptx");
    SetSaveFileSink(nullptr);
    EXPECT_EQ(seen, std::vector<std::string>{"Annual report"});
}

TEST(SaveDialog, TheDefaultExtensionIsAddedOnlyToANameWithoutOne) {
    EXPECT_EQ(WithDefaultExtension("/home/u/report", "pptx"), "/home/u/report.pptx");
    EXPECT_EQ(WithDefaultExtension("/home/u/report.docx", "pptx"), "/home/u/report.docx");
    EXPECT_EQ(WithDefaultExtension("/home/u.v/report", "pptx"), "/home/u.v/report.pptx");
    EXPECT_EQ(WithDefaultExtension("/home/u/.hidden", "pptx"), "/home/u/.hidden.pptx");
    EXPECT_EQ(WithDefaultExtension("/home/u/", "pptx"), "/home/u/");
    EXPECT_EQ(WithDefaultExtension("report", ""), "report");
}

TEST(Clipboard, TheSinkSeesWhatIsPutAndTheTextReadsBack) {
    std::vector<std::string> seen;
    SetClipboardSink([&](const std::string& text) { seen.push_back(text); });
    EXPECT_TRUE(SetClipboardText("用户ID 123"));
    SetClipboardSink(nullptr);
    EXPECT_EQ(GetClipboardText(), "用户ID 123");
    EXPECT_EQ(seen, std::vector<std::string>{"用户ID 123"});
}

}  // namespace
