// A window used from the keyboard alone: the Tab order, arrows in an option
// group and in a menu, Return and Space as clicks, Escape per window kind,
// and when the focus indicator shows.
#include "SkinDialog.h"
#include "TestScreen.h"
#include "platform/duilib/Automation.h"
#include "platform/duilib/UIMenuUI.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UiThread.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace DuiLib;
using uitest::SkinDialog;

namespace {

// Stops in layout order: btnClose b1 o1 o3 o2 edit (the last button lies
// below the window's edge, out of sight).
constexpr const char* kLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="400,400">
  <VerticalLayout>
    <HorizontalLayout height="30">
      <Button name="btnClose" width="40"/>
      <Button name="b1" width="40" focusbordercolor="#FFFFD54F"/>
      <Button name="bHidden" width="40" visible="false"/>
      <Button name="bOff" width="40" enabled="false"/>
      <Label name="lbl" width="40"/>
    </HorizontalLayout>
    <VerticalLayout name="hiddenBox" height="30" visible="false"><Button name="inHidden"/></VerticalLayout>
    <VerticalLayout name="offBox" height="30" enabled="false"><Button name="inOff"/></VerticalLayout>
    <VerticalLayout height="120">
      <Option name="o1" group="tabs" selected="true" height="30"/>
      <Option name="o3" group="tabs" height="30"/>
      <Option name="oHidden" group="tabs" visible="false" height="30"/>
      <Option name="o2" group="tabs" height="30"/>
    </VerticalLayout>
    <HorizontalLayout height="30" width="100">
      <Edit name="edit" width="300"/>
    </HorizontalLayout>
    <Button name="bOutOfSight" float="true" pos="0,400,40,430"/>
  </VerticalLayout>
</Window>)";

constexpr const char* kMenuLayout = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="120,150">
  <Menu>
    <MenuElement name="mA" height="30"/>
    <Control name="separator" height="1"/>
    <MenuElement name="mOff" height="30" enabled="false"/>
    <MenuElement name="mHidden" height="30" visible="false"/>
    <MenuElement name="mB" height="30"/>
  </Menu>
</Window>)";

class KeyboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vtest::WriteFile(sandbox.Root() + "/keys.xml", kLayout);
        vtest::WriteFile(sandbox.Root() + "/menu.xml", kMenuLayout);
        ui.Run([&] {
            dlg = new SkinDialog(sandbox.Root() + "/", "keys.xml");
            dlg->deleteSelf = true;
            ASSERT_NE(dlg->Create(nullptr, "", UI_WNDSTYLE_DIALOG, 0), nullptr);
            hwnd = dlg->GetHWND();
            dlg->ShowWindow();
        });
    }

    CControlUI* Control(const std::string& name) { return dlg->m_pm.FindControl(name); }
    // The name of what `pick` finds on the UI thread.
    std::string NameOf(const std::function<CControlUI*()>& pick) {
        return automation.Call<std::string>([&] { return pick() != nullptr ? pick()->GetName() : "(none)"; })
            .value_or("(no answer)");
    }
    std::string Focused() {
        return NameOf([&] { return dlg->m_pm.GetFocus(); });
    }
    // The key with Shift held, as the keyboard sends it.
    void PressShifted(HWND target, WPARAM key) {
        ui.Run([&] { PostMessageW(target, WM_KEYDOWN, VK_SHIFT, 1); });
        EXPECT_TRUE(automation.PressKey(target, key));
        ui.Run([&] { PostMessageW(target, WM_KEYUP, VK_SHIFT, 1); });
        EXPECT_TRUE(automation.RunUntilIdle());
    }
    void FocusQuietly(const std::string& name) {
        ui.Run([&] { dlg->m_pm.SetFocus(name.empty() ? nullptr : Control(name)); });
    }

    vtest::Sandbox sandbox;
    UiThread ui{UiThread::Options{.screen = uitest::TestScreen()}};
    Automation automation;
    SkinDialog* dlg = nullptr;
    HWND hwnd = nullptr;
};

TEST_F(KeyboardTest, TabAndShiftTabSkipWhatCannotTakeTheFocusAndWrapAround) {
    struct Case {
        const char* from;  // "" : nothing focused
        bool shift;
        bool disableFrom;  // the focused control is disabled before the key
        const char* to;
    };
    const Case cases[] = {
        {"", false, false, "btnClose"},     {"", true, false, "edit"},
        {"b1", false, false, "o1"},  // hidden, disabled, hidden and disabled containers, a label
        {"o1", true, false, "b1"},          {"o3", false, false, "o2"},         // a hidden option
        {"edit", false, false, "btnClose"}, {"btnClose", true, false, "edit"},  // one out of sight
        {"b1", false, true, "o1"},  // from where a control that lost its stop stands
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + (c.shift ? " shift+tab" : " tab"));
        FocusQuietly(c.from);
        if (c.disableFrom)
            ui.Run([&] { Control(c.from)->SetEnabled(false); });
        if (c.shift)
            PressShifted(hwnd, VK_TAB);
        else
            EXPECT_TRUE(automation.PressKey(hwnd, VK_TAB));
        EXPECT_EQ(Focused(), c.to);
        if (c.disableFrom)
            ui.Run([&] { Control(c.from)->SetEnabled(true); });
    }
}

