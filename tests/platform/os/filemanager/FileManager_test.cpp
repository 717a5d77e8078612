// Showing a downloaded file in the file manager: the file manager's
// ShowItems on the session bus, else its folder handed to the desktop's
// opener. The service is a stand-in of our own on a private bus.
#include "platform/os/Shell.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/os/notification/NotificationBus.h"
#include "support/Sandbox.h"

namespace {

using Calls = std::vector<std::vector<std::string>>;

class FileManagerTest : public vtest::SandboxTest {
  protected:
    void SetUp() override {
        m_bin = sandbox.Root() + "/bin";
        m_out = sandbox.Root() + "/out";
        std::filesystem::create_directories(m_bin);
        std::filesystem::create_directories(m_out);
        m_folder = sandbox.Root() + "/下载 文件";
        std::filesystem::create_directories(m_folder);
        m_file = m_folder + "/report 1.docx";
        vtest::WriteFile(m_file, "doc");
    }

    // Only the fake opener is on PATH (from now: the bus is started from the
    // real one).
    void OnlyFakesOnPath() { sandbox.SetEnv("PATH", m_bin); }
    // A fake xdg-open that writes its arguments to out/xdg-open.
    void FakeOpener() {
        const std::string path = m_bin + "/xdg-open";
        vtest::WriteFile(path,
                         "#!/bin/sh\nf=" + m_out +
                             "/xdg-open\nfor a in \"$@\"; do printf 'arg:%s\\n' \"$a\"; done > \"$f.tmp\"\n"
                             "/bin/mv \"$f.tmp\" \"$f\"\n");
        ::chmod(path.c_str(), 0755);
    }
    std::string Opened() const {
        const std::string path = m_out + "/xdg-open";
        return vtest::WaitFor([&] { return vtest::Exists(path); }) ? vtest::ReadFile(path) : std::string();
    }
    // The address the file manager is given for the file.
    std::string FileUri() const {
        std::string uri = "file://";
        for (char c : m_file) {
            const auto byte = static_cast<unsigned char>(c);
            if (std::isalnum(byte) != 0 || std::string_view("/-._~").find(c) != std::string_view::npos) {
                uri.push_back(c);
            } else {
                char escaped[4];
                std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
                uri += escaped;
            }
        }
        return uri;
    }

    std::string m_bin;
    std::string m_out;
    std::string m_folder;
    std::string m_file;
};

TEST_F(FileManagerTest, TheFileManagerShowsTheFileSelectedAndNoFolderIsOpened) {
    vtest::NotificationBus bus(sandbox);
    ASSERT_TRUE(bus.Started());
    OnlyFakesOnPath();
    FakeOpener();
    EXPECT_EQ(os::RevealInFileManager(m_file), os::RevealOutcome::kShownItem);
    ASSERT_TRUE(bus.WaitForCalls(1));
    // One item, and no start-up id (the empty last field).
    EXPECT_EQ(bus.Calls(), (Calls{{"ShowItems", FileUri()}}));
    EXPECT_FALSE(vtest::Exists(m_out + "/xdg-open"));
}

TEST_F(FileManagerTest, AFileManagerThatRefusesLeavesTheFolderToTheOpener) {
    vtest::NotificationBus bus(sandbox);
    ASSERT_TRUE(bus.Started());
    vtest::WriteFile(sandbox.Root() + "/notifications.txt.fail", "");
    OnlyFakesOnPath();
    FakeOpener();
    EXPECT_EQ(os::RevealInFileManager(m_file), os::RevealOutcome::kOpenedFolder);
    EXPECT_EQ(Opened(), "arg:" + m_folder + "\n");
    EXPECT_EQ(bus.Calls().size(), 1u);
}

TEST_F(FileManagerTest, WithoutABusTheFolderIsOpenedAndWithoutAnOpenerNothingIs) {
    sandbox.SetEnv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + sandbox.Root() + "/no-bus");
    OnlyFakesOnPath();
    EXPECT_EQ(os::RevealInFileManager(m_file), os::RevealOutcome::kNone);
    FakeOpener();
    EXPECT_EQ(os::RevealInFileManager(m_file), os::RevealOutcome::kOpenedFolder);
    EXPECT_EQ(Opened(), "arg:" + m_folder + "\n");
    std::filesystem::remove(m_out + "/xdg-open");
    // A relative path names nothing to show.
    EXPECT_EQ(os::RevealInFileManager("report 1.docx"), os::RevealOutcome::kNone);
    EXPECT_EQ(os::RevealInFileManager(""), os::RevealOutcome::kNone);
    EXPECT_FALSE(vtest::Exists(m_out + "/xdg-open"));
}

}  // namespace
