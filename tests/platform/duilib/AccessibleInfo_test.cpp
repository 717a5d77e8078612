// What a screen reader is told about controls and windows: roles, names in
// their fallback order, descriptions, states, bounded texts and the offset
// conversion between the edit's UTF-16 units and characters. No display.
#include "platform/duilib/AccessibleInfo.h"
#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIMenuUI.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIPicture.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/UIWkeWebkit.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace DuiLib;

namespace {

struct ControlCase {
    const char* what;
    std::function<CControlUI*()> make;
    const char* attributes;
    AccessibleRole role;
    const char* name;
    const char* description;
};

}  // namespace

TEST(AccessibleInfo, RoleNameAndDescriptionFollowTheKindAndTheFallbackOrder) {
    const std::vector<ControlCase> cases = {
        {"a button's text", [] { return new CButtonUI; }, R"(text="登录" tooltip="登录")",
         AccessibleRole::PushButton, "登录", ""},
        {"an icon button's accessible name before its tooltip", [] { return new CButtonUI; },
         R"(accessiblename="最小化窗口" tooltip="最小化")", AccessibleRole::PushButton, "最小化窗口",
         "最小化"},
        {"an icon button's tooltip", [] { return new CButtonUI; }, R"(tooltip="关闭")",
         AccessibleRole::PushButton, "关闭", ""},
        {"markup removed from a label", [] { return new CLabelUI; },
         R"(showhtml="true" text="{b}张三{/b} 会员")", AccessibleRole::Label, "张三 会员", ""},
        {"markup kept as written when not shown as markup", [] { return new CLabelUI; }, R"(text="{b}x{/b}")",
         AccessibleRole::Label, "{b}x{/b}", ""},
        {"a grouped option is a page tab", [] { return new COptionUI; }, R"(group="tabs" text="PPT模板")",
         AccessibleRole::PageTab, "PPT模板", ""},
        {"an ungrouped option is a check box", [] { return new COptionUI; }, R"(text="记住")",
         AccessibleRole::CheckBox, "记住", ""},
        {"an edit's text is its value, its hint the description", [] { return new CEditUI; },
         R"(text="138" tipvalue="输入手机号码")", AccessibleRole::Entry, "", "输入手机号码"},
        {"an edit named by the layout", [] { return new CEditUI; },
         R"(accessiblename="手机号" tipvalue="输入手机号码")", AccessibleRole::Entry, "手机号",
         "输入手机号码"},
        {"a password edit", [] { return new CEditUI; }, R"(password="true")", AccessibleRole::PasswordText,
         "", ""},
        {"a progress bar", [] { return new CProgressUI; }, R"(accessiblename="下载进度")",
         AccessibleRole::ProgressBar, "下载进度", ""},
        {"a menu entry, not a list item", [] { return new CMenuElementUI; }, R"(text="检查更新")",
         AccessibleRole::MenuItem, "检查更新", ""},
        {"a menu, not a list", [] { return new CMenuUI; }, "", AccessibleRole::Menu, "", ""},
        {"a list item", [] { return new CListLabelElementUI; }, R"(text="a")", AccessibleRole::ListItem, "a",
         ""},
        {"a picture", [] { return new CPictureUI; }, R"(tooltip="头像")", AccessibleRole::Image, "头像", ""},
        {"a layout", [] { return new CHorizontalLayoutUI; }, "", AccessibleRole::Panel, "", ""},
        {"a bare control", [] { return new CControlUI; }, "", AccessibleRole::Filler, "", ""},
    };
    for (const ControlCase& c : cases) {
        std::unique_ptr<CControlUI> control(c.make());
        control->ApplyAttributeList(c.attributes);
        const AccessibleInfo info = DescribeControl(*control);
        EXPECT_EQ(info.role, c.role) << c.what;
        EXPECT_EQ(info.name, c.name) << c.what;
        EXPECT_EQ(info.description, c.description) << c.what;
    }
}

TEST(AccessibleInfo, WebViewsAreLeftToTheirEngineAndEverythingElseIsExposed) {
    CWkeWebkitUI web;
    CButtonUI button;
    CHorizontalLayoutUI layout;
    EXPECT_FALSE(IsAccessibleExposed(web));
    EXPECT_TRUE(IsAccessibleExposed(button));
    EXPECT_TRUE(IsAccessibleExposed(layout));
}

