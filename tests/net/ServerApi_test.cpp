#include "net/ServerApi.h"

#include <gtest/gtest.h>

#include <set>

#include "config/OemConfig.h"
#include "config/Settings.h"
#include "identity/MachineCode.h"
#include "net/ServerHosts.h"
#include "platform/os/Registry.h"
#include "support/Sandbox.h"

namespace {

class ServerApiTest : public vtest::SandboxTest {
  protected:
    ServerApiTest() {
        for (ServerHost host : kAllHosts) {
            sandbox.SetEnv(HostVariable(host), std::nullopt);
        }
    }
    ~ServerApiTest() override { COemConfig::Instance().Load(sandbox.ProgramDir() + "/none.ini"); }

    static constexpr ServerHost kAllHosts[] = {
        ServerHost::Store, ServerHost::ClientPage,   ServerHost::Update,     ServerHost::Toolbox,
        ServerHost::Stats, ServerHost::FeedbackPage, ServerHost::ServicePage};

    void PointAt(ServerHost host, const std::string& value) { sandbox.SetEnv(HostVariable(host), value); }
};

TEST_F(ServerApiTest, EachServiceHasItsOwnDefaultAndItsOwnVariable) {
    std::set<std::string> defaults;
    std::set<std::string> variables;
    for (ServerHost host : kAllHosts) {
        defaults.insert(HostName(host));
        variables.insert(HostVariable(host));
    }
    EXPECT_EQ(defaults.size(), 7u);
    EXPECT_EQ(variables, (std::set<std::string>{"VANTO_STORE_HOST", "VANTO_CLIENT_PAGE_HOST",
                                                "VANTO_UPDATE_HOST", "VANTO_TOOLBOX_HOST", "VANTO_STATS_HOST",
                                                "VANTO_FEEDBACK_PAGE_HOST", "VANTO_SERVICE_PAGE_HOST"}));
}

TEST_F(ServerApiTest, TheEnvironmentOverridesAHostAtEachUse) {
    const std::string builtIn = StoreHost();
    PointAt(ServerHost::Store, "store.test:8443");
    EXPECT_EQ(StoreHost(), "store.test:8443");
    EXPECT_EQ(api::UserInfoUrl(), std::string("https://store.test:8443/api/user/userinfo.html"));
    PointAt(ServerHost::Store, "");  // empty counts as unset
    EXPECT_EQ(StoreHost(), builtIn);
}

TEST_F(ServerApiTest, OnlyTheStoreSpeaksHttps) {
    for (ServerHost host : kAllHosts) {
        EXPECT_STREQ(HostScheme(host), host == ServerHost::Store ? "https" : "http");
    }
}

TEST_F(ServerApiTest, EveryAddressIsItsHostAndItsPath) {
    PointAt(ServerHost::Store, "s");
    PointAt(ServerHost::ClientPage, "c");
    PointAt(ServerHost::Update, "u");
    PointAt(ServerHost::Toolbox, "t");
    PointAt(ServerHost::Stats, "st:81");
    PointAt(ServerHost::FeedbackPage, "f");
    PointAt(ServerHost::ServicePage, "k");
    const api::CommonValues values{"55", "1088", "ABCDEF"};
    const std::string common = "p=2&appid=2002&adid=55&partner_id=1088&machine_code=ABCDEF";
    EXPECT_EQ(api::SmsLoginUrl("13800138000", "123456", values),
              "https://s/api/public_api/smsLogin.html?phone=13800138000&code=123456&" + common);
    EXPECT_EQ(api::DeleteDownloadUrl(4711), "https://s/api/user/deleteDownLoad?document_id=4711");
    EXPECT_EQ(api::DeleteDownloadUrl(-3), "https://s/api/user/deleteDownLoad?document_id=-3");
    EXPECT_EQ(api::QqSignInUrl(values), "https://s/index/index/qqlogin.html?" + common);
    EXPECT_EQ(api::WeChatSignInUrl(values), "https://s/index/index/offiaccountLogin.html?" + common);
    EXPECT_EQ(api::ServiceAgreementUrl(), "https://s/help/8.html");
    EXPECT_EQ(api::PrivacyPolicyUrl(), "https://s/help/6.html");
    EXPECT_EQ(api::HomePageUrl(""), "http://c/");
    EXPECT_EQ(api::HomePageUrl("55"), "http://c/?c=55");
    EXPECT_EQ(api::ClientPageUrl(api::kDownloadsPath), "http://c/client/user/downloads.html");
    EXPECT_EQ(api::RefreshWebLoginUrl("tok.en"), "http://c/api/user/refreshWebLogin?X-token=tok.en");
    EXPECT_EQ(api::WebLogoutUrl(), "http://c/api/public_api/logout");
    EXPECT_EQ(api::VersionFileUrl(), "http://u/windows/newversion.htm");
    EXPECT_EQ(api::InstallerUrl(), "http://u/windows/VANTOSetup.exe");
    EXPECT_EQ(api::ToolboxVersionUrl("vanto"), "http://t/vanto/version.html");
    EXPECT_EQ(api::ToolboxArchiveUrl("partnerbox"), "http://t/partnerbox/toolbox.zip");
    EXPECT_EQ(api::ToolboxInstallerUrl("tool_setup.exe"), "http://t/download/tool_setup.exe");
    EXPECT_EQ(api::StatsPageUrl(api::kActionPage), "http://st:81/action.ashx");
    EXPECT_EQ(api::ErrorFileUrl(34, "1.0.3", "Debian 12"),
              "http://st:81/errorfile.ashx?aid=34&v=1.0.3&os=Debian 12");
    EXPECT_EQ(api::FeedbackPageUrl(), "http://f/msg/?a=0&t=0&appid=2002");
    EXPECT_EQ(api::ServicePageUrl(), "http://k/swordfish.html?product_id=2002");
}

TEST_F(ServerApiTest, TheSendCodeSignatureSignsTimePhoneAndSalt) {
    // MD5 of "170000000013800138000Q4M8T2KZ", computed independently.
    EXPECT_EQ(api::SendCodeSignature(1700000000, "13800138000"), "26e7d0c600dd94891e4055f279eae06e");
    EXPECT_NE(api::SendCodeSignature(1700000001, "13800138000"),
              api::SendCodeSignature(1700000000, "13800138000"));
    PointAt(ServerHost::Store, "s");
    EXPECT_EQ(api::SendCodeUrl("13800138000", 1700000000),
              "https://s/api/sms/sendsms.html?phone=13800138000&time=1700000000"
              "&token=26e7d0c600dd94891e4055f279eae06e");
}

TEST_F(ServerApiTest, CommonValuesComeFromTheSettingsTheOemFileAndTheInstallation) {
    ASSERT_TRUE(os::RegSetString(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId, "1234"));
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, settings::kMachineIdKey, settings::kInstallUuidValue,
                                 "0123456789ABCDEF0123456789ABCDEF"));
    vtest::WriteFile(sandbox.ProgramDir() + "/oem.ini", "[Partner]\nId=1088\n");
    COemConfig::Instance().Load(sandbox.ProgramDir() + "/oem.ini");
    const api::CommonValues values = api::ReadCommonValues();
    EXPECT_EQ(values.adId, "1234");
    EXPECT_EQ(values.partnerId, "1088");
    EXPECT_EQ(values.machineCode, "0123456789ABCDEF0123456789ABCDEF");
}

TEST_F(ServerApiTest, WithoutSettingsTheCommonValuesAreTheirDefaults) {
    // An installer name is there, but the AdId is never derived from it here.
    ASSERT_TRUE(os::RegSetString(HKEY_LOCAL_MACHINE, settings::kClientKey, settings::kInstallerName,
                                 "C:\\Temp\\Setup_1234.exe"));
    COemConfig::Instance().Load(sandbox.ProgramDir() + "/none.ini");
    const api::CommonValues values = api::ReadCommonValues();
    EXPECT_EQ(values.adId, "");
    EXPECT_FALSE(os::RegValueExists(HKEY_CURRENT_USER, settings::kClientKey, settings::kAdId));
    EXPECT_EQ(values.partnerId, "0");
    // Without an installation id, the machine code as loaded at start.
    EXPECT_EQ(values.machineCode, MachineCode());
    if (MachineCode().empty()) {
        PointAt(ServerHost::Store, "s");
        EXPECT_EQ(api::QqSignInUrl(values),
                  "https://s/index/index/qqlogin.html?p=2&appid=2002&adid=&partner_id=0&machine_code=");
    }
}

}  // namespace
