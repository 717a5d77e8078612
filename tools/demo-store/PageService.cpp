#include "demo-store/PageService.h"

#include "demo-store/HttpUtil.h"

namespace demostore {
namespace {

std::string CookieValue(const httplib::Request& req, const std::string& name) {
    for (auto [it, end] = req.headers.equal_range("Cookie"); it != end; ++it) {
        const std::string& header = it->second;
        std::size_t start = 0;
        while (start < header.size()) {
            std::size_t end2 = header.find(';', start);
            if (end2 == std::string::npos) {
                end2 = header.size();
            }
            std::string item = header.substr(start, end2 - start);
            while (!item.empty() && item.front() == ' ') {
                item.erase(0, 1);
            }
            if (item.rfind(name + "=", 0) == 0) {
                return item.substr(name.size() + 1);
            }
            start = end2 + 1;
        }
    }
    return {};
}

const struct {
    const char* path;
    const char* title;
} kStorePages[] = {
    {"/", "Vanto 模板商店"},
    {"/ppt.html", "PPT 模板"},
    {"/word.html", "Word 模板"},
    {"/excel.html", "Excel 模板"},
    {"/client/index/lists/", "模板列表"},
    {"/client/user/favorites.html", "我的收藏"},
};

}  // namespace

PageService::PageService(StoreContext& context) : m_context(context) {}

std::optional<StoreUser> PageService::CookieUser(const httplib::Request& req) const {
    const std::string token = CookieValue(req, kLoginCookie);
    return token.empty() ? std::nullopt : m_context.users.UserOfToken(token);
}

void PageService::HandleClientPages(const httplib::Request& req, httplib::Response& res) {
    if (req.method != "GET") {
        ReplyText(res, 405, "method not allowed\n");
        return;
    }
    if (req.path == "/api/user/refreshWebLogin") {
        RefreshWebLogin(req, res);
        return;
    }
    if (req.path == "/api/public_api/logout") {
        Logout(res);
        return;
    }
    if (req.path == "/client/user/downloads.html") {
        DownloadsPage(req, res);
        return;
    }
    for (const auto& page : kStorePages) {
        if (req.path == page.path) {
            const auto user = CookieUser(req);
            ReplyHtml(res, page.title,
                      user ? "<p>已登录：" + HtmlEscape(user->phone) + "</p>" : std::string("<p>未登录</p>"));
            return;
        }
    }
    ReplyText(res, 404, "not found\n");
}

void PageService::RefreshWebLogin(const httplib::Request& req, httplib::Response& res) {
    const QueryList query = ParseQuery(req.target);
    const auto user = QueryKeysAre(query, {"X-token"})
                          ? m_context.users.UserOfToken(*QueryValue(query, "X-token"))
                          : std::nullopt;
    if (!user) {
        ReplyRefusal(res, "登录已失效，请重新登录");
        return;
    }
    res.set_header("Set-Cookie", std::string(kLoginCookie) + "=" + *QueryValue(query, "X-token") +
                                     "; Path=/; HttpOnly; SameSite=Lax");
    ReplyEnvelope(res, 1, "成功");
}

void PageService::Logout(httplib::Response& res) {
    res.set_header("Set-Cookie", std::string(kLoginCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Lax");
    ReplyEnvelope(res, 1, "已退出登录");
}

void PageService::DownloadsPage(const httplib::Request& req, httplib::Response& res) {
    const auto user = CookieUser(req);
    if (!user) {
        ReplyHtml(res, "我的下载", "<p>未登录</p>");
        return;
    }
    std::string list = "<ul id=\"downloads\">\n";
    for (std::int64_t document : user->downloads) {
        list +=
            "<li data-id=\"" + std::to_string(document) + "\">模板 " + std::to_string(document) + "</li>\n";
    }
    list += "</ul>";
    ReplyHtml(res, "我的下载", "<p>已登录：" + HtmlEscape(user->phone) + "</p>\n" + list);
}

void PageService::HandleFeedbackPage(const httplib::Request& req, httplib::Response& res) {
    if (req.method == "GET" && req.path == "/msg/") {
        ReplyHtml(res, "意见反馈", "<p>演示商店的意见反馈页（占位）。</p>");
        return;
    }
    ReplyText(res, 404, "not found\n");
}

void PageService::HandleServicePage(const httplib::Request& req, httplib::Response& res) {
    if (req.method == "GET" && req.path == "/swordfish.html") {
        ReplyHtml(res, "在线客服", "<p>演示商店的在线客服页（占位）。</p>");
        return;
    }
    ReplyText(res, 404, "not found\n");
}

}  // namespace demostore
