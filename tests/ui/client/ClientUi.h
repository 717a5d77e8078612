#pragma once
// Shared set-up of the client window tests: a headless UI thread on a known
// screen, the automation, and the built-in skin put in force as the
// resource archive the way start-up does.

#include "platform/duilib/Automation.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UiThread.h"
#include "platform/os/Resource.h"
#include "support/Sandbox.h"
#include "ui/TestScreen.h"

#include <sys/stat.h>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace clienttest {

using uitest::TestScreen;

class ClientUiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const os::ResourceBytes skin = os::FindResourceBytes("DATA", 202);
        ASSERT_NE(skin.data, nullptr) << "the skin resource is linked into this test";
        ASSERT_TRUE(DuiLib::CPaintManagerUI::SetResourceZip(skin.data, skin.size));
    }
    void TearDown() override { DuiLib::CPaintManagerUI::SetResourceZip(nullptr, 0); }

    // A sandboxed PATH holding only fake programs that record their
    // arguments, one "arg:" line each, into out/<name> (renamed into place,
    // so a file that exists is complete).
    std::string FakeBin() {
        const std::string bin = sandbox.Root() + "/fakebin";
        std::filesystem::create_directories(bin);
        std::filesystem::create_directories(sandbox.Root() + "/out");
        sandbox.SetEnv("PATH", bin);
        return bin;
    }
    void Fake(const std::string& name) {
        const std::string path = FakeBin() + "/" + name;
        vtest::WriteFile(path, "#!/bin/sh\nf=" + sandbox.Root() + "/out/" + name +
                                   "\nfor a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done > \"$f.tmp\"\n"
                                   "/bin/mv \"$f.tmp\" \"$f\"\n");
        ::chmod(path.c_str(), 0755);
    }
    // What the fake `name` recorded, waiting for it; empty on the deadline.
    std::string Recorded(const std::string& name) {
        const std::string path = sandbox.Root() + "/out/" + name;
        if (!vtest::WaitFor([&] { return vtest::Exists(path); }))
            return {};
        return vtest::ReadFile(path);
    }

    vtest::Sandbox sandbox;
    DuiLib::UiThread ui{DuiLib::UiThread::Options{.screen = TestScreen()}};
    DuiLib::Automation automation;
};

}  // namespace clienttest
