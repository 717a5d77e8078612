// What a control is drawn with in each state: its state image, background,
// text colour and border, the edit's view and the progress bar's filled part,
// decided by the model so that the renderer only draws it. No display.
#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/UiThread.h"
#include "platform/duilib/WinUser.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace DuiLib;

namespace {

// A state by its letters: e(nabled, else disabled), h(ot), p(ushed),
// f(ocused), s(elected).
TDrawState State(std::string_view letters) {
    TDrawState state;
    state.enabled = letters.find('e') != std::string_view::npos;
    state.hot = letters.find('h') != std::string_view::npos;
    state.pushed = letters.find('p') != std::string_view::npos;
    state.focused = letters.find('f') != std::string_view::npos;
    state.selected = letters.find('s') != std::string_view::npos;
    return state;
}

struct ImageCase {
    const char* attributes;  // applied to the control
    const char* state;
    const char* expected;
};

template <typename T>
void ExpectImages(const std::vector<ImageCase>& cases) {
    for (const ImageCase& c : cases) {
        T control;
        control.ApplyAttributeList(c.attributes);
        EXPECT_EQ(control.GetStateImage(State(c.state)), c.expected)
            << c.attributes << " in state " << c.state;
    }
}

constexpr const char* kAllButtonImages =
    R"(normalimage="n" hotimage="h" pushedimage="p" disabledimage="d" focusedimage="f")";

}  // namespace

TEST(StateImage, AButtonTakesTheFirstStateThatHasAnImageOfItsOwn) {
    ExpectImages<CButtonUI>({
        {kAllButtonImages, "e", "n"},
        {kAllButtonImages, "eh", "h"},
        {kAllButtonImages, "ehp", "p"},
        {kAllButtonImages, "ef", "f"},
        {kAllButtonImages, "ehf", "h"},
        {kAllButtonImages, "", "d"},
        {kAllButtonImages, "f", "d"},
        // A state without an image of its own falls to the next one.
        {R"(normalimage="n" hotimage="h")", "ehp", "h"},
        {R"(normalimage="n" focusedimage="f")", "ehf", "f"},
        {R"(normalimage="n" hotimage="h")", "", "n"},
        {R"(hotimage="h")", "e", ""},
    });
}

TEST(StateImage, ASelectedOptionShowsItsSelectedImagesUnlessDisabledWithADisabledImage) {
    const std::string all = std::string(kAllButtonImages) + R"( selectedimage="s" selectedhotimage="sh")";
    ExpectImages<COptionUI>({
        {all.c_str(), "es", "s"},
        {all.c_str(), "esh", "sh"},
        {all.c_str(), "eshp", "sh"},
        {all.c_str(), "s", "d"},
        {R"(normalimage="n" selectedimage="s")", "s", "s"},
        {R"(normalimage="n" selectedimage="s")", "esh", "s"},
        // Without a selected image a selected option looks like a button.
        {R"(normalimage="n" hotimage="h")", "esh", "h"},
        {all.c_str(), "eh", "h"},
    });
}

TEST(StateImage, AnEditTakesTheFirstStateThatAppliesAndElseItsNormalImage) {
    constexpr const char* all = R"(normalimage="n" hotimage="h" focusedimage="f" disabledimage="d")";
    ExpectImages<CEditUI>({
        {all, "e", "n"},
        {all, "eh", "h"},
        {all, "ehf", "f"},
        {all, "f", "d"},
        // Unlike a button's, a state that applies but has no image shows
        // the normal one, not the next state's.
        {R"(normalimage="n" hotimage="h")", "ehf", "n"},
        {R"(normalimage="n" hotimage="h")", "", "n"},
    });
    ExpectImages<CControlUI>({{all, "ehf", ""}});
}

