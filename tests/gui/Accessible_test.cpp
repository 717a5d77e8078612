// The windows' controls as a screen reader's toolkit bridge sees them (ATK,
// read in process): the tree beside the native views, roles, names and
// states; the click action taking the mouse click's path; text typed
// through the accessible interface meeting the edit's limits; changes
// announced; and objects whose control or window is gone answering DEFUNCT.
#include "GuiFixture.h"

#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIProgress.h"

#include <atk/atk.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace DuiLib;
using guitest::GuiTest;

namespace {

constexpr const char* kLayout = R"(<Window size="320,220">
  <VerticalLayout name="root" bkcolor="#FFFFFFFF">
    <Button name="btnIcon" tooltip="关闭" height="30"/>
    <Option name="tabA" group="g" text="A" height="20" selected="true"/>
    <Option name="tabB" group="g" text="B" height="20"/>
    <Edit name="mobile" maxchar="11" numberonly="true" tipvalue="输入手机号码" height="24"/>
    <Edit name="fixed" readonly="true" text="12" height="24"/>
    <Progress name="bar" min="0" max="100" value="10" height="6"/>
    <HorizontalLayout name="box" height="24"><Label name="lbl" text="x"/></HorizontalLayout>
  </VerticalLayout>
</Window>)";

// The accessible whose "id" is `name` under `object`, depth first; null
// when none (the reference belongs to the tree).
AtkObject* FindById(AtkObject* object, const std::string& name) {
    AtkAttributeSet* attributes = atk_object_get_attributes(object);
    bool match = false;
    for (GSList* it = attributes; it != nullptr; it = it->next) {
        auto* attribute = static_cast<AtkAttribute*>(it->data);
        match = match || (std::string(attribute->name) == "id" && name == attribute->value);
    }
    atk_attribute_set_free(attributes);
    if (match)
        return object;
    for (int i = 0; i < atk_object_get_n_accessible_children(object); ++i) {
        AtkObject* child = atk_object_ref_accessible_child(object, i);
        if (child == nullptr)
            continue;
        AtkObject* found = FindById(child, name);
        g_object_unref(child);
        if (found != nullptr)
            return found;
    }
    return nullptr;
}

bool HasState(AtkObject* object, AtkStateType state) {
    AtkStateSet* set = atk_object_ref_state_set(object);
    const bool has = atk_state_set_contains_state(set, state) != FALSE;
    g_object_unref(set);
    return has;
}

std::string TextOf(AtkObject* object) {
    gchar* text = atk_text_get_text(ATK_TEXT(object), 0, -1);
    std::string result = text != nullptr ? text : "";
    g_free(text);
    return result;
}

// What an object announced: "signal:detail" entries.
struct Announcements {
    std::vector<std::string> seen;
    static void StateCb(AtkObject*, const gchar* name, gboolean on, gpointer self) {
        static_cast<Announcements*>(self)->seen.push_back(std::string("state:") + name + (on ? "+" : "-"));
    }
    static void TextCb(AtkObject*, gint, gint, const gchar* text, gpointer self) {
        static_cast<Announcements*>(self)->seen.push_back(std::string("text:") + text);
    }
    static void ValueCb(AtkObject*, gdouble value, const gchar*, gpointer self) {
        static_cast<Announcements*>(self)->seen.push_back("value:" + std::to_string(static_cast<int>(value)));
    }
    void Listen(AtkObject* object) {
        g_signal_connect(object, "state-change", G_CALLBACK(StateCb), this);
        if (ATK_IS_TEXT(object))
            g_signal_connect(object, "text-insert", G_CALLBACK(TextCb), this);
        if (ATK_IS_VALUE(object))
            g_signal_connect(object, "value-changed", G_CALLBACK(ValueCb), this);
    }
    bool Has(const std::string& entry) const {
        return std::find(seen.begin(), seen.end(), entry) != seen.end();
    }
};

class AccessibleTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        if (IsSkipped())
            return;
        window = Open(kLayout);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(automation.RunUntilIdle());
        ui.Run([&] { top = gtk_widget_get_accessible(GTK_WIDGET(Gtk()->NativeWindow(window->GetHWND()))); });
        ASSERT_NE(top, nullptr);
    }
    // Runs `fn` on the UI thread with the accessible of control `name`.
    void With(const std::string& name, const std::function<void(AtkObject*)>& fn) {
        ui.Run([&] {
            AtkObject* object = FindById(top, name);
            ASSERT_NE(object, nullptr) << name;
            fn(object);
        });
    }

    guitest::LayoutWindow* window = nullptr;
    AtkObject* top = nullptr;
};

