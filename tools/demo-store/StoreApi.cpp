#include "demo-store/StoreApi.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <ctime>

#include "demo-store/HttpUtil.h"
#include "demo-store/StorePages.h"

namespace demostore {
namespace {

// The client signs the send-code request with this salt.
constexpr char kSignatureSalt[] = "Q4M8T2KZ";

// Texts the store shows the user when it refuses a call.
constexpr char kMsgBadRequest[] = "非法请求";
// The account the sign-in pages' demo button signs in.
constexpr char kSignInDemoPhone[] = "13800138000";
constexpr char kMsgBadMethod[] = "请求方式错误";
constexpr char kMsgBadParams[] = "参数错误";
constexpr char kMsgBadPhone[] = "手机号码格式不正确";
constexpr char kMsgExpired[] = "请求已过期，请检查电脑时间";
constexpr char kMsgBadSignature[] = "签名验证失败";
constexpr char kMsgCodeSent[] = "验证码已发送";
constexpr char kMsgNoCode[] = "请先获取验证码";
constexpr char kMsgCodeExpired[] = "验证码已过期，请重新获取";
constexpr char kMsgWrongCode[] = "验证码错误";
constexpr char kMsgLoggedIn[] = "登录成功";
constexpr char kMsgNotLoggedIn[] = "登录已失效，请重新登录";
constexpr char kMsgOk[] = "成功";
constexpr char kMsgDeleted[] = "删除成功";
constexpr char kMsgNoRecord[] = "下载记录不存在";
constexpr char kMsgBusy[] = "服务器繁忙，请稍后再试";
constexpr char kMsgNotFound[] = "接口不存在";

std::string NewCode() {
    unsigned char random[4];
    std::uint32_t value = 0;
    // Rejects the top of the range so that every code is equally likely.
    do {
        if (RAND_bytes(random, sizeof random) != 1) {
            return {};
        }
        value = (std::uint32_t(random[0]) << 24) | (random[1] << 16) | (random[2] << 8) | random[3];
    } while (value >= 4294000000u);
    char text[8];
    std::snprintf(text, sizeof text, "%06u", value % 1000000u);
    return text;
}

bool IsMachineCode(const std::string& text) {
    if (text.size() > 64) {
        return false;
    }
    for (char c : text) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        c == '-' || c == '{' || c == '}';
        if (!ok) {
            return false;
        }
    }
    return true;
}

// The common values of the login calls: "p" 2, "appid" 2002, "adid" (any
// text, empty when unset), "partner_id" (never empty: "0" without a
// partner), "machine_code" (empty or an identifier).
bool CommonValuesValid(const QueryList& query) {
    const auto p = QueryValue(query, "p");
    const auto appid = QueryValue(query, "appid");
    const auto partner = QueryValue(query, "partner_id");
    const auto machine = QueryValue(query, "machine_code");
    return p == "2" && appid == "2002" && partner && !partner->empty() && machine && IsMachineCode(*machine);
}

}  // namespace