TEST(StateColour, TheBackgroundTakesTheSelectedOrHotColourThenTheDisabledOne) {
    CControlUI control;
    control.ApplyAttributeList(
        R"(bkcolor="#FF000001" hotbkcolor="#FF000002" selectedbkcolor="#FF000003" disabledbkcolor="#FF000004")");
    const std::vector<std::pair<const char*, DWORD>> cases = {
        {"e", 0xFF000001},  {"eh", 0xFF000002}, {"ehs", 0xFF000003},
        {"es", 0xFF000003}, {"", 0xFF000004},   {"s", 0xFF000004},
    };
    for (const auto& [state, expected] : cases)
        EXPECT_EQ(control.GetStateBkColor(State(state)), expected) << state;
    CControlUI plain;
    plain.ApplyAttributeList(R"(bkcolor="#FF000001" hotbkcolor="not a colour")");
    EXPECT_EQ(plain.GetStateBkColor(State("eh")), 0xFF000001u);
    EXPECT_EQ(CControlUI().GetStateBkColor(State("ehs")), 0u);
}

TEST(StateColour, TextColoursFollowTheKindAndTheState) {
    struct Case {
        const char* kind;
        const char* attributes;
        const char* state;
        DWORD expected;
    };
    const char* colours = R"(textcolor="#FF000001" disabledtextcolor="#FF000002" hottextcolor="#FF000003" )"
                          R"(pushedtextcolor="#FF000004" selectedtextcolor="#FF000005")";
    const std::vector<Case> cases = {
        {"Label", colours, "eh", 0xFF000001},
        {"Label", colours, "", 0xFF000002},
        {"Label", R"(textcolor="#FF000001")", "", 0xFF000001},
        {"Button", colours, "e", 0xFF000001},
        {"Button", colours, "eh", 0xFF000003},
        {"Button", colours, "ehp", 0xFF000004},
        {"Button", colours, "h", 0xFF000002},
        {"Button", R"(textcolor="#FF000001" pushedtextcolor="#FF000004")", "eh", 0xFF000001},
        {"Option", colours, "es", 0xFF000005},
        {"Option", colours, "ehps", 0xFF000005},
        {"Option", colours, "eh", 0xFF000003},
        {"Option", colours, "s", 0xFF000002},
        // A colour written without alpha is opaque; none at all is black.
        {"Label", R"(textcolor="0x00123456")", "e", 0xFF123456},
        {"Label", "", "e", 0xFF000000},
        {"Control", R"(textcolor="0x00123456")", "e", 0xFF123456},
    };
    for (const Case& c : cases) {
        std::unique_ptr<CControlUI> control;
        if (std::string_view(c.kind) == "Label")
            control = std::make_unique<CLabelUI>();
        else if (std::string_view(c.kind) == "Button")
            control = std::make_unique<CButtonUI>();
        else if (std::string_view(c.kind) == "Option")
            control = std::make_unique<COptionUI>();
        else
            control = std::make_unique<CControlUI>();
        control->ApplyAttributeList(c.attributes);
        EXPECT_EQ(control->GetTextLook(State(c.state)).color, c.expected)
            << c.kind << " " << c.attributes << " in state " << c.state;
    }
}

TEST(StateColour, AContainerCarryingATextStylesItWithTheLabelsAttributes) {
    CHorizontalLayoutUI entry;
    entry.ApplyAttributeList(
        R"(font="3" textcolor="#FF102030" align="right" textpadding="1,2,3,4" showhtml="true" endellipsis="true")");
    TTextLook expected;
    expected.font = 3;
    expected.color = 0xFF102030;
    expected.align = DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
    expected.padding = RECT{1, 2, 3, 4};
    expected.html = true;
    expected.ellipsis = true;
    EXPECT_EQ(entry.GetTextLook(State("e")), expected);
    // A label's own settings, and the same "endellipsis".
    CLabelUI label;
    label.ApplyAttributeList(
        R"(font="2" align="center" valign="bottom" multiline="true" endellipsis="true")");
    const TTextLook look = label.GetTextLook(State("e"));
    EXPECT_EQ(look.font, 2);
    EXPECT_EQ(look.align, DT_CENTER | DT_BOTTOM);
    EXPECT_TRUE(look.ellipsis);
    EXPECT_FALSE(look.html);
}

TEST(StateColour, TheBorderTakesTheFocusColourWhileFocused) {
    CControlUI control;
    control.ApplyAttributeList(R"(bordersize="2" bordercolor="#FF000001" focusbordercolor="#FF000002")");
    EXPECT_EQ(control.GetBorderSize(), 2);
    EXPECT_EQ(control.GetStateBorderColor(State("e")), 0xFF000001u);
    EXPECT_EQ(control.GetStateBorderColor(State("ef")), 0xFF000002u);
    CControlUI broken;
    broken.ApplyAttributeList(R"(bordersize="-3" bordercolor="#FF000001" focusbordercolor="nope")");
    EXPECT_EQ(broken.GetBorderSize(), 0);
    EXPECT_EQ(broken.GetStateBorderColor(State("ef")), 0xFF000001u);
    CControlUI focusOnly;
    focusOnly.ApplyAttributeList(R"(bordersize="1" focusbordercolor="#FF000002")");
    EXPECT_EQ(focusOnly.GetStateBorderColor(State("e")), std::nullopt);
    EXPECT_EQ(focusOnly.GetStateBorderColor(State("ef")), 0xFF000002u);
}

TEST(EditView, TheHintShowsInItsColourWhileTheFieldIsEmptyAndNothingIsComposed) {
    CEditUI edit;
    edit.SetTipValue("phone number");
    TEditView view = edit.GetView(State("ef"), false);
    EXPECT_TRUE(view.hint);
    EXPECT_EQ(view.text, "phone number");
    EXPECT_EQ(view.color, 0xFFAAAAAAu);
    EXPECT_EQ(view.caretByte, 0);
    EXPECT_TRUE(view.caret);  // a focused empty field shows its caret before the hint
    edit.ApplyAttributeList(R"(tipvaluecolor="#FF00FF00" textcolor="#FF000001")");
    EXPECT_EQ(edit.GetView(State("e"), false).color, 0xFF00FF00u);
    // While an input method composes, the hint makes room for its text.
    view = edit.GetView(State("ef"), true);
    EXPECT_FALSE(view.hint);
    EXPECT_EQ(view.text, "");
    EXPECT_EQ(view.color, 0xFF000001u);
}

TEST(EditView, CaretAndSelectionAreBytesOfTheShownText) {
    CEditUI edit;
    edit.SetText("h\xC3\xA9llo");  // é is two bytes, one UTF-16 unit
    edit.SetSel(1, 3);
    TEditView view = edit.GetView(State("ef"), false);
    EXPECT_EQ(view.text, "h\xC3\xA9llo");
    EXPECT_EQ(view.caretByte, 4);
    EXPECT_EQ(view.selectionStart, 1);
    EXPECT_EQ(view.selectionEnd, 4);
    // Unfocused, the selection is not shown.
    view = edit.GetView(State("e"), false);
    EXPECT_EQ(view.selectionStart, view.selectionEnd);
    EXPECT_FALSE(view.caret);
    // In password mode a bullet (three bytes) stands for each character,
    // a surrogate pair being one.
    edit.SetPasswordMode(true);
    edit.SetText(
        "a\xF0\x9F\x98\x80"
        "b");
    edit.SetSel(0, 3);  // after the pair
    view = edit.GetView(State("ef"), false);
    EXPECT_EQ(view.text, "\xE2\x97\x8F\xE2\x97\x8F\xE2\x97\x8F");
    EXPECT_EQ(view.caretByte, 6);
    EXPECT_EQ(edit.ShownByteOffset(99), 9);
    EXPECT_EQ(edit.ShownByteOffset(-4), 0);
}

TEST(EditView, OnlyAFocusedEnabledWritableFieldShowsTheCaret) {
    CEditUI edit;
    edit.SetText("x");
    edit.ApplyAttributeList(R"(textcolor="#FF000001" disabledtextcolor="#FF000002")");
    EXPECT_TRUE(edit.GetView(State("ef"), false).caret);
    EXPECT_FALSE(edit.GetView(State("f"), false).caret);
    EXPECT_EQ(edit.GetView(State("f"), false).color, 0xFF000002u);
    edit.SetReadOnly(true);
    EXPECT_FALSE(edit.GetView(State("ef"), false).caret);
}

TEST(ProgressValue, TheFilledPartGrowsWithTheValueAlongTheBar) {
    struct Case {
        int min, max, value;
        bool horizontal;
        RECT expected;
    };
    const RECT bar{10, 20, 210, 40};
    const std::vector<Case> cases = {
        {0, 100, 50, true, {10, 20, 110, 40}},
        {0, 100, 100, true, {10, 20, 210, 40}},
        {0, 100, 0, true, {10, 20, 10, 40}},
        {0, 3, 1, true, {10, 20, 77, 40}},  // 66.67 rounds to 67
        {0, 100, 25, false, {10, 35, 210, 40}},
        {5, 5, 5, true, {10, 20, 10, 20}},  // an empty range fills nothing
        // The whole int range does not overflow.
        {INT_MIN, INT_MAX, 0, true, {10, 20, 110, 40}},
    };
    for (const Case& c : cases) {
        CProgressUI progress;
        progress.SetMinValue(c.min);
        progress.SetMaxValue(c.max);
        progress.SetValue(c.value);
        progress.SetHorizontal(c.horizontal);
        progress.SetPos(bar);
        EXPECT_EQ(progress.GetValueRect(), c.expected) << c.min << ".." << c.max << " at " << c.value;
    }
}

// The state comes from the window's manager: the pointer's control, the
// press held, the focus; a button also from its own enter and leave.
TEST(DrawState, FollowsThePointerThePressAndTheFocusOfTheWindow) {
    UiThread ui;
    ASSERT_TRUE(ui.IsRunning());
    ASSERT_TRUE(ui.Run([] {
        WindowCreateParams params;
        params.className = "StateLookClass";
        params.style = WS_VISIBLE;
        params.cx = 300;
        params.cy = 100;
        const HWND hwnd = CreateWindowRecord(
            params, [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); });
        ASSERT_NE(hwnd, nullptr);
        {
            CPaintManagerUI manager;
            manager.Init(hwnd);
            auto* root = new CHorizontalLayoutUI;
            auto* button = new CButtonUI;
            auto* edit = new CEditUI;
            auto* option = new COptionUI;
            for (CControlUI* control : std::vector<CControlUI*>{button, edit, option}) {
                control->SetFixedWidth(100);
                root->Add(control);
            }
            manager.AttachDialog(root);
            manager.UpdateLayout(RECT{0, 0, 300, 100});
            auto send = [&](UINT message, long x) {
                LRESULT result = 0;
                manager.MessageHandler(message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, 50),
                                       result);
            };
            send(WM_MOUSEMOVE, 50);
            EXPECT_EQ(button->GetDrawState(), State("eh"));
            EXPECT_EQ(edit->GetDrawState(), State("e"));
            send(WM_LBUTTONDOWN, 50);
            EXPECT_EQ(button->GetDrawState(), State("ehpf"));
            send(WM_LBUTTONUP, 50);
            EXPECT_EQ(button->GetDrawState(), State("ehf"));
            send(WM_MOUSEMOVE, 150);
            EXPECT_EQ(button->GetDrawState(), State("ef"));
            EXPECT_EQ(edit->GetDrawState(), State("eh"));
            // A disabled control under the pointer is not hot.
            edit->SetEnabled(false);
            EXPECT_EQ(edit->GetDrawState(), State(""));
            option->Selected(true);
            EXPECT_EQ(option->GetDrawState(), State("es"));
        }
        DestroyWindow(hwnd);
    }));
}

TEST(DrawState, AListItemIsSelectedWithItsList) {
    CListUI list;
    auto* first = new CListLabelElementUI;
    auto* second = new CListLabelElementUI;
    list.Add(first);
    list.Add(second);
    ASSERT_TRUE(list.SelectItem(1));
    EXPECT_FALSE(first->GetDrawState().selected);
    EXPECT_TRUE(second->GetDrawState().selected);
}