TEST_F(AccessibleTest, TheTreeShowsEachControlWithItsRoleNameAndStates) {
    ui.Run([&] {
        EXPECT_EQ(atk_object_get_role(top), ATK_ROLE_FRAME) << "a window without an owner";
        // The window's container lists the controls' canvas (and any native
        // view beside it).
        AtkObject* fixed = atk_object_ref_accessible_child(top, 0);
        ASSERT_NE(fixed, nullptr);
        AtkObject* canvas = atk_object_ref_accessible_child(fixed, 0);
        ASSERT_NE(canvas, nullptr);
        EXPECT_EQ(atk_object_get_role(canvas), ATK_ROLE_PANEL);
        EXPECT_EQ(atk_object_get_n_accessible_children(canvas), 1) << "the root control";
        g_object_unref(canvas);
        g_object_unref(fixed);
    });
    guitest::LayoutWindow* alert = Open(R"(<Window size="200,100" accessiblerole="alert"><Label/></Window>)");
    ASSERT_NE(alert, nullptr);
    ui.Run([&] {
        auto* native = static_cast<GtkWidget*>(Gtk()->NativeWindow(alert->GetHWND()));
        EXPECT_EQ(atk_object_get_role(gtk_widget_get_accessible(native)), ATK_ROLE_ALERT)
            << "the layout made it an alert when it was shown";
    });
    With("btnIcon", [](AtkObject* o) {
        EXPECT_EQ(atk_object_get_role(o), ATK_ROLE_PUSH_BUTTON);
        EXPECT_STREQ(atk_object_get_name(o), "关闭") << "named from its tooltip";
        EXPECT_TRUE(HasState(o, ATK_STATE_SHOWING));
        EXPECT_TRUE(HasState(o, ATK_STATE_FOCUSABLE));
    });
    With("tabA", [](AtkObject* o) {
        EXPECT_EQ(atk_object_get_role(o), ATK_ROLE_PAGE_TAB);
        EXPECT_TRUE(HasState(o, ATK_STATE_SELECTED));
    });
    With("mobile", [](AtkObject* o) {
        EXPECT_EQ(atk_object_get_role(o), ATK_ROLE_ENTRY);
        EXPECT_STREQ(atk_object_get_description(o), "输入手机号码");
        EXPECT_TRUE(HasState(o, ATK_STATE_EDITABLE));
    });
    With("fixed", [](AtkObject* o) {
        EXPECT_TRUE(HasState(o, ATK_STATE_READ_ONLY));
        EXPECT_FALSE(HasState(o, ATK_STATE_EDITABLE));
    });
    With("bar", [](AtkObject* o) {
        gdouble value = -1;
        atk_value_get_value_and_text(ATK_VALUE(o), &value, nullptr);
        EXPECT_EQ(value, 10);
        AtkRange* range = atk_value_get_range(ATK_VALUE(o));
        ASSERT_NE(range, nullptr);
        EXPECT_EQ(atk_range_get_upper_limit(range), 100);
        atk_range_free(range);
    });
}

TEST_F(AccessibleTest, TheClickActionTakesTheMouseClicksPath) {
    With("tabB", [](AtkObject* o) {
        ASSERT_EQ(atk_action_get_n_actions(ATK_ACTION(o)), 1);
        EXPECT_STREQ(atk_action_get_name(ATK_ACTION(o), 0), "click");
        EXPECT_TRUE(atk_action_do_action(ATK_ACTION(o), 0));
    });
    // The click comes after the reader's call returned, as the window's
    // own press and release.
    EXPECT_TRUE(vtest::WaitFor([&] { return automation.IsSelected(window->GetHWND(), "tabB") == true; },
                               std::chrono::seconds(5)));
    ui.Run([&] {
        EXPECT_NE(std::find(window->notes.begin(), window->notes.end(), "click:tabB"), window->notes.end());
    });
    // A control a user could not click has no click either.
    ui.Run([&] { Automation::FindControl(window->GetHWND(), "btnIcon")->SetEnabled(false); });
    With("btnIcon", [](AtkObject* o) { EXPECT_FALSE(atk_action_do_action(ATK_ACTION(o), 0)); });
}

