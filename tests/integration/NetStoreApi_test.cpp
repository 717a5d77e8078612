// The client's store calls against the demo store: the store checks the
// headers, query keys, common values and signature the client sends.

#include <gtest/gtest.h>

#include "config/OemConfig.h"
#include "config/Settings.h"
#include "net/CCurlRequest.h"
#include "net/CCurlRequestW.h"
#include "net/ServerApi.h"
#include "net/SessionToken.h"
#include "net/StoreApi.h"
#include "platform/os/Registry.h"
#include "support/DemoStore.h"

namespace {

constexpr char kPhone[] = "13612345678";

// The token the store calls carry, handed over by the provider the program
// installs at start-up; the tests install their own.
std::string g_token;

void SetToken(const std::string& token) {
    g_token = token;
}

class NetStoreApiTest : public vtest::SandboxTest {
  protected:
    NetStoreApiTest() {
        SetToken("");
        SetSessionTokenProvider([] { return g_token; });
    }
    ~NetStoreApiTest() override {
        SetSessionTokenProvider(nullptr);
        SetToken("");
        COemConfig::Instance().Load(sandbox.ProgramDir() + "/none.ini");
    }

    // Logs in through the store's SMS round; returns the account token.
    std::string LogIn(const std::string& phone) {
        const ApiReply sent = api::SendVerificationCode(phone);
        EXPECT_TRUE(sent.Succeeded()) << sent.Message();
        const std::string code = store.LastSmsCode(phone);
        const ApiReply login = api::LoginWithCode(phone, code);
        EXPECT_TRUE(login.Succeeded()) << login.Message();
        return api::LoginToken(login);
    }

    vtest::DemoStore store{sandbox};
};

TEST_F(NetStoreApiTest, ACodeLoginGivesATokenThatFetchesTheUserInformation) {
    ASSERT_TRUE(store.Started());
    // The common values the store checks: AdId, partner and installation id.
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId, "77"));
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, settings::kMachineIdKey, settings::kInstallUuidValue,
                                 "0123456789ABCDEF0123456789ABCDEF"));
    vtest::WriteFile(sandbox.ProgramDir() + "/oem.ini", "[Partner]\nId=1088\n");
    COemConfig::Instance().Load(sandbox.ProgramDir() + "/oem.ini");

    const std::string token = LogIn(kPhone);
    ASSERT_FALSE(token.empty());
    const Json::Value requests = store.Requests("store");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1]["target"].asString().find(
                  "&p=2&appid=2002&adid=77&partner_id=1088&machine_code=0123456789ABCDEF0123456789ABCDEF"),
              std::string::npos);

    SetToken(token);
    const api::UserInfo info = api::FetchUserInfo();
    ASSERT_TRUE(info.succeeded);
    EXPECT_GT(info.id, 0);
    EXPECT_FALSE(info.inviteCode.empty());
    // The picture is served by the store over the same trusted connection.
    ASSERT_EQ(info.headPicUrl.rfind(store.BaseUrl("store") + "/", 0), 0u) << info.headPicUrl;
    CCurlRequest picture(true);
    EXPECT_FALSE(picture.GetWithToken(info.headPicUrl).empty());
}

TEST_F(NetStoreApiTest, RefusalsCarryTheStoresMessage) {
    ASSERT_TRUE(store.Started());
    const ApiReply badPhone = api::SendVerificationCode("12345");
    EXPECT_FALSE(badPhone.Succeeded());
    EXPECT_FALSE(badPhone.Message().empty());

    ASSERT_TRUE(api::SendVerificationCode(kPhone).Succeeded());
    const std::string code = store.LastSmsCode(kPhone);
    const ApiReply wrong = api::LoginWithCode(kPhone, code == "000000" ? "111111" : "000000");
    EXPECT_FALSE(wrong.Succeeded());
    EXPECT_FALSE(wrong.Message().empty());
    EXPECT_EQ(api::LoginToken(wrong), "");

    // Nobody logged in, then a token the store never issued.
    EXPECT_FALSE(api::FetchUserInfo().succeeded);
    SetToken("eyJhbGciOiJIUzI1NiJ9.eyJ1aWQiOjF9.forged");
    EXPECT_FALSE(api::FetchUserInfo().succeeded);
    EXPECT_FALSE(api::DeleteDownloadRecord(1));
}

TEST_F(NetStoreApiTest, ADeletedDownloadRecordIsGoneFromTheUsersList) {
    ASSERT_TRUE(store.Started());
    Json::Value fields;
    fields["downloads"].append(501);
    fields["downloads"].append(502);
    ASSERT_TRUE(store.SetUser(kPhone, fields));
    SetToken(store.IssueToken(kPhone));
    EXPECT_TRUE(api::DeleteDownloadRecord(501));
    EXPECT_FALSE(api::DeleteDownloadRecord(501));  // no longer listed
    EXPECT_TRUE(api::DeleteDownloadRecord(502));
}

TEST_F(NetStoreApiTest, RepliesInSmallChunksAndErrorStatusesAreReadLikeAnyOther) {
    ASSERT_TRUE(store.Started());
    Json::Value chunked;
    chunked["service"] = "store";
    chunked["path"] = "*";
    chunked["chunked"] = true;
    chunked["chunk_size"] = 3;
    ASSERT_TRUE(store.SetFault(chunked));
    const std::string token = LogIn(kPhone);
    ASSERT_FALSE(token.empty());
    SetToken(token);
    EXPECT_TRUE(api::FetchUserInfo().succeeded);

    ASSERT_TRUE(store.ClearFaults());
    Json::Value failing;
    failing["service"] = "store";
    failing["path"] = "/api/user/userinfo.html";
    failing["status"] = 500;
    failing["body"] = "<html><body>Internal Server Error</body></html>";
    ASSERT_TRUE(store.SetFault(failing));
    EXPECT_FALSE(api::FetchUserInfo().succeeded);
}

TEST_F(NetStoreApiTest, WithoutTheStoresAuthorityNothingReachesIt) {
    ASSERT_TRUE(store.Started());
    sandbox.SetEnv("VANTO_CA_FILE", std::nullopt);
    EXPECT_FALSE(api::SendVerificationCode(kPhone).Succeeded());
    EXPECT_EQ(store.Requests("store").size(), 0u);
    EXPECT_EQ(store.LastSmsCode(kPhone), "");
}

TEST_F(NetStoreApiTest, VersionFilesAreFetchedFromTheUpdateAndToolboxHosts) {
    ASSERT_TRUE(store.Started());
    ASSERT_TRUE(store.PutFile("update", "/windows/newversion.htm", "version=2.0.1\n"));
    EXPECT_EQ(FetchUrlText(api::VersionFileUrl()), "version=2.0.1\n");
    ASSERT_TRUE(store.PutFile("toolbox", "/partnerbox/version.html", "version=3.1"));
    EXPECT_EQ(FetchUrlText(api::ToolboxVersionUrl("partnerbox")), "version=3.1");
    const Json::Value requests = store.Requests("update");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["target"].asString(), "/windows/newversion.htm");
}

}  // namespace
