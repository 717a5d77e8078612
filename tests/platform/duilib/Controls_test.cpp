#include "TestSupport.h"

#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIMenuUI.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIPicture.h"
#include "platform/duilib/UIProgress.h"

#include <gtest/gtest.h>

using namespace DuiLib;
using duitest::Note;
using duitest::Recorder;

namespace {

template <typename T>
T* Named(const char* name) {
    auto* control = new T;
    control->SetName(name);
    return control;
}

// A window's manager with a root layout and a recorder of its notifications.
struct Window {
    Window() {
        root = new CVerticalLayoutUI;
        manager.AttachDialog(root);
        manager.AddNotifier(&recorder);
    }
    template <typename T>
    T* Add(const char* name) {
        T* control = Named<T>(name);
        root->Add(control);
        return control;
    }
    CPaintManagerUI manager;
    CVerticalLayoutUI* root;
    Recorder recorder;
};

TEventUI Event(int type, POINT pt = {}, WPARAM wParam = 0, char16_t key = 0) {
    TEventUI event;
    event.Type = type;
    event.ptMouse = pt;
    event.wParam = wParam;
    event.chKey = key;
    return event;
}

void Type(CControlUI* control, std::u16string_view units) {
    for (char16_t unit : units) {
        TEventUI event = Event(UIEVENT_CHAR, {}, unit, unit);
        control->DoEvent(event);
    }
}

void Key(CControlUI* control, WPARAM vk) {
    TEventUI event = Event(UIEVENT_KEYDOWN, {}, vk);
    control->DoEvent(event);
}

}  // namespace

TEST(Button, ClickNotifiesOnlyWhenVisibleAndEnabled) {
    Window w;
    auto* button = w.Add<CButtonUI>("btn");
    EXPECT_TRUE(button->Activate());
    button->SetEnabled(false);
    EXPECT_FALSE(button->Activate());
    button->SetEnabled(true);
    button->SetVisible(false);
    EXPECT_FALSE(button->Activate());
    EXPECT_EQ(w.recorder.Types(), std::vector<std::string>{"click:btn"});
}

TEST(Button, PressAndReleaseInsideIsAClickButDraggingOutIsNot) {
    Window w;
    auto* button = w.Add<CButtonUI>("btn");
    w.manager.UpdateLayout(RECT{0, 0, 100, 100});
    button->SetPos(RECT{10, 10, 50, 30});
    TEventUI down = Event(UIEVENT_BUTTONDOWN, {20, 20});
    TEventUI upOutside = Event(UIEVENT_BUTTONUP, {80, 80});
    button->DoEvent(down);
    EXPECT_TRUE(button->IsPushed());
    button->DoEvent(upOutside);
    EXPECT_TRUE(w.recorder.notes.empty());
    TEventUI upInside = Event(UIEVENT_BUTTONUP, {20, 20});
    button->DoEvent(upInside);  // no press before it
    EXPECT_TRUE(w.recorder.notes.empty());
    button->DoEvent(down);
    button->DoEvent(upInside);
    EXPECT_EQ(w.recorder.Types(), std::vector<std::string>{"click:btn"});
}

TEST(Button, ImageSettersAndPushImageAlias) {
    CButtonUI button;
    button.ApplyAttributeList(
        R"(normalimage="n.png" hotimage="h.png" pushimage="p.png" disabledimage="d.png")");
    EXPECT_EQ(button.GetNormalImage(), "n.png");
    EXPECT_EQ(button.GetHotImage(), "h.png");
    EXPECT_EQ(button.GetPushedImage(), "p.png");
    EXPECT_EQ(button.GetDisabledImage(), "d.png");
    button.SetNormalImage("");
    EXPECT_EQ(button.GetNormalImage(), "");
    button.SetTextColor(0xFF666666);
    EXPECT_EQ(button.GetTextColor(), 0xFF666666u);
}

TEST(Option, GroupClickOrderAndExclusivity) {
    Window w;
    auto* a = w.Add<COptionUI>("a");
    auto* b = w.Add<COptionUI>("b");
    auto* other = w.Add<COptionUI>("other");
    a->SetGroup("tabs");
    b->SetGroup("tabs");
    other->SetGroup("elsewhere");
    other->Selected(true);
    a->Selected(true);
    w.recorder.notes.clear();

    ASSERT_TRUE(b->Activate());
    // The click first, then the deselected one, then the newly selected one.
    EXPECT_EQ(w.recorder.notes,
              (std::vector<Note>{{"click", "b"}, {"selectchanged", "a", 0}, {"selectchanged", "b", 1}}));
    EXPECT_FALSE(a->IsSelected());
    EXPECT_TRUE(b->IsSelected());
    EXPECT_TRUE(other->IsSelected());  // another group is untouched

    // Clicking the selected option of a group changes nothing.
    w.recorder.notes.clear();
    b->Activate();
    EXPECT_EQ(w.recorder.Types(), std::vector<std::string>{"click:b"});
    EXPECT_TRUE(b->IsSelected());
}

