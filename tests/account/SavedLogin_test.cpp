#include "account/SavedLogin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "account/UserSession.h"
#include "config/Settings.h"
#include "diag/RunLog.h"
#include "support/Sandbox.h"

namespace {

using settings::kAccount;
using settings::kClientKey;
using settings::kLoginType;
using settings::kNickName;

class SavedLoginTest : public vtest::SandboxTest {
  protected:
    UserSession session;
};

TEST_F(SavedLoginTest, SaveThenLoadRestoresTheLogin) {
    SaveLogin(session, "jwt-abc", "13800138000", LOGIN_CODE);
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, kClientKey, kAccount, 8192), "jwt-abc");
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, kClientKey, kNickName), "13800138000");
    EXPECT_EQ(os::RegGetDword(HKEY_CURRENT_USER, kClientKey, kLoginType), 1u);

    UserSession restarted;
    LoadSavedLogin(restarted);
    const UserSessionValues v = restarted.Snapshot();
    EXPECT_TRUE(restarted.IsLoggedIn());
    EXPECT_EQ(v.sessionToken, "jwt-abc");
    EXPECT_EQ(v.nickName, "13800138000");
    EXPECT_EQ(v.loginType, LOGIN_CODE);
}

TEST_F(SavedLoginTest, MissingTextsKeepTheSessionsCurrentOnes) {
    SaveLogin(session, "openid-1", "微信昵称", LOGIN_WECHAT);
    SaveLogin(session, std::nullopt, std::nullopt, LOGIN_QQ);
    const UserSessionValues v = session.Snapshot();
    EXPECT_EQ(v.sessionToken, "openid-1");
    EXPECT_EQ(v.nickName, "微信昵称");
    EXPECT_EQ(v.loginType, LOGIN_QQ);
    EXPECT_EQ(os::RegGetString(HKEY_CURRENT_USER, kClientKey, kNickName), "微信昵称");
    EXPECT_EQ(os::RegGetDword(HKEY_CURRENT_USER, kClientKey, kLoginType), 2u);
}

TEST_F(SavedLoginTest, AnotherLoginStartsWithoutThePreviousUsersInformation) {
    const auto fetched = [](UserSessionValues& v) {
        v.userId = "10001";
        v.inviteCode = "VT8K2M";
        v.startTime = "2026-01-01";
        v.stopTime = "2027-12-31";
        v.isMember = true;
    };
    SaveLogin(session, "jwt-member", "13800138000", LOGIN_CODE);
    session.Update(fetched);
    // The same login stored again (or only its kind) keeps what was fetched.
    SaveLogin(session, "jwt-member", "13800138000", LOGIN_CODE);
    SaveLogin(session, std::nullopt, std::nullopt, LOGIN_CODE);
    EXPECT_EQ(session.Snapshot().userId, "10001");
    EXPECT_TRUE(session.Snapshot().isMember);
    // Another user's login without a logout in between: nothing of the
    // member stays until this user's own fetch.
    SaveLogin(session, "openid-qq", "QQ昵称", LOGIN_QQ);
    const UserSessionValues v = session.Snapshot();
    EXPECT_EQ(v.sessionToken, "openid-qq");
    EXPECT_EQ(v.userId, "");
    EXPECT_EQ(v.inviteCode, "");
    EXPECT_EQ(v.startTime, "");
    EXPECT_EQ(v.stopTime, "");
    EXPECT_FALSE(v.isMember);
}

TEST_F(SavedLoginTest, LongTokensUpTo4095CharactersSurviveARestart) {
    const std::string token(4095, 't');  // 8190 bytes fit the token's 8192-byte buffer
    SaveLogin(session, token, "n", LOGIN_QQ);
    UserSession restarted;
    LoadSavedLogin(restarted);
    EXPECT_EQ(restarted.SessionToken(), token);
}

