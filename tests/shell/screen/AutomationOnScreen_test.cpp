// The automation channel against the window on a display with the real
// engine: the windows where the display has them, and a page element where
// the screen shows it.

#include "shell/screen/MainWindowScreenFixture.h"
#include "support/AutomationClient.h"
#include "web/AutomationChannel.h"

#include <string>

namespace {

using screentest::CountColour;
using vtest::Compact;

RECT ToRect(const Json::Value& value) {
    return RECT{value[0].asInt(), value[1].asInt(), value[2].asInt(), value[3].asInt()};
}

using AutomationOnScreenTest = screentest::MainWindowScreenTest;

TEST_F(AutomationOnScreenTest, FindsThePageHeaderWhereTheScreenShowsIt) {
    const HWND window = OpenMainWindow();
    ASSERT_NE(window, nullptr) << "no main window, or the engine could not be used";
    RECT view{};
    ASSERT_TRUE(WaitForFirstPage(window, store.BaseUrl("client") + "/ppt.html", view));
    const std::string path = sandbox.RuntimeDir() + "/automation.sock";
    const auto channel = AutomationChannel::Start(path, {});
    ASSERT_NE(channel, nullptr);
    vtest::AutomationClient client(path);

    const Json::Value windows = client.Ask(R"({"op":"windows"})");
    ASSERT_EQ(windows["windows"].size(), 1u) << Compact(windows);
    const std::optional<RECT> shown =
        ui.Call<std::optional<RECT>>([&] { return Gtk()->DisplayedRect(window); }).value_or(std::nullopt);
    ASSERT_TRUE(shown);
    EXPECT_EQ(ToRect(windows["windows"][0]["rect"]), *shown);

    const std::string ask = R"({"op":"element","window":"VANTOWindowClass","view":"web_opt01","selector":)";
    const Json::Value header = client.Ask(ask + R"("header"})");
    ASSERT_TRUE(header["rect"].isArray()) << Compact(header);
    const RECT at = ToRect(header["rect"]);
    const RECT viewOnScreen{shown->left + view.left, shown->top + view.top, shown->left + view.right,
                            shown->top + view.bottom};
    EXPECT_EQ(at.left, viewOnScreen.left);
    EXPECT_EQ(at.top, viewOnScreen.top);
    ASSERT_GT(at.bottom - at.top, 10);
    // The header's colour fills the rectangle the channel names (its white
    // text aside).
    std::optional<DuiLib::GtkProbes::Image> shot;
    ui.Run([&] { shot = Gtk()->GrabScreen(at); });
    ASSERT_TRUE(shot);
    EXPECT_GT(CountColour(*shot, RECT{0, 0, shot->width, shot->height}, screentest::kPageHeaderColour, 4),
              shot->width * shot->height * 3 / 4);

    EXPECT_EQ(Compact(client.Ask(ask + R"("#no-such-element"})")), R"({"ok":true,"rect":null})");
    const Json::Value invalid = client.Ask(ask + R"("a[["})");
    EXPECT_FALSE(invalid["ok"].asBool()) << Compact(invalid);
}

}  // namespace