TEST(Option, SelectedFromCodeNotifiesLikeAClickAndUngroupedOptionsToggle) {
    Window w;
    auto* check = w.Add<COptionUI>("check");
    check->Selected(true);
    check->Selected(true);  // no change, no notification
    EXPECT_EQ(w.recorder.notes, (std::vector<Note>{{"selectchanged", "check", 1}}));
    w.recorder.notes.clear();
    check->Activate();
    EXPECT_FALSE(check->IsSelected());
    EXPECT_EQ(w.recorder.Types(), (std::vector<std::string>{"click:check", "selectchanged:check"}));
}

TEST(Option, GroupsArePerWindow) {
    Window w1;
    Window w2;
    auto* x = w1.Add<COptionUI>("x");
    auto* y = w2.Add<COptionUI>("y");
    x->SetGroup("g");
    y->SetGroup("g");
    x->Selected(true);
    y->Selected(true);
    EXPECT_TRUE(x->IsSelected());
    EXPECT_TRUE(y->IsSelected());
}

TEST(TabLayout, SelectionShowsOneChildAndRejectsBadIndexes) {
    Window w;
    auto* tabs = new CTabLayoutUI;
    tabs->SetName("tabs");
    w.root->Add(tabs);
    auto* p0 = Named<CControlUI>("p0");
    auto* p1 = Named<CControlUI>("p1");
    auto* p2 = Named<CControlUI>("p2");
    tabs->Add(p0);
    tabs->Add(p1);
    tabs->Add(p2);
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_TRUE(p0->IsVisible());
    EXPECT_FALSE(p1->IsVisible());

    EXPECT_TRUE(tabs->SelectItem(2));
    EXPECT_FALSE(p0->IsVisible());
    EXPECT_TRUE(p2->IsVisible());
    EXPECT_EQ(w.recorder.notes, (std::vector<Note>{{"tabselect", "tabs", 2, 0}}));

    EXPECT_FALSE(tabs->SelectItem(3));
    EXPECT_FALSE(tabs->SelectItem(-1));
    EXPECT_FALSE(tabs->SelectItem(static_cast<CControlUI*>(nullptr)));
    EXPECT_EQ(tabs->GetCurSel(), 2);
    EXPECT_TRUE(tabs->SelectItem(p1));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_TRUE(tabs->SelectItem(1));  // already selected: no notification
    EXPECT_EQ(w.recorder.notes.size(), 2u);

    // Removing the selected page falls back to the first one.
    tabs->Remove(p1);
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_TRUE(p0->IsVisible());
    EXPECT_FALSE(p2->IsVisible());
}

TEST(TabLayout, SelectedIdBeforeChildrenExistAndAnimatedTabsChangeAtOnce) {
    CAnimationTabLayoutUI tabs;
    tabs.SetAttribute("selectedid", "1");
    auto* p0 = new CControlUI;
    auto* p1 = new CControlUI;
    tabs.Add(p0);
    tabs.Add(p1);
    EXPECT_EQ(tabs.GetCurSel(), 1);
    EXPECT_FALSE(p0->IsOwnVisible());
    EXPECT_TRUE(p1->IsOwnVisible());
    EXPECT_TRUE(tabs.SelectItem(0));
    EXPECT_TRUE(p0->IsOwnVisible());
    EXPECT_NE(tabs.GetInterface("TabLayout"), nullptr);
    tabs.SetAttribute("selectedid", "7");  // out of range: no change
    EXPECT_EQ(tabs.GetCurSel(), 0);
    EXPECT_TRUE(p0->IsOwnVisible());
    CTabLayoutUI empty;
    EXPECT_EQ(empty.GetCurSel(), -1);
    EXPECT_FALSE(empty.SelectItem(0));
}

TEST(Edit, MaxCharCountsUtf16UnitsWithCjkAndEmoji) {
    Window w;
    auto* edit = w.Add<CEditUI>("edit");
    edit->SetMaxChar(4);
    Type(edit, u"中文");
    EXPECT_EQ(edit->GetText(), "中文");
    Type(edit, u"\U0001F600");  // two units: fits exactly
    EXPECT_EQ(edit->GetText(), "中文\U0001F600");
    Type(edit, u"x");  // full
    EXPECT_EQ(edit->GetText(), "中文\U0001F600");
    Key(edit, VK_BACK);  // the emoji goes whole
    EXPECT_EQ(edit->GetText(), "中文");
    Type(edit, u"a\U0001F600");  // "a" fits, the pair would be 5 units
    EXPECT_EQ(edit->GetText(), "中文a");
    // Each change was reported; the refused ones were not.
    int changes = 0;
    for (const Note& note : w.recorder.notes)
        changes += note.type == "textchanged";
    EXPECT_EQ(changes, 5);
}