TEST_F(AccessibleTest, TextTypedThroughTheAccessibleInterfaceMeetsTheEditsLimits) {
    With("mobile", [](AtkObject* o) {
        gint at = 0;
        atk_editable_text_insert_text(ATK_EDITABLE_TEXT(o), "13800138000123", -1, &at);
        EXPECT_EQ(TextOf(o), "13800138000") << "maxchar";
        EXPECT_EQ(at, 11);
        EXPECT_EQ(atk_text_get_caret_offset(ATK_TEXT(o)), 11);
        atk_editable_text_set_text_contents(ATK_EDITABLE_TEXT(o), "1a2b3");
        EXPECT_EQ(TextOf(o), "123") << "numberonly";
        atk_editable_text_delete_text(ATK_EDITABLE_TEXT(o), 0, 1);
        EXPECT_EQ(TextOf(o), "23");
        atk_editable_text_set_text_contents(ATK_EDITABLE_TEXT(o), "");
        EXPECT_EQ(TextOf(o), "");
    });
    With("fixed", [](AtkObject* o) {
        gint at = 0;
        atk_editable_text_insert_text(ATK_EDITABLE_TEXT(o), "9", -1, &at);
        EXPECT_EQ(TextOf(o), "12") << "read only";
    });
    ui.Run([&] {
        EXPECT_NE(std::find(window->notes.begin(), window->notes.end(), "textchanged:mobile"),
                  window->notes.end())
            << "the window heard the typing";
    });
}

TEST_F(AccessibleTest, ChangesAreAnnounced) {
    Announcements mobile, tabA, bar, lbl;
    With("mobile", [&](AtkObject* o) { mobile.Listen(o); });
    With("tabA", [&](AtkObject* o) { tabA.Listen(o); });
    With("bar", [&](AtkObject* o) { bar.Listen(o); });
    With("lbl", [&](AtkObject* o) { lbl.Listen(o); });
    const HWND hwnd = window->GetHWND();
    ui.Run([&] {
        Automation::FindControl(hwnd, "mobile")->SetFocus();
        Automation::FindControl(hwnd, "mobile")->SetText("139");
        ControlCast<COptionUI>(Automation::FindControl(hwnd, "tabB"))->Selected(true);
        ControlCast<CProgressUI>(Automation::FindControl(hwnd, "bar"))->SetValue(100);
        Automation::FindControl(hwnd, "lbl")->SetVisible(false);
    });
    ui.Run([&] {
        EXPECT_TRUE(mobile.Has("state:focused+"));
        EXPECT_TRUE(mobile.Has("text:139"));
        EXPECT_TRUE(tabA.Has("state:selected-")) << "the group deselected it";
        EXPECT_TRUE(bar.Has("value:100")) << "a download completing";
        EXPECT_TRUE(lbl.Has("state:showing-"));
        g_signal_handlers_disconnect_matched(FindById(top, "mobile"), G_SIGNAL_MATCH_DATA, 0, 0, nullptr,
                                             nullptr, &mobile);
        for (auto [name, listener] : {std::pair{"tabA", &tabA}, {"bar", &bar}, {"lbl", &lbl}})
            g_signal_handlers_disconnect_matched(FindById(top, name), G_SIGNAL_MATCH_DATA, 0, 0, nullptr,
                                                 nullptr, listener);
    });
}

TEST_F(AccessibleTest, ObjectsOfControlsOrWindowsThatWentAnswerDefunct) {
    AtkObject* label = nullptr;
    AtkObject* button = nullptr;
    With("lbl", [&](AtkObject* o) { label = ATK_OBJECT(g_object_ref(o)); });
    With("btnIcon", [&](AtkObject* o) { button = ATK_OBJECT(g_object_ref(o)); });
    ui.Run([&] {
        auto* root = ControlCast<CContainerUI>(Automation::FindControl(window->GetHWND(), "root"));
        root->Remove(Automation::FindControl(window->GetHWND(), "box"));
        // The label is freed: its object never reaches it again.
        EXPECT_TRUE(HasState(label, ATK_STATE_DEFUNCT));
        EXPECT_EQ(atk_object_get_n_accessible_children(label), 0);
        EXPECT_STREQ(atk_object_get_name(label), "x") << "the last name it had";
        EXPECT_EQ(atk_object_get_parent(label), nullptr);
        EXPECT_FALSE(HasState(button, ATK_STATE_DEFUNCT));
        windows.clear();  // the window goes
        EXPECT_TRUE(HasState(button, ATK_STATE_DEFUNCT));
        EXPECT_FALSE(atk_action_do_action(ATK_ACTION(button), 0));
        gint x = -1, y = -1, w = -1, h = -1;
        atk_component_get_extents(ATK_COMPONENT(button), &x, &y, &w, &h, ATK_XY_SCREEN);
        EXPECT_EQ(w, 0);
        g_object_unref(label);
        g_object_unref(button);
    });
}

}  // namespace
