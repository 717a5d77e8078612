#include "demo-store/PageService.h"

#include "demo-store/HttpUtil.h"
#include "demo-store/StorePages.h"
#include "demo-store/TemplateFiles.h"

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
    const char* kind;
} kStorePages[] = {
    {"/", "Vanto 模板商店", ""},
    {"/ppt.html", "PPT 模板", "ppt"},
    {"/word.html", "Word 模板", "word"},
    {"/excel.html", "Excel 模板", "excel"},
    {"/client/index/lists/", "模板列表", ""},
};

std::optional<PageUser> ToPageUser(const std::optional<StoreUser>& user) {
    if (!user)
        return std::nullopt;
    return PageUser{user->phone, user->downloads};
}

// The decimal number between `prefix` and `suffix` of `path`, if it is that.
std::optional<std::int64_t> NumberIn(const std::string& path, const std::string& prefix,
                                     const std::string& suffix) {
    if (path.size() <= prefix.size() + suffix.size() || path.rfind(prefix, 0) != 0 ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    const std::string digits = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(digits);
}

void ReplyPage(httplib::Response& res, const std::string& html) {
    res.status = 200;
    res.set_content(html, "text/html; charset=utf-8");
}

}  // namespace

PageService::PageService(StoreContext& context) : m_context(context) {}

std::optional<StoreUser> PageService::CookieUser(const httplib::Request& req) const {
    const std::string token = CookieValue(req, kLoginCookie);
    return token.empty() ? std::nullopt : m_context.users.UserOfToken(token);
}

void PageService::HandleClientPages(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/client/api/recordDownload") {
        req.method == "POST" ? RecordDownload(req, res) : ReplyText(res, 405, "method not allowed\n");
        return;
    }
    if (req.method != "GET") {
        ReplyText(res, 405, "method not allowed\n");
        return;
    }
    if (const auto id = NumberIn(req.path, "/img/", ".svg")) {
        const auto item = FindTemplate(*id);
        item ? res.set_content(TemplatePictureSvg(*item), "image/svg+xml")
             : ReplyText(res, 404, "not found\n");
        return;
    }
    if (req.path.rfind("/files/", 0) == 0) {
        TemplateFile(req, res);
        return;
    }
    if (req.path == "/client/user/favorites.html") {
        ReplyPage(res, FavouritesPageHtml(ToPageUser(CookieUser(req))));
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
            std::string channel;
            if (req.path == "/") {
                const auto c = QueryValue(ParseQuery(req.target), "c");
                channel = c.value_or("");
            }
            ReplyPage(res, StorePageHtml(page.title, page.kind, ToPageUser(CookieUser(req)), channel));
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
    ReplyPage(res, DownloadsPageHtml(ToPageUser(CookieUser(req))));
}

void PageService::RecordDownload(const httplib::Request& req, httplib::Response& res) {
    const auto user = CookieUser(req);
    const QueryList query = ParseQuery(req.target);
    const auto id = QueryKeysAre(query, {"id"}) ? QueryValue(query, "id") : std::nullopt;
    const auto item =
        id && !id->empty() && id->size() < 10 && id->find_first_not_of("0123456789") == std::string::npos
            ? FindTemplate(std::stoll(*id))
            : std::nullopt;
    if (!user) {
        ReplyRefusal(res, "请先登录");
        return;
    }
    if (!item) {
        ReplyRefusal(res, "没有这个模板");
        return;
    }
    if (!m_context.users.AddDownload(user->id, item->id)) {
        ReplyRefusal(res, "服务器忙，请稍后再试");
        return;
    }
    ReplyEnvelope(res, 1, "成功");
}

void PageService::TemplateFile(const httplib::Request& req, httplib::Response& res) {
    // "/files/<id>_<title>.<ext>": the template's own name, nothing else.
    const std::string name = req.path.substr(std::string("/files/").size());
    const auto underscore = name.find('_');
    const auto id = underscore == std::string::npos
                        ? std::nullopt
                        : NumberIn("/" + name.substr(0, underscore) + "_", "/", "_");
    const auto item = id ? FindTemplate(*id) : std::nullopt;
    if (!item || req.path != TemplateFilePath(*item)) {
        ReplyText(res, 404, "not found\n");
        return;
    }
    if (IsLargeFile(*item)) {
        const std::string file = m_context.files.PathFor(Service::ClientPage, req.path);
        std::string error;
        if (!m_context.largeFile.Ensure(file, error)) {
            m_context.Print("# " + error);
            ReplyText(res, 500, "the large file cannot be written\n");
        } else if (!m_context.replies.Serve(res, file, TemplateContentType(*item))) {
            ReplyText(res, 404, "not found\n");
        }
        return;
    }
    res.status = 200;
    res.set_content(TemplateFileBytes(*item), TemplateContentType(*item));
}

void PageService::HandleFeedbackPage(const httplib::Request& req, httplib::Response& res) {
    if (req.method == "GET" && req.path == "/msg/") {
        ReplyPage(res, FeedbackPageHtml());
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
