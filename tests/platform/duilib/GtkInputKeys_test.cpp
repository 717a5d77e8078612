// The key table and the caption-drag threshold of the display's input (no
// display: key values are the toolkit's constants).
#include "platform/duilib/backend/gtk/GtkInput.h"

#include <gtest/gtest.h>

namespace {

using DuiLib::GtkInput;

TEST(GtkInputTest, ToolkitKeysBecomeTheWindowsVirtualKeysAndOthersNone) {
    const std::pair<guint, WPARAM> cases[] = {
        {GDK_KEY_a, 'A'},
        {GDK_KEY_Z, 'Z'},
        {GDK_KEY_0, '0'},
        {GDK_KEY_9, '9'},
        {GDK_KEY_KP_0, 0x60},
        {GDK_KEY_KP_9, 0x69},
        {GDK_KEY_F1, 0x70},
        {GDK_KEY_F12, 0x7B},
        {GDK_KEY_Return, VK_RETURN},
        {GDK_KEY_KP_Enter, VK_RETURN},
        {GDK_KEY_Escape, VK_ESCAPE},
        {GDK_KEY_ISO_Left_Tab, VK_TAB},
        {GDK_KEY_BackSpace, VK_BACK},
        {GDK_KEY_KP_Delete, VK_DELETE},
        {GDK_KEY_KP_Left, VK_LEFT},
        {GDK_KEY_Down, VK_DOWN},
        {GDK_KEY_KP_Home, VK_HOME},
        {GDK_KEY_End, VK_END},
        {GDK_KEY_space, VK_SPACE},
        {GDK_KEY_Shift_R, VK_SHIFT},
        {GDK_KEY_Control_L, VK_CONTROL},
        {GDK_KEY_Alt_R, VK_MENU},
        {GDK_KEY_F13, 0},
        {GDK_KEY_eacute, 0},
        {GDK_KEY_Page_Up, 0},
    };
    for (const auto& [keyval, vk] : cases)
        EXPECT_EQ(GtkInput::VirtualKey(keyval), vk) << "key value 0x" << std::hex << keyval;
}

TEST(GtkInputTest, ModifierStatesBecomeMouseKeyBits) {
    EXPECT_EQ(GtkInput::MouseKeys(0), 0u);
    EXPECT_EQ(GtkInput::MouseKeys(GDK_BUTTON1_MASK | GDK_SHIFT_MASK), MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(GtkInput::MouseKeys(GDK_BUTTON3_MASK | GDK_CONTROL_MASK), MK_RBUTTON | MK_CONTROL);
    EXPECT_EQ(GtkInput::MouseKeys(GDK_BUTTON2_MASK | GDK_MOD1_MASK), 0u);
}

TEST(GtkInputTest, ACaptionPressDragsOnceThePointerMovedFourPixelsEitherWay) {
    EXPECT_FALSE(GtkInput::BeyondDragThreshold(0, 0));
    EXPECT_FALSE(GtkInput::BeyondDragThreshold(3.9, -3.9));
    EXPECT_TRUE(GtkInput::BeyondDragThreshold(4, 0));
    EXPECT_TRUE(GtkInput::BeyondDragThreshold(0, -4));
    EXPECT_TRUE(GtkInput::BeyondDragThreshold(-12, 1));
}

}  // namespace
