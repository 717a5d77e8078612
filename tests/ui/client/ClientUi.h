#pragma once
// Shared set-up of the client window tests: a headless UI thread on a known
// screen, the automation, and the built-in skin put in force as the
// resource archive the way start-up does.

#include "platform/duilib/Automation.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/os/Resource.h"

#include <gtest/gtest.h>

namespace clienttest {

inline DuiLib::ScreenInfo TestScreen() {
    DuiLib::ScreenInfo screen;
    screen.monitor = {0, 0, 1280, 800};
    screen.workArea = {0, 0, 1280, 760};
    return screen;
}

class ClientUiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const os::ResourceBytes skin = os::FindResourceBytes("DATA", 202);
        ASSERT_NE(skin.data, nullptr) << "the skin resource is linked into this test";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(skin.data, skin.size));
    }
    void TearDown() override { DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0); }

    DuiLib::UiThread ui{DuiLib::UiThread::Options{.screen = TestScreen()}};
    DuiLib::Automation automation;
};

}  // namespace clienttest