TEST_F(KeyboardTest, ArrowsMoveFocusAndSelectionThroughTheOptionGroupAsClicks) {
    struct Case {
        WPARAM key;
        const char* to;
    };
    // From o1: the hidden option is skipped, the ends wrap.
    const Case cases[] = {{VK_DOWN, "o3"}, {VK_RIGHT, "o2"}, {VK_DOWN, "o1"}, {VK_UP, "o2"}, {VK_LEFT, "o3"}};
    ui.Run([&] { dlg->m_pm.SetFocusByKeyboard(Control("o1")); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        ui.Run([&] { dlg->notes.clear(); });
        EXPECT_TRUE(automation.PressKey(hwnd, c.key));
        EXPECT_EQ(Focused(), c.to);
        EXPECT_EQ(automation.IsSelected(hwnd, c.to), true);
        ui.Run([&] {
            EXPECT_EQ(dlg->Count(std::string("click:") + c.to), 1);
            EXPECT_EQ(dlg->Count(std::string("selectchanged:") + c.to), 1);
            EXPECT_TRUE(dlg->m_pm.IsFocusByKeyboard());
        });
    }
}

TEST_F(KeyboardTest, ReturnAndSpaceOnTheFocusedControlRaiseWhatAClickRaises) {
    for (const char* name : {"b1", "o3"}) {
        std::vector<std::string> byClick;
        ui.Run([&] {
            static_cast<COptionUI*>(Control("o1"))->Selected(true);
            dlg->notes.clear();
        });
        EXPECT_TRUE(automation.Click(hwnd, name));
        ui.Run([&] { byClick = dlg->notes; });
        for (WPARAM key : {VK_RETURN, VK_SPACE}) {
            SCOPED_TRACE(std::string(name) + (key == VK_RETURN ? " return" : " space"));
            ui.Run([&] {
                static_cast<COptionUI*>(Control("o1"))->Selected(true);
                dlg->m_pm.SetFocusByKeyboard(Control(name));
                dlg->notes.clear();
            });
            EXPECT_TRUE(automation.PressKey(hwnd, key));
            ui.Run([&] { EXPECT_EQ(dlg->notes, byClick); });
        }
        EXPECT_FALSE(byClick.empty());
    }
}

TEST_F(KeyboardTest, EscapeClicksTheDialogsCloseButtonWhenItCanBeClicked) {
    struct Case {
        const char* state;  // of btnClose
        bool clicked;
    };
    const Case cases[] = {{"hidden", false}, {"disabled", false}, {"usable", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        ui.Run([&] {
            Control("btnClose")->SetVisible(std::string(c.state) != "hidden");
            Control("btnClose")->SetEnabled(std::string(c.state) != "disabled");
            dlg->notes.clear();
        });
        EXPECT_TRUE(automation.PressKey(hwnd, VK_ESCAPE));
        ui.Run([&] { EXPECT_EQ(dlg->Count("click:btnClose"), c.clicked ? 1 : 0); });
        EXPECT_TRUE(automation.IsVisible(hwnd));  // the test dialog closes on nothing
    }
}

TEST_F(KeyboardTest, TheIndicatorShowsOnlyWhileTheFocusCameFromTheKeyboard) {
    ui.Run([&] {
        CPaintManagerUI& pm = dlg->m_pm;
        pm.SetFocus(Control("o1"));
        EXPECT_FALSE(pm.GetFocusIndicator()) << "focus given by the program";
    });
    EXPECT_TRUE(automation.PressKey(hwnd, VK_TAB));  // to o3
    ui.Run([&] {
        const std::optional<TFocusIndicator> shown = dlg->m_pm.GetFocusIndicator();
        ASSERT_TRUE(shown);
        const RECT o3 = Control("o3")->GetPos();
        EXPECT_EQ(shown->rect, (RECT{o3.left + 2, o3.top + 2, o3.right - 2, o3.bottom - 2}))
            << "inside its edge";
        EXPECT_EQ(shown->color, CPaintManagerUI::kFocusOnLight) << "on the window's white";
        EXPECT_EQ(shown->contrast, CPaintManagerUI::kFocusOnDark) << "a light line inside a dark ring";
        EXPECT_EQ(shown->width, 2);
        // On a dark background (the option's own while selected), a light ring.
        Control("o3")->SetAttribute("selectedbkcolor", "#FF2B7CE9");
        static_cast<COptionUI*>(Control("o3"))->Selected(true);
        EXPECT_EQ(dlg->m_pm.GetFocusIndicator()->color, CPaintManagerUI::kFocusOnDark);
        EXPECT_EQ(dlg->m_pm.GetFocusIndicator()->contrast, CPaintManagerUI::kFocusOnLight)
            << "a dark line inside a light ring";
        // The skin's colour where the control has one.
        dlg->m_pm.SetFocusByKeyboard(Control("b1"));
        EXPECT_EQ(dlg->m_pm.GetFocusIndicator()->color, 0xFFFFD54Fu);
        EXPECT_EQ(dlg->m_pm.GetFocusIndicator()->contrast, CPaintManagerUI::kFocusOnLight)
            << "a dark line inside a light ring";
        // A control too small for the inset takes the ring at its edge.
        Control("b1")->SetPos(RECT{40, 0, 50, 30});
        EXPECT_EQ(dlg->m_pm.GetFocusIndicator()->rect, (RECT{40, 0, 50, 30}));
        // Cut to what the parents show: the edit is wider than its row.
        dlg->m_pm.SetFocusByKeyboard(Control("edit"));
        const RECT edit = Control("edit")->GetPos();
        const RECT row = Control("edit")->GetParent()->GetPos();
        EXPECT_EQ(dlg->m_pm.GetFocusIndicator()->rect,
                  (RECT{edit.left + 2, edit.top + 2, row.right - 2, edit.bottom - 2}));
        // A hidden control shows nothing (and loses the focus).
        Control("edit")->GetParent()->SetVisible(false);
        EXPECT_FALSE(dlg->m_pm.GetFocusIndicator());
        Control("edit")->GetParent()->SetVisible(true);
        dlg->m_pm.SetFocusByKeyboard(Control("o2"));
    });
    // The mouse ends it, even on the focused control itself.
    EXPECT_TRUE(automation.Click(hwnd, "o2"));
    ui.Run([&] {
        EXPECT_FALSE(dlg->m_pm.IsFocusByKeyboard());
        EXPECT_FALSE(dlg->m_pm.GetFocusIndicator());
    });
    EXPECT_TRUE(automation.PressKey(hwnd, VK_TAB));
    ui.Run([&] { PostMessageW(hwnd, WM_RBUTTONDOWN, 0, 0); });
    EXPECT_TRUE(automation.RunUntilIdle());
    ui.Run([&] { EXPECT_FALSE(dlg->m_pm.GetFocusIndicator()) << "the right button too"; });
}

class KeyboardMenuTest : public KeyboardTest {
  protected:
    // Opens the menu from b1, as a key or a click on it would.
    HWND Open(bool byKeyboard) {
        ui.Run([&] {
            dlg->m_pm.SetFocus(Control("b1"));
            dlg->m_pm.SetFocusByKeyboardState(byKeyboard);
            dlg->menu = std::make_unique<CMenuWnd>();
            EXPECT_TRUE(dlg->menu->Init(Control("b1"), "menu.xml", POINT{50, 50}, &dlg->m_pm));
        });
        return dlg->menu->GetHWND();
    }
    std::string Hot(HWND menu) {
        return NameOf([&] { return Automation::ManagerOf(menu)->GetHover(); });
    }
};

TEST_F(KeyboardMenuTest, UpAndDownMoveTheHotEntryOverWhatCannotBeChosen) {
    HWND menu = Open(false);
    EXPECT_EQ(Hot(menu), "(none)");
    struct Case {
        WPARAM key;
        const char* hot;
    };
    const Case cases[] = {{VK_DOWN, "mA"}, {VK_DOWN, "mB"}, {VK_DOWN, "mA"}, {VK_UP, "mB"}, {VK_UP, "mA"}};
    for (const Case& c : cases) {
        EXPECT_TRUE(automation.PressKey(menu, c.key));
        EXPECT_EQ(Hot(menu), c.hot);
    }
    ui.Run([&] { dlg->menu.reset(); });
    menu = Open(false);
    EXPECT_TRUE(automation.PressKey(menu, VK_UP));
    EXPECT_EQ(Hot(menu), "mB") << "Up with none hot starts at the bottom";
}

TEST_F(KeyboardMenuTest, ReturnChoosesTheHotEntryAndTheFocusGoesBackToTheOwner) {
    HWND menu = Open(true);
    ui.Run([&] { EXPECT_EQ(GetFocus(), menu) << "the menu takes the keyboard"; });
    EXPECT_EQ(Hot(menu), "mA") << "opened from the keyboard: the first entry is hot";
    EXPECT_TRUE(automation.PressKey(menu, VK_DOWN));
    EXPECT_TRUE(automation.PressKey(menu, VK_RETURN));
    ui.Run([&] {
        EXPECT_EQ(dlg->menuChoices, (std::vector<std::string>{"mB"}));
        EXPECT_FALSE(IsWindow(menu));
        EXPECT_EQ(GetFocus(), hwnd);
        EXPECT_EQ(dlg->m_pm.GetFocus(), Control("b1")) << "the next key goes on from where it was";
    });
    // Escape closes without a choice; Return with nothing hot chooses nothing.
    menu = Open(false);
    EXPECT_TRUE(automation.PressKey(menu, VK_RETURN));
    EXPECT_TRUE(automation.PressKey(menu, VK_ESCAPE));
    ui.Run([&] {
        EXPECT_EQ(dlg->menuChoices.size(), 1u);
        EXPECT_FALSE(IsWindow(menu));
        EXPECT_EQ(GetFocus(), hwnd);
    });
}

}  // namespace
