#include "net/ServerApi.h"

#include <chrono>

#include "config/OemConfig.h"
#include "config/Settings.h"
#include "identity/InstallUuid.h"
#include "identity/MD5_CTX.h"
#include "identity/MachineCode.h"
#include "net/ServerHosts.h"

namespace api {

namespace {

std::string Join(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) {
        text += part;
    }
    return text;
}

}  // namespace

CommonValues ReadCommonValues() {
    CommonValues values;
    values.adId = ReadAdId(false);
    values.partnerId = COemConfig::Instance().PartnerId();
    values.machineCode = ReadInstallUuid();
    if (values.machineCode.empty()) {
        values.machineCode = MachineCode();
    }
    return values;
}

std::string CommonQuery(const CommonValues& values) {
    return Join({"p=", kProductValue, "&appid=", kAppIdValue, "&adid=", values.adId,
                 "&partner_id=", values.partnerId, "&machine_code=", values.machineCode});
}

std::string SendCodeSignature(std::int64_t time, std::string_view phone) {
    return MD5Hex(Join({std::to_string(time), phone, kSendCodeSalt}));
}

std::int64_t UnixTimeNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string SendCodeUrl(std::string_view phone, std::int64_t time) {
    return HostUrl(ServerHost::Store, Join({kSendCodePath, "?phone=", phone, "&time=", std::to_string(time),
                                            "&token=", SendCodeSignature(time, phone)}));
}

std::string SmsLoginUrl(std::string_view phone, std::string_view code, const CommonValues& values) {
    return HostUrl(ServerHost::Store,
                   Join({kSmsLoginPath, "?phone=", phone, "&code=", code, "&", CommonQuery(values)}));
}

std::string UserInfoUrl() {
    return HostUrl(ServerHost::Store, kUserInfoPath);
}

std::string DeleteDownloadUrl(int documentId) {
    return HostUrl(ServerHost::Store,
                   Join({kDeleteDownloadPath, "?document_id=", std::to_string(documentId)}));
}

std::string QqSignInUrl(const CommonValues& values) {
    return HostUrl(ServerHost::Store, Join({kQqSignInPath, "?", CommonQuery(values)}));
}

std::string WeChatSignInUrl(const CommonValues& values) {
    return HostUrl(ServerHost::Store, Join({kWeChatSignInPath, "?", CommonQuery(values)}));
}

std::string ServiceAgreementUrl() {
    return HostUrl(ServerHost::Store, kServiceAgreementPath);
}

std::string PrivacyPolicyUrl() {
    return HostUrl(ServerHost::Store, kPrivacyPolicyPath);
}

std::string ClientPageUrl(std::string_view path) {
    return HostUrl(ServerHost::ClientPage, path);
}

std::string HomePageUrl(std::string_view adId) {
    std::string url = ClientPageUrl(kHomePath);
    if (!adId.empty()) {
        url += Join({"?c=", adId});
    }
    return url;
}

std::string RefreshWebLoginUrl(std::string_view token) {
    return HostUrl(ServerHost::ClientPage, Join({kRefreshWebLoginPath, "?X-token=", token}));
}

std::string WebLogoutUrl() {
    return HostUrl(ServerHost::ClientPage, kWebLogoutPath);
}

std::string VersionFileUrl() {
    return HostUrl(ServerHost::Update, kVersionFilePath);
}

std::string InstallerUrl() {
    return HostUrl(ServerHost::Update, kInstallerPath);
}

std::string ToolboxVersionUrl(std::string_view toolboxName) {
    return HostUrl(ServerHost::Toolbox, Join({"/", toolboxName, "/version.html"}));
}

std::string ToolboxArchiveUrl(std::string_view toolboxName) {
    return HostUrl(ServerHost::Toolbox, Join({"/", toolboxName, "/toolbox.zip"}));
}

std::string ToolboxInstallerUrl(std::string_view installer) {
    return HostUrl(ServerHost::Toolbox, Join({"/download/", installer}));
}

std::string StatsPageUrl(std::string_view page) {
    return HostUrl(ServerHost::Stats, Join({"/", page}));
}

std::string ErrorFileUrl(int appId, std::string_view version, std::string_view osName) {
    return StatsPageUrl(
        Join({kErrorFilePage, "?aid=", std::to_string(appId), "&v=", version, "&os=", osName}));
}

std::string FeedbackPageUrl() {
    return HostUrl(ServerHost::FeedbackPage, kFeedbackPath);
}

std::string ServicePageUrl() {
    return HostUrl(ServerHost::ServicePage, kServicePath);
}

}  // namespace api
