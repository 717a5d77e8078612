#pragma once
// The one catalogue of the addresses the client uses: the store API calls,
// the sign-in and help pages, the store pages, the web-login
// synchronisation, and the update, toolbox, statistics, feedback and
// service addresses. Values are inserted into queries as they are, without
// percent-encoding: they are digits, identifiers and tokens.

#include <cstdint>
#include <string>
#include <string_view>

namespace api {

// Store API calls (StoreHost).
inline constexpr std::string_view kSendCodePath = "/api/sms/sendsms.html";
inline constexpr std::string_view kSmsLoginPath = "/api/public_api/smsLogin.html";
inline constexpr std::string_view kUserInfoPath = "/api/user/userinfo.html";
inline constexpr std::string_view kDeleteDownloadPath = "/api/user/deleteDownLoad";
// Sign-in pages (StoreHost), shown in the browser dialog.
inline constexpr std::string_view kQqSignInPath = "/index/index/qqlogin.html";
inline constexpr std::string_view kWeChatSignInPath = "/index/index/offiaccountLogin.html";
// Help pages (StoreHost), opened in the default browser.
inline constexpr std::string_view kServiceAgreementPath = "/help/8.html";
inline constexpr std::string_view kPrivacyPolicyPath = "/help/6.html";
// Store pages (ClientPageHost), shown in the main window's views.
inline constexpr std::string_view kHomePath = "/";
inline constexpr std::string_view kPresentationsPath = "/ppt.html";
inline constexpr std::string_view kDocumentsPath = "/word.html";
inline constexpr std::string_view kSpreadsheetsPath = "/excel.html";
inline constexpr std::string_view kListsPath = "/client/index/lists/";
inline constexpr std::string_view kDownloadsPath = "/client/user/downloads.html";
inline constexpr std::string_view kFavoritesPath = "/client/user/favorites.html";
// Web-login synchronisation (ClientPageHost).
inline constexpr std::string_view kRefreshWebLoginPath = "/api/user/refreshWebLogin";
inline constexpr std::string_view kWebLogoutPath = "/api/public_api/logout";
// Update service (UpdateHost).
inline constexpr std::string_view kVersionFilePath = "/windows/newversion.htm";
inline constexpr std::string_view kInstallerPath = "/windows/VANTOSetup.exe";
// Statistics service pages (StatsHost), directly under the root.
inline constexpr std::string_view kActionPage = "action.ashx";
inline constexpr std::string_view kErrorFilePage = "errorfile.ashx";
// Feedback (FeedbackPageHost) and customer service (ServicePageHost).
inline constexpr std::string_view kFeedbackPath = "/msg/?a=0&t=0&appid=2002";
inline constexpr std::string_view kServicePath = "/swordfish.html?product_id=2002";

// The fixed common values.
inline constexpr std::string_view kProductValue = "2";   // "p"
inline constexpr std::string_view kAppIdValue = "2002";  // "appid"

// The salt of the send-code signature.
inline constexpr std::string_view kSendCodeSalt = "Q4M8T2KZ";

// The common values that vary by installation, read now.
struct CommonValues {
    std::string adId;         // per-user "AdId", never derived from the installer name
    std::string partnerId;    // the partner "Id" of the OEM configuration, "0" by default
    std::string machineCode;  // the installation id, else the machine code, else empty
};
CommonValues ReadCommonValues();

// "p=2&appid=2002&adid=…&partner_id=…&machine_code=…".
std::string CommonQuery(const CommonValues& values);

// The signature of a send-code request: the lower-case MD5 hex of `time` in
// decimal, the phone number and the salt, joined without separators.
std::string SendCodeSignature(std::int64_t time, std::string_view phone);

// Seconds since 1970-01-01 UTC now.
std::int64_t UnixTimeNow();

// "/api/sms/sendsms.html?phone=…&time=…&token=…" on the store; `time` goes
// both into the query and into the signature.
std::string SendCodeUrl(std::string_view phone, std::int64_t time);
// "/api/public_api/smsLogin.html?phone=…&code=…&" + the common query.
std::string SmsLoginUrl(std::string_view phone, std::string_view code, const CommonValues& values);
std::string UserInfoUrl();
// "/api/user/deleteDownLoad?document_id=…".
std::string DeleteDownloadUrl(int documentId);

std::string QqSignInUrl(const CommonValues& values);
std::string WeChatSignInUrl(const CommonValues& values);
std::string ServiceAgreementUrl();
std::string PrivacyPolicyUrl();

// A store page (one of the paths above) on the client-page host.
std::string ClientPageUrl(std::string_view path);
// The home page, followed by "?c=" and the AdId when the AdId is not empty.
std::string HomePageUrl(std::string_view adId);
// "/api/user/refreshWebLogin?X-token=…" with the current token.
std::string RefreshWebLoginUrl(std::string_view token);
std::string WebLogoutUrl();

std::string VersionFileUrl();
std::string InstallerUrl();
// "/<toolbox>/version.html", "/<toolbox>/toolbox.zip", "/download/<installer>".
std::string ToolboxVersionUrl(std::string_view toolboxName);
std::string ToolboxArchiveUrl(std::string_view toolboxName);
std::string ToolboxInstallerUrl(std::string_view installer);

// "http://" + stats host + "/" + page.
std::string StatsPageUrl(std::string_view page);
// "http://<stats host>/errorfile.ashx?aid=…&v=…&os=…".
std::string ErrorFileUrl(int appId, std::string_view version, std::string_view osName);

std::string FeedbackPageUrl();
std::string ServicePageUrl();

}  // namespace api
