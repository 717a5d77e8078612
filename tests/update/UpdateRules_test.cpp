// The self-update's rules on their own: the pending installer, starting the
// installer. (The version file's rules are the config tests'.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "config/Settings.h"
#include "platform/os/Paths.h"
#include "platform/os/Profile.h"
#include "support/Sandbox.h"
#include "update/update.h"

namespace {

using namespace std::chrono_literals;

class PendingInstallerTest : public vtest::SandboxTest {
  protected:
    void SetUp() override { ASSERT_TRUE(os::CreateFolderWithParents(sandbox.UserDataFolder())); }
    std::string Config() const { return sandbox.UserDataFolder() + "/config.ini"; }
    std::string Installer() const { return sandbox.UserDataFolder() + "/VANTOSetup.exe"; }
};

TEST_F(PendingInstallerTest, NeedsBothTheMarkAndTheFile) {
    EXPECT_EQ(InstallerPath(), Installer());
    EXPECT_FALSE(CUpdate::IsInstallerPending());
    vtest::WriteFile(Config(), "[General]\r\nCanUpdate=0\r\n");
    CUpdate::MarkInstallerPending();
    // Marked, but the installer is not there.
    EXPECT_FALSE(CUpdate::IsInstallerPending());
    vtest::WriteFile(Installer(), "#!/bin/sh\n");
    EXPECT_TRUE(CUpdate::IsInstallerPending());
    // The mark is the text "1" in [Main]; the rest of the file stays.
    EXPECT_EQ(os::ReadProfileString("Main", "HasNewInstaller", "", Config()), "1");
    EXPECT_EQ(os::ReadProfileInt("General", "CanUpdate", 1, Config()), 0);
    ASSERT_TRUE(os::WriteProfileString("Main", "HasNewInstaller", "0", Config()));
    EXPECT_FALSE(CUpdate::IsInstallerPending());
    ASSERT_TRUE(os::WriteProfileString("Main", "HasNewInstaller", "2", Config()));
    EXPECT_TRUE(CUpdate::IsInstallerPending());
    std::filesystem::remove(Installer());
    EXPECT_FALSE(CUpdate::IsInstallerPending());
}

TEST_F(PendingInstallerTest, TheInstallerIsMadeExecutableForItsOwnerAndStartedDetached) {
    const std::string ran = sandbox.Root() + "/ran";
    vtest::WriteFile(Installer(),
                     "#!/bin/sh\necho \"$#:$PPID\" > " + ran + ".tmp && mv " + ran + ".tmp " + ran + "\n");
    ASSERT_EQ(::chmod(Installer().c_str(), 0644), 0);
    ASSERT_TRUE(StartInstaller(Installer()));
    struct stat info {};
    ASSERT_EQ(::stat(Installer().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    ASSERT_TRUE(vtest::WaitFor([&] { return vtest::Exists(ran); }, 20s));
    // No arguments, and not our child.
    const std::string record = vtest::ReadFile(ran);
    EXPECT_EQ(record.substr(0, 2), "0:");
    EXPECT_NE(record.substr(2), std::to_string(::getpid()) + "\n");
}

TEST_F(PendingInstallerTest, ALinkAFolderOrNothingAtTheInstallersPlaceIsNeverStarted) {
    EXPECT_FALSE(StartInstaller(Installer()));
    // A link planted at the installer's place: neither followed nor run.
    const std::string elsewhere = sandbox.Root() + "/elsewhere.sh";
    vtest::WriteFile(elsewhere, "#!/bin/sh\ntouch " + sandbox.Root() + "/ran\n");
    ASSERT_EQ(::chmod(elsewhere.c_str(), 0600), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), Installer().c_str()), 0);
    EXPECT_FALSE(StartInstaller(Installer()));
    struct stat info {};
    ASSERT_EQ(::stat(elsewhere.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    std::filesystem::remove(Installer());
    std::filesystem::create_directory(Installer());
    EXPECT_FALSE(StartInstaller(Installer()));
    EXPECT_FALSE(vtest::Exists(sandbox.Root() + "/ran"));
}

}  // namespace
