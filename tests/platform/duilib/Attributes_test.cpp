#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIRender.h"

#include <gtest/gtest.h>

using namespace DuiLib;

TEST(AttributeValues, RectsSizesIntsAndBoolsParseStrictly) {
    EXPECT_EQ(ParseRect("1, 2 ,3,4"), (RECT{1, 2, 3, 4}));
    EXPECT_EQ(ParseRect("-5,0,0,-1"), (RECT{-5, 0, 0, -1}));
    EXPECT_FALSE(ParseRect("1,2,3"));
    EXPECT_FALSE(ParseRect("1,2,3,4,5"));
    EXPECT_FALSE(ParseRect("1,2,x,4"));
    EXPECT_FALSE(ParseRect(""));
    EXPECT_EQ(ParseSize("870,578"), (SIZE{870, 578}));
    EXPECT_FALSE(ParseSize("870"));
    EXPECT_EQ(ParseInt(" 42 "), 42);
    EXPECT_EQ(ParseInt("+7"), 7);
    EXPECT_FALSE(ParseInt("12px"));
    EXPECT_FALSE(ParseInt("99999999999999"));
    EXPECT_EQ(ParseBool("TRUE"), true);
    EXPECT_EQ(ParseBool("0"), false);
    EXPECT_FALSE(ParseBool("yes"));
}

TEST(AttributeValues, ColoursAcceptHashAndHexForms) {
    EXPECT_EQ(ParseColor("#FF112233"), 0xFF112233u);
    EXPECT_EQ(ParseColor("#112233"), 0xFF112233u);  // six digits: opaque
    EXPECT_EQ(ParseColor("0x80FFFFFF"), 0x80FFFFFFu);
    EXPECT_FALSE(ParseColor("#GG000000"));
    EXPECT_FALSE(ParseColor("#123456789"));
    EXPECT_FALSE(ParseColor("#"));
}

TEST(AttributeValues, AttributeListsKeepQuotesOfTheOtherKindInsideValues) {
    const auto pairs =
        ParseAttributeList(R"(normalimage="file='a.png' source='0,0,1,1'" width='20'  text="")");
    ASSERT_EQ(pairs.size(), 3u);
    EXPECT_EQ(pairs[0].second, "file='a.png' source='0,0,1,1'");
    EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"width", "20"}));
    EXPECT_EQ(pairs[2].second, "");
    // A broken pair ends the list; what came before stays.
    EXPECT_EQ(ParseAttributeList(R"(a="1" b="unterminated)").size(), 1u);
    EXPECT_EQ(ParseAttributeList(R"(a="1" =oops b="2")").size(), 1u);
    EXPECT_TRUE(ParseAttributeList("novalue").empty());
}

TEST(ControlAttributes, CommonAttributesChangeStateAndEveryAttributeIsKept) {
    CButtonUI button;
    button.ApplyAttributeList(R"(name="btnOk" text="OK" tooltip="tip" width="80" height="30" minwidth="10" )"
                              R"(minheight="5" padding="1,2,3,4" userdata="u1" bkcolor="#FF010203" )"
                              R"(bkimage="bk.png" visible="false" enabled="false" customthing="x y")");
    EXPECT_EQ(button.GetName(), "btnOk");
    EXPECT_EQ(button.GetText(), "OK");
    EXPECT_EQ(button.GetToolTip(), "tip");
    EXPECT_EQ(button.GetFixedWidth(), 80);
    EXPECT_EQ(button.GetFixedHeight(), 30);
    EXPECT_EQ(button.GetMinWidth(), 10);
    EXPECT_EQ(button.GetMinHeight(), 5);
    EXPECT_EQ(button.GetPadding(), (RECT{1, 2, 3, 4}));
    EXPECT_EQ(button.GetUserData(), "u1");
    EXPECT_EQ(button.GetBkColor(), 0xFF010203u);
    EXPECT_EQ(button.GetBkImage(), "bk.png");
    EXPECT_FALSE(button.IsVisible());
    EXPECT_FALSE(button.IsEnabled());
    EXPECT_EQ(button.GetAttribute("customthing"), "x y");
    EXPECT_EQ(button.GetAttribute("width"), "80");
    EXPECT_TRUE(button.HasAttribute("customthing"));
    EXPECT_FALSE(button.HasAttribute("missing"));
    EXPECT_EQ(button.GetAttribute("missing"), "");
}

