// The skinned message box over the built-in layout: buttons and answers by
// style, icons, extra texts, and ShowLangMessage with real language files.
#include "ui/MessageDlg.h"
#include "ClientUi.h"
#include "platform/duilib/UIButton.h"
#include "platform/duilib/UILabel.h"
#include "ui/ShowLangMessage.h"

#include <atomic>
#include <filesystem>
#include <memory>

using namespace DuiLib;
using clienttest::ClientUiTest;

namespace {

class MessageDlgTest : public ClientUiTest {
  protected:
    // Creates the box as ShowLangMessage does and runs it modally on the UI
    // thread; the answer lands in `result`.
    HWND Start(CMessageDlg* box, std::atomic<int>& result) {
        ui.Run([&] {
            ASSERT_NE(box->Create(nullptr, "", 0x96C80000, 0, 0, 0, 0, 0), nullptr);
            box->CenterWindow();
        });
        ui.Post([box, &result] {
            box->ShowModal();
            result = box->Result();
        });
        return automation.WaitForLayout("dlg_message.xml");
    }
    bool Visible(HWND hwnd, const char* name) {
        return automation.IsControlVisible(hwnd, name).value_or(false);
    }
};

TEST_F(MessageDlgTest, InformationBoxShowsOneButtonWithTheAffirmativeTextAndAnswersNo) {
    auto box = std::make_unique<CMessageDlg>("已保存", "提示", CMessageDlg::kStyleInformation, false);
    std::atomic<int> result{-1};
    const HWND hwnd = Start(box.get(), result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(Visible(hwnd, "btnYes"));
    EXPECT_TRUE(Visible(hwnd, "btnClose"));
    EXPECT_EQ(automation.Text(hwnd, "btnClose"), "确定");
    EXPECT_EQ(automation.Text(hwnd, "caption"), "提示");
    EXPECT_EQ(automation.Text(hwnd, "context"), "已保存");
    EXPECT_TRUE(Visible(hwnd, "infoLogo"));
    EXPECT_FALSE(Visible(hwnd, "btnLeft"));
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
    EXPECT_EQ(result.load(), CMessageDlg::kAnswerNo);
    // The window went at once; the object is the caller's.
    EXPECT_TRUE(automation.Windows().empty());
    EXPECT_EQ(box->Result(), 7);
}

TEST_F(MessageDlgTest, YesNoBoxAnswersYesOnlyForTheYesButton) {
    auto yes = std::make_unique<CMessageDlg>("更新？", "", CMessageDlg::kStyleYesNo, false);
    std::atomic<int> result{-1};
    HWND hwnd = Start(yes.get(), result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(Visible(hwnd, "btnYes"));
    EXPECT_TRUE(Visible(hwnd, "btnClose"));
    EXPECT_EQ(automation.Text(hwnd, "btnClose"), "取消");
    ASSERT_TRUE(automation.Click(hwnd, "btnYes"));
    EXPECT_EQ(result.load(), 6);

    // Escape answers as "btnClose" does; so does a close by the system.
    auto escaped = std::make_unique<CMessageDlg>("更新？", "", CMessageDlg::kStyleYesNo, false);
    result = -1;
    hwnd = Start(escaped.get(), result);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
    EXPECT_FALSE(automation.IsVisible(hwnd));
    EXPECT_EQ(result.load(), 7);
    auto closed = std::make_unique<CMessageDlg>("更新？", "", CMessageDlg::kStyleYesNo, false);
    result = -1;
    hwnd = Start(closed.get(), result);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(automation.Run([&] { SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(result.load(), 7);
}

TEST_F(MessageDlgTest, IconFollowsTheStyleBitsInTheirOrder) {
    const struct {
        UINT style;
        const char* icon;
    } cases[] = {{0x30, "errorLogo"}, {0x20, "warnLogo"}, {0x10, "errorLogo"},
                 {0x50, "infoLogo"},  {0x04, "infoLogo"}, {0x00, "infoLogo"}};
    for (const auto& c : cases) {
        ui.Run([&] {
            CMessageDlg box("t", "c", c.style, false);
            ASSERT_NE(box.Create(nullptr, "", 0x96C80000, 0, 0, 0, 0, 0), nullptr);
            box.ShowWindow(true);
            for (const char* icon : {"infoLogo", "errorLogo", "warnLogo"})
                EXPECT_EQ(box.m_pm.FindControl(icon)->IsVisible(), std::string(icon) == c.icon)
                    << "style " << c.style << " icon " << icon;
        });
    }
}

TEST_F(MessageDlgTest, ExtraTextsLeftButtonAndPlainYes) {
    auto box = std::make_unique<CMessageDlg>("<b>新版本</b>", "", CMessageDlg::kStyleYesNo, true);
    box->SetYesText("立即更新");
    box->SetCloseText("以后");
    box->SetLeftText("查看");
    box->SetPlainYes(true);
    std::atomic<int> result{-1};
    const HWND hwnd = Start(box.get(), result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(automation.Text(hwnd, "btnYes"), "立即更新");
    EXPECT_EQ(automation.Text(hwnd, "btnClose"), "以后");
    EXPECT_EQ(automation.Text(hwnd, "btnLeft"), "查看");
    ui.Run([&] {
        auto* yes = static_cast<CButtonUI*>(box->m_pm.FindControl("btnYes"));
        EXPECT_TRUE(yes->GetNormalImage().empty());
        EXPECT_TRUE(yes->GetHotImage().empty());
        EXPECT_TRUE(yes->GetPushedImage().empty());
        EXPECT_TRUE(yes->GetDisabledImage().empty());
        EXPECT_EQ(yes->GetTextColor(), 0xFF666666u);
        auto* close = static_cast<CButtonUI*>(box->m_pm.FindControl("btnClose"));
        EXPECT_FALSE(close->GetNormalImage().empty());
        EXPECT_TRUE(static_cast<CLabelUI*>(box->m_pm.FindControl("context"))->IsShowHtml());
    });
    ASSERT_TRUE(automation.Click(hwnd, "btnLeft"));
    EXPECT_EQ(result.load(), 12);
}

TEST_F(MessageDlgTest, ReturnDismissesANoticeButNeverAnswersAQuestionOrTakesAFocusedButtonsKey) {
    const struct {
        UINT style;
        const char* focused;  // the control that has the focus, or none
        bool closes;
        int answer;  // when it closes
    } cases[] = {
        {CMessageDlg::kStyleInformation, nullptr, true, CMessageDlg::kAnswerNo},
        {CMessageDlg::kStyleError, nullptr, true, CMessageDlg::kAnswerNo},
        {CMessageDlg::kStyleYesNo, nullptr, false, 0},
        // A button the user moved to keeps Return: it answers as its click.
        {CMessageDlg::kStyleInformation, "btnLeft", true, CMessageDlg::kAnswerLeft},
        {CMessageDlg::kStyleYesNo, "btnYes", true, CMessageDlg::kAnswerYes},
    };
    for (const auto& c : cases) {
        auto box = std::make_unique<CMessageDlg>("t", "c", c.style, false);
        box->SetLeftText("查看");
        std::atomic<int> result{-1};
        const HWND hwnd = Start(box.get(), result);
        ASSERT_NE(hwnd, nullptr);
        if (c.focused != nullptr)
            ui.Run([&] { box->m_pm.SetFocus(box->m_pm.FindControl(c.focused)); });
        ASSERT_TRUE(automation.PressKey(hwnd, VK_RETURN));
        EXPECT_EQ(automation.IsVisible(hwnd), !c.closes) << c.style << " " << (c.focused ? c.focused : "-");
        if (!c.closes) {
            ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
            continue;
        }
        EXPECT_EQ(result.load(), c.answer) << c.style << " " << (c.focused ? c.focused : "-");
    }
}

class LangMessageTest : public MessageDlgTest {
  protected:
    void InstallLanguage() { sandbox.InstallLanguageFiles(VANTO_BIN_DIR "/language", {"cn.dat", "tw.dat"}); }
    // Runs ShowLangMessage on the UI thread; the answer lands in `result`.
    HWND Show(std::string key, UINT style, std::string fallback, std::atomic<int>& result) {
        ui.Post([&result, key, style, fallback] { result = ShowLangMessage(key, nullptr, style, fallback); });
        return automation.WaitForLayout("dlg_message.xml");
    }
};

TEST_F(LangMessageTest, TitleAndTextComeFromTheLanguageFileAndTheAnswerIsReturned) {
    InstallLanguage();
    std::atomic<int> result{-1};
    HWND hwnd = Show("LoginSuccess", CMessageDlg::kStyleInformation, "fallback", result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(automation.Text(hwnd, "caption"), "墨林工坊");
    const std::string text = automation.Text(hwnd, "context").value_or("");
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, "fallback");
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
    EXPECT_EQ(result.load(), 7);

    result = -1;
    hwnd = Show("NoSuchKey", CMessageDlg::kStyleYesNo, "备用文字", result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(automation.Text(hwnd, "context"), "备用文字");
    ASSERT_TRUE(automation.Click(hwnd, "btnYes"));
    EXPECT_EQ(result.load(), 6);
}

TEST_F(LangMessageTest, WithoutLanguageFilesTheBoxShowsTheFallbackUnderAnEmptyTitle) {
    std::atomic<int> result{-1};
    const HWND hwnd = Show("LoginSuccess", CMessageDlg::kStyleError, "登录成功", result);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(automation.Text(hwnd, "caption"), "");
    EXPECT_EQ(automation.Text(hwnd, "context"), "登录成功");
    EXPECT_TRUE(automation.IsControlVisible(hwnd, "errorLogo").value_or(false));
    ASSERT_TRUE(automation.Run([&] { PostMessageW(hwnd, WM_CLOSE, 0, 0); }));
    ASSERT_TRUE(automation.RunUntilIdle());
    EXPECT_EQ(result.load(), 7);
}

TEST_F(LangMessageTest, ABoxThatCannotBeBuiltAnswersZero) {
    // No archive in force and no skin folder beside the program.
    CPaintManagerUI::SetResourceZip(nullptr, 0);
    EXPECT_EQ(ui.Call<int>([] { return ShowLangMessage("LoginSuccess", nullptr, 0x40, "x"); }), 0);
    EXPECT_TRUE(automation.Windows().empty());
}

}  // namespace