TEST(AccessibleInfo, StatesFollowTheModel) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* box = new CHorizontalLayoutUI;
    auto* button = new CButtonUI;
    auto* tab = new COptionUI;
    auto* other = new COptionUI;
    auto* check = new COptionUI;
    auto* edit = new CEditUI;
    auto* label = new CLabelUI;
    root->Add(box);
    for (CControlUI* control : std::vector<CControlUI*>{button, tab, other, check, edit, label})
        box->Add(control);
    tab->SetGroup("tabs");
    other->SetGroup("tabs");
    manager.AttachDialog(root);
    root->SetPos(RECT{0, 0, 600, 40});

    const std::uint32_t shown = kAccVisible | kAccShowing | kAccEnabled;
    EXPECT_EQ(AccessibleStatesOf(*button), shown | kAccFocusable);
    EXPECT_EQ(AccessibleStatesOf(*label), shown);
    EXPECT_EQ(AccessibleStatesOf(*edit), shown | kAccFocusable | kAccEditable | kAccSingleLine);

    button->SetFocus();
    EXPECT_NE(AccessibleStatesOf(*button) & kAccFocused, 0u);
    edit->SetFocus();
    EXPECT_EQ(AccessibleStatesOf(*button) & kAccFocused, 0u) << "the focus moved on";

    tab->Selected(true);
    EXPECT_EQ(AccessibleStatesOf(*tab) & (kAccSelectable | kAccSelected), kAccSelectable | kAccSelected);
    other->Selected(true);
    EXPECT_EQ(AccessibleStatesOf(*tab) & kAccSelected, 0u) << "the group deselected it";
    EXPECT_EQ(AccessibleStatesOf(*check) & (kAccCheckable | kAccChecked), kAccCheckable);
    check->Selected(true);
    EXPECT_NE(AccessibleStatesOf(*check) & kAccChecked, 0u);

    edit->SetReadOnly(true);
    EXPECT_EQ(AccessibleStatesOf(*edit) & (kAccEditable | kAccReadOnly), kAccReadOnly);
    button->SetEnabled(false);
    EXPECT_EQ(AccessibleStatesOf(*button) & (kAccEnabled | kAccFocusable), 0u)
        << "a disabled button is neither enabled nor reachable";
    label->SetPos(RECT{0, 40, 100, 60});
    EXPECT_EQ(AccessibleStatesOf(*label) & (kAccVisible | kAccShowing), kAccVisible)
        << "visible, not showing below the window's edge";
    label->SetPos(RECT{0, 0, 100, 40});
    box->SetVisible(false);
    EXPECT_EQ(AccessibleStatesOf(*label) & (kAccVisible | kAccShowing), kAccVisible)
        << "visible of its own, not showing in a hidden parent";
}

TEST(AccessibleInfo, AnUntitledWindowIsNamedByItsLayout) {
    CPaintManagerUI manager;
    EXPECT_EQ(AccessibleWindowName("", &manager), "");
    manager.SetWindowAttribute("accessiblename", "登录");
    EXPECT_EQ(AccessibleWindowName("", &manager), "登录");
    EXPECT_EQ(AccessibleWindowName("墨林工坊", &manager), "墨林工坊");
    EXPECT_EQ(AccessibleWindowName("", nullptr), "");
}

TEST(AccessibleInfo, WindowRoles) {
    EXPECT_EQ(WindowRoleOf(false, false), AccessibleRole::Frame);
    EXPECT_EQ(WindowRoleOf(true, false), AccessibleRole::Dialog);
    EXPECT_EQ(WindowRoleOf(true, true), AccessibleRole::Window);
    EXPECT_EQ(WindowRoleOf(false, true), AccessibleRole::Window);
    EXPECT_EQ(WindowRoleOf(true, false, "alert"), AccessibleRole::Alert);
    EXPECT_EQ(WindowRoleOf(false, false, "alert"), AccessibleRole::Alert) << "a message box without an owner";
    EXPECT_EQ(WindowRoleOf(true, true, "alert"), AccessibleRole::Window) << "a pop-up stays a pop-up";
}

TEST(AccessibleInfo, TextsAreBoundedAtACharacterAndCarryNoControlCharacters) {
    struct Case {
        std::string in;
        std::size_t max;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"plain", 16, "plain"},
        {"a\nb\tc\x7f", 16, "a b c "},
        {"abcdef", 4, "abcd"},
        {"模板", 4, "模"},              // 3 bytes each: the second would be cut
        {"模板", 2, ""},                // nothing of a character fits
        {"a\xF0\x9F\x98\x80", 4, "a"},  // a four-byte emoji does not fit after "a"
        {"a\xFF\xC3"
         "b",
         16,
         "a\xEF\xBF\xBD\xEF\xBF\xBD"
         "b"},  // malformed bytes: U+FFFD, as the bus needs
    };
    for (const Case& c : cases)
        EXPECT_EQ(AccessibleText(c.in, false, c.max), c.out) << c.in;
    // A store's name of any length is cut to the bound.
    CButtonUI button;
    button.SetText(std::string(10000, 'x'));
    EXPECT_EQ(AccessibleNameOf(button).size(), kMaxAccessibleText);
}

TEST(AccessibleInfo, OffsetsConvertBetweenUtf16UnitsAndCharacters) {
    struct Case {
        const char* text;
        int utf16;
        int chars;
        bool both;  // the conversion back gives the units again
    };
    // "a😀b": the emoji is two UTF-16 units and one character.
    const std::string emoji =
        "a\xF0\x9F\x98\x80"
        "b";
    const std::vector<Case> cases = {
        {"abc", 2, 2, true},         {emoji.c_str(), 0, 0, true}, {emoji.c_str(), 1, 1, true},
        {emoji.c_str(), 3, 2, true}, {emoji.c_str(), 4, 3, true}, {"模板", 1, 1, true},
        {"abc", 99, 3, false},  // past the end: clamped
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf16ToCharOffset(c.text, c.utf16), c.chars) << c.text << " @" << c.utf16;
        if (c.both) {
            EXPECT_EQ(CharToUtf16Offset(c.text, c.chars), c.utf16) << c.text << " #" << c.chars;
        }
    }
    EXPECT_EQ(CharToUtf16Offset("abc", 99), 3);
}

TEST(AccessibleInfo, TheBridgeStartsOnlyWhereABusCanBeReached) {
    struct Case {
        const char* atSpi;
        const char* session;
        bool runtimeBus;
        bool reachable;
    };
    const std::vector<Case> cases = {
        {nullptr, nullptr, false, false},
        {"", "", false, false},
        {"unix:path=/run/a11y", nullptr, false, true},
        {nullptr, "unix:path=/run/bus", false, true},
        {nullptr, nullptr, true, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AccessibilityBusReachable(c.atSpi, c.session, c.runtimeBus), c.reachable)
            << (c.atSpi ? c.atSpi : "-") << " " << (c.session ? c.session : "-") << " " << c.runtimeBus;
}