TEST(ControlAttributes, ValuesThatDoNotParseLeaveTheStateButAreKeptAsWritten) {
    CControlUI control;
    control.SetAttribute("width", "50");
    control.SetAttribute("width", "wide");
    control.SetAttribute("padding", "1,2");
    control.SetAttribute("bkcolor", "red");
    control.SetAttribute("visible", "maybe");
    control.SetAttribute("height", "-3");
    EXPECT_EQ(control.GetFixedWidth(), 50);
    EXPECT_EQ(control.GetPadding(), RECT{});
    EXPECT_EQ(control.GetBkColor(), 0u);
    EXPECT_TRUE(control.IsVisible());
    EXPECT_EQ(control.GetFixedHeight(), 0);
    EXPECT_EQ(control.GetAttribute("width"), "wide");
}

TEST(ControlAttributes, VisibilityNeedsEveryParentVisible) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* inner = new CHorizontalLayoutUI;
    auto* leaf = new CControlUI;
    root->Add(inner);
    inner->Add(leaf);
    manager.AttachDialog(root);
    inner->SetVisible(false);
    EXPECT_TRUE(leaf->IsOwnVisible());
    EXPECT_FALSE(leaf->IsVisible());
    EXPECT_FALSE(leaf->Activate());
    inner->SetVisible(true);
    EXPECT_TRUE(leaf->IsVisible());
    EXPECT_TRUE(leaf->Activate());
}

TEST(NameIndex, RenamingAndRemovalKeepLookupsRight) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* a = new CButtonUI;
    a->SetName("first");
    root->Add(a);
    manager.AttachDialog(root);
    EXPECT_EQ(manager.FindControl("first"), a);
    a->SetName("renamed");
    EXPECT_EQ(manager.FindControl("first"), nullptr);
    EXPECT_EQ(manager.FindControl("renamed"), a);
    // A control added after the tree was attached is found too.
    auto* b = new CButtonUI;
    b->SetName("late");
    root->Add(b);
    EXPECT_EQ(manager.FindControl("late"), b);
    EXPECT_EQ(manager.FindSubControlByName(root, "late"), b);
    root->Remove(b);
    EXPECT_EQ(manager.FindControl("late"), nullptr);
    EXPECT_EQ(manager.FindControl(""), nullptr);
    EXPECT_EQ(manager.FindSubControlByName(nullptr, "renamed"), nullptr);
}

TEST(NameIndex, DuplicateNamesResolveToTheFirstInTreeOrder) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* box = new CHorizontalLayoutUI;
    auto* deep = new CControlUI;
    auto* shallow = new CControlUI;
    root->Add(box);
    box->Add(deep);
    root->Add(shallow);
    manager.AttachDialog(root);
    shallow->SetName("dup");  // named first, but later in the tree
    deep->SetName("dup");
    EXPECT_EQ(manager.FindControl("dup"), deep);
    box->Remove(deep);
    EXPECT_EQ(manager.FindControl("dup"), shallow);
}

TEST(NameIndex, DestroyingTheFocusedControlClearsTheFocus) {
    CPaintManagerUI manager;
    auto* root = new CVerticalLayoutUI;
    auto* button = new CButtonUI;
    root->Add(button);
    manager.AttachDialog(root);
    button->SetFocus();
    EXPECT_TRUE(button->IsFocused());
    root->Remove(button);
    EXPECT_EQ(manager.GetFocus(), nullptr);
}

TEST(NameIndex, ReattachingATreeIndexesItAfresh) {
    CPaintManagerUI manager;
    auto* first = new CVerticalLayoutUI;
    auto* child = new CButtonUI;
    child->SetName("kept");
    first->Add(child);
    manager.AttachDialog(first);
    // A control owned elsewhere cannot be added a second time.
    auto* other = new CVerticalLayoutUI;
    EXPECT_FALSE(other->Add(child));
    EXPECT_EQ(child->GetParent(), first);
    EXPECT_TRUE(manager.AttachDialog(other));  // the first tree is gone
    EXPECT_EQ(manager.FindControl("kept"), nullptr);
    auto* again = new CButtonUI;
    again->SetName("kept");
    other->Add(again);
    EXPECT_TRUE(manager.AttachDialog(other));
    EXPECT_EQ(manager.FindControl("kept"), again);
}
