// The back end chosen at start: the environment's display decides unless
// VANTO_BACKEND says otherwise, and a display that does not open leaves the
// windows headless instead of failing the start.
#include "platform/duilib/backend/BackendChoice.h"

#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <typeinfo>

namespace {

using DuiLib::BackendKind;
using DuiLib::RequestedBackendKind;

class BackendChoiceTest : public vtest::SandboxTest {
  protected:
    void Environment(const char* backend, const char* display, const char* wayland) {
        auto value = [](const char* text) {
            return text != nullptr ? std::optional<std::string>(text) : std::nullopt;
        };
        sandbox.SetEnv("VANTO_BACKEND", value(backend));
        sandbox.SetEnv("DISPLAY", value(display));
        sandbox.SetEnv("WAYLAND_DISPLAY", value(wayland));
    }
};

TEST_F(BackendChoiceTest, ADisplayOfEitherKindAsksForGtkAndNoneOrAnEmptyOneForHeadless) {
    Environment(nullptr, ":7", nullptr);
    EXPECT_EQ(RequestedBackendKind(), BackendKind::Gtk);
    Environment(nullptr, nullptr, "wayland-0");
    EXPECT_EQ(RequestedBackendKind(), BackendKind::Gtk);
    Environment(nullptr, nullptr, nullptr);
    EXPECT_EQ(RequestedBackendKind(), BackendKind::Headless);
    Environment(nullptr, "", "");
    EXPECT_EQ(RequestedBackendKind(), BackendKind::Headless);
    // The test harness never guesses: a developer's desktop keeps tests headless.
    Environment(nullptr, ":7", "wayland-0");
    EXPECT_EQ(RequestedBackendKind(/*guessFromDisplay=*/false), BackendKind::Headless);
}

TEST_F(BackendChoiceTest, VantoBackendOverridesTheGuessAndAnUnknownValueIsIgnored) {
    Environment("headless", ":7", "wayland-0");
    EXPECT_EQ(RequestedBackendKind(), BackendKind::Headless);
    Environment("gtk", nullptr, nullptr);
    EXPECT_EQ(RequestedBackendKind(), BackendKind::Gtk);
    EXPECT_EQ(RequestedBackendKind(/*guessFromDisplay=*/false), BackendKind::Gtk);
    Environment("qt", nullptr, nullptr);
    EXPECT_EQ(RequestedBackendKind(), BackendKind::Headless);
    Environment("GTK ", ":7", nullptr);
    EXPECT_EQ(RequestedBackendKind(/*guessFromDisplay=*/false), BackendKind::Headless);
}

TEST_F(BackendChoiceTest, AskingForGtkWithoutADisplayThatOpensGivesTheHeadlessBackEnd) {
    // A display number no server listens on.
    Environment("gtk", ":65000", nullptr);
    const auto backend = DuiLib::MakeBackend(DuiLib::HeadlessBackend::Options{});
    ASSERT_NE(backend, nullptr);
    EXPECT_EQ(typeid(*backend), typeid(DuiLib::HeadlessBackend));
}

}  // namespace
