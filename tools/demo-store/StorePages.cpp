#include "demo-store/StorePages.h"

#include "demo-store/HttpUtil.h"

#include <json/json.h>

namespace demostore {
namespace {

// The style every page shares.
constexpr const char* kStyle = R"CSS(
* { box-sizing: border-box; }
body { margin: 0; font-family: "Noto Sans CJK SC", "WenQuanYi Micro Hei", sans-serif; background: #f4f6f9; color: #222; }
header { display: flex; align-items: center; justify-content: space-between; padding: 12px 24px; background: #2f6fdf; color: #fff; }
header h1 { margin: 0; font-size: 20px; }
header a, header button { color: #fff; background: none; border: 1px solid #fff; border-radius: 4px; padding: 4px 12px; cursor: pointer; font-size: 14px; text-decoration: none; }
nav { padding: 8px 24px; background: #fff; border-bottom: 1px solid #e3e6ea; }
nav a { margin-right: 16px; color: #2f6fdf; text-decoration: none; }
main { padding: 24px; }
.cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(200px, 1fr)); gap: 20px; }
.card { background: #fff; border-radius: 8px; box-shadow: 0 1px 3px rgba(0,0,0,.12); overflow: hidden; }
.card img { display: block; width: 100%; height: 120px; object-fit: cover; }
.card .info { display: flex; align-items: center; justify-content: space-between; padding: 10px 12px; }
.card .title { font-size: 14px; }
button.action { background: #2f6fdf; color: #fff; border: none; border-radius: 4px; padding: 5px 14px; cursor: pointer; }
button.danger { background: #d9463b; }
.empty { color: #888; }
#notice { min-height: 20px; color: #d9463b; margin-bottom: 12px; }
ul.docs { list-style: none; padding: 0; }
ul.docs li { display: flex; justify-content: space-between; align-items: center; background: #fff; margin-bottom: 8px; padding: 10px 14px; border-radius: 6px; }
textarea { width: 100%; height: 160px; font: inherit; padding: 8px; }
)CSS";

// The page side of the client channel.
constexpr const char* kClientScript = R"JS(
function sendToClient(message) {
  var text = JSON.stringify(message);
  if (window.VantoClient && typeof window.VantoClient.send === 'function') {
    window.VantoClient.send(text);
    return true;
  }
  var notice = document.getElementById('notice');
  if (notice) { notice.textContent = '请在客户端中打开本页面。'; }
  return false;
}
)JS";

std::string Json(const Json::Value& value) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    std::string text = Json::writeString(writer, value);
    // Safe inside a <script> element and inside an attribute.
    std::string safe;
    for (char c : text) {
        if (c == '<')
            safe += "\\u003c";
        else if (c == '>')
            safe += "\\u003e";
        else if (c == '&')
            safe += "\\u0026";
        else
            safe += c;
    }
    return safe;
}

std::string Page(const std::string& title, const std::string& header, const std::string& body,
                 const std::string& script) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width\"><title>" +
           HtmlEscape(title) + "</title><style>" + kStyle + "</style></head>\n<body>\n" + header +
           "<main>\n" + "<div id=\"notice\"></div>\n" + body + "\n</main>\n<script>" + kClientScript +
           script + "</script>\n</body></html>\n";
}

std::string StoreHeader(const std::string& title, const std::optional<PageUser>& user,
                        const std::string& channel) {
    const std::string query = channel.empty() ? "" : "?c=" + HtmlEscape(channel);
    std::string account = user ? "<span id=\"account\">已登录：" + HtmlEscape(user->phone) + "</span>"
                               : std::string("<a href=\"#\" id=\"login\">登录</a>");
    return "<header><h1>" + HtmlEscape(title) + "</h1>" + account + "</header>\n<nav><a href=\"/" + query +
           "\">推荐</a><a href=\"/ppt.html\">PPT</a>"
           "<a href=\"/word.html\">Word</a><a href=\"/excel.html\">Excel</a>"
           "<a href=\"/client/index/lists/\">全部模板</a><a href=\"/client/user/favorites.html\">我的收藏</a>"
           "<a href=\"/client/user/downloads.html\">我的下载</a></nav>\n";
}

std::string Card(const StoreTemplate& item) {
    return "<div class=\"card\" data-id=\"" + std::to_string(item.id) + "\"><img src=\"/img/" +
           std::to_string(item.id) + ".svg\" alt=\"" + HtmlEscape(item.title) +
           "\"><div class=\"info\"><span class=\"title\">" + HtmlEscape(item.title) +
           "</span><button class=\"action down\" data-id=\"" + std::to_string(item.id) + "\" data-url=\"" +
           HtmlEscape(TemplateFilePath(item)) + "\" data-title=\"" + HtmlEscape(item.title) +
           "\">下载</button></div></div>\n";
}

// Cards' "下载": recorded on the user's list (same-origin request with the
// web login), then handed to the client with the file's full address.
constexpr const char* kStoreScript = R"JS(
var login = document.getElementById('login');
if (login) {
  login.addEventListener('click', function (event) {
    event.preventDefault();
    sendToClient({action: 'showlogin'});
  });
}
Array.prototype.forEach.call(document.querySelectorAll('button.down'), function (button) {
  button.addEventListener('click', function () {
    var id = button.getAttribute('data-id');
    var message = {action: 'down', url: location.origin + button.getAttribute('data-url'),
                   title: button.getAttribute('data-title')};
    fetch('/client/api/recordDownload?id=' + encodeURIComponent(id), {method: 'POST', credentials: 'same-origin'})
      .catch(function () {})
      .then(function () { sendToClient(message); });
  });
});
)JS";

constexpr const char* kDownloadsScript = R"JS(
Array.prototype.forEach.call(document.querySelectorAll('button.delete'), function (button) {
  button.addEventListener('click', function () {
    sendToClient({action: 'deletedoc', id: parseInt(button.getAttribute('data-id'), 10)});
  });
});
var login = document.getElementById('login');
if (login) {
  login.addEventListener('click', function (event) {
    event.preventDefault();
    sendToClient({action: 'showlogin'});
  });
}
)JS";

}  // namespace

const std::vector<StoreTemplate>& TemplateCatalogue() {
    static const std::vector<StoreTemplate> catalogue = {
        {1001, "ppt", "年终总结汇报", "#d9463b"},   {1002, "ppt", "商务计划书", "#2f6fdf"},
        {1003, "ppt", "教学课件", "#3aa757"},       {2001, "word", "个人简历", "#1f5fbf"},
        {2002, "word", "会议纪要", "#6b5bd6"},      {2003, "word", "租房合同", "#0f8b8d"},
        {3001, "excel", "月度财务报表", "#217346"}, {3002, "excel", "员工考勤表", "#c27c0e"},
        {3003, "excel", "销售统计", "#a23b72"},     {9001, "pack", "大文件演示素材包", "#5b6472"},
    };
    return catalogue;
}

std::optional<StoreTemplate> FindTemplate(std::int64_t id) {
    for (const auto& item : TemplateCatalogue()) {
        if (item.id == id)
            return item;
    }
    return std::nullopt;
}

const char* TemplateExtension(const StoreTemplate& item) {
    const std::string kind = item.kind;
    return kind == "ppt" ? "pptx" : kind == "word" ? "docx" : kind == "pack" ? "zip" : "xlsx";
}

bool IsLargeFile(const StoreTemplate& item) {
    return std::string(item.kind) == "pack";
}

std::string TemplateFilePath(const StoreTemplate& item) {
    return "/files/" + std::to_string(item.id) + "_" + item.title + "." + TemplateExtension(item);
}

std::string StorePageHtml(const std::string& title, const std::string& kind,
                          const std::optional<PageUser>& user, const std::string& channel) {
    std::string cards = "<div class=\"cards\">\n";
    for (const auto& item : TemplateCatalogue()) {
        if (kind.empty() || kind == item.kind)
            cards += Card(item);
    }
    cards += "</div>";
    return Page(title, StoreHeader(title, user, channel), cards, kStoreScript);
}

std::string FavouritesPageHtml(const std::optional<PageUser>& user) {
    std::string body;
    if (!user) {
        body = "<p class=\"empty\">登录后查看收藏的模板。</p>";
    } else {
        body = "<div class=\"cards\">\n";
        // The demo keeps one favourite of each kind.
        for (std::int64_t id : {1001, 2001, 3001})
            body += Card(*FindTemplate(id));
        body += "</div>";
    }
    return Page("我的收藏", StoreHeader("我的收藏", user, ""), body, kStoreScript);
}

std::string DownloadsPageHtml(const std::optional<PageUser>& user) {
    std::string body;
    if (!user) {
        body = "<p class=\"empty\">登录后查看下载过的模板。</p>";
    } else if (user->downloads.empty()) {
        body = "<p class=\"empty\">还没有下载过模板。</p><ul id=\"downloads\" class=\"docs\"></ul>";
    } else {
        body = "<ul id=\"downloads\" class=\"docs\">\n";
        for (std::int64_t id : user->downloads) {
            const auto item = FindTemplate(id);
            const std::string title = item ? item->title : "模板 " + std::to_string(id);
            body += "<li data-id=\"" + std::to_string(id) + "\"><span>" + HtmlEscape(title) +
                    "</span><button class=\"action danger delete\" data-id=\"" + std::to_string(id) +
                    "\">删除</button></li>\n";
        }
        body += "</ul>";
    }
    return Page("我的下载", StoreHeader("我的下载", user, ""), body, kDownloadsScript);
}

std::string TemplatePictureSvg(const StoreTemplate& item) {
    const std::string kind = item.kind;
    const std::string label = kind == "ppt" ? "PPT" : kind == "word" ? "W" : kind == "pack" ? "ZIP" : "X";
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"400\" height=\"240\" viewBox=\"0 0 400 240\">"
           "<rect width=\"400\" height=\"240\" fill=\"" +
           std::string(item.colour) +
           "\"/><rect x=\"24\" y=\"24\" width=\"352\" height=\"192\" rx=\"8\" fill=\"#ffffff\" "
           "fill-opacity=\"0.9\"/><rect x=\"48\" y=\"150\" width=\"200\" height=\"10\" fill=\"" +
           item.colour +
           "\"/><rect x=\"48\" y=\"170\" width=\"140\" height=\"10\" fill=\"#cccccc\"/>"
           "<text x=\"48\" y=\"120\" font-size=\"34\" font-family=\"sans-serif\" fill=\"#333\">" +
           HtmlEscape(item.title) +
           "</text><text x=\"330\" y=\"70\" font-size=\"28\" font-family=\"sans-serif\" "
           "text-anchor=\"middle\" fill=\"" +
           item.colour + "\">" + label + "</text></svg>";
}

std::string SignInPageHtml(const std::string& kind, const std::string& token, const std::string& nickname) {
    Json::Value ok;
    ok["result"] = 1;
    ok["errInfo"] = "";
    ok["openid"] = token;
    ok["nickname"] = nickname;
    Json::Value cancel;
    cancel["result"] = 0;
    cancel["errInfo"] = "用户取消了登录";
    cancel["openid"] = "";
    cancel["nickname"] = "";
    const std::string title = kind + " 登录";
    const std::string body = "<p>使用 " + HtmlEscape(kind) +
                             " 扫码登录演示商店。演示环境中可直接使用演示账号。</p>\n"
                             "<p><button class=\"action\" id=\"demo\">以演示账号登录</button> "
                             "<button class=\"action danger\" id=\"cancel\">取消</button></p>";
    const std::string script =
        "var signedIn = " + Json(ok) + ";\nvar cancelled = " + Json(cancel) +
        ";\n"
        "function reply(result) {\n"
        "  if (window.VantoClient && typeof window.VantoClient.send === 'function') {\n"
        "    window.VantoClient.send(JSON.stringify(result));\n"
        "  } else { document.getElementById('notice').textContent = "
        "'请在客户端中打开本页面。'; }\n}\n"
        "document.getElementById('demo').addEventListener('click', function () { "
        "reply(signedIn); });\n"
        "document.getElementById('cancel').addEventListener('click', function () { "
        "reply(cancelled); });\n";
    return Page(title, "<header><h1>" + HtmlEscape(title) + "</h1></header>\n", body, script);
}

std::string FeedbackPageHtml() {
    const std::string body =
        "<form id=\"feedback\"><p>请写下您的意见或建议：</p>"
        "<textarea id=\"text\" maxlength=\"500\"></textarea>"
        "<p><input id=\"contact\" placeholder=\"联系方式（选填）\"> "
        "<button class=\"action\" type=\"submit\">提交</button></p></form>";
    const std::string script =
        "document.getElementById('feedback').addEventListener('submit', function (event) {\n"
        "  event.preventDefault();\n"
        "  var text = document.getElementById('text').value.trim();\n"
        "  if (!text) { document.getElementById('notice').textContent = '请填写反馈内容。'; return; }\n"
        "  sendToClient({result: 1, feedback: text, contact: document.getElementById('contact').value});\n"
        "});\n";
    return Page("意见反馈", "<header><h1>意见反馈</h1></header>\n", body, script);
}

}  // namespace demostore
