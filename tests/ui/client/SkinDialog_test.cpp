// The dialog pattern over the built-in skin: class, layout, notifications,
// closing, and who deletes the object.
#include "ui/SkinDialog.h"
#include "ClientUi.h"

#include <atomic>
#include <string>
#include <vector>

using namespace DuiLib;
using clienttest::ClientUiTest;

namespace {

class ProbeDialog : public CSkinDialog {
  public:
    ProbeDialog(bool deleteSelf, std::atomic<int>* finals)
        : CSkinDialog("dlg_about", deleteSelf), m_finals(finals) {}
    ~ProbeDialog() override { ++*m_finals; }

    std::vector<std::string> seen;

  protected:
    void OnWindowInit() override { seen.push_back("init"); }
    void OnClick(TNotifyUI& msg) override {
        seen.push_back("click:" + msg.pSender->GetName());
        if (msg.pSender->GetName() == "btnClose")
            Close(3);
    }

  private:
    std::atomic<int>* m_finals;
};

using SkinDialogTest = ClientUiTest;

TEST_F(SkinDialogTest, DialogIsBuiltFromItsSkinLayoutAndRoutesOnlyInitAndClicks) {
    std::atomic<int> deleted{0};
    ProbeDialog* dlg = nullptr;
    ui.Run([&] {
        dlg = new ProbeDialog(true, &deleted);
        ASSERT_NE(dlg->Create(nullptr, "", 0x100, 0x100), nullptr);
        EXPECT_STREQ(dlg->GetClass(), "VANTODialogClass");
        EXPECT_EQ(dlg->GetClassStyle(), 0x80Bu);
        EXPECT_EQ(dlg->GetSkinFolder(), CPaintManagerUI::GetInstancePath() + "skin/");
        EXPECT_EQ(dlg->GetSkinFile(), "dlg_about.xml");
        dlg->CenterWindow();
    });
    const HWND hwnd = dlg->GetHWND();
    std::atomic<int> result{-1};
    ui.Post([&] { result = static_cast<int>(dlg->ShowModal()); });
    ASSERT_EQ(automation.WaitForLayout("dlg_about.xml"), hwnd);
    ASSERT_TRUE(automation.Click(hwnd, "btnClose"));
    EXPECT_EQ(result.load(), 3);
    // The dialog deleted itself with its window; what it saw came before.
    EXPECT_EQ(deleted.load(), 1);
    EXPECT_TRUE(automation.Windows().empty());
}

TEST_F(SkinDialogTest, CloseDestroysAtOnceAndAKeptDialogOutlivesItsWindow) {
    std::atomic<int> deleted{0};
    ui.Run([&] {
        auto* dlg = new ProbeDialog(false, &deleted);
        ASSERT_NE(dlg->Create(nullptr, "", 0x100, 0x100), nullptr);
        dlg->ShowWindow(true);
        const HWND hwnd = dlg->GetHWND();
        // Notifications other than "windowinit" and "click" are ignored.
        dlg->m_pm.SendNotify(dlg->m_pm.FindControl("btnClose"), DUI_MSGTYPE_SETFOCUS);
        dlg->m_pm.SendNotify(dlg->m_pm.FindControl("btnClose"), DUI_MSGTYPE_ITEMCLICK);
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(deleted.load(), 0);
        EXPECT_EQ(dlg->seen, std::vector<std::string>{"init"});
        delete dlg;  // its creator's to delete
        EXPECT_EQ(deleted.load(), 1);
    });
}

}  // namespace