TEST_F(SavedLoginTest, WithoutATokenNobodyIsLoggedInWhateverElseIsStored) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, kNickName, "left over"));
    ASSERT_TRUE(os::RegSetDword(HKEY_CURRENT_USER, kClientKey, kLoginType, 3));
    LoadSavedLogin(session);
    const UserSessionValues v = session.Snapshot();
    EXPECT_FALSE(session.IsLoggedIn());
    EXPECT_EQ(v.nickName, "");
    // The kind is read straight in, as stored.
    EXPECT_EQ(v.loginType, 3);
}

TEST_F(SavedLoginTest, LogoutForgetsEverythingAndARestartShowsNoLogin) {
    SaveLogin(session, "jwt-abc", "13800138000", LOGIN_CODE);
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, "Version", "1.0.0.1"));
    session.Update([](UserSessionValues& v) {
        v.userId = "1001";
        v.inviteCode = "INV";
        v.startTime = "2026-01-01";
        v.stopTime = "2027-01-01";
        v.isMember = true;
    });
    ForgetLogin(session);
    const UserSessionValues v = session.Snapshot();
    EXPECT_FALSE(session.IsLoggedIn());
    EXPECT_EQ(v.nickName, "");
    EXPECT_EQ(v.userId, "");
    EXPECT_EQ(v.inviteCode, "");
    EXPECT_EQ(v.startTime, "");
    EXPECT_EQ(v.stopTime, "");
    EXPECT_FALSE(v.isMember);
    EXPECT_EQ(v.loginType, LOGIN_NONE);
    for (auto name : {kAccount, kNickName, kLoginType}) {
        EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, kClientKey, name)) << name;
    }
    // Other values of the key stay.
    EXPECT_TRUE(os::RegValueExists(HKEY_CURRENT_USER, kClientKey, "Version"));

    UserSession restarted;
    LoadSavedLogin(restarted);
    EXPECT_FALSE(restarted.IsLoggedIn());
}

TEST_F(SavedLoginTest, LoadWritesTheStartupLinesToAnOpenRunLog) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, kClientKey, kAccount, "tok-1"));
    CRunLog& log = CRunLog::Instance();
    log.SetPath(sandbox.Root() + "/log.txt");
    log.Open();
    LoadSavedLogin(session);
    EXPECT_EQ(vtest::ReadFile(sandbox.Root() + "/log.txt"), "log start" + RunLogMarker("node1") + "tok-1");
}

TEST_F(SavedLoginTest, LoginTypeOfOtherSizesIsHandledLikeAFourByteRead) {
    const std::u16string key = u"Software\\vanto";
    // Longer than 4 bytes: the read fails and the kind stays 0.
    const unsigned char eight[8] = {2, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, key.c_str(), u"LoginType", REG_BINARY, eight, 8), ERROR_SUCCESS);
    LoadSavedLogin(session);
    EXPECT_EQ(session.Snapshot().loginType, 0);
    // Shorter: only the low bytes come from the value.
    const unsigned char one[1] = {3};
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, key.c_str(), u"LoginType", REG_BINARY, one, 1), ERROR_SUCCESS);
    LoadSavedLogin(session);
    EXPECT_EQ(session.Snapshot().loginType, 3);
}

TEST(UserSession, WorkerWritesAndUiReadsNeverSeeAHalfUpdatedSet) {
    UserSession session;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int i = 0; i < 2000; ++i) {
            const std::string n = std::to_string(i);
            session.Update([&](UserSessionValues& v) {
                v.userId = n;
                v.inviteCode = n;
                v.startTime = n;
                v.stopTime = n;
                v.isMember = true;
            });
        }
        stop = true;
    });
    std::size_t reads = 0;
    while (!stop || reads == 0) {
        const UserSessionValues v = session.Snapshot();
        EXPECT_EQ(v.userId, v.inviteCode);
        EXPECT_EQ(v.userId, v.stopTime);
        EXPECT_EQ(v.isMember, !v.userId.empty());
        ++reads;
    }
    worker.join();
    EXPECT_EQ(session.Snapshot().userId, "1999");
}

}  // namespace