TEST(Edit, NumberOnlyBackspaceReturnAndLoneSurrogates) {
    Window w;
    auto* edit = w.Add<CEditUI>("phone");
    edit->ApplyAttributeList(R"(numberonly="true" maxchar="11" tipvalue="Mobile number")");
    EXPECT_EQ(edit->GetTipValue(), "Mobile number");
    Type(edit, u"1a3-\t9");
    EXPECT_EQ(edit->GetText(), "139");
    Type(edit, u"\U0001F600");
    Type(edit, std::u16string(1, u'\xDC00'));  // a low surrogate alone
    EXPECT_EQ(edit->GetText(), "139");
    Key(edit, VK_BACK);
    EXPECT_EQ(edit->GetText(), "13");
    Key(edit, VK_BACK);
    Key(edit, VK_BACK);
    Key(edit, VK_BACK);  // empty: nothing happens
    EXPECT_EQ(edit->GetText(), "");
    w.recorder.notes.clear();
    Key(edit, VK_RETURN);
    EXPECT_EQ(w.recorder.Types(), std::vector<std::string>{"return:phone"});
}

TEST(Edit, TextFromCodeIsNotLimitedAndDisabledEditsIgnoreTyping) {
    Window w;
    auto* edit = w.Add<CEditUI>("e");
    edit->SetMaxChar(2);
    edit->SetText("longer than two");
    EXPECT_EQ(edit->GetText(), "longer than two");
    edit->SetText("");
    edit->SetEnabled(false);
    Type(edit, u"a");
    EXPECT_EQ(edit->GetText(), "");
    edit->SetEnabled(true);
    edit->SetMaxChar(0);  // no limit of ours
    Type(edit, u"abcdef");
    EXPECT_EQ(edit->GetText(), "abcdef");
}

TEST(Progress, ValueStaysInsideTheRange) {
    CProgressUI progress;
    progress.ApplyAttributeList(R"(min="10" max="20" value="15")");
    EXPECT_EQ(progress.GetValue(), 15);
    progress.SetValue(99);
    EXPECT_EQ(progress.GetValue(), 20);
    progress.SetValue(-5);
    EXPECT_EQ(progress.GetValue(), 10);
    progress.SetMinValue(30);  // above max: refused
    EXPECT_EQ(progress.GetMinValue(), 10);
    progress.SetMaxValue(12);
    progress.SetValue(15);
    EXPECT_EQ(progress.GetValue(), 12);
}

TEST(Picture, BitmapIsKept) {
    CPictureUI picture;
    picture.SetBitmap("file='/tmp/head.jpg' restype='fullpath'");
    EXPECT_EQ(picture.GetBitmap(), "file='/tmp/head.jpg' restype='fullpath'");
}

TEST(List, SelectAndClickItems) {
    Window w;
    auto* list = w.Add<CListUI>("list");
    auto* first = Named<CListLabelElementUI>("first");
    auto* second = Named<CListContainerElementUI>("second");
    list->Add(first);
    list->Add(second);
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetItemAt(1), second);
    EXPECT_EQ(list->GetCurSel(), -1);

    EXPECT_TRUE(list->SelectItem(0));
    EXPECT_TRUE(first->IsSelected());
    EXPECT_FALSE(list->SelectItem(5));
    EXPECT_EQ(w.recorder.notes, (std::vector<Note>{{"itemselect", "list", 0, -1}}));

    w.recorder.notes.clear();
    EXPECT_TRUE(second->Activate());
    EXPECT_EQ(w.recorder.notes, (std::vector<Note>{{"itemselect", "list", 1, 0}, {"itemclick", "second"}}));
    EXPECT_FALSE(first->IsSelected());
    EXPECT_TRUE(second->IsSelected());

    list->Remove(second);
    EXPECT_EQ(list->GetCurSel(), -1);
}

TEST(Menu, ElementClickRaisesItemClickOnly) {
    Window w;
    auto* menu = w.Add<CMenuUI>("menu");
    auto* about = Named<CMenuElementUI>("menuAbout");
    menu->Add(about);
    EXPECT_TRUE(about->Activate());
    EXPECT_EQ(w.recorder.Types(), std::vector<std::string>{"itemclick:menuAbout"});
    EXPECT_NE(menu->GetInterface("List"), nullptr);
}
