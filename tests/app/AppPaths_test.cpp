#include "app/AppPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "account/UserSession.h"
#include "diag/RunLog.h"
#include "platform/os/Registry.h"
#include "support/Sandbox.h"

namespace {

TEST(AppPaths, BuiltOnceFromAnyThreadCreatingTheDataFolderAndRestoringTheLogin) {
    // Each test runs in its own process, so this is the first use of the
    // process-wide paths.
    vtest::Sandbox sandbox;
    // A fresh home without ~/.config: the data folder needs its parents.
    const std::string configHome = sandbox.Home() + "/fresh/.config";
    sandbox.SetEnv("XDG_CONFIG_HOME", configHome);
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "Account", "saved-token"));
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, "Software\\vanto", "NickName", "138"));
    CRunLog::Instance().SetPath(sandbox.Root() + "/log.txt");
    CRunLog::Instance().Open();

    std::vector<const CAppPaths*> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = &CAppPaths::Instance(); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (const CAppPaths* p : seen) {
        EXPECT_EQ(p, seen[0]);
    }
    const CAppPaths& paths = *seen[0];
    EXPECT_EQ(paths.ProgramFolder(), sandbox.ProgramDir());
    EXPECT_EQ(paths.UserDataFolder(), configHome + "/vanto");
    EXPECT_EQ(paths.HeadPicturePath(), configHome + "/vanto/pic_head.jpg");
    EXPECT_TRUE(std::filesystem::is_directory(configHome + "/vanto"));

    // The saved login was restored exactly once.
    EXPECT_EQ(UserSession::Instance().SessionToken(), "saved-token");
    EXPECT_EQ(UserSession::Instance().Snapshot().nickName, "138");
    EXPECT_EQ(vtest::ReadFile(sandbox.Root() + "/log.txt"),
              "log start" + RunLogMarker("node1") + "saved-token");
}

TEST(AppPaths, UncreatableDataFolderIsNotAnError) {
    vtest::Sandbox sandbox;
    vtest::WriteFile(sandbox.Root() + "/file", "x");
    sandbox.SetEnv("XDG_CONFIG_HOME", sandbox.Root() + "/file/.config");  // below a plain file
    CAppPaths paths;
    EXPECT_EQ(paths.UserDataFolder(), sandbox.Root() + "/file/.config/vanto");
    EXPECT_FALSE(UserSession::Instance().IsLoggedIn());
}

}  // namespace