std::string SendCodeSignature(const std::string& time, const std::string& phone) {
    const std::string text = time + phone + kSignatureSalt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr) != 1) {
        return {};
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

StoreApi::StoreApi(StoreContext& context) : m_context(context) {}

void StoreApi::ForgetCodes() {
    std::lock_guard lock(m_mutex);
    m_codes.clear();
}

void StoreApi::Handle(const httplib::Request& req, httplib::Response& res) {
    const std::string& path = req.path;
    const bool get = req.method == "GET";
    const bool post = req.method == "POST";
    if (path == "/api/sms/sendsms.html") {
        get ? SendCode(req, res) : ReplyRefusal(res, kMsgBadMethod);
    } else if (path == "/api/public_api/smsLogin.html") {
        get ? LoginWithCode(req, res) : ReplyRefusal(res, kMsgBadMethod);
    } else if (path == "/api/user/userinfo.html") {
        post ? UserInfo(req, res) : ReplyRefusal(res, kMsgBadMethod);
    } else if (path == "/api/user/deleteDownLoad") {
        get ? DeleteDownload(req, res) : ReplyRefusal(res, kMsgBadMethod);
    } else if (path.rfind("/api/", 0) == 0) {
        ReplyRefusal(res, kMsgNotFound);
        res.status = 404;
    } else if (path == "/index/index/qqlogin.html" && get) {
        SignInPage(req, res, "QQ");
    } else if (path == "/index/index/offiaccountLogin.html" && get) {
        SignInPage(req, res, "WeChat");
    } else if ((path == "/help/8.html" || path == "/help/6.html") && get) {
        HelpPage(path, res);
    } else if (path.rfind("/static/head/", 0) == 0 && get) {
        Picture(path, res);
    } else if (path == "/" && get) {
        ReplyHtml(res, "Vanto 演示商店", "<p>演示商店的账户接口。</p>");
    } else {
        ReplyText(res, 404, "not found\n");
    }
}

bool StoreApi::CheckTokenHeaders(const httplib::Request& req, httplib::Response& res) {
    // The HTTP library drops header lines with an empty value, so the
    // "X-token:" line of a client nobody is logged in to cannot be told from
    // a missing one; calls that need a token check it themselves.
    if (HeaderValue(req, "X-Requested-With") != "XMLHttpRequest") {
        ReplyRefusal(res, kMsgBadRequest);
        return false;
    }
    return true;
}

void StoreApi::SendCode(const httplib::Request& req, httplib::Response& res) {
    if (!CheckTokenHeaders(req, res)) {
        return;
    }
    const QueryList query = ParseQuery(req.target);
    if (!QueryKeysAre(query, {"phone", "time", "token"})) {
        ReplyRefusal(res, kMsgBadParams);
        return;
    }
    const std::string phone = *QueryValue(query, "phone");
    const std::string time = *QueryValue(query, "time");
    const std::string token = *QueryValue(query, "token");
    if (!IsMobileNumber(phone)) {
        ReplyRefusal(res, kMsgBadPhone);
        return;
    }
    const std::int64_t now = std::time(nullptr);
    if (!IsDecimal(time, true) || std::llabs(std::stoll(time) - now) > kTimeWindowSeconds) {
        ReplyRefusal(res, kMsgExpired);
        return;
    }
    if (token != SendCodeSignature(time, phone)) {
        ReplyRefusal(res, kMsgBadSignature);
        return;
    }
    const std::string code = NewCode();
    if (code.empty()) {
        ReplyRefusal(res, kMsgBusy);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_codes[phone] = PendingCode{code, now};
    }
    m_context.log.AddSmsCode(phone, code);
    m_context.Print("# SMS to " + phone + ": verification code " + code);
    ReplyEnvelope(res, 1, kMsgCodeSent);
}

void StoreApi::LoginWithCode(const httplib::Request& req, httplib::Response& res) {
    if (!CheckTokenHeaders(req, res)) {
        return;
    }
    const QueryList query = ParseQuery(req.target);
    if (!QueryKeysAre(query, {"phone", "code", "p", "appid", "adid", "partner_id", "machine_code"}) ||
        !CommonValuesValid(query)) {
        ReplyRefusal(res, kMsgBadParams);
        return;
    }
    const std::string phone = *QueryValue(query, "phone");
    const std::string code = *QueryValue(query, "code");
    if (!IsMobileNumber(phone)) {
        ReplyRefusal(res, kMsgBadPhone);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_codes.find(phone);
        if (it == m_codes.end()) {
            ReplyRefusal(res, kMsgNoCode);
            return;
        }
        if (std::time(nullptr) - it->second.issued > kCodeLifetimeSeconds) {
            m_codes.erase(it);
            ReplyRefusal(res, kMsgCodeExpired);
            return;
        }
        if (it->second.code != code) {
            ReplyRefusal(res, kMsgWrongCode);
            return;
        }
        // A code logs in once.
        m_codes.erase(it);
    }
    const auto user = m_context.users.FindOrCreate(phone);
    const std::string token = user ? m_context.users.IssueToken(*user) : std::string();
    if (token.empty()) {
        ReplyRefusal(res, kMsgBusy);
        return;
    }
    Json::Value data(Json::objectValue);
    data["jwt"] = token;
    ReplyEnvelope(res, 1, kMsgLoggedIn, data);
}

void StoreApi::UserInfo(const httplib::Request& req, httplib::Response& res) {
    // The body is the token header line itself, sent as JSON text.
    const auto contentType = HeaderValue(req, "Content-Type");
    const std::string token = HeaderValue(req, "X-token").value_or("");
    if (HeaderValue(req, "X-Requested-With") != "XMLHttpRequest" ||
        contentType != "application/json;charset=UTF-8" || req.body != "X-token:" + token ||
        !ParseQuery(req.target).empty()) {
        ReplyRefusal(res, kMsgBadRequest);
        return;
    }
    const auto user = m_context.users.UserOfToken(token);
    if (!user) {
        ReplyRefusal(res, kMsgNotLoggedIn);
        return;
    }
    Json::Value data(Json::objectValue);
    data["id"] = static_cast<Json::Int64>(user->id);
    data["start_time"] = user->startTime;
    data["stop_time"] = user->stopTime;
    data["invite_code"] = user->inviteCode;
    data["head_pic"] =
        m_context.BaseUrl(Service::Store) + "/static/head/" + std::to_string(user->id) + ".jpg";
    ReplyEnvelope(res, 1, kMsgOk, data);
}

void StoreApi::DeleteDownload(const httplib::Request& req, httplib::Response& res) {
    if (!CheckTokenHeaders(req, res)) {
        return;
    }
    const QueryList query = ParseQuery(req.target);
    if (!QueryKeysAre(query, {"document_id"}) || !IsDecimal(*QueryValue(query, "document_id"), true)) {
        ReplyRefusal(res, kMsgBadParams);
        return;
    }
    const auto user = m_context.users.UserOfToken(HeaderValue(req, "X-token").value_or(""));
    if (!user) {
        ReplyRefusal(res, kMsgNotLoggedIn);
        return;
    }
    switch (m_context.users.RemoveDownload(user->id, std::stoll(*QueryValue(query, "document_id")))) {
        case UserDirectory::RemoveResult::Removed:
            ReplyEnvelope(res, 1, kMsgDeleted);
            break;
        case UserDirectory::RemoveResult::NotListed:
            ReplyRefusal(res, kMsgNoRecord);
            break;
        case UserDirectory::RemoveResult::NotSaved:
            ReplyRefusal(res, kMsgBusy);
            break;
    }
}

void StoreApi::SignInPage(const httplib::Request& req, httplib::Response& res, const std::string& kind) {
    const QueryList query = ParseQuery(req.target);
    if (!QueryKeysAre(query, {"p", "appid", "adid", "partner_id", "machine_code"}) ||
        !CommonValuesValid(query)) {
        ReplyHtml(res, kind + " 登录", "<p>参数错误</p>");
        res.status = 400;
        return;
    }
    // The demo account signs in: the sample member, with a token the store
    // accepts like any other.
    const auto user = m_context.users.FindByPhone(kSignInDemoPhone);
    const std::string token = user ? m_context.users.IssueToken(*user) : std::string();
    res.status = 200;
    res.set_content(SignInPageHtml(kind, token, kind + "演示用户"), "text/html; charset=utf-8");
}

void StoreApi::HelpPage(const std::string& path, httplib::Response& res) {
    if (path == "/help/8.html") {
        ReplyHtml(res, "会员服务协议", "<p>演示商店的会员服务协议（占位）。</p>");
    } else {
        ReplyHtml(res, "隐私政策", "<p>演示商店的隐私政策（占位）。</p>");
    }
}

void StoreApi::Picture(const std::string& path, httplib::Response& res) {
    // "/static/head/<user number>.jpg": the user's own picture when one was
    // put there, otherwise the picture every account starts with.
    const std::string name = path.substr(std::string("/static/head/").size());
    const std::size_t dot = name.find(".jpg");
    if (dot == std::string::npos || dot + 4 != name.size() || !IsDecimal(name.substr(0, dot)) ||
        !m_context.users.FindById(std::stoll(name.substr(0, dot)))) {
        ReplyText(res, 404, "not found\n");
        return;
    }
    auto file = m_context.files.Find(Service::Store, path);
    if (!file) {
        file = m_context.files.Find(Service::Store, "/static/head.jpg");
    }
    if (!file || !m_context.replies.Serve(res, *file, "image/jpeg")) {
        ReplyText(res, 404, "not found\n");
    }
}

}  // namespace demostore
